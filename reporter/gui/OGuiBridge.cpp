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
};

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
            call->Started.release();
            call->Raised = !RunGuarded(call->Work);
            call->Work = nullptr; // what the work captured goes on the GUI thread, where it was used
            call->Finished.release();
        },
        Qt::QueuedConnection);
    if (!posted)
        return TGuiCallStatus::NoApplication;
    // A wait for the GUI thread, bounded until it takes the call up, then as long as its work (a dialog's
    // user) takes: a report waiting here is no report that stands still.
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
    call->Finished.acquire();
    return call->Raised ? TGuiCallStatus::Raised : TGuiCallStatus::Done;
}

} // namespace reporter
