#pragma once
// How far the running report has got, readable from a signal handler: a thread that faulted waits in its
// handler for the report, and gives up when the report stands still where it never waits for anybody
// (it then waits for a lock the faulting thread holds, and would wait for ever).
#include <atomic>
#include <cstdint>

namespace reporter {

// The number of the step the running report is at (0 when none runs); the sequence writes it. A plain
// variable: initialised before any code runs, whatever the order of the program's initialisers.
inline std::atomic<int> ReportStepWord{0};
// While the report waits for someone else's work (an event handler of the program, a dialog, a peer),
// standing still is no sign of a hang.
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

// The steps at which the report waits for the user or a peer: the presentation (11 to 14), sending (16,
// 17) and the restart (18).
bool StepWaitsOutside(int step);

} // namespace reporter
