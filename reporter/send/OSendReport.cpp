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
    SendHost().AttachedFilesRequest(list);
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
    const std::string folder = ExtractFilePath(m_report.LogFileName);
    if (folder.empty())
        return; // without a log file there is no folder to keep reports in
    // An earlier unsent report under the same name stays: this one takes the next free name.
    const std::string target =
        UnusedFileName(folder, TimeStampedFileName(CompressFileName, (m_options.SendFlags() & 0x0100) != 0,
                                                   m_report.ReportTime));
    if (target.empty())
        return;
    if (!packedFile.empty()) {
        MoveFileNoReplace(packedFile, target);
    } else if (!m_files.empty()) {
        try {
            PackFiles(target, m_files);
        } catch (const Exception&) {
            // The packer removes what it wrote itself; the name may be another's.
        }
    }
    PruneUnsentReports(folder, MaxUnsentReports, target);
}

bool TReportSender::SendByEmail() {
    m_result = true;
    SendHost().ActionNotify(saBeforeEmail, m_result);
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
            SendHost().ErrorNotify(saAfterEmail, m_retry);
    } while (m_retry);
    SendHost().ActionNotify(saAfterEmail, m_result);
    return m_result;
}

bool TReportSender::SendByWeb() {
    m_result = true;
    SendHost().ActionNotify(saBeforeUpload, m_result);
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
            SendHost().ErrorNotify(saAfterUpload, m_retry);
    } while (m_retry);
    SendHost().ActionNotify(saAfterUpload, m_result);
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
    SendHost().CustomWebFieldsRequest(names, values);
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

std::string UnusedFileName(const std::string& folder, const std::string& name) {
    const std::string prefix = IncludeTrailingBackslashEx(folder);
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    for (int number = 0; number < 1000; ++number) {
        char suffix[8] = {};
        if (number > 0)
            std::snprintf(suffix, sizeof suffix, "_%03d", number);
        const std::string candidate = prefix + stem + suffix + extension;
        struct stat info;
        if (::lstat(candidate.c_str(), &info) != 0 && errno == ENOENT)
            return candidate;
    }
    return std::string();
}

namespace {

// Skips a run of digits of the given length bounds at pos; false when there is none.
bool SkipDigits(std::string_view text, size_t& pos, size_t least, size_t most) {
    size_t count = 0;
    while (pos + count < text.size() && count < most && text[pos + count] >= '0' && text[pos + count] <= '9')
        ++count;
    if (count < least)
        return false;
    pos += count;
    return true;
}

struct TKeptReport {
    std::string Name;
    timespec Modified{};
};

bool KeptEarlier(const TKeptReport& a, const TKeptReport& b) {
    if (a.Modified.tv_sec != b.Modified.tv_sec)
        return a.Modified.tv_sec < b.Modified.tv_sec;
    if (a.Modified.tv_nsec != b.Modified.tv_nsec)
        return a.Modified.tv_nsec < b.Modified.tv_nsec;
    return a.Name < b.Name;
}

} // namespace

bool IsUnsentReportName(std::string_view file) {
    const std::string_view name = CompressFileName;
    const std::string_view stem = name.substr(0, name.rfind('.'));
    const std::string_view extension = name.substr(name.rfind('.'));
    if (!file.starts_with(stem) || !file.ends_with(extension) || file.size() < name.size())
        return false;
    const std::string_view middle = file.substr(stem.size(), file.size() - name.size());
    size_t pos = 0;
    // An optional "_" and a run of digits; pos moves past it only when it is there whole.
    const auto group = [&](size_t least, size_t most) {
        size_t at = pos + 1;
        if (pos < middle.size() && middle[pos] == '_' && SkipDigits(middle, at, least, most))
            pos = at;
    };
    group(14, 15); // the report's time stamp
    group(3, 3);   // the number of a name already taken
    return pos == middle.size();
}

void PruneUnsentReports(const std::string& folder, size_t keep, const std::string& newest) {
    std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(folder.c_str()), &::closedir);
    if (!directory)
        return;
    const std::string prefix = IncludeTrailingBackslashEx(folder);
    const std::string newestName = ExtractFileName(newest);
    std::vector<TKeptReport> reports;
    TKeptReport* latest = nullptr;
    while (const dirent* entry = ::readdir(directory.get())) {
        // Only names the reporter gives: other archives in the folder belong to the user.
        if (!IsUnsentReportName(entry->d_name))
            continue;
        struct stat info;
        if (::lstat((prefix + entry->d_name).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        reports.push_back({entry->d_name, info.st_mtim});
    }
    // The report just kept is the newest whatever the clock's grain: its time moves past the others',
    // so that the order stays the order of keeping, also for a name that an earlier one had freed.
    for (TKeptReport& report : reports)
        if (!newestName.empty() && report.Name == newestName)
            latest = &report;
    if (latest != nullptr) {
        timespec after = latest->Modified;
        for (const TKeptReport& report : reports)
            if (&report != latest && !KeptEarlier(report, TKeptReport{latest->Name, after}))
                after = report.Modified;
        if (after.tv_sec != latest->Modified.tv_sec || after.tv_nsec != latest->Modified.tv_nsec) {
            if (++after.tv_nsec >= 1000000000) {
                after.tv_nsec = 0;
                ++after.tv_sec;
            }
            const timespec times[2] = {{0, UTIME_OMIT}, after};
            if (::utimensat(AT_FDCWD, newest.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0)
                latest->Modified = after;
        }
    }
    if (reports.size() <= keep)
        return;
    std::sort(reports.begin(), reports.end(), KeptEarlier);
    for (size_t i = 0; i + keep < reports.size(); ++i)
        ::unlink((prefix + reports[i].Name).c_str());
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
