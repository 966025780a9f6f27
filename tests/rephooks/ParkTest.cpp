// Parking a thread: its registers and stack are copied while it stands still, and it goes on after the
// release. Many threads are parked together, each one progress that a faulting thread waiting for its
// report sees.
#include "RephooksTools.h"

#include "OModules.h"
#include "OReportProgress.h"
#include "OThreadPark.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace rephooks;

constexpr uint64_t Marker = 0x5AFE57AC4C0FFEE5ULL;
std::atomic<pid_t> gSpinnerId{0};
std::atomic<uint64_t> gCounter{0};
std::atomic<bool> gStop{false};

[[gnu::noinline]] void Spin(bool blockPark) {
    if (blockPark) {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, reporter::ParkSignal());
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
    }
    volatile uint64_t marker = Marker;
    gSpinnerId.store(reporter::CurrentThreadId());
    while (!gStop.load())
        gCounter.fetch_add(marker == Marker ? 1 : 2);
}

class Park : public testing::Test {
protected:
    void Start(bool blockPark) {
        gStop.store(false);
        gSpinnerId.store(0);
        m_spinner = std::thread(Spin, blockPark);
        while (gSpinnerId.load() == 0)
            std::this_thread::yield();
    }
    void TearDown() override {
        gStop.store(true);
        if (m_spinner.joinable())
            m_spinner.join();
    }
    TStartedReporter m_reporter;
    std::thread m_spinner;
};

TEST_F(Park, AParkedThreadStandsStillWithItsRegistersAndStackCopiedAndGoesOnWhenReleased) {
    ASSERT_NE(0, reporter::ParkSignal());
    Start(false);
    reporter::TThreadParker parker(2);
    ASSERT_TRUE(parker.Park(gSpinnerId.load(), 0));
    const uint64_t parkedAt = gCounter.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(parkedAt, gCounter.load());
    EXPECT_FALSE(parker.Park(gSpinnerId.load(), 0)); // parked already
    parker.Release(gSpinnerId.load());
    while (gCounter.load() == parkedAt)
        std::this_thread::yield();

    reporter::TOstrelContext context;
    ASSERT_TRUE(parker.GetContext(gSpinnerId.load(), context));
    EXPECT_NE(0u, reporter::FindModuleOfAddress(context.Rip));
    reporter::TThreadStackCopy copy;
    ASSERT_TRUE(parker.GetCopy(gSpinnerId.load(), copy));
    EXPECT_EQ(context.Rsp, copy.StackPointer);
    EXPECT_EQ(uint32_t(gSpinnerId.load()), copy.ThreadId);
    ASSERT_GE(copy.Stack.size(), sizeof Marker);
    bool found = false;
    for (size_t i = 0; i + sizeof Marker <= copy.Stack.size() && !found; i += 8)
        found = std::memcmp(copy.Stack.data() + i, &Marker, sizeof Marker) == 0;
    EXPECT_TRUE(found);
}

TEST_F(Park, AThreadThatDoesNotAnswerIsGivenUpAndNeverStopped) {
    Start(true);
    reporter::TThreadParker parker(1);
    EXPECT_FALSE(parker.Park(gSpinnerId.load(), 0, 50));
    const uint64_t before = gCounter.load();
    while (gCounter.load() == before)
        std::this_thread::yield();
    EXPECT_FALSE(parker.Park(reporter::CurrentThreadId(), 0)); // never the caller itself
}

