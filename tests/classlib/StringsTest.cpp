// The string list: index bounds on both sides, name=value access, duplicates and case, and the change
// events around every change (and none around a change refused or one that changes nothing).
#include "classlib/Strings.h"
#include "classlib/SysUtils.h"
#include <gtest/gtest.h>

namespace {

// Records the events with the lines as each event saw them.
struct Recorder {
    explicit Recorder(TStrings& list) {
        list.OnChanging = [this](TStrings* s) {
            events << QStringLiteral("changing:") + s->Lines().join(u',');
        };
        list.OnChange = [this](TStrings* s) { events << QStringLiteral("change:") + s->Lines().join(u','); };
    }
    QStringList events;
};

} // namespace

TEST(Strings, IndexesAreCheckedOnBothSides) {
    TStringList list;
    list.SetLines({"a", "b", "c"});
    Recorder recorder(list);
    EXPECT_EQ(list.Strings(0), "a");
    EXPECT_EQ(list.Strings(2), "c");
    try {
        list.Strings(3);
        ADD_FAILURE();
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (3)");
    }
    EXPECT_THROW(list.Strings(-1), EListError);
    EXPECT_THROW(list.Put(3, "x"), EListError);
    EXPECT_THROW(list.Put(-1, "x"), EListError);
    EXPECT_THROW(list.Delete(3), EListError);
    EXPECT_THROW(list.Delete(-1), EListError);
    EXPECT_THROW(list.Insert(4, "x"), EListError);
    EXPECT_THROW(list.Insert(-1, "x"), EListError);
    // Refused calls change nothing and say nothing.
    EXPECT_EQ(list.Lines(), (QStringList{"a", "b", "c"}));
    EXPECT_TRUE(recorder.events.isEmpty());
    // The last index of each call is taken: Insert may append at Count.
    list.Put(2, "C");
    list.Insert(3, "d");
    list.Delete(0);
    EXPECT_EQ(list.Lines(), (QStringList{"b", "C", "d"}));
    EXPECT_EQ(recorder.events, (QStringList{"changing:a,b,c", "change:a,b,C", "changing:a,b,C",
                                            "change:a,b,C,d", "changing:a,b,C,d", "change:b,C,d"}));
}

TEST(Strings, NamesAndValuesSplitAtTheFirstSeparator) {
    TStringList list;
    list.SetLines({"host=example", "port=502=x", "plain", "=empty", "Key=", "a:b"});
    const QStringList names{"host", "port", "", "", "Key", ""};
    const QStringList values{"example", "502=x", "", "empty", "", ""};
    ASSERT_EQ(list.Count(), names.size());
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(list.Names(i), names.at(i)) << i;
        EXPECT_EQ(list.ValueFromIndex(i), values.at(i)) << i;
    }
    EXPECT_THROW(list.Names(6), EListError);
    EXPECT_THROW(list.ValueFromIndex(-1), EListError);
    // A line without separator has no name, even when its text is the name asked for.
    EXPECT_EQ(list.IndexOfName("plain"), -1);
    EXPECT_EQ(list.IndexOfName(""), 3);
    // Names compare without case unless the list is case-sensitive.
    EXPECT_EQ(list.IndexOfName("KEY"), 4);
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOfName("KEY"), -1);
    EXPECT_EQ(list.IndexOfName("Key"), 4);
    // Another separator.
    list.SetNameValueSeparator(QLatin1Char(':'));
    EXPECT_EQ(list.Names(5), "a");
    EXPECT_EQ(list.ValueFromIndex(5), "b");
    EXPECT_EQ(list.Names(0), "");
    EXPECT_EQ(list.IndexOfName("host"), -1);
}

TEST(Strings, DuplicatesAreKeptAndFoundFirstToLast) {
    TStringList list;
    EXPECT_EQ(list.Add("Line"), 0);
    EXPECT_EQ(list.Add("line"), 1);
    EXPECT_EQ(list.Add("Line"), 2);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.IndexOf("LINE"), 0); // without case by default
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOf("line"), 1);
    EXPECT_EQ(list.IndexOf("LINE"), -1);
    list.Delete(0);
    EXPECT_EQ(list.IndexOf("Line"), 1);
    // Lines keep every character, line breaks included: a list is lines, not text.
    list.Put(0, QStringLiteral("a\r\nb"));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Strings(0), QStringLiteral("a\r\nb"));
}

TEST(Strings, NothingChangedMeansNoEvents) {
    TStringList list;
    Recorder recorder(list);
    list.Clear(); // already empty
    list.SetLines({});
    EXPECT_TRUE(recorder.events.isEmpty());
    list.SetLines({"x"});
    list.SetLines({"x"});
    EXPECT_EQ(recorder.events, (QStringList{"changing:", "change:x"}));
    TStringList copy;
    copy.Assign(list);
    EXPECT_EQ(copy.Lines(), QStringList{"x"});
    list.Clear();
    EXPECT_EQ(recorder.events.last(), "change:");
    EXPECT_EQ(copy.Lines(), QStringList{"x"}); // a copy, not a view
}
