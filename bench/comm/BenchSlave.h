#pragma once
// The one slave both masters talk to: libmodbus's RTU server in a child process, on the master side of a
// pseudo-terminal or on TCP connections to 127.0.0.1 carrying the same RTU frames.
#include <string>
#include <sys/types.h>

namespace bench {

// Reads of this holding register are answered LateReplyMs late.
inline constexpr int LateRegister = 600;
inline constexpr int LateReplyMs = 200;

class TBenchSlave {
public:
    enum class TLink { Pty, Tcp };
    explicit TBenchSlave(TLink link); // throws std::runtime_error
    ~TBenchSlave();
    TBenchSlave(const TBenchSlave&) = delete;
    TBenchSlave& operator=(const TBenchSlave&) = delete;

    // The pseudo-terminal's path, or the TCP port as text.
    const std::string& Endpoint() const { return m_endpoint; }

private:
    std::string m_endpoint;
    pid_t m_child = -1;
};

} // namespace bench
