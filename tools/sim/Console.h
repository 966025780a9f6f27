#pragma once

#include <string>
#include <string_view>

namespace vdsim {

class TSimulator;

// The simulator's commands, one per line (the program reads them on standard input).
struct TConsoleResult {
    std::string Output; // lines to print; "error: ..." for a refused command
    bool Quit = false;
};

TConsoleResult RunConsoleCommand(TSimulator& simulator, std::string_view line);
// Every module's state, ended by the line "end of state".
std::string DescribeAll(TSimulator& simulator);
const char* ConsoleHelp();

} // namespace vdsim
