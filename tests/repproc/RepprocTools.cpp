#include "RepprocTools.h"

#include "ExceptionLog.h"
#include "OLogFile.h"
#include "OOptions.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace repproc {

namespace {

constexpr const char* LogFolderVariable = "REPPROC_LOG_FOLDER";

} // namespace

TTempFolder::TTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "repproc-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr)
        m_path = pattern;
}

TTempFolder::~TTempFolder() {
    std::error_code ignored;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ignored);
}

TChildResult RunChild(const std::string& scenario, const TTempFolder& folder) {
    return testtools::RunChild(scenario, {std::string(LogFolderVariable) + "=" + folder.Path()});
}

TChildResult RunChildOf(const std::string& program, const std::string& scenario, const TTempFolder& folder) {
    return testtools::RunChildOf(program, scenario, {std::string(LogFolderVariable) + "=" + folder.Path()});
}

std::string ChildLogFolder() {
    const char* folder = std::getenv(LogFolderVariable);
    return folder != nullptr ? folder : "/tmp";
}

std::string ChildLogFile() {
    return ChildLogFolder() + "/reports.olf";
}

void StartReporterForChild() {
    reporter::StartOstrelLog();
    if (reporter::TOstrelModuleOptionsEx* options = reporter::CurrentOptions())
        options->SetLogFileLocation(ChildLogFile());
}

std::vector<std::string> StoredReports(const std::string& logFile) {
    if (!FileExists(logFile))
        return {};
    const reporter::TLogFile log(logFile, true);
    std::vector<std::string> reports;
    for (int i = 0; i < log.Count(); ++i)
        reports.push_back(log.Reports(i));
    return reports;
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int CountOf(const std::string& text, const std::string& piece) {
    int count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size()))
        ++count;
    return count;
}

} // namespace repproc
