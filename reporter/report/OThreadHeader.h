#pragma once
// The header line of one thread's block of call-stack entries, shared by the report text and the
// call-stack page: the thread's role, its ID, priority and class, and the main-thread mark.
#include "OStackList.h"

#include <cstdint>
#include <functional>
#include <string>

namespace reporter {

class TOstrelModuleOptions;

// What the threads list knows of a thread.
struct TThreadHeaderFacts {
    bool Known = false;    // the thread has a record in the threads list
    std::string Priority;  // its priority as a decimal number
    std::string ClassName; // the class of its thread object, empty when none
    bool MainThread = false;
};

using TThreadFactsLookup = std::function<TThreadHeaderFacts(uint32_t threadId)>;

// A thread of this process as the system tells it: its nice value as the priority, no class; unknown
// when the process has no such thread.
TThreadHeaderFacts ThreadFactsFromSystem(uint32_t threadId);
// Installed by the thread tracking; without one, the system's facts are used.
void SetThreadFactsLookup(TThreadFactsLookup lookup);
// The installed lookup's answer, the main-thread mark always set from the process's main thread.
TThreadHeaderFacts LookupThreadFacts(uint32_t threadId);
// The process's main thread (its ID equals the process ID).
uint32_t MainThreadID();

// "<role>: ID=<id>; Priority=<p>; Class=<c>; [Main]" with the options' texts: the role is the exception
// thread for entry index 0, else a running or a calling thread by the entry's running flag. The log form
// starts with one blank and always has the class part; the other form has it only when a class is known.
// An unknown thread has the priority "??".
std::string BuildThreadHeader(const TOstrelModuleOptions& options, int entryIndex,
                              const TOstrelDebugInfo& entry, bool logForm, const TThreadHeaderFacts& facts);
std::string BuildThreadHeader(const TOstrelModuleOptions& options, int entryIndex,
                              const TOstrelDebugInfo& entry, bool logForm);

} // namespace reporter
