#include "comm/LineState.h"

#include <algorithm>

void TLineState::Failed(std::uint8_t slave, Clock::time_point at) {
    m_recovering.set(slave);
    m_quietFrom[slave] = std::max(m_quietFrom[slave], at);
}

TLineState::Clock::time_point TLineState::QuietFrom(std::uint8_t slave) const {
    return std::max(m_quietFrom[slave], m_lastStray);
}

void TLineState::Forget() {
    m_recovering.reset();
    m_silent.reset();
}

bool TLineState::MayConnect(Clock::time_point now, Clock::duration spacing) {
    if (m_lastConnect && now - *m_lastConnect < spacing)
        return false;
    m_lastConnect = now;
    return true;
}
