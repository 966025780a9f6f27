#pragma once
// What the Modbus master remembers of its line between requests: which slaves may still have answers on
// their way after a failed attempt, how many and how late they come, since when the line must have been
// quiet before the next exchange with such a slave is trusted, and when a connect was last tried.
#include <algorithm>
#include <array>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <optional>

class TLineState {
public:
    using Clock = std::chrono::steady_clock;

    // An attempt to the slave went unanswered or drew a frame that was not its answer: answers out of
    // step may follow, so the line must be quiet from `at` on before the slave is trusted again.
    void Failed(std::uint8_t slave, Clock::time_point at);
    bool Recovering(std::uint8_t slave) const { return m_recovering.test(slave); }
    // An exchange with the slave ended cleanly after a quiet line: nothing of it is still on its way.
    void Settled(std::uint8_t slave);
    // The slave's last request went after a quiet line and drew nothing at all: a dead module, not a
    // late one (whose late answers are heard in the quiet wait). Its next request need not wait for a
    // quiet line unless bytes came meanwhile.
    void SetSilent(std::uint8_t slave, bool silent) { m_silent.set(slave, silent); }
    bool Silent(std::uint8_t slave) const { return m_silent.test(slave); }
    // Bytes nobody asked for arrived: quiet is counted from here for every slave still recovering.
    void Heard(Clock::time_point at) { m_lastStray = std::max(m_lastStray, at); }
    Clock::time_point LastHeard() const { return m_lastStray; }
    // The moment from which the line must have been quiet before the slave's next request.
    Clock::time_point QuietFrom(std::uint8_t slave) const;

    // A request went to the slave / a frame from it arrived. A slave answers in order, so the answers
    // still due are the requests sent less the frames heard, and the time from a request (or from the
    // answer before it) to its answer shows how late the slave is. Answers due are forgotten only by a
    // clean exchange or a new connection: a slave that seemed dead may still be working through them.
    void Sent(std::uint8_t slave, Clock::time_point at);
    void FrameFrom(std::uint8_t slave, Clock::time_point at);
    int Due(std::uint8_t slave) const { return m_due[slave]; }
    Clock::duration Lateness(std::uint8_t slave) const { return m_lateness[slave]; }

    // A new connection carries no answer of the old one.
    void Forget();
    // A connection asked for: nothing of the earlier ones counts.
    void Reset() {
        Forget();
        m_lastConnect.reset();
    }

    // True when a connect of a lost line may be tried now: at once after a connection that carried an
    // answer or was asked for, else at most one per `spacing`. Records the try.
    bool MayConnect(Clock::time_point now, Clock::duration spacing);
    // An answer came on the connection: the next connect, when it goes away, need not wait.
    void Answered() { m_lastConnect.reset(); }

private:
    std::bitset<256> m_recovering;
    std::bitset<256> m_silent;
    std::array<Clock::time_point, 256> m_quietFrom{};
    std::array<std::uint8_t, 256> m_due{};
    std::array<Clock::time_point, 256> m_dueSince{}; // the request (or answer) the next answer follows
    std::array<Clock::duration, 256> m_lateness{};
    Clock::time_point m_lastStray{};
    std::optional<Clock::time_point> m_lastConnect;
};
