#include "inspector/GRegularExpression.h"
#include "inspector/QOrderedList.h"
#include <gtest/gtest.h>
#include <random>
#include <regex>

namespace {

struct FindCase {
    const char* pattern;
    const char* text;
    bool caseSensitive;
    int pos;
    int len;
};

// The validation form of the in-place editor: ^ and $ anchor at the wrapped text's ends.
bool Valid(TGRegularExpression& rx, const QString& text) {
    return rx.Find(QChar('\n') + text + QChar('\r')) > 0;
}

} // namespace

TEST(QQueue, FifoAndErrors) {
    TQQueue q;
    for (std::intptr_t i = 1; i <= 3; ++i)
        q.Push(reinterpret_cast<void*>(i));
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(q.Peek()), 1);
    EXPECT_EQ(q.Count(), 3);
    for (std::intptr_t i = 1; i <= 3; ++i)
        EXPECT_EQ(reinterpret_cast<std::intptr_t>(q.Pop()), i);
    EXPECT_TRUE(q.IsEmpty());
    try {
        q.Pop();
        FAIL();
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "List is empty");
    }
    EXPECT_THROW(q.Peek(), EListError);

    TQQueue other;
    other.Push(reinterpret_cast<void*>(7));
    q.Push(reinterpret_cast<void*>(9));
    q.Assign(&other);
    ASSERT_EQ(q.Count(), 1);
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(q.Peek()), 7);
    try {
        q.Assign(nullptr);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Error assigning nil to TQQueue");
    }
    QObject foreign;
    EXPECT_THROW(q.Assign(&foreign), EConvertError);
}

TEST(GRegularExpression, FindTable) {
    const FindCase cases[] = {
        {"a*", "b", true, 1, 0},           {"a*", "aaa", true, 1, 0},
        {"[0-9]+", "x12", true, 2, 1},     {"abc", "ABC", false, 1, 3},
        {"abc", "ABC", true, 0, 0},        {"[z-a]", "q", true, 1, 1},
        {"a)b", "xa", true, 2, 1},         {"a|bc", "xbc", true, 2, 2},
        {"(ab)+c", "zababc", true, 2, 5},  {"colou?r", "color", true, 1, 5},
        {"colou?r", "colour", true, 1, 6}, {"[^0-9]", "12a", true, 3, 1},
        {"a.c", "abc", true, 1, 3},        {"\\*", "a*", true, 2, 1},
        {"[a\\]]", "]", true, 1, 1},       {"x", "", true, 0, 0},
        {"(a|b)*c", "abac", true, 1, 4},   {"[A-C]", "b", false, 1, 1},
    };
    for (const FindCase& c : cases) {
        TGRegularExpression rx;
        rx.SetCaseSensitive(c.caseSensitive);
        rx.SetExpression(QString::fromLatin1(c.pattern));
        int len = -1;
        const int pos = rx.Find(QString::fromLatin1(c.text), len);
        EXPECT_EQ(pos, c.pos) << c.pattern << " in " << c.text;
        if (c.pos > 0) {
            EXPECT_EQ(len, c.len) << c.pattern << " in " << c.text;
        }
    }
}

TEST(GRegularExpression, ValidationForm) {
    TGRegularExpression rx(QStringLiteral("^[a-c]+$"));
    EXPECT_TRUE(Valid(rx, "abc"));
    EXPECT_FALSE(Valid(rx, "abcd"));
    rx.SetExpression(QStringLiteral("^[0-9]+$"));
    EXPECT_TRUE(Valid(rx, "123"));
    EXPECT_FALSE(Valid(rx, "12a"));
    EXPECT_FALSE(Valid(rx, ""));
    rx.SetExpression(QStringLiteral("[0-9]")); // unanchored: any text containing a digit
    EXPECT_TRUE(Valid(rx, "ab3cd"));
    EXPECT_FALSE(Valid(rx, "abcd"));
}

TEST(GRegularExpression, SyntaxErrors) {
    const std::pair<const char*, const char*> cases[] = {
        {"[]", "Unexpected meta character found"},       {"(ab", "Missing Close Parentheses"},
        {"[ab", "Unexpected end of regular expression"}, {"a\\", "Unexpected end of regular expression"},
        {"*a", "Unexpected meta character found"},       {"a|", "Unexpected end of regular expression"},
        {"[a-]", "Unexpected meta character found"},
    };
    for (const auto& [pattern, message] : cases) {
        TGRegularExpression rx;
        try {
            rx.SetExpression(QString::fromLatin1(pattern));
            ADD_FAILURE() << pattern;
        } catch (const ERXException& e) {
            EXPECT_EQ(e.Message(), message) << pattern;
        }
        // A failed compile keeps no half-built automaton: the next search raises again instead of
        // running dangling links.
        EXPECT_TRUE(rx.Nodes().empty());
        EXPECT_THROW(rx.Find(QStringLiteral("abc")), ERXException) << pattern;
    }
}

