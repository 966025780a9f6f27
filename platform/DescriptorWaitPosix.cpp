#include "platform/DescriptorWaitPosix.h"

#include <cerrno>
#include <chrono>
#include <poll.h>

namespace platform {

TWaitResult WaitReadable(int fd, int timeoutMs) {
    return WaitReadableOrWoken(fd, -1, timeoutMs);
}

TWaitResult WaitReadableOrWoken(int fd, int wakeFd, int timeoutMs) {
    if (fd < 0)
        return TWaitResult::Closed;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const nfds_t count = wakeFd >= 0 ? 2 : 1;
        const int rc = ::poll(fds, count, left > 0 ? int(left) : 0);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return TWaitResult::Closed;
        }
        if (rc == 0)
            return TWaitResult::TimedOut;
        if (count == 2 && fds[1].revents != 0)
            return TWaitResult::Woken;
        const pollfd& p = fds[0];
        // Input that is still waiting is delivered before the hang-up is reported.
        if (p.revents & POLLIN)
            return TWaitResult::Ready;
        return TWaitResult::Closed; // POLLHUP, POLLERR or POLLNVAL
    }
}

bool HungUp(int fd) {
    if (fd < 0)
        return true;
    pollfd p{fd, POLLIN, 0};
    int rc = -1;
    do
        rc = ::poll(&p, 1, 0);
    while (rc < 0 && errno == EINTR);
    return rc < 0 || (rc > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0);
}

} // namespace platform
