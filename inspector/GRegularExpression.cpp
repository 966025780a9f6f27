#include "inspector/GRegularExpression.h"
#include "classlib/Translation.h"
#include "inspector/QOrderedList.h"
#include <climits>
#include <cstdint>

namespace {

// The work queue holds node indexes and this scan marker, which separates one text position from the next.
constexpr std::intptr_t Marker = -2;

TQOrderedList::Item ToItem(std::intptr_t value) {
    return reinterpret_cast<TQOrderedList::Item>(value);
}

std::intptr_t FromItem(TQOrderedList::Item item) {
    return reinterpret_cast<std::intptr_t>(item);
}

bool InSet(const std::bitset<256>& set, QChar c) {
    return c.unicode() < 256 && set.test(c.unicode());
}

} // namespace

TGRegularExpression::TGRegularExpression(const QString& expression, QObject* parent) : QObject(parent) {
    m_caseSensitive = true;
    SetExpression(expression);
}

void TGRegularExpression::Assign(const TGRegularExpression& source) {
    if (&source == this)
        return;
    m_nodes = source.m_nodes;
    m_expression = source.m_expression;
    m_pos = source.m_pos;
    m_matchToEnd = source.m_matchToEnd;
    m_anchored = source.m_anchored;
    m_caseSensitive = source.m_caseSensitive;
    m_startNode = source.m_startNode;
}

void TGRegularExpression::SetExpression(const QString& value) {
    if (value == m_expression && (!m_nodes.empty() || value.isEmpty()))
        return;
    m_expression = value;
    Compile();
}

void TGRegularExpression::SetCaseSensitive(bool value) {
    if (value == m_caseSensitive)
        return;
    m_caseSensitive = value;
    Compile();
}

void TGRegularExpression::Raise(const char* text) {
    throw ERXException(_(text));
}

bool TGRegularExpression::IsMeta(QChar c) {
    switch (c.unicode()) {
    case '$':
    case '(':
    case ')':
    case '*':
    case '+':
    case '-':
    case '.':
    case '?':
    case '[':
    case ']':
    case '^':
    case '|':
        return true;
    default:
        return false;
    }
}

QChar TGRegularExpression::Fold(QChar c) const {
    if (!m_caseSensitive && c.unicode() >= 'a' && c.unicode() <= 'z')
        return QChar(c.unicode() - 'a' + 'A');
    return c;
}

int TGRegularExpression::AddNode(quint8 kind, QChar ch, bool chain, int next2, int next1,
                                 const std::bitset<256>& charSet) {
    const int index = int(m_nodes.size());
    TNode node;
    node.Kind = kind;
    node.Ch = ch;
    node.Next2 = next2;
    node.Next1 = chain ? index + 1 : next1;
    node.CharSet = charSet;
    m_nodes.push_back(node);
    return index;
}

void TGRegularExpression::Compile() {
    m_nodes.clear();
    if (m_expression.isEmpty())
        return;
    try {
        m_pos = 0;
        m_startNode = Prepare();
        AddNode(nkAccept, QChar(), false, -1);
        Optimize();
    } catch (...) {
        // A partial automaton has links past its end; never keep one for matching.
        m_nodes.clear();
        throw;
    }
}

int TGRegularExpression::Prepare() {
    // "^" and "$" become line feed and carriage return, so that they anchor at the ends of a text that
    // the caller wraps in those two characters; "[^" keeps its meaning of a negated class.
    m_pattern = m_expression;
    m_pattern.replace(QLatin1Char('^'), QLatin1Char('\n'));
    m_pattern.replace(QLatin1Char('$'), QLatin1Char('\r'));
    m_pattern.replace(QLatin1String("[\n"), QLatin1String("[^"));
    const int start = ParseAlternation();
    m_pattern.clear();
    return start;
}

int TGRegularExpression::ParseAlternation() {
    const int first = ParseConcatenation();
    if (AtEnd() || Cur() != QLatin1Char('|'))
        return first;
    ++m_pos;
    const int jump = AddNode(nkEmpty, QChar(), false, -1);
    const int split = AddNode(nkEmpty, QChar(), false, -1, first);
    const int other = ParseAlternation();
    m_nodes[split].Next2 = other;
    m_nodes[jump].Next1 = int(m_nodes.size());
    return split;
}

