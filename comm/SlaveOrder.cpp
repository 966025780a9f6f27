#include "comm/SlaveOrder.h"

#include <algorithm>

namespace {
// Refusals in a row, one per fence wait, that show a lost fence.
constexpr std::uint8_t kSteadyMarks = 3;
// Answers seen before a slave's pace is known well enough to call a reply early.
constexpr std::uint8_t kAnswersForPace = 4;
} // namespace

void TSlaveOrder::Trust(std::uint8_t slave) {
    m_doubtful.reset(slave);
    m_fencesOut[slave] = 0;
    m_steadyMarks[slave] = 0;
}

bool TSlaveOrder::FenceSent(std::uint8_t slave) {
    if (m_fencesOut[slave] < 0xFFFF)
        ++m_fencesOut[slave];
    return m_fencesOut[slave] == 1;
}

TSlaveOrder::TMark TSlaveOrder::MarkReceived(std::uint8_t slave, bool early) {
    m_answersFences.set(slave);
    m_unheardFences[slave] = 0;
    if (early && m_fencesOut[slave] <= 1)
        return TMark::Ignored;
    if (m_fencesOut[slave] > 0)
        --m_fencesOut[slave];
    return m_fencesOut[slave] == 0 ? TMark::Closed : TMark::Counted;
}

bool TSlaveOrder::MarksSteady(std::uint8_t slave, bool one) {
    m_steadyMarks[slave] = one ? std::uint8_t(m_steadyMarks[slave] + 1) : 0;
    if (m_steadyMarks[slave] < kSteadyMarks)
        return false;
    m_fencesOut[slave] = 0;
    return true;
}

void TSlaveOrder::FenceUnheard(std::uint8_t slave) {
    if (m_answersFences.test(slave) || m_fence[slave] != TFence::Echo)
        return;
    if (++m_unheardFences[slave] >= FencesBeforeQuiet)
        m_fence[slave] = TFence::Quiet;
}

namespace {
std::uint32_t PaceKey(std::uint8_t slave, std::size_t length) {
    return std::uint32_t(slave) << 16 | std::uint32_t(std::min<std::size_t>(length, 0xFFFF));
}
} // namespace

void TSlaveOrder::Answered(std::uint8_t slave, std::size_t length, Clock::duration took) {
    TPace& pace = m_pace[PaceKey(slave, length)];
    if (pace.Answers == 0 || took < pace.Fastest)
        pace.Fastest = took;
    if (pace.Answers < kAnswersForPace)
        ++pace.Answers;
}

bool TSlaveOrder::Early(std::uint8_t slave, std::size_t length, Clock::duration took) const {
    const auto found = m_pace.find(PaceKey(slave, length));
    if (found == m_pace.end())
        return false;
    const TPace& pace = found->second;
    // A quarter and a whole millisecond sooner than the fastest answer ever: the jitter of a line never
    // shortens a slave's own turn-around by that much. (The fence that checks such a reply costs one
    // round trip, never the read.)
    return pace.Answers >= kAnswersForPace && 4 * took < 3 * pace.Fastest &&
           pace.Fastest - took > std::chrono::milliseconds(1);
}

void TSlaveOrder::Forget(bool keepDoubt) {
    if (!keepDoubt)
        m_doubtful.reset();
    m_unheardFences.fill(0);
    m_fencesOut.fill(0);
    m_steadyMarks.fill(0);
}

void TSlaveOrder::Reset(bool keepDoubt) {
    Forget(keepDoubt);
    m_answersFences.reset();
    m_fence.fill(TFence::Echo);
    m_pace.clear();
    m_lastConnect.reset();
}

bool TSlaveOrder::MayConnect(Clock::time_point now, Clock::duration spacing) {
    if (m_lastConnect && now - *m_lastConnect < spacing)
        return false;
    m_lastConnect = now;
    return true;
}

TSlaveOrder::Clock::time_point TSlaveOrder::NextConnect(Clock::duration spacing) const {
    return m_lastConnect ? *m_lastConnect + spacing : Clock::time_point::min();
}
