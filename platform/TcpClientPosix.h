#pragma once
// A blocking TCP client connection on POSIX sockets: connect bounded by a time limit, sends that never
// raise SIGPIPE, the count of bytes waiting and poll-based waiting for input.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <sys/types.h>

#include "platform/DescriptorWaitPosix.h"

namespace platform {

// A dotted IPv4 address with decimal parts; leading zeros do not mean octal ("192.168.001.010" is
// 192.168.1.10). The address in host byte order, or nothing for any other text.
std::optional<std::uint32_t> ParseDottedQuad(std::string_view text);

class TTcpClientPosix {
public:
    TTcpClientPosix() = default;
    ~TTcpClientPosix();
    TTcpClientPosix(const TTcpClientPosix&) = delete;
    TTcpClientPosix& operator=(const TTcpClientPosix&) = delete;

    // Closes any previous connection first. Fails when the host is no dotted IPv4 address, the port is
    // outside 1..65535, or the connection is refused or not made within timeoutMs.
    bool Connect(std::string_view host, int port, int timeoutMs, int wakeFd = -1);
    bool Close();
    bool IsOpen() const { return m_fd >= 0; }
    // The peer closed or reset the connection, or a send or receive failed for good: the connection
    // is of no more use. Cleared by the next Connect.
    bool PeerGone() const { return m_gone; }
    int Descriptor() const { return m_fd; }

    // Sends all n bytes; false when the connection failed or the peer closed it.
    bool SendAll(const void* data, std::size_t n);
    // Bytes waiting to be received, -1 when the query fails.
    int BytesWaiting() const;
    // One receive call of at most n bytes: the count, 0 when the peer closed, -1 on failure.
    ssize_t Receive(void* data, std::size_t n);
    // What is waiting, at most n bytes, without waiting: the count, 0 when nothing waits, -1 when the
    // connection failed or the peer closed it.
    int ReceiveWaiting(void* data, std::size_t n);
    // When the kernel took in the bytes the last ReceiveWaiting returned (the last of them where they
    // came in several packets), on the steady clock; none when the kernel gave no time. A thread kept
    // from the processor reads late, but this time is the line's own.
    std::optional<std::chrono::steady_clock::time_point> LastArrival() const { return m_lastArrival; }
    // Closed also when the peer has ended the connection and nothing is left to read.
    TWaitResult WaitReadable(int timeoutMs) const;

private:
    int m_fd = -1;
    mutable bool m_gone = false;
    std::optional<std::chrono::steady_clock::time_point> m_lastArrival;
};

} // namespace platform
