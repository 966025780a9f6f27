#include "OExports.h"

#include "OClassInfo.h"
#include "OInterception.h"
#include "OModuleInfo.h"
#include "OProcessHandoff.h"
#include "OReportLock.h"
#include "OReporterState.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <exception>

using namespace reporter;

namespace {

// Copies the text into the caller's buffer: at most 255 characters and at most size bytes, terminated.
void CopyOut(const std::string& text, char* buffer, int size) {
    if (buffer == nullptr || size <= 0)
        return;
    const size_t room = std::min<size_t>(size_t(size) - 1, 255);
    const size_t count = std::min(text.size(), room);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
}

std::string CopyIn(const char* buffer, int size) {
    if (buffer == nullptr || size <= 0)
        return std::string();
    return std::string(buffer, strnlen(buffer, std::min(size_t(size), size_t(255))));
}

std::string gCustomData; // the text handed back by OstrelLog_CustomDataRequestEvent

void RequestPassword(char* buffer, int size) {
    std::string password = CopyIn(buffer, size);
    DoPasswordRequest(password);
    CopyOut(password, buffer, size);
}

} // namespace

void OstrelLog_PasswordRequestEvent(char* buffer, int size) {
    RequestPassword(buffer, size);
}

void OstrelLog_PasswordRequestEventEx(const TOstrelExceptionRecord* record, char* buffer, int size) {
    TEnteredRecord entered(record);
    RequestPassword(buffer, size);
}

void OstrelLog_ExceptionNotifyEvent(const TOstrelExceptionRecord* record, uint8_t* continueFlag) {
    TEnteredRecord entered(record);
    bool flag = continueFlag == nullptr || *continueFlag != 0;
    DoExceptionNotify(flag);
    if (continueFlag != nullptr)
        *continueFlag = flag;
}

void OstrelLog_ExceptionActionNotifyEvent(const TOstrelExceptionRecord* record, int action,
                                          uint8_t* executeFlag) {
    TEnteredRecord entered(record);
    bool flag = executeFlag == nullptr || *executeFlag != 0;
    DoExceptionActionNotify(action, flag);
    if (executeFlag != nullptr)
        *executeFlag = flag;
}

void OstrelLog_ExceptionErrorNotifyEvent(const TOstrelExceptionRecord* record, int errorCode,
                                         uint8_t* retryFlag) {
    TEnteredRecord entered(record);
    bool flag = retryFlag != nullptr && *retryFlag != 0;
    DoExceptionErrorNotify(TOstrelLogErrorCode(errorCode), flag);
    if (retryFlag != nullptr)
        *retryFlag = flag;
}

void OstrelLog_CustomDataRequestEvent(const TOstrelExceptionRecord* record, const char** text) {
    TEnteredRecord entered(record);
    std::string data = text != nullptr && *text != nullptr ? *text : "";
    DoCustomDataRequest(data);
    gCustomData = data;
    if (text != nullptr)
        *text = gCustomData.c_str();
}

void OstrelLog_AttachedFilesRequestEvent(const TOstrelExceptionRecord* record, TStrings* files) {
    TEnteredRecord entered(record);
    if (files != nullptr)
        DoAttachedFilesRequest(*files);
}

void OstrelLog_CustomFieldsRequestEvent(const TOstrelExceptionRecord* record, TStrings* names,
                                        TStrings* values) {
    TEnteredRecord entered(record);
    if (names != nullptr && values != nullptr)
        DoCustomFieldsRequest(*names, *values);
}

void OstrelLog_CallGeneralRaise(const void* object, const std::type_info* type, uintptr_t address,
                                int raiseKind, const TOstrelContext* context) {
    TOstrelThreadState& state = CurrentThreadState();
    state.ExceptionObject = object;
    state.ExceptionClass = type;
    state.ExceptionAddress = address;
    state.RaiseKind = raiseKind;
    state.Signal = 0;
    if (context != nullptr) {
        state.Context = *context;
        state.RaiseStackPointer = context->Rsp;
        state.RaiseFrame = context->Rbp;
    }
}

void OstrelLog_CallExceptObject(int signal, const siginfo_t* info, const TOstrelContext* context) {
    TOstrelThreadState& state = CurrentThreadState();
    state.ExceptionObject = nullptr;
    state.ExceptionClass = nullptr;
    state.Signal = signal;
    state.RaiseKind = 0;
    if (context != nullptr) {
        state.Context = *context;
        state.Context.ContextFlags = TOstrelContext::FullContext;
        state.ExceptionAddress = context->Rip;
        state.RaiseStackPointer = context->Rsp;
        state.RaiseFrame = context->Rbp;
    }
}

void OstrelLog_CallCreateThread(const TOstrelThreadRecord* record) {
    if (record == nullptr || !HooksEnabled())
        return;
    TThreadsListAccess access;
    if (TOstrelThreadsList* list = access.List()) {
        TThreadsListWriteLock lock(*list);
        list->PurgeDead();
        list->Add(*record);
    }
}

