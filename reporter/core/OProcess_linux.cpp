#include "OProcess.h"

#include "OModules.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace reporter {

namespace {

std::mutex gStartFolderLock;
std::string gStartFolder;

// Reads a small /proc file into the buffer without allocating; returns the bytes read.
size_t ReadProcFile(const char* path, char* buffer, size_t size) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    ::close(fd);
    return done;
}

std::vector<std::string> CommandLine() {
    std::vector<std::string> arguments;
    const int fd = ::open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return arguments;
    std::string data;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        data.append(buffer, size_t(n));
    }
    ::close(fd);
    for (size_t at = 0; at < data.size();) {
        const size_t end = data.find('\0', at);
        arguments.push_back(data.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return arguments;
}

} // namespace

bool IsValidHandle(int descriptor) {
    return descriptor >= 0 && ::fcntl(descriptor, F_GETFD) != -1;
}

bool IsThreadAlive(pid_t threadId) {
    if (threadId <= 0)
        return false;
    return ::syscall(SYS_tgkill, ::getpid(), threadId, 0) == 0 || errno == EPERM;
}

uintptr_t GetStackTop() {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0)
        return 0;
    void* stack = nullptr;
    size_t size = 0;
    const int result = pthread_attr_getstack(&attributes, &stack, &size);
    pthread_attr_destroy(&attributes);
    return result == 0 ? reinterpret_cast<uintptr_t>(stack) + size : 0;
}

bool IsDebuggerPresentEx() {
    char status[4096];
    const size_t size = ReadProcFile("/proc/self/status", status, sizeof status - 1);
    status[size] = '\0';
    const char* line = std::strstr(status, "TracerPid:");
    if (line == nullptr)
        return false;
    line += std::strlen("TracerPid:");
    while (*line == ' ' || *line == '\t')
        ++line;
    return *line >= '1' && *line <= '9';
}

void RecordStartFolder() {
    char buffer[PATH_MAX];
    std::lock_guard guard(gStartFolderLock);
    gStartFolder = ::getcwd(buffer, sizeof buffer) ? buffer : "";
}

std::string StartFolder() {
    std::lock_guard guard(gStartFolderLock);
    return gStartFolder;
}

bool SetFreshSignalState(posix_spawnattr_t& attributes, short flags) {
    // An ignored signal stays ignored across exec (a program restarted from a report that ignored
    // SIGXFSZ or SIGPIPE would never see a write fail), and the mask is inherited as it is.
    sigset_t none;
    sigset_t every;
    sigemptyset(&none);
    sigfillset(&every);
    sigdelset(&every, SIGKILL);
    sigdelset(&every, SIGSTOP);
    return posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
           posix_spawnattr_setsigdefault(&attributes, &every) == 0 &&
           posix_spawnattr_setflags(&attributes,
                                    short(flags | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF)) == 0;
}

bool RestartProgram() {
    // The running program's own file, also when an upgrade has replaced the one of its name.
    const char* program = ProgramFileToOpen();
    std::vector<std::string> arguments = CommandLine();
    if (arguments.empty())
        return false;
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return false;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return false;
    }
    bool ok = true;
    // A descriptor left open by mistake (a serial port) must not live on in the new program.
    ok = ok && posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0;
    const std::string folder = StartFolder();
    if (!folder.empty())
        ok = ok && posix_spawn_file_actions_addchdir_np(&actions, folder.c_str()) == 0;
    ok = ok && posix_spawnattr_setpgroup(&attributes, 0) == 0;
    ok = ok && SetFreshSignalState(attributes, POSIX_SPAWN_SETPGROUP);
    pid_t child = -1;
    if (ok)
        ok = posix_spawn(&child, program, &actions, &attributes, argv.data(), environ) == 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return ok;
}

void RestartOrTerminate(bool restart) {
    if (restart)
        RestartProgram();
    ::_exit(1);
}

} // namespace reporter
