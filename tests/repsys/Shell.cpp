#include "Shell.h"

#include <cstdio>
#include <sys/wait.h>

namespace repsys {

TShellResult Shell(const std::string& command) {
    TShellResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.Output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    while (!result.Output.empty() && (result.Output.back() == '\n' || result.Output.back() == '\r'))
        result.Output.pop_back();
    return result;
}

bool HasTool(const std::string& name) {
    return Shell("command -v " + name + " >/dev/null 2>&1").ExitCode == 0;
}

} // namespace repsys
