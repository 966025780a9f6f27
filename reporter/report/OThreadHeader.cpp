#include "OThreadHeader.h"

#include "OOptions.h"

#include <cerrno>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace reporter {

namespace {

std::mutex LookupLock;
TThreadFactsLookup InstalledLookup;

} // namespace

TThreadHeaderFacts ThreadFactsFromSystem(uint32_t threadId) {
    TThreadHeaderFacts facts;
    if (threadId == 0)
        return facts;
    const std::string task = "/proc/self/task/" + std::to_string(threadId);
    struct stat info {};
    if (::stat(task.c_str(), &info) != 0)
        return facts;
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, id_t(threadId));
    if (nice == -1 && errno != 0)
        return facts;
    facts.Known = true;
    facts.Priority = std::to_string(nice);
    return facts;
}

void SetThreadFactsLookup(TThreadFactsLookup lookup) {
    const std::lock_guard<std::mutex> guard(LookupLock);
    InstalledLookup = std::move(lookup);
}

uint32_t MainThreadID() {
    return uint32_t(::getpid());
}

TThreadHeaderFacts LookupThreadFacts(uint32_t threadId) {
    TThreadFactsLookup lookup;
    {
        const std::lock_guard<std::mutex> guard(LookupLock);
        lookup = InstalledLookup;
    }
    TThreadHeaderFacts facts;
    facts = lookup ? lookup(threadId) : ThreadFactsFromSystem(threadId);
    facts.MainThread = threadId == MainThreadID();
    return facts;
}

std::string BuildThreadHeader(const TOstrelModuleOptions& options, int entryIndex,
                              const TOstrelDebugInfo& entry, bool logForm, const TThreadHeaderFacts& facts) {
    const int label = entryIndex == 0 ? 69 : (entry.Running ? 70 : 71);
    std::string header = std::string(logForm ? " " : "") + options.GetText(label) + ": ";
    header += options.GetText(72) + "=" + std::to_string(entry.ThreadID) + "; " + options.GetText(73) + "=" +
              (facts.Known ? facts.Priority : std::string("??"));
    const std::string className = facts.Known ? facts.ClassName : std::string();
    if (logForm || !className.empty())
        header += "; " + options.GetText(74) + "=" + className;
    if (facts.MainThread)
        header += "; [" + options.GetText(68) + "]";
    return header;
}

std::string BuildThreadHeader(const TOstrelModuleOptions& options, int entryIndex,
                              const TOstrelDebugInfo& entry, bool logForm) {
    return BuildThreadHeader(options, entryIndex, entry, logForm, LookupThreadFacts(entry.ThreadID));
}

} // namespace reporter
