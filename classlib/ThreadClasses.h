#pragma once
// The class of each TThread while its Execute runs, by the system's id of the thread it runs on, so that
// whoever describes the process's threads (the exception reporter's thread headers) can name them.
#include <cstdint>
#include <string>

// Called by the thread itself as it starts and as it ends.
void RegisterThreadClass(int64_t systemThreadId, std::string className);
void UnregisterThreadClass(int64_t systemThreadId);
// The class of the TThread running on the thread, empty when none does. It waits only briefly for the
// registry, so that a thread stopped while holding it cannot block whoever asks (then: empty).
std::string ThreadClassName(int64_t systemThreadId);
