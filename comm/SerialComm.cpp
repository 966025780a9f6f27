#include "comm/SerialComm.h"

#include <array>
#include <cerrno>

#include "platform/SerialPortPosix.h"

namespace {
constexpr std::int32_t kErrorOpen = 6;
constexpr std::int32_t kErrorGetSettings = 4;
constexpr std::int32_t kErrorSetSettings = 5;
} // namespace

TSerialComm::TSerialComm(TComponent* owner) : TComponent(owner) {}

TSerialComm::~TSerialComm() {
    if (Handle >= 0)
        Close();
}

bool TSerialComm::Open() {
    // Opening again must not leak the descriptor already held.
    if (Handle >= 0)
        Close();
    LastError = 0;
    m_gone = false;
    const int fd = platform::OpenSerialDevice(platform::SerialDevicePath(PortName.toStdString()));
    if (fd < 0) {
        LastError = kErrorOpen;
        return false;
    }
    termios block{};
    if (!platform::ReadLineSettings(fd, block)) {
        platform::CloseSerialDevice(fd);
        LastError = kErrorGetSettings;
        return false;
    }
    const platform::TSerialLineSettings settings{BaudRate, DataBits, StopBits, Parity};
    if (!platform::ApplyLineSettings(block, settings) || !platform::WriteLineSettings(fd, block)) {
        platform::CloseSerialDevice(fd);
        LastError = kErrorSetSettings;
        return false;
    }
    Handle = fd;
    m_modemLines = m_line->HasModemLines(fd);
    return true;
}

bool TSerialComm::Close() {
    const bool ok = platform::CloseSerialDevice(Handle);
    Handle = -1;
    m_modemLines = false;
    return ok;
}

int TSerialComm::BytesInQueue() const {
    const int count = platform::SerialBytesWaiting(Handle);
    return count > 0 ? count : 0;
}

bool TSerialComm::Read(void* buffer, int n) {
    if (Handle < 0 || n < 0)
        return false;
    return platform::ReadSerial(Handle, buffer, std::size_t(n)) == n;
}

int TSerialComm::ReadWaiting(void* buffer, int max) {
    if (Handle < 0 || max < 0)
        return -1;
    // The line is set up so that a read returns at once with what is waiting.
    const ssize_t rc = platform::ReadSerial(Handle, buffer, std::size_t(max));
    if (rc < 0 && platform::IsDeviceGoneError(errno))
        m_gone = true;
    // Nothing to read on a line that was reported readable: it may have hung up.
    if (rc == 0 && max > 0 && platform::HungUp(Handle))
        m_gone = true;
    if (m_gone)
        return -1;
    return rc < 0 ? -1 : int(rc);
}

int TSerialComm::ReadAvailable(void* buffer, int max) {
    if (Handle < 0 || max < 0)
        return -1;
    const ssize_t rc = platform::ReadSerial(Handle, buffer, std::size_t(max));
    if (rc < 0 && platform::IsDeviceGoneError(errno))
        m_gone = true;
    return rc < 0 ? -1 : int(rc);
}

bool TSerialComm::Discard() {
    // Read and dropped rather than flushed: a flush costs a pseudo-terminal several times a read, and
    // reads are what the master issues anyway. Bounded, so that a line that never stops cannot hold it.
    // An empty read is not followed by a hang-up check here, which would cost every request a call:
    // the wait for the reply finds a hang-up.
    if (Handle < 0)
        return false;
    std::array<std::uint8_t, 256> sink{};
    for (int round = 0; round < 64; ++round) {
        const ssize_t n = platform::ReadSerial(Handle, sink.data(), sink.size());
        if (n < 0) {
            if (platform::IsDeviceGoneError(errno))
                m_gone = true;
            return false;
        }
        if (n < ssize_t(sink.size()))
            return true;
    }
    return true;
}

bool TSerialComm::Write(const void* buffer, int n) {
    if (Handle < 0 || n < 0)
        return false;
    const auto write = [&] {
        const bool ok = m_line->Write(Handle, buffer, std::size_t(n));
        if (!ok && platform::IsDeviceGoneError(errno))
            m_gone = true;
        return ok;
    };
    if (!m_modemLines)
        return write();
    // A failed RTS call still lets the frame go: the converter may switch by itself.
    m_line->SetRts(Handle, true);
    const bool ok = write();
    // Dropping RTS before the last byte has left would cut the frame short on the converter.
    m_line->Drain(Handle);
    m_line->SetRts(Handle, false);
    return ok;
}

platform::TWaitResult TSerialComm::WaitForData(int timeoutMs, int wakeFd) {
    const platform::TWaitResult result = platform::WaitReadableOrWoken(Handle, wakeFd, timeoutMs);
    if (result == platform::TWaitResult::Closed && Handle >= 0)
        m_gone = true;
    return result;
}
