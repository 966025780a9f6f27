// One exception from raise to log: children raise, fault, freeze or end, and the log file and their
// output tell what the report sequence did.
#include "Peers.h"
#include "RepprocTools.h"

#include "ExceptionLog.h"
#include "ODesktop.h"
#include "OEvents.h"
#include "OExports.h"
#include "OFiles.h"
#include "OFreezeWatch.h"
#include "OLogFile.h"
#include "OOptions.h"
#include "OProcessing.h"
#include "OReportDialogHost.h"
#include "OStackList.h"
#include "OTextUtils.h"
#include "classlib/Thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace repproc;

reporter::TOstrelModuleOptionsEx& Options() {
    return *reporter::CurrentOptions();
}

[[gnu::noinline]] void Fail(const char* message) {
    throw std::runtime_error(message);
}

void Say(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

// The application's exception handling: the exception is caught, then handed to the reporter.
void ReportCaught(const char* message) {
    try {
        Fail(message);
    } catch (...) {
        reporter::ExceptionManagerFor(std::current_exception(), 1);
    }
}

// A caught exception reported, then the program goes on: the child's usual end.
[[noreturn]] void ReportAndGoOn(const char* message) {
    ReportCaught(message);
    Say("SURVIVED");
    std::exit(0);
}

TChildScenario uncaught("uncaught", [] {
    StartReporterForChild();
    Fail("repproc uncaught failure");
    Say("NOT ENDED");
});

// A report that starts long after its fault (as one waiting for a stopped GUI thread does) is dated at
// the fault.
TChildScenario faultTime("fault-time", [] {
    StartReporterForChild();
    try {
        Fail("repproc late report");
    } catch (const std::exception& e) {
        reporter::TProcessExceptionParams params;
        params.Object = &e;
        params.ObjectClass = &typeid(e);
        params.DialogType = 1;
        params.FaultTime = 1000000000; // Sun, 9 Sep 2001 01:46:40 UTC
        reporter::ProcessException(params);
    }
    Say("SURVIVED");
    std::exit(0);
});

TChildScenario twice("twice", [] {
    StartReporterForChild();
    if (std::getenv("REPPROC_DUPLICATES") != nullptr)
        Options().SetLogFlags(uint8_t(Options().LogFlags() | 0x01));
    for (int i = 0; i < 2; ++i)
        ReportCaught("repproc repeated failure");
    Say("SURVIVED");
    std::exit(0);
});

TChildScenario caught("caught", [] {
    StartReporterForChild();
    try {
        Fail("repproc caught failure");
    } catch (const std::exception& e) {
        Say(e.what());
    }
    // A filtered class with no message of its own: nothing at all.
    Options().FilterClasses().Add("std::logic_error");
    Options().FilterMessages().Add("");
    try {
        throw std::logic_error("repproc filtered failure");
    } catch (...) {
        reporter::ExceptionManagerFor(std::current_exception(), 1);
    }
    Say("SURVIVED");
    std::exit(0);
});

class TFailingWorker final : public TThread {
public:
    TFailingWorker() : TThread(true) {}

protected:
    void Execute() override { Fail("repproc worker failure"); }
};

TChildScenario worker("worker", [] {
    StartReporterForChild();
    // What the program's start-up installs.
    SetThreadExceptionHook(
        [](TThread*, const std::exception_ptr& error) { reporter::ExceptionManagerFor(error, 0); });
    TThreadPtr<TFailingWorker> thread(TThread::Create<TFailingWorker>());
    thread->Start();
    thread->WaitFor();
    Say(thread->FatalException() ? "FATAL KEPT" : "FATAL LOST");
    Say("SURVIVED");
    std::exit(0);
});

TChildScenario segv("segv", [] {
    StartReporterForChild();
    volatile int* volatile target = reinterpret_cast<int*>(16);
    *target = 1;
    Say("NOT ENDED");
});

// What the report's event handlers and the options may do to a report.
TChildScenario notifyStops("notify-stops", [] {
    StartReporterForChild();
    reporter::GlobalEvents().ExceptionNotify = [](const reporter::TOstrelExceptionRecord&, bool& go) {
        go = false;
    };
    ReportAndGoOn("repproc stopped failure");
});

TChildScenario reentry("reentry", [] {
    StartReporterForChild();
    // A handler that fails itself while the report runs: its exception is no second report.
    reporter::GlobalEvents().ExceptionNotify = [](const reporter::TOstrelExceptionRecord&, bool&) {
        try {
            Fail("repproc inner failure");
        } catch (...) {
            std::printf("INNER RESULT %d\n", reporter::ExceptionManagerFor(std::current_exception(), 1));
            std::fflush(stdout);
        }
    };
    ReportAndGoOn("repproc outer failure");
});

TChildScenario reportTimes("report-times", [] {
    StartReporterForChild();
    Options().SetProcessingFlags(uint8_t(Options().ProcessingFlags() | 0x01));
    Options().SetErrorRateCount(2);
    Options().SetErrorRateMinutes(-1); // never exceeded: the program goes on
    for (int i = 0; i < 4; ++i) {
        ReportCaught("repproc timed failure");
        std::printf("TIMES %zu\n", reporter::ReportTimesList().size());
    }
    Say("SURVIVED");
    std::exit(0);
});

TChildScenario longerFirst("longer-first", [] {
    StartReporterForChild();
    Options().SetLogFlags(uint8_t(Options().LogFlags() | 0x01));
    // The same fault place, the second message is the start of the first: no repeat.
    for (const char* message : {"repproc failure 1.5", "repproc failure 1.", "repproc failure 1."}) {
        try {
            throw std::runtime_error(message);
        } catch (...) {
            reporter::ExceptionManagerFor(std::current_exception(), 1);
        }
    }
    Say("SURVIVED");
    std::exit(0);
});

TChildScenario safeCall("safe-call", [] {
    try {
        reporter::CurrentOstrelLogOptions();
        Say("OPTIONS BEFORE START");
    } catch (const std::exception& e) {
        Say(e.what());
    }
    StartReporterForChild();
    if (&reporter::CurrentOstrelLogOptions() == reporter::CurrentOptions())
        Say("OPTIONS AFTER START");
    // Marked by a safe-call handler's report: not reported again.
    try {
        throw std::runtime_error(std::string(reporter::SafeCallPrefix) + "repproc marked failure");
    } catch (...) {
        std::printf("MARKED RESULT %d\n", reporter::ExceptionManagerFor(std::current_exception(), 1));
    }
    // Reported once with a safe-call handler first; when that handler hands it on, nothing more.
    try {
        Fail("repproc safe-call failure");
    } catch (const std::exception& e) {
        reporter::TProcessExceptionParams params;
        params.Object = &e;
        params.ObjectClass = &typeid(e);
        params.HandlerKind = 1;
        params.DialogType = 1;
        std::printf("FIRST RESULT %d\n", reporter::ProcessException(params));
        std::printf("AGAIN RESULT %d\n", reporter::ExceptionManagerFor(std::current_exception(), 1));
    }
    Say("SURVIVED");
    std::exit(0);
});

// Faults in other modules than the program: the C library (inside one of its routines, and its abort),
// and a library loaded at run time. The log goes into a folder: the file is then named after the module
// whose options the report used.
void StartReporterWithLogFolder() {
    StartReporterForChild();
    Options().SetLogFileLocation(ChildLogFolder());
}

TChildScenario libcFault("libc-fault", [] {
    StartReporterWithLogFolder();
    Options().SetCallStackFlags(uint8_t(Options().CallStackFlags() & ~0x03)); // debug data rows only
    // Through a pointer: the C library's own fault, not the undefined-behaviour sanitizer's report of it.
    size_t (*volatile length)(const char*) = std::strlen;
    const char* volatile nothing = nullptr;
    Say(std::to_string(length(nothing)).c_str());
    Say("NOT ENDED");
});

TChildScenario libcAbort("libc-abort", [] {
    StartReporterWithLogFolder();
    std::abort();
});

TChildScenario libraryFault("library-fault", [] {
    StartReporterWithLogFolder();
    void* library = ::dlopen(REPPROC_FAULT_LIBRARY, RTLD_NOW);
    if (library == nullptr) {
        Say("NO LIBRARY");
        std::exit(2);
    }
    auto fault = reinterpret_cast<void (*)()>(::dlsym(library, "repproc_library_fault"));
    if (fault != nullptr)
        fault();
    Say("NOT ENDED");
});

// A fault in the program's routine that a library calls back through a static routine of its own; the
// event handler tells every frame of the faulting thread it is given: its kind, its module and what it
// is ("RELAY" for the library's static routine).
[[gnu::noinline]] void CalledBackFault() {
    volatile int* volatile target = reinterpret_cast<int*>(24); // not folded with the other faults
    *target = 2;
}

// The static routine lies before the export that gives its address (the library keeps its order).
uintptr_t gRelay = 0, gRelayEnd = 0;

TChildScenario callbackFault("callback-fault", [] {
    StartReporterWithLogFolder();
    if (std::getenv("REPPROC_DEBUG_ROWS_ONLY") != nullptr)
        Options().SetCallStackFlags(uint8_t(Options().CallStackFlags() & ~0x03));
    void* library = ::dlopen(REPPROC_CALLBACK_LIBRARY, RTLD_NOW);
    auto relayAddress =
        reinterpret_cast<void* (*)()>(library ? ::dlsym(library, "repproc_relay_address") : nullptr);
    auto callBack =
        reinterpret_cast<void (*)(void (*)())>(library ? ::dlsym(library, "repproc_call_back") : nullptr);
    if (relayAddress == nullptr || callBack == nullptr) {
        Say("NO LIBRARY");
        std::exit(2);
    }
    gRelay = reinterpret_cast<uintptr_t>(relayAddress());
    gRelayEnd = reinterpret_cast<uintptr_t>(relayAddress);
    reporter::GlobalEvents().ExceptionNotify = [](const reporter::TOstrelExceptionRecord& record, bool&) {
        for (int i = 0; record.CallStack != nullptr && i < record.CallStack->Count(); ++i) {
            const reporter::TOstrelDebugInfo& entry = record.CallStack->Items(i);
            if (entry.ThreadID != record.ThreadID || !entry.Running)
                continue;
            const std::string module = entry.Module ? reporter::ExtractFileName(entry.Module->FileName) : "-";
            const bool relay = entry.Address >= gRelay && entry.Address < gRelayEnd;
            std::printf("FRAME %d %s %s\n", int(entry.Kind), module.c_str(),
                        relay ? "RELAY" : entry.ProcedureName.c_str());
        }
        std::fflush(stdout);
    };
    callBack(&CalledBackFault);
    Say("NOT ENDED");
});

TChildScenario programFault("program-fault", [] {
    StartReporterWithLogFolder();
    volatile int* volatile target = reinterpret_cast<int*>(16);
    *target = 1;
    Say("NOT ENDED");
});

// The program's file replaced on disk while it runs (an upgrade), or gone, before its fault.
void ReplaceOwnFile() {
    const std::string self = reporter::ProgramFileName();
    if (::unlink(self.c_str()) != 0)
        Say("NOT REPLACED");
    if (std::getenv("REPPROC_REPLACE") != nullptr)
        std::ofstream(self) << "a newer build\n";
}

[[gnu::noinline]] void ReplacedProgramFault() {
    volatile int* volatile target = reinterpret_cast<int*>(16);
    *target = 1;
}

TChildScenario replacedFault("replaced-fault", [] {
    StartReporterWithLogFolder();
    ReplaceOwnFile();
    ReplacedProgramFault();
    Say("NOT ENDED");
});

// A report mailed with its XML log by the program's own send host.
TChildScenario xmlMail("xml-mail", [] {
    StartReporterForChild();
    Options().SetSendFlags(0x0008);
    Options().SetMailSendMode(2);
    Options().SetSMTPServer("127.0.0.1");
    Options().SetSMTPPort(uint16_t(std::atoi(std::getenv("REPPROC_SMTP_PORT"))));
    Options().SetMailRecipient("support@example.org");
    ReportAndGoOn("repproc mailed failure");
});

TChildScenario versionClear("version-clear", [] {
    StartReporterForChild();
    Options().SetLogFlags(uint8_t(Options().LogFlags() | 0x04));
    ReportAndGoOn("repproc versioned failure");
});

// A second thread waits in a routine of its own while the main thread reports.
std::mutex gWaitLock;
std::condition_variable gWaitEnd;
bool gWaitOver = false;
std::atomic<bool> gWaiting{false};

[[gnu::noinline]] void RepprocSecondThreadWaits() {
    std::unique_lock guard(gWaitLock);
    gWaiting = true;
    gWaitEnd.wait(guard, [] { return gWaitOver; });
}

TChildScenario twoThreads("two-threads", [] {
    StartReporterForChild();
    std::thread second(RepprocSecondThreadWaits);
    while (!gWaiting)
        std::this_thread::yield();
    ReportCaught("repproc two-thread failure");
    {
        std::lock_guard guard(gWaitLock);
        gWaitOver = true;
    }
    gWaitEnd.notify_all();
    second.join();
    Say("SURVIVED");
    std::exit(0);
});

// A file-size limit that the next log does not fit in: the signal it would raise is kept off while
// the reporter writes, and the program's own action for it comes back.
TChildScenario fileSizeLimit("file-size-limit", [] {
    StartReporterForChild();
    ReportCaught("repproc first failure");
    struct stat log {};
    const rlim_t room = ::stat(ChildLogFile().c_str(), &log) == 0 ? rlim_t(log.st_size) + 1024 : 0;
    const rlimit limit{room, room};
    if (room == 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        Say("NO LIMIT");
    ReportCaught("repproc second failure");
    struct sigaction after {};
    if (::sigaction(SIGXFSZ, nullptr, &after) == 0 && after.sa_handler == SIG_DFL)
        Say("DEFAULT ACTION");
    Say("SURVIVED");
    std::exit(0);
});

// A main loop of the child's own: the watchdog's heartbeats run when the main thread takes them.
std::mutex gLoopLock;
std::condition_variable gPosted;
std::deque<std::function<void()>> gLoop;

// Runs each posted call as soon as it is posted, for the given time.
void RunLoopFor(std::chrono::milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    std::unique_lock guard(gLoopLock);
    while (gPosted.wait_until(guard, end, [] { return !gLoop.empty(); })) {
        std::deque<std::function<void()>> calls;
        calls.swap(gLoop);
        guard.unlock();
        for (auto& call : calls)
            call();
        guard.lock();
    }
}

TChildScenario freeze("freeze", [] {
    StartReporterForChild();
    reporter::SetMainLoopPoster([](std::function<void()> call) {
        {
            std::lock_guard guard(gLoopLock);
            gLoop.push_back(std::move(call));
        }
        gPosted.notify_one();
        return true;
    });
    Options().SetFreezeSeconds(1);
    Options().SetFreezeText("repproc main loop frozen");
    Options().SetFreezeActive(true);
    RunLoopFor(std::chrono::milliseconds(300));
    // The main loop stops answering until the report is in the log (at most 20 s).
    const std::string log = ChildLogFile();
    for (int i = 0; i < 400 && ReadFile(log).find("repproc main loop frozen") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Say(reporter::FreezeReportCount() > 0 ? "FREEZE SEEN" : "NO FREEZE");
    std::fflush(nullptr);
    ::_exit(0);
});

// A program with windows, whose report dialog answers Terminate.
class TDesktop final : public reporter::IOstrelDesktop {
public:
    bool GetDisplayMode(reporter::TDisplayMode&) override { return false; }
    bool GetForegroundWindow(std::string&, std::string&) override { return false; }
};
class TTerminatingDialog final : public reporter::IOstrelReportDialog {
public:
    bool ShowReportDialog(const reporter::TReportDialogRequest& request,
                          reporter::TReportDialogChoices& choices) override {
        std::printf("DIALOG %s\n", request.ExceptionMessage.c_str());
        std::fflush(stdout);
        choices.TerminateRequested = true;
        return true;
    }
    std::string AskReproduceSteps(const reporter::TOstrelModuleOptions&,
                                  const reporter::TReportDialogChoices&, bool) override {
        return "Pressed the button twice.";
    }
    void BringAppToFront() override {}
};

void ReportWithTerminatingDialog(uint8_t terminateAction) {
    static TDesktop desktop;
    static TTerminatingDialog dialog;
    reporter::SetOstrelDesktop(&desktop);
    reporter::SetOstrelReportDialog(&dialog);
    Options().SetTerminateAction(terminateAction);
    Options().SetLogFlags(uint8_t(Options().LogFlags() | 0x02));
    ReportAndGoOn("repproc fatal failure");
}

// A program with windows whose focus is in a password field.
class TPasswordDesktop final : public reporter::IOstrelDesktop {
public:
    bool GetDisplayMode(reporter::TDisplayMode&) override { return false; }
    bool GetForegroundWindow(std::string& className, std::string& text) override {
        className = "TFormMain";
        text = "Vexa Daxo Soft";
        return true;
    }
    bool GetFocusedControl(std::string& className, std::string& text, bool& password) override {
        className = "QLineEdit";
        text = "s\xC3\xA9"
               "cret";
        password = true;
        return true;
    }
};
class TSilentDialog final : public reporter::IOstrelReportDialog {
public:
    bool ShowReportDialog(const reporter::TReportDialogRequest&, reporter::TReportDialogChoices&) override {
        return true;
    }
    std::string AskReproduceSteps(const reporter::TOstrelModuleOptions&,
                                  const reporter::TReportDialogChoices&, bool) override {
        return std::string();
    }
    void BringAppToFront() override {}
};

TChildScenario focusedPassword("focused-password", [] {
    static TPasswordDesktop desktop;
    static TSilentDialog dialog;
    StartReporterForChild();
    reporter::SetOstrelDesktop(&desktop);
    reporter::SetOstrelReportDialog(&dialog);
    ReportAndGoOn("repproc focused failure");
});

TChildScenario terminate("terminate", [] {
    StartReporterForChild();
    ReportWithTerminatingDialog(0);
});

TChildScenario restart("restart", [] {
    const std::string marker = ChildLogFile() + ".marker";
    if (FileExists(marker)) {
        std::ofstream(marker, std::ios::app) << "second run\n";
        Say("SECOND RUN");
        std::exit(0);
    }
    std::ofstream(marker) << "first run\n";
    StartReporterForChild();
    if (std::getenv("REPPROC_COPY") != nullptr)
        ReplaceOwnFile();
    ReportWithTerminatingDialog(1);
});

std::string Field(const std::string& report, const char* number) {
    return reporter::GetFieldValue(report, number);
}

TEST(Processing, AnUncaughtExceptionIsLoggedWithItsSectionsAndShownOnTheConsole) {
    TTempFolder folder;
    const TChildResult child = RunChild("uncaught", folder);
    SCOPED_TRACE(child.Output);
    EXPECT_TRUE(child.Exited);
    EXPECT_EQ(1, child.ExitCode);
    EXPECT_EQ(0, CountOf(child.Output, "NOT ENDED"));
    // A program without windows writes the message and the report to standard output, once.
    EXPECT_EQ(1, CountOf(child.Output, "repproc uncaught failure.\r\n\r\nOstrelLog "));
    EXPECT_EQ(1, CountOf(child.Output, "Call Stack Information"));
    const std::vector<std::string> reports = StoredReports(folder.LogFile());
    ASSERT_EQ(1u, reports.size());
    const std::string& report = reports[0];
    EXPECT_NE(std::string::npos, Field(report, "2.5").find("repproc uncaught failure"));
    EXPECT_NE(std::string::npos, Field(report, "2.4").find("runtime_error"));
    EXPECT_FALSE(reporter::GetReportGeneral(report).empty());
    EXPECT_FALSE(reporter::GetReportCallStack(report).empty());
    EXPECT_FALSE(reporter::GetReportModules(report).empty());
    EXPECT_FALSE(reporter::GetReportCPU(report).empty());
    EXPECT_NE(std::string::npos, reporter::GetReportCallStack(report).find("Fail"));
}

TEST(Processing, AReportIsDatedAtItsFault) {
    TTempFolder folder;
    const TChildResult child = RunChild("fault-time", folder);
    SCOPED_TRACE(child.Output);
    EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
    const std::vector<std::string> reports = StoredReports(folder.LogFile());
    ASSERT_EQ(1u, reports.size());
    EXPECT_EQ(Field(reports[0], "2.1"), reporter::GetMailDate(1000000000));
}

TEST(Processing, TheDuplicateTestKeepsARepeatedReportOutOfTheLog) {
    {
        TTempFolder folder;
        const TChildResult child = RunChild("twice", folder);
        SCOPED_TRACE(child.Output);
        EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
        EXPECT_EQ(2u, StoredReports(folder.LogFile()).size());
    }
    ::setenv("REPPROC_DUPLICATES", "1", 1);
    TTempFolder folder;
    const TChildResult child = RunChild("twice", folder);
    ::unsetenv("REPPROC_DUPLICATES");
    SCOPED_TRACE(child.Output);
    EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
    EXPECT_EQ(1u, StoredReports(folder.LogFile()).size());
}

TEST(Processing, ACaughtOrFilteredExceptionLeavesNoReport) {
    TTempFolder folder;
    const TChildResult child = RunChild("caught", folder);
    SCOPED_TRACE(child.Output);
    EXPECT_EQ(0, child.ExitCode);
    EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
    EXPECT_EQ(0, CountOf(child.Output, "failure."));
    EXPECT_FALSE(FileExists(folder.LogFile()));
}

TEST(Processing, AnExceptionEscapingAWorkerThreadIsReportedOnceAndTheProgramGoesOn) {
    TTempFolder folder;
    const TChildResult child = RunChild("worker", folder);
    SCOPED_TRACE(child.Output);
    EXPECT_EQ(0, child.ExitCode);
    EXPECT_EQ(1, CountOf(child.Output, "FATAL KEPT"));
    EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
    const std::vector<std::string> reports = StoredReports(folder.LogFile());
    ASSERT_EQ(1u, reports.size());
    EXPECT_NE(std::string::npos, Field(reports[0], "2.5").find("repproc worker failure"));
    EXPECT_NE(std::string::npos, reporter::GetReportCallStack(reports[0]).find("Execute"));
}

TEST(Processing, AFaultIsReportedAndThenEndsTheProcess) {
    TTempFolder folder;
    const TChildResult child = RunChild("segv", folder);
    SCOPED_TRACE(child.Output);
    EXPECT_TRUE(child.Signalled);
    EXPECT_EQ(SIGSEGV, child.Signal);
    EXPECT_EQ(0, CountOf(child.Output, "NOT ENDED"));
    const std::vector<std::string> reports = StoredReports(folder.LogFile());
    ASSERT_EQ(1u, reports.size());
    EXPECT_NE(std::string::npos, Field(reports[0], "2.4").find("EAccessViolation"));
}

TEST(Processing, EventHandlersAndOptionsShapeTheReport) {
    {
        // A handler that clears the continue flag: nothing shown, nothing logged.
        TTempFolder folder;
        const TChildResult child = RunChild("notify-stops", folder);
        SCOPED_TRACE(child.Output);
        EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
        EXPECT_EQ(0, CountOf(child.Output, "repproc stopped failure"));
        EXPECT_FALSE(FileExists(folder.LogFile()));
    }
    {
        TTempFolder folder;
        const TChildResult child = RunChild("reentry", folder);
        SCOPED_TRACE(child.Output);
        EXPECT_EQ(1, CountOf(child.Output, "INNER RESULT 0"));
        EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
        const std::vector<std::string> reports = StoredReports(folder.LogFile());
        ASSERT_EQ(1u, reports.size());
        EXPECT_NE(std::string::npos, Field(reports[0], "2.5").find("repproc outer failure"));
    }
    {
        TTempFolder folder;
        const TChildResult child = RunChild("report-times", folder);
        SCOPED_TRACE(child.Output);
        EXPECT_EQ(1, CountOf(child.Output, "TIMES 1\n"));
        EXPECT_EQ(3, CountOf(child.Output, "TIMES 2\n"));
        EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
    }
    {
        TTempFolder folder;
        const TChildResult child = RunChild("longer-first", folder);
        SCOPED_TRACE(child.Output);
        const std::vector<std::string> reports = StoredReports(folder.LogFile());
        ASSERT_EQ(2u, reports.size());
        EXPECT_EQ("repproc failure 1.5.", Field(reports[0], "2.5"));
        EXPECT_EQ("repproc failure 1.", Field(reports[1], "2.5"));
    }
}

TEST(Processing, TheControlFieldsTellTheFocusedControlAndHideAPassword) {
    TTempFolder folder;
    const TChildResult child = RunChild("focused-password", folder);
    SCOPED_TRACE(child.Output);
    EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
    const std::vector<std::string> reports = StoredReports(folder.LogFile());
    ASSERT_EQ(1u, reports.size());
    EXPECT_EQ("TFormMain", Field(reports[0], "3.1"));
    EXPECT_EQ("Vexa Daxo Soft", Field(reports[0], "3.2"));
    EXPECT_EQ("QLineEdit", Field(reports[0], "3.3"));
    EXPECT_EQ("******", Field(reports[0], "3.4")); // one star per character
    EXPECT_EQ(std::string::npos, reports[0].find("cret"));
}

TEST(Processing, SafeCallReportsAreNotRepeatedAndTheOptionsNeedAStartedReporter) {
    TTempFolder folder;
    const TChildResult child = RunChild("safe-call", folder);
    SCOPED_TRACE(child.Output);
    EXPECT_EQ(1, CountOf(child.Output, "\r\nCannot use 'CurrentOstrelLogOptions' function without activate "
                                       "OstrelLog. "));
    EXPECT_EQ(0, CountOf(child.Output, "OPTIONS BEFORE START"));
    EXPECT_EQ(1, CountOf(child.Output, "OPTIONS AFTER START"));
    EXPECT_EQ(1, CountOf(child.Output, "MARKED RESULT 0"));
    EXPECT_EQ(1, CountOf(child.Output, "AGAIN RESULT 0"));
    EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
    const std::vector<std::string> reports = StoredReports(folder.LogFile());
    ASSERT_EQ(1u, reports.size());
    EXPECT_NE(std::string::npos, Field(reports[0], "2.5").find("repproc safe-call failure"));
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        ::closedir(dir);
    }
    return names;
}

TEST(Processing, TheLogIsTheProgramsWhereverTheFaultLies) {
    struct TPlace {
        const char* Scenario;
        int Signal;
        const char* Type;
        const char* FaultModule; // the module of the call stack's first row
    };
    for (const TPlace& place : {TPlace{"program-fault", SIGSEGV, "EAccessViolation", "test_repproc"},
                                TPlace{"libc-fault", SIGSEGV, "EAccessViolation", "libc.so.6"},
                                TPlace{"libc-abort", SIGABRT, "", "libc.so.6"},
                                TPlace{"library-fault", SIGSEGV, "EAccessViolation", "vdrepprocfault"}}) {
        SCOPED_TRACE(place.Scenario);
        TTempFolder folder;
        const TChildResult child = RunChild(place.Scenario, folder);
        SCOPED_TRACE(child.Output);
        EXPECT_TRUE(child.Signalled);
        EXPECT_EQ(place.Signal, child.Signal);
        EXPECT_EQ(0, CountOf(child.Output, "NOT ENDED"));
        // One file only, named after the program, whatever module held the fault address.
        EXPECT_EQ(std::vector<std::string>{"test_repproc.olf"}, FilesIn(folder.Path()));
        const std::vector<std::string> reports = StoredReports(folder.Path() + "/test_repproc.olf");
        ASSERT_EQ(1u, reports.size());
        EXPECT_NE(std::string::npos, Field(reports[0], "2.4").find(place.Type));
        // The faulting frame is the table's first row, also in a routine of no export (strlen's own).
        const std::string stack = reporter::GetReportCallStack(reports[0]);
        std::smatch row;
        ASSERT_TRUE(std::regex_search(stack, row, std::regex("\\|[0-9A-F]{16}\\|[^|]*"))) << stack;
        EXPECT_NE(row.str().find(place.FaultModule), std::string::npos) << stack;
    }
}

// The frames of a call that passes through a library's static routine: the event handler gets every
// one with its kind (the library's static routine as its module and offset, its export by name, the
// program's routines from their debug data); the report text shows the library's frames only where its
// columns show exported names.
TEST(Processing, EventHandlersGetEveryFrameTheWalkFinds) {
    for (const bool debugRowsOnly : {false, true}) {
        SCOPED_TRACE(debugRowsOnly ? "debug data rows only" : "exported names shown");
        TTempFolder folder;
        if (debugRowsOnly)
            ::setenv("REPPROC_DEBUG_ROWS_ONLY", "1", 1);
        const TChildResult child = RunChild("callback-fault", folder);
        ::unsetenv("REPPROC_DEBUG_ROWS_ONLY");
        SCOPED_TRACE(child.Output);
        EXPECT_EQ(SIGSEGV, child.Signal);
        EXPECT_EQ(0, CountOf(child.Output, "NOT ENDED"));
        const std::string library = std::filesystem::path(REPPROC_CALLBACK_LIBRARY).filename().string();
        // In the order of the stack: the faulting routine, the static routine, the export, the caller.
        const std::regex frames("FRAME 4 test_repproc .*CalledBackFault\n(FRAME .*\n)*"
                                "FRAME 1 " +
                                library +
                                " RELAY\n(FRAME .*\n)*"
                                "FRAME 2 " +
                                library +
                                " repproc_call_back\n(FRAME .*\n)*"
                                "FRAME 4 test_repproc .*\n");
        EXPECT_TRUE(std::regex_search(child.Output, frames));
        const std::vector<std::string> reports = StoredReports(folder.Path() + "/test_repproc.olf");
        ASSERT_EQ(1u, reports.size());
        const std::string stack = reporter::GetReportCallStack(reports[0]);
        EXPECT_NE(stack.find("CalledBackFault"), std::string::npos) << stack;
        EXPECT_EQ(stack.find("repproc_call_back") != std::string::npos, !debugRowsOnly) << stack;
        EXPECT_EQ(std::regex_search(stack, std::regex(library.substr(0, library.find('.')) + "[^\\r]*\\+0x")),
                  !debugRowsOnly)
            << stack;
    }
}

// A copy of this binary in a folder of its own, which the child may replace or delete.
std::string CopyOfThisProgram(const TTempFolder& folder) {
    const std::string copy = folder.Path() + "/vdcopy";
    std::error_code error;
    std::filesystem::copy_file("/proc/self/exe", copy, error);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all, error);
    return copy;
}

TEST(Processing, AProgramReplacedOnDiskReportsUnderItsOwnNameWithItsOwnRoutines) {
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "replaced" : "deleted");
        TTempFolder program;
        TTempFolder folder;
        if (replaced)
            ::setenv("REPPROC_REPLACE", "1", 1);
        const TChildResult child = RunChildOf(CopyOfThisProgram(program), "replaced-fault", folder);
        ::unsetenv("REPPROC_REPLACE");
        SCOPED_TRACE(child.Output);
        EXPECT_EQ(SIGSEGV, child.Signal);
        EXPECT_EQ(0, CountOf(child.Output, "NOT "));
        ASSERT_EQ(std::vector<std::string>{"vdcopy.olf"}, FilesIn(folder.Path()));
        const std::vector<std::string> reports = StoredReports(folder.Path() + "/vdcopy.olf");
        ASSERT_EQ(1u, reports.size());
        EXPECT_NE(std::string::npos, reporter::GetReportCallStack(reports[0]).find("ReplacedProgramFault"));
        EXPECT_EQ(std::string::npos, reports[0].find("(deleted)"));
    }
}

