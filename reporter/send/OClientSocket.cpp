#include "OClientSocket.h"

#include "OReportProgress.h"
#include "OSendBudget.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace reporter {

namespace {

constexpr size_t SendChunk = 1024;
// A reply is read until this long passes without more of it.
constexpr int ReplyQuietMs = 1000;

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// pattern with its one "%s" replaced by text.
std::string Quoted(const std::string& pattern, const std::string& text) {
    const size_t at = pattern.find("%s");
    return pattern.substr(0, at) + text + pattern.substr(at + 2);
}

} // namespace

std::string SystemErrorMessage(int error) {
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

TOstrelClientSocket::TOstrelClientSocket(std::string host, uint32_t timeoutMs, bool stream, uint16_t port)
    : m_host(std::move(host)), m_port(port), m_socketType(stream ? SOCK_STREAM : SOCK_DGRAM),
      m_timeOut(timeoutMs) {}

TOstrelClientSocket::~TOstrelClientSocket() {
    if (m_socket >= 0)
        ::close(m_socket);
}

void TOstrelClientSocket::RaiseError(int code, const std::string& message) {
    std::string text = message;
    if (text.find(m_socketLog) == std::string::npos)
        text += "\r\nSocket log:\r\n" + m_socketLog;
    if (OnError)
        OnError(*this, code, text);
    if (Quiet)
        throw EOstrelSocketAbort(text);
    throw EOstrelSocketError(text);
}

void TOstrelClientSocket::AppendLog(const std::string& text) {
    // The log goes into error messages: it keeps the dialogue, not megabytes of attachment data.
    if (m_socketLog.size() < MaxReplySize)
        m_socketLog += text;
}

void TOstrelClientSocket::ResolveHost() {
    m_address = sockaddr_in{};
    m_address.sin_family = AF_INET;
    m_address.sin_port = htons(m_port);
    if (::inet_pton(AF_INET, m_host.c_str(), &m_address.sin_addr) == 1)
        return;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = m_socketType;
    addrinfo* found = nullptr;
    const int result = ::getaddrinfo(m_host.c_str(), nullptr, &hints, &found);
    if (result != 0 || found == nullptr) {
        // Connecting to 0.0.0.0 would reach this very computer: an unknown host is an error of its own.
        const std::string reason = result == EAI_SYSTEM ? SystemErrorMessage(errno) : ::gai_strerror(result);
        ::close(std::exchange(m_socket, -1));
        RaiseError(result, "Connection error: \"Cannot resolve \"" + m_host + "\": " + reason + "\"");
    }
    m_address.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
}

void TOstrelClientSocket::ConnectBounded() {
    // The connection is made without blocking so that a silent host costs no more than the time-out;
    // the socket is blocking again afterwards.
    const int flags = ::fcntl(m_socket, F_GETFL);
    int error = 0;
    if (flags < 0 || ::fcntl(m_socket, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = errno;
    } else if (::connect(m_socket, reinterpret_cast<const sockaddr*>(&m_address), sizeof m_address) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            const TOutsideWait outside; // for the peer, bounded
            pollfd p{m_socket, POLLOUT, 0};
            int ready;
            const int64_t deadline = NowMs() + SendTimeLeftMs(m_timeOut);
            while ((ready = ::poll(&p, 1, int(std::max<int64_t>(0, deadline - NowMs())))) < 0 &&
                   errno == EINTR) {
            }
            socklen_t size = sizeof error;
            if (ready < 0)
                error = errno;
            else if (ready == 0)
                error = ETIMEDOUT;
            else if (::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                error = errno;
        }
    }
    if (error == 0 && ::fcntl(m_socket, F_SETFL, flags) != 0)
        error = errno;
    if (error == 0) {
        // A peer that stops reading must not block a send for ever.
        timeval limit{time_t(m_timeOut / 1000), suseconds_t((m_timeOut % 1000) * 1000)};
        if (::setsockopt(m_socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0)
            error = errno;
    }
    if (error != 0) {
        ::close(std::exchange(m_socket, -1));
        RaiseError(error, Quoted("Connection error: \"%s\"", SystemErrorMessage(error)));
    }
}

void TOstrelClientSocket::Connect() {
    if (m_connected)
        return;
    m_socket = ::socket(AF_INET, m_socketType | SOCK_CLOEXEC, 0);
    if (m_socket < 0) {
        const int error = errno;
        RaiseError(error, Quoted("Invalid socket: \"%s\".", SystemErrorMessage(error)));
    }
    ResolveHost();
    StartSendClock();
    ConnectBounded();
    m_connected = true;
    m_peerClosed = false;
    char line[96];
    const auto* a = reinterpret_cast<const uint8_t*>(&m_address.sin_addr);
    std::snprintf(line, sizeof line, "Connected to %d.%d.%d.%d port %d\r\n", a[0], a[1], a[2], a[3], m_port);
    m_socketLog = line;
}

void TOstrelClientSocket::Close() {
    const int socket = std::exchange(m_socket, -1);
    m_address = sockaddr_in{};
    m_connected = false;
    m_socketLog.clear();
    if (socket >= 0 && ::close(socket) != 0) {
        const int error = errno;
        if (error != EINTR)
            RaiseError(error, Quoted("Cannot close the socket: \"%s\"", SystemErrorMessage(error)));
    }
}

size_t TOstrelClientSocket::SendBuffer(const void* buffer, size_t length) {
    if (m_socket < 0)
        RaiseError(EBADF, Quoted("Error into \"send\": \"%s\"", SystemErrorMessage(EBADF)));
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < length) {
        // A peer that stops reading holds the send no longer than the report's sending may take.
        // No time-out of its own: the sending's bound alone.
        const int64_t leftMs = SendTimeLeftMs(m_timeOut > 0 ? int64_t(m_timeOut) : SendTimeLimit().count());
        const timeval limit{time_t(leftMs / 1000), suseconds_t((leftMs % 1000) * 1000)};
        ssize_t n = -1;
        if (leftMs == 0) {
            errno = ETIMEDOUT;
        } else if (::setsockopt(m_socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0) {
            const TOutsideWait outside; // for the peer to read, bounded
            n = ::send(m_socket, bytes + done, length - done, MSG_NOSIGNAL);
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            const std::string text = leftMs == 0 || SendTimeUsedUp() ? std::string(SendTimeLimitText)
                                     : error == EAGAIN || error == EWOULDBLOCK
                                         ? std::string("Socket timeout.")
                                         : Quoted("Error into \"send\": \"%s\"", SystemErrorMessage(error));
            const std::string log = m_socketLog;
            Close();
            m_socketLog = log;
            RaiseError(error, text);
        }
        done += size_t(n);
        NoteReportProgress();
    }
    return done;
}

size_t TOstrelClientSocket::SendText(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const size_t chunk = std::min(SendChunk, text.size() - done);
        done += SendBuffer(text.data() + done, chunk);
        if (OnProgress)
            OnProgress(*this, done + 1, text.size());
    }
    return done;
}

size_t TOstrelClientSocket::BytesWaiting() {
    int waiting = 0;
    if (m_socket < 0 || ::ioctl(m_socket, FIONREAD, &waiting) != 0)
        return 0;
    return size_t(std::max(waiting, 0));
}

size_t TOstrelClientSocket::ReceiveBuffer(void* buffer, size_t length) {
    for (;;) {
        const ssize_t n = m_socket < 0 ? (errno = EBADF, -1) : ::recv(m_socket, buffer, length, 0);
        if (n >= 0) {
            NoteReportProgress();
            return size_t(n);
        }
        if (errno == EINTR)
            continue;
        const int error = errno;
        const std::string log = m_socketLog;
        Close();
        m_socketLog = log;
        RaiseError(error, Quoted("Error into \"recv\": \"%s\"", SystemErrorMessage(error)));
    }
}

bool TOstrelClientSocket::WaitReadable(int ms) {
    if (m_socket < 0)
        return false;
    pollfd p{m_socket, POLLIN, 0};
    const TOutsideWait outside; // for the peer, bounded
    const int64_t deadline = NowMs() + SendTimeLeftMs(std::max(ms, 0));
    for (;;) {
        const int ready = ::poll(&p, 1, int(std::max<int64_t>(0, deadline - NowMs())));
        if (ready >= 0)
            return ready > 0;
        if (errno != EINTR)
            return false;
    }
}

void TOstrelClientSocket::ReceiveText(std::string& text) {
    if (!WaitReadable(0))
        return;
    char buffer[4096];
    do {
        const size_t n = ReceiveBuffer(buffer, sizeof buffer);
        if (n == 0) {
            m_peerClosed = true;
            return;
        }
        const std::string part(buffer, n);
        text += part;
        AppendLog(part);
        if (text.size() > MaxReplySize)
            RaiseError(0, "Reply too long.");
        if (IsCompleteReply(text))
            return;
    } while (WaitReadable(ReplyQuietMs));
    // A reply that trickles in is cut off by the sending's bound, not taken half.
    if (SendTimeUsedUp())
        RaiseError(ETIMEDOUT, SendTimeLimitText);
}

void TOstrelClientSocket::WaitForData(std::string& text) {
    const int64_t deadline = NowMs() + m_timeOut;
    while (text.empty()) {
        const int64_t left = deadline - NowMs();
        if (left <= 0 || !WaitReadable(int(left)))
            return;
        ReceiveText(text);
        if (text.empty())
            return; // readable but empty: the peer has gone
    }
}

void TOstrelClientSocket::ReceiveTextOrTimeout(std::string& text) {
    WaitForData(text);
    if (text.empty() && SendTimeUsedUp())
        RaiseError(ETIMEDOUT, SendTimeLimitText);
    if (text.empty() && m_peerClosed)
        RaiseError(ECONNRESET, "Connection closed by the peer.");
    if (text.empty())
        RaiseError(ETIMEDOUT, "Socket timeout.");
}

} // namespace reporter
