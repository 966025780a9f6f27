#pragma once
// A slave that answers in order on 127.0.0.1 (a port the kernel picks), as a gateway or a queueing
// module does: it takes one request, answers it when its script says, and only then takes the next.
// The script can stall, lose, duplicate an answer or let bytes trail it; frames of another address can
// be put on the line between the answers. Holding register r holds 1000 + r.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/commorder/FenceAnswer.h"
#include "tests/support/ModbusRtuFraming.h"
#include "tests/support/ModbusSlaveCore.h"

struct TPeerAction {
    int DelayMs = 2;                    // before the answer
    bool Lose = false;                  // no answer at all
    int DuplicateAfterMs = -1;          // the same answer again this long after it
    bool DuplicateBetweenReads = false; // the same answer again once the reader lets it go (SendCopies)
    int TrailingBytes = 0;              // stray bytes right after the answer
    bool OtherAddressAfter = false;     // another slave's frame right after the answer
    bool OtherAddressBefore = false;    // another slave's frame right before the answer
    bool LastAnswerBefore = false;      // the answer before again, in the same write as this one (a copy
                                        // that waited until a master busy elsewhere read both at once)
    int EarlierAnswerAfterMs = -1;      // the answer sent before this one again, this long after it
};

// Another slave's answer to someone else's read: a whole frame with a good CRC.
rtu::Frame OtherAddressFrame(std::uint8_t address);

class InOrderPeer {
public:
    // n counts every request the peer took, fences included, from 0.
    using Script = std::function<TPeerAction(std::size_t n, const rtu::Frame& request)>;

    explicit InOrderPeer(std::uint8_t address = 1);
    ~InOrderPeer();
    InOrderPeer(const InOrderPeer&) = delete;
    InOrderPeer& operator=(const InOrderPeer&) = delete;

    std::uint16_t Port() const { return m_port; }
    void SetScript(Script script);
    void SetFenceAnswer(TFenceAnswer answer);
    // A frame of another slave address every minMs to maxMs (0 stops them).
    void InterleaveOtherAddress(int minMs, int maxMs);

    std::size_t Requests() const { return m_requests; }
    std::size_t Fences() const { return m_fences; }
    // Waits until at least n requests have arrived; false after timeoutMs.
    bool WaitForRequests(std::size_t n, int timeoutMs) const;
    // Lets every copy held for the reader go and waits until they are on the line; false after timeoutMs.
    // Called between two reads, it puts them on their way after the one read ended and before the next
    // went, however long a busy machine keeps this peer from sending.
    bool SendCopies(int timeoutMs);

private:
    void Run();
    void Take(const rtu::Frame& request);
    bool Send(const rtu::Frame& bytes);

    std::uint8_t m_address;
    std::uint16_t m_port = 0;
    int m_listener = -1;
    int m_connection = -1;
    int m_wake[2] = {-1, -1};
    int m_letCopiesGo[2] = {-1, -1};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    ModbusSlaveCore m_core;
    Script m_script;
    TFenceAnswer m_fenceAnswer = TFenceAnswer::Echo;
    int m_otherMinMs = 0;
    int m_otherMaxMs = 0;
    std::vector<rtu::Frame> m_heldCopies; // under m_mutex
    std::size_t m_copiesDue = 0;          // let go, not yet on the line; under m_mutex
    std::atomic<std::size_t> m_requests{0};
    std::atomic<std::size_t> m_fences{0};
    std::thread m_thread;
};
