// A report never holds the program up: faults while the faulting thread holds the loader's lock, a fault
// in a forked child (which has no report thread), and an event handler that faults itself. A report that
// takes long but gets on is never given up (an event handler slower than the stall bound, 100 busy
// threads, a fault inside printf holding standard output's lock, another process holding the log's lock,
// a web server reading a CGI program's answer late); one that truly stands still (an event handler too)
// ends the process with its line on standard error.
#include "RepprocTools.h"

#include "ExceptionLog.h"
#include "ODesktop.h"
#include "OEvents.h"
#include "OOptions.h"
#include "OReportLock.h"
#include "OReportProgress.h"
#include "classlib/Thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <link.h>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace repproc;

void Say(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

[[gnu::noinline]] void NullStore() {
    volatile int* volatile target = reinterpret_cast<int*>(16);
    *target = 1;
}

// What a faulting thread writes when it gives its report up.
constexpr const char* AbandonedLine = "the exception report made no progress and was abandoned";
// The stall bound of the children that test around it: short, so that waiting past it costs little, yet
// long enough that a healthy report on a loaded machine is never without progress that long.
constexpr int ShortStallMs = 2000;
// How long the others a report waits for take: well past the short bound.
constexpr int PastTheBoundMs = ShortStallMs * 3 / 2;
// How long the children wait for the program's own event handler: past what a slow one takes.
constexpr int ShortProgramWaitMs = ShortStallMs * 2;

// The report needs the lock the faulting thread holds: nothing can happen any more.
TChildScenario standingStill("standing-still", [] {
    StartReporterForChild();
    reporter::SetReportStallLimitMs(ShortStallMs);
    std::lock_guard lock(reporter::ReportLock());
    NullStore();
});

// The report stands still for less than its bound (another thread holds the report lock for a while)
// and then goes on.
TChildScenario briefStandstill("brief-standstill", [] {
    StartReporterForChild();
    reporter::SetReportStallLimitMs(ShortStallMs);
    std::promise<void> held;
    std::thread holder([&] {
        std::lock_guard lock(reporter::ReportLock());
        held.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(ShortStallMs * 2 / 5));
    });
    if (held.get_future().wait_for(std::chrono::seconds(20)) != std::future_status::ready)
        std::exit(3);
    holder.detach();
    NullStore();
});

// A fault inside printf: the thread holds standard output's lock while the report is written to it.
TChildScenario faultInPrintf("fault-in-printf", [] {
    StartReporterForChild();
    const char* volatile bad = reinterpret_cast<const char*>(16);
    // Not "%s\n" alone: that becomes puts, which measures the text before it takes the lock.
    std::printf("text: %s\n", bad);
    Say("NOT ENDED");
});

// Standard output goes into a pipe that a reader empties only after a while (a pager; a web server
// passing a CGI program's answer on to a slow client). The pipe is full already when full is true.
void OutputToSlowReader(bool full) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0 || ::fcntl(pipe[1], F_SETPIPE_SZ, 4096) < 0)
        std::exit(3);
    const int output = ::dup(STDOUT_FILENO);
    if (output < 0 || ::dup2(pipe[1], STDOUT_FILENO) < 0)
        std::exit(3);
    std::thread([reader = pipe[0], output] {
        std::this_thread::sleep_for(std::chrono::milliseconds(PastTheBoundMs));
        char buffer[4096];
        for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;)
            if (::write(output, buffer, size_t(n)) != n)
                return;
    }).detach();
    if (full) {
        const std::string before(4096, '.');
        if (::write(STDOUT_FILENO, before.data(), before.size()) != ssize_t(before.size()))
            std::exit(3);
    }
}

// A console program whose output goes to a reader that takes its time (a pager): the report waits for it.
// What the program wrote before the fault, still in the stream's buffer, comes before the report.
TChildScenario slowConsoleReader("slow-console-reader", [] {
    StartReporterForChild();
    reporter::SetReportStallLimitMs(ShortStallMs);
    OutputToSlowReader(false);
    std::printf("written before the fault\n");
    NullStore();
});

