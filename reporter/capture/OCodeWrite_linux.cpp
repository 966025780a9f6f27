#include "OCodeWrite.h"

#include "OErrors.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace reporter {

namespace {

uintptr_t PageSize() {
    static const uintptr_t size = uintptr_t(sysconf(_SC_PAGESIZE));
    return size;
}

struct TMapping {
    uintptr_t Start, End;
    int Protection;
};

std::vector<TMapping> ReadMappings() {
    std::vector<TMapping> mappings;
    FILE* maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr)
        return mappings;
    char line[512];
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        uintptr_t start = 0, end = 0;
        char perms[5] = {};
        if (std::sscanf(line, "%" SCNxPTR "-%" SCNxPTR " %4s", &start, &end, perms) != 3)
            continue;
        int protection = 0;
        if (perms[0] == 'r')
            protection |= PROT_READ;
        if (perms[1] == 'w')
            protection |= PROT_WRITE;
        if (perms[2] == 'x')
            protection |= PROT_EXEC;
        mappings.push_back({start, end, protection});
    }
    std::fclose(maps);
    return mappings;
}

} // namespace

bool QueryProtection(uintptr_t address, int& protection) {
    for (const TMapping& m : ReadMappings())
        if (address >= m.Start && address < m.End) {
            protection = m.Protection;
            return true;
        }
    return false;
}

namespace {

// Code that other threads may be running through is never made writable (it would lose its execute
// right, and a thread passing by would fault) and never changed in place (a thread could meet a
// half-written instruction). A copy of its pages takes the new bytes, is made executable like them, and
// is moved over them in one step: a thread sees the old pages or the new ones, and one that faults on
// the pages meanwhile waits in the kernel until the new ones are in place.
void ReplaceCodePages(uintptr_t address, const uint8_t* bytes, size_t count, int protection) {
    const uintptr_t first = address & ~(PageSize() - 1);
    const uintptr_t end = (address + count + PageSize() - 1) & ~(PageSize() - 1);
    const size_t length = end - first;
    for (uintptr_t page = first; page < end; page += PageSize()) {
        int pageProtection = 0;
        if (!QueryProtection(page, pageProtection) || pageProtection != protection)
            throw EHookError("Cannot write code across pages of different kinds");
    }
    if (!(protection & PROT_READ))
        throw EHookError("Cannot write code on a page that cannot be read");
    void* copy = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (copy == MAP_FAILED)
        throw EHookError(std::string("Cannot copy the code pages: ") + std::strerror(errno));
    auto* target = static_cast<uint8_t*>(copy);
    std::memcpy(target, reinterpret_cast<const void*>(first), length);
    std::memcpy(target + (address - first), bytes, count);
    if (mprotect(copy, length, protection) != 0) {
        const int error = errno;
        munmap(copy, length);
        throw EHookError(std::string("Cannot protect the code copy: ") + std::strerror(error));
    }
    __builtin___clear_cache(reinterpret_cast<char*>(target), reinterpret_cast<char*>(target + length));
    if (mremap(copy, length, length, MREMAP_MAYMOVE | MREMAP_FIXED, reinterpret_cast<void*>(first)) ==
        MAP_FAILED) {
        const int error = errno;
        munmap(copy, length);
        throw EHookError(std::string("Cannot put the code in place: ") + std::strerror(error));
    }
    __builtin___clear_cache(reinterpret_cast<char*>(address), reinterpret_cast<char*>(address + count));
}

} // namespace

