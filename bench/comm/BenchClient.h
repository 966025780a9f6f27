#pragma once
// One client run: a number of 17-register reads with the project's master or libmodbus's RTU client.
#include <string>

namespace bench {

struct TClientRun {
    double WallSeconds = 0;
    double CpuSeconds = 0; // of this process, over the requests only
    int Failures = 0;
};

enum class TClientKind { Master, Libmodbus };

// link "pty" (endpoint = the device path) or "tcp" (endpoint = the port on 127.0.0.1).
TClientRun RunClient(TClientKind kind, const std::string& link, const std::string& endpoint, int count,
                     int address);

} // namespace bench
