#include "OSendReport.h"

#include "OCore.h"
#include "OErrors.h"
#include "OFileSizeSignal.h"
#include "OFiles.h"
#include "OFtpUpload.h"
#include "OHttpUpload.h"
#include "OLastError.h"
#include "OMailClient.h"
#include "OOptions.h"
#include "OSendBudget.h"
#include "OSendProgress.h"
#include "OSmtpClient.h"
#include "OTGZWriter.h"
#include "OTextUtils.h"
#include "OWebLibrary.h"
#include "OWebUpload.h"
#include "OWindows.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace reporter {

namespace {

constexpr const char* ReportEnding = "\r\n\r\n\r\n";

bool FileExists(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void DeleteFileIfAny(const std::string& path) {
    if (!path.empty())
        ::unlink(path.c_str());
}

void WriteTextFile(const std::string& path, const std::string& text) {
    WriteNewFile(path, text.data(), text.size());
}

// Packs the files, each under its attachment name; raises on failure.
void PackFiles(const std::string& target, const TSendFiles& files) {
    TTGZWriter writer(target);
    for (const TSendFile& file : files)
        writer.AddFile(file.FileName, file.StoredName);
    writer.Finish();
}

} // namespace

TReportSender::TReportSender(const TOstrelModuleOptions& options, const TSendReportData& report)
    : m_options(options), m_report(report) {}

void TReportSender::SetFiles(const std::vector<std::string>& files) {
    m_files.clear();
    for (const std::string& file : files)
        m_files.push_back(
            {file, TimeStampedFileName(file, (m_options.SendFlags() & 0x0100) != 0, m_report.ReportTime)});
}

void TReportSender::GatherFiles() {
    const uint16_t flags = m_options.SendFlags();
    m_folder = m_report.Folder;
    if (!m_folder) {
        try {
            m_folder = std::make_shared<TReportFolder>();
        } catch (const EFileError&) {
            // Without a private folder nothing temporary is written: only the listed files go out.
        }
    }
    const std::string temp = m_folder ? m_folder->Path() : std::string();
    const std::string logName = m_folder ? ExtractFileName(m_report.LogFileName) : std::string();
    m_textToSend = (flags & 0x0004) ? ReadTextFile(m_report.LogFileName) : m_report.ReportText;

    if (!m_options.AppendReportToMessage() && !logName.empty()) {
        m_reportCopy = temp + logName;
        std::string text = m_textToSend;
        if (text.size() < 6 || text.compare(text.size() - 6, 6, ReportEnding) != 0)
            text += ReportEnding;
        try {
            WriteTextFile(m_reportCopy, text);
        } catch (const EFileError&) {
            // Sending goes on without the copy: the list drops files that do not exist.
        }
    }
    if ((flags & 0x0040) && m_folder) {
        m_htmlFile = temp + LastHTMLPageFileName;
        if (m_report.HTMLPageCaptured)
            SaveLastHTMLPage(*m_folder, m_report.HTMLPage);
    }
    if ((flags & 0x0008) && !logName.empty()) {
        m_xmlFile = temp + ChangeFileExt(logName, ".xml");
        const std::string source = FileExists(m_reportCopy) ? ReadTextFile(m_reportCopy) : m_textToSend;
        // The report still goes out without it, but the loss is told, as a sender's failure is.
        try {
            const std::string xml = SendHost().ReportToXML(source);
            if (xml.empty())
                throw EFileError("the report text holds no report");
            WriteTextFile(m_xmlFile, xml);
        } catch (const std::exception& e) {
            SetLastErrorCode(TOstrelLogErrorCode::eeLogError,
                             "Cannot write the XML log \"" + m_xmlFile + "\": " + e.what());
        }
    }

    std::vector<std::string> list;
    SplitText(";", m_options.ExtraAttachments(), list);
    const std::string screenshot = (flags & 0x0010) ? m_report.ScreenshotFile : std::string();
    for (const std::string& name : {m_reportCopy, screenshot, m_htmlFile, m_xmlFile})
        if (!name.empty())
            list.push_back(name);
    {
        const TSendClockPause pause; // the program's event
        SendHost().AttachedFilesRequest(list);
    }
    std::erase_if(list, [](const std::string& file) { return !FileExists(file); });
    SetFiles(list);

    if ((flags & 0x0200) && !m_files.empty() && m_folder) {
        m_packedFile = temp + CompressFileName;
        try {
            PackFiles(m_packedFile, m_files);
            SetFiles({m_packedFile});
        } catch (const Exception&) {
            // The files still go out one by one rather than not at all.
            DeleteFileIfAny(m_packedFile);
            m_packedFile.clear();
        }
    }
}

void TReportSender::SendReport() {
    const TFileSizeSignalGuard fileSizeLimit;
    m_result = true;
    m_files.clear();
    ClearLastErrorCode();
    GatherFiles();

    bool result = true;
    if (m_options.MailSendMode() != 0)
        result = SendByEmail();
    if (m_options.UploadMode() != 0)
        result = SendByWeb() && result; // both channels run
    m_result = result;

    if (!result && (m_options.ProcessingFlags() & 0x20))
        CopyTextToClipboard(m_report.ReportText);
    if (m_options.SendFlags() & 0x0002) {
        const TSendClockPause pause; // the box waits for its user
        if (result)
            SendHost().ShowMessageBox(m_options.GetText(94), m_options.GetText(0), SendSuccessBoxStyle);
        else
            SendHost().ShowMessageBox(m_options.GetText(95), m_options.GetText(0), SendFailureBoxStyle);
    }
    if (!result && (m_options.ProcessingFlags() & 0x40))
        KeepUnsentReport(m_packedFile);

    DeleteFileIfAny(m_packedFile);
    DeleteFileIfAny(m_xmlFile);
    if (!SendHost().IsCGIProgram())
        DeleteFileIfAny(m_htmlFile);
    DeleteFileIfAny(m_reportCopy);
    m_folder.reset(); // the folder goes with the last of the report's users
}

void TReportSender::KeepUnsentReport(const std::string& packedFile) {
    std::string folder = ExtractFilePath(m_report.LogFileName);
    if (folder.empty())
        return; // without a log file there is no folder to keep reports in
    const std::string name =
        TimeStampedFileName(CompressFileName, (m_options.SendFlags() & 0x0100) != 0, m_report.ReportTime);
    // A folder that takes no new file gives way to the user's fall-back folder, as the log itself does.
    std::string place = folder + name;
    if (CheckLogPath(place, false, false))
        folder = ExtractFilePath(place);
    // An earlier unsent report under the same name stays: this one takes the next free name.
    std::string kept;
    std::string reason;
    if (!packedFile.empty()) {
        kept = MoveToUnusedName(packedFile, folder, name);
        reason = std::strerror(errno);
    } else if (!m_files.empty()) {
        kept = UnusedFileName(folder, name);
        try {
            if (kept.empty())
                throw EFileError(std::strerror(EEXIST));
            PackFiles(kept, m_files);
        } catch (const Exception& e) {
            // The packer removes what it wrote itself.
            kept.clear();
            reason = e.what();
        }
    } else {
        return;
    }
    if (kept.empty()) {
        // Losing the unsent report must not pass unseen.
        SetLastErrorCode(TOstrelLogErrorCode::eeLogError,
                         "Cannot keep the unsent report \"" + name + "\" in \"" + folder + "\": " + reason);
        return;
    }
    PruneUnsentReports(folder, MaxUnsentReports, kept);
}

namespace {

// The program's events, and whatever its handlers ask their user, are no peer's time.
void PausedActionNotify(int action, bool& result) {
    const TSendClockPause pause;
    SendHost().ActionNotify(action, result);
}

void PausedErrorNotify(int channel, bool& retry) {
    const TSendClockPause pause;
    SendHost().ErrorNotify(channel, retry);
}

} // namespace

bool TReportSender::SendByEmail() {
    m_result = true;
    PausedActionNotify(saBeforeEmail, m_result);
    if (!m_result)
        return false;
    do {
        m_result = false;
        const std::string recipients = m_options.MailRecipient();
        const std::string subject = m_options.MailSubject();
        const std::string message = m_options.MailBody();
        const std::string body =
            message + (m_options.AppendReportToMessage() ? ReportEnding + m_textToSend : "");
        switch (m_options.MailSendMode()) {
        case 1:
            m_result = SendMAPI(recipients, subject, body, m_files) ||
                       SendShellMailto(recipients, subject, message, m_report.ReportText);
            break;
        case 2:
        case 3:
            StartSendDialog(m_options);
            m_result = SendSMTPDirect(m_options.MailSendMode() == 3, m_options.SMTPSender(),
                                      m_options.SMTPServer(), m_files, body, subject, recipients,
                                      m_options.SMTPUser(), m_options.SMTPPassword(), m_options.SMTPPort());
            break;
        default:
            break;
        }
        m_retry = false;
        if (!m_result)
            PausedErrorNotify(saAfterEmail, m_retry);
    } while (m_retry);
    PausedActionNotify(saAfterEmail, m_result);
    return m_result;
}

bool TReportSender::SendByWeb() {
    m_result = true;
    PausedActionNotify(saBeforeUpload, m_result);
    if (!m_result)
        return false;
    do {
        m_result = false;
        StartSendDialog(m_options);
        SetSendMessageNumber(1, 1);
        std::string scheme, urlUser, host, path, urlPassword;
        uint32_t urlPort = 0;
        const uint8_t mode = m_options.UploadMode();
        if (!ParseURL(m_options.UploadURL(), scheme, urlUser, urlPort, path, host, urlPassword)) {
            CloseSendDialog();
            ReportUploadResult(12005, WinInetErrorText(12005), mode);
        } else {
            // The options' port and account come first; the URL's stand in for those left empty.
            const uint32_t port = m_options.UploadPort() != 0 ? m_options.UploadPort() : urlPort;
            const bool ownAccount = !m_options.UploadUser().empty() || !m_options.UploadPassword().empty();
            const std::string user = ownAccount ? m_options.UploadUser() : urlUser;
            const std::string password = ownAccount ? m_options.UploadPassword() : urlPassword;
            if (mode == 1 || mode == 2)
                m_result = SendHTTP(host, path, port, user, password, mode == 2);
            else
                m_result = SendFTP(host, path, port, user, password);
        }
        m_retry = false;
        if (!m_result)
            PausedErrorNotify(saAfterUpload, m_retry);
    } while (m_retry);
    PausedActionNotify(saAfterUpload, m_result);
    return m_result;
}

namespace {

void ShowUploadProgress(int state, uint64_t total, uint64_t done) {
    switch (state) {
    case 0:
        SendDialogPosition(0);
        SendDialogStep(78);
        break;
    case 1:
        SendDialogStep(79);
        break;
    default:
        SendDialogStep(80);
        SendDialogPosition(total == 0 ? 0 : int(std::lround(double(done) / double(total) * 100)));
        break;
    }
}

} // namespace

bool TReportSender::SendHTTP(const std::string& host, const std::string& path, uint32_t port,
                             const std::string& user, const std::string& password, bool https) {
    std::vector<std::string> names, values;
    {
        const TSendClockPause pause; // the program's event
        SendHost().CustomWebFieldsRequest(names, values);
    }
    if (m_files.empty()) {
        CloseSendDialog();
        return ReportNothingToUpload(https ? 2 : 1);
    }
    std::string resultText;
    const int code = WebUploadFiles(host, path, user, password, port, https, m_files, names, values,
                                    ShowUploadProgress, resultText);
    CloseSendDialog();
    return ReportUploadResult(code, resultText, https ? 2 : 1);
}

bool TReportSender::SendFTP(const std::string& host, const std::string& path, uint32_t port,
                            const std::string& user, const std::string& password) {
    if (m_files.empty()) {
        CloseSendDialog();
        return ReportNothingToUpload(3);
    }
    std::string resultText;
    const int code =
        FTPUploadFiles(host, path, user, password, port, m_files, ShowUploadProgress, resultText);
    CloseSendDialog();
    return ReportUploadResult(code, resultText, 3);
}

namespace {

const char* UploadProtocol(int mode) {
    return mode == 1 ? "HTTP" : mode == 2 ? "HTTPS" : "FTP";
}

TOstrelLogErrorCode UploadError(int mode) {
    return mode == 1   ? TOstrelLogErrorCode::eeWebHTTPError
           : mode == 2 ? TOstrelLogErrorCode::eeWebHTTPSError
                       : TOstrelLogErrorCode::eeWebFTPError;
}

} // namespace

bool TReportSender::ReportNothingToUpload(int mode) {
    // Nothing reached the server, so the report was not sent: it must not count as delivered.
    SetLastErrorCode(UploadError(mode), std::string(UploadProtocol(mode)) + ": there is no file to send.");
    return false;
}

bool TReportSender::ReportUploadResult(int code, const std::string& resultText, int mode) {
    if (code == 0)
        return true;
    const char* protocol = UploadProtocol(mode);
    const TOstrelLogErrorCode error = UploadError(mode);
    std::string suffix;
    if (code == WebLibraryMissing)
        suffix = " - Cannot find the \"" + WebLibraryName() + "\" library.";
    else if (!resultText.empty())
        suffix = " (" + resultText + ")";
    SetLastErrorCode(error, std::string(protocol) + " error code: " + std::to_string(code) + suffix);
    return false;
}

void SendReport(const TOstrelModuleOptions& options, const TSendReportData& report) {
    const TSendBudgetScope budget; // one bound for all of this report's connections
    TReportSender(options, report).SendReport();
}

std::string ReadTextFile(const std::string& path) {
    try {
        const std::vector<uint8_t> data = ReadWholeFile(path);
        return std::string(data.begin(), data.end());
    } catch (const EFileError&) {
        return std::string();
    }
}

void SaveLastHTMLPage(const TReportFolder& folder, const std::string& text) {
    try {
        WriteTextFile(folder.File(LastHTMLPageFileName), text);
    } catch (const EFileError&) {
        // The page is a courtesy attachment; its loss must not stop the report.
    }
}

bool ErrorRateExceeded(const TOstrelModuleOptions& options, const std::vector<time_t>& reportTimes) {
    if (options.ErrorRateCount() <= 0 || reportTimes.size() != size_t(options.ErrorRateCount()))
        return false;
    const auto [oldest, newest] = std::minmax_element(reportTimes.begin(), reportTimes.end());
    return double(*newest - *oldest) <= double(options.ErrorRateMinutes()) * 60.0;
}

void ErrorsRateCheck(const TOstrelModuleOptions& options, const TSendReportData& report) {
    DeleteFileIfAny(report.ScreenshotFile);
    if ((options.ProcessingFlags() & 0x01) && ErrorRateExceeded(options, SendHost().ReportTimes()))
        SendHost().RequestTermination(options.ErrorRateAction());
}

} // namespace reporter
