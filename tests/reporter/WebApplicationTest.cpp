// The web-application side of the reporter: the kind of program, the error page made from the template,
// the page written to a WinCGI output file, and the profile routines the WinCGI test reads with.
#include "ODesktop.h"
#include "OIniFile.h"
#include "OLastError.h"
#include "OOptions.h"
#include "OTextUtils.h"
#include "OWebApplication.h"
#include "tests/support/TestTools.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace reporter;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The page without its ID comment, which differs every time.
std::string WithoutID(const std::string& page) {
    static const std::regex id("<!-- OstrelLog ID: [0-9A-F]{8} -->$");
    EXPECT_TRUE(std::regex_search(page, id)) << page;
    return std::regex_replace(page, id, "");
}

TEST(HTMLTemplate, TheTextTakesTheTagsPlaceUnderATitle) {
    TOstrelModuleOptions options("test", false);
    const std::vector<std::pair<std::string, std::string>> table = {
        {"<title>T</title><p><%HTML_TAG%></p>", "<title>T</title><p>TEXT</p>"},
        // No tag: the template alone. The first tag found in any case counts; every exact one is filled.
        {"<title>T</title><p>none</p>", "<title>T</title><p>none</p>"},
        {"<title>T</title><%html_tag%>|<%HTML_TAG%>|<%Html_Tag%>", "<title>T</title>TEXT|TEXT|<%Html_Tag%>"},
        // A missing title, a title after its end, one never closed: a new title goes in front.
        {"<p><%HTML_TAG%></p>", "<title>Error.</title><p>TEXT</p>"},
        {"</title><TITLE>x<%HTML_TAG%>", "<title>Error.</title></title><TITLE>xTEXT"},
        {"<title>x<%HTML_TAG%>", "<title>Error.</title><title>xTEXT"},
        {"<TITLE>T</Title><%HTML_TAG%>", "<TITLE>T</Title>TEXT"},
    };
    for (const auto& [templ, expected] : table) {
        options.SetHTMLPageTemplate(templ);
        EXPECT_EQ(WithoutID(FillHTMLTemplate(options, "TEXT")), expected) << templ;
    }
    // A blank option gives the default template.
    options.SetHTMLPageTemplate(" \r\n\t");
    const std::string page = WithoutID(FillHTMLTemplate(options, "TEXT"));
    EXPECT_EQ(page, "<title>Error.</title>" + ReplaceText(DefaultHTMLPageTemplate, HTMLTag, "TEXT"));
    // Each page gets an ID of its own, kept as the last one.
    const std::string a = FillHTMLTemplate(options, "x");
    EXPECT_EQ(a.substr(a.size() - LastWebPageID().size()), LastWebPageID());
    const std::string b = FillHTMLTemplate(options, "x");
    EXPECT_NE(a, b);
}

TEST(HTMLTemplate, TheMessageIsEscapedAndMayCarryTheBackButton) {
    TOstrelModuleOptions options("test", false);
    options.SetHTMLPageTemplate("<title>t</title><%HTML_TAG%>");
    EXPECT_EQ(WithoutID(HTMLErrorPage(options, "a<b>&\"c'  d\r\ne", false)),
              "<title>t</title>a&lt;b&gt;&amp;&quot;c&#039;&nbsp;&nbsp;d<br>\r\ne");
    EXPECT_EQ(
        WithoutID(HTMLErrorPage(options, "m", true)),
        "<title>t</title>m<br><input type=button value=\"Ok\" OnClick=\"history.go(-1)\" "
        "style=\"width:75;height:25;z-index:100;font-style:normal;font-size:10pt;text-decoration:none;\">");
}

class TWindows final : public IOstrelDesktop {
public:
    bool GetDisplayMode(TDisplayMode&) override { return false; }
    bool GetForegroundWindow(std::string&, std::string&) override { return false; }
};

