#pragma once

#include "tools/sim/SimModule.h"

#include <string>

namespace vdsim {

// A module's state as text lines for a person (the simulator's "state" command).
std::string DescribeModule(std::size_t index, const TSimModuleState& state);

} // namespace vdsim
