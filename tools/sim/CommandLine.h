#pragma once

#include "tools/sim/SimFault.h"
#include "tools/sim/Simulator.h"

#include <string>
#include <utility>
#include <vector>

namespace vdsim {

struct TSimCommandLine {
    TSimOptions Options;
    std::vector<std::pair<int, TSimFault>> Faults; // by module address
    std::vector<int> NoFactory;                    // module addresses that do not answer at 247
    bool Help = false;
    std::string Error; // non-empty: the arguments were refused
};

TSimCommandLine ParseCommandLine(const std::vector<std::string>& arguments);
const char* UsageText();

} // namespace vdsim
