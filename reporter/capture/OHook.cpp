#include "OHook.h"

#include "OCodeWrite.h"
#include "OErrors.h"
#include "OInstructionLength.h"
#include "OMemory.h"

#include <cstring>
#include <memory>

namespace reporter {

namespace {

struct TCodeHook {
    uintptr_t Routine;
    uintptr_t Trampoline;
    size_t TrampolineSize;
    std::vector<uint8_t> SavedBytes;
};

constexpr size_t JumpSize = 5;
constexpr size_t RelaySize = 16; // jmp *0(%rip) and the 8-byte address, rounded
constexpr size_t MaxCopied = 32;

std::mutex gHookLock; // the lists change at start-up and shut-down; the lock keeps stray callers safe
std::unique_ptr<THookedMethodsList> gMethods;
std::vector<TCodeHook> gCodeHooks;

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

void StoreDisplacement(uint8_t* at, int32_t value) {
    std::memcpy(at, &value, 4);
}
int32_t LoadDisplacement(const uint8_t* at) {
    int32_t value;
    std::memcpy(&value, at, 4);
    return value;
}

} // namespace

void ImportsShutDown(); // in the imports unit

THookedMethodsList::~THookedMethodsList() {
    std::lock_guard guard(m_lock);
    while (!m_entries.empty()) {
        const TEntry entry = m_entries.front();
        m_entries.erase(m_entries.begin());
        try {
            WritePointerSlot(entry.Table, entry.Index, entry.OldValue);
        } catch (const std::exception&) {
            // The table went away; nothing is left to restore.
        }
    }
}

void THookedMethodsList::Add(const TEntry& entry) {
    std::lock_guard guard(m_lock);
    m_entries.push_back(entry);
}

bool THookedMethodsList::Find(uintptr_t table, int index, TEntry& entry) {
    std::lock_guard guard(m_lock);
    for (const TEntry& e : m_entries)
        if (e.Table == table && e.Index == index) {
            entry = e;
            return true;
        }
    return false;
}

bool THookedMethodsList::Restore(uintptr_t table, int index) {
    std::lock_guard guard(m_lock);
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        if (it->Table == table && it->Index == index) {
            WritePointerSlot(table, index, it->OldValue);
            m_entries.erase(it);
            return true;
        }
    return false;
}

int THookedMethodsList::Count() {
    std::lock_guard guard(m_lock);
    return int(m_entries.size());
}

void InitHookUnit() {
    std::lock_guard guard(gHookLock);
    if (!gMethods)
        gMethods = std::make_unique<THookedMethodsList>();
}

void DoneHookUnit() {
    ImportsShutDown();
    std::vector<TCodeHook> hooks;
    {
        std::lock_guard guard(gHookLock);
        gMethods.reset();
        hooks = gCodeHooks;
    }
    for (auto it = hooks.rbegin(); it != hooks.rend(); ++it)
        UnhookCode(it->Routine);
}

bool WritePointerSlot(uintptr_t table, int index, uintptr_t value) {
    const uintptr_t slot = table + uintptr_t(index) * sizeof(uintptr_t);
    if (FindModuleOfAddress(slot) == 0 || FindModuleOfAddress(slot + sizeof(uintptr_t) - 1) == 0)
        return false;
    WriteCode(slot, &value, sizeof value);
    return true;
}

uintptr_t HookPointerSlot(uintptr_t table, int index, uintptr_t value) {
    THookedMethodsList* methods;
    {
        std::lock_guard guard(gHookLock);
        methods = gMethods.get();
    }
    if (methods == nullptr)
        return 0;
    uintptr_t current;
    if (!SafeRead(table + uintptr_t(index) * sizeof(uintptr_t), &current, sizeof current))
        return 0;
    if (current != value) {
        if (!WritePointerSlot(table, index, value))
            return 0;
        methods->Add({table, current, index});
        return current;
    }
    THookedMethodsList::TEntry entry;
    return methods->Find(table, index, entry) ? entry.OldValue : current;
}

bool UnhookPointerSlot(uintptr_t table, int index) {
    std::lock_guard guard(gHookLock);
    return gMethods && gMethods->Restore(table, index);
}

uintptr_t HookProcedure(uintptr_t routine, uintptr_t replacement, const std::string& messageName) {
    routine = ResolveImportStub(routine);
    if (routine == 0 || replacement == 0)
        throw EProcNull("Cannot hook a null procedure (" + Quoted(messageName) + ").");
    std::lock_guard guard(gHookLock);
    for (const TCodeHook& hook : gCodeHooks)
        if (hook.Routine == routine)
            return hook.Trampoline;
    const EHookingError failure("Cannot hook the procedure " + Quoted(messageName) + ".");

    // Whole instructions covering the 5-byte jump.
    uint8_t original[MaxCopied + 16];
    const size_t readable = ReadableSize(routine, sizeof original);
    if (readable < JumpSize || !SafeRead(routine, original, readable))
        throw failure;
    struct TPiece {
        size_t Offset;
        TInstructionInfo Info;
    };
    std::vector<TPiece> pieces;
    size_t copied = 0;
    while (copied < JumpSize) {
        TInstructionInfo info;
        if (!DecodeInstruction(original + copied, readable - copied, info))
            throw failure; // copying a guessed length would corrupt the routine
        pieces.push_back({copied, info});
        copied += info.Length;
        if (info.EndsFlow && copied < JumpSize)
            throw failure; // what follows may be another routine or data
    }

    std::vector<uintptr_t> stubTargets;
    for (const TPiece& p : pieces)
        if (p.Info.Branch == TBranchKind::Short) {
            const uintptr_t end = routine + p.Offset + p.Info.Length;
            const uintptr_t target =
                end + uintptr_t(intptr_t(int8_t(original[p.Offset + p.Info.BranchOffset])));
            if (target < routine || target >= routine + copied)
                stubTargets.push_back(target);
        }
    const size_t trampolineSize = copied + JumpSize + JumpSize * stubTargets.size();
    const uintptr_t page = AllocateCodeNear(routine, RelaySize + trampolineSize);
    if (page == 0)
        throw failure;

    // Relay: an absolute jump to the replacement, within reach of the routine's 5-byte jump.
    std::vector<uint8_t> code(RelaySize + trampolineSize, 0xCC);
    code[0] = 0xFF;
    code[1] = 0x25;
    StoreDisplacement(&code[2], 0);
    std::memcpy(&code[6], &replacement, 8);
    const uintptr_t trampoline = page + RelaySize;
    uint8_t* copy = &code[RelaySize];
    std::memcpy(copy, original, copied);

    size_t stub = 0;
    for (const TPiece& p : pieces) {
        const uintptr_t oldEnd = routine + p.Offset + p.Info.Length;
        const uintptr_t newEnd = trampoline + p.Offset + p.Info.Length;
        if (p.Info.Branch == TBranchKind::Short) {
            const uintptr_t target =
                oldEnd + uintptr_t(intptr_t(int8_t(original[p.Offset + p.Info.BranchOffset])));
            if (target >= routine && target < routine + copied)
                continue;
            const size_t stubOffset = copied + JumpSize + JumpSize * stub++;
            copy[p.Offset + p.Info.BranchOffset] = uint8_t(int8_t(trampoline + stubOffset - newEnd));
            int32_t displacement;
            if (!RelativeDisplacement(trampoline + stubOffset + JumpSize, target, displacement))
                throw failure;
            copy[stubOffset] = 0xE9;
            StoreDisplacement(copy + stubOffset + 1, displacement);
        } else if (p.Info.Branch == TBranchKind::Near) {
            const uintptr_t target =
                oldEnd + uintptr_t(intptr_t(LoadDisplacement(original + p.Offset + p.Info.BranchOffset)));
            if (target >= routine && target < routine + copied)
                continue;
            int32_t displacement;
            if (!RelativeDisplacement(newEnd, target, displacement))
                throw failure;
            StoreDisplacement(copy + p.Offset + p.Info.BranchOffset, displacement);
        }
        if (p.Info.RipRelative) {
            const uintptr_t target =
                oldEnd + uintptr_t(intptr_t(LoadDisplacement(original + p.Offset + p.Info.RipOffset)));
            int32_t displacement;
            if (!RelativeDisplacement(newEnd, target, displacement))
                throw failure;
            StoreDisplacement(copy + p.Offset + p.Info.RipOffset, displacement);
        }
    }
    int32_t back;
    if (!RelativeDisplacement(trampoline + copied + JumpSize, routine + copied, back))
        throw failure;
    copy[copied] = 0xE9;
    StoreDisplacement(copy + copied + 1, back);

    std::memcpy(reinterpret_cast<void*>(page), code.data(), code.size());
    SealCode(page, code.size());
    TCodeHook hook{routine, trampoline, trampolineSize, std::vector<uint8_t>(original, original + JumpSize)};
    WriteJump(routine, page);
    gCodeHooks.push_back(std::move(hook));
    return trampoline;
}

bool UnhookCode(uintptr_t routine) {
    routine = ResolveImportStub(routine);
    std::lock_guard guard(gHookLock);
    bool found = false;
    for (auto it = gCodeHooks.begin(); it != gCodeHooks.end();) {
        if (it->Routine != routine) {
            ++it;
            continue;
        }
        WriteCode(routine, it->SavedBytes.data(), it->SavedBytes.size());
        it = gCodeHooks.erase(it);
        found = true;
    }
    return found;
}

} // namespace reporter
