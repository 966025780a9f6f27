#include "tools/sim/TcpTransport.h"

#include "tools/sim/StreamServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace vdsim {

namespace {

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

TTcpTransport::TTcpTransport(TSimBus& bus, const std::string& host, int port) : Bus(bus) {
    if (port < 0 || port > 65535) {
        throw std::system_error(EINVAL, std::generic_category(), "TCP port " + std::to_string(port));
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        throw std::system_error(EINVAL, std::generic_category(), "TCP address " + host);
    }
    ListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (ListenFd < 0) {
        Fail("socket");
    }
    const int yes = 1;
    // Connections inherit the stamping of each request's time of arrival, also of one that comes before
    // its connection is accepted.
    if (::setsockopt(ListenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        ::setsockopt(ListenFd, SOL_SOCKET, SO_TIMESTAMPNS, &yes, sizeof yes) != 0 ||
        ::bind(ListenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(ListenFd, 16) != 0) {
        const int error = errno;
        ::close(ListenFd);
        throw std::system_error(error, std::generic_category(),
                                "listen on " + host + ":" + std::to_string(port));
    }
    socklen_t length = sizeof address;
    if (::getsockname(ListenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        ::close(ListenFd);
        throw std::system_error(error, std::generic_category(), "getsockname");
    }
    BoundPort = ntohs(address.sin_port);
    BoundHost = host;
}

TTcpTransport::~TTcpTransport() {
    Stop();
    ::close(ListenFd);
}

void TTcpTransport::Start() {
    if (!Started) {
        Started = true;
        Acceptor = std::thread([this] { AcceptLoop(); });
    }
}

void TTcpTransport::Stop() {
    Wake.Signal();
    if (Acceptor.joinable()) {
        Acceptor.join();
    }
    Reap(true);
}

void TTcpTransport::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{ListenFd, POLLIN, 0}, {Wake.ReadFd(), POLLIN, 0}};
        const int rc = ::poll(fds, 2, 1000);
        if (rc < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        Reap(false);
        if (rc <= 0 || (fds[0].revents & POLLIN) == 0) {
            continue;
        }
        const int fd = ::accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue; // the peer gave up meanwhile, or a transient shortage: keep listening
        }
        const int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes); // small frames go out at once
        ++Accepted;
        std::lock_guard guard(ConnectionsLock);
        TConnection& connection = Connections_.emplace_back();
        connection.Fd = fd;
        connection.Thread = std::thread([this, &connection] {
            ServeStream(TStreamEndpoint{connection.Fd, true, {}}, Wake.ReadFd(), Bus);
            ::shutdown(connection.Fd, SHUT_RDWR);
            connection.Done = true;
        });
    }
}

void TTcpTransport::Reap(bool all) {
    std::lock_guard guard(ConnectionsLock);
    for (auto it = Connections_.begin(); it != Connections_.end();) {
        if (all || it->Done) {
            it->Thread.join();
            ::close(it->Fd);
            it = Connections_.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace vdsim
