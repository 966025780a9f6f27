#pragma once
// TOutputWrites: the digital outputs as the module will have them once the live writes handed to the
// supervision have been carried out. The grid shows what the last poll read; a click builds its write
// (the mask of a register-word module, the value of a coil toggle) from these expected states instead,
// so that clicks faster than the poll never undo one another.
#include <deque>
#include <utility>
#include <vector>

struct TCommunicationTask;

class TOutputWrites {
public:
    // Output index and the state a write gives it.
    using TStates = std::vector<std::pair<int, int>>;

    // The state output i will have: the one the latest unconfirmed write gives it, else the one shown.
    int Expected(int output, int shownState) const;
    // A write task handed to the supervision, setting these outputs.
    void Queued(const TCommunicationTask* task, TStates states);
    // The write was sent: a good one waits for a poll to confirm it, a failed one is forgotten.
    void Sent(const TCommunicationTask* task, bool ok);
    // A poll of outputs first .. first + count - 1 was shown: the writes sent before it over those
    // outputs are confirmed and forgotten.
    void Polled(int first, int count);
    void Clear() { m_writes.clear(); }
    bool Empty() const { return m_writes.empty(); }

private:
    struct TWrite {
        const TCommunicationTask* Task;
        bool Sent;
        TStates States;
    };
    std::deque<TWrite> m_writes; // in the order they were queued, which is the order they are sent
};
