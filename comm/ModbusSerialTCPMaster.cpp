#include "comm/ModbusSerialTCPMaster.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

#include "comm/LineState.h"
#include "comm/ModbusErrors.h"
#include "comm/ModbusTransport.h"

namespace {

using namespace modbus;

constexpr int kConnectionTcp = 1;
constexpr int kRequestLength = 8;
// A read reply's data are taken into an area of this size before unpacking.
constexpr std::size_t kDataAreaSize = 64;
// What one read may ask for: the result arrays hold 64 entries, the data area 32 registers.
constexpr int kMostCoils = 64;
constexpr int kMostRegisters = 32;

// A quiet wait that keeps hearing bytes gives up after this many Timeouts.
constexpr std::int64_t kQuietRounds = 4;
// Connects to a line that went away are at least this far apart, however short the Timeout.
constexpr std::chrono::milliseconds kLeastConnectSpacing{100};

using Clock = TLineState::Clock;

std::int64_t MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::int64_t SteadyMs(Clock::time_point at) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
}

Clock::time_point FromSteadyMs(std::int64_t ms) {
    return Clock::time_point(std::chrono::milliseconds(ms));
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

// Data bytes of the normal reply to a read: one bit per coil or input, two bytes per register.
int ReplyDataBytes(int function, int quantity) {
    return function <= 2 ? (quantity + 7) / 8 : 2 * quantity;
}

// Length of the frame at the head of the bytes received, as far as its first three bytes tell; 0 while
// they do not tell yet. A first byte that is no slave address or an unknown function ends it at once.
int FrameLength(std::span<const std::uint8_t> bytes) {
    if (bytes.empty())
        return 0;
    if (bytes[0] == 0 || bytes[0] >= 250)
        return 1;
    if (bytes.size() < 2)
        return 0;
    const int function = bytes[1] & 0x7F;
    if (!IsKnownFunction(function))
        return 2;
    if (bytes[1] & 0x80)
        return 5;
    if (function > 4)
        return 8;
    if (bytes.size() < 3)
        return 0;
    // A byte count from 251 on wraps: such a frame ends with its fourth byte.
    return std::max(4, (bytes[2] + 5) % 256);
}

} // namespace

TModbusSerialTCPMaster::TModbusSerialTCPMaster(TComponent* owner)
    : TComponent(owner), SerialPort(new TSerialComm(this)), Socket(new TClientSocket(this)),
      m_serialLine(std::make_unique<TModbusSerialTransport>(*SerialPort)),
      m_tcpLine(std::make_unique<TModbusTcpTransport>(*Socket)), m_line(std::make_unique<TLineState>()) {
    // Same address text as the settings file's TCP default.
    Socket->Host = QStringLiteral("192.168.000.000");
    Socket->Port = 9001;
    Socket->ClientType = ctBlocking;
}

// The lines are members, freed before the port and the socket they refer to (owned components, freed
// by the base destructor, which close what is still open).
TModbusSerialTCPMaster::~TModbusSerialTCPMaster() = default;

void TModbusSerialTCPMaster::SetSerialTransport(std::unique_ptr<TModbusTransport> line) {
    m_serialLine->Close();
    m_serialLine = std::move(line);
}

TModbusTransport& TModbusSerialTCPMaster::Transport() const {
    return ConnectionType == kConnectionTcp ? *m_tcpLine : *m_serialLine;
}

std::int64_t TModbusSerialTCPMaster::TimeoutMs() const {
    return std::max<std::int64_t>(Timeout, 0);
}

bool TModbusSerialTCPMaster::Connect() {
    LastError = ErrorNone;
    m_lineLost = false;
    m_line->Reset();
    Connected = Transport().Open(ClampWait(TimeoutMs()));
    if (!Connected)
        LastError = ErrorConnection;
    return Connected;
}

void TModbusSerialTCPMaster::Disconnect() {
    // Both lines: the connection type may have changed since Connect.
    m_serialLine->Close();
    m_tcpLine->Close();
    Connected = false;
    m_lineLost = false;
}

void TModbusSerialTCPMaster::DropLostLine() {
    if (!Transport().Gone())
        return;
    Transport().Close();
    Connected = false;
    m_lineLost = true;
}

