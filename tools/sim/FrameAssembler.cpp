#include "tools/sim/FrameAssembler.h"

namespace vdsim {

namespace {
constexpr std::size_t RequestLength = 8;
}

void TFrameAssembler::Push(std::span<const std::uint8_t> bytes) {
    if (Discarding) {
        return;
    }
    Buffer.insert(Buffer.end(), bytes.begin(), bytes.end());
    Cut();
    if (Buffer.size() > MaxFrame) {
        // No frame is this long: noise. Wait for the line to fall silent.
        Buffer.clear();
        Discarding = true;
    }
}

void TFrameAssembler::Cut() {
    // Functions 1 to 6 and diagnostics (8): every such request is eight bytes long.
    while (!Discarding && Buffer.size() >= RequestLength &&
           ((Buffer[1] >= 1 && Buffer[1] <= 6) || Buffer[1] == 8)) {
        TBytes frame(Buffer.begin(), Buffer.begin() + RequestLength);
        const bool damaged = !HasValidCrc(frame);
        Buffer.erase(Buffer.begin(), Buffer.begin() + RequestLength);
        Ready.push_back(std::move(frame)); // a damaged one too: the bus counts what it ignores
        if (damaged) {
            Buffer.clear();
            Discarding = true;
        }
    }
}

void TFrameAssembler::Silence() {
    if (!Discarding && !Buffer.empty()) {
        Ready.push_back(std::move(Buffer));
    }
    Buffer.clear();
    Discarding = false;
}

bool TFrameAssembler::Next(TBytes& frame) {
    if (Ready.empty()) {
        return false;
    }
    frame = std::move(Ready.front());
    Ready.pop_front();
    return true;
}

} // namespace vdsim