int TGRegularExpression::ParseConcatenation() {
    const int term = ParsePostfix();
    if (!AtEnd()) {
        const QChar c = Cur();
        if (c == QLatin1Char('(') || c == QLatin1Char('.') || c == QLatin1Char('[') || !IsMeta(c)) {
            const int link = AddNode(nkEmpty, QChar(), false, -1);
            const int next = ParseConcatenation();
            m_nodes[link].Next1 = next;
        }
    }
    return term;
}

int TGRegularExpression::ParsePostfix() {
    const int atom = ParseAtom();
    if (AtEnd())
        return atom;
    switch (Cur().unicode()) {
    case '*':
        ++m_pos;
        return AddNode(nkEmpty, QChar(), true, atom);
    case '+':
        ++m_pos;
        AddNode(nkEmpty, QChar(), true, atom);
        return atom;
    case '?': {
        ++m_pos;
        const int jump = AddNode(nkEmpty, QChar(), false, -1);
        const int split = AddNode(nkEmpty, QChar(), false, atom, jump);
        m_nodes[jump].Next1 = int(m_nodes.size());
        return split;
    }
    default:
        return atom;
    }
}

int TGRegularExpression::ParseAtom() {
    if (AtEnd())
        return ParseLiteral();
    switch (Cur().unicode()) {
    case '(': {
        ++m_pos;
        const int group = ParseAlternation();
        if (AtEnd() || Cur() != QLatin1Char(')'))
            Raise("Missing Close Parentheses");
        ++m_pos;
        return group;
    }
    case '.':
        ++m_pos;
        return AddNode(nkAny, QChar(), true, -1);
    case '[': {
        ++m_pos;
        quint8 kind = nkClass;
        if (!AtEnd() && Cur() == QLatin1Char('^')) {
            kind = nkNegClass;
            ++m_pos;
        }
        const std::bitset<256> set = ParseClass();
        if (AtEnd() || Cur() != QLatin1Char(']'))
            Raise("Missing Close Bracket");
        ++m_pos;
        return AddNode(kind, QChar(), true, -1, -1, set);
    }
    default:
        return ParseLiteral();
    }
}

int TGRegularExpression::ParseLiteral() {
    if (AtEnd())
        Raise("Unexpected end of regular expression");
    QChar c = Cur();
    if (IsMeta(c))
        Raise("Unexpected meta character found");
    if (c == QLatin1Char('\\')) {
        ++m_pos;
        if (AtEnd()) // a trailing backslash escapes nothing
            Raise("Unexpected end of regular expression");
        c = Cur();
    }
    ++m_pos;
    return AddNode(nkChar, Fold(c), true, -1);
}

std::bitset<256> TGRegularExpression::ParseClass() {
    std::bitset<256> set;
    do {
        ParseClassItem(set);
    } while (AtEnd() || Cur() != QLatin1Char(']'));
    return set;
}

void TGRegularExpression::ParseClassItem(std::bitset<256>& set) {
    QChar lo = ParseClassChar();
    QChar hi = lo;
    if (!AtEnd() && Cur() == QLatin1Char('-')) {
        ++m_pos;
        hi = ParseClassChar();
        if (hi < lo)
            std::swap(lo, hi);
    }
    for (uint c = lo.unicode(); c <= hi.unicode(); ++c) {
        const QChar folded = Fold(QChar(c));
        if (folded.unicode() < 256)
            set.set(folded.unicode());
    }
}

QChar TGRegularExpression::ParseClassChar() {
    if (AtEnd())
        Raise("Unexpected end of regular expression");
    QChar c = Cur();
    if (c == QLatin1Char('-') || c == QLatin1Char(']'))
        Raise("Unexpected meta character found");
    if (c == QLatin1Char('\\')) {
        ++m_pos;
        if (AtEnd())
            Raise("Unexpected end of regular expression");
        c = Cur();
    }
    ++m_pos;
    return c;
}

