#pragma once
// The header line of one thread's group of call-stack entries, shared by the call-stack page and the
// report text: "Exception Thread: ID=4711; Priority=0; Class=TWorker; [Main]". Plain C++: the text
// builder of the core can take it over unchanged.
#include "reporter/OStackList.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace reporter {

class TOstrelModuleOptions;

// What the thread list knows of a thread.
struct TThreadHeaderRecord {
    int32_t Priority = 0;
    std::string ClassName; // class of the thread's object; empty when it has none or it is not valid
};

// Finds a thread's record under the thread list's read lock; none when the thread is not listed.
using TThreadRecordLookup = std::function<std::optional<TThreadHeaderRecord>(uint32_t threadId)>;

struct TThreadLookup {
    TThreadRecordLookup Find;  // empty: ThreadRecordFromSystem
    uint32_t MainThreadId = 0; // 0: the process id (the main thread's id on this system)
};

// A record from the system alone: the nice value of a thread of this process, no class; none when the
// process has no such thread.
std::optional<TThreadHeaderRecord> ThreadRecordFromSystem(uint32_t threadId);

// Label (text 69 for entry 0, else 70 running or 71 calling) + ": " + "ID=..; Priority=.." (priority "??"
// without a record), "; Class=.." in log form or when there is a class, "; [Main]" for the main thread.
// The log form starts with one blank.
std::string BuildThreadHeader(int entryIndex, const TOstrelDebugInfo& entry, bool logForm,
                              const TOstrelModuleOptions& options, const TThreadLookup& lookup = {});

} // namespace reporter
