#include "tools/sim/Console.h"

#include "tools/sim/Simulator.h"
#include "tools/sim/StateText.h"

#include <charconv>
#include <sstream>
#include <vector>

namespace vdsim {

namespace {

std::vector<std::string> Words(std::string_view line) {
    std::istringstream in{std::string(line)};
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

bool Number(const std::string& text, int& value) {
    const auto* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

std::optional<TSimTable> TableOf(const std::string& name) {
    if (name == "coil") {
        return TSimTable::Coil;
    }
    if (name == "input") {
        return TSimTable::DiscreteInput;
    }
    if (name == "holding") {
        return TSimTable::Holding;
    }
    if (name == "inputreg") {
        return TSimTable::InputRegister;
    }
    return std::nullopt;
}

TConsoleResult Error(const std::string& text) {
    return {"error: " + text + "\n", false};
}

} // namespace

const char* ConsoleHelp() {
    return "commands:\n"
           "  state [ADDR]                     print every module's state (or one module's)\n"
           "  fault ADDR KIND [ARG] [+SKIP] [xCOUNT]\n"
           "                                   switch a fault on the module at ADDR; KIND: off, silent,\n"
           "                                   late [MS], crc, drop, wrongslave, exception [CODE], short,\n"
           "                                   noise, trailing, split [MS], wrongfunction, shortcount,\n"
           "                                   wrongecho, diagexception [CODE], diagsilent; +SKIP:\n"
           "                                   after SKIP requests; xCOUNT: only for the next COUNT\n"
           "                                   requests. The diag faults refuse or ignore diagnostics\n"
           "                                   requests and serve the others. A silent,\n"
           "                                   dropped or exception-answering module does not hear the\n"
           "                                   request; the other faults spoil its reply\n"
           "  factory ADDR on|off              whether the module also answers at address 247\n"
           "  still on|off                     stop or restart the movement of live values\n"
           "  set ADDR TABLE WIRE VALUE        set a coil or register as the module itself would;\n"
           "                                   TABLE: coil, input, holding, inputreg\n"
           "  quit                             stop the simulator\n";
}

std::string DescribeAll(TSimulator& simulator) {
    std::string text;
    for (std::size_t i = 0; i < simulator.ModuleCount(); ++i) {
        text += DescribeModule(i, simulator.State(i));
    }
    return text + "end of state\n";
}

TConsoleResult RunConsoleCommand(TSimulator& simulator, std::string_view line) {
    const std::vector<std::string> words = Words(line);
    if (words.empty()) {
        return {};
    }
    const std::string& command = words[0];
    if (command == "quit" || command == "exit") {
        return {"", true};
    }
    if (command == "help") {
        return {ConsoleHelp(), false};
    }
    if (command == "still") {
        if (words.size() != 2 || (words[1] != "on" && words[1] != "off")) {
            return Error("usage: still on|off");
        }
        simulator.SetStill(words[1] == "on");
        return {"ok\n", false};
    }
    if (command == "state" && words.size() == 1) {
        return {DescribeAll(simulator), false};
    }
    if (command != "state" && command != "fault" && command != "factory" && command != "set") {
        return Error("unknown command '" + command + "' (try help)");
    }
    int address = 0;
    if (words.size() < 2 || !Number(words[1], address)) {
        return Error("usage: " + command + " ADDR ...");
    }
    const auto index = simulator.FindModule(address);
    if (!index) {
        return Error("no module at address " + words[1]);
    }
    if (command == "state") {
        return {DescribeModule(*index, simulator.State(*index)) + "end of state\n", false};
    }
    if (command == "fault") {
        std::string error;
        const auto fault = ParseFault({words.begin() + 2, words.end()}, error);
        if (!fault) {
            return Error(error);
        }
        simulator.SetFault(*index, *fault);
        return {"fault " + words[1] + " " + FaultText(*fault) + "\n", false};
    }
    if (command == "factory") {
        if (words.size() != 3 || (words[2] != "on" && words[2] != "off")) {
            return Error("usage: factory ADDR on|off");
        }
        simulator.SetFactoryAnswer(*index, words[2] == "on");
        return {"ok\n", false};
    }
    // set ADDR TABLE WIRE VALUE
    int wire = 0;
    int value = 0;
    const auto table = words.size() == 5 ? TableOf(words[2]) : std::nullopt;
    if (!table || !Number(words[3], wire) || !Number(words[4], value) || wire < 0 || wire > 0xFFFF ||
        value < 0 || value > 0xFFFF) {
        return Error("usage: set ADDR coil|input|holding|inputreg WIRE VALUE");
    }
    const std::uint8_t code = simulator.WithModule(*index, [&](TSimModule& module) {
        return module.Poke(*table, static_cast<std::uint16_t>(wire), static_cast<std::uint16_t>(value));
    });
    if (code != 0) {
        return Error("no such coil or register on this module");
    }
    return {"ok\n", false};
}

} // namespace vdsim
