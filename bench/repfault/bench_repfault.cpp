// Fault to complete log entry: each sample is a child process that starts the reporter (log only: no
// dialog, no sending), notes the time and faults, on its main thread, on a worker, or on its main thread
// beside 50 idle threads (whose stacks the report walks too); beside them, in the same run, a plain
// handler that writes backtrace() the same way. The entry is complete when the log file holding it has
// been renamed into place: the parent sees that rename through inotify (file times are too coarse for
// a few milliseconds; a close of the name comes earlier, from the writability test). The busy child
// faults once all its threads run. Goals: the main thread at most 5 x the plain handler's median, at
// most 0.3 ms more per further thread.
// Parking busy threads for their stacks: 50, 100 and 200 threads that spin on every processor, parked
// together as a report parks them and, in the same run, 50 and 100 one after the other; goal: 100 within
// 1 s.
// Then the program itself under Xvfb: a fault on its GUI thread to the report dialog on screen, goal
// 250 ms (tests/repguifault/gui_fault.py).
#include "ExceptionLog.h"
#include "OOptions.h"
#include "OThreadPark.h"
#include "OThreadState.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int ExtraThreads = 50;
constexpr char LogName[] = "bench.olf";

enum TCase { cMain, cWorker, cBusyProcess, cPlainHandler };

[[gnu::noinline]] void Fault() {
    volatile int* volatile target = reinterpret_cast<int*>(16);
    *target = 1;
}

std::string gPlainLog;
std::string gPlainTemp;

// The peer: what a program without the reporter can have at the least, a backtrace in a file.
void PlainHandler(int) {
    void* frames[64];
    const int count = backtrace(frames, 64);
    const int fd = ::open(gPlainTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        backtrace_symbols_fd(frames, count, fd);
        ::fsync(fd);
        ::close(fd);
        ::rename(gPlainTemp.c_str(), gPlainLog.c_str());
    }
    ::_exit(6);
}

// The child: the fault's moment goes to the pipe first (wall clock, as the parent's).
[[noreturn]] void Child(int pipe, const std::string& log, TCase which) {
    if (which == cPlainHandler) {
        gPlainLog = log;
        gPlainTemp = log + ".tmp";
        std::signal(SIGSEGV, PlainHandler);
    } else {
        reporter::StartOstrelLog();
        reporter::TOstrelModuleOptionsEx* options = reporter::CurrentOptions();
        if (options == nullptr)
            ::_exit(3);
        options->SetLogFileLocation(log);
        options->SetDialogFlags(0);
        options->SetMailSendMode(0);
        options->SetUploadMode(0);
    }
    if (which == cBusyProcess) {
        static pthread_barrier_t started;
        if (pthread_barrier_init(&started, nullptr, ExtraThreads + 1) != 0)
            ::_exit(7);
        for (int i = 0; i < ExtraThreads; ++i) {
            pthread_t idle; // through pthread_create, which the reporter follows
            const auto wait = [](void*) -> void* {
                pthread_barrier_wait(&started);
                for (;;)
                    ::pause();
            };
            if (pthread_create(&idle, nullptr, wait, nullptr) != 0)
                ::_exit(7);
        }
        pthread_barrier_wait(&started);
    }
    auto faultNow = [pipe] {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        if (::write(pipe, &now, sizeof now) != sizeof now)
            ::_exit(4);
        Fault();
    };
    if (which == cWorker)
        std::thread(faultNow).join();
    else
        faultNow();
    ::_exit(5);
}

double Milliseconds(const timespec& from, const timespec& to) {
    return double(to.tv_sec - from.tv_sec) * 1e3 + double(to.tv_nsec - from.tv_nsec) / 1e6;
}

