#include "platform/DescriptorWaitPosix.h"

#include <cerrno>
#include <chrono>
#include <poll.h>

namespace platform {

TWaitResult WaitReadable(int fd, int timeoutMs) {
    if (fd < 0)
        return TWaitResult::Closed;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, left > 0 ? int(left) : 0);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return TWaitResult::Closed;
        }
        if (rc == 0)
            return TWaitResult::TimedOut;
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
