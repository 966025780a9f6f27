#pragma once
// The reporter's small blocking socket client: what the SMTP dialogue and the DNS query need and nothing
// more. Every failure raises EOstrelSocketError whose message ends with the conversation so far.
#include "OErrors.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <netinet/in.h>
#include <string>

namespace reporter {

class EOstrelSocketError : public Exception {
    using Exception::Exception;
};

// What a quiet client raises: the caller learns of the failure only through the error event.
class EOstrelSocketAbort : public EOstrelSocketError {
    using EOstrelSocketError::EOstrelSocketError;
};

class TOstrelClientSocket {
public:
    // A stream (TCP) or datagram (UDP) client of host:port; timeoutMs bounds connecting and waiting.
    TOstrelClientSocket(std::string host, uint32_t timeoutMs, bool stream, uint16_t port);
    virtual ~TOstrelClientSocket();
    TOstrelClientSocket(const TOstrelClientSocket&) = delete;
    TOstrelClientSocket& operator=(const TOstrelClientSocket&) = delete;

    // Does nothing when already connected.
    virtual void Connect();
    virtual void Close();

    size_t SendBuffer(const void* buffer, size_t length);
    // In chunks of at most 1024 bytes, announcing each to OnProgress.
    size_t SendText(const std::string& text);
    size_t ReceiveBuffer(void* buffer, size_t length);
    // Bytes waiting to be read.
    size_t BytesWaiting();
    // Appends what is waiting and what follows within a second (or until the reply is complete).
    void ReceiveText(std::string& text);
    // Waits up to the time-out for text; empty when none came.
    void WaitForData(std::string& text);
    void ReceiveTextOrTimeout(std::string& text);
    // Waits up to ms milliseconds until something can be read.
    bool WaitReadable(int ms);

    bool Connected() const { return m_connected; }
    const std::string& SocketLog() const { return m_socketLog; }
    const std::string& Host() const { return m_host; }
    uint16_t Port() const { return m_port; }
    uint32_t TimeOut() const { return m_timeOut; }

    std::function<void(TOstrelClientSocket& sender, int code, const std::string& message)> OnError;
    std::function<void(TOstrelClientSocket& sender, size_t position, size_t total)> OnProgress;
    bool Quiet = false;

    // The largest reply kept: a peer that never stops talking must not fill the memory.
    static constexpr size_t MaxReplySize = 1 << 20;

protected:
    [[noreturn]] void RaiseError(int code, const std::string& message);
    void AppendLog(const std::string& text);
    // A reply known to be complete ends the wait for more at once.
    virtual bool IsCompleteReply(const std::string&) const { return false; }

private:
    void ResolveHost();
    void ConnectBounded();

    sockaddr_in m_address{};
    std::string m_host;
    uint16_t m_port;
    int m_socketType;
    uint32_t m_timeOut;
    bool m_connected = false;
    bool m_peerClosed = false;
    int m_socket = -1;
    std::string m_socketLog;
};

// The system's message for an error number.
std::string SystemErrorMessage(int error);

} // namespace reporter
