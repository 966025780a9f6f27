#include "OLogFile.h"

#include "OCore.h"
#include "OErrors.h"
#include "OFileSizeSignal.h"
#include "OFiles.h"
#include "OLastError.h"
#include "OLogItem.h"
#include "OOptions.h"
#include "OReportProgress.h"
#include "OTextUtils.h"
#include "OXMLLog.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace reporter {

namespace {

// Every report, and so every log, begins with this.
constexpr std::string_view LogBanner = "OstrelLog ";

// How long a save or a read waits for another process that holds the log.
constexpr auto LockWait = std::chrono::seconds(10);
constexpr auto LockPoll = std::chrono::milliseconds(20);

[[noreturn]] void RaiseLog(const std::string& what, const std::string& path, int error = 0) {
    std::string message = "Cannot " + what + " the log file \"" + path + "\"";
    if (error == EINVAL) // from OpenRegularFile
        message += ": it is not a regular file";
    else if (error != 0)
        message += ": " + std::string(std::strerror(error));
    throw EFileError(message + ".");
}

class TDescriptor {
public:
    explicit TDescriptor(int fd = -1) : m_fd(fd) {}
    ~TDescriptor() { Reset(); }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Get() const { return m_fd; }
    void Reset(int fd = -1) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    int Release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

bool BeginsAsLog(std::string_view text) {
    return text.empty() || text.starts_with(LogBanner);
}

bool IsLink(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

[[noreturn]] void RaiseNotALog(const std::string& path) {
    throw EFileError("The log file \"" + path +
                     "\" leads to a file that is no report log; it is left as it is.");
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Lone CR and lone LF become CR LF.
std::string NormaliseLineBreaks(const std::string& text) {
    std::string result;
    result.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            result += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            result += "\r\n";
        } else {
            result += c;
        }
    }
    return result;
}

// The report's own text without the line breaks that end it, then the terminator: the stored form,
// which reads back unchanged.
std::string StoredReport(std::string text) {
    size_t end = text.size();
    while (end >= 2 && text[end - 2] == '\r' && text[end - 1] == '\n')
        end -= 2;
    text.resize(end);
    return text + ReportTerminator;
}

size_t LineStart(const std::string& text, size_t pos) {
    while (pos > 0 && text[pos - 1] != '\n')
        --pos;
    return pos;
}

// Reads the whole descriptor from its start; a file above the limit is refused.
std::string ReadAll(int fd, const std::string& path) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        RaiseLog("read", path, errno);
    if (uint64_t(info.st_size) > MaxLogFileSize)
        throw EFileError("The log file \"" + path + "\" is larger than " +
                         std::to_string(MaxLogFileSize >> 20) + " MB; it is left as it is.");
    std::string text(size_t(info.st_size), '\0');
    size_t used = 0;
    for (;;) {
        if (used == text.size()) {
            if (text.size() > MaxLogFileSize)
                throw EFileError("The log file \"" + path + "\" grew beyond " +
                                 std::to_string(MaxLogFileSize >> 20) + " MB while being read.");
            text.resize(text.size() + 65536);
        }
        const ssize_t n = ::pread(fd, text.data() + used, text.size() - used, off_t(used));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            RaiseLog("read", path, errno);
        if (n == 0)
            break;
        used += size_t(n);
    }
    text.resize(used);
    return text;
}

// Takes the lock with a bounded wait; false when another process kept it all the time.
bool LockWithin(int fd, int operation) {
    // A report that waits here waits for another program (saving its own report), within LockWait.
    const TOutsideWait outside;
    const auto deadline = std::chrono::steady_clock::now() + LockWait;
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(LockPoll);
    }
}

// The log file opened (created when missing) and locked for writing. A file that another process
// replaced while this one waited is opened again, so the lock always belongs to the current file.
int OpenLocked(const std::string& path) {
    for (int attempt = 0; attempt < 64; ++attempt) {
        TDescriptor fd(OpenRegularFile(path, O_RDWR | O_CREAT, 0644));
        if (fd.Get() < 0)
            RaiseLog("open", path, errno);
        if (!LockWithin(fd.Get(), LOCK_EX))
            throw EFileError("The log file \"" + path + "\" is locked by another process.");
        struct stat held {};
        struct stat current {};
        if (::fstat(fd.Get(), &held) != 0)
            RaiseLog("open", path, errno);
        if (::stat(path.c_str(), &current) == 0 && current.st_ino == held.st_ino &&
            current.st_dev == held.st_dev)
            return fd.Release();
    }
    throw EFileError("The log file \"" + path + "\" keeps being replaced by another process.");
}