TEST_F(Park, ManyThreadsAreParkedTogetherAndOneThatDoesNotAnswerIsLeftOut) {
    // More threads than one batch of published requests holds, and one that blocks the signal.
    constexpr int Sleepers = 300;
    Start(true);
    std::mutex lock;
    std::condition_variable wake;
    bool end = false;
    std::atomic<int> waiting{0};
    // The one that blocks the signal first: every sleeper after it must still be parked.
    std::vector<reporter::TParkTarget> targets(Sleepers + 1);
    std::vector<std::thread> sleepers;
    for (int i = 0; i < Sleepers; ++i)
        sleepers.emplace_back([&, i] {
            targets[size_t(i) + 1].ThreadId = reporter::CurrentThreadId();
            std::unique_lock guard(lock);
            if (waiting.fetch_add(1) + 1 == Sleepers)
                wake.notify_all();
            wake.wait(guard, [&] { return end; });
        });
    {
        std::unique_lock guard(lock);
        EXPECT_TRUE(
            wake.wait_for(guard, std::chrono::seconds(20), [&] { return waiting.load() == Sleepers; }));
    }
    targets[0].ThreadId = gSpinnerId.load();

    reporter::TThreadParker parker(Sleepers + 1, 4096);
    const uint32_t progressBefore = reporter::ReportProgressWord.load();
    const std::vector<bool> parked = parker.ParkAll(targets, 100);
    const uint32_t progress = reporter::ReportProgressWord.load() - progressBefore;
    const uint64_t spinnerAt = gCounter.load();
    parker.ReleaseAll();
    ASSERT_EQ(targets.size(), parked.size());
    EXPECT_FALSE(parked.front());
    EXPECT_EQ(Sleepers, std::count(parked.begin() + 1, parked.end(), true));
    EXPECT_LE(uint32_t(Sleepers), progress);
    reporter::TThreadStackCopy copy;
    EXPECT_TRUE(parker.GetCopy(targets.back().ThreadId, copy));
    EXPECT_FALSE(parker.GetCopy(gSpinnerId.load(), copy));
    while (gCounter.load() == spinnerAt) // the one left out was never stopped
        std::this_thread::yield();
    {
        std::lock_guard guard(lock);
        end = true;
    }
    wake.notify_all();
    for (std::thread& t : sleepers)
        t.join();
}

// Whether a thread can still stop is read from the kernel: one that runs or sleeps can, one that blocks
// the signal or has ended cannot.
TEST_F(Park, AThreadCanStopWhenItLivesAndDoesNotBlockTheSignal) {
    Start(true);
    std::mutex lock;
    std::condition_variable wake;
    bool end = false;
    std::atomic<pid_t> sleeper{0};
    std::thread sleeping([&] {
        std::unique_lock guard(lock);
        sleeper.store(reporter::CurrentThreadId());
        wake.wait(guard, [&] { return end; });
    });
    pid_t ended = 0;
    std::thread([&] { ended = reporter::CurrentThreadId(); }).join();
    while (sleeper.load() == 0)
        std::this_thread::yield();
    const struct {
        const char* What;
        pid_t Thread;
        bool CanStop;
    } cases[] = {
        {"running", reporter::CurrentThreadId(), true},
        {"asleep", sleeper.load(), true},
        {"blocking the signal", gSpinnerId.load(), false},
        {"ended", ended, false},
        {"no thread", 0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.CanStop, reporter::CanTakeParkSignal(c.Thread)) << c.What;
    {
        std::lock_guard guard(lock);
        end = true;
    }
    wake.notify_all();
    sleeping.join();
}

// More threads busy than there are processors, on a machine that may be busy besides: each waits long
// for its turn, far longer than the quiet time after the last one that stopped, and each is parked.
TEST_F(Park, ThreadsThatWaitLongForAProcessorAreStillParked) {
    const int busy = 4 * int(std::max(1u, std::thread::hardware_concurrency()));
    std::atomic<bool> stop{false};
    std::atomic<int> started{0};
    std::vector<reporter::TParkTarget> targets{size_t(busy)};
    std::vector<std::thread> spinners;
    for (int i = 0; i < busy; ++i)
        spinners.emplace_back([&, i] {
            targets[size_t(i)].ThreadId = reporter::CurrentThreadId();
            started.fetch_add(1);
            while (!stop.load(std::memory_order_relaxed)) {
            }
        });
    while (started.load() < busy)
        std::this_thread::yield();
    reporter::TThreadParker parker(busy, 4096);
    const std::vector<bool> parked = parker.ParkAll(targets, 1);
    parker.ReleaseAll();
    stop.store(true);
    for (std::thread& t : spinners)
        t.join();
    EXPECT_EQ(busy, std::count(parked.begin(), parked.end(), true));
}

} // namespace
