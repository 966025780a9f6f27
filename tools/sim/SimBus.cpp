#include "tools/sim/SimBus.h"

#include <algorithm>
#include <stdexcept>

namespace vdsim {

namespace {
constexpr std::uint8_t Diagnostics = 0x08;
}

TSimLineSettings ModuleLine(const TSimModuleState& state) {
    return {BaudOfOrdinal(state.ActiveBaudrate), FormatParity(state.ActiveFormat),
            FormatStopBits(state.ActiveFormat)};
}

bool LineMatches(const TSimLineSettings& sent, const TSimLineSettings& module) {
    return sent.Baud == module.Baud && sent.StopBits == module.StopBits &&
           (sent.Parity == UnknownParity || module.Parity == UnknownParity || sent.Parity == module.Parity);
}

std::string LineText(const TSimLineSettings& line) {
    return std::to_string(line.Baud) + " 8" + line.Parity + std::to_string(line.StopBits);
}

void TSimBus::AddModule(int address, int modelCode) {
    if (address < 1 || address > 247) {
        throw std::invalid_argument("module address " + std::to_string(address) + " is not 1..247");
    }
    if (modelCode < 0 || modelCode > 0xFFFF) {
        throw std::invalid_argument("model code " + std::to_string(modelCode) + " is not 0..65535");
    }
    std::lock_guard guard(Lock);
    for (const auto& module : Modules) {
        if (module->State().ActiveAddress == address) {
            throw std::invalid_argument("two modules at address " + std::to_string(address));
        }
    }
    Modules.push_back(std::make_unique<TSimModule>(address, modelCode));
}

TSimResponse TSimBus::Handle(std::span<const std::uint8_t> frame,
                             const std::optional<TSimLineSettings>& line) {
    std::lock_guard guard(Lock);
    ++Stats.Frames;
    if (frame.size() < 4 || !HasValidCrc(frame)) {
        ++Stats.Ignored; // a module drops a frame it cannot trust
        return {};
    }
    const std::uint8_t slave = frame[0];
    TSimModule* target = nullptr;
    TSimUnit unit = TSimUnit::Module;
    bool factory = false;
    for (const auto& module : Modules) {
        if (target == nullptr && module->State().ActiveAddress == slave) {
            target = module.get();
        }
    }
    for (const auto& module : Modules) {
        if (target == nullptr && slave == FactoryAddress && module->State().FactoryAnswer) {
            target = module.get();
            factory = true;
        }
    }
    for (const auto& module : Modules) {
        const TSimModuleState& s = module->State();
        if (target == nullptr && s.Model.Code == ModelEnergyMeter && s.ActiveAddress + 2 == slave) {
            target = module.get();
            unit = TSimUnit::MeterLine2;
        }
    }
    if (target == nullptr) {
        ++Stats.Unaddressed;
        return {};
    }
    TSimModuleState& state = target->State();
    if (line) {
        // At the factory address a module also listens with the factory line settings 9600 8N1.
        const bool heard =
            LineMatches(*line, ModuleLine(state)) || (factory && LineMatches(*line, TSimLineSettings{}));
        if (!heard) {
            ++state.Counters.LineMismatches;
            return {};
        }
    }
    if (frame.size() >= 2 && frame[1] == Diagnostics) {
        // Answered by the module's own rule for diagnostics; the fault of the other requests waits.
        target->Advance(std::chrono::steady_clock::now());
        TBytes reply = target->Handle(frame, unit);
        return ApplyFault(state.Diagnostics, TBytes(frame.begin(), frame.end()), std::move(reply));
    }
    TSimFault& fault = state.Fault;
    // A fault that waits for its turn lets this request through untouched.
    const bool waiting = fault.Kind != TSimFaultKind::None && fault.Skip > 0;
    const TSimFault applied = waiting ? TSimFault{} : fault;
    TBytes reply;
    if (FaultLetsRequestThrough(applied)) {
        target->Advance(std::chrono::steady_clock::now());
        reply = target->Handle(frame, unit);
    }
    TSimResponse response = ApplyFault(applied, TBytes(frame.begin(), frame.end()), std::move(reply));
    if (waiting) {
        --fault.Skip;
    } else if (fault.Kind != TSimFaultKind::None && fault.Remaining > 0 && --fault.Remaining == 0) {
        fault = TSimFault{};
    }
    return response;
}

std::size_t TSimBus::ModuleCount() const {
    std::lock_guard guard(Lock);
    return Modules.size();
}

std::optional<std::size_t> TSimBus::FindByAddress(int address) const {
    std::lock_guard guard(Lock);
    for (std::size_t i = 0; i < Modules.size(); ++i) {
        if (Modules[i]->State().ActiveAddress == address) {
            return i;
        }
    }
    return std::nullopt;
}

TSimModuleState TSimBus::Snapshot(std::size_t index) {
    std::lock_guard guard(Lock);
    TSimModule& module = *Modules.at(index);
    module.Advance(std::chrono::steady_clock::now());
    return module.State();
}

TSimBusCounters TSimBus::Counters() const {
    std::lock_guard guard(Lock);
    return Stats;
}

void TSimBus::FrameDone(std::chrono::nanoseconds beyond) {
    {
        std::lock_guard guard(Lock);
        ++Stats.Done;
        if (Punctuality.count() > 0 && beyond >= Punctuality) {
            ++Stats.Tardy;
        }
    }
    Answered.notify_all();
}

void TSimBus::SetPunctuality(std::chrono::milliseconds bound) {
    std::lock_guard guard(Lock);
    Punctuality = bound;
}

bool TSimBus::WaitAllAnswered(std::chrono::milliseconds timeout) {
    std::unique_lock guard(Lock);
    return Answered.wait_for(guard, timeout, [this] { return Stats.Done >= Stats.Frames; });
}

bool TSimBus::WaitAnswered(std::uint64_t frames, std::chrono::milliseconds timeout) {
    std::unique_lock guard(Lock);
    return Answered.wait_for(guard, timeout,
                             [this, frames] { return Stats.Done >= std::max(frames, Stats.Frames); });
}

void TSimBus::SetStill(bool still) {
    std::lock_guard guard(Lock);
    for (const auto& module : Modules) {
        module->SetStill(still);
    }
}

} // namespace vdsim
