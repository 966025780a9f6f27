#pragma once
// The line under the Modbus master. The master builds, sends, receives and checks the same RTU frames
// on either line; these two small backends are the only place where the serial line and TCP differ.
#include <chrono>
#include <cstdint>
#include <optional>

#include "platform/DescriptorWaitPosix.h"

class TSerialComm;
class TClientSocket;

class TModbusTransport {
public:
    virtual ~TModbusTransport() = default;
    virtual bool Open(int timeoutMs) = 0;
    // As Open, and gives up at once when wakeFd is readable (where the open can wait).
    virtual bool OpenOrWake(int timeoutMs, int wakeFd) {
        static_cast<void>(wakeFd);
        return Open(timeoutMs);
    }
    virtual void Close() = 0;
    // Drops whatever waits on the line unasked (a late reply, stray bytes).
    virtual void Discard() = 0;
    // True only when every byte went.
    virtual bool Send(const std::uint8_t* data, int count) = 0;
    // Reads what is waiting, at most max bytes, without waiting: the count, 0 when nothing waits, -1
    // when the line failed or the peer hung up.
    virtual int ReadWaiting(std::uint8_t* data, int max) = 0;
    // Reads what arrived unasked before a send, at most max bytes, without waiting and in as few calls
    // as the line allows: the count, or -1 when the line failed.
    virtual int ReadUnasked(std::uint8_t* data, int max) { return ReadWaiting(data, max); }
    // When the bytes of the last ReadWaiting reached the machine, where the line can tell; none where
    // only the reader's clock can.
    virtual std::optional<std::chrono::steady_clock::time_point> LastArrival() const { return std::nullopt; }
    // Sleeps until input arrives, the peer hangs up or timeoutMs pass.
    virtual platform::TWaitResult WaitForData(int timeoutMs) = 0;
    // As WaitForData, and ends with Woken as soon as wakeFd is readable. A line without a descriptor of
    // its own cannot be woken and just waits.
    virtual platform::TWaitResult WaitForDataOrWake(int timeoutMs, int wakeFd) {
        static_cast<void>(wakeFd);
        return WaitForData(timeoutMs);
    }
    // The line is gone (the peer closed or reset the connection, the device went away): only opening
    // it again can make it work.
    virtual bool Gone() const { return false; }
    // Answers a slave still owed before the line was closed can arrive after it is opened again: a bus
    // carries on whatever the port does, a new connection carries nothing of the old one.
    virtual bool CarriesOldAnswers() const { return true; }
};

class TModbusSerialTransport final : public TModbusTransport {
public:
    explicit TModbusSerialTransport(TSerialComm& port) : m_port(port) {}
    bool Open(int timeoutMs) override;
    void Close() override;
    void Discard() override;
    bool Send(const std::uint8_t* data, int count) override;
    int ReadWaiting(std::uint8_t* data, int max) override;
    int ReadUnasked(std::uint8_t* data, int max) override;
    platform::TWaitResult WaitForData(int timeoutMs) override;
    platform::TWaitResult WaitForDataOrWake(int timeoutMs, int wakeFd) override;
    bool Gone() const override;

private:
    TSerialComm& m_port;
};

class TModbusTcpTransport final : public TModbusTransport {
public:
    explicit TModbusTcpTransport(TClientSocket& socket) : m_socket(socket) {}
    bool Open(int timeoutMs) override;
    bool OpenOrWake(int timeoutMs, int wakeFd) override;
    void Close() override;
    void Discard() override;
    bool Send(const std::uint8_t* data, int count) override;
    int ReadWaiting(std::uint8_t* data, int max) override;
    std::optional<std::chrono::steady_clock::time_point> LastArrival() const override;
    platform::TWaitResult WaitForData(int timeoutMs) override;
    platform::TWaitResult WaitForDataOrWake(int timeoutMs, int wakeFd) override;
    bool Gone() const override;
    bool CarriesOldAnswers() const override { return false; }

private:
    TClientSocket& m_socket;
    bool m_hungUp = false; // a wait saw the connection end
};
