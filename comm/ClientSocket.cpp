#include "comm/ClientSocket.h"

TClientSocket::TClientSocket(TComponent* owner) : TComponent(owner) {}

TClientSocket::~TClientSocket() = default;

bool TClientSocket::Open(int connectTimeoutMs, int wakeFd) {
    return m_client.Connect(Host.trimmed().toStdString(), Port, connectTimeoutMs, wakeFd);
}

void TClientSocket::Close() {
    m_client.Close();
}

int TClientSocket::SendBuf(const void* buffer, int count) {
    if (count < 0)
        return -1;
    return m_client.SendAll(buffer, std::size_t(count)) ? count : -1;
}

int TClientSocket::ReceiveBuf(void* buffer, int count) {
    if (count < 0)
        return -1;
    return int(m_client.Receive(buffer, std::size_t(count)));
}

int TClientSocket::ReceiveWaiting(void* buffer, int count) {
    if (count < 0)
        return -1;
    return m_client.ReceiveWaiting(buffer, std::size_t(count));
}

int TClientSocket::ReceiveLength() const {
    const int count = m_client.BytesWaiting();
    return count > 0 ? count : 0;
}
