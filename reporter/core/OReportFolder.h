#pragma once
// The folders of reports. The private folder of one report: every temporary file of the report (its
// copy, the XML log, the captured page, the screenshot, the packed archive) lives here, so that no other
// user can read them, plant a link under their names or meet the files of another report; the folder goes
// with its files when the last user of the report lets go of it. And the folder beside the log where
// reports that could not be sent are kept, the latest ones only, in the order they were kept.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace reporter {

class TReportFolder {
public:
    // Makes "OstrelLog-XXXXXX" (mode 0700) under $TMPDIR, or /tmp; raises EFileError when it cannot.
    TReportFolder();
    ~TReportFolder();
    TReportFolder(const TReportFolder&) = delete;
    TReportFolder& operator=(const TReportFolder&) = delete;

    // With its trailing "/".
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

using TReportFolderPtr = std::shared_ptr<TReportFolder>;

// The packed archive of a report, and the name an unsent one is kept under.
inline constexpr const char* CompressFileName = "CompressFiles.tgz";
// Unsent reports kept beside the log file.
inline constexpr size_t MaxUnsentReports = 10;
// The kept reports' names in the order they were kept, one a line, beside them: the order survives a
// file system whose times are coarse, a restore that gave every file one time, and a freed name taken
// again.
inline constexpr const char* KeptOrderFileName = ".CompressFiles.order";

// A name for an unsent report in the folder that no file has yet: the name itself, else the name with
// "_001" to "_999" before its extension; empty when all are taken.
std::string UnusedFileName(const std::string& folder, const std::string& name);
// Whether the file name is one the reporter gives a kept report: "CompressFiles.tgz", with "_NNN", with
// the report's time stamp, or with both.
bool IsUnsentReportName(std::string_view file);
// Moves the file into the folder under the name, or its first free variant (UnusedFileName), also when
// another process takes that name meanwhile. The path it got; empty when it could not be moved, with
// errno telling why.
std::string MoveToUnusedName(const std::string& file, const std::string& folder, const std::string& name);
// Records newest (when given: the report just kept in the folder) as the latest kept, then deletes the
// earliest kept reports beyond the last keep, in the order they were kept. Reports the record does not
// know (kept before it existed) count as kept before the others, by their modification time.
void PruneUnsentReports(const std::string& folder, size_t keep = MaxUnsentReports,
                        const std::string& newest = std::string());

} // namespace reporter
