// Fault signals in children: reported through the relay thread (a stack overflow too, thanks to the
// alternate stack), then passed on to the action that was there before.
#include "RephooksTools.h"

#include "ExceptionLog.h"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace rephooks;

void StartForChild() {
    reporter::StartOstrelLog();
    static TRecordingProcessor processor(true);
}

void PreviousHandler(int, siginfo_t*, void*) {
    const char text[] = "PREVIOUS HANDLER\n";
    if (::write(STDOUT_FILENO, text, sizeof text - 1) < 0)
        ::_exit(43);
    ::_exit(42);
}

volatile int gDepth = 0;

[[gnu::noinline]] int Recurse(int level) {
    volatile char frame[512];
    frame[0] = char(level);
    gDepth = level;
    if (gDepth < 0)
        return 0;
    return Recurse(level + 1) + frame[0];
}

TChildScenario overflow("overflow", [] {
    struct sigaction previous {};
    previous.sa_sigaction = PreviousHandler;
    previous.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&previous.sa_mask);
    sigaction(SIGSEGV, &previous, nullptr);
    StartForChild();
    std::printf("%d\n", Recurse(0));
});

// The processor's own division fault, not the undefined-behaviour sanitizer's report of it.
[[gnu::noinline, gnu::no_sanitize("undefined")]] int Divide(int a, int b) {
    return a / b;
}

TChildScenario divide("divide", [] {
    StartForChild();
    volatile int zero = 0;
    std::printf("%d\n", Divide(10, zero));
});

TChildScenario nullWrite("nullwrite", [] {
    StartForChild();
    volatile int* volatile target = reinterpret_cast<int*>(16);
    *target = 1;
    std::puts("NOT ENDED");
});

// Another process sends the child a fault signal: no instruction of the child faulted.
TChildScenario sentSegv("sent-segv", [] {
    StartForChild();
    const pid_t self = ::getpid();
    int left[2];
    if (::pipe(left) != 0)
        ::_exit(4);
    const pid_t sender = ::fork();
    if (sender == 0) {
        // Once the child has left fork (which holds the allocator's locks): it says so on the pipe.
        char done = 0;
        if (::read(left[0], &done, 1) == 1)
            ::kill(self, SIGSEGV);
        ::_exit(0);
    }
    // Said before the signal is let go: a signal landing inside printf would leave standard output
    // locked by the stopped thread, and the report's line in this test could not be printed.
    std::printf("SENDER %d\n", int(sender));
    std::fflush(stdout);
    if (::write(left[1], "x", 1) != 1)
        ::_exit(4);
    ::waitpid(sender, nullptr, 0);
    for (int i = 0; i < 500; ++i)
        ::usleep(10000);
    std::puts("NOT ENDED");
});

TEST(SignalsChild, ASignalSentByAnotherProcessNamesTheSender) {
    const TChildResult child = RunChild("sent-segv");
    SCOPED_TRACE(child.Output);
    EXPECT_TRUE(child.Signalled);
    EXPECT_EQ(SIGSEGV, child.Signal);
    const size_t at = child.Output.find("SENDER ");
    ASSERT_NE(std::string::npos, at);
    const int sender = std::atoi(child.Output.c_str() + at + 7);
    EXPECT_EQ(1, CountLines(child.Output, "REPORTED class=reporter::EExternalException kind=0 signal=11"));
    EXPECT_EQ(1, CountLines(child.Output, "SIGSEGV sent by process " + std::to_string(sender) + "."));
    EXPECT_EQ(0, CountLines(child.Output, "Access violation"));
    EXPECT_EQ(0, CountLines(child.Output, "NOT ENDED"));
}

TEST(SignalsChild, AStackOverflowIsReportedOnTheAlternateStackAndThePreviousHandlerRuns) {
    const TChildResult child = RunChild("overflow");
    SCOPED_TRACE(child.Output);
    EXPECT_TRUE(child.Exited);
    EXPECT_EQ(42, child.ExitCode);
    EXPECT_EQ(1, CountLines(child.Output, "REPORTED class=reporter::EAccessViolation kind=0 signal=11"));
    EXPECT_EQ(1, CountLines(child.Output, "PREVIOUS HANDLER"));
}

TEST(SignalsChild, ADivisionByZeroIsReportedThenTheDefaultActionEndsTheProgram) {
    const TChildResult child = RunChild("divide");
    SCOPED_TRACE(child.Output);
    EXPECT_TRUE(child.Signalled);
    EXPECT_EQ(SIGFPE, child.Signal);
    EXPECT_EQ(1, CountLines(child.Output, "REPORTED class=reporter::EDivByZero kind=0 signal=8"));
    EXPECT_EQ(1, CountLines(child.Output, "REPORTED"));
}

TEST(SignalsChild, AnAccessViolationNamesTheWriteAndKeepsTheStack) {
    const TChildResult child = RunChild("nullwrite");
    SCOPED_TRACE(child.Output);
    EXPECT_TRUE(child.Signalled);
    EXPECT_EQ(SIGSEGV, child.Signal);
    EXPECT_EQ(1, CountLines(child.Output, "REPORTED"));
    EXPECT_EQ(1, CountLines(child.Output, "Write of address 0000000000000010"));
    EXPECT_EQ(0, CountLines(child.Output, "stack=0 "));
    EXPECT_EQ(0, CountLines(child.Output, "NOT ENDED"));
}

} // namespace
