#pragma once
// Waiting for input on a descriptor with poll, shared by the serial and the TCP layers, so that a
// request waiting for a slow reply sleeps in the kernel instead of spinning.

namespace platform {

enum class TWaitResult {
    Ready,    // input is waiting
    TimedOut, // nothing arrived within the time
    Closed,   // the peer hung up or the descriptor failed: no more input will come
    Woken     // the wake descriptor became readable first
};

// Waits at most timeoutMs (0 = just look) for input on fd. An interrupted poll resumes with the time left.
TWaitResult WaitReadable(int fd, int timeoutMs);

// As WaitReadable, but returns Woken as soon as wakeFd (when not -1) is readable, whatever fd holds.
TWaitResult WaitReadableOrWoken(int fd, int wakeFd, int timeoutMs);

// Whether the other end of fd has hung up or the descriptor failed, looked at without waiting.
bool HungUp(int fd);

} // namespace platform