TEST(Processing, TheMailedXMLLogHoldsTheReport) {
    TTempFolder folder;
    repsend::TPeer sink("smtp");
    ::setenv("REPPROC_SMTP_PORT", std::to_string(sink.Port()).c_str(), 1);
    const TChildResult child = RunChild("xml-mail", folder);
    ::unsetenv("REPPROC_SMTP_PORT");
    SCOPED_TRACE(child.Output);
    EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
    const std::string xml = sink.WaitForFile("message-1/att-reports.xml");
    EXPECT_TRUE(xml.starts_with("<Log Version=\"")) << xml;
    EXPECT_NE(std::string::npos, xml.find("repproc mailed failure"));
    EXPECT_NE(std::string::npos, xml.find("ReportCaught"));
}

// A log written by another version of the program, older or newer, starts anew; one of this version
// goes on.
TEST(Processing, TheLogStartsAnewWhenTheProgramVersionChangesEitherWay) {
    const std::string version = REPPROC_VERSION;
    ASSERT_FALSE(version.empty());
    for (const auto& [stored, expected] :
         std::vector<std::pair<std::string, size_t>>{{"0.0.0.1", 1u}, {"99.0.0.0", 1u}, {version, 2u}}) {
        SCOPED_TRACE(stored);
        TTempFolder folder;
        RunChild("version-clear", folder);
        std::string log = ReadFile(folder.LogFile());
        const std::string field = "1.3 Version Number  : " + version + "\r\n";
        const size_t at = log.find(field);
        ASSERT_NE(at, std::string::npos) << log.substr(0, 400);
        log.replace(at, field.size(), "1.3 Version Number  : " + stored + "\r\n");
        std::ofstream(folder.LogFile(), std::ios::binary | std::ios::trunc) << log;
        ASSERT_EQ(StoredReports(folder.LogFile()).size(), 1u);

        const TChildResult child = RunChild("version-clear", folder);
        SCOPED_TRACE(child.Output);
        EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
        const std::vector<std::string> reports = StoredReports(folder.LogFile());
        ASSERT_EQ(reports.size(), expected);
        EXPECT_EQ(Field(reports.back(), "1.3"), version);
    }
}

