#pragma once
// The loaded modules as the kernel's memory map shows them, read without the dynamic loader: a fault may
// come while the faulting thread holds the loader's lock (inside a library's constructor during dlopen,
// inside a dl_iterate_phdr callback), and every loader call of the report would then wait for ever.
// While a report runs, every module lookup of the process answers from one map read at its start.
#include "OModules.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace reporter {

struct TModuleMap {
    struct TSegment {
        uintptr_t Start = 0, End = 0; // [Start, End)
        size_t Module = 0;            // index into Modules
    };
    struct TRange {
        uintptr_t Start = 0, End = 0; // [Start, End)
    };
    std::vector<TLoadedModule> Modules; // the program first, then in the loader's order
    std::vector<TSegment> Segments;     // the modules' loaded segments, by address
    std::vector<TRange> Readable;       // the readable mappings, adjacent ones joined, by address

    const TLoadedModule* ModuleOf(uintptr_t address) const;
    const TLoadedModule* Find(TModuleHandle handle) const;
    // The range lies wholly in readable mappings (true when the map could not be read).
    bool IsReadable(uintptr_t start, uintptr_t end) const;
};

// One line of /proc/self/maps: "start-end perms offset device inode [path]". Device and Path point into
// the line.
struct TMapsLine {
    uintptr_t Start = 0, End = 0; // [Start, End)
    bool Readable = false;
    uint64_t Offset = 0;
    std::string_view Device;
    uint64_t Inode = 0;
    std::string_view Path;
};
// false for a line that is not of that form (and then out is unspecified); reads only inside the line.
bool ParseMapsLine(std::string_view line, TMapsLine& out);

// Reads /proc/self/maps and the ELF headers it points to (through the readability test).
std::shared_ptr<const TModuleMap> ReadModuleMap();

// The map of the report that runs, nullptr when none does.
std::shared_ptr<const TModuleMap> ActiveModuleMap();

// Makes module lookups answer from one map for the scope's life: the first scope reads it, nested and
// concurrent ones (the relay, the raising thread, the report's thread) share it.
class TModuleMapScope {
public:
    TModuleMapScope();
    ~TModuleMapScope();
    TModuleMapScope(const TModuleMapScope&) = delete;
    TModuleMapScope& operator=(const TModuleMapScope&) = delete;
};

// The loader's name and order of a module, remembered from each walk of the loader's list, so that a
// module keeps the name it had before the report. Called by the module enumeration.
void RememberLoaderModule(const TLoadedModule& module, const char* name);

} // namespace reporter
