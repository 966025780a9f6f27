#include "comm/LineState.h"

#include <algorithm>

namespace {
// Answers counted as due at most; a slave that drops requests does not pile up more.
constexpr std::uint8_t kMostDue = 32;
} // namespace

void TLineState::Failed(std::uint8_t slave, Clock::time_point at) {
    m_recovering.set(slave);
    m_quietFrom[slave] = std::max(m_quietFrom[slave], at);
}

void TLineState::Settled(std::uint8_t slave) {
    m_recovering.reset(slave);
    m_silent.reset(slave);
    m_due[slave] = 0;
    m_lateness[slave] = Clock::duration::zero();
}

TLineState::Clock::time_point TLineState::QuietFrom(std::uint8_t slave) const {
    return std::max(m_quietFrom[slave], m_lastStray);
}

void TLineState::Sent(std::uint8_t slave, Clock::time_point at) {
    if (m_due[slave] == 0)
        m_dueSince[slave] = at;
    if (m_due[slave] < kMostDue)
        ++m_due[slave];
}

void TLineState::FrameFrom(std::uint8_t slave, Clock::time_point at) {
    if (m_due[slave] == 0)
        return;
    m_lateness[slave] = std::max(m_lateness[slave], at - m_dueSince[slave]);
    m_dueSince[slave] = at;
    --m_due[slave];
}

void TLineState::Forget() {
    m_recovering.reset();
    m_silent.reset();
    m_due.fill(0);
    m_lateness.fill(Clock::duration::zero());
}

bool TLineState::MayConnect(Clock::time_point now, Clock::duration spacing) {
    if (m_lastConnect && now - *m_lastConnect < spacing)
        return false;
    m_lastConnect = now;
    return true;
}
