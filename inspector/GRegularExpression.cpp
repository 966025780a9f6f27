#include "inspector/GRegularExpression.h"
#include "classlib/Translation.h"
#include <algorithm>

namespace {

using TCharRange = TGRegularExpression::TCharRange;

bool InSet(const std::vector<TCharRange>& set, char32_t c) {
    // The ranges are sorted and disjoint: the one that could hold c is the last starting at or below it.
    auto it = std::upper_bound(set.begin(), set.end(), c,
                               [](char32_t value, const TCharRange& r) { return value < r.Lo; });
    return it != set.begin() && c <= std::prev(it)->Hi;
}

void Normalise(std::vector<TCharRange>& set) {
    std::sort(set.begin(), set.end(), [](const TCharRange& a, const TCharRange& b) { return a.Lo < b.Lo; });
    std::vector<TCharRange> merged;
    for (const TCharRange& r : set) {
        if (!merged.empty() && r.Lo <= merged.back().Hi + 1)
            merged.back().Hi = std::max(merged.back().Hi, r.Hi);
        else
            merged.push_back(r);
    }
    set = std::move(merged);
}

} // namespace

// The text as code points, with the UTF-16 offset of each (and of the end), so that positions and lengths
// are reported in the units of the QString.
struct TGRegularExpression::TText {
    explicit TText(const QString& text) {
        const qsizetype units = text.size();
        chars.reserve(std::size_t(units));
        offsets.reserve(std::size_t(units) + 1);
        for (qsizetype i = 0; i < units; ++i) {
            offsets.push_back(int(i));
            const QChar c = text.at(i);
            if (c.isHighSurrogate() && i + 1 < units && text.at(i + 1).isLowSurrogate()) {
                chars.push_back(QChar::surrogateToUcs4(c, text.at(i + 1)));
                ++i;
            } else {
                chars.push_back(c.unicode()); // a lone surrogate stands for itself
            }
        }
        offsets.push_back(int(units));
    }
    // The code point index at or after a 0-based UTF-16 offset.
    int IndexOfOffset(int offset) const {
        return int(std::lower_bound(offsets.begin(), offsets.end(), offset) - offsets.begin());
    }
    int Size() const { return int(chars.size()); }

    std::vector<char32_t> chars;
    std::vector<int> offsets;
};

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

void TGRegularExpression::Raise(const char* text) const {
    throw ERXException(_(text), int(m_pos + 1));
}

