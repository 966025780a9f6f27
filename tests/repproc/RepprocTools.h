#pragma once
// Helpers of the processing tests: children that run a named scenario of this very binary with a log
// folder of their own, and reading back what the reports left in the log.
#include "tests/support/ChildScenario.h"
#include <string>
#include <vector>

namespace repproc {

using testtools::RunChildScenario;
using testtools::TChildResult;
using testtools::TChildScenario;

// A fresh temporary folder, removed with everything in it at the end of the scope.
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    const std::string& Path() const { return m_path; }
    std::string LogFile() const { return m_path + "/reports.olf"; }

private:
    std::string m_path;
};

// Runs this binary with "--child <scenario>", its log in the folder, and waits for it and for every
// process that inherited its output (at most 30 s).
TChildResult RunChild(const std::string& scenario, const TTempFolder& folder);

// The same with another program file (a copy of this binary).
TChildResult RunChildOf(const std::string& program, const std::string& scenario, const TTempFolder& folder);

// In a child: starts the reporter with the log file in the folder the parent named.
void StartReporterForChild();
// The log file the parent named for the child, and its folder.
std::string ChildLogFile();
std::string ChildLogFolder();

// The reports stored in the log file (none when there is no file).
std::vector<std::string> StoredReports(const std::string& logFile);
bool FileExists(const std::string& path);
std::string ReadFile(const std::string& path);
int CountOf(const std::string& text, const std::string& piece);

} // namespace repproc
