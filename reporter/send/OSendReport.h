#pragma once
// The send driver: gathers a report's files, optionally packs them into one .tgz, runs the e-mail and web
// channels that the options choose, reports the outcome, keeps unsent reports when asked and cleans up.
#include "OSendFiles.h"
#include "OSendHost.h"

#include <string>
#include <string_view>
#include <vector>

namespace reporter {

class TOstrelModuleOptions;

inline constexpr const char* LastHTMLPageFileName = "LastHTMLPage.html";
inline constexpr const char* CompressFileName = "CompressFiles.tgz";
// Unsent reports kept beside the log file.
inline constexpr size_t MaxUnsentReports = 10;

class TReportSender {
public:
    TReportSender(const TOstrelModuleOptions& options, const TSendReportData& report);

    // The whole send; the outcome is Result(), the last error and the optional message box.
    void SendReport();
    bool SendByEmail();
    bool SendByWeb();

    bool Result() const { return m_result; }
    // The files that go out, under their attachment names (after SendReport has gathered them).
    const TSendFiles& Files() const { return m_files; }
    void SetFiles(const std::vector<std::string>& files);

private:
    bool SendHTTP(const std::string& host, const std::string& path, uint32_t port, const std::string& user,
                  const std::string& password, bool https);
    bool SendFTP(const std::string& host, const std::string& path, uint32_t port, const std::string& user,
                 const std::string& password);
    bool ReportNothingToUpload(int mode);
    bool ReportUploadResult(int code, const std::string& resultText, int mode);
    void GatherFiles();
    void KeepUnsentReport(const std::string& packedFile);

    const TOstrelModuleOptions& m_options;
    const TSendReportData& m_report;
    TReportFolderPtr m_folder;
    std::string m_textToSend;
    std::string m_reportCopy;
    std::string m_htmlFile;
    std::string m_xmlFile;
    std::string m_packedFile;
    TSendFiles m_files;
    bool m_result = true;
    bool m_retry = false;
};

// Runs the driver for one report.
void SendReport(const TOstrelModuleOptions& options, const TSendReportData& report);

// The whole content of a text file, empty when it does not exist.
std::string ReadTextFile(const std::string& path);
// Writes the page a web program produced to "LastHTMLPage.html" in the report's folder.
void SaveLastHTMLPage(const TReportFolder& folder, const std::string& text);
// A name for an unsent report in the folder that no file has yet: the name itself, else the name with
// "_001" to "_999" before its extension (so that later reports sort after earlier ones); empty when all
// are taken.
std::string UnusedFileName(const std::string& folder, const std::string& name);
// Whether the file name is one the reporter gives a kept report: "CompressFiles.tgz", with "_NNN", with
// the report's time stamp, or with both.
bool IsUnsentReportName(std::string_view file);
// Deletes the earliest kept unsent reports of the folder beyond the last keep, in the order they were
// kept (their modification time, the name after it); newest, when given, is the one just kept.
void PruneUnsentReports(const std::string& folder, size_t keep = MaxUnsentReports,
                        const std::string& newest = std::string());

// ErrorRateCount reports within ErrorRateMinutes.
bool ErrorRateExceeded(const TOstrelModuleOptions& options, const std::vector<time_t>& reportTimes);
// After sending: deletes the screenshot and, with the error-rate check on and the rate reached, requests
// the termination that ErrorRateAction names.
void ErrorsRateCheck(const TOstrelModuleOptions& options, const TSendReportData& report);

} // namespace reporter