class WebApplication : public ::testing::Test {
protected:
    void TearDown() override {
        SetOstrelDesktop(nullptr);
        ::unsetenv("REQUEST_METHOD");
    }
    testtools::TTempDir dir;
    TWindows windows;
};

TEST_F(WebApplication, CGIIsAConsoleProgramWithARequestMethod) {
    EXPECT_FALSE(IsCGIApplication());
    EXPECT_FALSE(IsWebApplication());
    EXPECT_FALSE(IsDesktopApplication()); // a console program
    ::setenv("REQUEST_METHOD", "GET", 1);
    EXPECT_TRUE(IsCGIApplication());
    EXPECT_TRUE(IsWebApplication());
    SetOstrelDesktop(&windows);
    EXPECT_FALSE(IsCGIApplication());
    ::unsetenv("REQUEST_METHOD");
    EXPECT_TRUE(IsDesktopApplication());
    // The program itself carries the reporter: no extension library, nothing for the framework.
    EXPECT_FALSE(IsISAPIApplication());
    EXPECT_FALSE(IsIntraWebApplication());
    EXPECT_FALSE(ShowIntraWebErrorPage());
    EXPECT_EQ(LastErrorMessage(),
              "Web framework: the application and server controller objects are not set.");
}

TEST_F(WebApplication, WinCGIReadsTheRequestFileAndAnswersInTheOutputFile) {
    const std::string request = dir.File("request.ini");
    const std::string output = dir.File("answer.out");
    Write(request, "[CGI]\r\nRequest Method = POST\r\n[System]\r\nOutput File=" + output + "\r\n");
    Write(output, "");
    SetOstrelDesktop(&windows);
    EXPECT_TRUE(IsWinCGIApplication({request}));
    EXPECT_EQ(WinCGIOutputFile(), output);
    // The third argument names the output file before the request file does.
    Write(dir.File("third.out"), "");
    EXPECT_TRUE(IsWinCGIApplication({request, dir.File("content"), dir.File("third.out")}));
    EXPECT_EQ(WinCGIOutputFile(), dir.File("third.out"));
    EXPECT_FALSE(IsWinCGIApplication({request, "", dir.File("missing.out")}));
    EXPECT_TRUE(IsWinCGIApplication({request}));

    // The real thing: this binary started by a WinCGI server, with the request, content and output files.
    Write(output, "old answer that is longer than the new one");
    const testtools::TCommandResult child =
        testtools::Run("VD_WINCGI_CHILD=1 GTEST_FILTER='WinCGIChild.*' /proc/" + std::to_string(::getpid()) +
                       "/exe " + request + " " + dir.File("content") + " " + output);
    ASSERT_EQ(child.ExitCode, 0) << child.Output;
    const std::string answer = ReadAll(output);
    const size_t body = answer.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos) << answer;
    const std::string page = answer.substr(body + 4);
    EXPECT_EQ(answer.substr(0, body + 4), "Status: 200 Error\r\nContent-Type: text/html\r\nContent-Length: " +
                                              std::to_string(page.size()) + "\r\nContent:\r\n\r\n");
    EXPECT_EQ(WithoutID(page), "<title>t</title>Failed &amp; gone");

    // What is not a WinCGI request.
    EXPECT_FALSE(IsWinCGIApplication({}));
    EXPECT_FALSE(IsWinCGIApplication({dir.File("missing.ini")}));
    EXPECT_FALSE(IsWinCGIApplication({dir.File("*.ini")}));
    Write(dir.File("plain.ini"), "[CGI]\r\nOther=1\r\n[System]\r\nOutput File=" + output + "\r\n");
    EXPECT_FALSE(IsWinCGIApplication({dir.File("plain.ini")}));
    std::string big = "[CGI]\r\nRequest Method=GET\r\n[System]\r\nOutput File=" + output + "\r\n";
    const std::string limit = big + std::string(102400 - big.size(), ';');
    Write(dir.File("limit.ini"), limit);
    EXPECT_TRUE(IsWinCGIApplication({dir.File("limit.ini")}));
    Write(dir.File("big.ini"), limit + ";");
    EXPECT_FALSE(IsWinCGIApplication({dir.File("big.ini")}));
    SetOstrelDesktop(nullptr);
    EXPECT_FALSE(IsWinCGIApplication({request})); // a console program is no WinCGI one
}

