#pragma once

#include "tools/sim/Rtu.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vdsim {

// A fault a module can be switched to. The module does not hear a request while it is silent, dropped
// or answering exceptions; with the other faults it carries the request out and spoils the reply.
enum class TSimFaultKind {
    None,
    Silent,        // no reply
    Late,          // the reply comes Arg ms late
    BadCrc,        // the reply's CRC is wrong
    Drop,          // the connection is closed (TCP); silence on a pseudo-terminal
    WrongSlave,    // the reply carries another slave address
    Exception,     // exception Arg instead of the reply
    Short,         // the reply loses its last three bytes
    Noise,         // three bytes of line noise follow the reply
    Trailing,      // two stray bytes follow the reply
    Split,         // the reply in two halves with Arg ms of silence between them
    WrongFunction, // the reply carries another function code (good CRC)
    ShortCount,    // a read reply carries half the data its quantity needs, byte count to match
    WrongEcho,     // a write's echo carries another value
    DiagException, // diagnostics requests draw an exception (Arg); the others are served
    DiagSilent,    // diagnostics requests go unanswered; the others are served
};

struct TSimFault {
    TSimFaultKind Kind = TSimFaultKind::None;
    int Arg = 0;
    int Remaining = 0; // requests it still applies to; 0 = until switched off
    int Skip = 0;      // requests that pass unspoiled before it applies
};

// What the bus sends back for one request.
struct TSimResponse {
    TBytes Bytes; // empty: no reply
    std::chrono::milliseconds Delay{0};
    // Split > 0: the first Split bytes, SplitPause of silence, then the rest.
    std::size_t Split = 0;
    std::chrono::milliseconds SplitPause{0};
    bool Drop = false;
};

// Parses "KIND [ARG] [+SKIP] [xCOUNT]", e.g. "silent", "late 300", "exception 4 x2", "late 130 +3 x1",
// "off".
std::optional<TSimFault> ParseFault(const std::vector<std::string>& words, std::string& error);
std::string FaultText(const TSimFault& fault);

struct TSimModuleState;
// Switches a module's fault: the diagnostics faults go to the module's answer to diagnostics requests
// and stay beside any other fault; "off" ends both.
void SetModuleFault(TSimModuleState& state, const TSimFault& fault);
bool IsDiagnosticsFault(TSimFaultKind kind);

// The module hears the request under this fault.
bool FaultLetsRequestThrough(const TSimFault& fault);

// The response to a request under a fault, given the module's own reply.
TSimResponse ApplyFault(const TSimFault& fault, const TBytes& request, TBytes reply);

} // namespace vdsim
