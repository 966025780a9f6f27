// Fault to complete log entry: each sample is a child process that starts the reporter (log only: no
// dialog, no sending), notes the time and faults, on its main thread or on a worker; the entry is
// complete when the log file holding it has been renamed into place, and its modification time is
// taken as that moment. Goal: under 50 ms median for both. Then the program itself under Xvfb: a fault
// on its GUI thread to the report dialog on screen, goal under 1 s (tests/repguifault/gui_fault.py).
#include "ExceptionLog.h"
#include "OOptions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

[[gnu::noinline]] void Fault() {
    volatile int* volatile target = reinterpret_cast<int*>(16);
    *target = 1;
}

// The child: the fault's moment goes to the pipe first (wall clock, as the file times are).
[[noreturn]] void Child(int pipe, const std::string& log, bool worker) {
    reporter::StartOstrelLog();
    reporter::TOstrelModuleOptionsEx* options = reporter::CurrentOptions();
    if (options == nullptr)
        ::_exit(3);
    options->SetLogFileLocation(log);
    options->SetDialogFlags(0);
    options->SetMailSendMode(0);
    options->SetUploadMode(0);
    auto faultNow = [pipe] {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        if (::write(pipe, &now, sizeof now) != sizeof now)
            ::_exit(4);
        Fault();
    };
    if (worker)
        std::thread(faultNow).join();
    else
        faultNow();
    ::_exit(5);
}

// Milliseconds from the fault to the log in place; negative when the sample failed.
double Sample(bool worker, const std::string& folder) {
    const std::string log = folder + "/bench.olf";
    std::filesystem::remove(log);
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO);
        Child(fds[1], log, worker);
    }
    ::close(fds[1]);
    timespec fault{};
    const bool got = ::read(fds[0], &fault, sizeof fault) == sizeof fault;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    struct stat info {};
    if (!got || ::stat(log.c_str(), &info) != 0)
        return -1;
    return double(info.st_mtim.tv_sec - fault.tv_sec) * 1e3 +
           double(info.st_mtim.tv_nsec - fault.tv_nsec) / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int samples = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    std::string pattern = (std::filesystem::temp_directory_path() / "repfault-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return 1;
    for (const bool worker : {false, true}) {
        std::vector<double> times;
        for (int i = 0; i < samples; ++i)
            if (const double ms = Sample(worker, pattern); ms >= 0)
                times.push_back(ms);
        std::printf("Fault to complete log entry (%s): median %.1f ms of %zu samples (goal: under 50 ms)\n",
                    worker ? "worker thread" : "main thread", Median(times), times.size());
        std::fflush(stdout);
    }
    std::filesystem::remove_all(pattern);
    const std::string gui = std::string("xvfb-run -a -s \"-screen 0 1280x1024x24\" /usr/bin/python3 ") +
                            REPFAULT_DRIVER + " " + REPFAULT_PROGRAM + " " + REPFAULT_PRELOAD + " 5";
    return std::system(gui.c_str()) == 0 ? 0 : 1;
}
