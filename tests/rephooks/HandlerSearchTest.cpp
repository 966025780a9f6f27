// Which raises reach the processing: the search for a handler above the raise, in this process for the
// caught cases and in a child for those that end the program.
#include "RephooksTools.h"

#include "ExceptionLog.h"
#include "OReporterState.h"

#include <cstdio>
#include <exception>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace rephooks_errors {

struct EBaseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct EDerivedError : EBaseError {
    using EBaseError::EBaseError;
};
struct EOtherError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace rephooks_errors

namespace {

using namespace rephooks;
using namespace rephooks_errors;

int gSink = 0;

[[gnu::noinline]] void ThrowDerived() {
    ++gSink;
    throw EDerivedError("derived failure");
}
[[gnu::noinline]] void Level3() {
    ThrowDerived();
    ++gSink;
}
[[gnu::noinline]] void Level2() {
    Level3();
    ++gSink;
}
[[gnu::noinline]] void NoexceptBoundary() noexcept {
    Level2();
    ++gSink;
}

[[gnu::noinline]] void CatchOwnError() {
    try {
        ThrowDerived();
    } catch (const EOtherError&) {
    } catch (const EDerivedError&) {
    }
    ++gSink;
}

// Within ThrowDerived's code: a few hundred bytes, more under the sanitizers' instrumentation (375 at -O1
// with the address sanitizer).
bool NearThrow(uintptr_t address) {
    const auto start = reinterpret_cast<uintptr_t>(&ThrowDerived);
    return address > start && address - start < 512;
}

class HandlerSearch : public testing::Test {
protected:
    TStartedReporter m_reporter;
    TRecordingProcessor m_processor;
};

TEST_F(HandlerSearch, ExceptionsThatAHandlerCatchesAreNotReported) {
    try {
        ThrowDerived();
    } catch (const EBaseError&) {
    }
    // Caught three frames further up, past a handler for another class.
    try {
        try {
            Level2();
        } catch (const EOtherError&) {
            ADD_FAILURE() << "wrong handler";
        }
    } catch (const EDerivedError& e) {
        EXPECT_STREQ("derived failure", e.what());
    }
    // A thrown pointer is caught through its base class.
    try {
        throw new EDerivedError("pointer");
    } catch (EBaseError* e) {
        delete e;
    }
    // A catch-all that does not end the program.
    try {
        Level3();
    } catch (...) {
        ++gSink;
    }
    EXPECT_TRUE(m_processor.Records().empty());
}

TEST_F(HandlerSearch, RethrownExceptionsThatAreCaughtAreNotReported) {
    std::exception_ptr kept;
    try {
        ThrowDerived();
    } catch (...) {
        kept = std::current_exception();
    }
    try {
        std::rethrow_exception(kept);
    } catch (const EDerivedError&) {
    }
    try {
        try {
            ThrowDerived();
        } catch (const EDerivedError&) {
            throw;
        }
    } catch (const EBaseError&) {
    }
    EXPECT_TRUE(m_processor.Records().empty());
}

TEST_F(HandlerSearch, DuringStartUpAnExceptionOnlyItsOwnGuardCatchesIsReported) {
    reporter::SetStillInitialising(true);
    // On a thread of its own: the test framework's handlers around a test body count too.
    std::thread([] {
        try {
            ThrowDerived();
        } catch (const EBaseError&) {
        }
        // Two frames with handlers: the inner one is the code's own, not just the start-up's guard.
        try {
            CatchOwnError();
        } catch (...) {
        }
    }).join();
    reporter::SetStillInitialising(false);
    const auto records = m_processor.Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("rephooks_errors::EDerivedError", records[0].ClassName);
    EXPECT_EQ("derived failure.", records[0].Message);
    EXPECT_EQ(1, records[0].RaiseKind);
    EXPECT_EQ(0, records[0].HandlerKind);
    EXPECT_TRUE(NearThrow(records[0].Address)) << std::hex << records[0].Address;
    EXPECT_EQ(records[0].Address, records[0].ContextRip);
    EXPECT_NE(0u, records[0].ContextRsp);
}

// --- children: raises that end the program ---

void StartForChild() {
    reporter::StartOstrelLog();
    static TRecordingProcessor processor(true);
}

TChildScenario uncaught("uncaught", [] {
    StartForChild();
    Level2();
    std::puts("NOT ENDED");
});

TChildScenario rejected("rejected", [] {
    StartForChild();
    try {
        Level2();
    } catch (const EOtherError&) {
        std::puts("WRONG HANDLER");
    }
});

TChildScenario noexceptBoundary("noexcept", [] {
    StartForChild();
    try {
        NoexceptBoundary();
    } catch (...) {
        std::puts("CAUGHT");
    }
});

TChildScenario terminatingCatchAll("terminating", [] {
    StartForChild();
    try {
        Level2();
    } catch (...) {
        std::terminate();
    }
});

void ExpectReportedOnceAndEnded(const char* scenario) {
    const TChildResult child = RunChild(scenario);
    SCOPED_TRACE(child.Output);
    EXPECT_TRUE(child.Exited);
    EXPECT_EQ(1, child.ExitCode);
    EXPECT_EQ(1, CountLines(child.Output, "REPORTED class=rephooks_errors::EDerivedError kind=0"));
    EXPECT_EQ(1, CountLines(child.Output, "REPORTED"));
    EXPECT_EQ(0, CountLines(child.Output, "NOT ENDED"));
    EXPECT_EQ(0, CountLines(child.Output, "CAUGHT"));
    EXPECT_EQ(0, CountLines(child.Output, "WRONG HANDLER"));
}

TEST(HandlerSearchChild, AnUncaughtExceptionIsReportedOnceAndEndsTheProgram) {
    ExpectReportedOnceAndEnded("uncaught");
}

TEST(HandlerSearchChild, AHandlerThatRejectsTheClassDoesNotCount) {
    ExpectReportedOnceAndEnded("rejected");
}

TEST(HandlerSearchChild, ANoexceptBoundaryBelowTheHandlerIsReported) {
    ExpectReportedOnceAndEnded("noexcept");
}

TEST(HandlerSearchChild, ACatchAllThatOnlyTerminatesIsReported) {
    ExpectReportedOnceAndEnded("terminating");
}

} // namespace
