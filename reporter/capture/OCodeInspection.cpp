#include "OCodeInspection.h"

#include "OMemory.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace reporter {

namespace {

// A routine is scanned for its return over at most this many bytes.
constexpr size_t RoutineScanLimit = 1 << 20;

std::atomic<uintptr_t> gCallTargets[3];

// The address behind an endbr64 that opens a routine, or the address itself.
uintptr_t SkipEndBranch(uintptr_t address) {
    static const uint8_t endbr64[4] = {0xF3, 0x0F, 0x1E, 0xFA};
    uint8_t code[4];
    if (SafeRead(address, code, sizeof code) && std::memcmp(code, endbr64, 4) == 0)
        return address + 4;
    return address;
}

bool IsReturn(uint8_t b) {
    return b == 0xC3 || b == 0xC2 || b == 0xCB || b == 0xCA;
}

} // namespace

bool IsStackFrameStart(uintptr_t address) {
    static const uint8_t frame[4] = {0x55, 0x48, 0x89, 0xE5};
    uint8_t code[4];
    return SafeRead(SkipEndBranch(address), code, sizeof code) && std::memcmp(code, frame, 4) == 0;
}

bool IsRegisterSave(uintptr_t address) {
    uint8_t code;
    return SafeRead(SkipEndBranch(address), &code, 1) && code == 0x53;
}

uint32_t RoutineLength(uintptr_t start, uintptr_t end) {
    if (end <= start)
        return 1;
    const size_t size = std::min<size_t>(end - start, RoutineScanLimit);
    const size_t body = SkipEndBranch(start) - start;
    // Read a piece at a time: most routines end within the first, and the limit is far away.
    constexpr size_t Piece = 4096;
    uint8_t code[Piece];
    bool framed = false;
    uint8_t previous = 0;
    for (size_t at = 0; at < size;) {
        const size_t want = std::min(Piece, size - at);
        const size_t got = ReadPrefix(start + at, code, want);
        for (size_t k = 0; k < got; ++k) {
            const size_t i = at + k;
            if (i == body)
                framed = code[k] == 0x55;
            else if (i > body && IsReturn(code[k]) && (!framed || previous == 0x5D || previous == 0xC9))
                return uint32_t(i);
            previous = code[k];
        }
        if (got < want)
            break;
        at += got;
    }
    return 1;
}

void SetCallTargetRoutines(uintptr_t first, uintptr_t second, uintptr_t third) {
    gCallTargets[0] = first;
    gCallTargets[1] = second;
    gCallTargets[2] = third;
}

int CallTargetClass(uintptr_t address) {
    uint8_t code[5];
    if (!SafeRead(address, code, sizeof code) || code[0] != 0xE8)
        return 0;
    int32_t displacement;
    std::memcpy(&displacement, code + 1, 4);
    const uintptr_t target = address + 5 + uintptr_t(intptr_t(displacement));
    for (int i = 0; i < 3; ++i)
        if (target != 0 && gCallTargets[i].load() == target)
            return i + 1;
    return 0;
}

} // namespace reporter
