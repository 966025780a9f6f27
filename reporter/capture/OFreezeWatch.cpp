#include "OFreezeWatch.h"

#include "OCallStack.h"
#include "OExternalExceptions.h"
#include "OInterception.h"
#include "OOptions.h"
#include "OProcessHandoff.h"
#include "OReportLock.h"
#include "OReporterState.h"
#include "OThreadPark.h"
#include "OThreadState.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>

namespace reporter {

namespace {

std::mutex gPosterLock;
TMainLoopPoster gPoster;

// Heartbeats: the serial last posted and the last one the main loop ran.
std::mutex gBeatLock;
std::condition_variable gBeatAnswered;
uint64_t gPosted = 0;
uint64_t gAnswered = 0;

std::mutex gWatchLock; // start and stop
std::mutex gStateLock;
std::condition_variable gWake;
bool gTerminate = false;
bool gRunning = false;
pthread_t gWatchdog;
std::atomic<pid_t> gWatchdogId{0};
std::atomic<int> gReports{0};

bool Terminated() {
    std::lock_guard guard(gStateLock);
    return gTerminate;
}

// Sleeps, waking early when asked to end; false when asked to end.
bool Pause(int milliseconds) {
    std::unique_lock guard(gStateLock);
    return !gWake.wait_for(guard, std::chrono::milliseconds(milliseconds), [] { return gTerminate; });
}

// The silence that makes a freeze; 0 when no time is set (a time of 0 or less would report a main
// loop that answers: the watchdog then only watches, it does not report).
int FreezeLimitMs() {
    const TOstrelModuleOptionsEx* options = CurrentOptions();
    const int seconds = options != nullptr ? options->FreezeSettings().Seconds : 60;
    return seconds > 0 ? std::min(seconds, 24 * 3600) * 1000 : 0;
}

void ReportFreeze() {
    // One report at a time: the lock is taken before the main thread is stopped, so that the main thread
    // never stands still while it holds it (it may be waiting for another thread's report). While a
    // report runs the main loop does not answer; it is asked again when the report has ended.
    std::unique_lock lock(ReportLock(), std::defer_lock);
    while (!lock.try_lock())
        if (!Pause(FreezePingMs))
            return;
    if (PingMainLoop(FreezePingMs) != TPingResult::Unanswered)
        return;
    TOstrelThreadState& self = CurrentThreadState();
    const pid_t main = MainThreadId();
    TThreadParker parker(1); // allocated before the main thread stands still
    GuardEnter(self.Frozen);
    const bool parked = parker.Park(main, MainStackTop());
    parker.ReleaseAll(); // the report's heavy work runs with the main thread going again
    GuardLeave(self.Frozen);
    TOstrelContext context;
    TThreadStackCopy copy;
    if (!parked || !parker.GetContext(main, context) || !parker.GetCopy(main, copy) || context.Rip == 0 ||
        context.Rsp == 0)
        return;
    const TOstrelModuleOptionsEx* options = CurrentOptions();
    // A copy taken under the options' lock: the program may change the text meanwhile.
    const EFrozenApplication frozen(options != nullptr ? options->FreezeSettings().Text : std::string());
    TProcessExceptionParams params;
    params.Object = &frozen;
    params.ObjectClass = &typeid(frozen);
    params.Address = context.Rip;
    params.Module = GetModuleHandle("");
    params.StackTop = MainStackTop();
    params.Frame = context.Rsp;
    params.Context = &context;
    params.ThreadId = main;
    params.FromWatchdog = true;
    params.StackCopy = &copy;
    params.FaultTime = std::time(nullptr);
    ++gReports;
    HandOffException(params);
}

void* WatchdogMain(void*) {
    gWatchdogId.store(CurrentThreadId());
    // Wait for a main window.
    while (!Terminated() && PingMainLoop(FreezePingMs) == TPingResult::NoWindow)
        Pause(FreezePingMs);
    while (!Terminated()) {
        int unanswered = 0;
        do {
            const TPingResult result = PingMainLoop(FreezePingMs);
            if (result == TPingResult::Unanswered) {
                unanswered += FreezePingMs;
            } else {
                for (int i = 0; i < 5 && Pause(FreezePingMs); ++i) {
                }
                unanswered = 0;
            }
            if (FreezeLimitMs() == 0)
                unanswered = 0; // no time set: nothing to count towards
        } while ((FreezeLimitMs() == 0 || unanswered < FreezeLimitMs()) && !Terminated());
        if (unanswered == FreezeLimitMs() && !Terminated()) {
            try {
                ReportFreeze();
            } catch (...) {
                // The watchdog keeps watching.
            }
        }
    }
    gWatchdogId.store(0);
    return nullptr;
}

} // namespace

void SetMainLoopPoster(TMainLoopPoster poster) {
    std::lock_guard guard(gPosterLock);
    gPoster = std::move(poster);
}

TPingResult PingMainLoop(int timeoutMs) {
    uint64_t waitFor;
    {
        // The poster is called under its lock, so that once SetMainLoopPoster has replaced it no call of
        // the old one is still under way (the main loop it posts to may be going away).
        std::lock_guard posterGuard(gPosterLock);
        if (!gPoster)
            return TPingResult::NoWindow;
        std::lock_guard guard(gBeatLock);
        waitFor = gPosted;
        if (gAnswered == gPosted) {
            waitFor = ++gPosted;
            const bool posted = gPoster([waitFor] {
                std::lock_guard beat(gBeatLock);
                gAnswered = std::max(gAnswered, waitFor);
                gBeatAnswered.notify_all();
            });
            if (!posted) {
                gAnswered = gPosted;
                return TPingResult::NoWindow;
            }
        }
    }
    std::unique_lock guard(gBeatLock);
    const bool answered = gBeatAnswered.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                                 [waitFor] { return gAnswered >= waitFor; });
    return answered ? TPingResult::Answered : TPingResult::Unanswered;
}

void StartFreezeThread() {
    std::lock_guard guard(gWatchLock);
    const TOstrelModuleOptionsEx* options = CurrentOptions();
    if (gRunning || !ReporterStarted() || options == nullptr || !options->ReporterActive() ||
        !options->FreezeWatch())
        return;
    if (LibraryMode() && (options->ProcessingFlags() & 0x10))
        return; // the main module watches
    {
        std::lock_guard state(gStateLock);
        gTerminate = false;
    }
    if (CreateOwnThread(gWatchdog, WatchdogMain, nullptr) == 0)
        gRunning = true;
}

void StopFreezeThread() {
    std::lock_guard guard(gWatchLock);
    if (!gRunning)
        return;
    {
        std::lock_guard state(gStateLock);
        gTerminate = true;
    }
    gWake.notify_all();
    if (pthread_equal(gWatchdog, pthread_self()))
        pthread_detach(gWatchdog); // a report of the watchdog itself switched it off
    else
        pthread_join(gWatchdog, nullptr);
    gRunning = false;
}

bool FreezeThreadRunning() {
    std::lock_guard guard(gWatchLock);
    return gRunning;
}

int FreezeReportCount() {
    return gReports.load();
}

} // namespace reporter
