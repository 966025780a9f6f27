// Start-up and shut-down: the sections, the run-once counters, and everything installed put back.
#include "RephooksTools.h"

#include "ExceptionLog.h"
#include "OReporterState.h"
#include "OSignals.h"

#include <csignal>
#include <dlfcn.h>
#include <exception>
#include <gtest/gtest.h>
#include <pthread.h>

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
