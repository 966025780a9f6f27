#include "OMemory.h"

#include <cerrno>
#include <cstring>
#include <sys/uio.h>
#include <unistd.h>

namespace reporter {

namespace {

constexpr size_t PageSize = 4096;
constexpr size_t IovBatch = 64;

// Reads through the kernel; the remote ranges are split at page boundaries so that the count of bytes
// transferred is exactly the readable prefix.
ssize_t KernelRead(uintptr_t address, void* target, size_t size, bool discard) {
    alignas(16) static thread_local uint8_t scratch[PageSize];
    iovec local[IovBatch];
    iovec remote[IovBatch];
    size_t done = 0;
    while (done < size) {
        int count = 0;
        size_t batch = 0;
        uintptr_t at = address + done;
        while (count < int(IovBatch) && done + batch < size) {
            const size_t toPageEnd = PageSize - (at % PageSize);
            const size_t piece = toPageEnd < size - done - batch ? toPageEnd : size - done - batch;
            remote[count].iov_base = reinterpret_cast<void*>(at);
            remote[count].iov_len = piece;
            local[count].iov_base = discard ? scratch : static_cast<uint8_t*>(target) + done + batch;
            local[count].iov_len = piece;
            at += piece;
            batch += piece;
            ++count;
        }
        const ssize_t n = process_vm_readv(getpid(), local, unsigned(count), remote, unsigned(count), 0);
        if (n < 0)
            return done > 0 ? ssize_t(done) : -1;
        done += size_t(n);
        if (size_t(n) < batch)
            break;
    }
    return ssize_t(done);
}

} // namespace

size_t ReadableSize(uintptr_t address, size_t size) {
    if (address == 0 || size == 0)
        return 0;
    if (address + size < address)
        size = ~address; // the range may not wrap around
    const ssize_t n = KernelRead(address, nullptr, size, true);
    return n > 0 ? size_t(n) : 0;
}

bool IsValidBlockAddr(uintptr_t address, size_t size) {
    return size > 0 && ReadableSize(address, size) >= size;
}

bool SafeRead(uintptr_t address, void* target, size_t size) {
    if (size == 0)
        return true;
    if (address == 0 || address + size < address)
        return false;
    return KernelRead(address, target, size, false) == ssize_t(size);
}

bool ImportJumpSlot(uintptr_t address, uintptr_t& slot) {
    uint8_t code[11];
    if (!SafeRead(address, code, 8))
        return false;
    size_t at = 0;
    const uint8_t endbr64[4] = {0xF3, 0x0F, 0x1E, 0xFA};
    if (std::memcmp(code, endbr64, 4) == 0) {
        if (!SafeRead(address, code, sizeof code))
            return false;
        at = 4;
    }
    if (code[at] == 0xF2) // bnd prefix of the MPX-era PLT
        ++at;
    if (code[at] != 0xFF || code[at + 1] != 0x25)
        return false;
    int32_t displacement;
    std::memcpy(&displacement, code + at + 2, 4);
    slot = address + at + 6 + uintptr_t(intptr_t(displacement));
    return true;
}

uintptr_t ResolveImportJump(uintptr_t address) {
    uintptr_t slot, target;
    if (!ImportJumpSlot(address, slot) || !SafeRead(slot, &target, sizeof target))
        return address;
    return target;
}

} // namespace reporter
