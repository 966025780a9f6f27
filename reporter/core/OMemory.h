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
// An import jump (jmp through a pointer slot: FF 25 rel32, optionally preceded by endbr64 and with a
// bnd prefix) stands for the slot's target; any other address stands for itself.
uintptr_t ResolveImportJump(uintptr_t address);
// The pointer slot of an import jump at the address; false when the address holds none.
bool ImportJumpSlot(uintptr_t address, uintptr_t& slot);

} // namespace reporter
