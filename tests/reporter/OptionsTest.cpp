#include "OErrors.h"
#include "OLData.h"
#include "OOptions.h"
#include "OStream.h"
#include "OTexts.h"

#include "tests/support/TestTools.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <utility>

using namespace reporter;

namespace {

// Counts the notifications the options would publish.
class TCountingOptions : public TOstrelModuleOptions {
public:
    explicit TCountingOptions(bool notify = true) : TOstrelModuleOptions(std::string(), notify) {}
    void Changed() override { ++ChangedCount; }
    int ChangedCount = 0;
};

// The stream layout written independently of the options code, field by field.
class TExpected {
public:
    void U8(uint8_t v) { bytes.push_back(v); }
    void U16(uint16_t v) {
        U8(uint8_t(v));
        U8(uint8_t(v >> 8));
    }
    void U32(uint32_t v) {
        U16(uint16_t(v));
        U16(uint16_t(v >> 16));
    }
    void Str(const std::string& s) {
        U32(uint32_t(s.size()));
        for (char c : s)
            U8(uint8_t(c) ^ OptionsStringScramble);
    }
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Save(const TOstrelModuleOptions& options) {
    TOstrelStream stream;
    options.SaveToStream(stream);
    return stream.Bytes();
}

void Load(TOstrelModuleOptions& options, const std::vector<uint8_t>& bytes, int version) {
    TOstrelStream stream(bytes);
    const int saved = OptionsDataVersion;
    OptionsDataVersion = version;
    try {
        options.LoadFromStream(stream);
    } catch (...) {
        OptionsDataVersion = saved;
        throw;
    }
    OptionsDataVersion = saved;
}

} // namespace

TEST(Options, DefaultsAndSetterRules) {
    TOstrelModuleOptions o("", false);
    EXPECT_EQ(o.SMTPPort(), 25);
    EXPECT_EQ(o.TerminateAction(), 1);
    EXPECT_EQ(o.FreezeSeconds(), 60);
    EXPECT_EQ(o.FreezeText(), "The application seems to be frozen.");
    for (uint8_t b : o.GeneralFields())
        EXPECT_EQ(b, 0xFF);
    EXPECT_EQ(o.SendFlags(), 0x0051);
    EXPECT_EQ(o.DialogFlags(), 0x1F);
    EXPECT_EQ(o.CallStackFlags(), 0x0F);
    EXPECT_EQ(o.LogFlags(), 0x30);
    EXPECT_EQ(o.ProcessingFlags(), 0x30);
    EXPECT_EQ(o.MaxLogReports(), 32);
    EXPECT_EQ(o.DialogCountLimit(), 3);
    EXPECT_TRUE(o.FilterActive() && o.DialogCountCheck() && o.LogToFile() && o.ReporterActive());
    EXPECT_FALSE(o.FreezeWatch());
    EXPECT_EQ(o.UpdateCount(), 0);
    EXPECT_EQ(o.GetText(0), "Information.");
    EXPECT_EQ(o.GetText(95), "Sorry, sending the message didn't work.");
    EXPECT_EQ(o.HTMLPageTemplate().substr(0, 14), "<html>\r\n  <hea");
    EXPECT_EQ(o.HTMLPageTemplate().substr(o.HTMLPageTemplate().size() - 18), "  </body>\r\n</html>");
    EXPECT_EQ(GeneralFieldKeys[32], std::string("Network|DHCP"));
    EXPECT_EQ(OptionLabels[106], std::string("Failure"));

    o.SetMaxLogReports(0);
    EXPECT_EQ(o.MaxLogReports(), 1);
    o.SetMaxLogReports(7);
    EXPECT_EQ(o.MaxLogReports(), 7);
    EXPECT_THROW(o.Assign(nullptr), EConvertError);
}

TEST(Options, ChangeNotification) {
    TCountingOptions o;
    o.SetSMTPPort(26);
    EXPECT_EQ(o.ChangedCount, 1);

    o.ChangedCount = 0;
    o.BeginUpdate();
    o.SetSMTPServer("mail");
    o.FilterClasses().Add("EFoo");
    o.EndUpdate();
    EXPECT_EQ(o.ChangedCount, 0);
    o.DoChanged();
    EXPECT_EQ(o.ChangedCount, 1);

    // Options of another module never announce themselves here.
    class TForeign : public TOstrelModuleOptions {
    public:
        TForeign() : TOstrelModuleOptions("no-such-module.so", true) {}
        void Changed() override { ++count; }
        int count = 0;
    } foreign;
    foreign.SetSMTPPort(1);
    EXPECT_EQ(foreign.count, 0);
}

TEST(Options, EveryKindOfChangeNotifiesOnlyWhenTheOptionsWereBuiltToNotify) {
    const TOstrelModuleOptions source("", false);
    const std::vector<uint8_t> stream = Save(source);
    const std::vector<std::pair<const char*, std::function<void(TCountingOptions&)>>> changes = {
        {"plain setter", [](TCountingOptions& o) { o.SetSMTPPort(26); }},
        {"freeze seconds", [](TCountingOptions& o) { o.SetFreezeSeconds(5); }},
        {"freeze text", [](TCountingOptions& o) { o.SetFreezeText("frozen"); }},
        {"report text", [](TCountingOptions& o) { o.SetText(3, "text"); }},
        {"active", [](TCountingOptions& o) { o.SetActive(false); }},
        {"freeze active", [](TCountingOptions& o) { o.SetFreezeActive(true); }},
        {"filter list", [](TCountingOptions& o) { o.FilterMessages().Add("gone"); }},
        {"defaults", [](TCountingOptions& o) { o.SetDefaults(); }},
        {"assign", [&](TCountingOptions& o) { o.Assign(&source); }},
        {"load", [&](TCountingOptions& o) { Load(o, stream, CurrentOptionsDataVersion); }},
    };
    for (const bool notify : {false, true}) {
        for (const auto& [what, change] : changes) {
            SCOPED_TRACE(std::string(what) + (notify ? " notifying" : " silent"));
            TCountingOptions o(notify);
            change(o);
            if (notify)
                EXPECT_GE(o.ChangedCount, 1);
            else
                EXPECT_EQ(o.ChangedCount, 0);
        }
    }
}

TEST(Options, AssignKeepsIdentityAndNotifiesOnce) {
    TOstrelModuleOptions source("source.so", false);
    source.SetSMTPServer("smtp.example");
    source.SetActive(false);
    source.SetFreezeActive(true);
    source.SetText(5, "Other header");
    source.FilterClasses().Add("EAbortLike");

    TCountingOptions target;
    target.Assign(&source);
    EXPECT_EQ(target.ChangedCount, 1);
    EXPECT_EQ(target.SMTPServer(), "smtp.example");
    EXPECT_TRUE(target.FreezeWatch());
    EXPECT_EQ(target.GetText(5), "Other header");
    EXPECT_EQ(target.FilterClasses().Count(), 1);
    EXPECT_TRUE(target.ReporterActive());
    EXPECT_EQ(target.ModuleName(), "");
}

TEST(Options, GoldenDefaultStream) {
    TOstrelModuleOptions o("", false);
    TExpected e;
    for (uint8_t b : {0, 1, 0x30, 0, 1, 0, 0})
        e.U8(b);
    e.U32(60);
    e.Str("The application seems to be frozen.");
    e.Str(DefaultSMTPSender);
    e.Str("");
    e.U16(25);
    e.Str("");
    e.Str("");
    e.U8(1);
    e.U8(1);
    e.U32(32);
    e.U32(3);
    e.Str("");
    e.Str("");
    e.U8(0);
    for (int i = 0; i < 5; ++i)
        e.U8(0xFF);
    e.Str("");
    e.U8(0);
    e.Str("");
    e.Str("");
    e.Str("");
    e.U32(0);
    e.Str("");
    e.U16(0x51);
    e.U8(0x1F);
    e.U32(0);
    e.Str("");
    e.Str(DefaultHTMLPageTemplate);
    e.U8(0x0F);
    e.U8(0x30);
    e.U8(1);
    e.U32(10);
    e.U32(1);
    e.U32(0);
    e.Str("");
    for (int i = 0; i < ReportTextCount; ++i) {
        std::string text = DefaultReportTexts[size_t(i)];
        e.Str(text);
    }
    EXPECT_EQ(testtools::Hex(Save(o).data(), Save(o).size()), testtools::Hex(e.bytes.data(), e.bytes.size()));
}

TEST(Options, StringsAndFiltersInTheStream) {
    TOstrelModuleOptions o("", false);
    o.SetMailBody("abc\r\n");
    o.SetMailSubject("a\r\nb\r\n");
    o.FilterClasses().Add("EOne");
    o.FilterClasses().Add("ETwo");
    o.FilterMessages().Add("first");
    const std::vector<uint8_t> bytes = Save(o);

    TOstrelModuleOptions loaded("", false);
    Load(loaded, bytes, CurrentOptionsDataVersion);
    EXPECT_EQ(loaded.MailBody(), "abc");           // a single trailing line end is dropped
    EXPECT_EQ(loaded.MailSubject(), "a\r\nb\r\n"); // kept whole when a line end stands inside
    ASSERT_EQ(loaded.FilterClasses().Count(), 2);
    ASSERT_EQ(loaded.FilterMessages().Count(), 2);
    EXPECT_EQ(loaded.FilterClasses().Strings(1), "ETwo");
    EXPECT_EQ(loaded.FilterMessages().Strings(0), "first");
    EXPECT_EQ(loaded.FilterMessages().Strings(1), "");
}

TEST(Options, RoundTripOfEveryField) {
    TOstrelModuleOptions o("", false);
    o.SetSMTPSender("s@x");
    o.SetSMTPServer("srv");
    o.SetSMTPUser("u");
    o.SetSMTPPassword("p");
    o.SetSMTPPort(2525);
    o.SetTerminateAction(0);
    o.SetFreezeActive(true);
    o.SetFreezeSeconds(90);
    o.SetGeneralFields({1, 2, 3, 4, 5});
    o.SetSpareFlag(9);
    o.SetFilterActive(false);
    o.SetAppendReportToMessage(true);
    o.SetDialogCountCheck(false);
    o.SetLogToFile(false);
    o.SetLogFlags(0x0B);
    o.SetSendFlags(0x1FF);
    o.SetDialogTabSetting(0x83);
    o.SetMaxLogReports(-5);
    o.SetDialogCountLimit(77);
    o.SetLogFileLocation("/var/log/x.olf");
    o.SetMailRecipient("r@x");
    o.SetMailSendMode(3);
    o.SetUploadMode(2);
    o.SetExtraAttachments("a;b");
    o.SetDialogFlags(0xE0);
    o.SetDialogAutoCloseSeconds(12);
    o.SetSupportPageURL("http://x");
    o.SetHTMLPageTemplate("<%HTML_TAG%>");
    o.SetErrorRateAction(2);
    o.SetErrorRateCount(4);
    o.SetErrorRateMinutes(5);
    o.SetCallStackFlags(0x1F);
    o.SetProcessingFlags(0x7F);
    o.SetUploadURL("ftp://x");
    o.SetUploadPort(0x12345);
    o.SetUploadPassword("pw");
    o.SetUploadUser("uu");
    o.SetText(94, "Sent.");
    const std::vector<uint8_t> bytes = Save(o);

    TOstrelModuleOptions loaded("", false);
    Load(loaded, bytes, CurrentOptionsDataVersion);
    EXPECT_EQ(Save(loaded), bytes);
    EXPECT_EQ(loaded.UploadPort(), 0x12345u);
    EXPECT_EQ(loaded.GetText(94), "Sent.");
}

TEST(Options, OlderStreamVersion449) {
    // Version 449: one byte after LogFlags (inverted), no SMTPSender and no SMTPPort, a 4-byte General
    // set in the old bit order followed by a spare byte, nothing from UploadMode on, fewer texts.
    TExpected e;
    e.U8(0);    // SpareFlag
    e.U8(0);    // FilterActive
    e.U8(0x01); // LogFlags
    e.U8(1);    // inverted before 450: bit 0x01 of DialogFlags goes off
    e.U8(1);    // AppendReportToMessage
    e.U8(0);    // LogToFile
    e.U8(4);    // DialogTabSetting
    e.U8(1);    // bit 0x80 of DialogFlags
    e.U8(1);    // FreezeWatch
    e.U32(30);  // FreezeSeconds
    e.Str("Frozen!");
    e.Str("mail.example"); // SMTPServer
    e.Str("user");
    e.Str("secret");
    e.U8(0); // TerminateAction
    e.U8(0); // DialogCountCheck
    e.U32(0);
    e.U32(9);
    e.Str("to@example");
    e.Str("subject");
    e.U8(1);           // MailSendMode: non-zero with a server becomes 2
    e.U32(0x00000011); // old bits 0 and 4; old bit 4 is removed, bit 0 stays
    e.U8(0);           // spare
    e.Str("/logs");
    e.U32(1);
    e.Str("EOld");
    e.Str("old message");
    e.Str("body");
    int texts = 0;
    for (int i = 0; i < ReportTextCount; ++i) {
        const bool absent = (i >= 8 && i <= 11) || (i >= 18 && i <= 20) || i == 26 || i == 41 || i == 47 ||
                            i == 48 || i == 52 || i >= 75 || i == 12 || i == 13 || i == 21 || i == 27 ||
                            i == 46 || (i >= 54 && i <= 61) || (i >= 68 && i <= 74);
        if (!absent) {
            e.Str("T" + std::to_string(i));
            ++texts;
        }
    }
    TOstrelModuleOptions o("", false);
    Load(o, e.bytes, 449);
    EXPECT_EQ(o.DialogFlags(), 0x9E);
    EXPECT_TRUE(o.AppendReportToMessage());
    EXPECT_FALSE(o.LogToFile());
    EXPECT_EQ(o.DialogTabSetting(), 4);
    EXPECT_TRUE(o.FreezeWatch());
    EXPECT_EQ(o.FreezeSeconds(), 30);
    EXPECT_EQ(o.SMTPSender(), DefaultSMTPSender);
    EXPECT_EQ(o.SMTPServer(), "mail.example");
    EXPECT_EQ(o.SMTPPort(), 25);
    EXPECT_EQ(o.SMTPPassword(), "secret");
    EXPECT_EQ(o.MaxLogReports(), 1);
    EXPECT_EQ(o.MailSendMode(), 2);
    EXPECT_TRUE(o.GeneralField(0));
    EXPECT_FALSE(o.GeneralField(3));
    EXPECT_FALSE(o.GeneralField(4));
    EXPECT_EQ(o.SendFlags(), 0x51);
    EXPECT_EQ(o.HTMLPageTemplate(), DefaultHTMLPageTemplate);
    EXPECT_EQ(o.FilterMessages().Strings(0), "old message");
    EXPECT_EQ(o.MailBody(), "body");
    EXPECT_EQ(o.GetText(0), "T0");
    EXPECT_EQ(o.GetText(8), "Modules");
    EXPECT_EQ(o.GetText(62), "T62");
    EXPECT_EQ(o.GetText(95), DefaultReportTexts[95]);
}

TEST(Options, OlderStreamVersion420InMilliseconds) {
    TOstrelModuleOptions source("", false);
    TExpected e;
    for (uint8_t b : {0, 1, 0, 0, 0, 1, 1, 0})
        e.U8(b); // spare, filter, logflags, dialog bit (inverted), append, logtofile, tab, dialog 0x80
    e.U8(0);
    e.U32(45000);
    e.Str("F");
    e.Str(""); // SMTPServer
    e.U8(1);
    e.U32(5);
    e.U32(3);
    e.Str("");
    e.Str("");
    e.U8(1); // without a server this becomes 1
    e.U32(0xFFFFFFFF);
    e.U8(0);
    e.Str("");
    e.U32(0);
    e.Str("");
    for (int i = 0; i < 300; ++i)
        e.U32(0); // more than enough empty texts; the rest is ignored
    TOstrelModuleOptions o("", false);
    Load(o, e.bytes, 420);
    EXPECT_EQ(o.FreezeSeconds(), 45);
    EXPECT_EQ(o.MailSendMode(), 1);
    EXPECT_EQ(o.DialogFlags(), 0x1F);
    EXPECT_EQ(o.GetText(16), "&Restart"); // absent below 421
}

TEST(Options, TruncatedOrLyingStreamIsRejectedAndChangesNothing) {
    TOstrelModuleOptions source("", false);
    source.SetSMTPServer("srv");
    source.FilterClasses().Add("E1");
    const std::vector<uint8_t> bytes = Save(source);

    TCountingOptions target;
    const std::vector<uint8_t> before = Save(target);
    for (size_t cut = 0; cut < bytes.size(); cut += 7) {
        std::vector<uint8_t> shortened(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut));
        EXPECT_THROW(Load(target, shortened, CurrentOptionsDataVersion), EReadError) << cut;
    }
    EXPECT_EQ(Save(target), before);
    EXPECT_EQ(target.ChangedCount, 0);

