#pragma once

#include "tools/sim/SimBus.h"
#include "tools/sim/WakePipe.h"

#include <string>
#include <thread>

namespace vdsim {

// The bus on a pseudo-terminal: the program opens the slave path as if it were a serial port. A module
// hears a request only when the terminal is set to the module's baud rate and stop bits, as on a real
// line (the kernel keeps no parity on a pseudo-terminal, so parity cannot be compared).
class TPtyTransport {
public:
    explicit TPtyTransport(TSimBus& bus); // throws std::system_error
    ~TPtyTransport();
    TPtyTransport(const TPtyTransport&) = delete;
    TPtyTransport& operator=(const TPtyTransport&) = delete;

    const std::string& SlavePath() const { return Path; }
    // The line settings the slave side is set to now.
    std::optional<TSimLineSettings> Line() const;
    void Start();
    void Stop();

private:
    TSimBus& Bus;
    int MasterFd = -1;
    int SlaveFd = -1; // kept open so that the line stays up while the program has the port closed
    std::string Path;
    TWakePipe Wake;
    std::thread Server;
};

} // namespace vdsim