void WriteCode(uintptr_t address, const void* bytes, size_t count) {
    const auto* source = static_cast<const uint8_t*>(bytes);
    int firstProtection = 0;
    if (count > 0 && QueryProtection(address, firstProtection) && (firstProtection & PROT_EXEC)) {
        ReplaceCodePages(address, source, count, firstProtection);
        return;
    }
    while (count > 0) {
        const uintptr_t page = address & ~(PageSize() - 1);
        const size_t piece = std::min<size_t>(count, page + PageSize() - address);
        int protection = 0;
        if (!QueryProtection(address, protection))
            throw EHookError("Cannot write to unmapped memory");
        void* pagePointer = reinterpret_cast<void*>(page);
        const int writable = (protection | PROT_READ | PROT_WRITE) & ~PROT_EXEC;
        if (protection != writable && mprotect(pagePointer, PageSize(), writable) != 0)
            throw EHookError(std::string("Cannot unprotect memory: ") + std::strerror(errno));
        std::memcpy(reinterpret_cast<void*>(address), source, piece);
        if (protection != writable && mprotect(pagePointer, PageSize(), protection) != 0)
            throw EHookError(std::string("Cannot restore memory protection: ") + std::strerror(errno));
        if (protection & PROT_EXEC)
            __builtin___clear_cache(reinterpret_cast<char*>(address),
                                    reinterpret_cast<char*>(address + piece));
        address += piece;
        source += piece;
        count -= piece;
    }
}

bool RelativeDisplacement(uintptr_t instructionEnd, uintptr_t target, int32_t& displacement) {
    const auto distance = int64_t(target - instructionEnd);
    if (distance < INT32_MIN || distance > INT32_MAX)
        return false;
    displacement = int32_t(distance);
    return true;
}

void WriteJump(uintptr_t at, uintptr_t target) {
    int32_t displacement;
    if (!RelativeDisplacement(at + 5, target, displacement))
        throw EHookingError("Jump target out of reach");
    uint8_t jump[5] = {0xE9};
    std::memcpy(jump + 1, &displacement, 4);
    WriteCode(at, jump, sizeof jump);
}

uintptr_t AllocateCodeNear(uintptr_t near, size_t size) {
    const uintptr_t length = (size + PageSize() - 1) & ~(PageSize() - 1);
    // Keep well inside the reach of a 32-bit displacement from anywhere in the target's module.
    const uintptr_t reach = (uintptr_t(1) << 31) - (uintptr_t(64) << 20);
    const uintptr_t lowest = near > reach ? near - reach : PageSize() * 16;
    const uintptr_t highest = near < UINTPTR_MAX - reach ? near + reach : UINTPTR_MAX;
    std::vector<TMapping> mappings = ReadMappings();
    // Gaps between mappings, tried nearest first on each side.
    std::vector<uintptr_t> candidates;
    uintptr_t previousEnd = PageSize() * 16;
    for (const TMapping& m : mappings) {
        if (m.Start > previousEnd && m.Start - previousEnd >= length) {
            const uintptr_t gapStart = previousEnd, gapEnd = m.Start;
            const uintptr_t candidate =
                near < gapStart ? gapStart : (near + length <= gapEnd ? near : gapEnd - length);
            candidates.push_back(candidate & ~(PageSize() - 1));
        }
        previousEnd = std::max(previousEnd, m.End);
    }
    std::sort(candidates.begin(), candidates.end(), [near](uintptr_t a, uintptr_t b) {
        const uintptr_t da = a > near ? a - near : near - a;
        const uintptr_t db = b > near ? b - near : near - b;
        return da < db;
    });
    for (uintptr_t candidate : candidates) {
        if (candidate < lowest || candidate + length > highest)
            continue;
        void* p = mmap(reinterpret_cast<void*>(candidate), length, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
        if (p == MAP_FAILED)
            continue;
        if (reinterpret_cast<uintptr_t>(p) != candidate) { // an old kernel took the address as a hint
            munmap(p, length);
            continue;
        }
        return candidate;
    }
    return 0;
}

void SealCode(uintptr_t address, size_t size) {
    const uintptr_t start = address & ~(PageSize() - 1);
    const uintptr_t end = (address + size + PageSize() - 1) & ~(PageSize() - 1);
    if (mprotect(reinterpret_cast<void*>(start), end - start, PROT_READ | PROT_EXEC) != 0)
        throw EHookError(std::string("Cannot make the trampoline executable: ") + std::strerror(errno));
    __builtin___clear_cache(reinterpret_cast<char*>(address), reinterpret_cast<char*>(address + size));
}

} // namespace reporter
