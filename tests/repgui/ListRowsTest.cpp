// Rows of the list pages and the thread header, made from stack and module lists.
#include "ReportFixture.h"

#include "reporter/gui/OListRows.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace reporter;
using namespace repgui;

TEST(ListRows, ModuleTextsFollowTheListConventions) {
    EXPECT_EQ(FormatAddress(0x401000), "0000000000401000");
    EXPECT_EQ(FormatAddress(0x7fffABCD0000), "00007FFFABCD0000");
    EXPECT_EQ(ShortVersion("2.4.1.7"), "2.4.x");
    EXPECT_EQ(ShortVersion("6.4"), "6.4");
    EXPECT_EQ(ShortVersion(""), "");
    EXPECT_EQ(SizeInKb(1536), "2 Kb");
    EXPECT_EQ(SizeInKb(1535), "1 Kb");
    EXPECT_EQ(SizeInKb(0), "0 Kb");
    EXPECT_EQ(ModuleImage("C:/lib/widgets.DPL", mkLibrary), 1);
    EXPECT_EQ(ModuleImage("/lib/pack.bpl", mkLibrary), 1);
    EXPECT_EQ(ModuleImage("/usr/lib/libz", mkLibrary), 0);
    EXPECT_EQ(ModuleImage("/opt/tool.exe", mkLibrary), 2);
    EXPECT_EQ(ModuleImage("/opt/vexadaxo/vexadaxo", mkProgram), 2);
}

TEST(ListRows, ProcessModulesGiveOneRowEachWithTheProgramFirst) {
    TOstrelModulesList modules;
    modules.GetProcessModules();
    ASSERT_GT(modules.Count(), 1);
    const std::vector<TListRowData> rows = BuildModuleRows(modules);
    ASSERT_EQ(int(rows.size()), modules.Count());
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].Texts.size(), size_t(ModulesColumnCount));
        EXPECT_EQ(rows[i].Texts[0], FormatAddress(modules.Items(int(i))->Handle));
        EXPECT_FALSE(rows[i].Header);
        EXPECT_EQ(rows[i].Texts[4].substr(rows[i].Texts[4].size() - 3), " Kb");
    }
}

TEST(ListRows, CallStackGroupsPerThreadAndStack) {
    TFixedReport report;
    const std::vector<TListRowData>& rows = report.Content.CallStackRows;
    // Main header, its debug entry (the export of kind 2 shows, the program's kind 3 does not), a blank
    // row before the running worker, its header and entry, then the worker's calling stack without a blank.
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_TRUE(rows[0].Header);
    EXPECT_TRUE(rows[0].Running);
    EXPECT_EQ(rows[0].Caption, "Exception Thread: ID=4194400; Priority=0; [Main]");
    EXPECT_EQ(rows[1].Texts[0], "0000000000401234");
    EXPECT_EQ(rows[1].Texts[1], "vexadaxo");
    EXPECT_EQ(rows[1].Texts[4], "TMain::Click");
    EXPECT_EQ(rows[1].Texts[5], "120[3]");
    EXPECT_EQ(rows[1].Image, 3);
    EXPECT_EQ(rows[2].Texts[1], "libqt.so.6");
    EXPECT_EQ(rows[2].Texts[5], "");
    EXPECT_EQ(rows[2].Image, 0);
    EXPECT_FALSE(rows[3].Header);
    for (const std::string& text : rows[3].Texts)
        EXPECT_TRUE(text.empty());
    EXPECT_TRUE(rows[4].Header);
    EXPECT_EQ(rows[4].Caption, "Running Thread: ID=4194500; Priority=5; Class=TWorker");
    EXPECT_EQ(rows[5].Texts[4], "TWorker::Execute");
    EXPECT_TRUE(rows[6].Header);
    EXPECT_FALSE(rows[6].Running);
    EXPECT_EQ(rows[6].Caption, "Calling Thread: ID=4194500; Priority=5; Class=TWorker");
    EXPECT_EQ(rows[7].Texts[4], "TMain::StartWorker");
}

TEST(ListRows, CallStackOptionsHideExportsAndLineOffsets) {
    TFixedReport report;
    report.Options.SetCallStackFlags(0x00);
    const std::vector<TListRowData> rows = BuildCallStackRows(report.Stack, report.Options, report.Lookup);
    ASSERT_EQ(rows.size(), 7u); // the library's export is gone
    EXPECT_EQ(rows[1].Texts[5], "120");
    EXPECT_TRUE(rows[2].Texts[0].empty()); // straight to the blank row
}

TEST(ListRows, ThreadHeadersComeFromTheInstalledLookupWithoutOne) {
    TFixedReport report;
    // Nobody installed a lookup: the system knows the process's own main thread, not the made-up ones.
    const std::vector<TListRowData> rows = BuildCallStackRows(report.Stack, report.Options);
    ASSERT_TRUE(rows[0].Header);
    EXPECT_EQ(rows[0].Caption, "Exception Thread: ID=4194400; Priority=??");

    auto self = Entry(uint32_t(getpid()), true, dkDebugData, report.Program, 1, "", "");
    TOstrelStackList own;
    own.Add(std::move(self));
    const std::vector<TListRowData> ownRows = BuildCallStackRows(own, report.Options);
    ASSERT_EQ(ownRows.size(), 2u);
    EXPECT_EQ(ownRows[0].Caption.find("??"), std::string::npos) << ownRows[0].Caption;
    EXPECT_NE(ownRows[0].Caption.find("; [Main]"), std::string::npos) << ownRows[0].Caption;
}

TEST(ListRows, AvailabilityAndTabMapping) {
    TDialogOptions options;
    options.DialogFlags = 0x10;
    TDialogAvailability a = GetDialogAvailability(options, false);
    EXPECT_EQ(a.BottomHeight, 0);
    EXPECT_FALSE(a.Send || a.Screenshot || a.Clipboard || a.SupportLink);
    options.MailSendMode = 2;
    a = GetDialogAvailability(options, false);
    EXPECT_TRUE(a.Send && a.Screenshot);
    EXPECT_EQ(a.BottomHeight, 34);
    a = GetDialogAvailability(options, true);
    EXPECT_FALSE(a.Send || a.Screenshot);
    options.SupportPageURL = "  ";
    options.DialogFlags = 0x08;
    EXPECT_EQ(GetDialogAvailability(options, true).BottomHeight, 20);
    options.SupportPageURL = "http://support.example/";
    EXPECT_EQ(GetDialogAvailability(options, true).BottomHeight, 34);

    // Modules hidden, CPU shown: tabs General, Call Stack, CPU, Other.
    EXPECT_EQ(PageOfTab(2, false, true), int(rpCPU));
    EXPECT_EQ(PageOfTab(3, false, true), int(rpCustomData));
    EXPECT_EQ(PageOfTab(2, false, false), int(rpCustomData));
    for (int page : {0, 1, 3, 4})
        EXPECT_EQ(PageOfTab(TabOfPage(page, false, true), false, true), page);
    options.DialogTabSetting = 4;
    EXPECT_EQ(FirstDialogPage(options, false), int(rpGeneral));
    EXPECT_EQ(FirstDialogPage(options, true), int(rpCustomData));
    options.DialogTabSetting = 0x80 | 3;
    options.LogFlags = 0x10;
    EXPECT_EQ(FirstDialogPage(options, true), int(rpGeneral)); // CPU tab not shown
    options.DialogTabSetting = 0x7F;
    EXPECT_EQ(FirstDialogPage(options, true), int(rpGeneral));
}
