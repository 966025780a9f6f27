#pragma once
// A Modbus RTU slave for tests, on TCP (127.0.0.1, a port the kernel picks) or on a pseudo-terminal
// pair, answering functions 1 to 6 from its own thread. It records every request it received and can be
// told to misbehave.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ModbusRtuFraming.h"
#include "tests/support/ModbusSlaveCore.h"

enum class SlaveFault {
    None,
    Silent,         // no answer
    Late,           // the answer after DelayMs
    BadCrc,         // the answer with its last byte inverted
    OtherAddress,   // the answer from slave address + 1 (good CRC)
    Exception,      // an exception reply with ExceptionCode
    TooShort,       // the first three bytes of the answer
    LeadingNoise,   // Noise, then the answer
    InPieces,       // the answer in pieces of PieceSize bytes with PieceGapMs between them
    DropConnection, // TCP: the connection is closed without an answer; pseudo-terminal: no answer
    Raw,            // RawReply exactly as given
};

struct SlaveBehaviour {
    SlaveFault Fault = SlaveFault::None;
    int DelayMs = 0;
    std::uint8_t ExceptionCode = 2;
    rtu::Frame Noise{0x55};
    int PieceSize = 1;
    int PieceGapMs = 0;
    rtu::Frame RawReply;
    // How many requests the behaviour applies to before the slave answers normally again; -1 for all.
    int Times = -1;
};

class ModbusTestSlave {
public:
    enum class Link { Tcp, Pty };

    // Answers a request frame (CRC already checked); an empty frame means no answer.
    using Responder = std::function<rtu::Frame(std::span<const std::uint8_t> request)>;

    // Starts serving at once; throws std::runtime_error when the link cannot be set up. A TCP port of 0
    // lets the kernel pick one.
    explicit ModbusTestSlave(Link link, std::uint8_t address = 1, std::uint16_t tcpPort = 0);
    ~ModbusTestSlave();
    ModbusTestSlave(const ModbusTestSlave&) = delete;
    ModbusTestSlave& operator=(const ModbusTestSlave&) = delete;

    Link LinkKind() const { return m_link; }
    std::uint16_t Port() const { return m_port; }
    // The pseudo-terminal's device path, for the master's port name.
    std::string DevicePath() const { return m_devicePath; }

    // Spoils the answers to the requests of functions 1 to 6; a diagnostics request is always answered.
    void SetBehaviour(const SlaveBehaviour& behaviour);
    // Answers with responder instead of the data tables (for peers with a register map of their own).
    void SetResponder(Responder responder);
    // Holds each answer back by delayMs(n) ms, n counting the requests from 0 at this call; the slave
    // reads the next request only after answering, as a gateway or a queueing module does, so its
    // answers stay in order. An empty function answers at once again.
    using DelayPlan = std::function<int(std::size_t n)>;
    void SetDelays(DelayPlan delayMs);
    // Runs f on the slave's data tables under the slave's lock.
    template <class F> auto WithCore(F&& f) {
        std::lock_guard lock(m_mutex);
        return f(m_core);
    }
    std::vector<rtu::Frame> Requests() const;
    std::size_t RequestCount() const;
    // Waits until at least n requests have arrived; false after timeoutMs.
    bool WaitForRequests(std::size_t n, int timeoutMs) const;
    // Writes bytes to the master unasked; pseudo-terminal only.
    bool SendUnasked(std::span<const std::uint8_t> bytes);
    // How many answers left timeoutMs or more after their request reached the slave (the kernel's time
    // of arrival on TCP; for a request that queued behind another, the end of that one's answer): the
    // stalls the master met, whether the delays held the answer back or a busy machine did.
    std::size_t AnswersLate(int timeoutMs) const;

private:
    using Time = std::chrono::system_clock::time_point; // the kernel stamps arrivals on this clock
    struct TServed {
        int PlannedMs = 0;               // what the delays and the behaviour held the answer back
        std::chrono::nanoseconds Took{}; // from arrival, or from the slave being free again, to the end
        bool Answered = false;
    };
    void Setup(std::uint16_t tcpPort);
    void CloseAll();
    void Run();
    // Answers the request and records how long that took.
    void Handle(const rtu::Frame& request, Time arrival);
    // Answers; plannedMs is what the plan held the answer back, answered whether anything was sent.
    void Answer(const rtu::Frame& request, int& plannedMs, bool& answered);
    // Reads what came on the data descriptor, with the kernel's time of arrival where it tells it.
    ssize_t Receive(int fd, std::uint8_t* buffer, std::size_t size, Time& arrival) const;
    bool SendAll(std::span<const std::uint8_t> bytes);
    // Sleeps ms unless the slave is being stopped; false when it is.
    bool Pause(int ms) const;
    void DropConnection();
    int DataDescriptor() const;

    Link m_link;
    std::uint16_t m_port = 0;
    std::string m_devicePath;
    int m_listener = -1;
    int m_connection = -1;
    int m_ptyMaster = -1;
    int m_ptyHeld = -1; // a slave-side descriptor kept open so the pair survives the master's closes
    int m_wake[2] = {-1, -1};

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    ModbusSlaveCore m_core;
    Responder m_responder;
    DelayPlan m_delays;
    std::size_t m_delayed = 0; // requests counted since SetDelays
    SlaveBehaviour m_behaviour;
    std::vector<rtu::Frame> m_requests;
    std::vector<TServed> m_served;
    Time m_free{}; // when the serving thread last finished an answer (its own)
    std::thread m_thread;
};
