// Import redirection on ELF: the GOT/PLT slots of a module, found through its dynamic section
// (DT_JMPREL and DT_RELA) and matched by symbol name.
#include "OCodeWrite.h"
#include "OErrors.h"
#include "OHook.h"
#include "OMemory.h"

#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <link.h>

namespace reporter {

namespace {

struct THookedImport {
    TModuleHandle Module;
    std::string LibraryName;
    uintptr_t Slot;
    uintptr_t Original;
    uintptr_t Replacement;
};

std::mutex gImportsLock;
std::vector<THookedImport> gHookedImports;

struct TDynamicTables {
    uintptr_t Bias = 0;
    const ElfW(Sym) * Symbols = nullptr;
    const char* Strings = nullptr;
    size_t StringsSize = 0;
    const ElfW(Rela) * PltRelocations = nullptr;
    size_t PltRelocationsSize = 0;
    const ElfW(Rela) * Relocations = nullptr;
    size_t RelocationsSize = 0;
};

// ld.so relocates most address entries of the dynamic section in place; the few modules it does not
// touch (the vDSO) still hold module-relative values.
uintptr_t Address(uintptr_t bias, ElfW(Addr) value) {
    return value < bias ? bias + value : value;
}

bool ReadDynamicTables(const TLoadedModule& module, TDynamicTables& tables) {
    const auto* headers = static_cast<const ElfW(Phdr)*>(module.ProgramHeaders);
    const ElfW(Dyn)* dynamic = nullptr;
    for (int i = 0; i < module.ProgramHeaderCount; ++i)
        if (headers[i].p_type == PT_DYNAMIC)
            dynamic = reinterpret_cast<const ElfW(Dyn)*>(module.LoadBias + headers[i].p_vaddr);
    if (dynamic == nullptr)
        return false;
    tables.Bias = module.LoadBias;
    bool rela = true;
    for (const ElfW(Dyn)* d = dynamic; d->d_tag != DT_NULL; ++d) {
        switch (d->d_tag) {
        case DT_SYMTAB:
            tables.Symbols = reinterpret_cast<const ElfW(Sym)*>(Address(tables.Bias, d->d_un.d_ptr));
            break;
        case DT_STRTAB:
            tables.Strings = reinterpret_cast<const char*>(Address(tables.Bias, d->d_un.d_ptr));
            break;
        case DT_STRSZ:
            tables.StringsSize = d->d_un.d_val;
            break;
        case DT_JMPREL:
            tables.PltRelocations = reinterpret_cast<const ElfW(Rela)*>(Address(tables.Bias, d->d_un.d_ptr));
            break;
        case DT_PLTRELSZ:
            tables.PltRelocationsSize = d->d_un.d_val;
            break;
        case DT_PLTREL:
            rela = d->d_un.d_val == DT_RELA;
            break;
        case DT_RELA:
            tables.Relocations = reinterpret_cast<const ElfW(Rela)*>(Address(tables.Bias, d->d_un.d_ptr));
            break;
        case DT_RELASZ:
            tables.RelocationsSize = d->d_un.d_val;
            break;
        default:
            break;
        }
    }
    return rela && tables.Symbols != nullptr && tables.Strings != nullptr;
}

// The slots of the relocation table that import the symbol by name.
void CollectSlots(const TDynamicTables& t, const ElfW(Rela) * relocations, size_t size,
                  const std::string& symbol, std::vector<uintptr_t>& slots) {
    if (relocations == nullptr)
        return;
    for (size_t i = 0; i < size / sizeof(ElfW(Rela)); ++i) {
        const ElfW(Rela)& r = relocations[i];
        const auto type = ELF64_R_TYPE(r.r_info);
        if (type != R_X86_64_JUMP_SLOT && type != R_X86_64_GLOB_DAT)
            continue;
        const ElfW(Sym)& s = t.Symbols[ELF64_R_SYM(r.r_info)];
        if (s.st_name >= t.StringsSize)
            continue;
        const char* name = t.Strings + s.st_name;
        if (strnlen(name, t.StringsSize - s.st_name) == symbol.size() && symbol.compare(name) == 0)
            slots.push_back(t.Bias + r.r_offset);
    }
}

bool FindModule(TModuleHandle handle, TLoadedModule& found) {
    bool ok = false;
    EnumerateModules([&](const TLoadedModule& m) {
        if (m.Handle == handle) {
            found = m;
            ok = true;
        }
        return !ok;
    });
    return ok;
}

} // namespace

uintptr_t HookImports(TModuleHandle module, const std::string& libraryName, const std::string& symbolName,
                      uintptr_t routine, bool noRecord, bool quiet, const std::string& messageName,
                      uintptr_t replacement) {
    if (routine == 0)
        throw EProcNull("Cannot hook a null procedure (\"" + messageName + "\").");
    TLoadedModule loaded;
    TDynamicTables tables;
    std::vector<uintptr_t> slots;
    if (FindModule(module, loaded) && ReadDynamicTables(loaded, tables)) {
        CollectSlots(tables, tables.PltRelocations, tables.PltRelocationsSize, symbolName, slots);
        CollectSlots(tables, tables.Relocations, tables.RelocationsSize, symbolName, slots);
    }
    int redirected = 0;
    for (uintptr_t slot : slots) {
        uintptr_t original;
        if (!SafeRead(slot, &original, sizeof original))
            continue;
        WriteCode(slot, &replacement, sizeof replacement);
        ++redirected;
        if (!noRecord) {
            std::lock_guard guard(gImportsLock);
            gHookedImports.push_back({module, libraryName, slot, original, replacement});
        }
    }
    if (redirected == 0 && !quiet)
        throw EHookingError("Cannot hook the procedure \"" + messageName + "\".");
    return redirected > 0 ? routine : 0;
}

bool HookImportedProcedure(const std::vector<std::string>& moduleNames, const std::string& libraryName,
                           const std::string& routineName, bool quiet, uintptr_t& routine,
                           uintptr_t replacement) {
    void* library = libraryName.empty() ? RTLD_DEFAULT : dlopen(libraryName.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    routine = library != nullptr ? reinterpret_cast<uintptr_t>(dlsym(library, routineName.c_str())) : 0;
    if (library != nullptr && library != RTLD_DEFAULT)
        dlclose(library);
    const std::string messageName = libraryName + "." + routineName;
    bool any = false;
    for (const std::string& name : moduleNames) {
        const TModuleHandle module = GetModuleHandle(name);
        if (module == 0)
            continue;
        if (HookImports(module, libraryName, routineName, routine, false, quiet, messageName, replacement) !=
            0)
            any = true;
    }
    return any;
}

uintptr_t ResolveImportStub(uintptr_t address) {
    uintptr_t slot;
    if (!ImportJumpSlot(address, slot))
        return address;
    const TModuleHandle module = FindModuleOfAddress(address);
    TLoadedModule loaded;
    TDynamicTables tables;
    if (module == 0 || !FindModule(module, loaded) || !ReadDynamicTables(loaded, tables))
        return address;
    bool isImport = false;
    for (auto [relocations, size] : {std::pair{tables.PltRelocations, tables.PltRelocationsSize},
                                     std::pair{tables.Relocations, tables.RelocationsSize}}) {
        if (relocations == nullptr)
            continue;
        for (size_t i = 0; i < size / sizeof(ElfW(Rela)) && !isImport; ++i) {
            const auto type = ELF64_R_TYPE(relocations[i].r_info);
            isImport = (type == R_X86_64_JUMP_SLOT || type == R_X86_64_GLOB_DAT) &&
                       tables.Bias + relocations[i].r_offset == slot;
        }
    }
    uintptr_t target;
    if (!isImport || !SafeRead(slot, &target, sizeof target) || target == 0)
        return address;
    return target;
}

// Puts back every redirected slot that still holds its replacement.
void ImportsShutDown() {
    std::vector<THookedImport> hooked;
    {
        std::lock_guard guard(gImportsLock);
        hooked.swap(gHookedImports);
    }
    for (auto it = hooked.rbegin(); it != hooked.rend(); ++it) {
        uintptr_t current;
        if (SafeRead(it->Slot, &current, sizeof current) && current == it->Replacement)
            WriteCode(it->Slot, &it->Original, sizeof it->Original);
    }
}

} // namespace reporter
