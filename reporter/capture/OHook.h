#pragma once
// Code patching and its bookkeeping, so that every patch can be undone at shut-down:
// - import redirection: the GOT/PLT slots of a module that import a routine by name get a replacement;
// - prologue hooks: the first whole instructions of a routine move to a trampoline (through which the
//   routine can still be called as it was) and a jump to the replacement takes their place;
// - pointer slots: one pointer in a table (a virtual table) is overwritten and its old value kept.
#include "OModules.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace reporter {

// The pointer slots patched so far, guarded by their own lock; any thread may use them.
class THookedMethodsList {
public:
    struct TEntry {
        uintptr_t Table;
        uintptr_t OldValue;
        int Index;
    };
    // Restores every slot still recorded.
    ~THookedMethodsList();
    void Add(const TEntry& entry);
    bool Find(uintptr_t table, int index, TEntry& entry);
    // Writes the recorded old value back and forgets the entry; false when there is none.
    bool Restore(uintptr_t table, int index);
    int Count();

private:
    std::mutex m_lock;
    std::vector<TEntry> m_entries;
};

// Creates the hook lists (before this, HookPointerSlot does nothing).
void InitHookUnit();
// Undoes every patch: import slots, then pointer slots, then prologue hooks from the last to the first.
void DoneHookUnit();

// Writes slot index of the table when the slot lies inside a loaded module; false otherwise.
bool WritePointerSlot(uintptr_t table, int index, uintptr_t value);
// Returns the slot's previous value (0 before InitHookUnit, or when the slot is outside every module).
uintptr_t HookPointerSlot(uintptr_t table, int index, uintptr_t value);
bool UnhookPointerSlot(uintptr_t table, int index);

// Redirects the module's import slots of the symbol to the replacement. Returns routine when at least one
// slot was redirected, else 0; unless quiet, finding none raises EHookingError. A routine of 0 raises
// EProcNull.
uintptr_t HookImports(TModuleHandle module, const std::string& libraryName, const std::string& symbolName,
                      uintptr_t routine, bool noRecord, bool quiet, const std::string& messageName,
                      uintptr_t replacement);
// Resolves the routine in the library and redirects its imports in each named module that is loaded
// (an empty name is the program); routine receives the resolved address.
bool HookImportedProcedure(const std::vector<std::string>& moduleNames, const std::string& libraryName,
                           const std::string& routineName, bool quiet, uintptr_t& routine,
                           uintptr_t replacement);

// The routine an import stub (a PLT entry) of a module jumps to, or the address itself. Unlike
// ResolveImportJump, a jump through a pointer that is no import slot of the module (a tail call through a
// function pointer) is not followed.
uintptr_t ResolveImportStub(uintptr_t address);

// Hooks the routine's prologue (an import stub stands for the routine it imports) and returns the trampoline;
// a second hook of the same routine returns the first trampoline and changes nothing.
uintptr_t HookProcedure(uintptr_t routine, uintptr_t replacement, const std::string& messageName);
// Puts the routine's first bytes back; the trampoline stays (a thread may still run through it).
bool UnhookCode(uintptr_t routine);

template <typename F> F HookProcedure(F routine, F replacement, const std::string& messageName) {
    return reinterpret_cast<F>(HookProcedure(reinterpret_cast<uintptr_t>(routine),
                                             reinterpret_cast<uintptr_t>(replacement), messageName));
}

} // namespace reporter