TEST(Processing, TheCallStackTextShowsEveryThreadUnderItsOwnHeader) {
    TTempFolder folder;
    const TChildResult child = RunChild("two-threads", folder);
    SCOPED_TRACE(child.Output);
    EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
    const std::vector<std::string> reports = StoredReports(folder.LogFile());
    ASSERT_EQ(1u, reports.size());
    const std::string stack = reporter::GetReportCallStack(reports[0]);
    const size_t exception = stack.find("| Exception Thread: ID=");
    const size_t running = stack.find("| Running Thread: ID=");
    ASSERT_NE(exception, std::string::npos) << stack;
    ASSERT_NE(running, std::string::npos) << stack;
    EXPECT_LT(exception, running);
    // Each thread's own routines stand under its own header.
    const size_t fail = stack.find("ReportCaught");
    const size_t waits = stack.find("RepprocSecondThreadWaits");
    EXPECT_TRUE(fail > exception && fail < running) << stack;
    EXPECT_TRUE(waits != std::string::npos && waits > running) << stack;
}

TEST(Processing, AFileSizeLimitKeepsTheOldLogAndTheProgramGoesOn) {
    TTempFolder folder;
    const TChildResult child = RunChild("file-size-limit", folder);
    SCOPED_TRACE(child.Output);
    EXPECT_TRUE(child.Exited);
    EXPECT_EQ(0, CountOf(child.Output, "NO LIMIT"));
    EXPECT_EQ(1, CountOf(child.Output, "DEFAULT ACTION"));
    EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
    EXPECT_EQ(std::vector<std::string>{"reports.olf"}, FilesIn(folder.Path()));
    const std::vector<std::string> reports = StoredReports(folder.LogFile());
    ASSERT_EQ(1u, reports.size());
    EXPECT_NE(std::string::npos, Field(reports[0], "2.5").find("repproc first failure"));
}

