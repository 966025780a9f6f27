#pragma once
// A program that answers web requests cannot show a dialog: the reporter answers the request with an
// HTML error page instead. This unit tells the kind of program (CGI: started by a web server with
// REQUEST_METHOD set; WinCGI: the request and the answer are files named on the command line; ISAPI: the
// reporter's library exports the extension entry point), builds the page from the template option and
// writes it where that kind of program answers.
#include <string>
#include <vector>

namespace reporter {

class TOstrelModuleOptions;

inline constexpr const char* HTMLTag = "<%HTML_TAG%>";
inline constexpr const char* IntraWebTemplateFileName = "OstrelLog_IWShowMessage.html";
inline constexpr const char* IntraWebButtonTag = "{%butnOk%}";

// A console program whose environment holds REQUEST_METHOD.
bool IsCGIApplication();
// A program with windows whose first argument names a readable request file (under 102401 bytes, no
// wildcard in the name) with a [CGI] "Request Method", and whose output file (the third argument, else
// [System] "Output File" of the request file) exists. The output file is kept for WriteWebErrorPage.
bool IsWinCGIApplication();
bool IsWinCGIApplication(const std::vector<std::string>& arguments);
std::string WinCGIOutputFile();
// The reporter's module is a library that exports "HttpExtensionProc".
bool IsISAPIApplication();
// The web framework's hooks were installed; they never are on this system.
bool IsIntraWebApplication();
// ISAPI, CGI, WinCGI or the framework, tested in that order.
bool IsWebApplication();
// Neither a web application nor a console program.
bool IsDesktopApplication();

// The template option (its default when blank) with the text in place of every "<%HTML_TAG%>" (the
// first one found in any case counts), a title in front when it has no proper one, and a fresh page ID
// comment at the end.
std::string FillHTMLTemplate(const TOstrelModuleOptions& options, const std::string& text);
// The message HTML-escaped (with a button back to the previous page when asked), through the template.
std::string HTMLErrorPage(const TOstrelModuleOptions& options, const std::string& message, bool withButton);
// The "<!-- OstrelLog ID: %s -->" comment of the last page made, by which the reporter knows its own page.
std::string LastWebPageID();

// Writes the header and the page where the program answers its request: standard output for CGI, the
// output file for WinCGI. False, with the reporter's last error, when it cannot (ISAPI has no request
// recorded here).
bool WriteWebErrorPage(const std::string& page);
// The framework's own message display; with none known: false, with the last error.
bool ShowIntraWebErrorPage();

} // namespace reporter