void OstrelLog_CallResumeThread(pthread_t handle, const TOstrelThreadRecord* record) {
    if (record == nullptr || !HooksEnabled())
        return;
    TThreadsListAccess access;
    if (TOstrelThreadsList* list = access.List()) {
        TThreadsListWriteLock lock(*list);
        const int index = list->IndexOfHandle(handle);
        if (index >= 0) {
            list->Items(index) = *record;
            list->Items(index).ForeignStack = true;
        }
    }
}

void OstrelLog_CallExitThread() {
    if (!HooksEnabled())
        return;
    TThreadsListAccess access;
    if (TOstrelThreadsList* list = access.List()) {
        TThreadsListWriteLock lock(*list);
        const int index = list->IndexOfThreadId(CurrentThreadId());
        if (index >= 0)
            list->Delete(index);
    }
}

namespace {

// The object of the exception the calling thread is handling (in a catch block), else nullptr.
const void* HandledExceptionObject() {
    const std::exception_ptr handled = std::current_exception();
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    const void* object;
    std::memcpy(&object, &handled, sizeof object);
    return object;
}

} // namespace

uint8_t ExceptionManager(void* object, uintptr_t address, int dialogType, uintptr_t module) {
    std::lock_guard lock(ReportLock());
    if (LibraryMode()) {
        if (auto main = reinterpret_cast<decltype(&ExceptionManager)>(MainModuleExport("ExceptionManager")))
            return main(object, address, dialogType, OwnModuleHandle());
    }
    const pid_t self = CurrentThreadId();
    if (!IsReporterActive() || !IsThreadReported(self))
        return 1;
    TOstrelThreadState& state = CurrentThreadState();
    // The thread's record of its last raise may name an exception that has been freed since: it stands
    // for the current exception only while that exception is still being handled.
    if (state.ExceptionObject != nullptr && state.ExceptionObject != object &&
        state.ExceptionObject != HandledExceptionObject()) {
        state.ExceptionObject = nullptr;
        state.ExceptionClass = nullptr;
    }
    // Where the object was raised: this thread's current exception, else a recent raise elsewhere.
    TRecentRaise raise;
    if (object != nullptr && state.ExceptionObject == object)
        raise = {state.ExceptionObject,  state.ExceptionClass, state.ExceptionAddress, state.RaiseKind, self,
                 state.RaiseStackPointer};
    else if (!FindRecentRaise(object, raise) && object != nullptr)
        raise = {object, ObjectClass(object), 0, 0, self, 0};
    const bool objectReportable =
        object != nullptr &&
        (raise.Class != nullptr ? IsReportableThrow(raise.Class) : IsReportableException(object));
    const bool contextReportable =
        state.ExceptionObject != nullptr && IsReportableThrow(state.ExceptionClass);
    if (!objectReportable && !contextReportable)
        return 1;
    if (!objectReportable) {
        // Not an exception object: the thread's current exception stands for it.
        raise = {state.ExceptionObject,  state.ExceptionClass, state.ExceptionAddress, state.RaiseKind, self,
                 state.RaiseStackPointer};
        object = const_cast<void*>(state.ExceptionObject);
        address = 0;
        if (state.RaiseStackPointer == 0)
            state.RaiseStackPointer = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    }
    TProcessExceptionParams params;
    params.FaultTime = std::time(nullptr);
    params.Object = object;
    params.ObjectClass = raise.Class;
    params.Address = address != 0 ? address : raise.Address;
    params.RaiseKind = address == 0 || address == raise.Address ? raise.RaiseKind : 0;
    params.HandlerKind = 0;
    params.Module = module;
    params.DialogType = dialogType;
    params.ThreadId = raise.ThreadId;
    params.Frame = raise.StackPointer;
    if (raise.ThreadId == self) {
        params.StackTop = CurrentStackTop();
        params.Context = state.ExceptionObject == object ? &state.Context : nullptr;
    }
    return HandOffException(params);
}

namespace reporter {

void* ModuleExport(TModuleHandle module, const char* name) {
    if (module == 0)
        return nullptr;
    // From the module's own symbol table, not the loader's lookup (which also searches the module's
    // dependencies, and waits for the loader's lock).
    const uintptr_t routine = DynamicSymbolAddress(module, name);
    if (routine == 0 || FindModuleOfAddress(routine) != module)
        return nullptr;
    return reinterpret_cast<void*>(routine);
}

void* MainModuleExport(const char* name) {
    const TModuleHandle main = GetModuleHandle("");
    if (main == OwnModuleHandle())
        return nullptr;
    return ModuleExport(main, name);
}

void ForwardCreateThread(const TOstrelThreadRecord& record) {
    if (auto main = reinterpret_cast<decltype(&OstrelLog_CallCreateThread)>(
            MainModuleExport("OstrelLog_CallCreateThread")))
        main(&record);
}

void ForwardExitThread() {
    if (auto main = reinterpret_cast<decltype(&OstrelLog_CallExitThread)>(
            MainModuleExport("OstrelLog_CallExitThread")))
        main();
}

uint8_t ExceptionManagerFor(const std::exception_ptr& error, int dialogType) {
    if (!error)
        return 1;
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    void* object;
    std::memcpy(&object, &error, sizeof object);
    return ::ExceptionManager(object, 0, dialogType, GetModuleHandle(""));
}

} // namespace reporter