void WriteAll(int fd, const std::string& text, const std::string& path) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::pwrite(fd, text.data() + done, text.size() - done, off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            RaiseLog("write", path, errno);
        done += size_t(n);
    }
}

// Replaces the file by a complete new one: written beside it, flushed, renamed over it. Where no new
// file can be made beside it (a folder that is not writable), saving fails and the old file stays as it
// was: a rewrite in place that fails half-way (a full disk) would lose reports. A log reached through a
// link is replaced where the link points, and the link stays.
void WriteLog(int lockedFd, const std::string& name, const std::string& text) {
    struct stat info {};
    if (::fstat(lockedFd, &info) != 0)
        RaiseLog("write", name, errno);
    const std::string path = LinkTarget(name);
    std::string temp = path + ".XXXXXX";
    TDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.Get() < 0)
        RaiseLog("write", path, errno);
    try {
        // The new file keeps the old one's owner and group where the system lets us (root saving a
        // user's log, a log of a group of ours), and its mode; the owner first, since a change of owner
        // clears the set-id bits. A member of the group saving another member's log cannot keep the
        // owner but keeps the group, so that the others can still write the log.
        if ((info.st_uid != ::geteuid() || info.st_gid != ::getegid()) &&
            ::fchown(fd.Get(), info.st_uid, info.st_gid) != 0 &&
            (errno != EPERM || (::fchown(fd.Get(), uid_t(-1), info.st_gid) != 0 && errno != EPERM)))
            RaiseLog("write", path, errno);
        if (::fchmod(fd.Get(), info.st_mode & 07777) != 0)
            RaiseLog("write", path, errno);
        WriteAll(fd.Get(), text, temp);
        if (::fsync(fd.Get()) != 0)
            RaiseLog("write", path, errno);
        if (::close(fd.Release()) != 0)
            RaiseLog("write", path, errno);
        if (::rename(temp.c_str(), path.c_str()) != 0)
            RaiseLog("write", path, errno);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
}

std::string JoinReports(const std::vector<std::string>& reports) {
    std::string text;
    for (size_t i = 0; i < reports.size(); ++i) {
        if (i > 0)
            text += "\r\n";
        text += reports[i];
    }
    return text;
}

} // namespace

std::vector<std::string> SplitLogReports(std::string text) {
    std::vector<std::string> reports;
    if (text.size() < 6)
        return reports;
    text = NormaliseLineBreaks(text);
    if (!EndsWith(text, ReportTerminator))
        text += ReportTerminator;
    size_t start = 0;
    while (start < text.size()) {
        const size_t run = text.find("\r\n\r\n\r\n\r\n", start);
        std::string piece;
        if (run == std::string::npos) {
            piece = text.substr(start);
            start = text.size();
        } else {
            piece = text.substr(start, run + 6 - start);
            start = run + 8;
        }
        size_t first = 0;
        while (piece.compare(first, 2, "\r\n") == 0)
            first += 2;
        piece.erase(0, first);
        if (piece.find("-\r\n|") != std::string::npos)
            reports.push_back(StoredReport(std::move(piece)));
    }
    return reports;
}

std::string ReportLogVersion(const std::string& report) {
    const size_t end = report.find("\r\n");
    const std::string line = report.substr(0, end);
    return line.size() > 10 ? TrimText(line.substr(10)) : std::string();
}

