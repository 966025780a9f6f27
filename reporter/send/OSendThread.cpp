#include "OSendThread.h"

#include "OProcess.h"
#include "OReportLock.h"
#include "OSendReport.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace reporter {

namespace {

struct TRunningThreads {
    std::mutex Lock;
    std::condition_variable Ended;
    int Count = 0;
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
            owned->Execute();
            TRunningThreads& r = Running();
            std::lock_guard guard(r.Lock);
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

} // namespace reporter
