#pragma once
// Tests that end their process (an uncaught exception, a fault signal, a restart) run in a child: the
// test binary runs itself again with "--child <scenario>", and its main hands that name to
// RunChildScenario.
#include <string>
#include <vector>

namespace testtools {

struct TChildResult {
    bool Exited = false;
    int ExitCode = -1;
    bool Signalled = false;
    int Signal = 0;
    std::string Output; // standard output and standard error
};

// Runs this binary with "--child <scenario>" and waits for it and for every process that inherited its
// output (at most 30 s). Each "NAME=value" of environment replaces that variable in the child.
TChildResult RunChild(const std::string& scenario, const std::vector<std::string>& environment = {});
// The same with a copy of this binary (a program file of its own that the scenario may replace).
TChildResult RunChildOf(const std::string& program, const std::string& scenario,
                        const std::vector<std::string>& environment = {});
// Runs the scenario named on the command line; false when there is none of that name.
bool RunChildScenario(const std::string& scenario);
// Registers a scenario (at static initialisation).
struct TChildScenario {
    TChildScenario(const char* name, void (*body)());
};

} // namespace testtools
