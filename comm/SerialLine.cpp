#include "comm/SerialLine.h"

#include "platform/SerialPortPosix.h"

bool TPosixSerialLine::HasModemLines(int fd) {
    return platform::HasModemLines(fd);
}

bool TPosixSerialLine::SetRts(int fd, bool raised) {
    return platform::SetRts(fd, raised);
}

bool TPosixSerialLine::Write(int fd, const void* data, std::size_t n) {
    return platform::WriteSerial(fd, data, n);
}

bool TPosixSerialLine::Drain(int fd) {
    return platform::DrainSerial(fd);
}
