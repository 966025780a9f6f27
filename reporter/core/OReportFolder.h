#pragma once
// The private folder of one report: every temporary file of the report (its copy, the XML log, the
// captured page, the screenshot, the packed archive) lives here, so that no other user can read them,
// plant a link under their names or meet the files of another report. The folder goes with its files
// when the last user of the report lets go of it.
#include <memory>
#include <string>

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

} // namespace reporter