// A CGI program whose answer so far fills the pipe to its web server: the error page waits for the
// server to read on.
TChildScenario slowCgiReader("slow-cgi-reader", [] {
    ::setenv("REQUEST_METHOD", "GET", 1);
    StartReporterForChild();
    reporter::SetReportStallLimitMs(ShortStallMs);
    OutputToSlowReader(true);
    NullStore();
});

// Another process (a second instance saving its own report) holds the log's lock for longer than the
// stall bound: the report waits for it, as it waits for any other program.
TChildScenario logLockedByAnother("log-locked-by-another", [] {
    StartReporterForChild();
    reporter::SetReportStallLimitMs(ShortStallMs);
    int held[2];
    if (::pipe(held) != 0)
        std::exit(3);
    const pid_t holder = ::fork();
    if (holder == 0) {
        const int fd = ::open(ChildLogFile().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
            ::_exit(3);
        if (::write(held[1], "h", 1) != 1)
            ::_exit(3);
        ::usleep(PastTheBoundMs * 1000);
        ::_exit(0);
    }
    char answer = 0;
    if (holder < 0 || ::read(held[0], &answer, 1) != 1)
        std::exit(3);
    NullStore();
});

// An event handler of the program that takes longer than the stall bound during a fault's report.
TChildScenario slowHandler("slow-handler", [] {
    StartReporterForChild();
    reporter::SetReportStallLimitMs(ShortStallMs);
    reporter::SetProgramWaitLimitMs(ShortProgramWaitMs);
    reporter::GlobalEvents().ExceptionNotify = [](const reporter::TOstrelExceptionRecord&, bool&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(PastTheBoundMs));
    };
    NullStore();
});

// The program's event handler needs a lock of the program's that the faulting thread holds (its own log,
// say): the handler never returns, and past the bound of the program's code the report stands still.
std::mutex gProgramLock;
TChildScenario handlerNeedsFaultingLock("handler-needs-faulting-lock", [] {
    StartReporterForChild();
    reporter::SetReportStallLimitMs(ShortStallMs);
    reporter::SetProgramWaitLimitMs(ShortProgramWaitMs);
    reporter::GlobalEvents().ExceptionNotify = [](const reporter::TOstrelExceptionRecord&, bool&) {
        const std::lock_guard lock(gProgramLock);
    };
    const std::lock_guard lock(gProgramLock);
    NullStore();
});

// The toolkit side of a program whose GUI thread does not take up the report's questions within their
// bound (or, answering, has no control with the focus).
class TDesktopOfBusyGui final : public reporter::IOstrelDesktop {
public:
    explicit TDesktopOfBusyGui(bool answers) : m_answers(answers) {}
    bool GetDisplayMode(reporter::TDisplayMode&) override { return Answer(); }
    bool GetForegroundWindow(std::string&, std::string&) override { return Answer(); }
    bool GetFocusedControl(std::string&, std::string&, bool&) override { return Answer(); }

private:
    bool Answer() const {
        if (!m_answers)
            reporter::NoteGuiThreadSilent();
        return false;
    }
    bool m_answers;
};

void FaultBesideGui(bool answers) {
    StartReporterForChild();
    reporter::CurrentOptions()->SetDialogFlags(0);
    static TDesktopOfBusyGui desktop(answers);
    reporter::SetOstrelDesktop(&desktop);
    // An earlier call that went unanswered (a report before this one) is no part of this report.
    reporter::NoteGuiThreadSilent();
    NullStore();
}

TChildScenario guiSilent("gui-silent", [] { FaultBesideGui(false); });
TChildScenario guiWithoutFocus("gui-without-focus", [] { FaultBesideGui(true); });

std::atomic<bool> gSpin{true};
std::mutex gSpinningLock;
std::condition_variable gSpinningChanged;
int gSpinning = 0;

[[gnu::noinline]] void SpinUntilTheEnd() {
    {
        std::lock_guard guard(gSpinningLock);
        ++gSpinning;
    }
    gSpinningChanged.notify_one();
    volatile uint64_t turns = 0;
    while (gSpin.load(std::memory_order_relaxed))
        turns = turns + 1;
}

