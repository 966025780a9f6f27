#include "tools/sim/CommandLine.h"

#include <charconv>

namespace vdsim {

namespace {

bool Number(const std::string& text, int& value) {
    const auto* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1) {
        parts.push_back(text.substr(start, at - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

} // namespace

const char* UsageText() {
    return "usage: vexadaxo-sim [options]\n"
           "Simulates remote I/O modules on a Modbus RTU bus, over TCP and on a pseudo-terminal.\n"
           "\n"
           "options:\n"
           "  --module ADDR:MODEL    a module at slave address ADDR with model code MODEL (repeatable;\n"
           "                         default --module 1:0), e.g. --module 1:0 --module 2:62 --module 3:63\n"
           "  --host HOST            TCP address to listen on (default 127.0.0.1)\n"
           "  --port PORT            TCP port (default 9001; 0 picks a free port)\n"
           "  --no-tcp               do not serve TCP\n"
           "  --pty                  also serve on a pseudo-terminal\n"
           "  --fault ADDR:KIND[:ARG][:xCOUNT]\n"
           "                         start with a fault on the module at ADDR (kinds as for the fault "
           "command)\n"
           "  --no-factory ADDR      the module at ADDR does not answer at the factory address 247\n"
           "  --still                live values keep still\n"
           "  --help                 this text\n"
           "\n"
           "On start it prints \"TCP HOST:PORT\" and/or \"PTY PATH\", then \"READY\".\n"
           "Every module also answers at 247 unless told otherwise (the first such module in order);\n"
           "an energy meter (model 100) answers its second line at its address + 2.\n"
           "On the pseudo-terminal a module hears only requests sent with its baud rate and stop bits\n"
           "(the kernel keeps no parity there).\n"
           "SIGUSR1 prints every module's state; SIGINT or SIGTERM stops.\n"
           "\n"
           "Standard input takes these commands, one a line.\n";
}

TSimCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    TSimCommandLine result;
    auto fail = [&](const std::string& text) {
        result.Error = text;
        return result;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (option == "--help" || option == "-h") {
            result.Help = true;
        } else if (option == "--no-tcp") {
            result.Options.Tcp = false;
        } else if (option == "--pty") {
            result.Options.Pty = true;
        } else if (option == "--still") {
            result.Options.Still = true;
        } else if (!hasValue) {
            return fail(option == "--module" || option == "--host" || option == "--port" ||
                                option == "--fault" || option == "--no-factory"
                            ? "option " + option + " needs a value"
                            : "unknown option " + option);
        } else if (option == "--module") {
            const auto parts = Split(arguments[++i], ':');
            TSimModuleDef moduleDef;
            if (parts.size() != 2 || !Number(parts[0], moduleDef.Address) ||
                !Number(parts[1], moduleDef.ModelCode)) {
                return fail("--module wants ADDR:MODEL, not " + arguments[i]);
            }
            result.Options.Modules.push_back(moduleDef);
        } else if (option == "--host") {
            result.Options.Host = arguments[++i];
        } else if (option == "--port") {
            if (!Number(arguments[++i], result.Options.Port) || result.Options.Port < 0 ||
                result.Options.Port > 65535) {
                return fail("--port wants 0..65535, not " + arguments[i]);
            }
        } else if (option == "--fault") {
            auto parts = Split(arguments[++i], ':');
            int address = 0;
            if (parts.size() < 2 || !Number(parts[0], address)) {
                return fail("--fault wants ADDR:KIND[:ARG][:xCOUNT], not " + arguments[i]);
            }
            std::string error;
            const auto fault = ParseFault({parts.begin() + 1, parts.end()}, error);
            if (!fault) {
                return fail("--fault " + arguments[i] + ": " + error);
            }
            result.Faults.emplace_back(address, *fault);
        } else if (option == "--no-factory") {
            int address = 0;
            if (!Number(arguments[++i], address)) {
                return fail("--no-factory wants an address, not " + arguments[i]);
            }
            result.NoFactory.push_back(address);
        } else {
            return fail("unknown option " + option);
        }
    }
    if (result.Options.Modules.empty()) {
        result.Options.Modules.push_back({1, 0});
    }
    if (!result.Options.Tcp && !result.Options.Pty && !result.Help) {
        return fail("nothing to serve: --no-tcp without --pty");
    }
    return result;
}

} // namespace vdsim