int CompareVersions(const std::string& a, const std::string& b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() || j < b.size()) {
        auto next = [](const std::string& text, size_t& at) {
            uint64_t number = 0;
            while (at < text.size() && text[at] != '.') {
                if (text[at] >= '0' && text[at] <= '9' && number < 100000000)
                    number = number * 10 + uint64_t(text[at] - '0');
                ++at;
            }
            if (at < text.size())
                ++at;
            return number;
        };
        const uint64_t x = next(a, i);
        const uint64_t y = next(b, j);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

std::string GetFieldValue(const std::string& report, const std::string& number) {
    const std::string key = "\r\n  " + number + " ";
    const size_t at = report.find(key);
    if (at == std::string::npos)
        return std::string();
    size_t lineEnd = report.find("\r\n", at + 2);
    if (lineEnd == std::string::npos)
        lineEnd = report.size();
    const size_t colon = report.find(": ", at + key.size());
    if (colon == std::string::npos || colon >= lineEnd)
        return std::string();
    std::string value = TrimText(report.substr(colon + 2, lineEnd - colon - 2));
    while (lineEnd < report.size()) {
        const size_t from = lineEnd + 2;
        size_t end = report.find("\r\n", from);
        if (end == std::string::npos)
            end = report.size();
        const std::string line = report.substr(from, end - from);
        if (TrimText(line).empty() || line.find(": ") != std::string::npos)
            break;
        value += "\r\n" + TrimText(line);
        lineEnd = end;
    }
    return value;
}

bool ReportFieldsEqual(const std::string& report, const std::vector<std::string>& numbers,
                       const std::vector<std::string>& values) {
    if (numbers.size() != values.size())
        return false;
    for (size_t i = 0; i < numbers.size(); ++i) {
        const std::string key = "\r\n  " + numbers[i] + " ";
        const size_t at = report.find(key);
        if (at == std::string::npos)
            return false;
        const size_t lineEnd = report.find("\r\n", at + 2);
        const size_t colon = report.find(": ", at + key.size());
        if (colon == std::string::npos || colon > lineEnd)
            return false;
        const size_t q = colon + 2;
        // The value as the report shows it: continuation lines start in the value's column.
        const std::string formatted = FormatFieldValue(values[i]);
        std::string shown;
        size_t from = 0;
        for (;;) {
            const size_t end = formatted.find("\r\n", from);
            if (from > 0)
                shown += "\r\n" + std::string(q - (at + 2) - 1, ' ');
            shown += formatted.substr(from, end == std::string::npos ? std::string::npos : end - from);
            if (end == std::string::npos)
                break;
            from = end + 2;
        }
        if (report.compare(q, shown.size(), shown) != 0)
            return false;
        // The whole value, not only its beginning: "Error 1" is no repeat of "Error 12".
        const size_t after = q + shown.size();
        if (after < report.size() && report.compare(after, 2, "\r\n") != 0)
            return false;
    }
    return true;
}

std::string GetReportGeneral(const std::string& report) {
    const size_t table = report.find("-\r\n|");
    if (table == std::string::npos)
        return std::string();
    const size_t rule = LineStart(report, table);
    const size_t title = rule >= 2 ? LineStart(report, rule - 2) : 0;
    size_t end = title;
    while (end > 0 && (report[end - 1] == '\r' || report[end - 1] == '\n' || report[end - 1] == ' '))
        --end;
    return report.substr(0, end);
}

std::string GetReportCallStack(const std::string& report) {
    const size_t table = report.find("-\r\n|");
    if (table == std::string::npos)
        return std::string();
    const size_t start = LineStart(report, table);
    const size_t end = report.find("-\r\n\r\n", table);
    return report.substr(start, end == std::string::npos ? std::string::npos : end + 5 - start);
}

std::string GetReportModules(const std::string& report) {
    const size_t table = report.find("-\r\n|");
    if (table == std::string::npos)
        return std::string();
    const size_t title = report.find(":\r\n-", table);
    if (title == std::string::npos)
        return std::string();
    const size_t rule = report.find("-\r\n", title + 3);
    if (rule == std::string::npos || rule + 3 >= report.size() || report[rule + 3] != '|')
        return std::string();
    const size_t start = LineStart(report, rule);
    const size_t end = report.find("-\r\n\r\n", rule);
    return report.substr(start, end == std::string::npos ? std::string::npos : end + 5 - start);
}

std::string GetReportCPU(const std::string& report) {
    const size_t table = report.find("-\r\n|");
    if (table == std::string::npos)
        return std::string();
    size_t at = table;
    for (int i = 0; i < 2; ++i) {
        at = report.find("\r\n\r\n", at);
        if (at == std::string::npos)
            return std::string();
        at += 4;
    }
    const size_t start = at;
    size_t end = report.find("\r\n\r\n", start);
    if (end != std::string::npos)
        end = report.find("\r\n\r\n", end + 4);
    std::string cpu = end == std::string::npos ? report.substr(start) : report.substr(start, end + 2 - start);
    if (cpu.find("RAX") == std::string::npos && cpu.find("EAX") == std::string::npos)
        return std::string();
    return cpu;
}

std::string GetReportOther(const std::string& report) {
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        at = report.find("-\r\n|", at);
        if (at == std::string::npos)
            return std::string();
        at += 4;
    }
    for (int i = 0; i < 3; ++i) {
        at = report.find(":\r\n-", at);
        if (at == std::string::npos)
            return std::string();
        at += 4;
    }
    const size_t rule = report.find("-\r\n", at - 1);
    if (rule == std::string::npos)
        return std::string();
    const size_t start = rule + 3;
    const size_t end = report.find("\r\n\r\n", start);
    std::string other = report.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!other.empty() && (other.back() == '\r' || other.back() == '\n'))
        other.pop_back();
    return other;
}

