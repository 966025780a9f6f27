#pragma once
// TModbusSerialTCPMaster: the program's one Modbus RTU master. It sends single requests of functions
// 1 to 6 with retries on a serial line, or the very same RTU frames (CRC included, no other header)
// over a TCP connection, keeps the last request and reply as hexadecimal text for the traffic log and
// reports every failure as an error code with a fixed, untranslated text; a request never raises.
// It has no lock: one worker thread at a time uses it.
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "classlib/Component.h"
#include "comm/ClientSocket.h"
#include "comm/ModbusBuffer.h"
#include "comm/ModbusCrc.h"
#include "comm/ModbusResultArrays.h"
#include "comm/SerialComm.h"

class TModbusTransport;
class TSlaveOrder;
namespace platform {
class TWakeEvent;
}

// The longest Timeout the master waits, in ms. Every wait derived from it is counted in 64 bits, so any
// positive 32-bit value is waited as given; a larger one cannot be held.
inline constexpr std::int32_t MaxTimeoutMs = std::numeric_limits<std::int32_t>::max();

// What the master's traffic has cost since it was made: frames sent (fences included), fences, waits
// that ran their whole time without the frame they waited for, waits for a quiet line, connects.
struct TBusCounts {
    std::uint64_t Sent = 0;
    std::uint64_t Fences = 0;
    std::uint64_t Expired = 0;
    std::uint64_t QuietWaits = 0;
    std::uint64_t Connects = 0;
};

class TModbusSerialTCPMaster : public TComponent {
    Q_OBJECT

public:
    explicit TModbusSerialTCPMaster(TComponent* owner = nullptr);
    ~TModbusSerialTCPMaster() override;

    // How long a receive waits for the first byte of a reply, in ms.
    std::int32_t Timeout = 1000;
    // Further attempts after a failed one.
    std::int32_t Retries = 2;
    // The configuration writer's wait after each successful write, in ms.
    std::int32_t Pause = 1;
    // The silence that ends a reply, in ms; computed at the start of every receive.
    std::int32_t FrameGap = 0;
    // One of the codes of comm/ModbusErrors.h.
    std::int32_t LastError = 0;
    std::int32_t ExceptionCode = 0;
    // 0 serial, 1 TCP.
    std::uint8_t ConnectionType = 0;
    QString TxText;
    QString RxText;
    bool Connected = false;
    TBuffer TxBuffer;
    TBuffer RxBuffer;
    TSerialComm* SerialPort = nullptr; // owned
    TClientSocket* Socket = nullptr;   // owned
    TBuffer DataBuffer;
    TCoilArray Coils{64};
    TRegisterArray Registers{64};

    bool Connect();
    void Disconnect();

    bool ReadCoils(int slave, int address, int quantity);
    bool ReadDiscreteInputs(int slave, int address, int quantity);
    bool ReadHoldingRegisters(int slave, int address, int quantity);
    bool ReadInputRegisters(int slave, int address, int quantity);
    // A coil is switched on with $FF00 and off with $0000.
    bool WriteSingleCoil(int slave, int address, int value);
    bool WriteSingleRegister(int slave, int address, int value);

    // Puts another line in place of the serial one; the fuzz target feeds replies from memory through it.
    void SetSerialTransport(std::unique_ptr<TModbusTransport> line);

    // Ends the request in flight and fails every later one at once (error 11), from any thread, until
    // the next Connect. What the slave still owes makes it doubtful.
    void Abort();
    // Whether the line went away and a connect of it waits for its turn.
    bool LineLost() const { return m_lineLost; }
    // Sleeps until a lost line may be connected again (at once when it is not lost); false when aborted.
    bool WaitForConnectTurn();
    // The slave's answers are known to be in step: nothing it owes can be taken for a later reply.
    bool InStep(int slave) const;
    const TBusCounts& Counts() const { return m_counts; }

    QString ErrorText() const;
    QString ExceptionText() const;
    // Three and a half 11-bit characters plus 60 ms, rounded to the nearest ms (halves to even).
    static std::int32_t FrameGapTime(std::int32_t baudRate);

private:
    // Late: a frame that arrived after the deadline, read whole.
    enum class TReceive { Frame, Late, Silent, Gone, Cancelled };
    enum class TFenceResult { InStep, Unanswered, Gone, Cancelled };

    TModbusTransport& Transport() const;
    bool Request(int slave, int function, int address, int value, bool isRead);
    bool ReadRequest(int slave, int function, int address, int quantity);
    bool WriteRequest(int slave, int function, int address, int value);
    void BuildRequest(int slave, int function, int address, int value);
    bool Attempt(int slave, int function, bool isRead);
    // replyLength: the length of the normal answer to the request sent, which bounds each read;
    // deadline: the latest its first byte may arrive.
    TReceive ReceiveFrame(int replyLength, std::chrono::steady_clock::time_point deadline);
    bool CheckResponse(const TBuffer& reply, int slave, int function);
    bool IsAnswerToRequest(std::span<const std::uint8_t> reply) const;
    // Reads what arrived unasked before a send: each whole frame makes its slave doubtful.
    void DropUnasked();
    // Notes every whole frame that came behind the reply; true when one is of slave.
    bool FramesAfterReply(std::uint8_t slave);
    // Sends the slave a fence and drops every frame until the fence's own answer; `dropped` tells
    // whether a frame of the slave came before it.
    TFenceResult SendFence(std::uint8_t slave, bool& dropped);
    // Closes the line and connects it again, on a line whose new connection owes nothing: every slave
    // is in step then. Gone when the connect cannot be made (yet).
    TFenceResult ConnectAfresh();
    // SendFence, with the frames of the exchange being decided on kept for the log.
    TFenceResult FenceKeepingFrames(std::uint8_t slave, bool& dropped);
    // For a slave that cannot be fenced: drops what comes until the line has been quiet for a whole
    // Timeout. Whether it fell quiet; `heard` tells whether a frame of the slave came meanwhile.
    bool WaitQuiet(std::uint8_t slave, bool& heard);
    void NoteFrame(std::span<const std::uint8_t> frame);
    bool Fail(std::int32_t error);
    std::int64_t TimeoutMs() const;
    int WakeDescriptor() const;
    bool Aborted() const;
    // A line found gone is closed and marked for connecting again before the next attempt.
    void DropLostLine();
    // Connects a line that was found gone; false (error 6) when it cannot be made yet.
    bool ReopenLostLine();
    std::chrono::steady_clock::duration ConnectSpacing() const;

    std::unique_ptr<TModbusTransport> m_serialLine;
    std::unique_ptr<TModbusTransport> m_tcpLine;
    // The line was lost (not closed by Disconnect): the next attempt connects again.
    bool m_lineLost = false;
    std::unique_ptr<TSlaveOrder> m_order;
    std::unique_ptr<platform::TWakeEvent> m_wake;
    std::atomic<bool> m_aborted{false};
    TBusCounts m_counts;
    // Bytes that came behind the last frame received, and whether they held a whole frame of the slave
    // asked.
    std::vector<std::uint8_t> m_afterReply;
    bool m_secondAnswer = false;
    // When the first bytes of the last frame received arrived.
    std::chrono::steady_clock::time_point m_firstByteAt{};
    // The clock just before and just after the last request was handed to the line.
    std::chrono::steady_clock::time_point m_sentBefore{};
    std::chrono::steady_clock::time_point m_sentAfter{};
};
