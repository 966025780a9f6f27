#include "comm/ModbusSerialTCPMaster.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

#include "comm/ModbusErrors.h"
#include "comm/ModbusTransport.h"
#include "comm/RtuFrames.h"
#include "comm/SlaveOrder.h"
#include "platform/WakeEventPosix.h"

using namespace modbus;

namespace {

constexpr int kConnectionTcp = 1;
constexpr int kRequestLength = 8;
// A read reply's data are taken into an area of this size before unpacking.
constexpr std::size_t kDataAreaSize = 64;
// What one read may ask for: the result arrays hold 64 entries, the data area 32 registers.
constexpr int kMostCoils = 64;
constexpr int kMostRegisters = 32;
// The fence: diagnostics, sub-function "return query data", whose answer echoes the request.
constexpr std::uint8_t kDiagnostics = 0x08;
// A quiet wait that keeps hearing bytes gives up after this many Timeouts.
constexpr std::int64_t kQuietRounds = 4;
// Rounds of reading what waits before a send: a peer that keeps sending cannot hold the master there.
constexpr int kMostUnaskedReads = 64;
// A wait that ends within this found its bytes waiting already.
constexpr std::chrono::microseconds kAlreadyWaiting{100};
// Connects to a line that went away are at least this far apart, however short the Timeout.
constexpr std::chrono::milliseconds kLeastConnectSpacing{100};

using Clock = std::chrono::steady_clock;

std::int64_t MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int ClampWait(std::int64_t ms) {
    return int(std::clamp<std::int64_t>(ms, 0, 1 << 30));
}

// Data bytes of the normal reply to a read: one bit per coil or input, two bytes per register.
int ReplyDataBytes(int function, int quantity) {
    return function <= 2 ? (quantity + 7) / 8 : 2 * quantity;
}

rtu::TFrame FenceFrame(std::uint8_t slave, std::uint16_t token) {
    rtu::TFrame frame{slave, kDiagnostics, 0, 0, std::uint8_t(token >> 8), std::uint8_t(token)};
    const std::uint16_t crc = ModbusCrc16(frame);
    frame.push_back(std::uint8_t(crc & 0xFF));
    frame.push_back(std::uint8_t(crc >> 8));
    return frame;
}

QString HexText(std::span<const std::uint8_t> bytes) {
    TBuffer buffer;
    for (std::uint8_t b : bytes)
        buffer.Add(b);
    return buffer.ToHex(HexSeparator);
}

} // namespace

TModbusSerialTCPMaster::TModbusSerialTCPMaster(TComponent* owner)
    : TComponent(owner), SerialPort(new TSerialComm(this)), Socket(new TClientSocket(this)),
      m_serialLine(std::make_unique<TModbusSerialTransport>(*SerialPort)),
      m_tcpLine(std::make_unique<TModbusTcpTransport>(*Socket)), m_order(std::make_unique<TSlaveOrder>()),
      m_wake(std::make_unique<platform::TWakeEvent>()) {
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
    m_order->Reset(Transport().CarriesOldAnswers());
    m_aborted = false;
    m_wake->Clear();
    ++m_counts.Connects;
    Connected = Transport().OpenOrWake(ClampWait(TimeoutMs()), WakeDescriptor());
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
    if (!m_order->MayConnect(Clock::now(), ConnectSpacing())) {
        LastError = ErrorConnection;
        return false;
    }
    // Bounded by the timeout like the first connect, so a slave that is still away costs one window.
    m_order->Forget(Transport().CarriesOldAnswers());
    ++m_counts.Connects;
    if (!Transport().OpenOrWake(ClampWait(TimeoutMs()), WakeDescriptor())) {
        Transport().Close();
        LastError = ErrorConnection;
        return false;
    }
    Connected = true;
    m_lineLost = false;
    return true;
}

