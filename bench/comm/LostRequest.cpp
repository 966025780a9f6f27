#include "bench/comm/LostRequest.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "comm/ModbusCrc.h"
#include "comm/ModbusSerialTCPMaster.h"

namespace bench {

namespace {

void AppendCrc(std::vector<std::uint8_t>& frame) {
    const std::uint16_t crc = ModbusCrc16(frame);
    frame.push_back(std::uint8_t(crc & 0xFF));
    frame.push_back(std::uint8_t(crc >> 8));
}

// Reads 8-byte requests one after the other and answers each before it reads the next: reads of
// holding registers with zeros, diagnostics with their echo. The request numbered `lose` (from 0, data
// requests only) is dropped as if it never arrived.
class TInOrderSlave {
public:
    explicit TInOrderSlave(int lose) : m_lose(lose) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof at;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
            ::listen(m_listener, 1) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&at), &length) != 0)
            return;
        m_port = ntohs(at.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~TInOrderSlave() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            ::close(m_listener);
    }
    TInOrderSlave(const TInOrderSlave&) = delete;
    TInOrderSlave& operator=(const TInOrderSlave&) = delete;
    int Port() const { return m_port; }

private:
    // Waits for input in short slices so that the destructor's stop is seen.
    bool Readable(int fd) {
        while (!m_stop) {
            pollfd p{fd, POLLIN, 0};
            const int rc = ::poll(&p, 1, 20);
            if (rc > 0)
                return true;
            if (rc < 0 && errno != EINTR)
                return false;
        }
        return false;
    }
    void Serve() {
        if (!Readable(m_listener))
            return;
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::vector<std::uint8_t> pending;
        int data = 0;
        std::uint8_t chunk[256];
        while (Readable(fd)) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            pending.insert(pending.end(), chunk, chunk + n);
            while (pending.size() >= 8) {
                std::vector<std::uint8_t> request(pending.begin(), pending.begin() + 8);
                pending.erase(pending.begin(), pending.begin() + 8);
                std::vector<std::uint8_t> reply;
                if (request[1] == 8) {
                    reply = request;
                } else if (data++ != m_lose) {
                    const int quantity = request[4] * 256 + request[5];
                    reply = {request[0], 3, std::uint8_t(2 * quantity)};
                    reply.resize(3 + std::size_t(2 * quantity), 0);
                    AppendCrc(reply);
                }
                if (!reply.empty() && ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) < 0)
                    break;
            }
        }
        ::close(fd);
    }

    int m_lose;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct TRun {
    double Seconds = 0;
    int Failed = 0;
    int Fences = 0;
};

TRun Run(int timeoutMs, int retries, int reads, int lose) {
    TInOrderSlave slave(lose);
    TRun run;
    if (slave.Port() == 0)
        return run;
    TModbusSerialTCPMaster master;
    master.ConnectionType = 1;
    master.Socket->Host = QStringLiteral("127.0.0.1");
    master.Socket->Port = slave.Port();
    master.Timeout = timeoutMs;
    master.Retries = retries;
    if (!master.Connect())
        return run;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < reads; ++i)
        if (!master.ReadHoldingRegisters(1, 512, 17))
            ++run.Failed;
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.Fences = int(master.Counts().Fences);
    return run;
}

} // namespace

TLostCost MeasureLostRequest(int timeoutMs, int retries, int reads) {
    TLostCost cost;
    const TRun healthy = Run(timeoutMs, retries, reads, -1);
    const TRun lost = Run(timeoutMs, retries, reads, reads / 2);
    if (healthy.Seconds <= 0 || lost.Seconds <= 0)
        return cost;
    cost.Ratio = (lost.Seconds - healthy.Seconds) / (timeoutMs * 1e-3);
    cost.Failed = lost.Failed;
    cost.Fences = lost.Fences;
    return cost;
}

} // namespace bench
