// Threads started through pthread_create: their records, the stack of the thread that started them, and
// the wrapper that catches what escapes them.
#include "RephooksTools.h"

#include "OInterception.h"
#include "OProcess.h"
#include "OThreadState.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <pthread.h>
#include <stdexcept>
#include <thread>

namespace rephooks_errors {
struct EThreadFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};
} // namespace rephooks_errors

namespace {

using namespace rephooks;
using rephooks_errors::EThreadFailure;

std::atomic<pid_t> gWorkerId{0};
// The waiting worker's start and its release.
std::mutex gGateLock;
std::condition_variable gGate;
bool gLetGo = false;

void* WaitingWorker(void*) {
    std::unique_lock guard(gGateLock);
    gWorkerId.store(reporter::CurrentThreadId());
    gGate.notify_all();
    gGate.wait(guard, [] { return gLetGo; });
    return reinterpret_cast<void*>(7);
}

[[gnu::noinline]] void ThrowInThread() {
    throw EThreadFailure("worker failed");
}

void* ThrowingWorker(void*) {
    gWorkerId.store(reporter::CurrentThreadId());
    ThrowInThread();
    return nullptr;
}

void* ExitingWorker(void*) {
    gWorkerId.store(reporter::CurrentThreadId());
    pthread_exit(reinterpret_cast<void*>(5));
}

// The record of the thread, copied under the read lock; false when there is none.
bool FindRecord(pid_t threadId, reporter::TOstrelThreadRecord& record) {
    reporter::TThreadsListAccess access;
    if (access.List() == nullptr)
        return false;
    reporter::TOstrelThreadsList snapshot(*access.List());
    const int index = snapshot.IndexOfThreadId(threadId);
    if (index < 0)
        return false;
    record = snapshot.Items(index);
    return true;
}

class Threads : public testing::Test {
protected:
    void SetUp() override {
        gWorkerId.store(0);
        std::lock_guard guard(gGateLock);
        gLetGo = false;
    }
    TStartedReporter m_reporter;
    TRecordingProcessor m_processor;
};

TEST_F(Threads, ACreatedThreadIsTrackedWithItsStarterUntilItEnds) {
    pthread_t thread;
    ASSERT_EQ(0, pthread_create(&thread, nullptr, WaitingWorker, nullptr));
    {
        std::unique_lock guard(gGateLock);
        ASSERT_TRUE(gGate.wait_for(guard, std::chrono::seconds(20), [] { return gWorkerId.load() != 0; }));
    }
    reporter::TOstrelThreadRecord record;
    ASSERT_TRUE(FindRecord(gWorkerId.load(), record));
    EXPECT_TRUE(pthread_equal(thread, record.Handle));
    EXPECT_EQ(reporter::CurrentThreadId(), record.ResumedBy);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(&WaitingWorker), record.RawStart);
    EXPECT_NE(0u, record.StackTop);
    // The starter's stack copy holds this very frame.
    ASSERT_TRUE(record.StarterStack);
    const auto here = reinterpret_cast<uintptr_t>(&record);
    EXPECT_LE(record.StarterStackPointer, here);
    EXPECT_GT(record.StarterStackPointer + record.StarterStack->size(), here);

    {
        std::lock_guard guard(gGateLock);
        gLetGo = true;
    }
    gGate.notify_all();
    void* result = nullptr;
    pthread_join(thread, &result);
    EXPECT_EQ(reinterpret_cast<void*>(7), result);
    EXPECT_FALSE(FindRecord(gWorkerId.load(), record));
    EXPECT_TRUE(m_processor.Records().empty());
}

TEST_F(Threads, AnExceptionEscapingAThreadIsReportedByItsWrapperAndEndsOnlyThatThread) {
    pthread_t thread;
    ASSERT_EQ(0, pthread_create(&thread, nullptr, ThrowingWorker, nullptr));
    void* result = reinterpret_cast<void*>(1);
    pthread_join(thread, &result);
    EXPECT_EQ(nullptr, result);
    const auto reports = m_processor.Reports();
    ASSERT_EQ(1u, reports.size());
    EXPECT_EQ("rephooks_errors::EThreadFailure", reports[0].ClassName);
    EXPECT_EQ(gWorkerId.load(), reports[0].ThreadId);
    EXPECT_EQ(0, reports[0].DialogType);
    EXPECT_EQ(1, reports[0].RaiseKind);
    const auto start = reinterpret_cast<uintptr_t>(&ThrowInThread);
    EXPECT_TRUE(reports[0].Address > start && reports[0].Address - start < 256);
    // At the raise the search found the wrapper as the thread's last resort: stacks only.
    const auto records = m_processor.Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(2, records[0].HandlerKind);
    reporter::TOstrelThreadRecord record;
    EXPECT_FALSE(FindRecord(gWorkerId.load(), record));
}

TEST_F(Threads, AThreadThatExitsOnItsOwnLeavesNoRecordAndNoReport) {
    pthread_t thread;
    ASSERT_EQ(0, pthread_create(&thread, nullptr, ExitingWorker, nullptr));
    void* result = nullptr;
    pthread_join(thread, &result);
    EXPECT_EQ(reinterpret_cast<void*>(5), result);
    reporter::TOstrelThreadRecord record;
    EXPECT_FALSE(FindRecord(gWorkerId.load(), record));
    EXPECT_TRUE(m_processor.Records().empty());
}

reporter::TOstrelThreadRecord Record(pid_t threadId, uint64_t serial) {
    reporter::TOstrelThreadRecord record;
    record.ThreadId = threadId;
    record.Serial = serial;
    return record;
}

TEST(ThreadsList, APurgeRemovesEveryEndedThreadAndASnapshotOwnsNoLock) {
    pid_t ended[2] = {};
    for (pid_t& id : ended)
        std::thread([&id] { id = reporter::CurrentThreadId(); }).join();
    // A joined thread's id can still answer for a moment: the kernel lets it go after the join returns.
    for (const pid_t id : ended)
        for (int tries = 0; reporter::IsThreadAlive(id) && tries < 5000; ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    reporter::TOstrelThreadsList list;
    list.Add(Record(reporter::CurrentThreadId(), 1));
    list.Add(Record(ended[0], 2));
    list.Add(Record(ended[1], 3));
    list.Add(Record(0, 4)); // being created
    list.LockList();
    list.PurgeDead();
    list.UnlockList();
    ASSERT_EQ(2, list.Count());
    EXPECT_EQ(1u, list.Items(0).Serial);
    EXPECT_EQ(4u, list.Items(1).Serial);

    reporter::TOstrelThreadsList snapshot(list);
    EXPECT_TRUE(snapshot.IsCopy());
    EXPECT_FALSE(list.IsCopy());
    EXPECT_EQ(0, snapshot.IndexOfThreadId(reporter::CurrentThreadId()));
    EXPECT_EQ(1, snapshot.IndexOfSerial(4));
    EXPECT_EQ(-1, snapshot.IndexOfThreadId(ended[0]));
}

} // namespace
