#include "tools/sim/WakePipe.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace vdsim {

TWakePipe::TWakePipe() {
    if (::pipe2(Fds, O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe2");
    }
}

TWakePipe::~TWakePipe() {
    ::close(Fds[0]);
    ::close(Fds[1]);
}

void TWakePipe::Signal() {
    if (Signalled) {
        return;
    }
    Signalled = true;
    const char byte = 1;
    ssize_t rc;
    do {
        rc = ::write(Fds[1], &byte, 1);
    } while (rc < 0 && errno == EINTR);
}

} // namespace vdsim