// Runs only inside the child that the test above starts with the request's arguments.
TEST(WinCGIChild, AnswersTheRequest) {
    if (std::getenv("VD_WINCGI_CHILD") == nullptr)
        GTEST_SKIP() << "runs as the WinCGI program of WinCGIReadsTheRequestFileAndAnswersInTheOutputFile";
    TWindows windows;
    SetOstrelDesktop(&windows);
    ASSERT_TRUE(IsWebApplication());
    TOstrelModuleOptions options("test", false);
    options.SetHTMLPageTemplate("<title>t</title><%HTML_TAG%>");
    EXPECT_TRUE(WriteWebErrorPage(HTMLErrorPage(options, "Failed & gone", false)));
    SetOstrelDesktop(nullptr);
}

TEST(IniFile, ValuesAreFoundWithoutRegardToCaseAndWrittenInPlace) {
    testtools::TTempDir dir;
    const std::string file = dir.File("settings.ini");
    Write(file, "; comment\r\n[First]\r\nKey = \"quoted value\" \r\nother=1\r\n\r\n[Second]\r\nKey=2\r\n");
    EXPECT_EQ(IniReadString(file, "first", "KEY", "d"), "quoted value");
    EXPECT_EQ(IniReadString(file, "Second", "key", "d"), "2");
    EXPECT_EQ(IniReadString(file, "Second", "missing", "d"), "d");
    EXPECT_EQ(IniReadString(file, "Third", "Key", "d"), "d");
    EXPECT_EQ(IniReadString(dir.File("missing.ini"), "First", "Key", "d"), "d");

    ASSERT_TRUE(IniWriteString(file, "FIRST", "other", "changed"));
    ASSERT_TRUE(IniWriteString(file, "First", "New", "n"));
    ASSERT_TRUE(IniWriteString(file, "Third", "Key", "3"));
    EXPECT_EQ(ReadAll(file),
              "; comment\r\n[First]\r\nKey = \"quoted value\" \r\nother=changed\r\nNew=n\r\n\r\n"
              "[Second]\r\nKey=2\r\n[Third]\r\nKey=3\r\n");
    // What the reader would not find as written is refused, and the file stays as it was; the near
    // misses are written and read back.
    struct TEntry {
        const char* Section;
        const char* Key;
        const char* Value;
        bool Accepted;
    };
    const std::string before = ReadAll(file);
    for (const TEntry& e : {TEntry{"First", "Key", "a\r\n[Evil]", false}, TEntry{"First", "a=b", "x", false},
                            TEntry{"Fir]st", "Key", "x", false}, TEntry{"First", "[Evil", "x]", false},
                            TEntry{"First", "[Evil", "x] ", false}, TEntry{" First", "Key", "x", false},
                            TEntry{"First\t", "Key", "x", false}, TEntry{"First", " Key", "x", false},
                            TEntry{"First", "Key ", "x", false}, TEntry{"First", ";Key", "x", false},
                            TEntry{"First", "", "x", false}, TEntry{"First", "Key", "x\ny", false},
                            TEntry{"[Near", "[Key", "x", true}, TEntry{"Near", "[Key]", "", true},
                            TEntry{"Near", "K]ey", "[x]", true}, TEntry{"Near", "Ke y", "x]", true},
                            TEntry{"Near", "K;ey", " x", true}, TEntry{"Ne ar", "Key", "x=y", true}}) {
        SCOPED_TRACE(std::string(e.Section) + "|" + e.Key + "|" + e.Value);
        EXPECT_EQ(IniWriteString(file, e.Section, e.Key, e.Value), e.Accepted);
        if (e.Accepted)
            EXPECT_EQ(IniReadString(file, e.Section, e.Key, "d"), TrimText(e.Value));
        else
            EXPECT_EQ(ReadAll(file), before);
    }

    // The longest value the profile routine returns is 2047 characters.
    ASSERT_TRUE(IniWriteString(file, "Long", "Value", std::string(2047, 'v')));
    EXPECT_EQ(IniReadString(file, "Long", "Value", ""), std::string(2047, 'v'));
    ASSERT_TRUE(IniWriteString(file, "Long", "Value", std::string(2048, 'v')));
    EXPECT_EQ(IniReadString(file, "Long", "Value", ""), std::string(2047, 'v'));

    // A bare name lies in the Windows folder.
    ::setenv("VEXADAXO_WINDIR", dir.File("windows").c_str(), 1);
    ASSERT_TRUE(IniWriteString("OstrelLog.ini", "Coordinates", "Width", "745"));
    EXPECT_EQ(ReadAll(dir.File("windows/OstrelLog.ini")), "[Coordinates]\r\nWidth=745\r\n");
    EXPECT_EQ(IniReadString("OstrelLog.ini", "coordinates", "width", ""), "745");
    ::unsetenv("VEXADAXO_WINDIR");
}

