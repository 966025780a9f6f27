#pragma once
// Where the reporter first learns of an exception: the unwinder's raise routines are redirected in every
// loaded module's import slots, threads are started through a wrapper that records them and catches what
// escapes them, and the runtime's terminate handler is replaced. Each raise records its context and
// stack; one that no handler will catch goes to the processing sequence (OProcessHandoff.h).
#include "OThreadState.h"
#include "OThreadsList.h"

#include <cstdint>
#include <functional>
#include <pthread.h>
#include <sys/types.h>
#include <typeinfo>
#include <unwind.h>

namespace reporter {

// The largest stack copy a raise or a thread start keeps.
inline constexpr size_t RaiseStackSize = 102400;

// --- The raise-time stack copy (one for the process, guarded by a lock a signal handler may take) ---
struct TRaiseStackCopy {
    pid_t ThreadId = 0;
    uintptr_t Start = 0;   // address of the first byte copied
    uintptr_t Address = 0; // the exception's address
    size_t Size = 0;
    const uint8_t* Bytes = nullptr;
};
// Holds the copy's lock while it lives; Copy() is empty when the buffer does not exist.
class TRaiseStackAccess {
public:
    TRaiseStackAccess();
    ~TRaiseStackAccess();
    TRaiseStackAccess(const TRaiseStackAccess&) = delete;
    TRaiseStackAccess& operator=(const TRaiseStackAccess&) = delete;
    const TRaiseStackCopy& Copy() const { return m_copy; }

private:
    bool m_locked;
    TRaiseStackCopy m_copy;
};
void AllocateRaiseStack();
void FreeRaiseStack();
// Copies the stack from start up to the stack top (or as far as it is readable when the top is 0), at
// most RaiseStackSize bytes. Safe in a signal handler; a thread that already holds the lock copies nothing.
void CopyRaiseStack(uintptr_t start, uintptr_t stackTop, pid_t threadId, uintptr_t address);

// --- The thread list, alive from start-up to shut-down ---
// Keeps the list alive while it lives; List() is nullptr when there is none.
class TThreadsListAccess {
public:
    TThreadsListAccess();
    ~TThreadsListAccess();
    TThreadsListAccess(const TThreadsListAccess&) = delete;
    TThreadsListAccess& operator=(const TThreadsListAccess&) = delete;
    TOstrelThreadsList* List() const { return m_list; }

private:
    TOstrelThreadsList* m_list;
};
// Creates the list with the calling (main) thread's record.
void CreateThreadsList();
void FreeThreadsList();

// --- Recent raises, so that an exception handed over later (by the application's handler, on another
// thread) still finds where it was raised ---
struct TRecentRaise {
    const void* Object = nullptr;
    const std::type_info* Class = nullptr;
    uintptr_t Address = 0;
    int RaiseKind = 0;
    pid_t ThreadId = 0;
    uintptr_t StackPointer = 0;
};
bool FindRecentRaise(const void* object, TRecentRaise& raise);
void ClearRecentRaises();

// --- The raise notification ---
// Records the raise as the thread's current exception and, when the reporter is active, the thread is
// reported and the object reportable, copies the stack and hands the exception over unless a handler will
// catch it. exception and raiseReturn (the unwinder's caller) serve the handler search; with no exception
// record the exception counts as unhandled.
void ExceptionRaisedNotify(const void* object, const std::type_info* type, uintptr_t address, int raiseKind,
                           _Unwind_Exception* exception, uintptr_t raiseReturn,
                           const TOstrelContext& context);
// A thrown type the reports are about: any but the silent EAbort family.
bool IsReportableThrow(const std::type_info* type);
// The address of the last exception reported as unhandled.
uintptr_t LastReportedAddress();

// --- Installing the hooks ---
// Redirects the unwinder's raise routines and pthread_create in every loaded module (quietly: a module
// that imports none is left alone) and replaces the terminate handler.
void InstallInterceptionHooks();
// Puts the terminate handler back; the import slots go back with the hook unit (DoneHookUnit).
void RemoveInterceptionHooks();

// Creates a thread of the reporter's own, never tracked nor wrapped.
int CreateOwnThread(pthread_t& thread, void* (*start)(void*), void* parameter);
// The thread start that records, protects and cleans up a thread (also used for the reporter's own
// threads that must catch).
void* ThreadStartWrapper(void* block);

// --- Requests that must run on the thread a report is about ---
// Runs the procedure: while a report about another thread runs, it waits until that thread's waiting
// loop ran it (RunPendingMainThreadRequest); otherwise at once, an exception it raises being absorbed.
// Returns the duplicate test's answer afterwards.
bool RunInMainThread(const std::function<void()>& procedure);
// The thread a running report is about (0: no report runs); set by the processing sequence.
void SetReportThread(pid_t threadId);
// Called by the waiting loop: runs and clears the pending request; false when there was none.
bool RunPendingMainThreadRequest();
bool MainThreadRequestPending();
// The waiting loop's wake-up: a count that grows with every event it waits for (a request posted or
// run, the report's end). Read the count, look, then wait while it still holds what was read: no event
// slips between the look and the wait. A timeout of 0 waits without limit.
uint32_t ReportEventCount();
void SignalReportEvent();
void WaitForReportEvent(uint32_t seen, int timeoutMs);
using TDuplicateTest = bool (*)();
void SetDuplicateTest(TDuplicateTest test);

} // namespace reporter
