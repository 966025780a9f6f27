#include "OSignals.h"

#include "OCallStack.h"
#include "OExternalExceptions.h"
#include "OFaultBarrier.h"
#include "OFutex_linux.h"
#include "OInterception.h"
#include "OModuleMap.h"
#include "OProcessHandoff.h"
#include "OReportProgress.h"
#include "OReporterState.h"
#include "OThreadPark.h"
#include "OThreadState.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

namespace reporter {

namespace {

constexpr int SignalCount = int(std::size(ReportedSignals));
constexpr size_t AlternateStackSize = 64 * 1024;

struct sigaction gPrevious[SignalCount];
bool gInstalled = false;

// The one signal request the relay thread serves; a second faulting thread waits for its turn.
enum TRelayState : uint32_t { rsIdle, rsRequested, rsDone, rsStop };
struct TSignalRequest {
    std::atomic<uint32_t> State{rsIdle};
    std::atomic<uint32_t> Owner{0}; // the thread id of the faulting thread served, 0 when free
    int Signal = 0;
    int Code = 0;
    uintptr_t FaultAddress = 0;
    pid_t Sender = -1;
    bool Write = false;
    pid_t ThreadId = 0;
    uintptr_t StackTop = 0;
    time_t Time = 0; // when the signal came
    TOstrelContext Context;
};
TSignalRequest gRequest;
pthread_t gRelay;
std::atomic<bool> gRelayRunning{false};
std::atomic<pid_t> gRelayThreadId{0};

constexpr int WaitSliceMs = 250;

// Told when a faulting thread gives its report up; written straight to the descriptor (the faulting
// thread may hold standard error's lock).
constexpr char AbandonedLine[] = "OstrelLog: the exception report made no progress and was abandoned.\n";

// Waits for the relay's answer to the request; false when the report stood still for the stall limit
// while waiting for nobody: it then waits for a lock that the faulting thread holds (the loader's, the
// allocator's, the report's own), and would for ever. The program then dies as it would without the
// reporter.
bool WaitForRelay() {
    TStallWatch watch(ReportStallLimitMs());
    while (gRequest.State.load() == rsRequested) {
        FutexWait(gRequest.State, rsRequested, WaitSliceMs);
        if (gRequest.State.load() == rsRequested && watch.Stalled())
            return false;
    }
    return true;
}

void TellAbandoned() {
    const ssize_t written = ::write(STDERR_FILENO, AbandonedLine, sizeof AbandonedLine - 1);
    (void)written; // nothing more can be done from here
}

// A forked child has no relay thread: its faults go to the previous actions, and nothing waits.
void ForgetRelayInChild() {
    gRelayRunning.store(false);
    gRelayThreadId.store(0);
    gRequest.State.store(rsIdle);
    gRequest.Owner.store(0);
}

int IndexOf(int signal) {
    for (int i = 0; i < SignalCount; ++i)
        if (ReportedSignals[i] == signal)
            return i;
    return -1;
}

// Takes the request for the thread; another thread's turn is waited for on the word itself.
// false when the relay was given up meanwhile.
bool TakeRequest(pid_t self) {
    for (;;) {
        uint32_t expected = 0;
        if (gRequest.Owner.compare_exchange_strong(expected, uint32_t(self)))
            return true;
        if (!gRelayRunning.load())
            return false;
        FutexWait(gRequest.Owner, expected, WaitSliceMs);
    }
}

void FreeRequest() {
    gRequest.Owner.store(0);
    FutexWake(gRequest.Owner);
}

void Chain(int signal, siginfo_t* info, void* userContext) {
    const int index = IndexOf(signal);
    if (index < 0)
        return;
    const struct sigaction& previous = gPrevious[index];
    if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction != nullptr) {
        previous.sa_sigaction(signal, info, userContext);
        return;
    }
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        return;
    }
    // The default action: put it back and let the signal happen again. A fault repeats when its
    // instruction runs again; a sent signal is sent once more (it stays pending until the handler ends).
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    if (info == nullptr || info->si_code <= 0 || signal == SIGABRT)
        ::syscall(SYS_tgkill, ::getpid(), CurrentThreadId(), signal);
}

