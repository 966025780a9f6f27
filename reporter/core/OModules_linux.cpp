#include "OModules.h"

#include "OModuleMap.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace reporter {

namespace {

struct TEnumContext {
    const std::function<bool(const TLoadedModule&)>* Visitor;
    bool First = true;
};

int VisitModule(dl_phdr_info* info, size_t, void* data) {
    auto* context = static_cast<TEnumContext*>(data);
    uintptr_t lowest = UINTPTR_MAX;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_LOAD && ph.p_vaddr < lowest)
            lowest = ph.p_vaddr;
    }
    if (lowest == UINTPTR_MAX)
        return 0;
    TLoadedModule module;
    const uintptr_t pageMask = ~uintptr_t(sysconf(_SC_PAGESIZE) - 1);
    module.Handle = (info->dlpi_addr + lowest) & pageMask;
    module.LoadBias = info->dlpi_addr;
    module.ProgramHeaders = info->dlpi_phdr;
    module.ProgramHeaderCount = info->dlpi_phnum;
    if (context->First)
        module.FileName = ProgramFileName();
    else
        module.FileName = info->dlpi_name ? info->dlpi_name : "";
    RememberLoaderModule(module, info->dlpi_name ? info->dlpi_name : "");
    context->First = false;
    return (*context->Visitor)(module) ? 0 : 1;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ContainsAddress(const TLoadedModule& module, uintptr_t address) {
    const auto* headers = static_cast<const ElfW(Phdr)*>(module.ProgramHeaders);
    for (int i = 0; i < module.ProgramHeaderCount; ++i) {
        const ElfW(Phdr)& ph = headers[i];
        const uintptr_t start = module.LoadBias + ph.p_vaddr;
        if (ph.p_type == PT_LOAD && address >= start && address - start < ph.p_memsz)
            return true;
    }
    return false;
}

// The file mapped at the address as the kernel names it (a full path), empty when none is.
std::string MappedFileName(uintptr_t start) {
    FILE* maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr)
        return std::string();
    std::string name;
    char line[PATH_MAX + 128];
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        char* end = nullptr;
        const unsigned long long low = std::strtoull(line, &end, 16);
        if (end == line || *end != '-' || low != start)
            continue;
        const char* path = std::strchr(line, '/');
        if (path != nullptr) {
            name = path;
            while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
                name.pop_back();
        }
        break;
    }
    std::fclose(maps);
    return name;
}

constexpr const char* ProgramLink = "/proc/self/exe";

// The kernel marks the link of a file removed since the start with this suffix.
constexpr std::string_view DeletedMark = " (deleted)";

bool SameFile(const char* a, const char* b) {
    struct stat first;
    struct stat second;
    return ::stat(a, &first) == 0 && ::stat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

std::string ReadProgramName() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(ProgramLink, buffer, sizeof buffer - 1);
    if (length <= 0)
        return std::string();
    std::string name(buffer, size_t(length));
    // A file really called "... (deleted)" keeps its name; only the kernel's mark goes.
    if (name.ends_with(DeletedMark) && !SameFile(name.c_str(), ProgramLink))
        name.resize(name.size() - DeletedMark.size());
    return name;
}

// Taken at load, before the file on disk can have been replaced.
[[maybe_unused]] const bool gProgramNameTaken = !ProgramFileName().empty();

} // namespace

void EnumerateModules(const std::function<bool(const TLoadedModule&)>& visitor) {
    if (const std::shared_ptr<const TModuleMap> map = ActiveModuleMap()) {
        for (const TLoadedModule& module : map->Modules)
            if (!visitor(module))
                return;
        return;
    }
    TEnumContext context{&visitor};
    dl_iterate_phdr(VisitModule, &context);
}

TModuleHandle GetModuleHandle(const std::string& name) {
    TModuleHandle found = 0;
    bool first = true;
    EnumerateModules([&](const TLoadedModule& module) {
        const bool match = name.empty() ? first
                                        : (module.FileName == name ||
                                           (!module.FileName.empty() && BaseName(module.FileName) == name));
        first = false;
        if (match)
            found = module.Handle;
        return !match;
    });
    return found;
}

TModuleHandle FindModuleOfAddress(uintptr_t address) {
    if (const std::shared_ptr<const TModuleMap> map = ActiveModuleMap()) {
        const TLoadedModule* module = map->ModuleOf(address);
        return module != nullptr ? module->Handle : 0;
    }
    TModuleHandle found = 0;
    EnumerateModules([&](const TLoadedModule& module) {
        if (ContainsAddress(module, address))
            found = module.Handle;
        return found == 0;
    });
    return found;
}

TModuleHandle OwnModuleHandle() {
    static const TModuleHandle own = FindModuleOfAddress(reinterpret_cast<uintptr_t>(&OwnModuleHandle));
    return own;
}

std::string GetModuleFileName(TModuleHandle module) {
    if (const std::shared_ptr<const TModuleMap> map = ActiveModuleMap()) {
        const TLoadedModule* found = map->Find(module);
        return found != nullptr ? found->FileName : std::string();
    }
    std::string name;
    EnumerateModules([&](const TLoadedModule& m) {
        if (m.Handle == module)
            name = m.FileName;
        return name.empty();
    });
    // The loader keeps the name a library was opened with; a relative one would name another file
    // once the working folder changes.
    if (!name.empty() && name[0] != '/') {
        std::string full = MappedFileName(module);
        if (full.empty()) {
            char resolved[PATH_MAX];
            if (::realpath(name.c_str(), resolved) != nullptr)
                full = resolved;
        }
        if (!full.empty())
            name = std::move(full);
    }
    return name;
}

std::string ProgramFileName() {
    static const std::string name = ReadProgramName();
    return name;
}

const char* ProgramFileToOpen() {
    return ProgramLink;
}

std::string ModuleFileToOpen(const std::string& fileName) {
    return !fileName.empty() && fileName == ProgramFileName() ? std::string(ProgramLink) : fileName;
}

} // namespace reporter
