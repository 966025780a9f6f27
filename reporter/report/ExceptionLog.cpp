#include "ExceptionLog.h"

#include "OErrors.h"
#include "OEvents.h"
#include "OExceptionCache.h"
#include "OHook.h"
#include "OInterception.h"
#include "OKeptOLData.h"
#include "OLData.h"
#include "OLastError.h"
#include "OModuleInfo.h"
#include "OOptions.h"
#include "OProcess.h"
#include "OProcessing.h"
#include "OReportLock.h"
#include "OReporterState.h"
#include "OSignals.h"
#include "OSystemInfo.h"
#include "OThreadPark.h"

#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace reporter {

namespace {

std::mutex gRunLock;
int gRunCount = 0;
std::unique_ptr<TOstrelModuleOptionsEx> gOptions;
bool gOwnModulesList = false;
TInternalErrorHandler gPreviousErrorHandler = nullptr;

void FreezeControl(bool start) {
    if (start)
        StartFreezeThread();
    else
        StopFreezeThread();
}

// The main module carries a reporter of its own when it exports the entry point, and this is not it.
bool DecideLibraryMode() {
    return GetModuleHandle("") != OwnModuleHandle() && MainModuleExport("ExceptionManager") != nullptr;
}

void LoadProgramOptions(TOstrelModuleOptionsEx& options) {
    try {
        // Kept: a report finds the program's debug data here, read and inflated already.
        bool damaged = false;
        const std::shared_ptr<const TKeptOLData> kept = KeptOLData(ProgramFileName(), damaged);
        if (kept && !kept->Data().Options.empty())
            LoadOptionsFromOLData(kept->Data(), options);
        if (kept)
            kept->DebugData(damaged); // its index built now, not on a fault's path
    } catch (const std::exception&) {
        // Damaged stored options: the defaults stay.
    }
}

void CoreInit() {
    // Nothing to detect: the program never runs inside the environment that built it.
}
void CoreDone() {}
void HookInit() {
    InitHookUnit();
}
void HookDone() {
    DoneHookUnit();
}

bool RunSection(void (*routine)(), const char* name) {
    try {
        ProtectedSectionCall(routine, name);
        return true;
    } catch (const EAbort&) {
        return false; // the internal-error handler has it
    } catch (const std::exception& e) {
        SetLastErrorCode(TOstrelLogErrorCode::eeNone, e.what());
        return false;
    }
}

} // namespace

void ExceptionLogInit() {
    gPreviousErrorHandler = SetInternalErrorHandler(WriteInternalError);
    SetLibraryMode(DecideLibraryMode());
    SetOwnHooks(!LibraryMode());
    SetHooksEnabled(true);
    RecordStartFolder();
    SetStillInitialising(true);
    SetAlreadyFinalising(false);
    ClearGlobalEvents();

    AllocateRaiseStack();
    ClearHandledExceptions();
    ClearRecentRaises();

    // A program built without the reporter's data is not watched.
    if (!HasAppendedDebugData(GetModuleHandle(""))) {
        SetHooksEnabled(false);
        return;
    }

    if (ModulesList() == nullptr) {
        SetModulesList(std::make_unique<TOstrelModulesList>());
        gOwnModulesList = true;
    }
    gOptions = std::make_unique<TOstrelModuleOptionsEx>("", false);
    gOptions->SetDefaults();
    LoadProgramOptions(*gOptions);
    KeepSystemFacts();
    SetCurrentOptions(gOptions.get());
    RecordMainThread();

    CreateHandlerList();
    CreateThreadsList();
    ClearLastErrorCode();
    ClearExcludedThreads();
    SetReportThread(0);
    SetReporterStarted(true);
    InstallExceptionProcessing();

    if (OwnHooks()) {
        InstallInterceptionHooks();
        InstallParkSignal();
        InstallAlternateStack();
        if (!InstallSignalHandlers())
            throw std::runtime_error("The fault signals cannot be watched: no thread for their reports.");
    }
    SetFreezeWatchdogControl(FreezeControl);
    StartFreezeThread();
}

void ExceptionLogDone() {
    if (HooksEnabled()) {
        // A report that runs ends first.
        std::lock_guard wait(ReportLock());
    }
    RemoveExceptionProcessing();
    SetFreezeWatchdogControl(nullptr);
    StopFreezeThread();
    FreeHandlerList();
    ClearGlobalEvents();
    RemoveSignalHandlers();
    RemoveParkSignal();
    RemoveInterceptionHooks();
    RemoveAlternateStack();
    FreeRaiseStack();
    ClearExcludedThreads();
    FreeThreadsList();
    SetCurrentOptions(nullptr);
    gOptions.reset();
    if (gOwnModulesList) {
        SetModulesList(nullptr);
        gOwnModulesList = false;
    }
    SetReporterStarted(false);
    SetHooksEnabled(false);
    ClearRecentRaises();
    ClearHandledExceptions();
    SetInternalErrorHandler(gPreviousErrorHandler);
    gPreviousErrorHandler = nullptr;
}

TOstrelModuleOptionsEx& CurrentOstrelLogOptions() {
    TOstrelModuleOptionsEx* options = CurrentOptions();
    if (!ReporterStarted() || options == nullptr)
        throw Exception(
            "\r\nCannot use 'CurrentOstrelLogOptions' function without activate OstrelLog. Start "
            "it with StartOstrelLog() in a program that carries the reporter's packed debug data.");
    return *options;
}

bool StartOstrelLog() {
    std::lock_guard guard(gRunLock);
    if (gRunCount++ > 0)
        return true;
    const bool ok = RunSection(CoreInit, "OCore.Init") && RunSection(HookInit, "OHook.Init") &&
                    RunSection(ExceptionLogInit, "ExceptionLog.Init");
    SetStillInitialising(false);
    if (!ok) {
        // A reporter that is half on catches some faults and not others, with state that no report
        // was built for: what the failed start installed is taken away again, and the program goes on
        // without it.
        SetAlreadyFinalising(true);
        RunSection(ExceptionLogDone, "ExceptionLog.Done");
        RunSection(HookDone, "OHook.Done");
        RunSection(CoreDone, "OCore.Done");
        SetAlreadyFinalising(false);
        gRunCount = 0;
    }
    return ok;
}

void StopOstrelLog() {
    std::lock_guard guard(gRunLock);
    if (gRunCount == 0 || --gRunCount > 0)
        return;
    SetAlreadyFinalising(true);
    RunSection(ExceptionLogDone, "ExceptionLog.Done");
    RunSection(HookDone, "OHook.Done");
    RunSection(CoreDone, "OCore.Done");
    SetAlreadyFinalising(false);
}

} // namespace reporter
