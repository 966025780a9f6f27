// bench_debuglines: asks the packed debug data of a program (the application by default) and addr2line
// for the same code addresses, spread evenly over the code, and prints the share of those with a line
// in the DWARF data whose unit and line agree. Goal: at least 99 %.
//   bench_debuglines [--count N] [--show K] [FILE]
#include "ODebugData.h"
#include "OLData.h"
#include "tests/support/LineOracle.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

using namespace reporter;

int main(int argc, char** argv) {
    std::string file = DEBUGLINES_PROGRAM;
    size_t count = 4000;
    size_t show = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--count" && i + 1 < argc)
            count = std::strtoul(argv[++i], nullptr, 10);
        else if (arg == "--show" && i + 1 < argc)
            show = std::strtoul(argv[++i], nullptr, 10);
        else
            file = arg;
    }
    try {
        const auto container = FindOLData(file);
        if (!container) {
            std::fprintf(stderr, "%s carries no packed debug data\n", file.c_str());
            return 1;
        }
        const TOLData data = ParseOLData(*container);
        const TDebugData debug(data.DebugInfo, data.Version);
        // The program's lowest segment starts at 0, so its virtual addresses are the packed offsets.
        const auto lookup = [&](uint64_t address) -> std::optional<testtools::TSourcePosition> {
            const std::optional<TDebugLocation> at = debug.Find(uint32_t(address), nullptr);
            if (!at)
                return std::nullopt;
            return testtools::TSourcePosition{at->Unit, at->Line};
        };
        const testtools::TLineAgreement result =
            testtools::CompareWithAddr2line(file, testtools::SampleCodeAddresses(file, count), lookup);
        std::printf("%s\n", file.c_str());
        std::printf("addresses asked:            %zu\n", result.Asked);
        std::printf("with a line in the DWARF:   %zu\n", result.WithLine);
        std::printf("unit and line agree:        %zu (%.2f %%, goal >= 99 %%)\n", result.Agree,
                    100.0 * result.Share());
        std::printf("  of those, addr2line names the unit's own source for a header line: %zu\n",
                    result.OwnFileNamed);
        for (size_t i = 0; i < result.Disagreements.size() && i < show; ++i) {
            const testtools::TLineDisagreement& d = result.Disagreements[i];
            std::printf("  %#llx: packed %s, addr2line %s\n", static_cast<unsigned long long>(d.Address),
                        d.Packed.empty() ? "-" : d.Packed.c_str(), d.Oracle.c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", file.c_str(), e.what());
        return 1;
    }
    return 0;
}
