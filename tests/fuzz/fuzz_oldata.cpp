// The "OLDATA" container: parsed as it stands, and found at the end of a file through its trailer. A
// malformed container must raise EReadError or EZLibError; the options and the debug information of a
// container that parses must load (or be refused by their own readers' errors).
#include "FuzzSupport.h"
#include "ODebugData.h"
#include "OErrors.h"
#include "OLData.h"
#include "OOptions.h"

#include <vector>

namespace {

void Load(const std::vector<std::uint8_t>& container) {
    reporter::TOLData data;
    try {
        data = reporter::ParseOLData(container);
    } catch (const reporter::EReadError&) {
        return;
    } catch (const reporter::EZLibError&) {
        return;
    }
    reporter::TOstrelModuleOptions options("fuzz", false);
    const int version = reporter::OptionsDataVersion;
    try {
        reporter::LoadOptionsFromOLData(data, options);
    } catch (const reporter::EReadError&) {
    }
    fuzz::Check(reporter::OptionsDataVersion == version, "loading options left another stream version");
    if (data.DebugInfo.empty())
        return;
    try {
        const reporter::TDebugData debug(data.DebugInfo, data.Version);
        debug.Find(0, nullptr);
    } catch (const reporter::EReadError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    Load(bytes);
    const std::string file = fuzz::WriteFile("program", bytes);
    if (const auto found = reporter::FindOLData(file)) {
        fuzz::Check(found->size() <= size, "a container larger than its file");
        Load(*found);
    }
    return 0;
}