bool TModbusSerialTCPMaster::ReopenLostLine() {
    if (!m_lineLost)
        return true;
    // At most one connect per Timeout: a line that stays away is not hammered by every request, which
    // fails at once meanwhile.
    const auto spacing =
        std::max<Clock::duration>(std::chrono::milliseconds(TimeoutMs()), kLeastConnectSpacing);
    if (!m_line->MayConnect(Clock::now(), spacing)) {
        LastError = ErrorConnection;
        return false;
    }
    // Bounded by the timeout like the first connect, so a slave that is still away costs one window.
    m_line->Forget();
    if (!Transport().Open(ClampWait(TimeoutMs()))) {
        Transport().Close();
        LastError = ErrorConnection;
        return false;
    }
    Connected = true;
    m_lineLost = false;
    return true;
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

bool TModbusSerialTCPMaster::ReceiveFrame(int replyLength, std::int64_t firstByteMs) {
    FrameGap = FrameGapTime(SerialPort->BaudRate);
    RxBuffer.Clear();
    TModbusTransport& line = Transport();
    std::array<std::uint8_t, TBuffer::Capacity> bytes{};
    int count = 0;

    // The first bytes: sleep on the descriptor until something arrives or the timeout has passed, then
    // take what is waiting, no more than the answer to this request can hold.
    const Clock::time_point start = Clock::now();
    while (count == 0) {
        const std::int64_t elapsed = MillisecondsSince(start);
        if (elapsed >= firstByteMs)
            return false;
        const platform::TWaitResult wait = line.WaitForData(ClampWait(firstByteMs - elapsed));
        if (wait == platform::TWaitResult::Closed)
            return false;
        if (wait == platform::TWaitResult::Ready) {
            count = line.ReadWaiting(bytes.data(), std::min(replyLength, TBuffer::Capacity));
            // Readable with nothing to read: the line hung up.
            if (count <= 0)
                return false;
        }
    }

    Clock::time_point lastByte = Clock::now();
    for (;;) {
        const int length = FrameLength(std::span(bytes).first(std::size_t(count)));
        if (length > 0 && count >= length) {
            // Whatever came after the frame is no part of it and is dropped.
            count = length;
            break;
        }
        // Nothing longer than the buffer can be a frame; a line that never falls silent ends here.
        if (count >= TBuffer::Capacity)
            break;
        const std::int64_t silent = MillisecondsSince(lastByte);
        if (silent >= FrameGap)
            break;
        if (line.WaitForData(ClampWait(FrameGap - silent)) != platform::TWaitResult::Ready)
            break;
        const int limit = length > 0 ? length : std::max(replyLength, count + 1);
        const int n = line.ReadWaiting(bytes.data() + count, std::min(limit, TBuffer::Capacity) - count);
        if (n <= 0)
            break;
        count += n;
        lastByte = Clock::now();
    }
    for (int i = 0; i < count; ++i)
        RxBuffer.Add(bytes[std::size_t(i)]);
    return true;
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
        // Four bytes with a good CRC carry no code: what would be read as one is the CRC's low byte.
        if (count < 5) {
            LastError = ErrorResponse;
            return false;
        }
        LastError = ErrorException;
        ExceptionCode = bytes[2];
        return false;
    }
    if (!IsAnswerToRequest(std::span(bytes).first(std::size_t(count)))) {
        LastError = ErrorResponse;
        return false;
    }
    return true;
}

// A good frame from the right slave is still no answer unless it is the answer to this request: the
// same function, for a read exactly the data the quantity needs, for a write the request echoed.
bool TModbusSerialTCPMaster::IsAnswerToRequest(std::span<const std::uint8_t> reply) const {
    std::array<std::uint8_t, kRequestLength> request{};
    TxBuffer.GetBytes(request);
    if (reply[1] != request[1])
        return false;
    if (request[1] >= 5)
        return std::equal(reply.begin(), reply.end(), request.begin(), request.end());
    const int dataBytes = ReplyDataBytes(request[1], request[4] * 256 + request[5]);
    return reply[2] == dataBytes && int(reply.size()) == dataBytes + 5;
}

