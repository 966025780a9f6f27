#pragma once
// Waiting on a 32-bit word through the kernel: safe in signal handlers, unlike every lock of the library.
#include <atomic>
#include <cstdint>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace reporter {

// Sleeps while the word holds expected, at most timeoutMs milliseconds (0: no limit); may wake early.
inline void FutexWait(std::atomic<uint32_t>& word, uint32_t expected, int timeoutMs) {
    timespec limit{timeoutMs / 1000, long(timeoutMs % 1000) * 1000000L};
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, expected,
              timeoutMs > 0 ? &limit : nullptr, nullptr, 0);
}

inline void FutexWake(std::atomic<uint32_t>& word) {
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr, nullptr,
              0);
}

} // namespace reporter
