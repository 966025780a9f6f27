#include "comm/SlaveOrder.h"

namespace {
// Answers seen before a slave's pace is known well enough to call a reply early.
constexpr std::uint8_t kAnswersForPace = 4;
} // namespace

void TSlaveOrder::Trust(std::uint8_t slave) {
    m_doubtful.reset(slave);
}

void TSlaveOrder::FenceUnheard(std::uint8_t slave) {
    if (m_answersFences.test(slave) || m_fence[slave] != TFence::Echo)
        return;
    if (++m_unheardFences[slave] >= FencesBeforeQuiet)
        m_fence[slave] = TFence::Quiet;
}

void TSlaveOrder::Answered(std::uint8_t slave, Clock::duration took) {
    if (m_answers[slave] == 0 || took < m_fastest[slave])
        m_fastest[slave] = took;
    if (m_answers[slave] < kAnswersForPace)
        ++m_answers[slave];
}

bool TSlaveOrder::Early(std::uint8_t slave, Clock::duration took) const {
    // Half the fastest answer ever, and a whole millisecond sooner: the jitter of a fast line never
    // halves a slave's own turn-around by that much.
    return m_answers[slave] >= kAnswersForPace && 2 * took < m_fastest[slave] &&
           m_fastest[slave] - took > std::chrono::milliseconds(1);
}

void TSlaveOrder::Forget() {
    m_doubtful.reset();
    m_unheardFences.fill(0);
}

void TSlaveOrder::Reset() {
    Forget();
    m_answersFences.reset();
    m_fence.fill(TFence::Echo);
    m_answers.fill(0);
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
