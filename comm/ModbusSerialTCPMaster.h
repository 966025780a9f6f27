#pragma once
// TModbusSerialTCPMaster: the program's one Modbus RTU master. It sends single requests of functions
// 1 to 6 with retries on a serial line, or the very same RTU frames (CRC included, no other header)
// over a TCP connection, keeps the last request and reply as hexadecimal text for the traffic log and
// reports every failure as an error code with a fixed, untranslated text; a request never raises.
// It has no lock: one worker thread at a time uses it.
#include <QString>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>

#include "classlib/Component.h"
#include "comm/ClientSocket.h"
#include "comm/ModbusBuffer.h"
#include "comm/ModbusCrc.h"
#include "comm/ModbusResultArrays.h"
#include "comm/SerialComm.h"

class TModbusTransport;
class TLineState;

// The longest Timeout the master waits, in ms. Every wait derived from it is counted in 64 bits, so any
// positive 32-bit value is waited as given; a larger one cannot be held.
inline constexpr std::int32_t MaxTimeoutMs = std::numeric_limits<std::int32_t>::max();

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

    QString ErrorText() const;
    QString ExceptionText() const;
    // Three and a half 11-bit characters plus 60 ms, rounded to the nearest ms (halves to even).
    static std::int32_t FrameGapTime(std::int32_t baudRate);

private:
    TModbusTransport& Transport() const;
    bool Request(int slave, int function, int address, int value, bool isRead);
    bool ReadRequest(int slave, int function, int address, int quantity);
    bool WriteRequest(int slave, int function, int address, int value);
    void BuildRequest(int slave, int function, int address, int value);
    bool Attempt(int slave, int function, bool isRead);
    // replyLength: the length of the normal answer to the request sent, which bounds each read;
    // firstByteMs: how long to wait for its first byte.
    bool ReceiveFrame(int replyLength, std::int64_t firstByteMs);
    bool CheckResponse(const TBuffer& reply, int slave, int function);
    bool IsAnswerToRequest(std::span<const std::uint8_t> reply) const;
    struct TQuiet {
        bool Settled = false; // the line was silent for a whole Timeout
        bool Foreign = false; // bytes arrived meanwhile (and were dropped) that were not copies of `reply`
    };
    // Drops what arrives until the line has been silent for a whole Timeout (longer while answers of a
    // late slave are still due), counted from `fromMs` (a steady-clock time in ms) or from the last byte
    // heard; gives up after a few such spans of chatter.
    TQuiet WaitQuiet(std::int64_t fromMs, std::uint8_t slave, std::span<const std::uint8_t> reply = {});
    // A request that fails unsent or unchecked because the line would not fall quiet.
    bool FailOutOfStep();
    std::int64_t TimeoutMs() const;
    // A line found gone is closed and marked for connecting again before the next attempt.
    void DropLostLine();
    // Connects a line that was found gone; false (error 6) when it cannot be made yet.
    bool ReopenLostLine();

    std::unique_ptr<TModbusTransport> m_serialLine;
    std::unique_ptr<TModbusTransport> m_tcpLine;
    // The line was lost (not closed by Disconnect): the next attempt connects again.
    bool m_lineLost = false;
    std::unique_ptr<TLineState> m_line;
};
