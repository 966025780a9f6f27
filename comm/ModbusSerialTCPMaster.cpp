#include "comm/ModbusSerialTCPMaster.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

#include "comm/ModbusTransport.h"

namespace {

enum : std::int32_t {
    ErrorNone = 0,
    ErrorTimeout = 1,
    ErrorSendFrame = 2,
    ErrorCrc = 3,
    ErrorException = 4,
    ErrorSlaveId = 5,
    ErrorConnection = 6,
    ErrorShortReply = 7,
};

constexpr int kConnectionTcp = 1;
constexpr int kRequestLength = 8;
// A read reply's data are taken into an area of this size before unpacking.
constexpr std::size_t kDataAreaSize = 64;

using Clock = std::chrono::steady_clock;

std::int64_t MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int ClampWait(std::int64_t ms) {
    return int(std::clamp<std::int64_t>(ms, 0, 1 << 30));
}

bool IsKnownFunction(int function) {
    switch (function) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 15:
    case 16:
        return true;
    default:
        return false;
    }
}

} // namespace

TModbusSerialTCPMaster::TModbusSerialTCPMaster(TComponent* owner)
    : TComponent(owner), SerialPort(new TSerialComm(this)), Socket(new TClientSocket(this)),
      m_serialLine(std::make_unique<TModbusSerialTransport>(*SerialPort)),
      m_tcpLine(std::make_unique<TModbusTcpTransport>(*Socket)) {
    // Same address text as the settings file's TCP default.
    Socket->Host = QStringLiteral("192.168.000.000");
    Socket->Port = 9001;
    Socket->ClientType = ctBlocking;
}

// The lines are members, freed before the port and the socket they refer to (owned components, freed
// by the base destructor, which close what is still open).
TModbusSerialTCPMaster::~TModbusSerialTCPMaster() = default;

TModbusTransport& TModbusSerialTCPMaster::Transport() const {
    return ConnectionType == kConnectionTcp ? *m_tcpLine : *m_serialLine;
}

bool TModbusSerialTCPMaster::Connect() {
    LastError = ErrorNone;
    Connected = Transport().Open(Timeout);
    if (!Connected)
        LastError = ErrorConnection;
    return Connected;
}

void TModbusSerialTCPMaster::Disconnect() {
    // Both lines: the connection type may have changed since Connect.
    m_serialLine->Close();
    m_tcpLine->Close();
    Connected = false;
}

std::int32_t TModbusSerialTCPMaster::FrameGapTime(std::int32_t baudRate) {
    // No character time can be computed without a rate; keep the fixed margin alone.
    if (baudRate <= 0)
        return 60;
    return std::int32_t(std::nearbyint(1.0 / baudRate * 11 * 3.5 * 1000 + 60));
}

void TModbusSerialTCPMaster::BuildRequest(int slave, int function, int address, int value) {
    TxBuffer.Clear();
    TxBuffer.Add(std::uint8_t(slave));
    TxBuffer.Add(std::uint8_t(function));
    TxBuffer.Add(std::uint8_t(address >> 8));
    TxBuffer.Add(std::uint8_t(address));
    TxBuffer.Add(std::uint8_t(value >> 8));
    TxBuffer.Add(std::uint8_t(value));
    std::array<std::uint8_t, kRequestLength> frame{};
    TxBuffer.GetBytes(frame);
    const std::uint16_t crc = ModbusCrc16(std::span(frame).first(6));
    TxBuffer.Add(std::uint8_t(crc & 0xFF));
    TxBuffer.Add(std::uint8_t(crc >> 8));
}

bool TModbusSerialTCPMaster::ReceiveFrame() {
    FrameGap = FrameGapTime(SerialPort->BaudRate);
    RxBuffer.Clear();
    TModbusTransport& line = Transport();

    // The first byte: sleep on the descriptor until something arrives or the timeout has passed.
    const Clock::time_point start = Clock::now();
    int waiting = line.BytesWaiting();
    while (waiting <= 0) {
        const std::int64_t elapsed = MillisecondsSince(start);
        if (elapsed >= Timeout)
            return false;
        const platform::TWaitResult wait = line.WaitForData(ClampWait(Timeout - elapsed));
        waiting = line.BytesWaiting();
        // A peer that hung up sends nothing more: no reply.
        if (waiting <= 0 && (wait == platform::TWaitResult::Closed || wait == platform::TWaitResult::Ready))
            return false;
    }

    int expected = 0;
    bool exception = false;
    Clock::time_point lastByte = Clock::now();
    for (;;) {
        if (waiting > 0) {
            std::uint8_t value = 0;
            if (!line.ReadByte(value))
                return RxBuffer.Count() > 0;
            RxBuffer.Add(value);
            const int count = RxBuffer.Count();
            if (count == 1) {
                if (value == 0 || value >= 250)
                    return true;
            } else if (count == 2) {
                const int function = value & 0x7F;
                if (!IsKnownFunction(function))
                    return true;
                exception = (value & 0x80) != 0;
                if (exception)
                    expected = 5;
                else if (function <= 4)
                    expected = -1; // set by the byte count
                else
                    expected = 8;
            } else if (count == 3) {
                if (expected == -1)
                    expected = (value + 5) % 256;
            } else if (count >= expected) {
                return true;
            }
            // Nothing longer than the buffer can be a frame; a line that never falls silent ends here.
            if (count >= TBuffer::Capacity)
                return true;
            lastByte = Clock::now();
        }
        waiting = line.BytesWaiting();
        if (waiting > 0)
            continue;
        const std::int64_t silent = MillisecondsSince(lastByte);
        if (silent >= FrameGap)
            return true;
        const platform::TWaitResult wait = line.WaitForData(ClampWait(FrameGap - silent));
        waiting = line.BytesWaiting();
        if (waiting <= 0 && (wait == platform::TWaitResult::Closed || wait == platform::TWaitResult::Ready))
            return true;
    }
}

