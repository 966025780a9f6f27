#include "reporter/gui/OHelperSocket.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace reporter {

THelperFd::~THelperFd() {
    if (m_fd >= 0)
        ::close(m_fd);
}

int THelperFd::Release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

bool SendAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

bool ReceiveAll(int fd, std::vector<uint8_t>& bytes, size_t limit, int waitMs) {
    bytes.clear();
    uint8_t buffer[65536];
    for (;;) {
        if (waitMs >= 0) {
            pollfd p{fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, waitMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return false;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (bytes.size() + size_t(n) > limit)
            return false;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
}

int WaitForChild(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace reporter