void CrashHandler(int signal, siginfo_t* info, void* userContext) {
    const int savedErrno = errno;
    LeaveContainedCall(signal, info); // a fault of an event handler ends that handler only
    TOstrelThreadState& state = CurrentThreadState();
    TOstrelContext context;
    ContextFromSignal(userContext, context);
    // The relay cannot wait for itself.
    bool report = HooksEnabled() && ReporterStarted() && gRelayRunning.load() &&
                  gRelayThreadId.load() != CurrentThreadId();
    // The abort after a reported exception, or a fault that repeats after the chained handler returned,
    // is no new exception.
    if (signal == SIGABRT && state.Reported)
        report = false;
    if (state.Signal == signal && state.ExceptionAddress == context.Rip)
        report = false;
    if (report && GuardEnter(state.Processing)) {
        const pid_t self = CurrentThreadId();
        state.ExceptionObject = nullptr;
        state.ExceptionClass = nullptr;
        state.ExceptionAddress = context.Rip;
        state.RaiseKind = 0;
        state.Signal = signal;
        state.RaiseStackPointer = context.Rsp;
        state.RaiseFrame = context.Rbp;
        state.Context = context;
        CopyRaiseStack(context.Rsp, state.StackTop, self, context.Rip);
        if (!TakeRequest(self)) {
            GuardLeave(state.Processing);
            Chain(signal, info, userContext);
            errno = savedErrno;
            return;
        }
        gRequest.Signal = signal;
        gRequest.Code = info != nullptr ? info->si_code : 0;
        // A signal sent by a process carries no fault address (the sender's id stands there).
        const bool sent = info != nullptr && info->si_code <= 0;
        gRequest.FaultAddress = info != nullptr && !sent ? reinterpret_cast<uintptr_t>(info->si_addr) : 0;
        gRequest.Sender = sent ? info->si_pid : -1;
        const auto* uc = static_cast<const ucontext_t*>(userContext);
        gRequest.Write = (uc->uc_mcontext.gregs[REG_ERR] & 2) != 0;
        gRequest.ThreadId = self;
        gRequest.StackTop = state.StackTop;
        gRequest.Time = std::time(nullptr); // safe in a signal handler
        gRequest.Context = context;
        gRequest.State.store(rsRequested);
        FutexWake(gRequest.State);
        if (WaitForRelay()) {
            gRequest.State.store(rsIdle);
            FreeRequest();
            state.Reported = 1;
        } else {
            // The relay stays where it is stuck; later faults no longer wait for it.
            gRelayRunning.store(false);
            TellAbandoned();
            FutexWake(gRequest.Owner);
        }
        GuardLeave(state.Processing);
    }
    Chain(signal, info, userContext);
    errno = savedErrno;
}

void ServeRequest() {
    const TModuleMapScope modules; // the faulting thread may hold the loader's lock
    TThreadStackCopy copy;
    copy.ThreadId = uint32_t(gRequest.ThreadId);
    copy.InstructionPointer = gRequest.Context.Rip;
    copy.FramePointer = gRequest.Context.Rbp;
    {
        TRaiseStackAccess access;
        const TRaiseStackCopy& raised = access.Copy();
        if (raised.ThreadId == gRequest.ThreadId && raised.Bytes != nullptr) {
            copy.StackPointer = raised.Start;
            copy.Stack.assign(raised.Bytes, raised.Bytes + raised.Size);
        }
    }
    if (!IsReporterActive() || !IsThreadReported(gRequest.ThreadId))
        return;
    const auto object = MakeSignalException(gRequest.Signal, gRequest.Code, gRequest.Context.Rip,
                                            gRequest.FaultAddress, gRequest.Write, gRequest.Sender);
    TProcessExceptionParams params;
    params.Object = object.get();
    params.ObjectClass = &typeid(*object);
    params.Address = gRequest.Context.Rip;
    params.Module = GetModuleHandle("");
    params.StackTop = gRequest.StackTop;
    params.Frame = gRequest.Context.Rsp;
    params.Context = &gRequest.Context;
    params.ThreadId = gRequest.ThreadId;
    params.Signal = gRequest.Signal;
    params.SignalCode = gRequest.Code;
    params.FaultAddress = gRequest.FaultAddress;
    params.StackCopy = copy.Stack.empty() ? nullptr : &copy;
    params.FaultTime = gRequest.Time;
    HandOffException(params);
}

