#include "classlib/Strings.h"
#include "classlib/SysUtils.h"

QString TStrings::Strings(int index) const {
    if (index < 0 || index >= m_lines.size())
        RaiseListIndexError(index);
    return m_lines.at(index);
}

void TStrings::Put(int index, const QString& value) {
    if (index < 0 || index >= m_lines.size())
        RaiseListIndexError(index);
    Changing();
    m_lines[index] = value;
    Changed();
}

int TStrings::Add(const QString& value) {
    Changing();
    m_lines.append(value);
    Changed();
    return Count() - 1;
}

void TStrings::Insert(int index, const QString& value) {
    if (index < 0 || index > m_lines.size())
        RaiseListIndexError(index);
    Changing();
    m_lines.insert(index, value);
    Changed();
}

void TStrings::Delete(int index) {
    if (index < 0 || index >= m_lines.size())
        RaiseListIndexError(index);
    Changing();
    m_lines.removeAt(index);
    Changed();
}

void TStrings::Clear() {
    if (m_lines.isEmpty())
        return;
    Changing();
    m_lines.clear();
    Changed();
}

int TStrings::IndexOf(const QString& value) const {
    const Qt::CaseSensitivity cs = m_caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (int i = 0; i < m_lines.size(); ++i)
        if (m_lines.at(i).compare(value, cs) == 0)
            return i;
    return -1;
}

int TStrings::IndexOfName(const QString& name) const {
    const Qt::CaseSensitivity cs = m_caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (int i = 0; i < m_lines.size(); ++i) {
        const int at = int(m_lines.at(i).indexOf(m_separator));
        if (at >= 0 && m_lines.at(i).left(at).compare(name, cs) == 0)
            return i;
    }
    return -1;
}

void TStrings::SetLines(const QStringList& lines) {
    if (lines == m_lines)
        return;
    Changing();
    m_lines = lines;
    Changed();
}

QString TStrings::Names(int index) const {
    const QString line = Strings(index);
    const int at = int(line.indexOf(m_separator));
    return at < 0 ? QString() : line.left(at);
}

QString TStrings::ValueFromIndex(int index) const {
    const QString line = Strings(index);
    const int at = int(line.indexOf(m_separator));
    return at < 0 ? QString() : line.mid(at + 1);
}

void TStrings::Changing() {
    if (OnChanging)
        OnChanging(this);
}

void TStrings::Changed() {
    if (OnChange)
        OnChange(this);
}
