#include "inspector/GRegularExpression.h"
#include "inspector/QOrderedList.h"
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <regex>
#include <string>

namespace {

struct FindCase {
    const char* pattern;
    const char* text;
    bool caseSensitive;
    int pos;
    int len;
};

// The validation form of the in-place editor: a match anywhere in the text; ^ and $ anchor at its ends.
bool Valid(TGRegularExpression& rx, const QString& text) {
    return rx.Find(text) > 0;
}

// The message and position of the compile error of a pattern (empty and 0 when it compiles).
std::pair<std::string, int> CompileError(const QString& pattern) {
    TGRegularExpression rx;
    try {
        rx.SetExpression(pattern);
    } catch (const ERXException& e) {
        return {e.Message().toStdString(), e.Position()};
    }
    return {};
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
        {"a*", "b", true, 1, 0},
        {"a*", "aaa", true, 1, 0},
        {"a*", "", true, 1, 0}, // an empty text holds an empty match
        {"x", "", true, 0, 0},
        {"[0-9]+", "x12", true, 2, 1},
        {"abc", "ABC", false, 1, 3},
        {"abc", "ABC", true, 0, 0},
        {"[z-a]", "q", true, 1, 1},
        {"a|bc", "xbc", true, 2, 2},
        {"(ab)+c", "zababc", true, 2, 5},
        {"colou?r", "color", true, 1, 5},
        {"colou?r", "colour", true, 1, 6},
        {"[^0-9]", "12a", true, 3, 1},
        {"a.c", "abc", true, 1, 3},
        {"\\*", "a*", true, 2, 1},
        {"[a\\]]", "]", true, 1, 1},
        {"(a|b)*c", "abac", true, 1, 4},
        {"[A-C]", "b", false, 1, 1},
        {"[a-c]", "B", false, 1, 1},
        // Anchors only where they stand as anchors; escaped or inside a class they are characters.
        {"^", "abc", true, 1, 0},
        {"$", "abc", true, 4, 0},
        {"b$", "abab", true, 4, 1},
        {"^b", "abab", true, 0, 0},
        {"a^b", "a^b", true, 0, 0},
        {"\\^", "a^b", true, 2, 1},
        {"\\^", "a\nb", true, 0, 0},
        {"a\\^b", "a^b", true, 1, 3},
        {"\\$", "1$", true, 2, 1},
        {"^\\$[0-9]+$", "$12", true, 1, 3},
        {"[a^]", "x^", true, 2, 1},
        {"[$]", "5$", true, 2, 1},
        {"[^^]", "^^x", true, 3, 1},
        {"(^a|b$)", "ab", true, 1, 1},
        {"(^a|b$)", "cab", true, 3, 1},
        // Classes and literals take any character of the text, not only the first 256.
        {"[\u00e7\u20ac]", "a\u20ac", true, 2, 1},
        {"[\u0100-\u017f]+", "ab\u0141", true, 3, 1},
        {"[^a]", "a\u20ac", true, 2, 1},
        {"\U0001F600+", "x\U0001F600\U0001F600", true, 2, 2},
        {".", "\U0001F600", true, 1, 2},
    };
    for (const FindCase& c : cases) {
        TGRegularExpression rx;
        rx.SetCaseSensitive(c.caseSensitive);
        rx.SetExpression(QString::fromUtf8(c.pattern));
        int len = -1;
        const int pos = rx.Find(QString::fromUtf8(c.text), len);
        EXPECT_EQ(pos, c.pos) << c.pattern << " in " << c.text;
        if (c.pos > 0) {
            EXPECT_EQ(len, c.len) << c.pattern << " in " << c.text;
        }
    }
    // A search from a later position; "^" still means the start of the text.
    TGRegularExpression rx(QStringLiteral("[0-9]"));
    int len = 0;
    EXPECT_EQ(rx.FindFrom(QStringLiteral("1a2"), 2, len), 3);
    EXPECT_EQ(rx.FindFrom(QStringLiteral("1a2"), 4, len), 0);
    rx.SetExpression(QStringLiteral("^1"));
    EXPECT_EQ(rx.FindFrom(QStringLiteral("1a1"), 2, len), 0);
    EXPECT_TRUE(rx.MatchAt(QStringLiteral("1a1"), 1, len));
    EXPECT_FALSE(rx.MatchAt(QStringLiteral("1a1"), 3, len));
}

