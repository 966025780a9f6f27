// The freeze watchdog against a main loop of the test's own: answering, then blocked.
#include "RephooksTools.h"

#include "ExceptionLog.h"
#include "OOptions.h"
#include "OReportLock.h"
#include "OReporterState.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

using namespace rephooks;
using Clock = std::chrono::steady_clock;

std::mutex gQueueLock;
std::condition_variable gQueued;
std::deque<std::function<void()>> gQueue;

// Runs the posted calls on this (the main) thread for the given time, each as soon as it is posted.
void Pump(std::chrono::milliseconds duration) {
    const auto end = Clock::now() + duration;
    std::unique_lock guard(gQueueLock);
    while (gQueued.wait_until(guard, end, [] { return !gQueue.empty(); })) {
        std::deque<std::function<void()>> calls;
        calls.swap(gQueue);
        guard.unlock();
        for (auto& call : calls)
            call();
        guard.lock();
    }
}

class Freeze : public testing::Test {
protected:
    void SetUp() override {
        reporter::SetMainLoopPoster([](std::function<void()> call) {
            {
                std::lock_guard guard(gQueueLock);
                gQueue.push_back(std::move(call));
            }
            gQueued.notify_one();
            return true;
        });
    }
    void TearDown() override {
        if (auto* options = reporter::CurrentOptions())
            options->SetFreezeActive(false);
        reporter::SetMainLoopPoster(nullptr);
        std::lock_guard guard(gQueueLock);
        gQueue.clear();
    }
    TStartedReporter m_reporter;
    TRecordingProcessor m_processor;
};

TEST_F(Freeze, ABlockedMainLoopIsReportedOnceAfterTheTimeAndAnAnsweringOneNever) {
    auto* options = reporter::CurrentOptions();
    ASSERT_NE(nullptr, options);
    options->SetFreezeSeconds(1);
    options->SetFreezeText("Frozen for the test.");
    options->SetFreezeActive(true);
    ASSERT_TRUE(reporter::FreezeThreadRunning());

    Pump(std::chrono::milliseconds(1300)); // answering for longer than the limit
    EXPECT_TRUE(m_processor.Records().empty());

    std::this_thread::sleep_for(std::chrono::milliseconds(1600)); // blocked
    Pump(std::chrono::milliseconds(100));
    const auto records = m_processor.Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_TRUE(records[0].FromWatchdog);
    EXPECT_EQ("reporter::EFrozenApplication", records[0].ClassName);
    EXPECT_EQ("Frozen for the test.", records[0].Message);
    EXPECT_EQ(reporter::MainThreadId(), records[0].ThreadId);
    EXPECT_NE(0u, records[0].ContextRip);
    EXPECT_EQ(records[0].ContextRip, records[0].Address);
    EXPECT_GT(records[0].StackCopySize, 0u);

    // Switching the option off stops the watchdog at once.
    options->SetFreezeActive(false);
    EXPECT_FALSE(reporter::FreezeThreadRunning());
}

TEST_F(Freeze, NoTimeSetMeansNoReport) {
    auto* options = reporter::CurrentOptions();
    ASSERT_NE(nullptr, options);
    options->SetFreezeSeconds(0);
    options->SetFreezeActive(true);
    Pump(std::chrono::milliseconds(300));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // blocked
    Pump(std::chrono::milliseconds(100));
    EXPECT_TRUE(m_processor.Records().empty());
    options->SetFreezeSeconds(-5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Pump(std::chrono::milliseconds(100));
    EXPECT_TRUE(m_processor.Records().empty());
}

TEST_F(Freeze, AFreezeWaitsForTheReportThatRuns) {
    auto* options = reporter::CurrentOptions();
    ASSERT_NE(nullptr, options);
    options->SetFreezeSeconds(1);
    options->SetFreezeActive(true);
    Pump(std::chrono::milliseconds(300));
    // Another thread's report holds the lock while the main loop is blocked past the limit: the main
    // thread is not stopped meanwhile, and the freeze is reported once the lock is free.
    std::mutex reportRuns;
    reportRuns.lock();
    std::thread report([&] {
        std::lock_guard lock(reporter::ReportLock());
        std::lock_guard wait(reportRuns);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1800));
    EXPECT_TRUE(m_processor.Records().empty());
    reportRuns.unlock();
    report.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(400)); // still blocked
    Pump(std::chrono::milliseconds(100));
    ASSERT_EQ(1u, m_processor.Records().size());
    EXPECT_TRUE(m_processor.Records()[0].FromWatchdog);
}

} // namespace
