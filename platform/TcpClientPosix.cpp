#include "platform/TcpClientPosix.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

std::optional<std::uint32_t> ParseDottedQuad(std::string_view text) {
    std::uint32_t address = 0;
    int parts = 0;
    std::size_t i = 0;
    while (parts < 4) {
        int digits = 0;
        unsigned value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 3) {
            value = value * 10 + unsigned(text[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || value > 255)
            return std::nullopt;
        address = (address << 8) | value;
        ++parts;
        if (parts < 4) {
            if (i >= text.size() || text[i] != '.')
                return std::nullopt;
            ++i;
        }
    }
    if (i != text.size())
        return std::nullopt;
    return address;
}

TTcpClientPosix::~TTcpClientPosix() {
    Close();
}

bool TTcpClientPosix::Connect(std::string_view host, int port, int timeoutMs, int wakeFd) {
    Close();
    m_gone = false;
    const auto address = ParseDottedQuad(host);
    if (!address || port < 1 || port > 65535)
        return false;

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(std::uint16_t(port));
    peer.sin_addr.s_addr = htonl(*address);

    // The connect runs non-blocking so that an unreachable host costs at most the time limit.
    bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0;
    if (!connected && (errno == EINPROGRESS || errno == EINTR)) {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            // A readable wake descriptor gives the connect up at once.
            pollfd fds[2] = {{fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
            const pollfd& p = fds[0];
            const int rc = ::poll(fds, wakeFd >= 0 ? 2 : 1, left > 0 ? int(left) : 0);
            if (rc < 0 && errno == EINTR)
                continue;
            if (rc > 0 && p.revents != 0) {
                int error = 0;
                socklen_t length = sizeof error;
                connected = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
            }
            break;
        }
    }
    const int flags = connected ? ::fcntl(fd, F_GETFL) : -1;
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        ::close(fd);
        return false;
    }
    // Requests are single small frames: send each at once.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // The kernel's time of arrival comes with each receive; without it (refused) receives carry none.
    ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);
    m_fd = fd;
    return true;
}

bool TTcpClientPosix::Close() {
    if (m_fd < 0)
        return false;
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0;
}

bool TTcpClientPosix::SendAll(const void* data, std::size_t n) {
    if (m_fd < 0)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const ssize_t rc = ::send(m_fd, bytes, n, MSG_NOSIGNAL);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0) {
            // EPIPE, ECONNRESET and the like: a blocking send fails only when the connection is over.
            m_gone = true;
            return false;
        }
        bytes += rc;
        n -= std::size_t(rc);
    }
    return true;
}

int TTcpClientPosix::BytesWaiting() const {
    int count = 0;
    if (m_fd < 0 || ::ioctl(m_fd, FIONREAD, &count) < 0)
        return -1;
    return count;
}

ssize_t TTcpClientPosix::Receive(void* data, std::size_t n) {
    if (m_fd < 0)
        return -1;
    ssize_t rc = -1;
    do
        rc = ::recv(m_fd, data, n, 0);
    while (rc < 0 && errno == EINTR);
    return rc;
}

namespace {

// The kernel's receive time in a message's control data, moved onto the steady clock.
std::optional<std::chrono::steady_clock::time_point> ArrivalIn(msghdr& message) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS ||
            c->cmsg_len < CMSG_LEN(sizeof(timespec)))
            continue;
        timespec at{};
        std::memcpy(&at, CMSG_DATA(c), sizeof at);
        if (at.tv_sec == 0 && at.tv_nsec == 0)
            return std::nullopt;
        const auto wall = std::chrono::system_clock::now();
        const auto steady = std::chrono::steady_clock::now();
        const auto stamped = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::seconds(at.tv_sec) + std::chrono::nanoseconds(at.tv_nsec)));
        // A wall clock set back or forth meanwhile could put it in the future: never later than now.
        const auto ago = wall - stamped;
        return ago > std::chrono::steady_clock::duration::zero()
                   ? steady - std::chrono::duration_cast<std::chrono::steady_clock::duration>(ago)
                   : steady;
    }
    return std::nullopt;
}

} // namespace

int TTcpClientPosix::ReceiveWaiting(void* data, std::size_t n) {
    m_lastArrival.reset();
    if (m_fd < 0)
        return -1;
    if (n == 0)
        return 0;
    iovec part{data, n};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(timespec)) * 2]{};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t rc = -1;
    do
        rc = ::recvmsg(m_fd, &message, MSG_DONTWAIT);
    while (rc < 0 && errno == EINTR);
    if (rc > 0)
        m_lastArrival = ArrivalIn(message);
    if (rc < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return 0;
    if (rc <= 0) {
        m_gone = true;
        return -1;
    }
    return int(rc);
}

TWaitResult TTcpClientPosix::WaitReadable(int timeoutMs) const {
    const TWaitResult result = platform::WaitReadable(m_fd, timeoutMs);
    if (result == TWaitResult::Closed && m_fd >= 0)
        m_gone = true;
    if (result != TWaitResult::Ready)
        return result;
    // A readable socket with nothing to read has reached the end of the stream.
    unsigned char byte = 0;
    ssize_t rc = -1;
    do
        rc = ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    while (rc < 0 && errno == EINTR);
    if (rc > 0)
        return TWaitResult::Ready;
    if (rc < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return TWaitResult::TimedOut;
    m_gone = true;
    return TWaitResult::Closed;
}

} // namespace platform