// Waits (at most 10 s) for the log to be renamed into place and returns that moment.
bool WaitForLog(int watch, timespec& when) {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        pollfd p{watch, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            return false;
        const ssize_t n = ::read(watch, buffer, sizeof buffer);
        clock_gettime(CLOCK_REALTIME, &when);
        if (n <= 0)
            return false;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if ((event->mask & IN_MOVED_TO) && event->len > 0 && std::strcmp(event->name, LogName) == 0)
                return true;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
}

// Milliseconds from the fault to the log in place; negative when the sample failed.
double Sample(TCase which, const std::string& folder) {
    const std::string log = folder + "/" + LogName;
    std::filesystem::remove(log);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    if (watch < 0 || ::inotify_add_watch(watch, folder.c_str(), IN_MOVED_TO) < 0)
        return -1;
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO);
        Child(fds[1], log, which);
    }
    ::close(fds[1]);
    timespec fault{};
    const bool got = ::read(fds[0], &fault, sizeof fault) == sizeof fault;
    ::close(fds[0]);
    timespec written{};
    const bool logged = got && WaitForLog(watch, written);
    ::close(watch);
    ::kill(child, SIGKILL); // the busy child's threads would outlive nothing else
    int status = 0;
    ::waitpid(child, &status, 0);
    return logged ? Milliseconds(fault, written) : -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// Milliseconds to park count spinning threads and release them again: together, or one after the other.
double ParkingSample(int count, bool together) {
    std::atomic<bool> spin{true};
    std::atomic<int> started{0};
    std::vector<reporter::TParkTarget> targets(static_cast<size_t>(count));
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&, i] {
            targets[size_t(i)].ThreadId = reporter::CurrentThreadId();
            started.fetch_add(1);
            volatile uint64_t turns = 0;
            while (spin.load(std::memory_order_relaxed))
                turns = turns + 1;
        });
    while (started.load() < count)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    reporter::TThreadParker parker(count, 16384);
    const auto begin = std::chrono::steady_clock::now();
    int parked = 0;
    if (together) {
        for (const bool p : parker.ParkAll(targets))
            parked += p;
    } else {
        for (const reporter::TParkTarget& t : targets)
            parked += parker.Park(t.ThreadId, 0);
    }
    parker.ReleaseAll();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    spin.store(false);
    for (std::thread& t : threads)
        t.join();
    return parked == count ? ms : -1;
}

void ParkingBenchmark(int samples) {
    if (!reporter::InstallParkSignal())
        return;
    for (const bool together : {true, false})
        for (const int count : {50, 100, 200}) {
            if (!together && count > 100)
                continue; // one after the other takes seconds already at 100
            std::vector<double> times;
            for (int i = 0; i < samples; ++i)
                if (const double ms = ParkingSample(count, together); ms >= 0)
                    times.push_back(ms);
            std::printf("Parking %d busy threads %s: median %.1f ms of %zu samples%s\n", count,
                        together ? "together" : "one after the other", Median(times), times.size(),
                        together && count == 100 ? " (goal: at most 1000 ms)" : "");
            std::fflush(stdout);
        }
    reporter::RemoveParkSignal();
}

} // namespace

int main(int argc, char** argv) {
    const int samples = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    std::string pattern = (std::filesystem::temp_directory_path() / "repfault-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return 1;
    const struct {
        TCase Which;
        const char* Name;
    } cases[] = {{cMain, "main thread"},
                 {cWorker, "worker thread"},
                 {cBusyProcess, "main thread beside 50 idle threads"},
                 {cPlainHandler, "plain backtrace() handler, main thread"}};
    double medians[4] = {};
    for (const auto& c : cases) {
        std::vector<double> times;
        for (int i = 0; i < samples; ++i)
            if (const double ms = Sample(c.Which, pattern); ms >= 0)
                times.push_back(ms);
        medians[c.Which] = Median(times);
        std::printf("Fault to complete log entry (%s): median %.2f ms of %zu samples\n", c.Name,
                    medians[c.Which], times.size());
        std::fflush(stdout);
    }
    std::printf("Main thread: %.2f x the plain handler; per further thread: %.3f ms (goals: at most 5 x, "
                "0.3 ms)\n",
                medians[cMain] / medians[cPlainHandler],
                (medians[cBusyProcess] - medians[cMain]) / ExtraThreads);
    std::fflush(stdout);
    std::filesystem::remove_all(pattern);
    ParkingBenchmark(std::max(3, samples / 3));
    if (std::getenv("REPFAULT_NO_GUI") != nullptr)
        return 0;
    const std::string gui = std::string("xvfb-run -a -s \"-screen 0 1280x1024x24\" /usr/bin/python3 ") +
                            REPFAULT_DRIVER + " " + REPFAULT_PROGRAM + " " + REPFAULT_PRELOAD + " 5";
    return std::system(gui.c_str()) == 0 ? 0 : 1;
}
