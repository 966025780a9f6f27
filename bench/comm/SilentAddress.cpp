#include "bench/comm/SilentAddress.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "comm/ModbusSerialTCPMaster.h"

namespace bench {

namespace {

// A listening socket on 127.0.0.1 that is never read: the kernel completes the connection, and every
// request sent to it goes unanswered.
class TDeafListener {
public:
    TDeafListener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof at;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
            ::listen(m_fd, 1) != 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&at), &length) != 0)
            return;
        m_port = ntohs(at.sin_port);
    }
    ~TDeafListener() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TDeafListener(const TDeafListener&) = delete;
    TDeafListener& operator=(const TDeafListener&) = delete;
    int Port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

} // namespace

TSilentCost MeasureSilentAddresses(int timeoutMs, int retries, int addresses, bool sameAddress) {
    const TDeafListener deaf;
    TSilentCost cost;
    if (deaf.Port() == 0 || addresses <= 0)
        return cost;
    TModbusSerialTCPMaster master;
    master.ConnectionType = 1;
    master.Socket->Host = QStringLiteral("127.0.0.1");
    master.Socket->Port = deaf.Port();
    master.Timeout = timeoutMs;
    master.Retries = retries;
    if (!master.Connect())
        return cost;
    const auto start = std::chrono::steady_clock::now();
    for (int a = 0; a < addresses; ++a)
        if (master.ReadHoldingRegisters(sameAddress ? 1 : 1 + a, 512, 17))
            ++cost.Answered;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cost.Ratio = seconds / addresses / ((retries + 1) * timeoutMs * 1e-3);
    return cost;
}

} // namespace bench
