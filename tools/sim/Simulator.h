#pragma once

#include "tools/sim/SimBus.h"

#include <memory>
#include <string>
#include <vector>

namespace vdsim {

class TTcpTransport;
class TPtyTransport;

struct TSimModuleDef {
    int Address = 1;
    int ModelCode = 0;
};

struct TSimOptions {
    std::vector<TSimModuleDef> Modules;
    std::string Host = "127.0.0.1";
    int Port = 9001; // 0: the kernel picks a free port
    bool Tcp = true;
    bool Pty = false;
    bool Still = false; // live values keep still
};

// A running simulator: a bus of modules and its transports. Tests start one in-process on a
// kernel-picked port, look at and change the modules, and stop it; the program `vexadaxo-sim` is the
// same object behind a command line.
class TSimulator {
public:
    // Builds the modules; throws std::invalid_argument for a bad module list.
    explicit TSimulator(const TSimOptions& options);
    ~TSimulator();
    TSimulator(const TSimulator&) = delete;
    TSimulator& operator=(const TSimulator&) = delete;

    // Opens the transports and starts serving; throws std::system_error when one cannot be opened.
    void Start();
    void Stop();

    int Port() const;            // the TCP port being served, 0 without TCP
    std::string Host() const;    // the TCP address
    std::string PtyPath() const; // the pseudo-terminal's slave path, empty without one

    TSimBus& Bus() { return Bus_; }
    std::size_t ModuleCount() const { return Bus_.ModuleCount(); }
    std::optional<std::size_t> FindModule(int address) const { return Bus_.FindByAddress(address); }
    TSimModuleState State(std::size_t index) { return Bus_.Snapshot(index); }
    void SetFault(std::size_t index, const TSimFault& fault);
    void SetFactoryAnswer(std::size_t index, bool answer);
    void SetStill(bool still) { Bus_.SetStill(still); }

    // Runs f(TSimModule&) under the bus lock.
    template <class F> decltype(auto) WithModule(std::size_t index, F&& f) {
        return Bus_.WithModule(index, std::forward<F>(f));
    }

private:
    TSimOptions Options;
    TSimBus Bus_;
    std::unique_ptr<TTcpTransport> Tcp;
    std::unique_ptr<TPtyTransport> Pty;
};

} // namespace vdsim