// A fault while 100 threads keep every processor busy: each of them is parked for its stack. The report
// gets a small share of the processors: the bound is the program's own. Under the race checker each
// walked frame costs some twenty times as much: 20 threads there keep the child within its time.
#if defined(__SANITIZE_THREAD__)
constexpr int BusyThreads = 20;
#else
constexpr int BusyThreads = 100;
#endif

TChildScenario busyThreads("busy-threads", [] {
    StartReporterForChild();
    std::vector<std::thread> threads;
    for (int i = 0; i < BusyThreads; ++i)
        threads.emplace_back(SpinUntilTheEnd);
    std::unique_lock guard(gSpinningLock);
    if (!gSpinningChanged.wait_for(guard, std::chrono::seconds(20), [] { return gSpinning == BusyThreads; }))
        std::exit(3);
    guard.unlock();
    NullStore();
});

TChildScenario constructorFault("ctor-fault", [] {
    StartReporterForChild();
    ::dlopen(REPPROC_CTOR_FAULT_LIBRARY, RTLD_NOW);
    Say("NOT ENDED");
});

TChildScenario callbackFault("phdr-callback-fault", [] {
    StartReporterForChild();
    dl_iterate_phdr(
        [](dl_phdr_info*, size_t, void*) {
            NullStore();
            return 1;
        },
        nullptr);
    Say("NOT ENDED");
});

