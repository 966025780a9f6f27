#include "OReporterState.h"

#include "OOptions.h"
#include "OProcess.h"
#include "OThreadState.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace reporter {

namespace {

std::atomic<bool> gHooksEnabled{false};
std::atomic<bool> gStarted{false};
std::atomic<bool> gInitialising{false};
std::atomic<bool> gFinalising{false};
std::atomic<bool> gLibraryMode{false};
std::atomic<bool> gOwnHooks{false};
std::atomic<pid_t> gMainThreadId{0};
std::atomic<pthread_t> gMainThreadHandle{0};
std::atomic<uintptr_t> gMainStackTop{0};

std::mutex gExcludedLock;
std::vector<pid_t> gExcluded;

} // namespace

bool HooksEnabled() {
    return gHooksEnabled.load();
}
void SetHooksEnabled(bool value) {
    gHooksEnabled.store(value);
}
bool ReporterStarted() {
    return gStarted.load();
}
void SetReporterStarted(bool value) {
    gStarted.store(value);
}
bool StillInitialising() {
    return gInitialising.load();
}
void SetStillInitialising(bool value) {
    gInitialising.store(value);
}
bool AlreadyFinalising() {
    return gFinalising.load();
}
void SetAlreadyFinalising(bool value) {
    gFinalising.store(value);
}
bool LibraryMode() {
    return gLibraryMode.load();
}
void SetLibraryMode(bool value) {
    gLibraryMode.store(value);
}
bool OwnHooks() {
    return gOwnHooks.load();
}
void SetOwnHooks(bool value) {
    gOwnHooks.store(value);
}

namespace {
std::atomic<pid_t> gStoppedThreadId{0};
std::atomic<pid_t> gGuiThreadId{0};
} // namespace

pid_t StoppedThreadId() {
    return gStoppedThreadId.load();
}

void SetStoppedThreadId(pid_t threadId) {
    gStoppedThreadId.store(threadId);
}

pid_t GuiThreadId() {
    const pid_t gui = gGuiThreadId.load();
    return gui != 0 ? gui : gMainThreadId.load();
}

void SetGuiThreadId(pid_t threadId) {
    gGuiThreadId.store(threadId);
}

pid_t MainThreadId() {
    return gMainThreadId.load();
}
pthread_t MainThreadHandle() {
    return gMainThreadHandle.load();
}
uintptr_t MainStackTop() {
    return gMainStackTop.load();
}
void RecordMainThread() {
    gMainThreadId.store(CurrentThreadId());
    gMainThreadHandle.store(pthread_self());
    gMainStackTop.store(CurrentStackTop());
}

bool IsReporterActive() {
    const TOstrelModuleOptionsEx* options = CurrentOptions();
    return ReporterStarted() && options != nullptr && options->ReporterActive();
}

void ExcludeThread(pid_t threadId) {
    std::lock_guard guard(gExcludedLock);
    if (std::find(gExcluded.begin(), gExcluded.end(), threadId) == gExcluded.end())
        gExcluded.push_back(threadId);
}
void IncludeThread(pid_t threadId) {
    std::lock_guard guard(gExcludedLock);
    std::erase(gExcluded, threadId);
}
bool IsThreadReported(pid_t threadId) {
    std::lock_guard guard(gExcludedLock);
    return std::find(gExcluded.begin(), gExcluded.end(), threadId) == gExcluded.end();
}
void ClearExcludedThreads() {
    std::lock_guard guard(gExcludedLock);
    gExcluded.clear();
}

} // namespace reporter
