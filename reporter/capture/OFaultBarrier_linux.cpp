#include "OFaultBarrier.h"

#include "OThreadState.h"

#include <csetjmp>
#include <pthread.h>

namespace reporter {

namespace {

constexpr int ContainedSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

// The call itself: kept out of line so that nothing of the caller lives in registers across the jump.
[[gnu::noinline]] bool RunBetween(sigjmp_buf& barrier, const std::function<void()>& call) {
    TOstrelThreadState& state = CurrentThreadState();
    void* const outer = state.FaultBarrier;
    // The mask at this point comes back with the jump (the fault's signal is blocked in its handler).
    if (sigsetjmp(barrier, 1) != 0) {
        state.FaultBarrier = outer;
        return false;
    }
    state.FaultBarrier = &barrier;
    bool completed = true;
    try {
        call();
    } catch (...) {
        completed = false;
    }
    state.FaultBarrier = outer;
    return completed;
}

} // namespace

bool RunFaultContained(const std::function<void()>& call) {
    // A thread that keeps the fault signals blocked (the reporter's relay) could not see its own fault:
    // the kernel would end the process instead.
    sigset_t faults;
    sigset_t previous;
    sigemptyset(&faults);
    for (const int signal : ContainedSignals)
        sigaddset(&faults, signal);
    const bool unblocked = pthread_sigmask(SIG_UNBLOCK, &faults, &previous) == 0;
    sigjmp_buf barrier;
    const bool completed = RunBetween(barrier, call);
    if (unblocked)
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return completed;
}

void LeaveContainedCall(int signal, const siginfo_t* info) {
    void* const barrier = CurrentThreadState().FaultBarrier;
    // Only a fault of the thread's own code (the kernel's, si_code > 0); an abort or a sent signal is
    // no fault of the call.
    if (barrier == nullptr || info == nullptr || info->si_code <= 0 || signal == SIGABRT)
        return;
    siglongjmp(*static_cast<sigjmp_buf*>(barrier), 1);
}

} // namespace reporter
