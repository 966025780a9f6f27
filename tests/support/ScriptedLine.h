#pragma once
// A line whose every arrival time the test sets: the master reads each piece put on it with the time it
// was given, as it reads a socket's arrival times, so what it makes of the traffic is decided by the test,
// however busy the machine keeps it. A new connection carries nothing of the old one.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "comm/ModbusTransport.h"

class TScriptedLine : public TModbusTransport {
public:
    using Clock = std::chrono::steady_clock;

    // A new connection owes nothing.
    bool Open(int) override {
        Close();
        return true;
    }
    void Close() override { m_due.clear(); }
    void Discard() override {}
    int ReadWaiting(std::uint8_t* data, int max) override {
        Schedule();
        if (m_due.empty() || m_due.begin()->first > Clock::now() || max <= 0)
            return 0;
        // One piece at a time, as it came: each with its own arrival time.
        std::vector<std::uint8_t>& piece = m_due.begin()->second;
        const int n = std::min(max, int(piece.size()));
        std::copy_n(piece.begin(), n, data);
        m_arrival = m_due.begin()->first;
        piece.erase(piece.begin(), piece.begin() + n);
        if (piece.empty())
            m_due.erase(m_due.begin());
        return n;
    }
    std::optional<Clock::time_point> LastArrival() const override { return m_arrival; }
    platform::TWaitResult WaitForData(int timeoutMs) override {
        Schedule();
        // The line's own time passing: the next arrival, or the end of the wait.
        Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        if (!m_due.empty())
            until = std::min(until, m_due.begin()->first);
        std::this_thread::sleep_until(until);
        return !m_due.empty() && m_due.begin()->first <= Clock::now() ? platform::TWaitResult::Ready
                                                                      : platform::TWaitResult::TimedOut;
    }
    bool CarriesOldAnswers() const override { return false; }

protected:
    // Puts bytes on the line, to arrive at `at`.
    void Put(Clock::time_point at, std::vector<std::uint8_t> piece) { m_due.emplace(at, std::move(piece)); }
    // Called before every look at the line: the place to put what the script holds back until then.
    virtual void Schedule() {}

private:
    std::multimap<Clock::time_point, std::vector<std::uint8_t>> m_due;
    std::optional<Clock::time_point> m_arrival;
};
