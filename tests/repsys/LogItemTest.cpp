#include "OLogItem.h"

#include <gtest/gtest.h>

using namespace reporter;

namespace {

std::string Rule(size_t length) {
    return std::string(length, '-');
}

} // namespace

TEST(LogItem, HiddenFieldsKeepTheirNumbersAndEmptyGroupsVanish) {
    TLogItem item(0);
    item.AddGroup("Exception");
    item.AddField("Date", "Mon, 1 Jan 2024 10:00:00 +0000");
    item.AddField("Address", "00000000DEADBEEF", false);
    item.AddField("Module", "app");
    item.AddGroup("Empty");
    item.AddField("A", "x", false);
    item.AddGroup("Computer");
    item.AddField("Name", "host");
    item.AddField("Total Memory", "100 Mb");
    EXPECT_EQ(item.GroupNumber(), 3);
    EXPECT_EQ(item.FieldNumber(), 2);

    // Every ": " of a group stands in one column; the rule is as long as the group's longest line.
    const std::string expected = "Exception:\r\n" + Rule(44) +
                                 "\r\n"
                                 "  1.1 Date  : Mon, 1 Jan 2024 10:00:00 +0000\r\n"
                                 "  1.3 Module: app\r\n"
                                 "\r\n"
                                 "Computer:\r\n" +
                                 Rule(26) +
                                 "\r\n"
                                 "  3.1 Name        : host\r\n"
                                 "  3.2 Total Memory: 100 Mb\r\n";
    EXPECT_EQ(item.GetText(), expected);
}

TEST(LogItem, EmptyFirstAndLastGroupsLeaveNoBlankLines) {
    TLogItem item(0);
    item.AddGroup("First");
    item.AddField("Hidden", "x", false);
    item.AddGroup("Middle");
    item.AddField("Shown", "y");
    item.AddGroup("Last");
    item.AddField("Hidden", "z", false);
    EXPECT_EQ(item.GetText(), "Middle:\r\n" + Rule(14) + "\r\n  2.1 Shown: y\r\n");

    TLogItem nothing(0);
    nothing.AddGroup("Only");
    nothing.AddField("Hidden", "x", false);
    EXPECT_EQ(nothing.GetText(), "");
}

TEST(LogItem, GroupNumbersStartAfterTheId) {
    TLogItem item(5);
    item.AddGroup("Custom Information");
    item.AddField("Key", "value");
    EXPECT_EQ(item.ID(), 5);
    EXPECT_NE(item.GetText().find("  6.1 Key: value\r\n"), std::string::npos);
}

TEST(LogItem, MultiLineValuesContinueUnderTheValueColumn) {
    TLogItem item(0);
    item.AddGroup("Exception");
    item.AddField("Type", "X");
    // Line feeds alone, as messages on this system usually carry them, count as line breaks too.
    item.AddField("Message", "first line\nsecond: part\r\n\r\n  \nlast");
    const std::string indent(14, ' ');
    const std::string expected = "Exception:\r\n" + Rule(27) +
                                 "\r\n"
                                 "  1.1 Type   : X\r\n"
                                 "  1.2 Message: first line\r\n" +
                                 indent + " second:_part\r\n" + indent + " .\r\n" + indent + " .\r\n" +
                                 indent + " last\r\n";
    EXPECT_EQ(item.GetText(), expected);
}

TEST(LogItem, FieldValues) {
    EXPECT_EQ(FormatFieldValue("a: b"), "a: b"); // one line stays as it is
    EXPECT_EQ(FormatFieldValue("a\r\n"), "a");
    EXPECT_EQ(FormatFieldValue("\nb"), ".\r\n b");
    EXPECT_EQ(FormatFieldValue("x: y: z\rq"), "x:_y:_z\r\n q");
    EXPECT_EQ(PadRight("ab", 4), "ab  ");
    EXPECT_EQ(PadRight("abcdef", 4), "abcdef");
}