bool IsReportLogTarget(const std::string& path) {
    if (!IsLink(path))
        return true;
    TDescriptor fd(OpenRegularFile(path, O_RDONLY));
    if (fd.Get() < 0)
        return errno == ENOENT; // a link to no file yet: saving makes the log there
    char head[LogBanner.size()];
    size_t used = 0;
    while (used < sizeof head) {
        const ssize_t n = ::pread(fd.Get(), head + used, sizeof head - used, off_t(used));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        used += size_t(n);
    }
    return used == 0 || std::string_view(head, used) == LogBanner;
}

TLogFile::TLogFile(std::string fileName, bool readOnly)
    : m_fileName(std::move(fileName)), m_readOnly(readOnly) {
    CheckLogPath(m_fileName, readOnly, false, &IsReportLogTarget);
    if (!IsReportLogTarget(m_fileName))
        RaiseNotALog(m_fileName);
    // Only a regular file is a log: a FIFO or a device under its name would hold the report for ever.
    TDescriptor fd(OpenRegularFile(m_fileName, O_RDONLY));
    if (fd.Get() < 0) {
        if (errno == ENOENT)
            return; // no log yet: saving makes it
        RaiseLog("open", m_fileName, errno);
    }
    // Saving replaces the file as a whole, so a reader sees a complete file even without the lock;
    // the shared lock only guards against the in-place rewrite.
    const bool locked = LockWithin(fd.Get(), LOCK_SH);
    std::string text = ReadAll(fd.Get(), m_fileName);
    if (locked)
        ::flock(fd.Get(), LOCK_UN);
    m_reports = SplitLogReports(std::move(text));
}

const std::string* TLogFile::ReportAt(int index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    return &m_reports[size_t(index)];
}

const std::string& TLogFile::Reports(int index) const {
    const std::string* report = ReportAt(index);
    if (report == nullptr)
        throw Exception("List index out of bounds (" + std::to_string(index) + ").");
    return *report;
}

void TLogFile::Apply(std::vector<std::string>& reports, const TChange& change) {
    switch (change.What) {
    case TChange::Add: {
        const size_t maximum = size_t(change.Maximum < 1 ? 1 : change.Maximum);
        if (reports.size() >= maximum)
            reports.erase(reports.begin(), reports.begin() + std::ptrdiff_t(reports.size() - maximum + 1));
        reports.push_back(change.Report);
        break;
    }
    case TChange::Delete:
        for (auto it = reports.begin(); it != reports.end(); ++it)
            if (*it == change.Report) {
                reports.erase(it);
                break;
            }
        break;
    case TChange::Clear:
        reports.clear();
        break;
    }
}

void TLogFile::AddReport(const std::string& text, int32_t maximum) {
    TChange change{TChange::Add, StoredReport(NormaliseLineBreaks(text)), maximum};
    Apply(m_reports, change);
    m_changes.push_back(std::move(change));
}

void TLogFile::DeleteReport(int index) {
    TChange change{TChange::Delete, Reports(index), 0};
    m_reports.erase(m_reports.begin() + index);
    m_changes.push_back(std::move(change));
}

void TLogFile::Clear() {
    m_reports.clear();
    m_changes.push_back(TChange{TChange::Clear, std::string(), 0});
}

