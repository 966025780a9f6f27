#include "comm/ModbusTransport.h"

#include "comm/ClientSocket.h"
#include "comm/SerialComm.h"

bool TModbusSerialTransport::Open(int) {
    return m_port.Open();
}

void TModbusSerialTransport::Close() {
    if (m_port.Handle >= 0)
        m_port.Close();
}

bool TModbusSerialTransport::Send(const std::uint8_t* data, int count) {
    return m_port.Write(data, count);
}

int TModbusSerialTransport::BytesWaiting() {
    return m_port.BytesInQueue();
}

bool TModbusSerialTransport::ReadByte(std::uint8_t& value) {
    return m_port.Read(&value, 1);
}

platform::TWaitResult TModbusSerialTransport::WaitForData(int timeoutMs) {
    return m_port.WaitForData(timeoutMs);
}

bool TModbusTcpTransport::Open(int timeoutMs) {
    // The connect is bounded by the reply timeout, so an unreachable host cannot freeze the caller.
    return m_socket.Open(timeoutMs > 0 ? timeoutMs : 1) && m_socket.Active();
}

void TModbusTcpTransport::Close() {
    m_socket.Close();
}

bool TModbusTcpTransport::Send(const std::uint8_t* data, int count) {
    return m_socket.SendBuf(data, count) == count;
}

int TModbusTcpTransport::BytesWaiting() {
    return m_socket.ReceiveLength();
}

bool TModbusTcpTransport::ReadByte(std::uint8_t& value) {
    return m_socket.ReceiveBuf(&value, 1) == 1;
}

platform::TWaitResult TModbusTcpTransport::WaitForData(int timeoutMs) {
    return m_socket.WaitForData(timeoutMs);
}
