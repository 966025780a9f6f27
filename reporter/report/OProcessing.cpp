#include "OProcessing.h"

#include "OCallStack.h"
#include "OClassInfo.h"
#include "OConsoleOutput.h"
#include "OCore.h"
#include "ODesktop.h"
#include "OEvents.h"
#include "OExceptionInfo.h"
#include "OFileSizeSignal.h"
#include "OInterception.h"
#include "OLastError.h"
#include "OLogFile.h"
#include "OLogText.h"
#include "OMemory.h"
#include "OModuleInfo.h"
#include "OModuleMap.h"
#include "OModules.h"
#include "OOptions.h"
#include "OProcess.h"
#include "OReportDialogHost.h"
#include "OReportFolder.h"
#include "OReportLock.h"
#include "OReportProgress.h"
#include "OReporterState.h"
#include "OScreenshot.h"
#include "OSendReport.h"
#include "OSendThread.h"
#include "OSignals.h"
#include "OTextUtils.h"
#include "OThreadPark.h"
#include "OWebApplication.h"
#include "OWindows.h"
#include "OXMLLog.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

namespace reporter {

namespace {

// --- process-wide report state (touched under the report lock, or by the one report thread) ---
std::mutex gPumpLock;
TMessagePump gPump;

std::mutex gStateLock; // the values below may be read by a background sending thread
std::atomic<bool> gTermination{false};
std::atomic<uint8_t> gTerminateAction{0};
std::atomic<int> gReportsShown{0};
std::atomic<int>& gStep = ReportStepWord;

// Each step begun is progress a faulting thread waiting for the report sees.
void SetStep(int step) {
    gStep.store(step);
    NoteReportProgress();
}
std::vector<time_t> gReportTimes;
std::atomic<bool> gDuplicate{false};

// Keeps the raising thread of a report whose process ends (a signal's report: its thread takes the
// signal's own end; a raise that no handler catches: the runtime terminates) until a sending thread
// started for it is done; so too with a termination pending. The sending thread then ends or restarts
// the program when asked to, else the fault ends it as it would have. Declared before the report lock
// is taken, so that the wait comes after the lock (which the sending thread takes) is free.
class TBackgroundSendWait {
public:
    TBackgroundSendWait() = default;
    TBackgroundSendWait(const TBackgroundSendWait&) = delete;
    TBackgroundSendWait& operator=(const TBackgroundSendWait&) = delete;
    ~TBackgroundSendWait();
    // Under the report lock: this report is the one that runs.
    void Begin(const TProcessExceptionParams& params, const TOstrelThreadState& raising) {
        m_endsProcess = !params.FromWatchdog &&
                        (params.Signal != 0 || (params.HandlerKind == 0 && raising.Notifying != 0));
        // A faulting thread waits in its signal handler until the sending is over too.
        m_stoppedThread = params.Signal != 0 ? params.ThreadId : 0;
        Current().store(this);
    }
    // Step 16 of the running report: its sending went to a thread of its own.
    static void SentInBackground(bool terminationPending) {
        if (TBackgroundSendWait* wait = Current().load())
            wait->m_await = wait->m_endsProcess || terminationPending;
    }

private:
    static std::atomic<TBackgroundSendWait*>& Current() {
        static std::atomic<TBackgroundSendWait*> current{nullptr};
        return current;
    }
    bool m_endsProcess = false;
    bool m_await = false;
    pid_t m_stoppedThread = 0;
};

// The options of the report that runs (events and termination requests read them).
TOstrelModuleOptionsEx* gReportOptions = nullptr;
// The log file, kept open on its name until the name changes.
std::unique_ptr<TLogFile> gLog;
std::string gLogName;
// The call stacks of the last report (kept until the next one takes stacks).
std::unique_ptr<TOstrelStackList> gStackList;

// The thread a report's steps run on: created suspended in the sense that it is given everything
// before it starts; its running flag is cleared when its body has returned.
struct TExceptionThread {
    TProcessExceptionParams Params;
    std::string FocusClass;
    std::string FocusText;
    std::atomic<bool> Running{true};
    uint8_t Result = 1;
};

// --- events handed to the main thread ---

void MainThreadCall(const std::function<void()>& call) {
    if (AnyEventHandler())
        RunInMainThread(call);
    else
        call(); // nothing to dispatch: no hand-over to the waiting thread
}

class TProcessingLogEvents final : public TLogSaveEvents {
public:
    void SavingLog(bool& continueFlag) override {
        MainThreadCall([&] { ExceptionActionNotify(2, continueFlag); });
    }
    void LogSaved(bool& continueFlag) override {
        MainThreadCall([&] { ExceptionActionNotify(3, continueFlag); });
    }
    void LogError(bool& retry) override {
        MainThreadCall([&] { ExceptionErrorNotify(TOstrelLogErrorCode::eeLogError, retry); });
    }
};

// What the senders need from the report sequence.
class TProcessingSendHost final : public IOstrelSendHost {
public:
    void AttachedFilesRequest(std::vector<std::string>& files) override {
        MainThreadCall([&] { reporter::AttachedFilesRequest(files); });
    }
    void ActionNotify(int action, bool& result) override {
        MainThreadCall([&] { ExceptionActionNotify(action, result); });
    }
    void ErrorNotify(int channel, bool& retry) override {
        const TOstrelLogErrorCode code = LastErrorCode() != TOstrelLogErrorCode::eeNone
                                             ? LastErrorCode()
                                             : (channel == 5 ? TOstrelLogErrorCode::eeEmailSMTPError
                                                             : TOstrelLogErrorCode::eeWebHTTPError);
        MainThreadCall([&] { ExceptionErrorNotify(code, retry); });
    }
    void CustomWebFieldsRequest(std::vector<std::string>& names, std::vector<std::string>& values) override {
        MainThreadCall([&] { CustomFieldsRequest(names, values); });
    }
    std::string ReportToXML(const std::string& reportText) override {
        // The text is the report, or the whole log read back: this report is its last one.
        const std::vector<std::string> reports = SplitLogReports(reportText);
        return reports.empty() ? std::string() : reporter::ReportToXML(reports.back());
    }
    void ShowMessageBox(const std::string& text, const std::string& caption, uint32_t style) override {
        if (IsConsoleProgram()) {
            if (!IsWebApplication()) // a web program's output is its answer
                WriteToConsole(stdout, caption + "\n" + text + "\n");
            return;
        }
        const TOutsideWait outside; // the box waits for its user
        reporter::ShowMessageBox(text, caption,
                                 style == SendFailureBoxStyle ? TMessageBoxIcon::Error
                                                              : TMessageBoxIcon::Information);
    }
    bool IsCGIProgram() override { return IsCGIApplication(); }
    std::vector<time_t> ReportTimes() override { return ReportTimesList(); }
    void RequestTermination(uint8_t action) override { reporter::RequestTermination(action); }
    bool TerminationPending(uint8_t& action) override { return TerminationRequested(action); }
};

TProcessingSendHost gSendHost;

bool CurrentReportIsDuplicate() {
    return gDuplicate.load();
}

TOstrelCPUContext CPUContextOf(const TOstrelContext& c) {
    TOstrelCPUContext r;
    r.RAX = c.Rax;
    r.RBX = c.Rbx;
    r.RCX = c.Rcx;
    r.RDX = c.Rdx;
    r.RSI = c.Rsi;
    r.RDI = c.Rdi;
    r.RBP = c.Rbp;
    r.RSP = c.Rsp;
    r.R8 = c.R8;
    r.R9 = c.R9;
    r.R10 = c.R10;
    r.R11 = c.R11;
    r.R12 = c.R12;
    r.R13 = c.R13;
    r.R14 = c.R14;
    r.R15 = c.R15;
    r.RIP = c.Rip;
    r.EFLAGS = c.EFlags;
    return r;
}

// The options of the module the exception belongs to, and that module: the program's own module is
// described by the current options (which the program may have changed since start-up); another module
// that carries a reporter brings its own. A fault in a library without options (the C library, the
// toolkit, the vDSO) is the program's.
struct TReportOptionsSource {
    const TOstrelModuleOptions* Options = nullptr;
    TModuleHandle Module = 0;
};

TReportOptionsSource FindReportOptions(const TProcessExceptionParams& params) {
    TOstrelModuleOptionsEx* current = CurrentOptions();
    TOstrelModulesList* modules = ModulesList();
    const TModuleHandle program = GetModuleHandle("");
    auto optionsOf = [&](TModuleHandle handle) -> TReportOptionsSource {
        if (handle == 0)
            return {};
        if (handle == program)
            return {current, program};
        if (modules == nullptr || !HasAppendedDebugData(handle))
            return {};
        const TOstrelModuleInfoPtr info = modules->FindModuleInfo(handle);
        if (info == nullptr || info->Options == nullptr)
            return {};
        return {info->Options.get(), handle};
    };
    TReportOptionsSource found = optionsOf(FindModuleOfAddress(params.Address));
    if (found.Options == nullptr)
        found = optionsOf(params.Module);
    const TModuleHandle other = params.Module == OwnModuleHandle() ? program : OwnModuleHandle();
    if (found.Options == nullptr)
        found = optionsOf(other);
    if (found.Options != nullptr && (found.Options->ProcessingFlags() & 0x10) && found.Options != current) {
        if (const TReportOptionsSource main = optionsOf(other); main.Options != nullptr)
            found = main;
    }
    if (found.Options == nullptr)
        found = {current, program};
    return found;
}

// The file name of the module whose options a report uses: it names the log file.
std::string ReportModuleName(TModuleHandle module) {
    if (module == GetModuleHandle(""))
        return ProgramFileName();
    if (TOstrelModulesList* modules = ModulesList())
        if (const TOstrelModuleInfoPtr info = modules->FindModuleInfo(module); info != nullptr)
            return info->FileName;
    return ProgramFileName();
}

// Reads memory for the processor block: the raise-time copy of the exception thread's stack first
// (the live stack below the catching frame has been used again since), else the process's memory.
class TReportMemory {
public:
    TReportMemory(uintptr_t start, std::vector<uint8_t> bytes) : m_start(start), m_bytes(std::move(bytes)) {}
    bool Read(uintptr_t address, void* target, size_t size) const {
        if (!m_bytes.empty() && address >= m_start && address - m_start + size <= m_bytes.size()) {
            std::memcpy(target, m_bytes.data() + (address - m_start), size);
            return true;
        }
        return SafeRead(address, target, size);
    }

private:
    uintptr_t m_start;
    std::vector<uint8_t> m_bytes;
};

// The log file on the options' current name, opened again when the name changed. nullptr when the file
// cannot be read (it is then left alone).
TLogFile* OpenLog(const TOstrelModuleOptions& options) {
    const std::string name = GetLogFileNameEx(options);
    // Compared with the name asked for: the location rule may have moved the file to the fallback folder.
    if (gLog && gLogName == name)
        return gLog.get();
    gLog.reset();
    gLogName = name;
    try {
        gLog = std::make_unique<TLogFile>(name, false);
    } catch (const std::exception&) {
        FormatInternalError(TOstrelLogErrorCode::eeLogError, "Log");
        gLog.reset();
    }
    return gLog.get();
}

bool WantsStack(const TOstrelModuleOptions& options, const TOstrelThreadRecord& record) {
    const bool mainOrObject = record.ThreadId == MainThreadId() || record.ThreadObject != nullptr;
    return (options.CallStackFlags() & (mainOrObject ? 0x04 : 0x08)) != 0;
}

// Step 4: the exception thread's stack, then the stack of the thread that started it, then every other
// wanted thread of the snapshot, each copied while it stood still for a moment.
void TakeCallStacks(const TOstrelModuleOptions& options, const TProcessExceptionParams& params,
                    const TOstrelContext* context, TOstrelThreadsList& snapshot, const TReportMemory*& memory,
                    std::unique_ptr<TReportMemory>& memoryOwner) {
    gStackList = std::make_unique<TOstrelStackList>();
    const TModuleLookupPass pass(ModulesList());
    TStackWalkParams walk;
    walk.ThreadId = uint32_t(params.ThreadId);
    walk.Running = true;
    // Every entry the walk finds, whatever its kind: event handlers get the whole list, and the report
    // text and the dialog hide what their columns do not show.
    walk.Kinds = AllDebugKinds;
    walk.Modules = ModulesList();
    TStackWalkCache cache; // the threads' stacks share most of their return addresses
    walk.Cache = &cache;

    const uintptr_t frame = params.Frame != 0 ? params.Frame : (context != nullptr ? context->Rsp : 0);
    TStackWalkParams faulting = walk; // the exception thread's own walk: its faulting frame is always shown
    faulting.FaultingFirst = true;
    if (params.StackCopy != nullptr && !params.StackCopy->Stack.empty()) {
        const TThreadStackCopy& copy = *params.StackCopy;
        WalkStack(
            *gStackList, params.Address,
            TStackMemory{copy.StackPointer, copy.StackPointer + copy.Stack.size() - 1, copy.Stack.data()},
            faulting);
        memoryOwner = std::make_unique<TReportMemory>(copy.StackPointer, copy.Stack);
    } else {
        std::vector<uint8_t> raised;
        uintptr_t raisedStart = 0;
        {
            TRaiseStackAccess access;
            const TRaiseStackCopy& copy = access.Copy();
            if (copy.Bytes != nullptr && copy.Size > 0 && copy.ThreadId == params.ThreadId &&
                (frame == 0 || (frame >= copy.Start && frame < copy.Start + copy.Size))) {
                raisedStart = copy.Start;
                raised.assign(copy.Bytes, copy.Bytes + copy.Size);
            }
        }
        if (!raised.empty()) {
            WalkStack(*gStackList, params.Address,
                      TStackMemory{raisedStart, raisedStart + raised.size() - 1, raised.data()}, faulting);
            memoryOwner = std::make_unique<TReportMemory>(raisedStart, std::move(raised));
        } else if (frame != 0 && params.StackTop > frame) {
            // The raising thread waits below this range, so its frames there stand still.
            WalkStack(*gStackList, params.Address, TStackMemory{frame, params.StackTop - 1}, faulting);
        } else if (params.Address != 0) {
            WalkStack(*gStackList, params.Address, TStackMemory{}, faulting);
        }
    }
    if (memoryOwner)
        memory = memoryOwner.get();

    auto addStarterStack = [&](const TOstrelThreadRecord& record) {
        if (!record.StarterStack || record.StarterStack->empty())
            return;
        TStackWalkParams starter = walk;
        starter.ThreadId = uint32_t(record.ThreadId);
        starter.Running = false;
        const std::vector<uint8_t>& bytes = *record.StarterStack;
        WalkStack(*gStackList, 0,
                  TStackMemory{record.StarterStackPointer, record.StarterStackPointer + bytes.size() - 1,
                               bytes.data()},
                  starter);
    };
    const int own = snapshot.IndexOfThreadId(params.ThreadId);
    if (own >= 0)
        addStarterStack(snapshot.Items(own));

    std::vector<const TOstrelThreadRecord*> others;
    for (int i = 0; i < snapshot.Count(); ++i) {
        const TOstrelThreadRecord& record = snapshot.Items(i);
        if (record.ThreadId == 0 || record.ThreadId == params.ThreadId ||
            record.ThreadId == CurrentThreadId() || !WantsStack(options, record) ||
            !IsThreadAlive(record.ThreadId))
            continue;
        others.push_back(&record);
    }
    if (others.empty() || ParkSignal() == 0)
        return;
    // The parker's buffers exist before any thread stands still; the threads go again before the copies
    // are taken (they may hold the allocator's lock).
    TThreadParker parker(int(others.size()));
    std::vector<TParkTarget> targets;
    targets.reserve(others.size());
    for (const TOstrelThreadRecord* record : others)
        targets.push_back({record->ThreadId, record->StackTop});
    std::vector<bool> parked;
    {
        TOstrelThreadState& self = CurrentThreadState();
        GuardEnter(self.Frozen);
        parked = parker.ParkAll(targets);
        parker.ReleaseAll();
        GuardLeave(self.Frozen);
    }
    for (size_t i = 0; i < others.size(); ++i) {
        TThreadStackCopy copy;
        if (!parked[i] || !parker.GetCopy(others[i]->ThreadId, copy))
            continue; // a thread that cannot be read is left out
        if (copy.InstructionPointer == 0 || copy.StackPointer == 0)
            continue;
        TStackWalkParams running = walk;
        WalkStack(
            *gStackList, copy.InstructionPointer,
            TStackMemory{copy.StackPointer, copy.StackPointer + copy.Stack.size() - 1, copy.Stack.data()},
            [&] {
                running.ThreadId = copy.ThreadId;
                return running;
            }());
        addStarterStack(*others[i]);
    }
}

void OutputToConsole(const std::string& message, const std::string& report) {
    WriteToConsole(stdout, message + "\r\n\r\n" + report);
}

// The steps of one report. Returns the result byte (1: nothing was done for the exception).
uint8_t ExceptionReport(const TProcessExceptionParams& params, const std::string& focusClass,
                        const std::string& focusText) {
    uint8_t result = 0;
    const time_t reportTime = params.FaultTime != 0 ? params.FaultTime : std::time(nullptr);
    gTermination.store(false);
    gDuplicate.store(false);

    // Step 1: the thread snapshot; the frozen byte keeps the start hook from taking releases for starts.
    SetStep(1);
    TOstrelThreadState& self = CurrentThreadState();
    GuardEnter(self.Frozen);
    std::unique_ptr<TOstrelThreadsList> snapshot;
    {
        TThreadsListAccess access;
        snapshot = access.List() != nullptr ? std::make_unique<TOstrelThreadsList>(*access.List())
                                            : std::make_unique<TOstrelThreadsList>();
    }
    SetCurrentExceptionAddress(params.Address);
    if (TOstrelModulesList* modules = ModulesList())
        modules->PurgeChangedModules();

    struct TEnd {
        TOstrelThreadState& State;
        ~TEnd() {
            GuardLeave(State.Frozen);
            SetStep(0);
        }
    } end{self};

    // Steps 101-104: the options of the report.
    SetStep(101);
    TOstrelModuleOptionsEx options("", false);
    const TReportOptionsSource source = FindReportOptions(params);
    options.Assign(source.Options);
    {
        std::lock_guard guard(gStateLock);
        gReportOptions = &options;
    }
    struct TDropOptions {
        ~TDropOptions() {
            std::lock_guard guard(gStateLock);
            gReportOptions = nullptr;
        }
    } dropOptions;
    options.SetModuleName(ReportModuleName(source.Module));
    TReportDecision decision;
    decision.SendState = options.MailSendMode() != 0 || options.UploadMode() != 0;
    decision.DialogType = GetDialogType(params.DialogType);
    bool screenshotState = (options.SendFlags() & 0x10) != 0;
    IOstrelReportDialog* dialog = OstrelReportDialog();
    if (dialog != nullptr && ShouldSave(options, decision))
        dialog->BringAppToFront();

    // Step 2: the exception filters.
    SetStep(2);
    const std::type_info* cls =
        params.ObjectClass != nullptr ? params.ObjectClass : ObjectClass(params.Object);
    if (params.HandlerKind != 2 && options.FilterActive() && cls != nullptr) {
        const int filter = FindExceptionFilter(cls, options);
        if (filter >= 0) {
            if (filter < options.FilterMessages().Count() &&
                !options.FilterMessages().Strings(filter).empty())
                ShowMessageBox(options.FilterMessages().Strings(filter), options.GetText(0),
                               TMessageBoxIcon::Information);
            return result;
        }
    }

    // Step 3: what the caller left out comes from the exception's thread.
    SetStep(3);
    const TOstrelContext* context = params.Context;
    if (context != nullptr &&
        (context->ContextFlags & TOstrelContext::FullContext) != TOstrelContext::FullContext &&
        context->Rip == 0)
        context = nullptr;

    // Step 4: the call stacks.
    SetStep(4);
    const TReportMemory* memory = nullptr;
    std::unique_ptr<TReportMemory> memoryOwner;
    TakeCallStacks(options, params, context, *snapshot, memory, memoryOwner);

    // Step 5: a thread's own last-chance handler reports it itself; only the stacks were wanted.
    SetStep(5);
    if (params.HandlerKind == 2)
        return result;

    // Step 6: the module list.
    SetStep(6);
    TOstrelModulesList* modules = ModulesList();
    if (modules != nullptr && (options.LogFlags() & 0x10))
        modules->GetProcessModules();

    // Step 7: the report text, the duplicate test, the screen, the notification.
    SetStep(7);
    TLogTextFrame frame;
    frame.Options = &options;
    frame.GeneralParams.ExceptionObject = params.Object;
    frame.GeneralParams.ExceptionAddress = params.Address;
    frame.GeneralParams.ExceptionTime = reportTime;
    frame.GeneralParams.ControlClass = focusClass;
    frame.GeneralParams.ControlText = focusText;
    frame.StackList = gStackList.get();
    if (modules != nullptr)
        frame.Modules = ModuleRecords(*modules);
    if (context != nullptr)
        frame.Context = CPUContextOf(*context);
    frame.ExceptionAddress = params.Address;
    if (memory != nullptr)
        frame.ReadMemory = [memory](uintptr_t address, void* target, size_t size) {
            return memory->Read(address, target, size);
        };
    TLogTexts texts = BuildLogText(frame);
    std::string report = texts.Report;
    size_t generalLength = texts.General.size();

    TOstrelExceptionRecord& record = CurrentExceptionRecord();
    record.ExceptionObject = const_cast<void*>(params.Object);
    record.ExceptionAddress = params.Address;
    record.ThreadID = uint32_t(params.ThreadId);
    record.ReportText = report;
    record.ModulesList = modules;
    record.CallStack = gStackList.get();
    record.Options = &options;

    TLogFile* log = OpenLog(options);
    const bool duplicate = IsDuplicateReport(options, log, texts.ExceptionAddress, texts.ExceptionModule,
                                             texts.ExceptionType, texts.ExceptionMessage);
    gDuplicate.store(duplicate);
    decision.Duplicate = duplicate;
    ClearLastErrorCode();
    KeepCaptureInputs();
    CaptureScreen(options);
    struct TFreeCapture {
        ~TFreeCapture() { FreeScreenshot(); }
    } freeCapture;
    bool continueFlag = true;
    MainThreadCall([&] { ExceptionNotify(continueFlag); });

    // Step 8: a handler may stop the report here.
    SetStep(8);
    if (!continueFlag)
        return result;
    if (options.ProcessingFlags() & 0x01) {
        std::lock_guard guard(gStateLock);
        gReportTimes.push_back(reportTime);
        while (gReportTimes.size() > size_t(std::max(options.ErrorRateCount(), 0)))
            gReportTimes.erase(gReportTimes.begin());
    }
    std::string customData;
    MainThreadCall([&] { CustomDataRequest(customData); });
    if (customData.find_first_not_of(" \t\r\n") != std::string::npos)
        InsertLogSection(report, generalLength, 5, options.GetText(13), customData);

    // Steps 9, 10.
    SetStep(9);
    const int shown = ++gReportsShown;
    SetStep(10);
    const std::string message = CleanExceptionMessage(texts.ExceptionMessage);
    record.ReportText = report;

    // Steps 11-14: the presentation.
    SetStep(11);
    TReportDialogChoices choices;
    // A web server may end the program as soon as the answer is complete: the page goes out only when
    // the report has been logged and sent.
    std::optional<std::string> webPage;
    choices.SendChecked = decision.SendState;
    choices.ScreenshotChecked = screenshotState;
    if (options.DialogFlags() & 0x01) {
        bool execute = true;
        ClearLastErrorCode();
        MainThreadCall([&] { ExceptionActionNotify(0, execute); });
        if (execute) {
            if (decision.DialogType == 0) {
                bool shownDialog = false;
                if (dialog != nullptr) {
                    TReportDialogRequest request;
                    request.Options = &options;
                    request.ExceptionMessage = message;
                    request.GeneralText = report.substr(0, generalLength);
                    request.CPUText = texts.CPU;
                    request.CustomDataText = customData;
                    request.Duplicate = duplicate;
                    request.ReportsShown = shown;
                    request.CallStack = gStackList.get();
                    request.Modules = modules;
                    request.TerminateNotify = [](bool& terminate) {
                        MainThreadCall([&] { ExceptionActionNotify(8, terminate); });
                    };
                    shownDialog = dialog->ShowReportDialog(request, choices);
                }
                if (!shownDialog && dialog == nullptr) {
                    ShowErrorBox(message, options.GetText(2));
                    SetLastErrorCode(TOstrelLogErrorCode::eeShowError, "Cannot show the DialogBox window.");
                }
                decision.SendState = choices.SendChecked;
                screenshotState = choices.ScreenshotChecked;
                if (choices.TerminateRequested)
                    RequestTermination(options.TerminateAction());
            } else if (decision.DialogType == 2) {
                if (IsIntraWebApplication())
                    execute = ShowIntraWebErrorPage();
                else
                    webPage = HTMLErrorPage(options, message, true);
            } else {
                OutputToConsole(message, report);
            }
            MainThreadCall([&] { ExceptionActionNotify(1, execute); });
        }
    } else if (IsWebApplication()) {
        // The request still gets an answer, never the raw report.
        webPage = HTMLErrorPage(options, message, false);
    }
    SetStep(13);
    if (dialog != nullptr && (options.LogFlags() & 0x02) && IsDesktopApplication()) {
        const std::string steps = dialog->AskReproduceSteps(options, choices, duplicate);
        if (steps.find_first_not_of(" \t\r\n") != std::string::npos) {
            InsertLogSection(report, generalLength, 6, options.GetText(81), steps);
            record.ReportText = report;
        }
    }
    std::string screenshotFile;
    TReportFolderPtr reportFolder;
    if (CanShowOrSend(options, decision) && screenshotState && HasScreenshot()) {
        try {
            reportFolder = std::make_shared<TReportFolder>();
            const std::string name = reportFolder->File("Screenshot.png");
            if (SaveScreenshot(name))
                screenshotFile = name;
        } catch (const std::exception&) {
            // The report goes out without its picture.
        }
    }
    FreeScreenshot();

    // Step 15: the log.
    SetStep(15);
    std::string sendText = report;
    if (log != nullptr) {
        if ((options.LogFlags() & 0x04) && log->Count() > 0) {
            const std::string stored = log->GetFieldValue("1.3", log->Count() - 1);
            if (stored != GetMainModuleVersion()) {
                try {
                    log->Clear();
                    log->Save();
                } catch (const std::exception&) {
                    FormatInternalError(TOstrelLogErrorCode::eeLogError, "Log");
                }
            }
        }
        TProcessingLogEvents events;
        SaveLogFile(options, *log, report, duplicate, sendText, events);
    }
    if (choices.ClipboardChecked)
        CopyTextToClipboard(report);

    // Step 16: sending.
    SetStep(16);
    const bool background = (options.SendFlags() & 0x80) != 0;
    bool sentInBackground = false;
    TSendReportData data;
    data.ReportText = sendText;
    data.LogFileName = log != nullptr ? log->FileName() : GetLogFileNameEx(options);
    data.ReportTime = reportTime;
    data.ScreenshotFile = screenshotFile;
    data.Folder = reportFolder;
    if (CanShowOrSend(options, decision)) {
        try {
            StartSend(options, data);
            sentInBackground = background;
        } catch (const std::exception&) {
            FormatInternalError(TOstrelLogErrorCode::eeNone, "Send");
        }
    }
    if (!sentInBackground)
        ErrorsRateCheck(options, data);
    uint8_t pendingAction = 0;
    if (sentInBackground)
        TBackgroundSendWait::SentInBackground(TerminationRequested(pendingAction));

    if (webPage)
        WriteWebErrorPage(*webPage);

    // Step 18: the end of the program, when asked for.
    SetStep(18);
    uint8_t action = 0;
    if (!sentInBackground && TerminationRequested(action)) {
        data.Folder.reset();
        reportFolder.reset(); // the report's files go before the program does
        // Never through stdio's list lock or a stream lock the faulting thread may hold.
        FlushStreamIfFree(stdout);
        FlushStreamIfFree(stderr);
        RestartOrTerminate(action == 1);
    }
    return result;
}

// The exception a safe-call handler will report a second time. Its message cannot be given the marker
// prefix (a C++ exception's text is fixed), so the object is remembered with its class and text: a freed
// object whose memory holds another exception does not match.
struct TSafeCallMark {
    const void* Object = nullptr;
    const std::type_info* Class = nullptr;
    std::string Message;
};
std::mutex gSafeCallLock;
TSafeCallMark gSafeCall;

std::string ObjectMessage(const TProcessExceptionParams& params) {
    return params.Object != nullptr && IsValidObject(params.Object) ? GetExceptionMessage(params.Object)
                                                                    : std::string();
}

void MarkSafeCallReported(const TProcessExceptionParams& params) {
    std::lock_guard guard(gSafeCallLock);
    gSafeCall = {params.Object, params.ObjectClass, ObjectMessage(params)};
}

bool IsSafeCallReported(const TProcessExceptionParams& params) {
    if (params.Object == nullptr || params.FromWatchdog || params.Signal != 0)
        return false;
    const std::string message = ObjectMessage(params);
    if (message.rfind(SafeCallPrefix, 0) == 0)
        return true;
    std::lock_guard guard(gSafeCallLock);
    if (gSafeCall.Object != params.Object || gSafeCall.Class != params.ObjectClass ||
        gSafeCall.Message != message)
        return false;
    gSafeCall = TSafeCallMark{};
    return true;
}

void* ExceptionThreadMain(void* parameter) {
    auto* thread = static_cast<TExceptionThread*>(parameter);
    const TModuleMapScope modules;
    try {
        thread->Result = ExceptionReport(thread->Params, thread->FocusClass, thread->FocusText);
    } catch (...) {
        FormatInternalError(TOstrelLogErrorCode::eeNone, "Report");
        thread->Result = 0;
    }
    thread->Running.store(false);
    SignalReportEvent();
    return nullptr;
}

void PumpMainThreadMessages() {
    TMessagePump pump;
    {
        std::lock_guard guard(gPumpLock);
        pump = gPump;
    }
    if (pump) {
        try {
            pump();
        } catch (...) {
            // A message handler's exception does not end the wait.
        }
    }
}

TBackgroundSendWait::~TBackgroundSendWait() {
    TBackgroundSendWait* self = this;
    Current().compare_exchange_strong(self, nullptr);
    if (!m_await)
        return;
    // The main thread serves its messages meanwhile, as while it waits for a report; a stopped thread
    // is not asked for anything (the sender's boxes then come from the helper process at once).
    if (m_stoppedThread != 0)
        SetStoppedThreadId(m_stoppedThread);
    const bool onMain = CurrentThreadId() == MainThreadId();
    // Each look at a sending thread that used the processor meanwhile is progress (a faulting thread
    // waits for this); its peers and its user are waits of its own.
    uint64_t used = SendThreadsProcessorTime();
    while (!WaitForSendThreadsFor(std::chrono::milliseconds(onMain ? 10 : 250))) {
        if (const uint64_t now = SendThreadsProcessorTime(); now != used) {
            used = now;
            NoteReportProgress();
        }
        if (onMain)
            PumpMainThreadMessages();
    }
    if (m_stoppedThread != 0)
        SetStoppedThreadId(0);
}

} // namespace

uint8_t ProcessException(const TProcessExceptionParams& params) {
    if (!HooksEnabled())
        return 1;
    TBackgroundSendWait sendWait;
    std::lock_guard lock(ReportLock());
    const TFileSizeSignalGuard fileSizeLimit;
    TOstrelThreadState& state = CurrentThreadState();
    sendWait.Begin(params, state);
    // A second exception of a thread that is already being reported (or of the thread that waits for a
    // report) is left alone.
    if (!GuardEnter(state.Processing))
        return 0;
    struct TLeave {
        TOstrelThreadState& State;
        ~TLeave() { GuardLeave(State.Processing); }
    } leave{state};
    // An exception that a safe-call handler reported already: nothing more.
    if (IsSafeCallReported(params))
        return 0;
    const TOstrelModuleOptionsEx* current = CurrentOptions();
    if (current == nullptr || !current->ReporterActive())
        return 1;
    // No loader call while the report runs: the raising thread may hold the loader's lock.
    const TModuleMapScope modules;

    auto thread = std::make_unique<TExceptionThread>();
    thread->Params = params;
    if (thread->Params.ThreadId == 0)
        thread->Params.ThreadId = params.FromWatchdog ? MainThreadId() : CurrentThreadId();
    if (thread->Params.StackTop == 0 && thread->Params.ThreadId == CurrentThreadId())
        thread->Params.StackTop = CurrentStackTop();
    if (thread->Params.Context == nullptr && thread->Params.ThreadId == CurrentThreadId() &&
        state.ExceptionObject == params.Object && state.Context.Rip != 0)
        thread->Params.Context = &state.Context;
    if (thread->Params.Frame == 0 && thread->Params.ThreadId == CurrentThreadId())
        thread->Params.Frame = state.RaiseStackPointer;
    // A thread that faulted waits in its signal handler, a frozen one does not answer: until the report
    // ends nobody waits for it (the dialog then comes from the helper process at once).
    const bool stopped = params.Signal != 0 || params.FromWatchdog;
    if (stopped)
        SetStoppedThreadId(thread->Params.ThreadId);
    struct TResume {
        bool Stopped;
        ~TResume() {
            if (Stopped)
                SetStoppedThreadId(0);
        }
    } resume{stopped};
    TakeGuiThreadSilent(); // what an earlier call found is no part of this report
    GetFocusedControlInfo(thread->FocusClass, thread->FocusText);
    if (TakeGuiThreadSilent() && thread->FocusClass.empty())
        thread->FocusClass = GuiThreadSilentText;

    uint8_t result = 0;
    // The signal relay is a thread of the reporter's own that only waits meanwhile: it runs the report
    // itself (one thread start and hand-over less on a fault's path).
    if ((LibraryMode() && (StillInitialising() || AlreadyFinalising())) || OnSignalRelay()) {
        result = ExceptionReport(thread->Params, thread->FocusClass, thread->FocusText);
    } else {
        SetReportThread(CurrentThreadId());
        pthread_t handle;
        if (CreateOwnThread(handle, ExceptionThreadMain, thread.get()) != 0) {
            SetReportThread(0);
            return 1; // no thread for the report: the caller goes on as without a reporter
        }
        const bool onMain = CurrentThreadId() == MainThreadId();
        // Woken by the report's requests and its end; on the main thread the pump still runs at
        // least every 10 ms.
        for (;;) {
            const uint32_t seen = ReportEventCount();
            if (!thread->Running.load())
                break;
            if (onMain)
                PumpMainThreadMessages();
            if (RunPendingMainThreadRequest())
                continue;
            WaitForReportEvent(seen, onMain ? 10 : 0);
        }
        pthread_join(handle, nullptr);
        SetReportThread(0);
        result = thread->Result;
    }
    // The report is over; the thread's own record of the exception stays, so that the terminate handler
    // that may follow knows it was reported.
    state.RaiseStackPointer = 0;
    state.Context.ContextFlags = 0;
    CurrentExceptionRecord() = TOstrelExceptionRecord{};
    // The first handler is a safe-call handler, which hands the exception on to be reported again.
    if (params.HandlerKind == 1)
        MarkSafeCallReported(params);
    return result;
}

void InstallExceptionProcessing() {
    SetExceptionProcessor(ProcessException);
    SetOstrelSendHost(&gSendHost);
    SetDuplicateTest(CurrentReportIsDuplicate);
}

void RemoveExceptionProcessing() {
    WaitForSendThreads();
    SetDuplicateTest(nullptr);
    SetOstrelSendHost(nullptr);
    // Only the own processor goes; one installed since then (a test's) stays.
    const TProcessExceptionProc previous = SetExceptionProcessor(nullptr);
    if (previous != ProcessException)
        SetExceptionProcessor(previous);
    std::lock_guard guard(ReportLock());
    gLog.reset();
    gLogName.clear();
    gStackList.reset();
}

void SetMessagePump(TMessagePump pump) {
    std::lock_guard guard(gPumpLock);
    gPump = std::move(pump);
}

int GetDialogType(int requested) {
    switch (requested) {
    case 0:
        return IsWebApplication() ? 2 : (IsConsoleProgram() ? 1 : 0);
    case 1:
        return IsConsoleProgram() ? 1 : 0;
    case 2:
        return 2;
    default:
        return 0;
    }
}

void RequestTermination(uint8_t action) {
    if (!HooksEnabled())
        return;
    gTerminateAction.store(action);
    gTermination.store(true);
    std::lock_guard guard(gStateLock);
    if (gReportOptions != nullptr)
        gReportOptions->SetTerminateAction(action);
}

bool TerminationRequested(uint8_t& action) {
    if (!gTermination.load())
        return false;
    action = gTerminateAction.load();
    return true;
}

bool CanShowOrSend(const TOstrelModuleOptions& options, const TReportDecision& decision) {
    if ((options.MailSendMode() == 0 && options.UploadMode() == 0) || decision.Duplicate)
        return false;
    if (decision.SendState)
        return true;
    return (options.DialogFlags() & 0x01) == 0;
}

bool ShouldSave(const TOstrelModuleOptions& options, const TReportDecision& decision) {
    if (!(decision.DialogType == 1 || (decision.DialogType == 0 && IsDesktopApplication())))
        return false;
    if (CanShowOrSend(options, decision) && (options.SendFlags() & 0x11) != 0)
        return true;
    return (options.DialogFlags() & 0x01) != 0;
}

std::string CleanExceptionMessage(std::string message) {
    for (char& c : message)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n')
            c = ' ';
    return message;
}

int ReportsShownCount() {
    return gReportsShown.load();
}

std::vector<time_t> ReportTimesList() {
    std::lock_guard guard(gStateLock);
    return gReportTimes;
}

int CurrentReportStep() {
    return gStep.load();
}

} // namespace reporter
