#pragma once
// The freeze watchdog: a thread of the reporter pings the main thread's event loop and, when it has not
// answered for the options' FreezeSeconds, copies the main thread's registers and stack (parking it for
// that moment only) and reports the pseudo-exception EFrozenApplication with the options' FreezeText.
// The core knows no toolkit: the GUI installs the way into its main loop.
#include <functional>

namespace reporter {

// Posts the call to the main thread's event loop; false when there is no main window (nothing to watch).
using TMainLoopPoster = std::function<bool(std::function<void()> call)>;
void SetMainLoopPoster(TMainLoopPoster poster);

enum class TPingResult { Answered, NoWindow, Unanswered };
// Waits at most timeoutMs for the main loop to run the heartbeat posted to it; while an earlier heartbeat
// is still unanswered no new one is posted.
TPingResult PingMainLoop(int timeoutMs);

// The interval of a ping and of the pauses between pings.
inline constexpr int FreezePingMs = 50;

// Starts the watchdog when the current options ask for it (ReporterActive and FreezeWatch) and none runs.
void StartFreezeThread();
// Stops and joins the watchdog (from the watchdog itself it is only asked to end).
void StopFreezeThread();
bool FreezeThreadRunning();
// Reports found by the watchdog since the start of the run.
int FreezeReportCount();

} // namespace reporter