// A file that cannot be read whole is never written over; a link to a readable one stays a link.
TEST(IniFile, AFileThatCannotBeReadWholeIsLeftAlone) {
    testtools::TTempDir dir;
    const std::string file = dir.File("settings.ini");
    const std::string large = "[S]\r\n" + std::string(1400 * 1024, 'x') + "\r\n";
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"above 1 MB", [&] { Write(file, large); }},
        {"FIFO", [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0); }},
        {"unreadable",
         [&] {
             Write(file, "[S]\r\nKey=1\r\n");
             ::chmod(file.c_str(), 0200);
         }},
    };
    for (const auto& [name, make] : cases) {
        SCOPED_TRACE(name);
        std::filesystem::remove_all(file);
        make();
        if (std::string(name) == "unreadable" && ::geteuid() == 0)
            continue; // the superuser reads it all the same
        struct stat before {};
        ASSERT_EQ(::lstat(file.c_str(), &before), 0);
        EXPECT_FALSE(IniWriteString(file, "S", "Key", "2"));
        struct stat after {};
        ASSERT_EQ(::lstat(file.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_size, before.st_size);
    }
    std::filesystem::remove_all(file);
    ASSERT_TRUE(std::filesystem::create_directory(dir.File("real")));
    Write(dir.File("real/settings.ini"), "[S]\r\nKey=1\r\n");
    ASSERT_EQ(::symlink("real/settings.ini", file.c_str()), 0);
    ASSERT_TRUE(IniWriteString(file, "S", "Key", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(file));
    EXPECT_EQ(ReadAll(dir.File("real/settings.ini")), "[S]\r\nKey=2\r\n");
}

TEST(IniFile, OnlyAPairOfTheSameQuoteAroundTheValueIsTakenOff) {
    testtools::TTempDir dir;
    const std::string file = dir.File("quotes.ini");
    const std::pair<const char*, const char*> cases[] = {
        {"\"\"", ""}, {"''", ""},       {"\"a b\"", "a b"}, {"'a'", "a"},   {"\"", "\""},
        {"'", "'"},   {"\"a'", "\"a'"}, {"'a\"", "'a\""},   {"a\"", "a\""}, {"\"'\"", "'"},
    };
    for (const auto& [stored, read] : cases) {
        SCOPED_TRACE(stored);
        Write(file, std::string("[S]\r\nKey=") + stored + "\r\n");
        EXPECT_EQ(IniReadString(file, "S", "Key", "d"), read);
    }
}

} // namespace
