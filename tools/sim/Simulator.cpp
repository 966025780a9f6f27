#include "tools/sim/Simulator.h"

#include "tools/sim/PtyTransport.h"
#include "tools/sim/TcpTransport.h"

namespace vdsim {

TSimulator::TSimulator(const TSimOptions& options) : Options(options) {
    for (const TSimModuleDef& moduleDef : Options.Modules) {
        Bus_.AddModule(moduleDef.Address, moduleDef.ModelCode);
    }
    Bus_.SetStill(Options.Still);
}

TSimulator::~TSimulator() {
    Stop();
}

void TSimulator::Start() {
    if (Options.Tcp && !Tcp) {
        Tcp = std::make_unique<TTcpTransport>(Bus_, Options.Host, Options.Port);
        Tcp->Start();
    }
    if (Options.Pty && !Pty) {
        Pty = std::make_unique<TPtyTransport>(Bus_);
        Pty->Start();
    }
}

void TSimulator::Stop() {
    if (Tcp) {
        Tcp->Stop();
    }
    if (Pty) {
        Pty->Stop();
    }
}

int TSimulator::Port() const {
    return Tcp ? Tcp->Port() : 0;
}

std::string TSimulator::Host() const {
    return Tcp ? Tcp->Host() : std::string();
}

std::string TSimulator::PtyPath() const {
    return Pty ? Pty->SlavePath() : std::string();
}

void TSimulator::SetFault(std::size_t index, const TSimFault& fault) {
    Bus_.WithModule(index, [&](TSimModule& module) { SetModuleFault(module.State(), fault); });
}

void TSimulator::SetFactoryAnswer(std::size_t index, bool answer) {
    Bus_.WithModule(index, [&](TSimModule& module) { module.State().FactoryAnswer = answer; });
}

} // namespace vdsim
