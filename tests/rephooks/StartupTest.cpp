// Start-up and shut-down: the sections, the run-once counters, and everything installed put back.
#include "RephooksTools.h"

#include "ExceptionLog.h"
#include "OReporterState.h"
#include "OSignals.h"

#include <csignal>
#include <cstdio>
#include <dlfcn.h>
#include <exception>
#include <fstream>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace rephooks;

// The program's import slot of pthread_create, as every call of the program reads it.
[[gnu::noinline]] uintptr_t ProgramPthreadCreate() {
    uintptr_t (*volatile read)() = [] { return reinterpret_cast<uintptr_t>(&pthread_create); };
    return read();
}

void OwnSegvHandler(int) {}
void OwnTerminate() {
    std::abort();
}

void Failing() {
    throw std::runtime_error("boom");
}
void FailingOddly() {
    throw 42;
}

std::string gHandled;
void RecordError(const std::string& text) {
    gHandled = text;
}

TEST(Startup, EverythingTheStartInstalledIsPutBackAtTheEnd) {
    struct sigaction own {};
    own.sa_handler = OwnSegvHandler;
    sigemptyset(&own.sa_mask);
    struct sigaction saved {};
    ASSERT_EQ(0, sigaction(SIGSEGV, &own, &saved));
    const std::terminate_handler savedTerminate = std::set_terminate(OwnTerminate);
    const uintptr_t real = reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, "pthread_create"));
    ASSERT_EQ(real, ProgramPthreadCreate());

    ASSERT_TRUE(reporter::StartOstrelLog());
    EXPECT_TRUE(reporter::ReporterStarted());
    EXPECT_FALSE(reporter::StillInitialising());
    EXPECT_NE(real, ProgramPthreadCreate());
    EXPECT_NE(OwnTerminate, std::get_terminate());
    struct sigaction during {};
    sigaction(SIGSEGV, nullptr, &during);
    EXPECT_TRUE(during.sa_flags & SA_SIGINFO);
    EXPECT_TRUE(during.sa_flags & SA_ONSTACK);
    stack_t alternate{};
    sigaltstack(nullptr, &alternate);
    EXPECT_FALSE(alternate.ss_flags & SS_DISABLE);

    // A second start and its stop change nothing: only the outermost pair acts.
    EXPECT_TRUE(reporter::StartOstrelLog());
    reporter::StopOstrelLog();
    EXPECT_TRUE(reporter::ReporterStarted());

    reporter::StopOstrelLog();
    EXPECT_FALSE(reporter::ReporterStarted());
    EXPECT_FALSE(reporter::HooksEnabled());
    EXPECT_EQ(real, ProgramPthreadCreate());
    EXPECT_EQ(OwnTerminate, std::get_terminate());
    struct sigaction after {};
    sigaction(SIGSEGV, nullptr, &after);
    EXPECT_EQ(OwnSegvHandler, after.sa_handler);
    EXPECT_FALSE(after.sa_flags & SA_SIGINFO);
    sigaltstack(nullptr, &alternate);
    EXPECT_TRUE(alternate.ss_flags & SS_DISABLE);
    reporter::StopOstrelLog(); // unbalanced: nothing happens

    std::set_terminate(savedTerminate);
    sigaction(SIGSEGV, &saved, nullptr);
}

// A start that cannot create the thread that reports faults (no address space left for its stack)
// fails, and leaves nothing of what it had installed by then.
TChildScenario startWithoutThreads("start-without-threads", [] {
    struct sigaction own {};
    own.sa_handler = OwnSegvHandler;
    sigemptyset(&own.sa_mask);
    sigaction(SIGSEGV, &own, nullptr);
    std::set_terminate(OwnTerminate);
    const uintptr_t real = ProgramPthreadCreate();
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    // Room for small allocations, none for a thread's stack.
    const rlim_t room = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + (4u << 20);
    const rlimit limit{room, room};
    if (pages == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0) {
        std::printf("NO LIMIT\n");
        return;
    }
    const bool started = reporter::StartOstrelLog();
    struct sigaction after {};
    sigaction(SIGSEGV, nullptr, &after);
    std::printf("started=%d reporter=%d hooks=%d slot=%d terminate=%d segv=%d\n", started,
                reporter::ReporterStarted(), reporter::HooksEnabled(), ProgramPthreadCreate() == real,
                std::get_terminate() == OwnTerminate, after.sa_handler == OwnSegvHandler);
    // A later start and stop pair works as usual.
    std::fflush(stdout);
});

TEST(Startup, AFailedStartLeavesTheReporterFullyOff) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer's shadow memory needs more address space than the limit leaves";
#endif
    const TChildResult child = RunChild("start-without-threads");
    EXPECT_NE(std::string::npos, child.Output.find("started=0 reporter=0 hooks=0 slot=1 terminate=1 segv=1"))
        << child.Output;
    // The failure is said, with the section's name.
    EXPECT_NE(std::string::npos, child.Output.find("ExceptionLog.Init")) << child.Output;
}

TEST(Startup, AFailingSectionRaisesACriticalErrorOrGoesToTheInternalErrorHandler) {
    const auto previous = reporter::SetInternalErrorHandler(nullptr);
    try {
        reporter::ProtectedSectionCall(Failing, "OCore.Init");
        ADD_FAILURE() << "no exception";
    } catch (const reporter::Exception& e) {
        EXPECT_EQ("Critical error at: \"OCore.Init\"\r\nError: \"boom\".", e.Message());
    }
    try {
        reporter::ProtectedSectionCall(FailingOddly, "OHook.Init");
        ADD_FAILURE() << "no exception";
    } catch (const reporter::Exception& e) {
        EXPECT_EQ("Critical error at: \"OHook.Init\"\r\nError: \"General internal error.\".", e.Message());
    }

    reporter::SetInternalErrorHandler(RecordError);
    EXPECT_THROW(reporter::ProtectedSectionCall(Failing, "ExceptionLog.Init"), reporter::EAbort);
    char address[17];
    std::snprintf(address, sizeof address, "%016llX",
                  (unsigned long long)reinterpret_cast<uintptr_t>(&Failing));
    EXPECT_EQ(std::string("ExceptionLog.Init (Address: ") + address + ")", gHandled);
    reporter::SetInternalErrorHandler(previous);
}

} // namespace
