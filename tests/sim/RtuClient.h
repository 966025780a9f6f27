#pragma once

#include "tools/sim/Rtu.h"

#include <cstdint>
#include <vector>

namespace simtest {

using vdsim::TBytes;

// A bare Modbus RTU client for the simulator's tests: hand-built frames over a real TCP socket or a
// pseudo-terminal, with a reply reader that knows the reply lengths of functions 1 to 6.
class TRtuClient {
public:
    static TRtuClient Tcp(int port);
    explicit TRtuClient(int fd) : Fd(fd) {}
    TRtuClient(TRtuClient&& other) noexcept : Fd(other.Fd) { other.Fd = -1; }
    TRtuClient(const TRtuClient&) = delete;
    ~TRtuClient();

    void Send(const TBytes& frame) const;
    // The reply: complete by its length, or whatever came before a 100 ms silence; empty when nothing
    // arrived within `timeoutMs`.
    TBytes Receive(int timeoutMs = 2000) const;
    TBytes Transact(const TBytes& request, int timeoutMs = 2000) const {
        Send(request);
        return Receive(timeoutMs);
    }
    // The peer closed the connection within `timeoutMs`.
    bool PeerClosed(int timeoutMs) const;

private:
    int Fd = -1;
};

TBytes Request(int slave, int function, int address, int value);
// Register values of a function 3 or 4 reply; bits of a function 1 or 2 reply.
std::vector<std::uint16_t> RegistersOf(const TBytes& reply);
std::vector<int> BitsOf(const TBytes& reply, int count);
// The exception code of an exception reply, 0 for a normal one.
int ExceptionOf(const TBytes& reply);

} // namespace simtest
