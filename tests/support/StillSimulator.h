#pragma once
// A simulator started on 127.0.0.1 at a port the kernel picks, its live values kept still, for the tests
// that drive the program or the master against modules.
#include "tools/sim/Simulator.h"
#include <memory>
#include <vector>

inline std::unique_ptr<vdsim::TSimulator> StartStillSimulator(std::vector<vdsim::TSimModuleDef> modules) {
    vdsim::TSimOptions options;
    options.Modules = std::move(modules);
    options.Port = 0;
    options.Still = true;
    auto sim = std::make_unique<vdsim::TSimulator>(options);
    sim->Start();
    return sim;
}
