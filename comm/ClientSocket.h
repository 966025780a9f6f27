#pragma once
// TClientSocket: the client TCP socket the Modbus master owns for RTU over TCP, always blocking.
#include <QString>
#include <cstdint>

#include "classlib/Component.h"
#include "platform/TcpClientPosix.h"

enum TClientType { ctNonBlocking, ctBlocking };

class TClientSocket : public TComponent {
    Q_OBJECT

public:
    explicit TClientSocket(TComponent* owner = nullptr);
    ~TClientSocket() override;

    QString Host;
    std::int32_t Port = 0;
    TClientType ClientType = ctBlocking;

    // Connects to Host and Port, giving up after connectTimeoutMs, or at once when wakeFd (other than -1)
    // is readable; a previous connection is closed.
    bool Open(int connectTimeoutMs, int wakeFd = -1);
    void Close();
    bool Active() const { return m_client.IsOpen(); }
    // The peer closed or reset the connection, or it failed for good; cleared by the next Open.
    bool PeerGone() const { return m_client.PeerGone(); }

    // The number of bytes sent, or -1; a connection the peer closed never raises a signal.
    int SendBuf(const void* buffer, int count);
    // The number of bytes received, 0 when the peer closed, -1 on failure.
    int ReceiveBuf(void* buffer, int count);
    // Reads what is waiting, at most count bytes, without waiting: the count, 0 when nothing waits, -1
    // when the connection failed or the peer closed it.
    int ReceiveWaiting(void* buffer, int count);
    std::optional<std::chrono::steady_clock::time_point> LastArrival() const {
        return m_client.LastArrival();
    }
    int Descriptor() const { return m_client.Descriptor(); }
    // Bytes waiting to be received; 0 when the query fails.
    int ReceiveLength() const;
    platform::TWaitResult WaitForData(int timeoutMs) const { return m_client.WaitReadable(timeoutMs); }

private:
    platform::TTcpClientPosix m_client;
};
