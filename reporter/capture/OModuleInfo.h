#pragma once
// The reporter's list of the modules loaded in the process (the program and every shared library): file,
// version note, size and date, kind, exported routines, the module's own reporter options and its packed
// debug information. Records are shared: a call-stack entry keeps the record of its module alive even
// after a refresh has dropped it from the list.
#include "ODebugData.h"
#include "OModules.h"
#include "OOptions.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace reporter {

struct TOstrelFunctionInfo {
    std::string Name;
    uintptr_t Address = 0;
    uint32_t Size = 0;
};

// Exported routines, owned, kept sorted by address.
class TOstrelFunctionsList {
public:
    int Count() const { return int(m_items.size()); }
    const TOstrelFunctionInfo& Items(int index) const { return m_items.at(size_t(index)); }
    void Add(TOstrelFunctionInfo info) { m_items.push_back(std::move(info)); }
    void Sort();
    void Clear() { m_items.clear(); }
    // The routine that contains the address or, failing that, the nearest one below it; nullptr when
    // every routine lies above the address.
    const TOstrelFunctionInfo* FindByAddress(uintptr_t address) const;
    const TOstrelFunctionInfo* FindByName(const std::string& name) const;

private:
    std::vector<TOstrelFunctionInfo> m_items;
};

enum TOstrelModuleKind : uint8_t { mkNotExamined = 0, mkProgram = 1, mkPackage = 2, mkLibrary = 3 };

struct TOstrelModuleInfo {
    TModuleHandle Handle = 0;
    std::string FileName;
    std::string Description; // "FileDescription" of the version note
    std::string Version;     // "a.b.c.d", empty when none or 0.0.0.0
    uint64_t Size = 0;       // file size, 0 when the file is not found
    TOstrelFunctionsList Functions;
    uint8_t ModuleKind = mkNotExamined;
    uint16_t DebugDataVersion = 0;
    time_t CompilationTime = 0; // from the debug data, 0 when none
    std::unique_ptr<TOstrelModuleOptionsEx> Options;
    std::shared_ptr<const TDebugData> DebugStream; // none when absent, refused, or during a light scan
    time_t Modified = 0;                           // the file's last modification
    std::string DebugText;
    bool DebugDataValid = true;
    // The file the record was made from: another module loaded at the same address later is another
    // file (or the same path replaced).
    uint64_t FileDevice = 0;
    uint64_t FileInode = 0;
};

using TOstrelModuleInfoPtr = std::shared_ptr<TOstrelModuleInfo>;

// The module list, sorted by handle after each refresh. No lock of its own: it is filled at start-up and
// refreshed inside report processing, one report at a time.
class TOstrelModulesList {
public:
    int Count() const { return int(m_items.size()); }
    const TOstrelModuleInfoPtr& Items(int index) const { return m_items.at(size_t(index)); }
    void Delete(int index);
    void Clear() { m_items.clear(); }

    // Drops modules that are no longer loaded (or whose address now holds another file), adds the missing
    // ones (a light scan: no exports, no kind, no debug stream) and sorts by handle.
    void GetProcessModules();
    // The record of a loaded module, built and appended when missing; nullptr for 0 or no module. A
    // record left by a light scan, or one of a module that was unloaded and replaced at the same
    // address, is built again in full.
    TOstrelModuleInfoPtr FindModuleInfo(TModuleHandle handle);
    TOstrelModuleInfoPtr FindModuleInfoByAddr(uintptr_t address);
    bool BuildModuleInfo(TModuleHandle handle);
    // Drops the records whose file changed on disk since they were made.
    void PurgeChangedModules();

    // While a pass is open (the stack walks of one report), where the modules lie is read once and each
    // record is checked against what is loaded once: the walks look up thousands of addresses.
    void BeginLookupPass();
    void EndLookupPass();

private:
    struct TSegment {
        uintptr_t Start, End; // [Start, End)
        TModuleHandle Module;
    };
    TModuleHandle PassModuleOf(uintptr_t address) const;
    bool m_passOpen = false;
    std::vector<TSegment> m_passSegments;
    std::vector<TModuleHandle> m_passChecked;

    int IndexOf(TModuleHandle handle) const;
    // The record still describes what is loaded at its handle.
    static bool StillLoaded(const TOstrelModuleInfo& info);
    std::vector<TOstrelModuleInfoPtr> m_items;
};

// Opens a lookup pass on the list for the scope (nothing for no list).
class TModuleLookupPass {
public:
    explicit TModuleLookupPass(TOstrelModulesList* list) : m_list(list) {
        if (m_list != nullptr)
            m_list->BeginLookupPass();
    }
    ~TModuleLookupPass() {
        if (m_list != nullptr)
            m_list->EndLookupPass();
    }
    TModuleLookupPass(const TModuleLookupPass&) = delete;
    TModuleLookupPass& operator=(const TModuleLookupPass&) = delete;

private:
    TOstrelModulesList* m_list;
};

// The process's module list (created at the reporter's start, freed at its end); nullptr when none.
TOstrelModulesList* ModulesList();
void SetModulesList(std::unique_ptr<TOstrelModulesList> list);

// Set while the module list is being refreshed.
bool LightScan();

// The full file name of a loaded module, empty when the handle is none.
std::string GetModuleFileNameEx(TModuleHandle handle);
bool IsValidModule(TModuleHandle handle);
// The size of the file in bytes, 0 when it is not found.
uint64_t GetFileSizeByName(const std::string& fileName);
// The folder of the record's file without its final separator (the root keeps it).
std::string GetModuleFolder(const TOstrelModuleInfo& info);
// The module's ELF header marks a shared library (not an executable, a position-independent one
// included); unreadable headers give whether the reporter itself runs inside a library.
bool IsDLLModule(TModuleHandle handle);
// The module kind: program or library; 0 when the headers cannot be read. There are no packages here.
uint8_t IsPackageModule(TModuleHandle handle);
// Adds the module's exported routines (defined functions of its dynamic symbol table) to the list,
// sorted by address; true when at least one was added.
bool ReadModuleExports(TModuleHandle handle, TOstrelFunctionsList& functions);
// The address of a symbol the module itself defines and exports, read from its dynamic symbol table in
// memory (never through the loader, whose lock a faulting thread may hold); 0 when it has none.
uintptr_t DynamicSymbolAddress(TModuleHandle handle, const char* name);
// The module's file ends in an "OLDATA" container.
bool HasAppendedDebugData(TModuleHandle handle);
bool ModuleHasDebugData(TModuleHandle handle);
// Reads the module's container into the record: data version, compilation time, options and (unless a
// light scan runs) the debug information. A container that cannot be read leaves DebugDataValid clear.
bool ReadModuleDebugData(TOstrelModuleInfo& info);
// The address of a code offset of the packed debug information.
uintptr_t CodeOffsetToAddress(TModuleHandle base, uint32_t offset);

} // namespace reporter