void* RelayMain(void*) {
    gRelayThreadId.store(CurrentThreadId());
    for (;;) {
        const uint32_t state = gRequest.State.load();
        if (state == rsStop)
            break;
        if (state != rsRequested) {
            FutexWait(gRequest.State, state, 0);
            continue;
        }
        try {
            ServeRequest();
        } catch (...) {
            // The faulting thread goes on to the previous action whatever the report did.
        }
        gRequest.State.store(rsDone);
        FutexWake(gRequest.State);
    }
    return nullptr;
}

} // namespace

void InstallAlternateStack() {
    TOstrelThreadState& state = CurrentThreadState();
    if (state.AltStack != nullptr)
        return;
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
        return; // the thread has one already
    const long minimum = sysconf(_SC_MINSIGSTKSZ);
    const size_t size = std::max<size_t>(AlternateStackSize, minimum > 0 ? size_t(minimum) * 4 : 0);
    void* memory =
        mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED)
        return;
    stack_t stack{};
    stack.ss_sp = memory;
    stack.ss_size = size;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(memory, size);
        return;
    }
    state.AltStack = memory;
    CurrentStackTop(); // known before any signal needs it
}

void RemoveAlternateStack() {
    TOstrelThreadState& state = CurrentThreadState();
    if (state.AltStack == nullptr)
        return;
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0 || current.ss_sp != state.AltStack ||
        (current.ss_flags & SS_ONSTACK))
        return; // replaced by someone else, or in use: leave it
    stack_t disable{};
    disable.ss_flags = SS_DISABLE;
    if (sigaltstack(&disable, nullptr) != 0)
        return;
    munmap(state.AltStack, current.ss_size);
    state.AltStack = nullptr;
}

bool InstallSignalHandlers() {
    if (gInstalled)
        return true;
    gRequest.State.store(rsIdle);
    gRequest.Owner.store(0);
    // A signal sent to the process must land on a thread the relay can report, never on the relay that
    // would wait for itself: the relay starts with them blocked. (A fault of the relay's own then ends
    // the process at once.)
    sigset_t sent;
    sigset_t previous;
    sigemptyset(&sent);
    for (const int signal : ReportedSignals)
        sigaddset(&sent, signal);
    if (pthread_sigmask(SIG_BLOCK, &sent, &previous) != 0)
        return false;
    const int created = CreateOwnThread(gRelay, RelayMain, nullptr);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (created != 0)
        return false;
    gRelayRunning.store(true);
    static const bool forkHandled = pthread_atfork(nullptr, nullptr, ForgetRelayInChild) == 0;
    (void)forkHandled;
    struct sigaction action {};
    action.sa_sigaction = CrashHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    if (const int park = ParkSignal(); park != 0)
        sigaddset(&action.sa_mask, park); // a faulting thread is not parked while it waits for its report
    for (int i = 0; i < SignalCount; ++i)
        sigaction(ReportedSignals[i], &action, &gPrevious[i]);
    gInstalled = true;
    return true;
}

void RemoveSignalHandlers() {
    if (!gInstalled)
        return;
    for (int i = 0; i < SignalCount; ++i) {
        struct sigaction current {};
        if (sigaction(ReportedSignals[i], nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) &&
            current.sa_sigaction == CrashHandler)
            sigaction(ReportedSignals[i], &gPrevious[i], nullptr);
    }
    gInstalled = false;
    // A relay given up (or missing, in a forked child) is not waited for.
    if (!gRelayRunning.load())
        return;
    // Wait for a faulting thread's report to end before the relay goes.
    if (!TakeRequest(CurrentThreadId()))
        return;
    gRequest.State.store(rsStop);
    FutexWake(gRequest.State);
    pthread_join(gRelay, nullptr);
    gRelayRunning.store(false);
    gRequest.State.store(rsIdle);
    FreeRequest();
}

bool SignalHandlersInstalled() {
    return gInstalled;
}

bool OnSignalRelay() {
    return gRelayThreadId.load() == CurrentThreadId();
}

} // namespace reporter