Clock::duration TModbusSerialTCPMaster::ConnectSpacing() const {
    return std::max<Clock::duration>(std::chrono::milliseconds(TimeoutMs()), kLeastConnectSpacing);
}

bool TModbusSerialTCPMaster::WaitForConnectTurn() {
    if (!m_lineLost)
        return !Aborted();
    const Clock::time_point turn = m_order->NextConnect(ConnectSpacing());
    const Clock::time_point now = Clock::now();
    if (turn <= now)
        return !Aborted();
    const std::int64_t ms = std::chrono::ceil<std::chrono::milliseconds>(turn - now).count();
    // The wake event alone: readable means aborted.
    return platform::WaitReadable(WakeDescriptor(), ClampWait(ms)) != platform::TWaitResult::Ready;
}

void TModbusSerialTCPMaster::Abort() {
    m_aborted = true;
    m_wake->Raise();
}

bool TModbusSerialTCPMaster::Aborted() const {
    // The flag, not the event: a request must not pay a system call to learn it goes on.
    return m_aborted;
}

int TModbusSerialTCPMaster::WakeDescriptor() const {
    return m_wake->Descriptor();
}

bool TModbusSerialTCPMaster::InStep(int slave) const {
    return slave < 0 || slave > 255 || !m_order->Doubtful(std::uint8_t(slave));
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

TModbusSerialTCPMaster::TReceive TModbusSerialTCPMaster::ReceiveFrame(int replyLength,
                                                                      Clock::time_point deadline) {
    FrameGap = FrameGapTime(SerialPort->BaudRate);
    RxBuffer.Clear();
    m_afterReply.clear();
    TModbusTransport& line = Transport();
    std::array<std::uint8_t, TBuffer::Capacity> bytes{};
    int count = 0;

    // The first bytes: sleep on the descriptor until something arrives or the deadline has passed, then
    // take what is waiting, no more than the answer to this request can hold. The line is looked at once
    // however late a busy master comes to it: whether a reply is in time is told by when it arrived, where
    // the line keeps that, not by when the master read it.
    bool late = false;
    for (bool first = true; count == 0; first = false) {
        const Clock::time_point looked = Clock::now();
        if (looked >= deadline && !first)
            return TReceive::Silent;
        const platform::TWaitResult wait = line.WaitForDataOrWake(
            ClampWait(std::chrono::ceil<std::chrono::milliseconds>(deadline - looked).count()),
            WakeDescriptor());
        // The latest the bytes can have arrived: when the wait began, if they were waiting already.
        m_firstByteAt = Clock::now() - looked < kAlreadyWaiting ? looked : Clock::now();
        if (wait == platform::TWaitResult::Woken)
            return TReceive::Cancelled;
        if (wait == platform::TWaitResult::Closed)
            return line.Gone() ? TReceive::Gone : TReceive::Silent;
        if (wait == platform::TWaitResult::Ready) {
            // All that waits: a frame behind the reply (a copy that waited on the line) must be seen
            // now, not taken for stray bytes before the next send.
            count = line.ReadWaiting(bytes.data(), TBuffer::Capacity);
            // The line's own time, where it has one: a master kept from the processor reads a copy late,
            // and its clock alone would take the copy for an answer in the slave's usual time. Without
            // it, bytes found only by a look after the deadline may have come after it.
            if (const auto arrived = line.LastArrival()) {
                m_firstByteAt = *arrived;
                late = *arrived > deadline;
            } else {
                late = looked >= deadline;
            }
            // Readable with nothing to read: the line hung up.
            if (count <= 0)
                return line.Gone() ? TReceive::Gone : TReceive::Silent;
        }
    }

    Clock::time_point lastByte = Clock::now();
    for (;;) {
        const int length = rtu::FrameLength(std::span(bytes).first(std::size_t(count)));
        if (length > 0 && count >= length) {
            // Whatever came after the frame is no part of it; Attempt looks at it for frames.
            m_afterReply.assign(bytes.begin() + length, bytes.begin() + count);
            count = length;
            break;
        }
        // Nothing longer than the buffer can be a frame; a line that never falls silent ends here.
        if (count >= TBuffer::Capacity)
            break;
        const std::int64_t silent = MillisecondsSince(lastByte);
        if (silent >= FrameGap)
            break;
        const platform::TWaitResult wait =
            line.WaitForDataOrWake(ClampWait(FrameGap - silent), WakeDescriptor());
        if (wait == platform::TWaitResult::Woken)
            return TReceive::Cancelled;
        if (wait != platform::TWaitResult::Ready)
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
    // Read whole, so that nothing of it is left for the next exchange to stumble on.
    return late ? TReceive::Late : TReceive::Frame;
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

void TModbusSerialTCPMaster::NoteFrame(std::span<const std::uint8_t> frame) {
    m_order->Doubt(frame[0]);
    m_order->Heard(frame[0]);
}

bool TModbusSerialTCPMaster::FramesAfterReply(std::uint8_t slave) {
    std::array<std::uint8_t, TBuffer::Capacity> reply{};
    RxBuffer.GetBytes(reply);
    const std::span<const std::uint8_t> taken = std::span(reply).first(std::size_t(RxBuffer.Count()));
    rtu::TFrameScanner scanner;
    scanner.Feed(m_afterReply);
    bool ofSlave = false;
    // Only whole frames count: bytes that trail a reply put nobody out of step. A copy of the reply itself
    // misleads nothing: whichever of the two answers this request, its values are the same (a retried
    // write answered by both attempts).
    while (const std::optional<rtu::TFrame> frame = scanner.Next()) {
        if (std::equal(frame->begin(), frame->end(), taken.begin(), taken.end()))
            continue;
        NoteFrame(*frame);
        ofSlave = ofSlave || (*frame)[0] == slave;
    }
    m_afterReply.clear();
    return ofSlave;
}

void TModbusSerialTCPMaster::DropUnasked() {
    rtu::TFrameScanner scanner;
    std::array<std::uint8_t, TBuffer::Capacity> bytes{};
    for (int round = 0; round < kMostUnaskedReads; ++round) {
        const int n = Transport().ReadUnasked(bytes.data(), int(bytes.size()));
        if (n <= 0)
            break;
        scanner.Feed(std::span(bytes).first(std::size_t(n)));
        // A frame nobody asked for: its slave's answers are out of step. Stray bytes that make no frame
        // (noise, bytes that trailed a reply) put nobody out of step.
        while (const std::optional<rtu::TFrame> frame = scanner.Next())
            NoteFrame(*frame);
    }
    while (const std::optional<rtu::TFrame> frame = scanner.NextAfterSilence())
        NoteFrame(*frame);
}

bool TModbusSerialTCPMaster::Attempt(int slave, int function, bool isRead) {
    LastError = ErrorNone;
    ExceptionCode = 0;
    RxText.clear();
    TxText = TxBuffer.ToHex(HexSeparator);

    std::array<std::uint8_t, kRequestLength> frame{};
    TxBuffer.GetBytes(frame);
    m_sentBefore = Clock::now();
    const bool sent = Transport().Send(frame.data(), TxBuffer.Count());
    m_sentAfter = Clock::now();
    if (!sent) {
        LastError = ErrorSendFrame;
        DropLostLine();
        return false;
    }
    ++m_counts.Sent;
    const int quantity = frame[4] * 256 + frame[5];
    const int replyLength = isRead ? ReplyDataBytes(function, quantity) + 5 : kRequestLength;
    // Each attempt waits Timeout from the clock read before its send: a master kept from the processor
    // just after handing the request to the line does not stretch the wait by that time.
    const TReceive received =
        ReceiveFrame(replyLength, m_sentBefore + std::chrono::milliseconds(TimeoutMs()));
    RxText = RxBuffer.ToHex(HexSeparator);
    switch (received) {
    case TReceive::Frame:
        break;
    case TReceive::Late: {
        // An answer after the Timeout is no answer of this attempt, yet it came unasked as much as one
        // found before a send: its slave, and those of frames behind it, are out of step.
        m_order->LineAnswered();
        std::array<std::uint8_t, TBuffer::Capacity> late{};
        RxBuffer.GetBytes(late);
        rtu::TFrameScanner scanner;
        scanner.Feed(std::span(late).first(std::size_t(RxBuffer.Count())));
        while (const std::optional<rtu::TFrame> frame = scanner.Next())
            NoteFrame(*frame);
        FramesAfterReply(std::uint8_t(slave));
        [[fallthrough]];
    }
    case TReceive::Silent:
        ++m_counts.Expired;
        LastError = ErrorTimeout;
        return false;
    case TReceive::Gone:
        LastError = ErrorConnection;
        DropLostLine();
        return false;
    case TReceive::Cancelled:
        LastError = ErrorCancelled;
        return false;
    }
    m_order->LineAnswered();
    m_secondAnswer = FramesAfterReply(std::uint8_t(slave));
    if (!CheckResponse(RxBuffer, slave, function))
        return false;
    if (isRead) {
        // Slave, function, byte count and CRC removed.
        DataBuffer.Clear();
        DataBuffer.CopyFrom(RxBuffer, 3, RxBuffer.Count() - 5, 0);
    }
    return true;
}

TModbusSerialTCPMaster::TFenceResult TModbusSerialTCPMaster::FenceKeepingFrames(std::uint8_t slave,
                                                                                bool& dropped) {
    // The log shows the request and the reply the caller is deciding on, not the fence's.
    const QString tx = TxText;
    const QString rx = RxText;
    const TFenceResult result = SendFence(slave, dropped);
    TxText = tx;
    RxText = rx;
    return result;
}

TModbusSerialTCPMaster::TFenceResult TModbusSerialTCPMaster::SendFence(std::uint8_t slave, bool& dropped) {
    const std::uint16_t token = m_order->NextToken();
    const rtu::TFrame fence = FenceFrame(slave, token);
    TxText = HexText(fence);
    RxText.clear();
    const Clock::time_point sentBefore = Clock::now();
    if (!Transport().Send(fence.data(), int(fence.size()))) {
        DropLostLine();
        return TFenceResult::Gone;
    }
    const Clock::time_point sentAfter = Clock::now();
    ++m_counts.Sent;
    ++m_counts.Fences;
    FrameGap = FrameGapTime(SerialPort->BaudRate);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs());
    rtu::TFrameScanner scanner;
    std::array<std::uint8_t, TBuffer::Capacity> bytes{};
    bool heard = false;
    int marks = 0;
    const bool alone = m_order->FenceSent(slave);
    // When the first bytes still in the scanner arrived: the earliest any frame it gives can have come.
    Clock::time_point frameFrom = sentAfter;
    // Each whole frame until the fence's own answer is something the slave owed (or another slave's).
    const auto take = [&](const rtu::TFrame& frame) {
        RxText = HexText(frame);
        if (frame[0] != slave) {
            NoteFrame(frame);
            return false;
        }
        const bool first = !heard;
        heard = true;
        m_order->Heard(slave);
        if (frame[1] == kDiagnostics && frame.size() == fence.size() && frame[2] == 0 && frame[3] == 0) {
            m_order->FenceAnswered(slave);
            // An older fence's echo: what the slave owes before this fence is still on its way.
            if (std::equal(frame.begin(), frame.end(), fence.begin()))
                return true;
        } else if (frame[1] == (kDiagnostics | 0x80) && frame.size() == 5) {
            // A module that refuses the request marks each fence with its refusal, which carries no
            // token: the slave is in step once every fence sent has been refused. A refusal sooner than
            // the slave has ever refused one was on its way before this fence went, and is no mark of it.
            m_order->SetFence(slave, TSlaveOrder::TFence::Exception);
            const bool early = m_order->Early(slave, frame.size(), frameFrom - sentAfter);
            switch (m_order->MarkReceived(slave, early)) {
            case TSlaveOrder::TMark::Ignored:
                break;
            case TSlaveOrder::TMark::Counted:
                ++marks;
                return false;
            case TSlaveOrder::TMark::Closed:
                // This fence alone was out and nothing came before its refusal: the slave's pace.
                if (alone && first)
                    m_order->Answered(slave, frame.size(), frameFrom - sentBefore);
                return true;
            }
        }
        dropped = true;
        return false;
    };
    Clock::time_point lastByte = Clock::now();
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            ++m_counts.Expired;
            if (!heard)
                m_order->FenceUnheard(slave);
            // Refusals that keep coming one per fence while one is always missing: a fence was lost, or
            // the slave is that far behind, and no refusal tells which. A new connection owes nothing; a
            // line that carries old answers has no such fresh start, and there the missing one is taken
            // for lost. Either way nothing tells what came before, so a reply being checked is not taken.
            if (m_order->Fence(slave) == TSlaveOrder::TFence::Exception &&
                m_order->MarksSteady(slave, marks == 1 && !dropped)) {
                dropped = true;
                return Transport().CarriesOldAnswers() ? TFenceResult::InStep : ConnectAfresh();
            }
            return TFenceResult::Unanswered;
        }
        Clock::duration wait = deadline - now;
        if (!scanner.Empty())
            wait = std::min<Clock::duration>(wait, lastByte + std::chrono::milliseconds(FrameGap) - now);
        const platform::TWaitResult result = Transport().WaitForDataOrWake(
            ClampWait(std::chrono::ceil<std::chrono::milliseconds>(wait).count()), WakeDescriptor());
        if (result == platform::TWaitResult::Woken)
            return TFenceResult::Cancelled;
        if (result == platform::TWaitResult::Closed && Transport().Gone()) {
            DropLostLine();
            return TFenceResult::Gone;
        }
        if (result == platform::TWaitResult::Ready) {
            const int n = Transport().ReadWaiting(bytes.data(), int(bytes.size()));
            if (n < 0 && Transport().Gone()) {
                DropLostLine();
                return TFenceResult::Gone;
            }
            if (n > 0) {
                lastByte = Clock::now();
                if (scanner.Empty())
                    frameFrom = Transport().LastArrival().value_or(lastByte);
                scanner.Feed(std::span(bytes).first(std::size_t(n)));
            }
            while (const std::optional<rtu::TFrame> frame = scanner.Next())
                if (take(*frame))
                    return TFenceResult::InStep;
        } else if (!scanner.Empty() && Clock::now() >= lastByte + std::chrono::milliseconds(FrameGap)) {
            while (const std::optional<rtu::TFrame> frame = scanner.NextAfterSilence())
                if (take(*frame))
                    return TFenceResult::InStep;
        }
    }
}