bool TModbusSerialTCPMaster::CheckResponse(const TBuffer& reply, int slave, int function) {
    const int count = reply.Count();
    if (count < 4) {
        LastError = ErrorShortReply;
        return false;
    }
    std::array<std::uint8_t, TBuffer::Capacity> bytes{};
    reply.GetBytes(bytes);
    const std::uint16_t crc = ModbusCrc16(std::span(bytes).first(std::size_t(count - 2)));
    if (bytes[std::size_t(count - 2)] != (crc & 0xFF) || bytes[std::size_t(count - 1)] != (crc >> 8)) {
        LastError = ErrorCrc;
        return false;
    }
    if (bytes[0] != std::uint8_t(slave)) {
        LastError = ErrorSlaveId;
        return false;
    }
    if (bytes[1] == std::uint8_t(function + 0x80)) {
        LastError = ErrorException;
        ExceptionCode = bytes[2];
        return false;
    }
    return true;
}

bool TModbusSerialTCPMaster::Attempt(int slave, int function, bool isRead) {
    LastError = ErrorNone;
    ExceptionCode = 0;
    RxText.clear();
    TxText = TxBuffer.ToHex(HexSeparator);

    std::array<std::uint8_t, kRequestLength> frame{};
    TxBuffer.GetBytes(frame);
    if (!Transport().Send(frame.data(), TxBuffer.Count())) {
        LastError = ErrorSendFrame;
        return false;
    }
    if (!ReceiveFrame()) {
        RxText = RxBuffer.ToHex(HexSeparator);
        LastError = ErrorTimeout;
        return false;
    }
    RxText = RxBuffer.ToHex(HexSeparator);
    if (!CheckResponse(RxBuffer, slave, function))
        return false;
    if (isRead) {
        // Slave, function, byte count and CRC removed; a reply too short to carry data gives none.
        DataBuffer.Clear();
        DataBuffer.CopyFrom(RxBuffer, 3, std::max(RxBuffer.Count() - 5, 0), 0);
    }
    return true;
}

bool TModbusSerialTCPMaster::Request(int slave, int function, int address, int value, bool isRead) {
    BuildRequest(slave, function, address, value);
    int attempts = 0;
    bool ok = false;
    do {
        ok = Attempt(slave, function, isRead);
        ++attempts;
    } while (!ok && attempts < Retries + 1);
    return ok;
}

bool TModbusSerialTCPMaster::ReadRequest(int slave, int function, int address, int quantity) {
    if (!Request(slave, function, address, quantity, true))
        return false;
    // Data bytes the reply did not carry read as 0; more than the area holds are not taken.
    std::array<std::uint8_t, kDataAreaSize> area{};
    DataBuffer.GetBytes(area);
    if (function <= 2)
        Coils.Unpack(area, quantity);
    else
        Registers.Unpack(area, quantity);
    return true;
}

bool TModbusSerialTCPMaster::WriteRequest(int slave, int function, int address, int value) {
    return Request(slave, function, address, value, false);
}

bool TModbusSerialTCPMaster::ReadCoils(int slave, int address, int quantity) {
    return ReadRequest(slave, 1, address, quantity);
}

bool TModbusSerialTCPMaster::ReadDiscreteInputs(int slave, int address, int quantity) {
    return ReadRequest(slave, 2, address, quantity);
}

bool TModbusSerialTCPMaster::ReadHoldingRegisters(int slave, int address, int quantity) {
    return ReadRequest(slave, 3, address, quantity);
}

bool TModbusSerialTCPMaster::ReadInputRegisters(int slave, int address, int quantity) {
    return ReadRequest(slave, 4, address, quantity);
}

bool TModbusSerialTCPMaster::WriteSingleCoil(int slave, int address, int value) {
    return WriteRequest(slave, 5, address, value);
}

bool TModbusSerialTCPMaster::WriteSingleRegister(int slave, int address, int value) {
    return WriteRequest(slave, 6, address, value);
}

QString TModbusSerialTCPMaster::ErrorText() const {
    switch (LastError) {
    case ErrorTimeout:
        return QStringLiteral("ERROR TIMEOUT");
    case ErrorSendFrame:
        return QStringLiteral("ERROR SEND FRAME");
    case ErrorCrc:
        return QStringLiteral("ERROR CRC");
    case ErrorException:
        return QStringLiteral("ERROR EXCEPTION:") + ExceptionText();
    case ErrorSlaveId:
        return QStringLiteral("ERROR SLAVE ID");
    case ErrorConnection:
        return QStringLiteral("ERROR CONNECTION");
    default:
        return QString();
    }
}

QString TModbusSerialTCPMaster::ExceptionText() const {
    switch (ExceptionCode) {
    case 1:
        return QStringLiteral("ILLEGAL FUNCTION");
    case 2:
        return QStringLiteral("ILLEGAL DATA ADDRESS");
    case 3:
        return QStringLiteral("ILLEGAL DATA VALUE");
    case 4:
        return QStringLiteral("SLAVE DEVICE FAILURE");
    case 5:
        return QStringLiteral("ACKNOWLEDGE");
    case 6:
        return QStringLiteral("SLAVE DEVICE BUSY");
    case 7:
        return QStringLiteral("NEGATIVE ACKNOWLEDGE");
    case 8:
        return QStringLiteral("MEMORY PARITY ERROR");
    default:
        return QString();
    }
}
