// A parked thread is let go before the report does its heavy work: a thread parked while it holds a
// lock the report's allocations need (the allocator's own, in real life) would otherwise stand still for
// ever, and the report with it. Here a holding thread stands for that lock: while it is inside and stops
// making progress (parked), every allocation of the child waits for it. The other threads of a fault,
// and the main thread of a freeze.
#include "RephooksTools.h"

#include "ExceptionLog.h"
#include "OOptions.h"
#include "OReporterState.h"
#include "tests/support/TestTools.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <new>
#include <poll.h>
#include <pthread.h>
#include <sstream>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace rephooks;
using Clock = std::chrono::steady_clock;

std::atomic<bool> gInside{false};
std::atomic<pid_t> gHolder{0};
std::atomic<int64_t> gBeat{0};    // the holder's latest progress, steady clock nanoseconds
constexpr int64_t StillNs = 5000; // the holder beats every few nanoseconds while it runs

int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// Busy inside the stand-in lock for the time, beating all along.
void HoldLock(std::chrono::milliseconds time) {
    gHolder.store(pid_t(::gettid()));
    gBeat.store(Now());
    gInside.store(true);
    for (const auto end = Clock::now() + time; Clock::now() < end;)
        gBeat.store(Now());
    gInside.store(false);
}

// The holder stands still: no fresh beat, and the kernel does not count it as running or waiting for a
// processor (a busy machine may keep it from running for a while; a parked one sleeps). Reads the task's
// state without allocating.
bool HolderStandsStill() {
    if (!gInside.load(std::memory_order_relaxed) || Now() - gBeat.load(std::memory_order_relaxed) <= StillNs)
        return false;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/stat", int(gHolder.load()));
    char stat[512];
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    const ssize_t n = fd >= 0 ? ::read(fd, stat, sizeof stat - 1) : -1;
    if (fd >= 0)
        ::close(fd);
    if (n <= 0)
        return false;
    stat[n] = '\0';
    const char* end = std::strrchr(stat, ')');
    return end != nullptr && end[1] == ' ' && end[2] != 'R';
}

} // namespace

// Every allocation waits while the holder is inside and stands still.
void* operator new(size_t size) {
    while (HolderStandsStill())
        std::this_thread::yield();
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}
// The nothrow form too (a stable sort's buffer), so that every plain delete frees what malloc gave.
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    while (HolderStandsStill())
        std::this_thread::yield();
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, size_t) noexcept {
    std::free(memory);
}

namespace {

std::string LogPath() {
    const char* log = std::getenv("VD_PARK_LOG");
    return log != nullptr ? log : "";
}

void StartLogOnly() {
    reporter::StartOstrelLog();
    reporter::TOstrelModuleOptionsEx* options = reporter::CurrentOptions();
    if (options == nullptr)
        ::_exit(3);
    options->SetLogFileLocation(LogPath());
    options->SetLogToFile(true);
    options->SetDialogFlags(0);
    options->SetMailSendMode(0);
    options->SetUploadMode(0);
    options->SetCallStackFlags(uint8_t(options->CallStackFlags() | 0x0C)); // every thread's stack
}

[[gnu::noinline]] void Fault() {
    volatile int* volatile target = reinterpret_cast<int*>(16);
    *target = 1;
}

TChildScenario faultBesideLockHolder("park-fault", [] {
    StartLogOnly();
    pthread_t holder; // through pthread_create, which the reporter follows
    const auto hold = [](void*) -> void* {
        HoldLock(std::chrono::milliseconds(3000));
        return nullptr;
    };
    if (pthread_create(&holder, nullptr, hold, nullptr) != 0)
        ::_exit(4);
    while (!gInside.load())
        std::this_thread::yield();
    Fault();
});

TChildScenario freezeInsideLock("park-freeze", [] {
    StartLogOnly();
    static std::mutex queueLock;
    static std::deque<std::function<void()>> queue;
    reporter::SetMainLoopPoster([](std::function<void()> call) {
        std::lock_guard guard(queueLock);
        queue.push_back(std::move(call));
        return true;
    });
    const auto pump = [] {
        std::deque<std::function<void()>> calls;
        {
            std::lock_guard guard(queueLock);
            calls.swap(queue);
        }
        for (auto& call : calls)
            call();
    };
    auto* options = reporter::CurrentOptions();
    options->SetFreezeSeconds(1);
    options->SetFreezeActive(true);
    for (const auto end = Clock::now() + std::chrono::milliseconds(300); Clock::now() < end;)
        pump();
    HoldLock(std::chrono::milliseconds(1600)); // frozen: one report
    // The main thread serves the report's calls until the log appears: a change in the log's folder
    // wakes it at once, else a call may be waiting (20 ms).
    const std::string log = LogPath();
    const int changes = ::inotify_init1(IN_CLOEXEC);
    const std::string folder = log.substr(0, log.rfind('/') + 1);
    if (changes < 0 || ::inotify_add_watch(changes, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO) < 0)
        ::_exit(4);
    struct stat info {};
    for (const auto end = Clock::now() + std::chrono::seconds(20); Clock::now() < end;) {
        pump();
        if (::stat(log.c_str(), &info) == 0 && info.st_size > 0)
            ::_exit(0);
        pollfd changed{changes, POLLIN, 0};
        if (::poll(&changed, 1, 20) == 1) {
            char events[4096];
            [[maybe_unused]] const ssize_t n = ::read(changes, events, sizeof events);
        }
    }
    ::_exit(2);
});

TEST(ParkingRules, AReportEndsWhenAParkedThreadHeldALockItsAllocationsNeed) {
    const struct {
        const char* Scenario;
        bool Signalled; // a fault ends its child by the signal, a freeze goes on
    } cases[] = {{"park-fault", true}, {"park-freeze", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Scenario);
        testtools::TTempDir folder;
        const std::string log = folder.File("park.olf");
        const TChildResult child = RunChild(c.Scenario, {"VD_PARK_LOG=" + log});
        SCOPED_TRACE(child.Output);
        if (c.Signalled) {
            EXPECT_TRUE(child.Signalled);
            EXPECT_EQ(SIGSEGV, child.Signal);
        } else {
            EXPECT_TRUE(child.Exited);
            EXPECT_EQ(0, child.ExitCode);
        }
        std::ifstream in(log, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        // One report: its header line starts the log and no second one follows.
        EXPECT_EQ(text.str().rfind("OstrelLog ", 0), 0u) << "no complete report in the log";
        EXPECT_EQ(text.str().find("\nOstrelLog "), std::string::npos);
    }
}

} // namespace