    std::vector<uint8_t> lying = bytes;
    lying[11] = 0xFF; // length of FreezeText far beyond the stream
    EXPECT_THROW(Load(target, lying, CurrentOptionsDataVersion), EReadError);

    // A filter count larger than the rest of the stream could hold.
    TOstrelModuleOptions plain("", false);
    std::vector<uint8_t> lyingCount = Save(plain);
    const size_t countAt = lyingCount.size() - 4 * ReportTextCount - [&] {
        size_t texts = 0;
        for (const char* t : DefaultReportTexts)
            texts += std::string(t).size();
        return texts;
    }() - 4 - 4;
    ASSERT_EQ(lyingCount[countAt], 0);
    lyingCount[countAt + 3] = 0x40;
    EXPECT_THROW(Load(target, lyingCount, CurrentOptionsDataVersion), EReadError);
    EXPECT_EQ(Save(target), before);
}

// The container's header says how its stream reads: every version is either written as it reads back,
// or refused.
TEST(Options, TheContainerIsWrittenInTheVersionItStampsOrRefused) {
    TOstrelModuleOptions o("", false);
    o.SetMailRecipient("support@example");
    o.SetUploadURL("http://127.0.0.1/upload");
    o.SetText(60, "A text of every version");
    const std::vector<uint8_t> debug = {1, 2, 3};
    for (int version = 0; version <= CurrentOptionsDataVersion + 1; ++version) {
        const bool writable = version >= OldestWritableOLDataVersion && version <= CurrentOptionsDataVersion;
        if (!writable) {
            EXPECT_THROW(BuildOLData(o, uint16_t(version)), EConvertError) << version;
            continue;
        }
        const TOLData data = ParseOLData(BuildOLData(o, uint16_t(version)));
        ASSERT_EQ(data.Version, version);
        TOstrelModuleOptions loaded("", false);
        LoadOptionsFromOLData(data, loaded);
        EXPECT_EQ(Save(loaded), Save(o)) << version;
        if (version < DebugNamesJoinedVersion)
            EXPECT_THROW(BuildOLData(o, uint16_t(version), 1, debug), EConvertError) << version;
        else
            EXPECT_EQ(ParseOLData(BuildOLData(o, uint16_t(version), 1, debug)).DebugInfo, debug);
    }
}

