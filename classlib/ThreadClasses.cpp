#include "classlib/ThreadClasses.h"

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

namespace {

constexpr std::chrono::milliseconds LookupPatience{100};

std::mutex gLock;
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
    // Polled rather than a timed lock: a reporter that asks while the lock's holder is parked gives up,
    // and the plain try_lock is what race checkers understand.
    std::unique_lock guard(gLock, std::defer_lock);
    const auto deadline = std::chrono::steady_clock::now() + LookupPatience;
    while (!guard.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return std::string();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto found = gClasses.find(systemThreadId);
    return found != gClasses.end() ? found->second : std::string();
}