TEST(GRegularExpression, ValidationForm) {
    TGRegularExpression rx(QStringLiteral("^[a-c]+$"));
    EXPECT_TRUE(Valid(rx, "abc"));
    EXPECT_FALSE(Valid(rx, "abcd"));
    rx.SetExpression(QStringLiteral("^[0-9]+$"));
    EXPECT_TRUE(Valid(rx, "123"));
    EXPECT_FALSE(Valid(rx, "12a"));
    EXPECT_FALSE(Valid(rx, ""));
    rx.SetExpression(QStringLiteral("^[0-9]*$"));
    EXPECT_TRUE(Valid(rx, ""));
    EXPECT_FALSE(Valid(rx, "1 2"));
    rx.SetExpression(QStringLiteral("^[0-9]+\\-[0-9]+$"));
    EXPECT_TRUE(Valid(rx, "12-34"));
    EXPECT_FALSE(Valid(rx, "12abc"));
    EXPECT_FALSE(Valid(rx, "12-"));
    rx.SetExpression(QStringLiteral("[0-9]")); // unanchored: any text containing a digit
    EXPECT_TRUE(Valid(rx, "ab3cd"));
    EXPECT_FALSE(Valid(rx, "abcd"));
}

TEST(GRegularExpression, SyntaxErrorsNameWhatAndWhere) {
    struct Case {
        const char* Pattern;
        const char* Message; // the message alone, the place in Position
        int Position;
    };
    const Case cases[] = {
        // Text that no construct takes is an error, never dropped.
        {"a)b", "Unexpected meta character found", 2},
        {"a]b", "Unexpected meta character found", 2},
        {"a-b", "Unexpected meta character found", 2},
        {"^[0-9]+-[0-9]+$", "Unexpected meta character found", 8},
        {"a**", "Unexpected meta character found", 3},
        {"a+?", "Unexpected meta character found", 3},
        {"^*", "Unexpected meta character found", 2},
        {"a$?", "Unexpected meta character found", 3},
        {"(a]b)", "Unexpected meta character found", 3},
        {"*a", "Unexpected meta character found", 1},
        {"|a", "Unexpected meta character found", 1},
        {"()", "Unexpected meta character found", 2},
        {"[]", "Unexpected meta character found", 2},
        {"[a-]", "Unexpected meta character found", 4},
        {"[-a]", "Unexpected meta character found", 2},
        {"(ab", "Missing Close Parentheses", 4},
        {"((a)", "Missing Close Parentheses", 5},
        {"[ab", "Unexpected end of regular expression", 4},
        {"a\\", "Unexpected end of regular expression", 3},
        {"[a\\", "Unexpected end of regular expression", 4},
        {"a|", "Unexpected end of regular expression", 3},
    };
    for (const auto& [pattern, message, position] : cases) {
        TGRegularExpression rx;
        try {
            rx.SetExpression(QString::fromLatin1(pattern));
            ADD_FAILURE() << pattern;
        } catch (const ERXException& e) {
            EXPECT_EQ(e.Message(), message) << pattern;
            EXPECT_EQ(e.Position(), position) << pattern;
        }
        // A failed compile keeps no half-built automaton: the next search raises again instead of
        // running dangling links.
        EXPECT_TRUE(rx.Nodes().empty());
        EXPECT_THROW(rx.Find(QStringLiteral("abc")), ERXException) << pattern;
    }
    // The same patterns written as the syntax wants them compile.
    for (const char* pattern : {"a\\)b", "a\\]b", "a\\-b", "a*", "[a\\-]", "(a)", "[\\]]", "a\\\\"})
        EXPECT_EQ(CompileError(QString::fromLatin1(pattern)).first, "") << pattern;
}

TEST(GRegularExpression, NestingIsLimitedAndLongPatternsNeedNoDeepStack) {
    auto nested = [](int depth) {
        return QString(depth, QLatin1Char('(')) + QLatin1Char('a') + QString(depth, QLatin1Char(')'));
    };
    const int limit = TGRegularExpression::MaxNesting;
    TGRegularExpression rx(nested(limit));
    EXPECT_EQ(rx.Find(QStringLiteral("xa")), 2);
    const std::pair<std::string, int> tooDeep{"Regular expression nested too deeply", limit + 1};
    EXPECT_EQ(CompileError(nested(limit + 1)), tooDeep);
    EXPECT_EQ(CompileError(nested(30000)), tooDeep);
    // Terms and branches follow one another without nesting: tens of thousands of them compile.
    QString longPattern;
    for (int i = 0; i < 20000; ++i)
        longPattern += QStringLiteral("b%1").arg(i);
    rx.SetExpression(longPattern);
    int len = 0;
    EXPECT_EQ(rx.Find(QStringLiteral("xx") + longPattern, len), 3);
    EXPECT_EQ(len, longPattern.size());
    QStringList branches;
    for (int i = 0; i < 50000; ++i)
        branches << QStringLiteral("b%1").arg(i);
    rx.SetExpression(branches.join(QLatin1Char('|')));
    EXPECT_EQ(rx.Find(QStringLiteral("xxb49999"), len), 3);
    EXPECT_EQ(len, 2); // the shortest: "b4"
}

