#pragma once
// Running the system's own tools as oracles.
#include <string>

namespace repsys {

struct TShellResult {
    int ExitCode = -1;
    std::string Output; // standard output, trailing line break removed
};

// Runs the command through /bin/sh.
TShellResult Shell(const std::string& command);
// The tool can be found on the PATH.
bool HasTool(const std::string& name);

} // namespace repsys
