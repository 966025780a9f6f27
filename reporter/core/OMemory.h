#pragma once
// Reading memory that may be damaged or unmapped without ever faulting. The tests go through the kernel
// (process_vm_readv on the own process), never through a caught fault, and allocate nothing, so they
// may run in a signal handler.
#include <cstddef>
#include <cstdint>

namespace reporter {

// Readable bytes from the address on: at least size when the whole range is readable, else fewer
// (0 when the first byte is not).
size_t ReadableSize(uintptr_t address, size_t size);
bool IsValidBlockAddr(uintptr_t address, size_t size);
inline bool IsValidBlockAddr(const void* address, size_t size) {
    return IsValidBlockAddr(reinterpret_cast<uintptr_t>(address), size);
}
// Copies size bytes when all of them are readable; false (and nothing reliable in target) otherwise.
bool SafeRead(uintptr_t address, void* target, size_t size);
// Copies the readable prefix of the range in one kernel call (for ranges up to 256 KiB) and returns
// its length.
size_t ReadPrefix(uintptr_t address, void* target, size_t size);
// Copies size bytes from each of count addresses into target (size bytes each, in order), as many in
// one kernel call as it takes; ok[i] tells whether window i was wholly readable. Windows may not be
// larger than a page.
void ReadWindows(const uintptr_t* addresses, size_t count, size_t size, uint8_t* target, bool* ok);
// An import jump (jmp through a pointer slot: FF 25 rel32, optionally preceded by endbr64 and with a
// bnd prefix) stands for the slot's target; any other address stands for itself.
uintptr_t ResolveImportJump(uintptr_t address);
// The pointer slot of an import jump at the address; false when the address holds none.
bool ImportJumpSlot(uintptr_t address, uintptr_t& slot);

} // namespace reporter