TEST(Options, StoredInTheProgramFileContainer) {
    testtools::TTempDir dir;
    const std::string program = dir.File("program");
    testtools::WriteFile(program, testtools::RandomBytes(3000, 1));
    EXPECT_FALSE(FindOLData(program).has_value());

    TOstrelModuleOptions o("", false);
    o.SetMailRecipient("support@example");
    AppendOLData(program, BuildOLData(o, CurrentOptionsDataVersion));
    const auto container = FindOLData(program);
    ASSERT_TRUE(container.has_value());
    const TOLData data = ParseOLData(*container);
    EXPECT_EQ(data.Version, CurrentOptionsDataVersion);
    TOstrelModuleOptions loaded("", false);
    LoadOptionsFromOLData(data, loaded);
    EXPECT_EQ(loaded.MailRecipient(), "support@example");

    std::vector<uint8_t> damaged = *container;
    damaged[0] ^= 1;
    EXPECT_THROW(ParseOLData(damaged), EReadError);
    damaged = *container;
    damaged[12] ^= 0x55; // inside the compressed block
    EXPECT_ANY_THROW(ParseOLData(damaged));
}

// The watchdog reads the freeze settings while the program may change them: every copy is one whole
// pair that was set, never a torn or freed text (the sanitizer build sees a race here otherwise).
TEST(Options, FreezeSettingsAreCopiedWholeWhileAnotherThreadChangesThem) {
    TOstrelModuleOptions options("test", false);
    const std::string longText(300, 'a');
    const std::string otherText(500, 'b');
    options.SetFreezeSeconds(1);
    options.SetFreezeText(longText);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) {
            options.SetFreezeText(i % 2 ? otherText : longText);
            options.SetFreezeSeconds(i % 2 ? 2 : 1);
        }
        done = true;
    });
    int torn = 0;
    while (!done) {
        const TFreezeSettings copy = options.FreezeSettings();
        torn += copy.Text != longText && copy.Text != otherText;
        torn += copy.Seconds != 1 && copy.Seconds != 2;
    }
    writer.join();
    EXPECT_EQ(torn, 0);
}
