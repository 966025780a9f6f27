#pragma once
// The serial line on a POSIX terminal device: open, line settings through termios, bytes waiting,
// raw reads and writes, and the RTS line that switches an RS-485 transmitter.
#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <termios.h>

namespace platform {

struct TSerialLineSettings {
    int BaudRate = 9600;
    int DataBits = 8;
    int StopBits = 1; // 1 or 2
    int Parity = 0;   // 0 none, 1 odd, 2 even; any other value keeps the device's parity
};

// "COMn" (n >= 1) is /dev/ttyS(n-1), an absolute path is used as given, any other name is /dev/NAME.
std::string SerialDevicePath(std::string_view portName);

// Opens the device for reading and writing, not as controlling terminal, closed on exec, for this
// process alone; the descriptor blocks. -1 when it cannot be opened.
int OpenSerialDevice(const std::string& path);
bool CloseSerialDevice(int fd);

bool ReadLineSettings(int fd, termios& block);
// Puts the settings into a termios block in raw binary mode (no echo, no character translation, no
// flow control, modem lines ignored for open and read). False when a value has no terminal equivalent.
bool ApplyLineSettings(termios& block, const TSerialLineSettings& settings);
bool WriteLineSettings(int fd, const termios& block);

// Received bytes waiting in the driver, -1 when the query fails.
int SerialBytesWaiting(int fd);
// An error of a read or write that means the device is gone (unplugged, the other end of a
// pseudo-terminal closed): EIO, ENXIO, ENODEV.
bool IsDeviceGoneError(int error);
// One read call of at most n bytes; -1 on failure.
ssize_t ReadSerial(int fd, void* data, std::size_t n);
// Writes all n bytes; false on failure.
bool WriteSerial(int fd, const void* data, std::size_t n);
// Waits until everything written has left the line.
bool DrainSerial(int fd);
// True when the device has modem lines (RTS can be driven); false for a pseudo-terminal.
bool HasModemLines(int fd);
// False when the device has no modem lines (a pseudo-terminal) or the call fails.
bool SetRts(int fd, bool raised);

} // namespace platform
