#pragma once

#include "tools/sim/SimBus.h"
#include "tools/sim/WakePipe.h"

#include <atomic>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace vdsim {

// Modbus RTU frames over TCP: listens on host:port and serves every connection on its own thread.
class TTcpTransport {
public:
    // Binds and listens at once (port 0: the kernel picks one). Throws std::system_error.
    TTcpTransport(TSimBus& bus, const std::string& host, int port);
    ~TTcpTransport();
    TTcpTransport(const TTcpTransport&) = delete;
    TTcpTransport& operator=(const TTcpTransport&) = delete;

    int Port() const { return BoundPort; }
    std::string Host() const { return BoundHost; }
    std::uint64_t Connections() const { return Accepted; }
    void Start();
    void Stop();

private:
    struct TConnection {
        int Fd = -1;
        std::thread Thread;
        std::atomic<bool> Done{false};
    };

    void AcceptLoop();
    void Reap(bool all);

    TSimBus& Bus;
    int ListenFd = -1;
    int BoundPort = 0;
    std::string BoundHost;
    TWakePipe Wake;
    std::thread Acceptor;
    std::mutex ConnectionsLock;
    std::list<TConnection> Connections_;
    std::atomic<std::uint64_t> Accepted{0};
    bool Started = false;
};

} // namespace vdsim
