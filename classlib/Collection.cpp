#include "classlib/Collection.h"
#include "classlib/SysUtils.h"
#include <algorithm>

TCollectionItem::TCollectionItem(TCollection* collection) {
    SetCollection(collection);
}

TCollectionItem::~TCollectionItem() {
    SetCollection(nullptr);
}

void TCollectionItem::SetCollection(TCollection* collection) {
    if (m_collection == collection)
        return;
    if (m_collection)
        m_collection->RemoveItem(this);
    if (collection)
        collection->InsertItem(this);
}

int TCollectionItem::Index() const {
    if (!m_collection)
        return -1;
    const TCollection* c = m_collection;
    if (m_index >= 0 && m_index < c->m_validIndexes && c->m_items.at(m_index) == this)
        return m_index;
    if (!c->m_removedAt.empty() && m_index >= 0) {
        // Every guess is checked against the list, so a stale one only costs the renumbering below.
        const auto below = std::lower_bound(c->m_removedAt.begin(), c->m_removedAt.end(), m_index);
        const int place = m_index - int(below - c->m_removedAt.begin());
        if (place >= 0 && place < c->m_items.size() && c->m_items.at(place) == this)
            return place;
    }
    c->Renumber();
    return m_index;
}

void TCollectionItem::SetIndex(int value) {
    const int current = Index();
    if (current < 0 || current == value)
        return;
    if (value < 0 || value >= m_collection->Count())
        RaiseListIndexError(value);
    m_collection->MoveItem(current, value);
    Changed(true);
}

QString TCollectionItem::DisplayName() const {
    return QString::fromLatin1(metaObject()->className());
}

void TCollectionItem::Changed(bool allItems) {
    if (m_collection && m_collection->m_updateCount == 0)
        m_collection->Update(allItems ? nullptr : this);
}

TCollection::TCollection(const QMetaObject* itemClass, QObject* owner, ItemFactory factory)
    : m_itemClass(itemClass), m_owner(owner), m_factory(std::move(factory)) {}

TCollection::~TCollection() {
    m_updateCount = 1; // no change notifications while tearing down
    Clear();
}

TCollectionItem* TCollection::Items(int index) const {
    if (index < 0 || index >= m_items.size())
        RaiseListIndexError(index);
    return m_items.at(index);
}

TCollectionItem* TCollection::Add() {
    TCollectionItem* item = nullptr;
    if (m_factory) {
        item = m_factory(this);
    } else if (m_itemClass) {
        QObject* obj = m_itemClass->newInstance(Q_ARG(TCollection*, this));
        item = qobject_cast<TCollectionItem*>(obj);
        if (!item) {
            delete obj;
            throw EInvalidOperation(QStringLiteral("Cannot create an item of class %1")
                                        .arg(QString::fromLatin1(m_itemClass->className())));
        }
    }
    if (!item)
        throw EInvalidOperation(QStringLiteral("Collection has no item class"));
    if (item->m_collection != this)
        item->SetCollection(this);
    return item;
}

TCollectionItem* TCollection::Insert(int index) {
    // Checked first, so that a refused index leaves no stray item at the end.
    if (index < 0 || index > Count())
        RaiseListIndexError(index);
    TCollectionItem* item = Add();
    item->SetIndex(index);
    return item;
}

void TCollection::Delete(int index) {
    TCollectionItem* item = Items(index);
    Notify(item, TCollectionNotification::cnDeleting);
    delete item;
}

void TCollection::Clear() {
    if (m_items.isEmpty())
        return;
    BeginUpdate();
    while (!m_items.isEmpty())
        delete m_items.last(); // the item's destructor takes it out of the list
    EndUpdate();
}

TCollectionItem* TCollection::FindItemID(int id) const {
    for (TCollectionItem* item : m_items)
        if (item->m_id == id)
            return item;
    return nullptr;
}

void TCollection::Exchange(int a, int b) {
    Items(a);
    Items(b);
    if (!m_removedAt.empty())
        Renumber();
    m_items.swapItemsAt(a, b);
    if (a < m_validIndexes && b < m_validIndexes) {
        m_items.at(a)->m_index = a;
        m_items.at(b)->m_index = b;
    } else {
        m_validIndexes = std::min({m_validIndexes, a, b});
    }
    Changed();
}

void TCollection::BeginUpdate() {
    ++m_updateCount;
}

void TCollection::EndUpdate() {
    if (m_updateCount > 0 && --m_updateCount == 0)
        Changed();
}

void TCollection::Notify(TCollectionItem*, TCollectionNotification) {}

void TCollection::Update(TCollectionItem* item) {
    emit changed(item);
}

void TCollection::Changed() {
    if (m_updateCount == 0)
        Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* item) {
    // Behind every removed place, so that the removals pending count for it too.
    item->m_index = int(m_items.size() + m_removedAt.size());
    if (m_validIndexes == item->m_index)
        ++m_validIndexes;
    m_items.append(item);
    item->m_collection = this;
    item->m_id = m_nextId++;
    Notify(item, TCollectionNotification::cnAdded);
    Changed();
}

void TCollection::RemoveItem(TCollectionItem* item) {
    Notify(item, TCollectionNotification::cnExtracting);
    const int index = item->Index();
    const int oldPlace = item->m_index;
    m_items.removeAt(index);
    m_validIndexes = std::min(m_validIndexes, index);
    // Up to a bound (then the items are counted again once, an amortised cost of a few steps a removal).
    if (m_removedAt.size() < 256 + size_t(m_items.size()) / 64)
        m_removedAt.insert(std::upper_bound(m_removedAt.begin(), m_removedAt.end(), oldPlace), oldPlace);
    else
        Renumber();
    item->m_collection = nullptr;
    item->m_index = -1;
    Changed();
}

void TCollection::MoveItem(int from, int to) {
    if (!m_removedAt.empty())
        Renumber();
    m_items.move(from, to);
    const int first = std::min(from, to);
    const int last = std::max(from, to);
    if (last < m_validIndexes) {
        for (int i = first; i <= last; ++i) // only the places between the two ends changed
            m_items.at(i)->m_index = i;
    } else {
        m_validIndexes = std::min(m_validIndexes, first);
    }
}

void TCollection::Renumber() const {
    for (int i = m_validIndexes; i < m_items.size(); ++i)
        m_items.at(i)->m_index = i;
    m_validIndexes = int(m_items.size());
    m_removedAt.clear();
}