bool TModbusSerialTCPMaster::Attempt(int slave, int function, bool isRead) {
    LastError = ErrorNone;
    ExceptionCode = 0;
    RxText.clear();
    TxText = TxBuffer.ToHex(HexSeparator);

    std::array<std::uint8_t, kRequestLength> frame{};
    TxBuffer.GetBytes(frame);
    if (!ReopenLostLine())
        return false;
    // A late answer to an earlier request, or bytes that trailed a frame, must not be taken for this one.
    Transport().Discard();
    // A connection the peer closed while the line was idle is found here and made again at once.
    DropLostLine();
    if (!ReopenLostLine())
        return false;
    if (!Transport().Send(frame.data(), TxBuffer.Count())) {
        LastError = ErrorSendFrame;
        DropLostLine();
        return false;
    }
    m_line->Sent(std::uint8_t(slave), Clock::now());
    const int quantity = frame[4] * 256 + frame[5];
    const int replyLength = isRead ? ReplyDataBytes(function, quantity) + 5 : kRequestLength;
    if (!ReceiveFrame(replyLength, TimeoutMs())) {
        RxText = RxBuffer.ToHex(HexSeparator);
        LastError = Transport().Gone() ? ErrorConnection : ErrorTimeout;
        DropLostLine();
        return false;
    }
    RxText = RxBuffer.ToHex(HexSeparator);
    m_line->Answered();
    m_line->FrameFrom(RxBuffer.GetByte(0), Clock::now());
    if (!CheckResponse(RxBuffer, slave, function))
        return false;
    if (isRead) {
        // Slave, function, byte count and CRC removed.
        DataBuffer.Clear();
        DataBuffer.CopyFrom(RxBuffer, 3, RxBuffer.Count() - 5, 0);
    }
    return true;
}

// A read reply carries no address: after an attempt went unanswered, its answer may still come and be
// taken for a later request's, and a slave that answers in order then stays one answer behind. So once
// a slave has failed an attempt, a new request to it waits until the line has been quiet for a whole
// Timeout (its late answers are in by then, and dropped), and a reply from it counts only when the line
// stays quiet for a Timeout after it: another frame there, other than a copy of the reply, means the
// replies were out of step. While the slave still owes answers, both waits last as long as the slave
// has shown itself to be late. The first such clean exchange ends the wariness. A module that answers in time
// costs nothing more, a retry after no answer goes at once (any answer to the same request is right), and a
// request to another slave does not wait (a stray answer carries the other address and is refused).
bool TModbusSerialTCPMaster::Request(int slave, int function, int address, int value, bool isRead) {
    BuildRequest(slave, function, address, value);
    const std::uint8_t id = std::uint8_t(slave);
    // Nothing at all was heard since the line was last known quiet: a slave that stays so is silent.
    bool heardNothing = false;
    if (m_line->Recovering(id)) {
        // A silent slave's request waits only when bytes came meanwhile.
        const Clock::time_point from = m_line->Silent(id) ? m_line->LastHeard() : m_line->QuietFrom(id);
        const TQuiet before = WaitQuiet(SteadyMs(from), id);
        if (!before.Settled)
            return FailOutOfStep();
        heardNothing = !before.Foreign;
        m_line->SetSilent(id, false);
    }
    // 64 bits: Retries may be as large as its type holds.
    const std::int64_t attempts = std::int64_t(std::max(Retries, 0)) + 1;
    // An attempt of this request went unanswered: its answer may come after the one taken.
    bool unanswered = false;
    for (std::int64_t n = 0; n < attempts; ++n) {
        if (Attempt(slave, function, isRead)) {
            if (!m_line->Recovering(id))
                return true;
            // Copies of the reply taken are answers to this request's earlier attempts (or carry the
            // very same values): they put nothing out of step.
            std::array<std::uint8_t, TBuffer::Capacity> reply{};
            RxBuffer.GetBytes(reply);
            const TQuiet after =
                WaitQuiet(SteadyMs(Clock::now()), id, std::span(reply).first(std::size_t(RxBuffer.Count())));
            if (after.Settled && !after.Foreign) {
                if (unanswered)
                    m_line->Failed(id, Clock::now());
                else
                    m_line->Settled(id);
                return true;
            }
            // The reply may have been an earlier request's; the line is quiet again for the retry.
            heardNothing = false;
            LastError = ErrorOutOfStep;
            m_line->Failed(id, Clock::now());
            continue;
        }
        if (LastError == ErrorTimeout) {
            unanswered = true;
            m_line->Failed(id, Clock::now());
            continue;
        }
        heardNothing = false;
        // A reply that was not the answer means the answer itself may still be on its way and would
        // meet the next attempt: let the line fall quiet first.
        const bool notTheAnswer = LastError == ErrorCrc || LastError == ErrorSlaveId ||
                                  LastError == ErrorShortReply || LastError == ErrorResponse;
        if (notTheAnswer) {
            m_line->Failed(id, Clock::now());
            // After the last attempt the next request to the slave waits instead.
            if (n + 1 < attempts)
                WaitQuiet(SteadyMs(Clock::now()), id);
        }
    }
    m_line->SetSilent(id, heardNothing);
    return false;
}

