#include "RtuClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace simtest {

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::size_t ExpectedLength(const TBytes& bytes) {
    if (bytes.size() < 3) {
        return 0;
    }
    if (bytes[1] & 0x80) {
        return 5;
    }
    return bytes[1] <= 4 ? bytes[2] + 5u : 8u;
}

} // namespace

TRtuClient TRtuClient::Tcp(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        throw std::runtime_error("connect");
    }
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    return TRtuClient(fd);
}

TRtuClient::~TRtuClient() {
    if (Fd >= 0) {
        ::close(Fd);
    }
}

void TRtuClient::Send(const TBytes& frame) const {
    if (::write(Fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) {
        throw std::runtime_error("write");
    }
}

TBytes TRtuClient::Receive(int timeoutMs) const {
    TBytes reply;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd fd{Fd, POLLIN, 0};
        const int rc = ::poll(&fd, 1, Remaining(deadline));
        if (rc < 0 && errno == EINTR) {
            continue;
        }
        if (rc <= 0) {
            return reply;
        }
        std::uint8_t byte = 0;
        if (::read(Fd, &byte, 1) != 1) {
            return reply;
        }
        reply.push_back(byte);
        const std::size_t expected = ExpectedLength(reply);
        if (expected != 0 && reply.size() >= expected) {
            return reply;
        }
        deadline = Clock::now() + std::chrono::milliseconds(100);
    }
}

bool TRtuClient::PeerClosed(int timeoutMs) const {
    pollfd fd{Fd, POLLIN, 0};
    if (::poll(&fd, 1, timeoutMs) <= 0) {
        return false;
    }
    std::uint8_t byte = 0;
    return ::read(Fd, &byte, 1) == 0;
}

TBytes Request(int slave, int function, int address, int value) {
    return vdsim::BuildRequest(static_cast<std::uint8_t>(slave), static_cast<std::uint8_t>(function),
                               static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(value));
}

std::vector<std::uint16_t> RegistersOf(const TBytes& reply) {
    std::vector<std::uint16_t> values;
    if (reply.size() < 5 || (reply[1] & 0x80) != 0) {
        return values;
    }
    for (std::size_t i = 0; i + 1 < reply[2] && 3 + i + 1 < reply.size(); i += 2) {
        values.push_back(static_cast<std::uint16_t>(reply[3 + i] << 8 | reply[4 + i]));
    }
    return values;
}

std::vector<int> BitsOf(const TBytes& reply, int count) {
    std::vector<int> bits;
    if (reply.size() < 5 || (reply[1] & 0x80) != 0) {
        return bits;
    }
    for (int i = 0; i < count && 3u + i / 8 < reply.size() - 2; ++i) {
        bits.push_back(reply[3 + i / 8] >> (i % 8) & 1);
    }
    return bits;
}

int ExceptionOf(const TBytes& reply) {
    return reply.size() == 5 && (reply[1] & 0x80) != 0 ? reply[2] : 0;
}

} // namespace simtest
