#pragma once
// Standing other threads still to read them: a thread is parked by a real-time signal sent to it alone,
// its handler copies the thread's registers and stack into a buffer the parker allocated beforehand,
// then waits until released. Nothing is allocated while a thread is parked: it may hold the allocator's
// lock. Release the threads before any allocation-heavy work; only then take the copies.
#include "OCallStack.h"
#include "OThreadState.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <sys/types.h>
#include <vector>

namespace reporter {

// Picks a free real-time signal and installs its handler; false when none is free.
bool InstallParkSignal();
void RemoveParkSignal();
// The signal in use, 0 when none is installed.
int ParkSignal();
// Whether the thread takes the park signal as soon as it gets a processor: it lives, runs or sleeps
// where a signal wakes it, and does not block the signal. Reads /proc without allocating.
bool CanTakeParkSignal(pid_t threadId);

struct TParkSlot;

struct TParkTarget {
    pid_t ThreadId = 0;
    uintptr_t StackTop = 0;
};

class TThreadParker {
public:
    // Room for count threads, each with a stack copy of at most stackBytes.
    explicit TThreadParker(int count, size_t stackBytes = 102400);
    // Releases every thread still parked, and waits until their handlers have left the slots.
    ~TThreadParker();
    TThreadParker(const TThreadParker&) = delete;
    TThreadParker& operator=(const TThreadParker&) = delete;

    // Parks the thread (not the calling one) and copies its registers and stack, up to stackTop or, when
    // that is 0, as far as the stack is readable. False when the thread has not stopped after timeoutMs
    // and cannot take the signal (CanTakeParkSignal), or no slot is left; a thread that only waits for
    // a processor is waited for.
    bool Park(pid_t threadId, uintptr_t stackTop, int timeoutMs = 250);
    // Parks the threads together (each asked at once, so that the time grows with their number, not
    // its square); a thread that has not stopped quietMs after the last one that did is left out when
    // it cannot take the signal, and waited for when it can. One flag per target: parked.
    std::vector<bool> ParkAll(const std::vector<TParkTarget>& targets, int quietMs = 250);
    void Release(pid_t threadId);
    void ReleaseAll();
    // What the parked thread's handler copied (call after the release: this allocates).
    bool GetCopy(pid_t threadId, TThreadStackCopy& copy) const;
    bool GetContext(pid_t threadId, TOstrelContext& context) const;

private:
    TParkSlot* SlotOf(pid_t threadId) const;
    // Takes a free slot for the thread, publishes it and sends the signal; nullptr when that failed.
    TParkSlot* Request(pid_t threadId, uintptr_t stackTop, int signal);
    // Fills the free slot for the thread, publishes it and sends the signal; false (the slot free
    // again) when that failed.
    static bool Claim(TParkSlot& slot, pid_t threadId, uintptr_t stackTop, int signal);
    std::vector<std::unique_ptr<TParkSlot>> m_slots;
    size_t m_nextFree = 0;
};

} // namespace reporter