TModbusSerialTCPMaster::TQuiet TModbusSerialTCPMaster::WaitQuiet(std::int64_t fromMs, std::uint8_t slave,
                                                                 std::span<const std::uint8_t> reply) {
    TModbusTransport& line = Transport();
    const std::chrono::milliseconds timeout(TimeoutMs());
    // While answers of the slave are still due, each may come as late as the slave has shown itself to
    // be (counted at most a few timeouts); after that, a timeout of quiet will do.
    const auto span = [&] {
        if (m_line->Due(slave) == 0)
            return Clock::duration(timeout);
        return timeout + std::min<Clock::duration>(m_line->Lateness(slave), kQuietRounds * timeout);
    };
    const Clock::time_point giveUp = Clock::now() + 2 * kQuietRounds * (span() + timeout);
    Clock::time_point quietFrom = FromSteadyMs(fromMs);
    std::array<std::uint8_t, TBuffer::Capacity> sink{};
    // Bytes heard that do not make a whole frame yet.
    std::array<std::uint8_t, 2 * TBuffer::Capacity> partial{};
    std::size_t partialCount = 0;
    std::size_t heard = 0;
    TQuiet quiet;
    const auto settle = [&] {
        quiet.Settled = true;
        // Part of a copy is no copy.
        quiet.Foreign = quiet.Foreign || (!reply.empty() && heard % reply.size() != 0);
        return quiet;
    };
    for (;;) {
        // What waits arrived while nobody listened: counted as heard now.
        const int n = line.ReadWaiting(sink.data(), int(sink.size()));
        if (n < 0)
            return settle(); // the line is gone: nothing more of it can arrive; the next attempt finds it
        const Clock::time_point now = Clock::now();
        if (n > 0) {
            for (int i = 0; i < n && !quiet.Foreign; ++i, ++heard)
                quiet.Foreign = reply.empty() || sink[std::size_t(i)] != reply[heard % reply.size()];
            std::copy_n(sink.begin(), n, partial.begin() + std::ptrdiff_t(partialCount));
            partialCount += std::size_t(n);
            // Each whole frame is one answer of the slave it names.
            for (;;) {
                const int length = FrameLength(std::span(partial).first(partialCount));
                if (length == 0 || std::size_t(length) > partialCount)
                    break;
                m_line->FrameFrom(partial[0], now);
                std::copy(partial.begin() + length, partial.begin() + std::ptrdiff_t(partialCount),
                          partial.begin());
                partialCount -= std::size_t(length);
            }
            m_line->Heard(now);
            quietFrom = now;
        }
        if (now >= quietFrom + span())
            return settle();
        if (now >= giveUp)
            return quiet;
        const Clock::duration left = std::min(quietFrom + span(), giveUp) - now;
        const std::int64_t leftMs = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        if (line.WaitForData(ClampWait(leftMs)) == platform::TWaitResult::Closed)
            return settle();
    }
}

bool TModbusSerialTCPMaster::FailOutOfStep() {
    LastError = ErrorOutOfStep;
    ExceptionCode = 0;
    TxText = TxBuffer.ToHex(HexSeparator);
    RxText.clear();
    return false;
}

bool TModbusSerialTCPMaster::ReadRequest(int slave, int function, int address, int quantity) {
    // Values the result arrays cannot hold would be values never received: refused unsent.
    const int most = function <= 2 ? kMostCoils : kMostRegisters;
    if (quantity < 1 || quantity > most) {
        BuildRequest(slave, function, address, quantity);
        LastError = ErrorQuantity;
        ExceptionCode = 0;
        TxText = TxBuffer.ToHex(HexSeparator);
        RxText.clear();
        return false;
    }
    if (!Request(slave, function, address, quantity, true))
        return false;
    // The check made sure the reply carried exactly the data the quantity needs.
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
    const std::string_view text = ErrorTextOf(LastError);
    const QString own = QString::fromLatin1(text.data(), qsizetype(text.size()));
    return LastError == ErrorException ? own + ExceptionText() : own;
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