// The forked child faults; the parent waits for it with a deadline and tells how it ended.
TChildScenario forkedFault("forked-fault", [] {
    StartReporterForChild();
    const pid_t child = ::fork();
    if (child == 0) {
        NullStore();
        ::_exit(0);
    }
    const int handle = int(::syscall(SYS_pidfd_open, child, 0));
    pollfd ended{handle, POLLIN, 0};
    if (child < 0 || handle < 0 || ::poll(&ended, 1, 15000) != 1) {
        Say("CHILD HANGS");
        ::kill(child, SIGKILL);
        std::exit(2);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    Say(WIFSIGNALED(status) ? "CHILD SIGNAL " + std::to_string(WTERMSIG(status)) : "CHILD EXITED");
    std::exit(0);
});

class TFailingWorker final : public TThread {
public:
    TFailingWorker() : TThread(true) {}

protected:
    void Execute() override { throw std::runtime_error("repproc handled worker failure"); }
};

TChildScenario faultingHandler("faulting-handler", [] {
    StartReporterForChild();
    SetThreadExceptionHook(
        [](TThread*, const std::exception_ptr& error) { reporter::ExceptionManagerFor(error, 0); });
    reporter::GlobalEvents().ExceptionNotify = [](const reporter::TOstrelExceptionRecord&, bool&) {
        NullStore();
    };
    TThreadPtr<TFailingWorker> thread(TThread::Create<TFailingWorker>());
    thread->Start();
    thread->WaitFor();
    Say("SURVIVED");
    std::exit(0);
});

TEST(ReportSafety, AFaultInsideTheLoaderEndsTheProgramWithItsReport) {
    for (const char* scenario : {"ctor-fault", "phdr-callback-fault"}) {
        SCOPED_TRACE(scenario);
        TTempFolder folder;
        const auto start = std::chrono::steady_clock::now();
        const TChildResult child = RunChild(scenario, folder);
        SCOPED_TRACE(child.Output);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        EXPECT_TRUE(child.Signalled);
        EXPECT_EQ(SIGSEGV, child.Signal);
        const std::vector<std::string> reports = StoredReports(folder.LogFile());
        ASSERT_EQ(1u, reports.size());
        EXPECT_NE(std::string::npos, reports[0].find("EAccessViolation"));
    }
}

TEST(ReportSafety, AForkedChildsFaultEndsTheChild) {
    TTempFolder folder;
    const TChildResult child = RunChild("forked-fault", folder);
    SCOPED_TRACE(child.Output);
    EXPECT_EQ(0, child.ExitCode);
    EXPECT_EQ(1, CountOf(child.Output, "CHILD SIGNAL " + std::to_string(SIGSEGV)));
    // The child's fault went straight to its end: it never waited for a report thread it does not have
    // (which it would give up only when that report stood still, and say so).
    EXPECT_EQ(0, CountOf(child.Output, AbandonedLine));
    EXPECT_TRUE(StoredReports(folder.LogFile()).empty());
}

TEST(ReportSafety, AHandlerThatFaultsLeavesTheReportAndTheProgramGoingOn) {
    TTempFolder folder;
    const TChildResult child = RunChild("faulting-handler", folder);
    SCOPED_TRACE(child.Output);
    EXPECT_EQ(0, child.ExitCode);
    EXPECT_EQ(1, CountOf(child.Output, "SURVIVED"));
    const std::vector<std::string> reports = StoredReports(folder.LogFile());
    ASSERT_EQ(1u, reports.size());
    EXPECT_NE(std::string::npos, reports[0].find("repproc handled worker failure"));
}

// Reports that take long but get on: each is completed, with its log, and the fault then ends the
// process as it would have.
TEST(ReportSafety, AReportThatTakesLongButGetsOnIsCompleted) {
    struct TCase {
        const char* Scenario;
        const char* InOutput; // what the output holds up to the console report, or nullptr
    };
    for (const TCase& c : {TCase{"slow-handler", nullptr}, TCase{"busy-threads", nullptr},
                           TCase{"brief-standstill", nullptr}, TCase{"fault-in-printf", "Access violation"},
                           TCase{"slow-console-reader", "written before the fault"},
                           TCase{"log-locked-by-another", nullptr}, TCase{"slow-cgi-reader", nullptr}}) {
        SCOPED_TRACE(c.Scenario);
        TTempFolder folder;
        const TChildResult child = RunChild(c.Scenario, folder);
        SCOPED_TRACE(child.Output);
        EXPECT_TRUE(child.Signalled);
        EXPECT_EQ(SIGSEGV, child.Signal);
        EXPECT_EQ(0, CountOf(child.Output, AbandonedLine));
        EXPECT_EQ(0, CountOf(child.Output, "NOT ENDED"));
        const std::vector<std::string> reports = StoredReports(folder.LogFile());
        ASSERT_EQ(1u, reports.size());
        EXPECT_NE(std::string::npos, reports[0].find("EAccessViolation"));
        if (c.InOutput !=
            nullptr) { // the console report after it, though the faulting thread holds the stream
            const size_t at = child.Output.find(c.InOutput);
            EXPECT_NE(std::string::npos, at);
            EXPECT_NE(std::string::npos, child.Output.find("Access violation", at));
        }
        if (std::string(c.Scenario) == "busy-threads") { // every busy thread's stack is in it
            EXPECT_LE(BusyThreads, CountOf(reports[0], "Running Thread: ID="));
        }
    }
}

TEST(ReportSafety, AReportGoesOnWithoutAnAnswerTheGuiThreadDidNotGiveAndSaysSo) {
    for (const bool answers : {false, true}) {
        SCOPED_TRACE(answers ? "answers" : "silent");
        TTempFolder folder;
        const TChildResult child = RunChild(answers ? "gui-without-focus" : "gui-silent", folder);
        SCOPED_TRACE(child.Output);
        EXPECT_EQ(SIGSEGV, child.Signal);
        const std::vector<std::string> reports = StoredReports(folder.LogFile());
        ASSERT_EQ(1u, reports.size());
        EXPECT_EQ(answers ? 0 : 1, CountOf(reports[0], reporter::GuiThreadSilentText));
    }
}

TEST(ReportSafety, AReportThatStandsStillEndsTheProcessAndSaysSo) {
    for (const char* scenario : {"standing-still", "handler-needs-faulting-lock"}) {
        SCOPED_TRACE(scenario);
        TTempFolder folder;
        const TChildResult child = RunChild(scenario, folder);
        SCOPED_TRACE(child.Output);
        EXPECT_TRUE(child.Signalled);
        EXPECT_EQ(SIGSEGV, child.Signal);
        EXPECT_EQ(1, CountOf(child.Output, AbandonedLine));
        EXPECT_TRUE(StoredReports(folder.LogFile()).empty());
    }
}

} // namespace
