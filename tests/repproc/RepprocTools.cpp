#include "RepprocTools.h"

#include "reporter/ExceptionLog.h"
#include "reporter/OLogFile.h"
#include "reporter/OOptions.h"

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

extern char** environ;

namespace repproc {

namespace {

constexpr const char* LogFolderVariable = "REPPROC_LOG_FOLDER";

std::map<std::string, void (*)()>& Scenarios() {
    static std::map<std::string, void (*)()> scenarios;
    return scenarios;
}

std::string SelfPath() {
    char program[4096];
    const ssize_t length = ::readlink("/proc/self/exe", program, sizeof program - 1);
    if (length <= 0)
        return "/proc/self/exe";
    program[length] = '\0';
    return program;
}

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
    TChildResult result;
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDERR_FILENO);
    std::string self = SelfPath();
    std::string flag = "--child";
    std::string name = scenario;
    char* argv[] = {self.data(), flag.data(), name.data(), nullptr};
    // The child's environment: this one with the log folder.
    std::vector<std::string> variables;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::string(*e).rfind(std::string(LogFolderVariable) + "=", 0) != 0)
            variables.emplace_back(*e);
    variables.push_back(std::string(LogFolderVariable) + "=" + folder.Path());
    std::vector<char*> envp;
    for (std::string& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    pid_t child = -1;
    const int spawned = posix_spawn(&child, self.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    if (spawned != 0) {
        ::close(pipe[0]);
        return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    char buffer[4096];
    for (;;) {
        pollfd p{pipe[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready > 0) {
            const ssize_t n = ::read(pipe[0], buffer, sizeof buffer);
            if (n <= 0)
                break; // every writer, a restarted program included, has ended
            result.Output.append(buffer, size_t(n));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            break;
        }
    }
    ::close(pipe[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.Exited = WIFEXITED(status);
    result.ExitCode = result.Exited ? WEXITSTATUS(status) : -1;
    result.Signalled = WIFSIGNALED(status);
    result.Signal = result.Signalled ? WTERMSIG(status) : 0;
    return result;
}

bool RunChildScenario(const std::string& scenario) {
    const auto found = Scenarios().find(scenario);
    if (found == Scenarios().end())
        return false;
    found->second();
    return true;
}

TChildScenario::TChildScenario(const char* name, void (*body)()) {
    Scenarios()[name] = body;
}

std::string ChildLogFile() {
    const char* folder = std::getenv(LogFolderVariable);
    return std::string(folder != nullptr ? folder : "/tmp") + "/reports.olf";
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
