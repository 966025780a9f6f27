#include "app/SerialPortCheck.h"
#include "platform/SerialPortPosix.h"
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool SerialPortOpens(const QString& portName) {
    if (portName.isEmpty())
        return false;
    const std::string path = platform::SerialDevicePath(portName.toLocal8Bit().toStdString());
    struct stat info {};
    // Only a character device is opened at all: opening a fifo or a file would be a surprise.
    if (::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Checked on the open descriptor, so that a name replaced after the stat is judged by what opened.
    struct stat opened {};
    const bool port = ::fstat(fd, &opened) == 0 && S_ISCHR(opened.st_mode) && ::isatty(fd) == 1;
    // A failed close changes no answer: the device did open, and on Linux the descriptor is released
    // even then (retrying could close a descriptor another thread has just been given).
    [[maybe_unused]] const int closed = ::close(fd);
    return port;
}
