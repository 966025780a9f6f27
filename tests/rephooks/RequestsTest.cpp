// Requests that must run on the thread a report is about.
#include "OInterception.h"
#include "OThreadState.h"

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace {

TEST(MainThreadRequests, ARequestWaitsForTheReportedThreadsLoopOrRunsAtOnce) {
    // No report runs: at once, on the caller, its exception absorbed.
    pid_t ranOn = 0;
    reporter::RunInMainThread([&] {
        ranOn = reporter::CurrentThreadId();
        throw std::runtime_error("absorbed");
    });
    EXPECT_EQ(reporter::CurrentThreadId(), ranOn);

    // A report about this thread runs: another thread's request is run by this thread's waiting loop.
    reporter::SetReportThread(reporter::CurrentThreadId());
    std::atomic<bool> done{false};
    std::thread requester([&] {
        reporter::RunInMainThread([&] { ranOn = reporter::CurrentThreadId(); });
        done.store(true);
    });
    while (!reporter::RunPendingMainThreadRequest())
        std::this_thread::yield();
    requester.join();
    EXPECT_TRUE(done.load());
    EXPECT_EQ(reporter::CurrentThreadId(), ranOn);
    EXPECT_FALSE(reporter::MainThreadRequestPending());

    // The report ends before its loop got to the request: the requester runs it itself.
    ranOn = 0;
    std::thread late([&] { reporter::RunInMainThread([&] { ranOn = reporter::CurrentThreadId(); }); });
    while (!reporter::MainThreadRequestPending())
        std::this_thread::yield();
    reporter::SetReportThread(0);
    late.join();
    EXPECT_NE(0, ranOn);
    EXPECT_NE(reporter::CurrentThreadId(), ranOn);
}

} // namespace