TEST(GRegularExpression, EmptyLoopsTerminate) {
    const char* patterns[] = {"(a*)*b", "(a*)+b", "(a?)*b", "((a*)*)*", "(a|b*)*c", "((a?)*)+c", "(a*|b*)*$"};
    for (const char* p : patterns) {
        TGRegularExpression rx(QString::fromLatin1(p));
        int len = 0;
        rx.Find(QStringLiteral("aaaaaaaaaaaaaaaaaaaaaaaac"), len); // must return at all
    }
    TGRegularExpression rx(QStringLiteral("(a*)*b"));
    int len = 0;
    EXPECT_EQ(rx.Find(QStringLiteral("xaab"), len), 2);
    EXPECT_EQ(len, 3);
    EXPECT_EQ(rx.Find(QStringLiteral("aaa"), len), 0);
}

TEST(GRegularExpression, AssignCopiesAutomaton) {
    TGRegularExpression a(QStringLiteral("ab+"));
    a.SetCaseSensitive(false);
    TGRegularExpression b;
    b.Assign(a);
    EXPECT_EQ(b.Expression(), "ab+");
    EXPECT_FALSE(b.CaseSensitive());
    EXPECT_EQ(b.Find(QStringLiteral("xABB")), 2);
}

namespace {

// Random patterns over a small alphabet, written so that both engines read them alike.
class PatternGen {
public:
    explicit PatternGen(unsigned seed) : m_rng(seed) {}
    std::string Pattern() {
        std::string p = Alternation(0);
        if (Pick(4) == 0)
            p = "^" + p;
        if (Pick(4) == 0)
            p += "$";
        return p;
    }
    std::string Text() {
        std::string t;
        const int n = Pick(7);
        for (int i = 0; i < n; ++i)
            t += "abcA1"[Pick(5)];
        return t;
    }

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    std::string Alternation(int depth) {
        std::string s = Concatenation(depth);
        if (depth < 3 && Pick(5) == 0)
            s += "|" + Alternation(depth + 1);
        return s;
    }
    std::string Concatenation(int depth) {
        std::string s;
        const int n = 1 + Pick(3);
        for (int i = 0; i < n; ++i)
            s += Postfix(depth);
        return s;
    }
    std::string Postfix(int depth) {
        std::string s = Atom(depth);
        switch (Pick(6)) {
        case 0:
            return s + "*";
        case 1:
            return s + "+";
        case 2:
            return s + "?";
        default:
            return s;
        }
    }
    std::string Atom(int depth) {
        switch (Pick(depth < 3 ? 9 : 7)) {
        case 0:
            return ".";
        case 1:
            return "[a-b]";
        case 2:
            return "[^a]";
        case 3:
            return "[ac1]";
        case 7:
        case 8:
            return "(" + Alternation(depth + 1) + ")";
        default:
            return std::string(1, "abc"[Pick(3)]);
        }
    }
    std::mt19937 m_rng;
};

// The same pattern for std::regex: the anchors become the two wrapping characters, and "." must match
// them too, as it does in the engine.
std::string Oracle(const std::string& p) {
    std::string out;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        if (c == '^' && !(i > 0 && p[i - 1] == '['))
            out += "\\n";
        else if (c == '$')
            out += "\\r";
        else if (c == '.')
            out += "[\\s\\S]";
        else
            out += c;
    }
    return out;
}

} // namespace

TEST(GRegularExpression, AgreesWithStdRegexOnWrappedTexts) {
    PatternGen gen(20240611);
    int checked = 0;
    for (int i = 0; i < 1500; ++i) {
        const std::string pattern = gen.Pattern();
        const bool caseSensitive = i % 3 != 0;
        TGRegularExpression rx;
        rx.SetCaseSensitive(caseSensitive);
        rx.SetExpression(QString::fromStdString(pattern));
        auto flags = std::regex::ECMAScript;
        if (!caseSensitive)
            flags |= std::regex::icase;
        const std::regex oracle(Oracle(pattern), flags);
        for (int k = 0; k < 6; ++k) {
            const std::string text = gen.Text();
            const std::string wrapped = "\n" + text + "\r";
            std::smatch m;
            const bool expected = std::regex_search(wrapped, m, oracle);
            int len = 0;
            const int pos = rx.Find(QString::fromStdString(wrapped), len);
            ASSERT_EQ(pos > 0, expected) << "pattern " << pattern << " text " << text;
            // Both report the leftmost start (lengths differ: this engine stops at the shortest match).
            if (expected) {
                ASSERT_EQ(pos - 1, m.position(0)) << "pattern " << pattern << " text " << text;
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, 9000);
}
