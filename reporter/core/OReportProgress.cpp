#include "OReportProgress.h"

#include <ctime>

namespace reporter {

namespace {

std::atomic<int> gOutsideWaits{0};
std::atomic<bool> gGuiThreadSilent{false};
constexpr int64_t DefaultStallLimitMs = 5000;
std::atomic<int64_t> gStallLimitMs{DefaultStallLimitMs};

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
    if (now != m_seen || InOutsideWait()) {
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
