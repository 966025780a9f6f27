#pragma once
// The report log file (".olf"): the latest reports as text, each its report text followed by three
// CR LF pairs, one more CR LF between reports. The file is read back to find repeated reports, to show
// or send the log and to convert it to XML. Several processes of the program may share one log: saving
// takes an exclusive lock on the file, merges what others saved meanwhile and replaces the file as a
// whole, so that a crash or a full disk never leaves half a log behind.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace reporter {

class TOstrelModuleOptions;

// The end of every stored report.
inline constexpr const char* ReportTerminator = "\r\n\r\n\r\n";
// The largest log file that is read; a larger one is refused (and left alone) instead of being loaded.
inline constexpr size_t MaxLogFileSize = size_t(64) << 20;

// --- reading reports back from text ---

// Cuts a log text into its reports, each ending in the terminator. Lone CR and LF become CR LF; a text
// that does not end in the terminator is completed; pieces without a table ("-\r\n|") are no reports.
std::vector<std::string> SplitLogReports(std::string text);
// The version after "OstrelLog " on the report's first line.
std::string ReportLogVersion(const std::string& report);
// -1, 0 or 1 as version a is below, equal to or above b, comparing the dotted numbers one by one.
int CompareVersions(const std::string& a, const std::string& b);
// The value of a General field ("2.5"): its first line and its continuation lines, each trimmed,
// joined with CR LF; empty when the report has no such field.
std::string GetFieldValue(const std::string& report, const std::string& number);
// True when each field holds exactly the value, as the report text shows a value.
bool ReportFieldsEqual(const std::string& report, const std::vector<std::string>& numbers,
                       const std::vector<std::string>& values);
// The sections of a report, found by its rules: empty when the report has no such section.
std::string GetReportGeneral(const std::string& report);
std::string GetReportCallStack(const std::string& report);
std::string GetReportModules(const std::string& report);
std::string GetReportCPU(const std::string& report);
std::string GetReportOther(const std::string& report);

// Whether the log may be kept in the file at path: anything but a link, or a link that leads to a report
// log (an empty file, or one that begins as a report does) or to no file yet. Any other file at the end
// of a link belongs to someone else and is never written.
bool IsReportLogTarget(const std::string& path);

class TLogFile {
public:
    // The name goes through the log location rule (the user's fallback folder when the given place
    // cannot be used, or is a link to a file that is no report log). An existing file is read; one that
    // cannot be read or is too large raises EFileError, so that nothing is ever saved over it.
    TLogFile(std::string fileName, bool readOnly);

    const std::string& FileName() const { return m_fileName; }
    bool ReadOnly() const { return m_readOnly; }

    int Count() const { return int(m_reports.size()); }
    // Report index (0 the oldest), with its terminator.
    const std::string& Reports(int index) const;
    // Drops the oldest reports until fewer than maximum (at least 1) remain, then appends the text.
    void AddReport(const std::string& text, int32_t maximum);
    void DeleteReport(int index);
    void Clear();
    // Writes the reports; reports that another process saved since this one read the file are kept.
    // Raises EFileError on failure, leaving the file as it was.
    void Save();
    // The reports joined by CR LF: the file's content once saved.
    std::string GetText() const;

    std::string GetFieldValue(const std::string& number, int index) const;
    // An earlier report with all the fields equal to the values.
    bool FindDuplicate(const std::vector<std::string>& numbers, const std::vector<std::string>& values) const;

    std::string GetReportGeneral(int index) const;
    std::string GetReportCallStack(int index) const;
    std::string GetReportModules(int index) const;
    std::string GetReportCPU(int index) const;
    std::string GetReportOther(int index) const;

    std::string ReportToXML(int index) const;
    std::string LogToXML() const;
    void SaveLogAsXML(const std::string& fileName) const;

private:
    struct TChange {
        enum Kind { Add, Delete, Clear } What;
        std::string Report;
        int32_t Maximum = 0;
    };
    static void Apply(std::vector<std::string>& reports, const TChange& change);
    const std::string* ReportAt(int index) const;

    std::string m_fileName;
    bool m_readOnly;
    std::vector<std::string> m_reports;
    // What this object changed since it last read or wrote the file, replayed on the file's reports
    // when saving.
    std::vector<TChange> m_changes;
};

// With LogFlags bit 0x01: an earlier report of the log has the same exception address, module, type and
// message (fields 2.2 to 2.5). False without a log.
bool IsDuplicateReport(const TOstrelModuleOptions& options, const TLogFile* log, const std::string& address,
                       const std::string& module, const std::string& type, const std::string& message);

// The program's events around saving, run on the main thread by the report processing.
class TLogSaveEvents {
public:
    virtual ~TLogSaveEvents() = default;
    // Before saving; clearing the flag keeps the report out of the file.
    virtual void SavingLog(bool& continueFlag) { (void)continueFlag; }
    virtual void LogSaved(bool& continueFlag) { (void)continueFlag; }
    // Saving failed (the last error tells why); setting the flag tries again.
    virtual void LogError(bool& retry) { (void)retry; }
};

// The saving step of the report processing: unless the report is a duplicate it is added to the log
// (keeping MaxLogReports), the sending copy becomes the whole log with SendFlags bit 0x04, and the file
// is written when LogToFile is set. A failure sets the last error (eeLogError, context "Log"); the error
// event may ask for another try, which saves again without adding the report twice. Returns true when
// nothing failed.
bool SaveLogFile(const TOstrelModuleOptions& options, TLogFile& log, const std::string& reportText,
                 bool duplicate, std::string& sendText, TLogSaveEvents& events);

} // namespace reporter