TEST(Processing, AMainLoopThatStopsAnsweringIsReportedAsFrozen) {
    TTempFolder folder;
    const TChildResult child = RunChild("freeze", folder);
    SCOPED_TRACE(child.Output);
    EXPECT_EQ(1, CountOf(child.Output, "FREEZE SEEN"));
    const std::vector<std::string> reports = StoredReports(folder.LogFile());
    ASSERT_FALSE(reports.empty());
    EXPECT_NE(std::string::npos, Field(reports[0], "2.4").find("EFrozenApplication"));
    EXPECT_NE(std::string::npos, Field(reports[0], "2.5").find("repproc main loop frozen"));
}

TEST(Processing, TerminateFromTheDialogEndsTheProgramAfterTheLog) {
    TTempFolder folder;
    const TChildResult child = RunChild("terminate", folder);
    SCOPED_TRACE(child.Output);
    EXPECT_TRUE(child.Exited);
    EXPECT_EQ(1, child.ExitCode);
    EXPECT_EQ(1, CountOf(child.Output, "DIALOG repproc fatal failure."));
    EXPECT_EQ(0, CountOf(child.Output, "SURVIVED"));
    const std::vector<std::string> reports = StoredReports(folder.LogFile());
    ASSERT_EQ(1u, reports.size());
    // The steps the user gave went into the report.
    EXPECT_NE(std::string::npos, reports[0].find("Pressed the button twice."));
}

