#pragma once
// A module on a scripted line, its answers timed relative to the frame the master sent: what the master
// makes of a recovery is decided by the script, however busy the machine keeps the master. Answers come in
// order: each a turn after its request went or after the answer before it. An offset before the frame
// went is one the master's last look before its send missed. Holding register r holds 1000 + r.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <random>

#include "tests/commorder/FenceAnswer.h"
#include "tests/support/ModbusRtuFraming.h"
#include "tests/support/ModbusSlaveCore.h"
#include "tests/support/ScriptedLine.h"

// What the module does with one frame sent; by default it answers in its turn.
struct TScriptStep {
    using Duration = std::chrono::steady_clock::duration;
    bool Lose = false;                    // never reaches the module
    bool Withhold = false;                // answered only with a later step's Owed
    std::optional<Duration> Turn{};       // the module's time for this answer, instead of its usual one
    std::optional<Duration> Owed{};       // the answer withheld, this long after this frame went
    std::optional<Duration> OldRefusal{}; // a copy of a fence's refusal, this long after this frame went
    std::optional<Duration> OldAnswer{};  // a copy of the last answer to a read or write, this long
                                          // after this frame went
    std::optional<Duration> CopyAfter{};  // this answer again, this long after it
    bool CopyWith = false;                // this answer again, in one piece with it
    bool OtherAddressBefore = false;      // another slave's frame right before the answer
    bool OtherAddressAfter = false;       // another slave's frame right after the answer
    bool LastAnswerBefore = false;        // the last answer again, in one piece with this one
    int TrailingBytes = 0;                // stray bytes right after the answer
    std::optional<Duration> MasterKept{}; // the master kept from the processor this long right after
                                          // handing this frame to the line
};

class TScriptedModule final : public TScriptedLine {
public:
    // n counts every frame sent, fences included, from 0.
    using Script = std::function<TScriptStep(std::size_t n, const rtu::Frame& request)>;

    // Steps for the next frames sent, taken before the script is asked.
    std::deque<TScriptStep> Steps;
    // The module's usual time for an answer.
    Clock::duration Turn = std::chrono::milliseconds(12);

    explicit TScriptedModule(std::uint8_t address = 1);

    void SetScript(Script script) { m_script = std::move(script); }
    void SetFenceAnswer(TFenceAnswer answer) { m_fenceAnswer = answer; }
    // A frame of another slave every least to most (zero stops them), on the line's own time.
    void InterleaveOtherAddress(Clock::duration least, Clock::duration most);
    std::size_t Requests() const { return m_requests; }
    std::size_t Fences() const { return m_fences; }

    void Close() override;
    bool Send(const std::uint8_t* data, int count) override;
    int ReadUnasked(std::uint8_t* data, int max) override { return ReadWaiting(data, max); }

private:
    struct TSent {
        TScriptStep Step;
        rtu::Frame Answer;
        Clock::time_point At; // when it went
        bool Fence = false;
    };
    // Puts the answers to the frame sent last, and the other slave's traffic, on the line.
    void Schedule() override;

    std::uint8_t m_address;
    ModbusSlaveCore m_core;
    Script m_script;
    TFenceAnswer m_fenceAnswer = TFenceAnswer::Echo;
    std::optional<TSent> m_sent;
    Clock::time_point m_free{};
    rtu::Frame m_withheld;
    rtu::Frame m_lastAnswer;
    std::size_t m_requests = 0;
    std::size_t m_fences = 0;
    Clock::duration m_otherLeast{};
    Clock::duration m_otherMost{};
    Clock::time_point m_nextOther{};
    std::mt19937 m_random{7};
};
