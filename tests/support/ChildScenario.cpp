#include "tests/support/ChildScenario.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testtools {

namespace {

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

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& overrides) {
    std::vector<std::string> variables;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string variable(*e);
        const std::string name = variable.substr(0, variable.find('=') + 1);
        bool replaced = false;
        for (const std::string& o : overrides)
            replaced = replaced || o.rfind(name, 0) == 0;
        if (!replaced)
            variables.push_back(variable);
    }
    variables.insert(variables.end(), overrides.begin(), overrides.end());
    return variables;
}

} // namespace

TChildResult RunChild(const std::string& scenario, const std::vector<std::string>& environment) {
    return RunChildOf(SelfPath(), scenario, environment);
}

TChildResult RunChildOf(const std::string& program, const std::string& scenario,
                        const std::vector<std::string>& environment) {
    TChildResult result;
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDERR_FILENO);
    std::string self = program;
    std::string flag = "--child";
    std::string name = scenario;
    char* argv[] = {self.data(), flag.data(), name.data(), nullptr};
    std::vector<std::string> variables = ChildEnvironment(environment);
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

} // namespace testtools
