#pragma once

#include "tools/sim/SimModule.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vdsim {

// Line settings a pseudo-terminal is set to, or a module works with.
struct TSimLineSettings {
    int Baud = 9600;
    char Parity = 'N'; // 'N', 'O', 'E', or UnknownParity
    int StopBits = 1;

    bool operator==(const TSimLineSettings&) const = default;
};

// Linux pseudo-terminals drop the parity setting, so a transport there cannot tell it.
inline constexpr char UnknownParity = '?';

// A request sent with `sent` reaches a module set to `module`.
bool LineMatches(const TSimLineSettings& sent, const TSimLineSettings& module);

TSimLineSettings ModuleLine(const TSimModuleState& state);
std::string LineText(const TSimLineSettings& line);

struct TSimBusCounters {
    std::uint64_t Frames = 0;
    std::uint64_t Ignored = 0;     // bad CRC or too short
    std::uint64_t Unaddressed = 0; // no module at that address
    std::uint64_t Done = 0;        // frames whose answer (if any) has been written, late ones too
    // Answers written at least the punctuality bound after their request came (or after the answer
    // before it, for one that queued) beyond what a fault held them back: a busy machine made them late.
    std::uint64_t Tardy = 0;
};

// The modules on one bus: whichever transport hears a request hands it here. One lock guards every
// module, so transports and in-process callers may use the bus from any thread.
class TSimBus {
public:
    // Adds a module; addresses must be 1..247 and distinct. Throws std::invalid_argument.
    void AddModule(int address, int modelCode);

    // The response to one frame heard on the line. `line` is the line setting the request was sent
    // with, where the transport knows it (a pseudo-terminal); a module set otherwise does not hear it.
    TSimResponse Handle(std::span<const std::uint8_t> frame, const std::optional<TSimLineSettings>& line);

    std::size_t ModuleCount() const;
    // Index of the module answering at an address now (its active address), if any.
    std::optional<std::size_t> FindByAddress(int address) const;
    // A copy of a module's state, its live values moved on to now.
    TSimModuleState Snapshot(std::size_t index);
    TSimBusCounters Counters() const;
    // A transport has written the answer to a frame it handed in (or found none to write), `beyond` later
    // than the fault held it back, counted from the request's arrival.
    void FrameDone(std::chrono::nanoseconds beyond = {});
    // Answers later than this beyond their faults are counted as Tardy (0: none is); a test tells by it
    // the simulator's lateness from the master's.
    void SetPunctuality(std::chrono::milliseconds bound);
    // Waits until every frame heard so far has its answer written (a late answer too); false at the
    // timeout. Lets a test know that nothing from the bus is still on its way.
    bool WaitAllAnswered(std::chrono::milliseconds timeout);
    // Waits until at least `frames` frames have been heard and every one heard has its answer written:
    // with the count of frames a master sent, a frame still unread on the line is waited for too.
    bool WaitAnswered(std::uint64_t frames, std::chrono::milliseconds timeout);
    void SetStill(bool still);

    // Runs f(TSimModule&) under the bus lock; an index out of range throws std::out_of_range.
    template <class F> decltype(auto) WithModule(std::size_t index, F&& f) {
        std::lock_guard guard(Lock);
        return f(*Modules.at(index));
    }

private:
    mutable std::mutex Lock;
    std::vector<std::unique_ptr<TSimModule>> Modules;
    TSimBusCounters Stats;
    std::chrono::milliseconds Punctuality{0};
    std::condition_variable Answered;
};

} // namespace vdsim