TEST(Processing, RestartStartsTheProgramAgainBeforeEnding) {
    // Also when the program's file was deleted since its start: the running one starts again.
    for (const bool deleted : {false, true}) {
        SCOPED_TRACE(deleted ? "deleted" : "in place");
        TTempFolder program;
        TTempFolder folder;
        if (deleted)
            ::setenv("REPPROC_COPY", "1", 1);
        const TChildResult child =
            deleted ? RunChildOf(CopyOfThisProgram(program), "restart", folder) : RunChild("restart", folder);
        ::unsetenv("REPPROC_COPY");
        SCOPED_TRACE(child.Output);
        EXPECT_EQ(1, child.ExitCode);
        EXPECT_EQ(0, CountOf(child.Output, "SURVIVED"));
        // The output pipe stays open until the restarted program has ended too.
        EXPECT_EQ(1, CountOf(child.Output, "SECOND RUN"));
        EXPECT_EQ("first run\nsecond run\n", ReadFile(folder.LogFile() + ".marker"));
    }
}

TEST(ProcessingDecisions, DialogTypeShowAndSendFollowTheOptions) {
    // No windowing side here: a console program.
    EXPECT_EQ(1, reporter::GetDialogType(0));
    EXPECT_EQ(1, reporter::GetDialogType(1));
    EXPECT_EQ(2, reporter::GetDialogType(2));
    EXPECT_EQ(0, reporter::GetDialogType(7));

    reporter::TOstrelModuleOptions options("", false);
    options.SetDefaults();
    reporter::TReportDecision decision;
    decision.DialogType = 1;
    // Nothing to send with: only a dialog makes the report worth saving.
    EXPECT_FALSE(reporter::CanShowOrSend(options, decision));
    EXPECT_TRUE(reporter::ShouldSave(options, decision));
    options.SetMailSendMode(1);
    EXPECT_FALSE(reporter::CanShowOrSend(options, decision)); // the dialog asks first
    decision.SendState = true;
    EXPECT_TRUE(reporter::CanShowOrSend(options, decision));
    decision.Duplicate = true;
    EXPECT_FALSE(reporter::CanShowOrSend(options, decision));
    decision.Duplicate = false;
    decision.SendState = false;
    options.SetDialogFlags(0);
    EXPECT_TRUE(reporter::CanShowOrSend(options, decision)); // no dialog to ask
    options.SetSendFlags(0);
    options.SetMailSendMode(0);
    EXPECT_FALSE(reporter::ShouldSave(options, decision));

    EXPECT_EQ("a b\r\nc  d", reporter::CleanExceptionMessage("a\tb\r\nc\x01\x1f"
                                                             "d"));
}

} // namespace
