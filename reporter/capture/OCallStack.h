#pragma once
// Call stacks by scanning a thread's stack memory: every stack word that points just behind a call
// instruction is taken as a return address, and the call becomes one entry. No frame chain is trusted,
// so optimised code without frame pointers is walked too. Every read of foreign memory goes through the
// readability test; other threads are walked on copies of their stacks.
#include "OStackList.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <unordered_map>
#include <vector>

namespace reporter {

class TOstrelModuleOptions;

// A set of entry kinds 0..7, bit k for kind k.
using TOstrelDebugKinds = uint8_t;
inline constexpr TOstrelDebugKinds AllDebugKinds = 0x1F; // {0, 1, 2, 3, 4}
constexpr TOstrelDebugKinds DebugKinds(std::initializer_list<int> kinds) {
    TOstrelDebugKinds set = 0;
    for (int k : kinds)
        set = TOstrelDebugKinds(set | (1u << k));
    return set;
}

// The most stack bytes one walk looks at.
inline constexpr uintptr_t StackWalkWindow = 102400;

// The memory a walk scans: [Start, End] inclusive. With Copy, the words are taken from that copy of the
// range (Copy[0] holds the word at Start) and never from the live stack.
struct TStackMemory {
    uintptr_t Start = 0;
    uintptr_t End = 0;
    const uint8_t* Copy = nullptr;
};

// A thread's registers and stack, copied while it was parked.
struct TThreadStackCopy {
    uint32_t ThreadId = 0;
    uintptr_t InstructionPointer = 0;
    uintptr_t StackPointer = 0;
    uintptr_t FramePointer = 0;
    std::vector<uint8_t> Stack; // the bytes from StackPointer up to the thread's stack top
};

// What the walks of one report share: the stacks of many threads hold the same return addresses (the
// same routines waiting, the same creator's stack), read and resolved once.
struct TStackWalkCache {
    struct TWindow {
        uint8_t Code[8];
        uint8_t State; // 0: unreadable, 1: the 7 bytes in front, 2: with the byte before them
    };
    std::unordered_map<uintptr_t, TWindow> Windows;          // by stack value
    std::unordered_map<uintptr_t, TOstrelDebugInfo> Entries; // by address, as the lookup filled them
    std::unordered_map<uintptr_t, uintptr_t> Routines;       // by call target: the routine, 0 for none
};

struct TStackWalkParams {
    uint32_t ThreadId = 0;
    bool Running = true;
    bool DebugLookup = true;
    bool FollowCalls = true;
    int32_t SkipCount = -1; // -1 switches both limits off
    int32_t MaxCount = -1;
    TOstrelDebugKinds Kinds = AllDebugKinds;
    TOstrelModulesList* Modules = nullptr; // the process's list when none is given
    // The first address is where the exception happened: its entry is kept whatever its kind and the
    // limits, and marked (TOstrelDebugInfo::Faulting).
    bool FaultingFirst = false;
    TStackWalkCache* Cache = nullptr; // shared by the walks of one report, nullptr: none
};

// Appends the entries of one walk to the list: the first address (when not 0), then every call found in
// the stack memory, then the walk's entries are trimmed (TrimStackToHandler).
void WalkStack(TOstrelStackList& list, uintptr_t firstAddress, const TStackMemory& stack,
               const TStackWalkParams& params);
// A new list with the walk of the live stack range; an end of 0 is the current thread's stack top.
std::unique_ptr<TOstrelStackList> GetCallStack(uintptr_t firstAddress, uintptr_t stackStart,
                                               uintptr_t stackEnd, uint32_t threadId, bool running,
                                               bool followCalls, int32_t skipCount, int32_t maxCount,
                                               TOstrelDebugKinds kinds);
// Walks another thread's copied stack (nothing when its instruction or stack pointer is 0).
void WalkThreadCopy(TOstrelStackList& list, const TThreadStackCopy& copy, const TStackWalkParams& params);

// The call instruction that ends just before the return address, tested on the bytes in front of it;
// false when none of the known call forms matches. target is set for a relative call.
bool FindCallBefore(uintptr_t returnAddress, uintptr_t& callAddress, uintptr_t& target);
// The same on bytes read beforehand: code[8 - k] is the byte at returnAddress - k (code[0] only
// with haveRex).
bool FindCallIn(uintptr_t returnAddress, const uint8_t* code, bool haveRex, uintptr_t& callAddress,
                uintptr_t& target);
// Post-processing of the entries from index first on: a resolved call site that occurs again among the
// next two resolved entries of its module is kept only at its later (deeper) occurrence (kind 0).
void TrimStackToHandler(TOstrelStackList& list, int first, bool debugLookup);

// The entry kinds that the report text and the call-stack page show.
TOstrelDebugKinds GetCallStackColumns(const TOstrelModuleOptions& options);
// Whether the report text and the call-stack page show the entry: its kind is in the set; or it is the
// faulting frame; or, beside exported names, an address of a module that no export covers (past an
// export's end, below every export), named by the module and its offset in it.
bool IsShownEntry(TOstrelDebugKinds shown, const TOstrelDebugInfo& entry);

} // namespace reporter
