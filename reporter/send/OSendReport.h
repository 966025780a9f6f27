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

// ErrorRateCount reports within ErrorRateMinutes.
bool ErrorRateExceeded(const TOstrelModuleOptions& options, const std::vector<time_t>& reportTimes);
// After sending: deletes the screenshot and, with the error-rate check on and the rate reached, requests
// the termination that ErrorRateAction names.
void ErrorsRateCheck(const TOstrelModuleOptions& options, const TSendReportData& report);

} // namespace reporter
