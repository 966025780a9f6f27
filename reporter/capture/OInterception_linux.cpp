#include "OInterception.h"

#include "OClassInfo.h"
#include "OExceptionCache.h"
#include "OExports.h"
#include "OFaultBarrier.h"
#include "OFutex_linux.h"
#include "OHandlerSearch.h"
#include "OHook.h"
#include "OMemory.h"
#include "OProcessHandoff.h"
#include "OReportProgress.h"
#include "OReporterState.h"
#include "OSignals.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cxxabi.h>
#include <dlfcn.h>
#include <exception>
#include <memory>
#include <mutex>
#include <sched.h>
#include <shared_mutex>
#include <thread>
#include <unistd.h>

namespace reporter {

namespace {

// --- raise-time stack copy ---
std::atomic<pid_t> gStackOwner{0};
uint8_t* gStackBuffer = nullptr; // changed only at start-up and shut-down
TRaiseStackCopy gStackCopy;

bool LockRaiseStack() {
    const pid_t self = CurrentThreadId();
    for (;;) {
        pid_t expected = 0;
        if (gStackOwner.compare_exchange_weak(expected, self))
            return true;
        if (expected == self)
            return false; // interrupted inside its own copy
        sched_yield();
    }
}
void UnlockRaiseStack() {
    gStackOwner.store(0);
}

// --- thread list ---
std::shared_mutex gListLifetime;
TOstrelThreadsList* gThreadsList = nullptr;
std::atomic<uint64_t> gSerial{0};

// --- recent raises ---
constexpr int RecentRaiseCount = 16;
std::mutex gRecentLock;
TRecentRaise gRecent[RecentRaiseCount];
int gRecentNext = 0;

void AddRecentRaise(const TRecentRaise& raise) {
    std::lock_guard guard(gRecentLock);
    gRecent[gRecentNext] = raise;
    gRecentNext = (gRecentNext + 1) % RecentRaiseCount;
}

std::atomic<uintptr_t> gLastReported{0};

// --- originals ---
using TRaise = _Unwind_Reason_Code (*)(_Unwind_Exception*);
using TPthreadCreate = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
using TTerminate = void (*)();

std::atomic<TRaise> gRaiseException{nullptr};
std::atomic<TRaise> gResumeOrRethrow{nullptr};
std::atomic<TPthreadCreate> gPthreadCreate{nullptr};
std::terminate_handler gPreviousTerminate = nullptr;
bool gTerminateInstalled = false;

template <typename T> T Resolve(std::atomic<T>& slot, const char* name) {
    T routine = slot.load();
    if (routine == nullptr) {
        routine = reinterpret_cast<T>(dlsym(RTLD_DEFAULT, name));
        slot.store(routine);
    }
    return routine;
}

TPthreadCreate RealPthreadCreate() {
    return Resolve(gPthreadCreate, "pthread_create");
}

// --- requests for the reported thread ---
std::atomic<pid_t> gReportThread{0};
std::mutex gRequestLock;
const std::function<void()>* gPendingRequest = nullptr;
std::atomic<int> gRequestState{0}; // 1 while a request is pending or running
std::atomic<uint32_t> gReportEvents{0};
std::atomic<TDuplicateTest> gDuplicateTest{nullptr};

bool ConsultHandlers(const void* object, const std::type_info* type, uintptr_t address,
                     _Unwind_Exception* exception, uintptr_t raiseReturn, uintptr_t stackPointer, int& kind) {
    kind = 0;
    if (exception == nullptr)
        return false;
    THandledResult cached;
    THandlerSearchResult result;
    if (FindHandledException(type, address, stackPointer, cached)) {
        result.Handled = cached.Value1 != 0;
        result.Kind = cached.Value2;
        result.Count = cached.Value3;
    } else {
        result = SearchHandlers(exception, raiseReturn);
        AddHandledException(type, address, stackPointer,
                            {uint8_t(result.Handled), result.Kind, uint8_t(std::min(result.Count, 255)), 0});
    }
    bool handled = result.Handled;
    if (handled) {
        kind = 0;
        // The start-up's or shut-down's own guard alone would swallow it: report it anyway.
        if ((StillInitialising() || AlreadyFinalising()) && result.Count == 1)
            handled = false;
    } else {
        kind = result.Kind;
    }
    if (LibraryMode())
        handled = true; // the main module's reporter decides
    return handled;
}

_Unwind_Reason_Code RaiseCommon(TRaise original, _Unwind_Exception* exception, uintptr_t raiseReturn) {
    if (HooksEnabled() && exception != nullptr) {
        const std::type_info* type = nullptr;
        const void* object = ThrownObject(exception, &type);
        TRaiseSite site;
        FindRaiseSite(raiseReturn, site);
        TOstrelContext context;
        context.ContextFlags = TOstrelContext::FullContext;
        context.Rip = site.Address;
        context.Rsp = site.StackPointer;
        context.Rbp = site.FramePointer;
        context.Rbx = site.Rbx;
        context.Rax = reinterpret_cast<uintptr_t>(object);
        context.Rdx = site.Address;
        ExceptionRaisedNotify(object, type, site.Address, 1, exception, raiseReturn, context);
    }
    return original(exception);
}

__attribute__((noinline)) _Unwind_Reason_Code HookedUnwindRaiseException(_Unwind_Exception* exception) {
    const auto raiseReturn = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    return RaiseCommon(Resolve(gRaiseException, "_Unwind_RaiseException"), exception, raiseReturn);
}

__attribute__((noinline)) _Unwind_Reason_Code HookedUnwindResumeOrRethrow(_Unwind_Exception* exception) {
    const auto raiseReturn = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    // A forced unwind (thread cancellation) is no raise.
    const TRaise original = Resolve(gResumeOrRethrow, "_Unwind_Resume_or_Rethrow");
    if (exception != nullptr && exception->private_1 != 0)
        return original(exception);
    return RaiseCommon(original, exception, raiseReturn);
}

// The object inside an exception_ptr (its one field).
const void* ObjectOf(const std::exception_ptr& error) {
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    const void* object;
    std::memcpy(&object, &error, sizeof object);
    return object;
}

[[noreturn]] void UnhandledExceptionTerminate() {
    if (std::exception_ptr current = std::current_exception(); current && HooksEnabled()) {
        const void* object = ObjectOf(current);
        const std::type_info* type = abi::__cxa_current_exception_type();
        TOstrelThreadState& state = CurrentThreadState();
        const uintptr_t address = state.ExceptionObject == object ? state.ExceptionAddress : 0;
        if (address == 0 || address != gLastReported.load()) {
            TOstrelContext context = state.Context;
            ExceptionRaisedNotify(object, type, address,
                                  state.ExceptionObject == object ? state.RaiseKind : 0, nullptr, 0, context);
        }
        state.Reported = 1; // the abort that may follow is no new exception
        std::fflush(nullptr);
        ::_exit(1);
    }
    if (gPreviousTerminate != nullptr)
        gPreviousTerminate();
    std::abort();
}

struct TStartBlock {
    void* (*Start)(void*);
    void* Parameter;
    uint64_t Serial;
    bool Own; // a reporter thread: neither tracked nor given a record
};

// The record of the thread that runs it: filled at its start, removed at its end (also when the thread
// ends through cancellation or pthread_exit, whose unwinding runs this destructor).
class TThreadLife {
public:
    explicit TThreadLife(const TStartBlock& block) : m_block(block) {
        InstallAlternateStack();
        if (m_block.Own)
            return;
        TThreadsListAccess access;
        if (TOstrelThreadsList* list = access.List()) {
            TThreadsListWriteLock lock(*list);
            const int index = list->IndexOfSerial(m_block.Serial);
            if (index >= 0) {
                list->Items(index).ThreadId = CurrentThreadId();
                list->Items(index).StackTop = CurrentStackTop();
            }
        }
    }
    ~TThreadLife() {
        if (!m_block.Own) {
            TThreadsListAccess access;
            if (TOstrelThreadsList* list = access.List()) {
                TThreadsListWriteLock lock(*list);
                const int index = list->IndexOfSerial(m_block.Serial);
                if (index >= 0)
                    list->Delete(index);
            }
            if (LibraryMode())
                ForwardExitThread();
        }
        RemoveAlternateStack();
    }
    TThreadLife(const TThreadLife&) = delete;
    TThreadLife& operator=(const TThreadLife&) = delete;

private:
    TStartBlock m_block;
};

void ReportThreadException() {
    const std::exception_ptr current = std::current_exception();
    const void* object = ObjectOf(current);
    const TOstrelThreadState& state = CurrentThreadState();
    const uintptr_t address = state.ExceptionObject == object ? state.ExceptionAddress : 0;
    ExceptionManager(const_cast<void*>(object), address, 0, GetModuleHandle(""));
}

void StoreStarterStack(TOstrelThreadRecord& record) {
    uint8_t marker = 0;
    const auto start = reinterpret_cast<uintptr_t>(&marker);
    const uintptr_t top = CurrentStackTop();
    if (top <= start)
        return;
    const size_t size = std::min<size_t>(top - start, RaiseStackSize);
    auto copy = std::make_shared<std::vector<uint8_t>>(size);
    if (!SafeRead(start, copy->data(), size))
        return;
    record.StarterStackPointer = start;
    record.StarterStack = std::move(copy);
}

int HookedPthreadCreate(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                        void* parameter) {
    const TPthreadCreate real = RealPthreadCreate();
    if (real == nullptr)
        return EAGAIN;
    if (!HooksEnabled() || start == nullptr || thread == nullptr)
        return real(thread, attributes, start, parameter);
    TThreadsListAccess access;
    TOstrelThreadsList* list = access.List();
    if (list == nullptr)
        return real(thread, attributes, start, parameter);
    TOstrelThreadRecord record;
    record.ResumedBy = CurrentThreadId();
    record.RawStart = reinterpret_cast<uintptr_t>(start);
    record.Parameter = reinterpret_cast<uintptr_t>(parameter);
    record.Serial = ++gSerial;
    StoreStarterStack(record);
    {
        TThreadsListWriteLock lock(*list);
        list->PurgeDead();
        list->Add(record);
    }
    auto block = std::make_unique<TStartBlock>(TStartBlock{start, parameter, record.Serial, false});
    const int result = real(thread, attributes, ThreadStartWrapper, block.get());
    TThreadsListWriteLock lock(*list);
    const int index = list->IndexOfSerial(record.Serial);
    if (result != 0) {
        if (index >= 0)
            list->Delete(index);
        return result;
    }
    block.release(); // the new thread owns it now
    if (index >= 0) {
        list->Items(index).Handle = *thread;
        if (LibraryMode())
            ForwardCreateThread(list->Items(index));
    }
    return result;
}

void HookEveryModule(const char* symbol, uintptr_t original, uintptr_t replacement) {
    if (original == 0)
        return;
    const TModuleHandle definer = FindModuleOfAddress(original);
    std::vector<TModuleHandle> modules;
    EnumerateModules([&](const TLoadedModule& m) {
        if (m.Handle != definer)
            modules.push_back(m.Handle);
        return true;
    });
    for (TModuleHandle module : modules) {
        try {
            HookImports(module, "", symbol, original, false, true, symbol, replacement);
        } catch (const std::exception&) {
            // A module whose slots cannot be written keeps calling the original.
        }
    }
}

} // namespace

// --- raise stack ---

TRaiseStackAccess::TRaiseStackAccess() : m_locked(LockRaiseStack()) {
    if (m_locked && gStackBuffer != nullptr)
        m_copy = gStackCopy;
}
TRaiseStackAccess::~TRaiseStackAccess() {
    if (m_locked)
        UnlockRaiseStack();
}

void AllocateRaiseStack() {
    if (!LockRaiseStack())
        return;
    if (gStackBuffer == nullptr)
        gStackBuffer = new uint8_t[RaiseStackSize]();
    gStackCopy = TRaiseStackCopy{0, 0, 0, 0, gStackBuffer};
    UnlockRaiseStack();
}

void FreeRaiseStack() {
    if (!LockRaiseStack())
        return;
    delete[] gStackBuffer;
    gStackBuffer = nullptr;
    gStackCopy = TRaiseStackCopy{};
    UnlockRaiseStack();
}

void CopyRaiseStack(uintptr_t start, uintptr_t stackTop, pid_t threadId, uintptr_t address) {
    if (start == 0 || !LockRaiseStack())
        return;
    if (gStackBuffer != nullptr) {
        size_t size = stackTop > start ? std::min<size_t>(stackTop - start, RaiseStackSize) : RaiseStackSize;
        size = ReadPrefix(start, gStackBuffer, size);
        gStackCopy = TRaiseStackCopy{threadId, start, address, size, gStackBuffer};
    }
    UnlockRaiseStack();
}

// --- thread list ---

TThreadsListAccess::TThreadsListAccess() {
    gListLifetime.lock_shared();
    m_list = gThreadsList;
}
TThreadsListAccess::~TThreadsListAccess() {
    gListLifetime.unlock_shared();
}

void CreateThreadsList() {
    std::unique_lock guard(gListLifetime);
    if (gThreadsList != nullptr)
        return;
    gThreadsList = new TOstrelThreadsList;
    TOstrelThreadRecord main;
    main.ThreadId = MainThreadId() != 0 ? MainThreadId() : CurrentThreadId();
    main.Handle = MainThreadHandle() != 0 ? MainThreadHandle() : pthread_self();
    main.StackTop = MainStackTop() != 0 ? MainStackTop() : CurrentStackTop();
    main.Serial = ++gSerial;
    gThreadsList->Add(main);
}

void FreeThreadsList() {
    std::unique_lock guard(gListLifetime);
    delete gThreadsList;
    gThreadsList = nullptr;
}

// --- recent raises ---

bool FindRecentRaise(const void* object, TRecentRaise& raise) {
    if (object == nullptr)
        return false;
    std::lock_guard guard(gRecentLock);
    for (int i = 1; i <= RecentRaiseCount; ++i) {
        const TRecentRaise& r = gRecent[(gRecentNext - i + RecentRaiseCount) % RecentRaiseCount];
        if (r.Object == object) {
            raise = r;
            return true;
        }
    }
    return false;
}

void ClearRecentRaises() {
    std::lock_guard guard(gRecentLock);
    for (TRecentRaise& r : gRecent)
        r = TRecentRaise{};
}

// --- notification ---

bool IsReportableThrow(const std::type_info* type) {
    return type == nullptr || !IsValidClass(type) || IsReportableClass(type);
}

uintptr_t LastReportedAddress() {
    return gLastReported.load();
}

void ExceptionRaisedNotify(const void* object, const std::type_info* type, uintptr_t address, int raiseKind,
                           _Unwind_Exception* exception, uintptr_t raiseReturn,
                           const TOstrelContext& context) {
    TOstrelThreadState& state = CurrentThreadState();
    if (!GuardEnter(state.Notifying))
        return;
    const int savedErrno = errno;
    const pid_t self = CurrentThreadId();
    state.ExceptionObject = object;
    state.ExceptionClass = type;
    state.ExceptionAddress = address;
    state.RaiseKind = raiseKind;
    state.Signal = 0;
    state.RaiseStackPointer = context.Rsp;
    state.RaiseFrame = context.Rbp;
    state.Context = context;
    try {
        AddRecentRaise({object, type, address, raiseKind, self, context.Rsp});
        if (IsReporterActive() && IsThreadReported(self) && IsReportableThrow(type)) {
            const uintptr_t stackPointer =
                context.Rsp != 0 ? context.Rsp : reinterpret_cast<uintptr_t>(&state);
            CopyRaiseStack(stackPointer, CurrentStackTop(), self,
                           raiseKind == 1 && address != 0 ? address - 5 : address);
            int kind = 0;
            if (!ConsultHandlers(object, type, address, exception, raiseReturn, context.Rsp, kind)) {
                if (state.RaiseStackPointer == 0)
                    state.RaiseStackPointer = stackPointer;
                TProcessExceptionParams params;
                params.FaultTime = std::time(nullptr);
                params.Object = object;
                params.ObjectClass = type;
                params.Address = address;
                params.RaiseKind = raiseKind;
                params.HandlerKind = kind;
                params.Module = GetModuleHandle("");
                params.StackTop = CurrentStackTop();
                params.Frame = state.RaiseStackPointer;
                params.Context = &state.Context;
                params.ThreadId = self;
                if (kind != 2) {
                    state.Reported = 1;
                    gLastReported.store(address);
                }
                HandOffException(params);
            }
        }
    } catch (...) {
        // Nothing may leave the raise path but the exception being raised.
    }
    errno = savedErrno;
    GuardLeave(state.Notifying);
}

// --- installation ---

void InstallInterceptionHooks() {
    const auto raise = reinterpret_cast<uintptr_t>(Resolve(gRaiseException, "_Unwind_RaiseException"));
    const auto rethrow = reinterpret_cast<uintptr_t>(Resolve(gResumeOrRethrow, "_Unwind_Resume_or_Rethrow"));
    const auto create = reinterpret_cast<uintptr_t>(RealPthreadCreate());
    RegisterLastChanceHandler(reinterpret_cast<uintptr_t>(&ThreadStartWrapper));
    HookEveryModule("_Unwind_RaiseException", raise,
                    reinterpret_cast<uintptr_t>(&HookedUnwindRaiseException));
    HookEveryModule("_Unwind_Resume_or_Rethrow", rethrow,
                    reinterpret_cast<uintptr_t>(&HookedUnwindResumeOrRethrow));
    HookEveryModule("pthread_create", create, reinterpret_cast<uintptr_t>(&HookedPthreadCreate));
    if (!gTerminateInstalled) {
        gPreviousTerminate = std::set_terminate(UnhandledExceptionTerminate);
        gTerminateInstalled = true;
    }
}

void RemoveInterceptionHooks() {
    if (gTerminateInstalled) {
        // Another handler installed since then stays.
        if (std::get_terminate() == UnhandledExceptionTerminate)
            std::set_terminate(gPreviousTerminate);
        gTerminateInstalled = false;
        gPreviousTerminate = nullptr;
    }
    UnregisterLastChanceHandler(reinterpret_cast<uintptr_t>(&ThreadStartWrapper));
}

int CreateOwnThread(pthread_t& thread, void* (*start)(void*), void* parameter) {
    const TPthreadCreate real = RealPthreadCreate();
    if (real == nullptr)
        return EAGAIN;
    auto block = std::make_unique<TStartBlock>(TStartBlock{start, parameter, 0, true});
    const int result = real(&thread, nullptr, ThreadStartWrapper, block.get());
    if (result == 0)
        block.release();
    return result;
}

// The C++ runtime hands a forced unwind (cancellation, pthread_exit) to its catch clause without an
// object behind the reference; the null-reference check would take that for a fault.
[[gnu::no_sanitize("null")]] void* ThreadStartWrapper(void* argument) {
    std::unique_ptr<TStartBlock> block(static_cast<TStartBlock*>(argument));
    if (block == nullptr || block->Start == nullptr)
        return reinterpret_cast<void*>(intptr_t(-1));
    TThreadLife life(*block);
    try {
        return block->Start(block->Parameter);
    } catch (abi::__forced_unwind&) {
        throw; // cancellation and pthread_exit must go on unwinding
    } catch (...) {
        try {
            ReportThreadException();
        } catch (...) {
        }
    }
    return nullptr;
}

// --- requests ---

namespace {

// A request is the program's own code (an event handler): an exception or a fault in it ends that call
// only, and the report goes on. Nobody waits for the report's progress meanwhile, within the bound of
// the program's code.
void RunEventCall(const std::function<void()>& procedure) {
    const TProgramWait program;
    RunFaultContained(procedure);
}

} // namespace

bool RunInMainThread(const std::function<void()>& procedure) {
    const pid_t reportThread = gReportThread.load();
    if (reportThread != 0 && reportThread != CurrentThreadId()) {
        {
            std::lock_guard guard(gRequestLock);
            gPendingRequest = &procedure;
            gRequestState.store(1);
        }
        SignalReportEvent();
        const TOutsideWait outside; // the raising thread runs it between its pumps
        for (;;) {
            const uint32_t seen = ReportEventCount();
            if (gRequestState.load() == 0 || gReportThread.load() == 0)
                break;
            WaitForReportEvent(seen, 0);
        }
        bool ran;
        {
            std::lock_guard guard(gRequestLock);
            ran = gPendingRequest == nullptr;
            gPendingRequest = nullptr;
            gRequestState.store(0);
        }
        if (!ran) // the report ended before its thread got to the request: it runs here after all
            RunEventCall(procedure);
    } else {
        gRequestState.store(1);
        RunEventCall(procedure);
        gRequestState.store(0);
    }
    const TDuplicateTest test = gDuplicateTest.load();
    return test != nullptr && test();
}

void SetReportThread(pid_t threadId) {
    gReportThread.store(threadId);
    SignalReportEvent();
}

bool RunPendingMainThreadRequest() {
    {
        std::lock_guard guard(gRequestLock);
        if (gPendingRequest == nullptr)
            return false;
        RunEventCall(*gPendingRequest);
        gPendingRequest = nullptr;
        gRequestState.store(0);
    }
    SignalReportEvent();
    return true;
}

bool MainThreadRequestPending() {
    std::lock_guard guard(gRequestLock);
    return gPendingRequest != nullptr;
}

uint32_t ReportEventCount() {
    return gReportEvents.load();
}

void SignalReportEvent() {
    gReportEvents.fetch_add(1);
    FutexWake(gReportEvents);
}

void WaitForReportEvent(uint32_t seen, int timeoutMs) {
    FutexWait(gReportEvents, seen, timeoutMs);
}

void SetDuplicateTest(TDuplicateTest test) {
    gDuplicateTest.store(test);
}

} // namespace reporter
