#include "inspector/QOrderedList.h"
#include "classlib/SysUtils.h"
#include "classlib/Translation.h"

void TQOrderedList::Assign(const QObject* source) {
    const auto* list = qobject_cast<const TQOrderedList*>(source);
    if (!list) {
        const QString from =
            source ? QString::fromLatin1(source->metaObject()->className()) : QStringLiteral("nil");
        throw EConvertError(
            _("Error assigning %1 to %2").arg(from, QString::fromLatin1(metaObject()->className())));
    }
    if (list == this)
        return;
    m_items = list->m_items;
}

TQOrderedList::Item TQOrderedList::Get(int index) const {
    if (index < 0 || index >= m_items.size())
        RaiseListIndexError(index);
    return m_items.at(index);
}

int TQOrderedList::Add(Item item) {
    m_items.append(item);
    return int(m_items.size()) - 1;
}

void TQOrderedList::Insert(int index, Item item) {
    if (index < 0 || index > m_items.size())
        RaiseListIndexError(index);
    m_items.insert(index, item);
}

void TQOrderedList::Delete(int index) {
    if (index < 0 || index >= m_items.size())
        RaiseListIndexError(index);
    m_items.removeAt(index);
}

void TQOrderedList::RaiseEmpty() {
    throw EListError(_("List is empty"));
}

TQOrderedList::Item TQQueue::Pop() {
    if (m_items.isEmpty())
        RaiseEmpty();
    return m_items.takeFirst();
}

TQOrderedList::Item TQQueue::Peek() const {
    if (m_items.isEmpty())
        RaiseEmpty();
    return m_items.first();
}