TEST(GRegularExpression, HostilePatternsOnLongTexts) {
    // Answers only (the time is the benchmark's): patterns whose work grows with the square of the text
    // when every start position is tried on its own.
    const QString as(10000, QLatin1Char('a'));
    for (const char* pattern : {".*x", "(a*)*b", "(a|b|c|d)*e", "(a|aa)*c"}) {
        TGRegularExpression rx(QString::fromLatin1(pattern));
        EXPECT_EQ(rx.Find(as), 0) << pattern;
        // The text ending in the pattern's last character matches from the start, in one piece.
        const QString text = as + QLatin1Char(pattern[std::strlen(pattern) - 1]);
        int len = 0;
        EXPECT_EQ(rx.Find(text, len), 1) << pattern;
        EXPECT_EQ(len, text.size()) << pattern;
    }
}

TEST(GRegularExpression, EmptyLoopsTerminate) {
    const char* patterns[] = {"(a*)*b",    "(a*)+b",    "(a?)*b", "((a*)*)*", "(a|b*)*c",
                              "((a?)*)+c", "(a*|b*)*$", "(^)*a",  "($)+"};
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

// Random patterns of this engine's syntax, written so that std::regex (ECMAScript) reads them alike:
// anchors anywhere, escaped metacharacters, classes holding "^", "$", "]" and "-".
class PatternGen {
public:
    explicit PatternGen(unsigned seed) : m_rng(seed) {}
    std::string Pattern() { return Alternation(0); }
    std::string Text() {
        std::string t;
        const int n = Pick(8);
        for (int i = 0; i < n; ++i)
            t += "abcA1^$-]."[Pick(10)];
        return t;
    }

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    std::string Alternation(int depth) {
        std::string s = Concatenation(depth);
        while (depth < 3 && Pick(5) == 0)
            s += "|" + Concatenation(depth + 1);
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
        if (Pick(10) == 0)
            return Pick(2) ? "^" : "$"; // an anchor takes no postfix operator
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
        static const char* const classes[] = {"[a-b]",  "[^a]",   "[ac1]",  "[a^]",     "[$b]",
                                              "[\\^c]", "[\\]a]", "[\\-1]", "[^$^\\-]", "[A-C]"};
        static const char* const escaped[] = {"\\^", "\\$", "\\.", "\\-", "\\]", "\\*"};
        switch (Pick(depth < 3 ? 10 : 8)) {
        case 0:
            return ".";
        case 1:
        case 2:
            return classes[Pick(int(std::size(classes)))];
        case 3:
            return escaped[Pick(int(std::size(escaped)))];
        case 8:
        case 9:
            return "(" + Alternation(depth + 1) + ")";
        default:
            return std::string(1, "abcA1"[Pick(5)]);
        }
    }
    std::mt19937 m_rng;
};

// The shortest match of a pattern that starts exactly at start, by std::regex (-1 when none).
int ShortestAt(const std::regex& re, const std::string& text, std::size_t start) {
    for (std::size_t len = 0; start + len <= text.size(); ++len) {
        auto flags = std::regex_constants::match_default;
        if (start > 0)
            flags |= std::regex_constants::match_not_bol;
        if (start + len < text.size())
            flags |= std::regex_constants::match_not_eol;
        if (std::regex_match(text.begin() + std::ptrdiff_t(start), text.begin() + std::ptrdiff_t(start + len),
                             re, flags))
            return int(len);
    }
    return -1;
}

} // namespace

TEST(GRegularExpression, AgreesWithStdRegex) {
    PatternGen gen(20240611);
    int checked = 0;
    int matched = 0;
    for (int i = 0; i < 600; ++i) {
        const std::string pattern = gen.Pattern();
        const bool caseSensitive = i % 3 != 0;
        TGRegularExpression rx;
        rx.SetCaseSensitive(caseSensitive);
        ASSERT_NO_THROW(rx.SetExpression(QString::fromStdString(pattern))) << pattern;
        auto flags = std::regex::ECMAScript;
        if (!caseSensitive)
            flags |= std::regex::icase;
        const std::regex oracle(pattern, flags);
        for (int k = 0; k < 8; ++k) {
            const std::string text = gen.Text();
            std::smatch m;
            const bool expected = std::regex_search(text, m, oracle);
            int len = -1;
            const int pos = rx.Find(QString::fromStdString(text), len);
            ASSERT_EQ(pos > 0, expected) << "pattern " << pattern << " text " << text;
            ++checked;
            if (!expected)
                continue;
            ++matched;
            // The same leftmost start; this engine stops at the shortest match found there.
            ASSERT_EQ(pos - 1, m.position(0)) << "pattern " << pattern << " text " << text;
            ASSERT_EQ(len, ShortestAt(oracle, text, std::size_t(pos - 1)))
                << "pattern " << pattern << " text " << text;
        }
    }
    EXPECT_EQ(checked, 4800);
    // Both answers occur often enough to mean something.
    EXPECT_GT(matched, checked / 5);
    EXPECT_LT(matched, checked * 4 / 5);
}