void TLogFile::Save() {
    if (m_readOnly)
        throw EFileError("The log file \"" + m_fileName + "\" is open for reading only.");
    const TFileSizeSignalGuard fileSizeLimit;
    TDescriptor fd(OpenLocked(m_fileName));
    std::string text = ReadAll(fd.Get(), m_fileName);
    // Read under the lock: the file a link leads to may have changed since the log was opened.
    if (!BeginsAsLog(text) && IsLink(m_fileName))
        RaiseNotALog(m_fileName);
    std::vector<std::string> reports = SplitLogReports(std::move(text));
    for (const TChange& change : m_changes)
        Apply(reports, change);
    WriteLog(fd.Get(), m_fileName, JoinReports(reports));
    m_reports = std::move(reports);
    m_changes.clear();
}

std::string TLogFile::GetText() const {
    return JoinReports(m_reports);
}

std::string TLogFile::GetFieldValue(const std::string& number, int index) const {
    const std::string* report = ReportAt(index);
    return report != nullptr ? reporter::GetFieldValue(*report, number) : std::string();
}

bool TLogFile::FindDuplicate(const std::vector<std::string>& numbers,
                             const std::vector<std::string>& values) const {
    for (const std::string& report : m_reports)
        if (ReportFieldsEqual(report, numbers, values))
            return true;
    return false;
}

std::string TLogFile::GetReportGeneral(int index) const {
    const std::string* report = ReportAt(index);
    return report != nullptr ? reporter::GetReportGeneral(*report) : std::string();
}

std::string TLogFile::GetReportCallStack(int index) const {
    const std::string* report = ReportAt(index);
    return report != nullptr ? reporter::GetReportCallStack(*report) : std::string();
}

std::string TLogFile::GetReportModules(int index) const {
    const std::string* report = ReportAt(index);
    return report != nullptr ? reporter::GetReportModules(*report) : std::string();
}

std::string TLogFile::GetReportCPU(int index) const {
    const std::string* report = ReportAt(index);
    return report != nullptr ? reporter::GetReportCPU(*report) : std::string();
}

std::string TLogFile::GetReportOther(int index) const {
    const std::string* report = ReportAt(index);
    return report != nullptr ? reporter::GetReportOther(*report) : std::string();
}

std::string TLogFile::ReportToXML(int index) const {
    const std::string* report = ReportAt(index);
    return report != nullptr ? reporter::ReportToXML(*report) : std::string();
}

std::string TLogFile::LogToXML() const {
    return reporter::LogToXML(m_reports);
}

void TLogFile::SaveLogAsXML(const std::string& fileName) const {
    const std::string xml = LogToXML();
    WriteWholeFile(fileName, xml.data(), xml.size());
}

bool IsDuplicateReport(const TOstrelModuleOptions& options, const TLogFile* log, const std::string& address,
                       const std::string& module, const std::string& type, const std::string& message) {
    if (!(options.LogFlags() & 0x01) || log == nullptr)
        return false;
    return log->FindDuplicate({"2.2", "2.3", "2.4", "2.5"}, {address, module, type, message});
}

bool SaveLogFile(const TOstrelModuleOptions& options, TLogFile& log, const std::string& reportText,
                 bool duplicate, std::string& sendText, TLogSaveEvents& events) {
    bool continueFlag = true;
    ClearLastErrorCode();
    if (options.LogToFile())
        events.SavingLog(continueFlag);
    bool added = false;
    bool failed = false;
    for (;;) {
        ClearLastErrorCode();
        failed = false;
        try {
            if (!duplicate) {
                // A retry saves again; the report is in the list already.
                if (!added) {
                    log.AddReport(reportText, options.MaxLogReports());
                    added = true;
                }
                if (options.SendFlags() & 0x04)
                    sendText = log.GetText();
                if (continueFlag && options.LogToFile())
                    log.Save();
            }
        } catch (...) {
            FormatInternalError(TOstrelLogErrorCode::eeLogError, "Log");
            failed = true;
        }
        bool retry = false;
        if (failed && options.LogToFile())
            events.LogError(retry);
        if (!retry)
            break;
    }
    if (failed)
        continueFlag = false;
    if (options.LogToFile())
        events.LogSaved(continueFlag);
    return !failed;
}

} // namespace reporter
