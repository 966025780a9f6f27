#include "comm/SerialComm.h"

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
    return true;
}

bool TSerialComm::Close() {
    const bool ok = platform::CloseSerialDevice(Handle);
    Handle = -1;
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

bool TSerialComm::Write(const void* buffer, int n) {
    if (Handle < 0 || n < 0)
        return false;
    // A device without modem lines (a pseudo-terminal) refuses RTS and still sends.
    platform::SetRts(Handle, true);
    const bool ok = platform::WriteSerial(Handle, buffer, std::size_t(n));
    // Dropping RTS before the last byte has left would cut the frame short on the converter.
    platform::DrainSerial(Handle);
    platform::SetRts(Handle, false);
    return ok;
}

platform::TWaitResult TSerialComm::WaitForData(int timeoutMs) const {
    return platform::WaitReadable(Handle, timeoutMs);
}
