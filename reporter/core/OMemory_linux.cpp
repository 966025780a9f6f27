#include "OMemory.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

namespace reporter {

namespace {

constexpr size_t PageSize = 4096;
constexpr size_t IovBatch = 64;

// The process id, read once at load and again in a forked child: every read would otherwise cost a
// getpid beside it.
pid_t gProcessId = 0;

void ForkedChild() {
    gProcessId = ::getpid();
}

[[gnu::constructor]] void ReadProcessId() {
    gProcessId = ::getpid();
    pthread_atfork(nullptr, nullptr, ForkedChild);
}

pid_t OwnProcess() {
    return gProcessId != 0 ? gProcessId : ::getpid();
}

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
        const ssize_t n = process_vm_readv(OwnProcess(), local, unsigned(count), remote, unsigned(count), 0);
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

size_t ReadPrefix(uintptr_t address, void* target, size_t size) {
    if (address == 0 || size == 0)
        return 0;
    if (address + size < address)
        size = ~address;
    const ssize_t n = KernelRead(address, target, size, false);
    return n > 0 ? size_t(n) : 0;
}

void ReadWindows(const uintptr_t* addresses, size_t count, size_t size, uint8_t* target, bool* ok) {
    constexpr size_t Batch = IOV_MAX < 1024 ? IOV_MAX : 1024;
    iovec local[Batch];
    iovec remote[Batch];
    size_t next = 0;
    while (next < count) {
        // The kernel stops at the first window it cannot read: that one is asked again alone (it may
        // cross into an unreadable page only in part), the rest go on in the next call.
        size_t n = 0;
        for (; n < Batch && next + n < count; ++n) {
            remote[n].iov_base = reinterpret_cast<void*>(addresses[next + n]);
            remote[n].iov_len = size;
            local[n].iov_base = target + (next + n) * size;
            local[n].iov_len = size;
        }
        const ssize_t got = process_vm_readv(OwnProcess(), local, unsigned(n), remote, unsigned(n), 0);
        const size_t whole = got > 0 ? size_t(got) / size : 0;
        for (size_t i = 0; i < whole; ++i)
            ok[next + i] = true;
        next += whole;
        if (whole < n) {
            ok[next] = addresses[next] != 0 && addresses[next] + size > addresses[next] &&
                       KernelRead(addresses[next], target + next * size, size, false) == ssize_t(size);
            ++next;
        }
    }
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