bool TGRegularExpression::IsMeta(char32_t c) {
    switch (c) {
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

bool TGRegularExpression::StartsAtom(char32_t c) {
    return c == '(' || c == '.' || c == '[' || c == '^' || c == '$' || !IsMeta(c);
}

char32_t TGRegularExpression::Fold(char32_t c) const {
    if (!m_caseSensitive && c >= 'a' && c <= 'z')
        return c - 'a' + 'A';
    return c;
}

int TGRegularExpression::AddNode(quint8 kind, char32_t ch, bool chain, int next2, int next1,
                                 std::vector<TCharRange> charSet) {
    const int index = int(m_nodes.size());
    TNode node;
    node.Kind = kind;
    node.Ch = ch;
    node.Next2 = next2;
    // A chained node leads to whatever is appended next: the construct that follows it.
    node.Next1 = chain ? index + 1 : next1;
    node.CharSet = std::move(charSet);
    m_nodes.push_back(std::move(node));
    return index;
}

void TGRegularExpression::Compile() {
    m_nodes.clear();
    if (m_expression.isEmpty())
        return;
    try {
        const QList<uint> ucs4 = m_expression.toUcs4();
        m_pattern.assign(ucs4.begin(), ucs4.end());
        m_pos = 0;
        m_depth = 0;
        m_startNode = ParseAlternation();
        if (!AtEnd()) // only a metacharacter that no construct takes can stop the parser early
            Raise("Unexpected meta character found");
        AddNode(nkAccept, 0, false, -1);
        Optimize();
    } catch (...) {
        // A partial automaton has links past its end; never keep one for matching.
        m_nodes.clear();
        m_pattern.clear();
        throw;
    }
    m_pattern.clear();
}

int TGRegularExpression::ParseAlternation() {
    const int first = ParseConcatenation();
    if (AtEnd() || Cur() != '|')
        return first;
    // Each "|" adds a jump after the branch before it (to the end of the whole alternation) and a split
    // that chooses between that branch and the rest.
    std::vector<int> jumps;
    int result = -1;
    int previousSplit = -1;
    int branch = first;
    while (!AtEnd() && Cur() == '|') {
        ++m_pos;
        jumps.push_back(AddNode(nkEmpty, 0, false, -1));
        const int split = AddNode(nkEmpty, 0, false, -1, branch);
        if (previousSplit < 0)
            result = split;
        else
            m_nodes[std::size_t(previousSplit)].Next2 = split;
        previousSplit = split;
        branch = ParseConcatenation();
    }
    m_nodes[std::size_t(previousSplit)].Next2 = branch;
    for (const int jump : jumps)
        m_nodes[std::size_t(jump)].Next1 = int(m_nodes.size());
    return result;
}

int TGRegularExpression::ParseConcatenation() {
    const int first = ParsePostfix();
    // A link node joins each term's chain to the next term.
    while (!AtEnd() && StartsAtom(Cur())) {
        const int link = AddNode(nkEmpty, 0, false, -1);
        const int next = ParsePostfix();
        m_nodes[std::size_t(link)].Next1 = next;
    }
    return first;
}

int TGRegularExpression::ParsePostfix() {
    bool quantifiable = true;
    const int atom = ParseAtom(quantifiable);
    if (AtEnd() || !quantifiable)
        return atom;
    switch (Cur()) {
    case '*':
        ++m_pos;
        return AddNode(nkEmpty, 0, true, atom);
    case '+':
        ++m_pos;
        AddNode(nkEmpty, 0, true, atom);
        return atom;
    case '?': {
        ++m_pos;
        const int jump = AddNode(nkEmpty, 0, false, -1);
        const int split = AddNode(nkEmpty, 0, false, atom, jump);
        m_nodes[std::size_t(jump)].Next1 = int(m_nodes.size());
        return split;
    }
    default:
        return atom;
    }
}

int TGRegularExpression::ParseAtom(bool& quantifiable) {
    quantifiable = true;
    if (AtEnd())
        return ParseLiteral();
    switch (Cur()) {
    case '(': {
        if (m_depth >= MaxNesting)
            Raise("Regular expression nested too deeply");
        ++m_pos;
        ++m_depth;
        const int group = ParseAlternation();
        if (AtEnd())
            Raise("Missing Close Parentheses");
        if (Cur() != ')')
            Raise("Unexpected meta character found");
        ++m_pos;
        --m_depth;
        return group;
    }
    case '.':
        ++m_pos;
        return AddNode(nkAny, 0, true, -1);
    case '^':
    case '$': {
        // An anchor tests a place, it takes no character: nothing repeats it.
        quantifiable = false;
        const quint8 kind = Cur() == '^' ? nkTextStart : nkTextEnd;
        ++m_pos;
        return AddNode(kind, 0, true, -1);
    }
    case '[': {
        ++m_pos;
        quint8 kind = nkClass;
        if (!AtEnd() && Cur() == '^') {
            kind = nkNegClass;
            ++m_pos;
        }
        std::vector<TCharRange> set = ParseClass();
        if (AtEnd() || Cur() != ']')
            Raise("Missing Close Bracket");
        ++m_pos;
        return AddNode(kind, 0, true, -1, -1, std::move(set));
    }
    default:
        return ParseLiteral();
    }
}

int TGRegularExpression::ParseLiteral() {
    if (AtEnd())
        Raise("Unexpected end of regular expression");
    char32_t c = Cur();
    if (IsMeta(c))
        Raise("Unexpected meta character found");
    if (c == '\\') {
        ++m_pos;
        if (AtEnd()) // a trailing backslash escapes nothing
            Raise("Unexpected end of regular expression");
        c = Cur();
    }
    ++m_pos;
    return AddNode(nkChar, Fold(c), true, -1);
}

std::vector<TCharRange> TGRegularExpression::ParseClass() {
    std::vector<TCharRange> set;
    do {
        char32_t lo = ParseClassChar();
        char32_t hi = lo;
        if (!AtEnd() && Cur() == '-') {
            ++m_pos;
            hi = ParseClassChar();
            if (hi < lo)
                std::swap(lo, hi);
        }
        set.push_back({lo, hi});
        // Without case, the text is compared upper-cased: the class holds the upper-case letters too.
        if (!m_caseSensitive && lo <= U'z' && hi >= U'a')
            set.push_back({Fold(std::max(lo, char32_t(U'a'))), Fold(std::min(hi, char32_t(U'z')))});
    } while (AtEnd() || Cur() != ']');
    Normalise(set);
    return set;
}

char32_t TGRegularExpression::ParseClassChar() {
    if (AtEnd())
        Raise("Unexpected end of regular expression");
    char32_t c = Cur();
    if (c == '-' || c == ']')
        Raise("Unexpected meta character found");
    if (c == '\\') {
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
        return i >= 0 && i < count && m_nodes[std::size_t(i)].Kind == nkEmpty &&
               m_nodes[std::size_t(i)].Next2 == -1;
    };
    auto follow = [&](int i) {
        // Jumps only point forward, so the walk ends; the bound guards against a malformed array.
        for (int steps = 0; isJump(i) && steps < count; ++steps)
            i = m_nodes[std::size_t(i)].Next1;
        return i;
    };
    for (int i = 0; i < count - 1; ++i) {
        TNode& node = m_nodes[std::size_t(i)];
        node.Next1 = follow(node.Next1);
        if (node.Next2 != -1)
            node.Next2 = follow(node.Next2);
    }
    m_startNode = follow(m_startNode);
    for (int i = 0; i < count - 1; ++i)
        if (isJump(i))
            m_nodes[std::size_t(i)].Kind = nkRemoved;
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
    if (m_nodes.empty())
        return 0;
    startPos = std::max(startPos, 1);
    // A match may start just past the last character (an empty one, such as "$" or "a*").
    if (startPos > text.size() + 1 || (m_anchored && startPos != 1))
        return 0;
    const TText t(text);
    const int first = t.IndexOfOffset(startPos - 1);
    int start = 0;
    int end = 0;
    if (!Search(t, first, m_anchored ? first : t.Size(), start, end))
        return 0;
    matchLen = t.offsets[std::size_t(end)] - t.offsets[std::size_t(start)];
    return t.offsets[std::size_t(start)] + 1;
}

bool TGRegularExpression::MatchAt(const QString& text, int start, int& matchLen) const {
    if (m_nodes.empty() || start < 1 || start > text.size() + 1)
        return false;
    const TText t(text);
    const int first = t.IndexOfOffset(start - 1);
    int from = 0;
    int end = 0;
    if (!Search(t, first, first, from, end))
        return false;
    matchLen = t.offsets[std::size_t(end)] - t.offsets[std::size_t(from)];
    return true;
}

bool TGRegularExpression::Search(const TText& text, int first, int lastStart, int& matchStart,
                                 int& matchEnd) const {
    // All start positions run together. At each text position every node holds at most one thread, the
    // one with the leftmost start (two threads in one node have the same future, so the later start can
    // never win). Threads are kept in order of their start, so the first to reach a node is the leftmost.
    struct TThread {
        int node;
        int start;
    };
    const int count = int(m_nodes.size());
    const int length = text.Size();
    std::vector<unsigned> seen(std::size_t(count), 0);
    unsigned generation = 0;
    std::vector<TThread> current;
    std::vector<TThread> next;
    std::vector<int> stack;
    bool found = false;

    // Follows the empty links from a node at a position, collecting the nodes that take a character.
    auto add = [&](std::vector<TThread>& list, int node, int start, int pos) {
        stack.clear();
        stack.push_back(node);
        while (!stack.empty()) {
            const int i = stack.back();
            stack.pop_back();
            if (i < 0 || i >= count || seen[std::size_t(i)] == generation)
                continue;
            seen[std::size_t(i)] = generation;
            const TNode& n = m_nodes[std::size_t(i)];
            switch (n.Kind) {
            case nkEmpty:
            case nkRemoved:
                stack.push_back(n.Next2);
                stack.push_back(n.Next1);
                break;
            case nkTextStart:
                if (pos == 0)
                    stack.push_back(n.Next1);
                break;
            case nkTextEnd:
                if (pos == length)
                    stack.push_back(n.Next1);
                break;
            case nkAccept:
                if ((!m_matchToEnd || pos == length) && (!found || start < matchStart)) {
                    found = true;
                    matchStart = start;
                    matchEnd = pos;
                }
                break;
            default:
                list.push_back({i, start});
                break;
            }
        }
    };

    ++generation;
    add(current, m_startNode, first, first);
    for (int pos = first; pos < length; ++pos) {
        if (current.empty() && (found || pos >= lastStart))
            break;
        const char32_t c = Fold(text.chars[std::size_t(pos)]);
        ++generation;
        next.clear();
        for (const TThread& thread : current) {
            if (found && thread.start >= matchStart)
                continue; // cannot end further left than the match in hand
            const TNode& n = m_nodes[std::size_t(thread.node)];
            bool takes = false;
            switch (n.Kind) {
            case nkAny:
                takes = true;
                break;
            case nkChar:
                takes = c == n.Ch;
                break;
            case nkClass:
                takes = InSet(n.CharSet, c);
                break;
            case nkNegClass:
                takes = !InSet(n.CharSet, c);
                break;
            default:
                break;
            }
            if (takes)
                add(next, n.Next1, thread.start, pos + 1);
        }
        if (!found && pos + 1 <= lastStart)
            add(next, m_startNode, pos + 1, pos + 1);
        std::swap(current, next);
    }
    return found;
}
