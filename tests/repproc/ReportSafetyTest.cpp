// A report never holds the program up: faults while the faulting thread holds the loader's lock, a fault
// in a forked child (which has no report thread), and an event handler that faults itself.
#include "RepprocTools.h"

#include "ExceptionLog.h"
#include "OEvents.h"
#include "OOptions.h"
#include "classlib/Thread.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>
#include <poll.h>
#include <stdexcept>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

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

} // namespace
