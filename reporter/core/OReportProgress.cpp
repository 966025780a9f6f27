#include "OReportProgress.h"

#include <ctime>

namespace reporter {

namespace {

std::atomic<int> gOutsideWaits{0};
std::atomic<bool> gGuiThreadSilent{false};
constexpr int64_t DefaultStallLimitMs = 5000;
std::atomic<int64_t> gStallLimitMs{DefaultStallLimitMs};
constexpr int64_t DefaultProgramWaitLimitMs = 60000;
std::atomic<int64_t> gProgramWaitLimitMs{DefaultProgramWaitLimitMs};
// The program's code the report waits for: how deep, and since when the outermost call runs.
std::atomic<int> gProgramWaits{0};
std::atomic<int64_t> gProgramWaitSince{0};

int64_t MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now); // safe in a signal handler
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

void EnterOutsideWait() {
    gOutsideWaits.fetch_add(1);
}

void LeaveOutsideWait() {
    gOutsideWaits.fetch_sub(1);
}

bool InOutsideWait() {
    return gOutsideWaits.load() > 0;
}

void EnterProgramWait() {
    if (gProgramWaits.fetch_add(1) == 0)
        gProgramWaitSince.store(MonotonicMs());
    NoteReportProgress(); // a watch that looked between the two stores still sees the report move
}

void LeaveProgramWait() {
    gProgramWaits.fetch_sub(1);
}

namespace {

bool InProgramWaitWithinBound(int64_t at) {
    return gProgramWaits.load() > 0 && at - gProgramWaitSince.load() < gProgramWaitLimitMs.load();
}

} // namespace

int64_t ProgramWaitLimitMs() {
    return gProgramWaitLimitMs.load();
}

void SetProgramWaitLimitMs(int64_t limitMs) {
    gProgramWaitLimitMs.store(limitMs > 0 ? limitMs : DefaultProgramWaitLimitMs);
}

void NoteGuiThreadSilent() {
    gGuiThreadSilent.store(true);
}

bool TakeGuiThreadSilent() {
    return gGuiThreadSilent.exchange(false);
}

TStallWatch::TStallWatch(int64_t limitMs)
    : m_limitMs(limitMs), m_seen(ReportProgressWord.load()), m_since(MonotonicMs()) {}

bool TStallWatch::Stalled() {
    const uint32_t now = ReportProgressWord.load();
    const int64_t at = MonotonicMs();
    if (now != m_seen || InOutsideWait() || InProgramWaitWithinBound(at)) {
        m_seen = now;
        m_since = at;
        return false;
    }
    return at - m_since >= m_limitMs;
}

int64_t ReportStallLimitMs() {
    return gStallLimitMs.load();
}

void SetReportStallLimitMs(int64_t limitMs) {
    gStallLimitMs.store(limitMs > 0 ? limitMs : DefaultStallLimitMs);
}

} // namespace reporter
