#pragma once

#include "tools/sim/Rtu.h"

#include <cstddef>
#include <deque>

namespace vdsim {

// Cuts the byte stream a module hears into request frames, as a slave on an RTU line does.
// Requests of functions 1 to 6 are 8 bytes long and are taken as soon as they are complete; anything
// else ends at a silence. After a complete 8-byte request with a bad CRC the module ignores everything
// up to the next silence, since it has lost the frame boundaries.
class TFrameAssembler {
public:
    static constexpr std::size_t MaxFrame = 256;

    void Push(std::span<const std::uint8_t> bytes);
    // The line fell silent: what was collected is one frame.
    void Silence();
    // Next complete frame, in arrival order; empty when none.
    bool Next(TBytes& frame);
    // Bytes are waiting for more bytes or for a silence.
    bool Pending() const { return !Buffer.empty() || Discarding; }

private:
    void Cut();

    TBytes Buffer;
    std::deque<TBytes> Ready;
    bool Discarding = false;
};

} // namespace vdsim
