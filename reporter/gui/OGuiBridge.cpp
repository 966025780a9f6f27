#include "reporter/gui/OGuiBridge.h"

#include "OReportProgress.h"
#include "OReporterState.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSemaphore>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <optional>
#include <pthread.h>
#include <time.h>

namespace reporter {

namespace {

enum TCallPhase : int { cpPending, cpRunning, cpCancelled };

// Shared by the caller and the posted call, so that a call taken up after the caller gave up finds
// its state and sees that it was cancelled.
struct TGuiCall {
    std::function<void()> Work;
    std::atomic<int> Phase{cpPending};
    QSemaphore Started;
    QSemaphore Finished;
    bool Raised = false;
    clockid_t GuiClock{}; // the GUI thread's processor-time clock, set before Started
    bool GuiClockKnown = false;
};

uint64_t ProcessorTime(const TGuiCall& call) {
    timespec used{};
    if (!call.GuiClockKnown || clock_gettime(call.GuiClock, &used) != 0)
        return 0;
    return uint64_t(used.tv_sec) * 1000000000u + uint64_t(used.tv_nsec);
}

// Waits for the work the GUI thread took up. Each look at a GUI thread that answered a posted call (it
// runs an event loop: a dialog waiting for its user) or used the processor meanwhile is progress; a GUI
// thread that does neither (it waits for a lock the faulting thread holds, or faulted itself) shows the
// waiting report none, so that one that stands still this way is still given up.
void AwaitWork(QCoreApplication* app, TGuiCall& call) {
    constexpr int LookMs = 250;
    auto answered = std::make_shared<std::atomic<bool>>(true);
    uint64_t used = ProcessorTime(call);
    while (!call.Finished.tryAcquire(1, LookMs)) {
        bool moved = false;
        if (answered->exchange(false)) {
            moved = true;
            if (!QMetaObject::invokeMethod(
                    app, [answered] { answered->store(true); }, Qt::QueuedConnection))
                answered->store(true);
        }
        if (const uint64_t now = ProcessorTime(call); now != used) {
            used = now;
            moved = true;
        }
        if (moved)
            NoteReportProgress();
    }
}

bool RunGuarded(const std::function<void()>& work) {
    try {
        work();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

bool IsGuiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

TGuiCallStatus RunOnGuiThread(std::function<void()> work, std::chrono::milliseconds startWait,
                              bool reportWaits) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QCoreApplication::closingDown())
        return TGuiCallStatus::NoApplication;
    if (QThread::currentThread() == app->thread())
        return RunGuarded(work) ? TGuiCallStatus::Done : TGuiCallStatus::Raised;
    // A GUI thread that stands still until a report ends cannot take the call up: no wait for it.
    if (const pid_t stopped = StoppedThreadId(); stopped != 0 && stopped == GuiThreadId()) {
        NoteGuiThreadSilent();
        return TGuiCallStatus::NotStarted;
    }

    auto call = std::make_shared<TGuiCall>();
    call->Work = std::move(work);
    const bool posted = QMetaObject::invokeMethod(
        app,
        [call] {
            int expected = cpPending;
            if (!call->Phase.compare_exchange_strong(expected, cpRunning))
                return;
            call->GuiClockKnown = pthread_getcpuclockid(pthread_self(), &call->GuiClock) == 0;
            call->Started.release();
            call->Raised = !RunGuarded(call->Work);
            call->Work = nullptr; // what the work captured goes on the GUI thread, where it was used
            call->Finished.release();
        },
        Qt::QueuedConnection);
    if (!posted)
        return TGuiCallStatus::NoApplication;
    // A wait for the GUI thread, bounded until it takes the call up: a report waiting here is no report
    // that stands still. Then as long as its work (a dialog's user) takes, while the GUI thread gets on.
    std::optional<TOutsideWait> outside;
    if (reportWaits)
        outside.emplace();
    if (!call->Started.tryAcquire(1, int(std::max<std::chrono::milliseconds::rep>(0, startWait.count())))) {
        int expected = cpPending;
        if (call->Phase.compare_exchange_strong(expected, cpCancelled)) {
            NoteGuiThreadSilent();
            return TGuiCallStatus::NotStarted;
        }
        // Taken up just as the wait ran out: it runs now, so it is waited for.
        call->Started.acquire();
    }
    if (reportWaits) {
        outside.reset();
        AwaitWork(app, *call);
    } else {
        call->Finished.acquire();
    }
    return call->Raised ? TGuiCallStatus::Raised : TGuiCallStatus::Done;
}

} // namespace reporter
