#include "classlib/ThreadClasses.h"

#include <chrono>
#include <map>
#include <mutex>

namespace {

constexpr std::chrono::milliseconds LookupPatience{100};

std::timed_mutex gLock;
std::map<int64_t, std::string> gClasses;

} // namespace

void RegisterThreadClass(int64_t systemThreadId, std::string className) {
    const std::lock_guard guard(gLock);
    gClasses[systemThreadId] = std::move(className);
}

void UnregisterThreadClass(int64_t systemThreadId) {
    const std::lock_guard guard(gLock);
    gClasses.erase(systemThreadId);
}

std::string ThreadClassName(int64_t systemThreadId) {
    std::unique_lock guard(gLock, std::defer_lock);
    if (!guard.try_lock_for(LookupPatience))
        return std::string();
    const auto found = gClasses.find(systemThreadId);
    return found != gClasses.end() ? found->second : std::string();
}
