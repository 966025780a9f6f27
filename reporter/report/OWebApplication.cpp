#include "OWebApplication.h"

#include "OConsoleOutput.h"
#include "OCore.h"
#include "ODescriptorWrite.h"
#include "ODesktop.h"
#include "OErrors.h"
#include "OExports.h"
#include "OFiles.h"
#include "OIniFile.h"
#include "OLastError.h"
#include "OModules.h"
#include "OOptions.h"
#include "OTextUtils.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace reporter {

namespace {

constexpr off_t MaxWinCGIRequestSize = 102400;
constexpr const char* OkButton =
    "<br><input type=button value=\"Ok\" OnClick=\"history.go(-1)\" "
    "style=\"width:75;height:25;z-index:100;font-style:normal;font-size:10pt;text-decoration:none;\">";

std::mutex gWebLock;
std::string gWinCGIOutputFile;
std::string gPageID;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool IsBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c <= ' '; });
}

// The program's arguments after its name, from the kernel's copy of the command line.
std::vector<std::string> ProgramArguments() {
    std::vector<std::string> arguments;
    try {
        const std::vector<uint8_t> data = ReadWholeFile("/proc/self/cmdline");
        std::string current;
        for (uint8_t byte : data) {
            if (byte != 0) {
                current += char(byte);
                continue;
            }
            arguments.push_back(current);
            current.clear();
        }
    } catch (const EFileError&) {
    }
    if (!arguments.empty())
        arguments.erase(arguments.begin());
    return arguments;
}

bool ReadableSmallFile(const std::string& path) {
    const int descriptor = OpenRegularFile(path, O_RDONLY);
    if (descriptor < 0)
        return false;
    struct stat info;
    const bool ok =
        ::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= MaxWinCGIRequestSize;
    ::close(descriptor);
    return ok;
}

bool FileExists(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

std::string NewPageID() {
    static std::mt19937 generator{std::random_device{}()};
    char comment[48];
    std::snprintf(comment, sizeof comment, "<!-- OstrelLog ID: %08X -->", unsigned(generator()));
    return comment;
}

} // namespace

bool IsCGIApplication() {
    return IsConsoleProgram() && !GetEnvVariable("REQUEST_METHOD").empty();
}

bool IsWinCGIApplication() {
    return IsWinCGIApplication(ProgramArguments());
}

bool IsWinCGIApplication(const std::vector<std::string>& arguments) {
    if (IsConsoleProgram() || arguments.empty())
        return false;
    // A bare name is the file in the current folder (the profile routine would look in the Windows one).
    const std::string request =
        arguments[0].find('/') == std::string::npos ? "./" + arguments[0] : arguments[0];
    if (arguments[0].empty() || request.find_first_of("*?") != std::string::npos ||
        !ReadableSmallFile(request) || IniReadString(request, "CGI", "Request Method", "").empty())
        return false;
    std::string output = arguments.size() >= 3 ? arguments[2] : std::string();
    if (output.empty())
        output = IniReadString(request, "System", "Output File", "");
    if (!FileExists(output))
        return false;
    std::lock_guard guard(gWebLock);
    gWinCGIOutputFile = output;
    return true;
}

std::string WinCGIOutputFile() {
    std::lock_guard guard(gWebLock);
    return gWinCGIOutputFile;
}

bool IsISAPIApplication() {
    const TModuleHandle own = OwnModuleHandle();
    return own != GetModuleHandle("") && ModuleExport(own, "HttpExtensionProc") != nullptr;
}

bool IsIntraWebApplication() {
    return false;
}

bool IsWebApplication() {
    return IsISAPIApplication() || IsCGIApplication() || IsWinCGIApplication() || IsIntraWebApplication();
}

bool IsDesktopApplication() {
    return !IsWebApplication() && !IsConsoleProgram();
}

std::string FillHTMLTemplate(const TOstrelModuleOptions& options, const std::string& text) {
    std::string page = options.HTMLPageTemplate();
    if (IsBlank(page))
        page = DefaultHTMLPageTemplate;
    const size_t tag = Lower(page).find(Lower(HTMLTag));
    if (tag != std::string::npos)
        page.replace(tag, std::string(HTMLTag).size(), HTMLTag);
    const std::string lower = Lower(page);
    const size_t open = lower.find("<title>");
    const size_t close = lower.find("</title>");
    if (open == std::string::npos || close == std::string::npos || open > close)
        page = "<title>" + options.GetText(2) + "</title>" + page;
    const std::string id = NewPageID();
    {
        std::lock_guard guard(gWebLock);
        gPageID = id;
    }
    return ReplaceText(page, HTMLTag, text) + id;
}

std::string HTMLErrorPage(const TOstrelModuleOptions& options, const std::string& message, bool withButton) {
    std::string text = HTMLEncode(message);
    if (withButton)
        text += OkButton;
    return FillHTMLTemplate(options, text);
}

std::string LastWebPageID() {
    std::lock_guard guard(gWebLock);
    return gPageID;
}

bool WriteWebErrorPage(const std::string& page) {
    const bool cgi = IsCGIApplication();
    const bool winCGI = !cgi && IsWinCGIApplication();
    const std::string header = std::string(cgi || winCGI ? "Status: 200 Error\r\n" : "") +
                               "Content-Type: text/html\r\n" +
                               "Content-Length: " + std::to_string(page.size()) + "\r\n" + "Content:\r\n\r\n";
    if (IsISAPIApplication()) {
        // No server hands this system an extension control block to answer through.
        SetLastErrorCode(TOstrelLogErrorCode::eeShowError, "ISAPI: ServerECB = nil");
        return false;
    }
    if (cgi) {
        // What the program wrote before goes first, when its lock is free; the web server reading the
        // answer may take its time, as a console's reader may.
        if (!WriteToConsole(stdout, header + page)) {
            SetLastErrorCode(TOstrelLogErrorCode::eeShowError, "CGI: Cannot write in the ouput file.");
            return false;
        }
        return true;
    }
    if (winCGI) {
        const std::string output = WinCGIOutputFile();
        const int descriptor = OpenRegularFile(output, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
        const bool written = descriptor >= 0 && WriteWhole(descriptor, header + page);
        if ((descriptor >= 0 && ::close(descriptor) != 0) || !written) {
            SetLastErrorCode(TOstrelLogErrorCode::eeShowError, "WinCGI: Cannot write in the output file.");
            return false;
        }
        return true;
    }
    return false;
}

bool ShowIntraWebErrorPage() {
    SetLastErrorCode(TOstrelLogErrorCode::eeShowError,
                     "Web framework: the application and server controller objects are not set.");
    return false;
}

} // namespace reporter
