#include "platform/WakeEventPosix.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

TWakeEvent::TWakeEvent() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TWakeEvent::~TWakeEvent() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void TWakeEvent::Raise() {
    if (m_fd < 0)
        return;
    const std::uint64_t one = 1;
    // EAGAIN: the counter is already far above zero, which is raised enough.
    while (::write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void TWakeEvent::Clear() {
    if (m_fd < 0)
        return;
    std::uint64_t count = 0;
    while (::read(m_fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

bool TWakeEvent::Raised() const {
    if (m_fd < 0)
        return false;
    pollfd p{m_fd, POLLIN, 0};
    int rc = -1;
    do
        rc = ::poll(&p, 1, 0);
    while (rc < 0 && errno == EINTR);
    return rc > 0;
}

} // namespace platform
