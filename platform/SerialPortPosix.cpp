#include "platform/SerialPortPosix.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// Line rates with a termios speed constant; others cannot be set.
constexpr std::array<std::pair<int, speed_t>, 23> kSpeeds{{
    {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
}};

bool SpeedOf(int baudRate, speed_t& speed) {
    for (const auto& [rate, constant] : kSpeeds)
        if (rate == baudRate) {
            speed = constant;
            return true;
        }
    return false;
}

} // namespace

std::string SerialDevicePath(std::string_view portName) {
    if (!portName.empty() && portName.front() == '/')
        return std::string(portName);
    const auto isCom = [](std::string_view name) {
        return name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
               (name[2] == 'M' || name[2] == 'm');
    };
    if (isCom(portName)) {
        const std::string_view digits = portName.substr(3);
        unsigned number = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (ec == std::errc() && end == digits.data() + digits.size() && number >= 1)
            return "/dev/ttyS" + std::to_string(number - 1);
    }
    return "/dev/" + std::string(portName);
}

int OpenSerialDevice(const std::string& path) {
    // Non-blocking only for the open itself: a line without carrier detect would otherwise block it.
    int fd = -1;
    do
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        ::close(fd);
        return -1;
    }
    // No sharing: a second program on the same line would corrupt both exchanges. Devices that are no
    // terminal refuse this; their line settings then fail, which reports them properly.
    ::ioctl(fd, TIOCEXCL);
    return fd;
}

bool CloseSerialDevice(int fd) {
    if (fd < 0)
        return false;
    ::ioctl(fd, TIOCNXCL);
    // The descriptor is released even when close reports EINTR, so it is never retried.
    return ::close(fd) == 0;
}

bool ReadLineSettings(int fd, termios& block) {
    return ::tcgetattr(fd, &block) == 0;
}

bool ApplyLineSettings(termios& block, const TSerialLineSettings& settings) {
    speed_t speed = B0;
    if (!SpeedOf(settings.BaudRate, speed))
        return false;
    tcflag_t size = 0;
    switch (settings.DataBits) {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        return false;
    }
    if (settings.StopBits != 1 && settings.StopBits != 2)
        return false;

    const tcflag_t parityAsRead = block.c_cflag & (PARENB | PARODD);
    ::cfmakeraw(&block);
    block.c_iflag &= ~(IXON | IXOFF | IXANY);
    block.c_cflag |= CLOCAL | CREAD;
    block.c_cflag &= ~(CRTSCTS | CSIZE | CSTOPB | PARENB | PARODD);
    block.c_cflag |= size;
    if (settings.StopBits == 2)
        block.c_cflag |= CSTOPB;
    switch (settings.Parity) {
    case 0:
        break;
    case 1:
        block.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        block.c_cflag |= PARENB;
        break;
    default:
        block.c_cflag |= parityAsRead;
        break;
    }
    // Reads are issued only for bytes already waiting, so a read never waits.
    block.c_cc[VMIN] = 0;
    block.c_cc[VTIME] = 0;
    return ::cfsetispeed(&block, speed) == 0 && ::cfsetospeed(&block, speed) == 0;
}

bool WriteLineSettings(int fd, const termios& block) {
    int rc = -1;
    do
        rc = ::tcsetattr(fd, TCSANOW, &block);
    while (rc < 0 && errno == EINTR);
    return rc == 0;
}

int SerialBytesWaiting(int fd) {
    int count = 0;
    if (fd < 0 || ::ioctl(fd, FIONREAD, &count) < 0)
        return -1;
    return count;
}

bool IsDeviceGoneError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

ssize_t ReadSerial(int fd, void* data, std::size_t n) {
    ssize_t rc = -1;
    do
        rc = ::read(fd, data, n);
    while (rc < 0 && errno == EINTR);
    return rc;
}

bool WriteSerial(int fd, const void* data, std::size_t n) {
    if (fd < 0)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const ssize_t rc = ::write(fd, bytes, n);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (rc == 0)
            return false;
        bytes += rc;
        n -= std::size_t(rc);
    }
    return true;
}

bool DrainSerial(int fd) {
    int rc = -1;
    do
        rc = ::tcdrain(fd);
    while (rc < 0 && errno == EINTR);
    return rc == 0;
}

bool HasModemLines(int fd) {
    int bits = 0;
    return fd >= 0 && ::ioctl(fd, TIOCMGET, &bits) == 0;
}

bool SetRts(int fd, bool raised) {
    int bits = TIOCM_RTS;
    return ::ioctl(fd, raised ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

} // namespace platform
