#include "ReportFixture.h"

#include "ORichText.h"

#include <gtest/gtest.h>

using namespace reporter;
using namespace reptest;

namespace {

TRichTextFont Font() {
    TRichTextFont font;
    font.Name = "DejaVu Sans Mono";
    font.PointSize = 9;
    font.Charset = 204;
    font.DashWidth = 7;
    return font;
}

// Braces that open and close groups (not escaped ones) balance, so a reader takes the whole page.
bool GroupsBalance(const std::string& rtf) {
    int depth = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;
            continue;
        }
        if (rtf[i] == '{')
            ++depth;
        if (rtf[i] == '}' && --depth < 0)
            return false;
    }
    return depth == 0;
}

std::string Line(const std::string& page, const std::string& start) {
    const size_t at = page.find("\r\n" + start);
    if (at == std::string::npos)
        return std::string();
    return page.substr(at + 2, page.find("\r\n", at + 2) - at - 2);
}

} // namespace

TEST(RichText, Encoding) {
    EXPECT_EQ(RTFEncode("a\\b{c}"), "a\\\\b\\{c\\}");
    EXPECT_EQ(RTFEncode("x\r\ny"), "x\\par\r\ny");
    EXPECT_EQ(RTFEncode("caf\xC3\xA9"), "caf\\u233?");
    EXPECT_EQ(RTFEncode("\xD0\x96"), "\\u1046?");
    EXPECT_EQ(RTFEncode("\xE2\x82\xAC"), "\\u8364?");
    EXPECT_EQ(RTFEncode("\xF0\x9F\x98\x80"), "\\u-10179?\\u-8704?"); // a surrogate pair
    EXPECT_EQ(RTFEncode("\xE9"), "\\'e9");                           // not UTF-8: a code-page byte
    EXPECT_EQ(HTMLEscape("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;&#039;");
}

TEST(RichText, GeneralPage) {
    TFixedReport fixture;
    fixture.SetGeneral("0000555500001234", "app", "std::runtime_error",
                       "Bad {brace} \\ path\r\nsecond: line");
    const std::string rtf = BuildGeneralRTF(fixture.Build().General, Font());
    EXPECT_EQ(
        rtf.substr(0, 200),
        std::string(
            "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1040{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset204 "
            "DejaVu Sans Mono;}}\r\n{\\colortbl ;\\red0\\green100\\blue100;\\red0\\green0\\blue0;"
            "\\red40\\green40\\blue40;\\red0\\green0\\blue160;}\r\n\\f0\\fs18\r\n")
            .substr(0, 200));
    EXPECT_EQ(rtf.back(), '}');
    EXPECT_TRUE(GroupsBalance(rtf));
    EXPECT_NE(rtf.find("\r\n\\cf1\\b OstrelLog "), std::string::npos);
    EXPECT_EQ(Line(rtf, "\\cf3\\b Exc"), "\\cf3\\b Exception:\\par\\b0");
    EXPECT_NE(rtf.find("Exception:\\par\\b0\r\n\\cf3 " + std::string(46, '-') + "\\par\r\n"),
              std::string::npos);
    EXPECT_EQ(Line(rtf, "\\cf2   2.3"), "\\cf2   2.3 Module :\\cf4  app\\par");
    // The message's braces and backslash show as they are; its second line continues in the value colour.
    EXPECT_EQ(Line(rtf, "\\cf2   2.5"), "\\cf2   2.5 Message:\\cf4  Bad \\{brace\\} \\\\ path\\par");
    EXPECT_EQ(Line(rtf, "               second"), "               second:_line\\par");
}

TEST(RichText, CPUPage) {
    TFixedReport fixture;
    const std::string rtf = BuildCPURTF(fixture.Build().CPU, Font());
    EXPECT_TRUE(GroupsBalance(rtf));
    EXPECT_NE(rtf.find("\\f0\\fs18\r\n\\cf3\\b Registers:\\par\\cf2\\b0\r\n\\cf3 ----"), std::string::npos);
    EXPECT_EQ(Line(rtf, "RAX"), "RAX: \\cf4 0000000000001111\\cf2    RDI: \\cf4 0000000000002222\\cf2 \\par");
    EXPECT_EQ(Line(rtf, "R15"), "R15: \\cf4 FFFFFFFFFFFFFFFF\\cf2    EFL: \\cf4 0000000000000246\\cf2 \\par");
    // The tab stop lies after the stack column: 37 characters of 7 pixels, 15 twips a pixel.
    EXPECT_EQ(Line(rtf, "\\pard"), "\\pard\\tx3885\\cf3\\b Stack:\\tab Memory Dump:\\par\\cf2\\b0");
    EXPECT_NE(
        rtf.find("\r\n\\cf3 " + std::string(34, '-') + "\\tab " + std::string(83, '-') + "\\par\\cf2\r\n"),
        std::string::npos);
    EXPECT_EQ(
        Line(rtf, "00007FFC12340028"),
        "00007FFC12340028: \\cf4 0000000000000006\\cf2 \\tab 0000555500001284: \\cf4 50 51 52 53 54 55 56 57 "
        "58 59 5A 5B 5C 5D 5E 5F\\cf2   PQRSTUVWXYZ[\\\\]^_\\par");
}

TEST(RichText, HTMLPages) {
    TFixedReport fixture;
    fixture.SetGeneral("0000555500001234", "app", "std::runtime_error", "a < b && \"c\"");
    const TLogTexts texts = fixture.Build();
    const std::string general = BuildGeneralHTML(texts.General, Font());
    EXPECT_NE(general.find("font-family:'DejaVu Sans Mono'; font-size:9pt"), std::string::npos);
    EXPECT_NE(general.find("<span style=\"color:#282828\"><b>Exception:</b></span>\r\n"), std::string::npos);
    EXPECT_NE(
        general.find("<span style=\"color:#000000\">  2.5 Message:</span><span style=\"color:#0000A0\"> a "
                     "&lt; b &amp;&amp; &quot;c&quot;</span>\r\n"),
        std::string::npos)
        << general;
    const std::string cpu = BuildCPUHTML(texts.CPU, Font());
    EXPECT_NE(cpu.find("RAX: <span style=\"color:#0000A0\">0000000000001111</span>   RDI: "),
              std::string::npos)
        << cpu;
    EXPECT_NE(
        cpu.find(
            "00007FFC12340028: <span style=\"color:#0000A0\">0000000000000006</span>   0000555500001284: "
            "<span style=\"color:#0000A0\">50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E 5F</span>  "
            "PQRSTUVWXYZ[\\]^_\r\n"),
        std::string::npos)
        << cpu;
}
