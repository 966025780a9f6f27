// Matching without regard to case folds the letters only: the characters next to 'a'..'z' and 'A'..'Z'
// ('@', '[', '`', '{') keep their case-less identity, in literals and in classes alike.
#include "inspector/GRegularExpression.h"
#include <gtest/gtest.h>

TEST(GRegularExpression, CaseFoldingStopsAtTheEdgesOfTheAlphabet) {
    struct TCase {
        const char* Pattern;
        const char* Text;
        bool CaseSensitive;
        bool Found;
    };
    const TCase cases[] = {
        {"z", "Z", false, true},      {"Z", "z", false, true},       {"a", "A", false, true},
        {"A", "a", false, true},      {"z", "Z", true, false},       {"A", "a", true, false},
        {"@", "`", false, false},     {"`", "@", false, false},      {"\\[", "{", false, false},
        {"{", "[", false, false},     {"[a-z]", "Z", false, true},   {"[A-Z]", "z", false, true},
        {"[y-z]", "Z", false, true},  {"[a-b]", "A", false, true},   {"[`-`]", "@", false, false},
        {"[{-}]", "[", false, false}, {"[@-@]", "`", false, false},  {"[\\[-\\[]", "{", false, false},
        {"[z-~]", "Z", false, true},  {"[z-~]", "[", false, false},  {"[`-a]", "A", false, true},
        {"[`-a]", "@", false, false}, {"[^a-z]", "Z", false, false}, {"[^a-z]", "@", false, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Pattern) + " in " + c.Text + (c.CaseSensitive ? " with case" : ""));
        TGRegularExpression rx;
        rx.SetCaseSensitive(c.CaseSensitive);
        rx.SetExpression(QString::fromLatin1(c.Pattern));
        EXPECT_EQ(rx.Find(QString::fromLatin1(c.Text)) > 0, c.Found);
    }
}
