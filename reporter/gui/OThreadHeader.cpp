#include "reporter/gui/OThreadHeader.h"

#include "reporter/OOptions.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace reporter {

std::optional<TThreadHeaderRecord> ThreadRecordFromSystem(uint32_t threadId) {
    if (threadId == 0)
        return std::nullopt;
    const std::string task = "/proc/self/task/" + std::to_string(threadId);
    struct stat info {};
    if (::stat(task.c_str(), &info) != 0)
        return std::nullopt;
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, id_t(threadId));
    if (nice == -1 && errno != 0)
        return std::nullopt;
    TThreadHeaderRecord record;
    record.Priority = nice;
    return record;
}

std::string BuildThreadHeader(int entryIndex, const TOstrelDebugInfo& entry, bool logForm,
                              const TOstrelModuleOptions& options, const TThreadLookup& lookup) {
    const int label = entryIndex == 0 ? 69 : (entry.Running ? 70 : 71);
    std::string header = (logForm ? " " : "") + options.GetText(label) + ": ";

    const std::optional<TThreadHeaderRecord> record =
        lookup.Find ? lookup.Find(entry.ThreadID) : ThreadRecordFromSystem(entry.ThreadID);
    const std::string priority = record ? std::to_string(record->Priority) : std::string("??");
    const std::string className = record ? record->ClassName : std::string();

    header += options.GetText(72) + "=" + std::to_string(entry.ThreadID) + "; " + options.GetText(73) + "=" +
              priority;
    if (logForm || !className.empty())
        header += "; " + options.GetText(74) + "=" + className;
    const uint32_t mainThread = lookup.MainThreadId != 0 ? lookup.MainThreadId : uint32_t(::getpid());
    if (entry.ThreadID == mainThread)
        header += "; [" + options.GetText(68) + "]";
    return header;
}

} // namespace reporter
