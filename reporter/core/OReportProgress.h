#pragma once
// How the running report gets on, readable from a signal handler: a thread that faulted waits in its
// handler for the report, and gives up only when the report does nothing at all for a while (it then
// waits for a lock the faulting thread holds, and would wait for ever). Progress is what the report does
// (a thread parked, a frame walked, a byte sent or received, a step begun); a wait for someone else (the
// GUI thread, the dialog helper, a peer, the user, the program's own event handler) is no standstill.
#include <atomic>
#include <cstdint>

namespace reporter {

// The number of the step the running report is at (0 when none runs); the sequence writes it. A plain
// variable: initialised before any code runs, whatever the order of the program's initialisers.
inline std::atomic<int> ReportStepWord{0};
// Counts every piece of work any report or sending thread did; only its changes matter.
inline std::atomic<uint32_t> ReportProgressWord{0};

inline void NoteReportProgress() {
    ReportProgressWord.fetch_add(1, std::memory_order_relaxed);
}

// While the report waits for someone else's work, standing still is no sign of a hang. Each such wait
// has a bound of its own, or waits for the user or the program.
void EnterOutsideWait();
void LeaveOutsideWait();
bool InOutsideWait();

class TOutsideWait {
public:
    TOutsideWait() { EnterOutsideWait(); }
    ~TOutsideWait() { LeaveOutsideWait(); }
    TOutsideWait(const TOutsideWait&) = delete;
    TOutsideWait& operator=(const TOutsideWait&) = delete;
};

// The program's own code run for the report (its event handlers) is waited for as others are, but only
// for a while: a handler that waits for a lock the faulting thread holds would be waited for for ever.
// Past the bound the report stands still unless it does something.
void EnterProgramWait();
void LeaveProgramWait();

class TProgramWait {
public:
    TProgramWait() { EnterProgramWait(); }
    ~TProgramWait() { LeaveProgramWait(); }
    TProgramWait(const TProgramWait&) = delete;
    TProgramWait& operator=(const TProgramWait&) = delete;
};

// How long the program's code is waited for (the default outside tests: one minute).
int64_t ProgramWaitLimitMs();
// Test hook: a shorter bound, so that tests of both its sides stay short.
void SetProgramWaitLimitMs(int64_t limitMs);

// The GUI thread did not take a call up within its bound: the report goes on without what the call would
// have given, and says so where that would have stood.
void NoteGuiThreadSilent();
// Whether that happened since the last call; forgets it.
bool TakeGuiThreadSilent();
constexpr const char* GuiThreadSilentText = "(the GUI thread did not answer)";

// Tells a report that makes no progress (and waits for nobody) for the given time; no allocation and no
// lock, so that a signal handler may use it.
class TStallWatch {
public:
    explicit TStallWatch(int64_t limitMs);
    // True once the report stood still for the limit; call it at least every few hundred milliseconds.
    bool Stalled();

private:
    int64_t m_limitMs;
    uint32_t m_seen;
    int64_t m_since;
};

// The time a report may stand still before its faulting thread gives it up (the default outside tests).
int64_t ReportStallLimitMs();
// Test hook: a shorter bound, so that a test of the bound itself does not take the default time.
void SetReportStallLimitMs(int64_t limitMs);

} // namespace reporter
