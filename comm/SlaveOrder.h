#pragma once
// What the Modbus master knows of each slave's answers between requests. A slave that answers in order
// is in step until a sign of disorder (an attempt unanswered, a frame of it that is not the answer, a
// frame of it nobody asked for, a reply sooner than it has ever answered); from then on it is doubtful,
// and its next reply is trusted only after a fence: a request with an answer of its own that the slave
// sends after everything it still owed.
#include <array>
#include <bitset>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>

class TSlaveOrder {
public:
    using Clock = std::chrono::steady_clock;

    // How a slave's answers are brought back in step.
    enum class TFence : std::uint8_t {
        Echo,      // diagnostics "return query data": the echo of the fence's own token
        Exception, // the slave answers that request with an exception: the exception marks the fence
        Quiet,     // the slave never answers it: a whole Timeout of quiet before and after a reply
    };

    bool Doubtful(std::uint8_t slave) const { return m_doubtful.test(slave); }
    void Doubt(std::uint8_t slave) { m_doubtful.set(slave); }
    // Everything the slave owed has been delivered.
    void Trust(std::uint8_t slave);

    TFence Fence(std::uint8_t slave) const { return m_fence[slave]; }
    void SetFence(std::uint8_t slave, TFence fence) { m_fence[slave] = fence; }
    // A token no fence of this connection carried recently.
    std::uint16_t NextToken() { return ++m_token; }
    // A fence went unanswered while nothing at all was heard of the slave. After enough such fences in a
    // row from a slave that never answered one, it is taken for a module that ignores the request.
    void FenceUnheard(std::uint8_t slave);
    // Something of the slave was heard: its silence is a stall, not a deaf module.
    void Heard(std::uint8_t slave) { m_unheardFences[slave] = 0; }
    // The slave answered a fence (any token): it is no module that ignores the request.
    void FenceAnswered(std::uint8_t slave) {
        m_answersFences.set(slave);
        m_unheardFences[slave] = 0;
    }

    // A fence went to the slave: true when no other is still waiting for its refusal.
    bool FenceSent(std::uint8_t slave);
    enum class TMark : std::uint8_t { Counted, Closed, Ignored };
    // A refusal of a fence came; `early`: sooner than the slave has ever refused one, after the fence
    // that went last. Closed when every fence sent has now been refused. An early refusal never closes
    // the count (Ignored): it was on its way before that fence went (a copy, or the refusal of a fence
    // the count took as refused already), and that fence's own is still to come.
    TMark MarkReceived(std::uint8_t slave, bool early);
    // A fence wait ran out having seen exactly one refusal and nothing else of the slave (`one`), or not.
    // True after a few such waits in a row: a fence was lost, or the slave is that far behind, and no
    // refusal tells which; the count of fences out starts again.
    bool MarksSteady(std::uint8_t slave, bool one);

    // A trusted answer of `length` bytes came this long after its request went: the slave's pace for
    // answers of that length (a gateway that forwards whole frames hands on a short one sooner).
    void Answered(std::uint8_t slave, std::size_t length, Clock::duration took);
    // A reply of `length` bytes this soon after the request is sooner than the slave has ever answered
    // with as many bytes: it was on its way before the request went.
    bool Early(std::uint8_t slave, std::size_t length, Clock::duration took) const;

    // The line was opened again; what is known of each module stays. A new connection carries no
    // answer of the old one; a line that carries old answers (`keepDoubt`) leaves a doubtful slave
    // doubtful.
    void Forget(bool keepDoubt);
    // A connection asked for: nothing of the earlier ones counts but, with `keepDoubt`, which slaves
    // may still send old answers.
    void Reset(bool keepDoubt);

    // True when a connect of a lost line may be tried now: at once after a connection that carried an
    // answer or was asked for, else at most one per `spacing`. Records the try.
    bool MayConnect(Clock::time_point now, Clock::duration spacing);
    // When the next connect may be tried (now when it may at once).
    Clock::time_point NextConnect(Clock::duration spacing) const;
    // An answer came on the connection: the next connect, when it goes away, need not wait.
    void LineAnswered() { m_lastConnect.reset(); }

    // Unheard fences in a row after which a slave that never answered one gets the quiet wait: more than
    // a module that answers in order stays silent through its longest stalls.
    static constexpr int FencesBeforeQuiet = 20;

private:
    std::bitset<256> m_doubtful;
    std::bitset<256> m_answersFences;
    std::array<TFence, 256> m_fence{};
    std::array<std::uint8_t, 256> m_unheardFences{};
    std::array<std::uint16_t, 256> m_fencesOut{};
    std::array<std::uint8_t, 256> m_steadyMarks{};
    struct TPace {
        Clock::duration Fastest{};
        std::uint8_t Answers = 0;
    };
    // By slave and answer length.
    std::unordered_map<std::uint32_t, TPace> m_pace;
    std::uint16_t m_token = 0;
    std::optional<Clock::time_point> m_lastConnect;
};