void TGRegularExpression::Optimize() {
    const int count = int(m_nodes.size());
    auto isJump = [&](int i) {
        return i >= 0 && i < count && m_nodes[i].Kind == nkEmpty && m_nodes[i].Next2 == -1;
    };
    auto follow = [&](int i) {
        // Jumps only point forward, so the walk ends; the bound guards against a malformed array.
        for (int steps = 0; isJump(i) && steps < count; ++steps)
            i = m_nodes[i].Next1;
        return i;
    };
    for (int i = 0; i < count - 1; ++i) {
        m_nodes[i].Next1 = follow(m_nodes[i].Next1);
        if (m_nodes[i].Next2 != -1)
            m_nodes[i].Next2 = follow(m_nodes[i].Next2);
    }
    m_startNode = follow(m_startNode);
    for (int i = 0; i < count - 1; ++i)
        if (isJump(i))
            m_nodes[i].Kind = nkRemoved;
}

int TGRegularExpression::Find(const QString& text, int& matchLen) {
    return FindFrom(text, 1, matchLen);
}

int TGRegularExpression::Find(const QString& text) {
    int matchLen = 0;
    return FindFrom(text, 1, matchLen);
}

int TGRegularExpression::FindFrom(const QString& text, int startPos, int& matchLen) {
    if (m_nodes.empty())
        Compile();
    if (m_nodes.empty() || text.isEmpty())
        return 0;
    if (m_anchored)
        return MatchAt(text, 1, matchLen) ? 1 : 0;
    startPos = std::max(startPos, 1);
    if (text.size() < startPos)
        return 0;
    for (int start = startPos; start <= text.size(); ++start)
        if (MatchAt(text, start, matchLen))
            return start;
    return 0;
}

bool TGRegularExpression::MatchAt(const QString& text, int start, int& matchLen) const {
    const int count = int(m_nodes.size());
    if (count == 0)
        return false;
    const int length = int(text.size());
    auto valid = [count](int i) { return i >= 0 && i < count; };

    TQQueue queue;
    queue.Push(ToItem(Marker));
    queue.Push(ToItem(m_startNode));
    int j = start - 1;
    QChar c(0);
    // Each node is processed at most once per text position: a starred group that can match the empty
    // text would otherwise feed the queue for ever. A repeated visit could only repeat earlier work.
    std::vector<int> seenAt(count, INT_MIN);

    while (j <= length && !queue.IsEmpty()) {
        const std::intptr_t item = FromItem(queue.Pop());
        if (item == Marker) {
            if (queue.IsEmpty())
                break;
            ++j;
            if (j >= 1 && j <= length)
                c = Fold(text.at(j - 1));
            queue.Push(ToItem(Marker));
            continue;
        }
        const int index = int(item);
        if (!valid(index) || seenAt[index] == j)
            continue;
        seenAt[index] = j;
        const TNode& node = m_nodes[index];
        switch (node.Kind) {
        case nkEmpty:
            if (valid(node.Next2))
                queue.Insert(0, ToItem(node.Next2));
            if (valid(node.Next1))
                queue.Insert(0, ToItem(node.Next1));
            break;
        case nkAny:
            queue.Push(ToItem(node.Next1));
            break;
        case nkChar:
            if (c == node.Ch)
                queue.Push(ToItem(node.Next1));
            break;
        case nkClass:
            if (InSet(node.CharSet, c))
                queue.Push(ToItem(node.Next1));
            break;
        case nkNegClass:
            if (!InSet(node.CharSet, c))
                queue.Push(ToItem(node.Next1));
            break;
        case nkAccept:
            if (!m_matchToEnd || j > length) {
                matchLen = j - start;
                return true;
            }
            break;
        default:
            break;
        }
    }

    // After the text only empty nodes can still lead to the accept node.
    while (!queue.IsEmpty()) {
        const std::intptr_t item = FromItem(queue.Pop());
        const int index = int(item);
        if (item == Marker || !valid(index) || seenAt[index] == j)
            continue;
        seenAt[index] = j;
        const TNode& node = m_nodes[index];
        if (node.Kind == nkEmpty) {
            if (valid(node.Next2))
                queue.Insert(0, ToItem(node.Next2));
            if (valid(node.Next1))
                queue.Insert(0, ToItem(node.Next1));
        } else if (node.Kind == nkAccept) {
            matchLen = j > length ? j - start : j - start + 1;
            return true;
        }
    }
    return false;
}
