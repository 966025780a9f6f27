#include "comm/ModbusTransport.h"

#include <array>

#include "comm/ClientSocket.h"
#include "comm/SerialComm.h"

bool TModbusSerialTransport::Open(int) {
    return m_port.Open();
}

void TModbusSerialTransport::Close() {
    if (m_port.Handle >= 0)
        m_port.Close();
}

void TModbusSerialTransport::Discard() {
    // A port that cannot flush is closed or failed; the send that follows reports it.
    m_port.Discard();
}

bool TModbusSerialTransport::Send(const std::uint8_t* data, int count) {
    return m_port.Write(data, count);
}

int TModbusSerialTransport::ReadWaiting(std::uint8_t* data, int max) {
    return m_port.ReadWaiting(data, max);
}

int TModbusSerialTransport::ReadUnasked(std::uint8_t* data, int max) {
    return m_port.ReadAvailable(data, max);
}

platform::TWaitResult TModbusSerialTransport::WaitForData(int timeoutMs) {
    return m_port.WaitForData(timeoutMs);
}

platform::TWaitResult TModbusSerialTransport::WaitForDataOrWake(int timeoutMs, int wakeFd) {
    return m_port.WaitForData(timeoutMs, wakeFd);
}

bool TModbusSerialTransport::Gone() const {
    return m_port.Gone();
}

bool TModbusTcpTransport::Open(int timeoutMs) {
    return OpenOrWake(timeoutMs, -1);
}

bool TModbusTcpTransport::OpenOrWake(int timeoutMs, int wakeFd) {
    m_hungUp = false;
    // The connect is bounded by the reply timeout, so an unreachable host cannot freeze the caller.
    return m_socket.Open(timeoutMs > 0 ? timeoutMs : 1, wakeFd) && m_socket.Active();
}

void TModbusTcpTransport::Close() {
    m_socket.Close();
}

void TModbusTcpTransport::Discard() {
    // Bounded: a peer that keeps sending cannot hold the master here.
    std::array<std::uint8_t, 256> sink{};
    for (int round = 0; round < 64; ++round)
        if (m_socket.ReceiveWaiting(sink.data(), int(sink.size())) < int(sink.size()))
            return;
}

bool TModbusTcpTransport::Send(const std::uint8_t* data, int count) {
    return m_socket.SendBuf(data, count) == count;
}

int TModbusTcpTransport::ReadWaiting(std::uint8_t* data, int max) {
    return m_socket.ReceiveWaiting(data, max);
}

std::optional<std::chrono::steady_clock::time_point> TModbusTcpTransport::LastArrival() const {
    return m_socket.LastArrival();
}

platform::TWaitResult TModbusTcpTransport::WaitForData(int timeoutMs) {
    return WaitForDataOrWake(timeoutMs, -1);
}

platform::TWaitResult TModbusTcpTransport::WaitForDataOrWake(int timeoutMs, int wakeFd) {
    // A plain poll: the end of the stream shows as input, and the read that follows finds it.
    const platform::TWaitResult result =
        platform::WaitReadableOrWoken(m_socket.Descriptor(), wakeFd, timeoutMs);
    if (result == platform::TWaitResult::Closed && m_socket.Active())
        m_hungUp = true;
    return result;
}

bool TModbusTcpTransport::Gone() const {
    return m_hungUp || m_socket.PeerGone();
}
