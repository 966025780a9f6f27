#include "OSendBudget.h"

#include <algorithm>
#include <atomic>

namespace reporter {

namespace {

constexpr std::chrono::milliseconds DefaultLimit = std::chrono::minutes(2);
std::atomic<int64_t> gLimitMs{DefaultLimit.count()};

struct TBudget {
    int Depth = 0;
    int64_t StartMs = -1; // -1: no connection yet
    int Paused = 0;       // nested pauses: the outer one moves the clock
};
thread_local TBudget tBudget;

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TSendBudgetScope::TSendBudgetScope() : m_outer(tBudget.Depth == 0) {
    if (m_outer)
        tBudget.StartMs = -1;
    ++tBudget.Depth;
}

TSendBudgetScope::~TSendBudgetScope() {
    --tBudget.Depth;
    if (m_outer)
        tBudget.StartMs = -1;
}

TSendClockPause::TSendClockPause() : m_outer(tBudget.Paused++ == 0), m_since(NowMs()) {}

TSendClockPause::~TSendClockPause() {
    --tBudget.Paused;
    if (m_outer && tBudget.Depth > 0 && tBudget.StartMs >= 0) {
        const int64_t now = NowMs();
        tBudget.StartMs += now - std::max(m_since, tBudget.StartMs);
    }
}

void StartSendClock() {
    if (tBudget.Depth > 0 && tBudget.StartMs < 0)
        tBudget.StartMs = NowMs();
}

int64_t SendTimeLeftMs(int64_t capMs) {
    if (tBudget.Depth == 0 || tBudget.StartMs < 0)
        return capMs;
    const int64_t left = tBudget.StartMs + gLimitMs.load() - NowMs();
    return std::clamp<int64_t>(left, 0, capMs);
}

bool SendTimeUsedUp() {
    return tBudget.Depth > 0 && tBudget.StartMs >= 0 && NowMs() - tBudget.StartMs >= gLimitMs.load();
}

std::chrono::milliseconds SendTimeLimit() {
    return std::chrono::milliseconds(gLimitMs.load());
}

void SetSendTimeLimit(std::chrono::milliseconds limit) {
    gLimitMs.store(limit.count() > 0 ? limit.count() : DefaultLimit.count());
}

} // namespace reporter
