#pragma once
// One report's sending has a bound of its own beside each operation's time-out: a peer that answers
// late, never, or a byte at a time cannot keep a faulting program for longer. The clock starts with the
// report's first connection; past the bound every wait of the sending ends, and the send fails as a
// failed send does. Kept per thread: the sending of one report runs on one thread.
#include <chrono>
#include <cstdint>

namespace reporter {

// One report's sending, from start to end (nested scopes share the outer one's clock).
class TSendBudgetScope {
public:
    TSendBudgetScope();
    ~TSendBudgetScope();
    TSendBudgetScope(const TSendBudgetScope&) = delete;
    TSendBudgetScope& operator=(const TSendBudgetScope&) = delete;

private:
    bool m_outer;
};

// While the sending waits for its user or the program (a box, an event of the program's), its clock
// stands: that time is nobody's on the line.
class TSendClockPause {
public:
    TSendClockPause();
    ~TSendClockPause();
    TSendClockPause(const TSendClockPause&) = delete;
    TSendClockPause& operator=(const TSendClockPause&) = delete;

private:
    bool m_outer;
    int64_t m_since;
};

// A connection begins: the first one of the report starts the clock.
void StartSendClock();
// Milliseconds left, at most capMs (the operation's own time-out); capMs when the clock has not started
// or no report is being sent; 0 when the bound has passed.
int64_t SendTimeLeftMs(int64_t capMs);
bool SendTimeUsedUp();

// The bound: two minutes for one report.
std::chrono::milliseconds SendTimeLimit();
// Test hook: a shorter bound, so that tests of both its sides stay short.
void SetSendTimeLimit(std::chrono::milliseconds limit);

constexpr const char* SendTimeLimitText = "The report could not be sent within its time limit.";

} // namespace reporter