TModbusSerialTCPMaster::TFenceResult TModbusSerialTCPMaster::ConnectAfresh() {
    // The refusals just counted came on this connection: the connect need not wait for its turn.
    m_order->LineAnswered();
    Transport().Close();
    Connected = false;
    m_lineLost = true;
    return ReopenLostLine() ? TFenceResult::InStep : TFenceResult::Gone;
}

bool TModbusSerialTCPMaster::WaitQuiet(std::uint8_t slave, bool& heard) {
    ++m_counts.QuietWaits;
    const std::chrono::milliseconds timeout(TimeoutMs());
    const Clock::time_point giveUp = Clock::now() + (kQuietRounds + 1) * timeout;
    Clock::time_point quietFrom = Clock::now();
    rtu::TFrameScanner scanner;
    std::array<std::uint8_t, TBuffer::Capacity> bytes{};
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (now >= quietFrom + timeout)
            return true;
        if (now >= giveUp)
            return false;
        const Clock::duration left = std::min(quietFrom + timeout, giveUp) - now;
        const platform::TWaitResult result = Transport().WaitForDataOrWake(
            ClampWait(std::chrono::ceil<std::chrono::milliseconds>(left).count()), WakeDescriptor());
        if (result == platform::TWaitResult::Woken)
            return false;
        if (result == platform::TWaitResult::Closed)
            return true; // the line is gone: nothing more of it can arrive; the next attempt finds it
        if (result != platform::TWaitResult::Ready)
            continue;
        const int n = Transport().ReadWaiting(bytes.data(), int(bytes.size()));
        if (n < 0)
            return true;
        if (n == 0)
            continue;
        scanner.Feed(std::span(bytes).first(std::size_t(n)));
        bool ours = false;
        while (const std::optional<rtu::TFrame> frame = scanner.Next()) {
            ours = ours || (*frame)[0] == slave;
            if ((*frame)[0] != slave)
                NoteFrame(*frame);
        }
        heard = heard || ours;
        // Whole frames of other slaves are no answer of this one and leave its quiet unbroken; bytes
        // that make no frame yet may be of this slave.
        if (ours || !scanner.Empty())
            quietFrom = Clock::now();
    }
}

