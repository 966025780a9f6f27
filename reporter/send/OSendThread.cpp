#include "OSendThread.h"

#include "OProcess.h"
#include "OReportLock.h"
#include "OSendReport.h"

#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <time.h>
#include <vector>

namespace reporter {

namespace {

struct TRunningThreads {
    std::mutex Lock;
    std::condition_variable Ended;
    int Count = 0;
    std::vector<clockid_t> Clocks; // the processor-time clocks of the threads that run
};

TRunningThreads& Running() {
    static auto* running = new TRunningThreads; // outlives threads still running at exit
    return *running;
}

} // namespace

TSendThread::TSendThread(const TOstrelModuleOptions& options, TSendReportData report)
    : m_options(options.ModuleName(), false), m_report(std::move(report)) {
    m_options.Assign(&options);
}

void TSendThread::Start(std::unique_ptr<TSendThread> thread) {
    TRunningThreads& running = Running();
    {
        std::lock_guard guard(running.Lock);
        ++running.Count;
    }
    try {
        std::thread([owned = std::move(thread)] {
            TRunningThreads& r = Running();
            clockid_t clock{};
            const bool timed = pthread_getcpuclockid(pthread_self(), &clock) == 0;
            if (timed) {
                std::lock_guard guard(r.Lock);
                r.Clocks.push_back(clock);
            }
            owned->Execute();
            std::lock_guard guard(r.Lock);
            if (timed)
                std::erase(r.Clocks, clock);
            --r.Count;
            r.Ended.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard guard(running.Lock);
        --running.Count; // no thread: the report is not sent, as when sending fails
    }
}

void TSendThread::Execute() {
    std::lock_guard lock(ReportLock());
    try {
        SendReport(m_options, m_report);
    } catch (...) {
        // A sending failure is the last error already; nothing may escape the thread.
    }
    try {
        ErrorsRateCheck(m_options, m_report);
        SendHost().FreeThreadSnapshot();
        uint8_t action = 0;
        if (SendHost().TerminationPending(action)) {
            m_report.Folder.reset(); // the report's files go before the program does
            RestartOrTerminate(action == 1);
        }
    } catch (...) {
    }
}

void StartSend(const TOstrelModuleOptions& options, const TSendReportData& report) {
    if (options.SendFlags() & 0x0080)
        TSendThread::Start(std::make_unique<TSendThread>(options, report));
    else
        SendReport(options, report);
}

void WaitForSendThreads() {
    TRunningThreads& running = Running();
    std::unique_lock guard(running.Lock);
    running.Ended.wait(guard, [&] { return running.Count == 0; });
}

bool WaitForSendThreadsFor(std::chrono::milliseconds wait) {
    TRunningThreads& running = Running();
    std::unique_lock guard(running.Lock);
    return running.Ended.wait_for(guard, wait, [&] { return running.Count == 0; });
}

uint64_t SendThreadsProcessorTime() {
    TRunningThreads& running = Running();
    std::lock_guard guard(running.Lock);
    uint64_t total = 0;
    for (const clockid_t clock : running.Clocks)
        if (timespec used{}; clock_gettime(clock, &used) == 0)
            total += uint64_t(used.tv_sec) * 1000000000u + uint64_t(used.tv_nsec);
    return total;
}

} // namespace reporter
