#include "tools/sim/PtyTransport.h"

#include "tools/sim/StreamServer.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace vdsim {

namespace {

struct TSpeed {
    speed_t Code;
    int Baud;
};

constexpr std::array<TSpeed, 8> Speeds{{{B1200, 1200},
                                        {B2400, 2400},
                                        {B4800, 4800},
                                        {B9600, 9600},
                                        {B19200, 19200},
                                        {B38400, 38400},
                                        {B57600, 57600},
                                        {B115200, 115200}}};

} // namespace

TPtyTransport::TPtyTransport(TSimBus& bus) : Bus(bus) {
    MasterFd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (MasterFd < 0) {
        throw std::system_error(errno, std::generic_category(), "posix_openpt");
    }
    char name[128];
    if (::grantpt(MasterFd) != 0 || ::unlockpt(MasterFd) != 0 ||
        ::ptsname_r(MasterFd, name, sizeof name) != 0) {
        const int error = errno;
        ::close(MasterFd);
        throw std::system_error(error, std::generic_category(), "pseudo-terminal set-up");
    }
    Path = name;
    SlaveFd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (SlaveFd < 0 || ::tcgetattr(SlaveFd, &settings) != 0) {
        const int error = errno;
        if (SlaveFd >= 0) {
            ::close(SlaveFd);
        }
        ::close(MasterFd);
        throw std::system_error(error, std::generic_category(), "open " + Path);
    }
    // A raw 9600 8N1 line until the program sets its own.
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~(CSTOPB | PARENB | PARODD | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    if (::cfsetispeed(&settings, B9600) != 0 || ::cfsetospeed(&settings, B9600) != 0 ||
        ::tcsetattr(SlaveFd, TCSANOW, &settings) != 0) {
        const int error = errno;
        ::close(SlaveFd);
        ::close(MasterFd);
        throw std::system_error(error, std::generic_category(), "set up " + Path);
    }
}

TPtyTransport::~TPtyTransport() {
    Stop();
    ::close(SlaveFd);
    ::close(MasterFd);
}

std::optional<TSimLineSettings> TPtyTransport::Line() const {
    termios settings{};
    // The master side reports the settings the slave side was given.
    if (::tcgetattr(MasterFd, &settings) != 0) {
        return std::nullopt;
    }
    TSimLineSettings line;
    line.Baud = 0;
    const speed_t speed = ::cfgetospeed(&settings);
    for (const TSpeed& entry : Speeds) {
        if (entry.Code == speed) {
            line.Baud = entry.Baud;
        }
    }
    line.Parity = UnknownParity; // the kernel keeps no parity on a pseudo-terminal
    line.StopBits = (settings.c_cflag & CSTOPB) != 0 ? 2 : 1;
    return line;
}

void TPtyTransport::Start() {
    if (!Server.joinable()) {
        // Serving when Start returns: a pseudo-terminal tells no time of arrival, so the first request
        // must not wait for a thread that a busy machine has not run yet.
        std::promise<void> serving;
        Server = std::thread([this, &serving] {
            TStreamEndpoint endpoint{MasterFd, false, [this] { return Line(); }};
            serving.set_value();
            // A pseudo-terminal never closes under us (the slave end stays open): serve until stopped.
            ServeStream(endpoint, Wake.ReadFd(), Bus);
        });
        serving.get_future().wait();
    }
}

void TPtyTransport::Stop() {
    Wake.Signal();
    if (Server.joinable()) {
        Server.join();
    }
}

} // namespace vdsim