bool TModbusSerialTCPMaster::Fail(std::int32_t error) {
    LastError = error;
    ExceptionCode = 0;
    TxText = TxBuffer.ToHex(HexSeparator);
    RxText.clear();
    return false;
}

// A read reply carries no address, and no clock can tell whose answer a frame is. So the master keeps
// each slave in step instead: after a sign of disorder it sends the slave a fence before it trusts a
// reply again, and drops everything until the fence's own answer; a slave that answers in order has
// then delivered all it owed. A retry after no answer repeats the same request, whose answer is right
// whichever attempt it answers; the answers still owed then make the slave doubtful for the next one.
// A healthy exchange sends exactly the request and waits exactly for its reply.
bool TModbusSerialTCPMaster::Request(int slave, int function, int address, int value, bool isRead) {
    BuildRequest(slave, function, address, value);
    const std::uint8_t id = std::uint8_t(slave);
    // 64 bits: Retries may be as large as its type holds.
    const std::int64_t attempts = std::int64_t(std::max(Retries, 0)) + 1;
    // An attempt of this request may still draw its answer.
    bool owed = false;
    const auto finish = [&](bool ok) {
        if (owed)
            m_order->Doubt(id);
        return ok;
    };
    for (std::int64_t n = 0; n < attempts; ++n) {
        if (Aborted())
            return finish(Fail(ErrorCancelled));
        if (!ReopenLostLine())
            return finish(Fail(ErrorConnection));
        DropUnasked();
        // A connection the peer closed while the line was idle is found here and made again at once.
        DropLostLine();
        if (!ReopenLostLine())
            return finish(Fail(ErrorConnection));
        const bool quietKind = m_order->Fence(id) == TSlaveOrder::TFence::Quiet;
        const bool fenced = m_order->Doubtful(id);
        if (fenced && quietKind) {
            bool heard = false;
            if (!WaitQuiet(id, heard))
                return finish(Fail(Aborted() ? ErrorCancelled : ErrorOutOfStep));
            owed = false;
        } else if (fenced) {
            bool dropped = false;
            switch (SendFence(id, dropped)) {
            case TFenceResult::InStep:
                m_order->Trust(id);
                owed = false;
                break;
            case TFenceResult::Unanswered:
                // The slave stays doubtful; the next request fences it anew.
                LastError = ErrorTimeout;
                ExceptionCode = 0;
                return false;
            case TFenceResult::Gone:
                LastError = ErrorConnection;
                continue;
            case TFenceResult::Cancelled:
                LastError = ErrorCancelled;
                return false;
            }
        }
        if (Attempt(slave, function, isRead)) {
            // The request left between the two readings of the clock around its send. Judged against
            // the later one, a reply can only look sooner (a copy that came before the request left
            // is never taken for the answer); the slave's pace is learnt against the earlier one.
            const Clock::duration took = m_firstByteAt - m_sentAfter;
            const Clock::duration pace = m_firstByteAt - m_sentBefore;
            // The reply may answer an earlier attempt: its time says nothing of the slave's pace.
            const bool earlierAttemptOwed = owed;
            // Two frames of the slave for one request: one of them waited on the line (a copy, a late
            // answer), and nothing tells which. A reply sooner than the slave has ever answered may have
            // been on its way before the request went. A fence answered puts the slave in step, but a
            // copy a gateway made of an earlier answer can still follow its echo, or meet a retry: the
            // pace is checked after a fence and on a retry too (an earlier attempt's own answer is then
            // taken once the fence shows nothing followed it). A slave that cannot be fenced has its
            // quiet wait after the reply instead.
            const bool twoFrames = m_secondAnswer;
            if (twoFrames ||
                (!(fenced && quietKind) && m_order->Early(id, std::size_t(RxBuffer.Count()), took))) {
                // A fence tells: the real answer comes before the fence's own.
                const std::int32_t error = LastError;
                bool dropped = false;
                const TFenceResult checked = FenceKeepingFrames(id, dropped);
                if (checked == TFenceResult::Cancelled)
                    return finish(Fail(ErrorCancelled));
                if (checked != TFenceResult::InStep) {
                    m_order->Doubt(id);
                    LastError = checked == TFenceResult::Gone ? ErrorConnection : ErrorTimeout;
                    continue;
                }
                // Everything the slave owed came before the fence's answer.
                m_order->Trust(id);
                owed = false;
                if (dropped || twoFrames) {
                    // The slave is in step again, and the retry's answer is its own.
                    LastError = ErrorResponse;
                    continue;
                }
                LastError = error;
            }
            if (fenced && quietKind) {
                bool heard = false;
                if (!WaitQuiet(id, heard) || heard) {
                    LastError = Aborted() ? ErrorCancelled : ErrorOutOfStep;
                    owed = true;
                    continue;
                }
                m_order->Trust(id);
            }
            if (!earlierAttemptOwed)
                m_order->Answered(id, std::size_t(RxBuffer.Count()), pace);
            m_order->Heard(id);
            return finish(true);
        }
        switch (LastError) {
        case ErrorException:
            // The slave's own answer: nothing of this attempt is still on its way.
            m_order->Heard(id);
            break;
        case ErrorResponse:
            // A frame of the slave that is not the answer: its answers are out of step.
            m_order->Doubt(id);
            m_order->Heard(id);
            owed = true;
            break;
        case ErrorSlaveId:
            // Another slave's frame: that slave is out of step; this one's answer may still come.
            m_order->Doubt(RxBuffer.GetByte(0));
            owed = true;
            break;
        case ErrorCancelled:
            owed = true;
            return finish(false);
        case ErrorSendFrame:
        case ErrorConnection:
            // Nothing went out, or the line is connected anew: no answer of it can come.
            owed = false;
            break;
        default:
            // No answer, or bytes that make no frame: the answer may still come.
            owed = true;
            break;
        }
    }
    return finish(false);
}

bool TModbusSerialTCPMaster::ReadRequest(int slave, int function, int address, int quantity) {
    // Values the result arrays cannot hold would be values never received: refused unsent.
    const int most = function <= 2 ? kMostCoils : kMostRegisters;
    if (quantity < 1 || quantity > most) {
        BuildRequest(slave, function, address, quantity);
        return Fail(ErrorQuantity);
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
    QString result = QString::fromLatin1(text.data(), qsizetype(text.size()));
    if (LastError == ErrorException)
        result += ExceptionText();
    return result;
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
