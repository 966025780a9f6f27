#pragma once
// Sending a report in a thread of its own, so that the program goes on while the report goes out; the
// thread holds the report lock, so the next report waits until sending is over.
#include "OOptions.h"
#include "OSendHost.h"

#include <chrono>
#include <cstdint>
#include <memory>

namespace reporter {

class TSendThread {
public:
    // Copies what it needs: the report sequence goes on with its own objects.
    TSendThread(const TOstrelModuleOptions& options, TSendReportData report);

    // Starts the thread, which owns the object and frees it when done.
    static void Start(std::unique_ptr<TSendThread> thread);

private:
    void Execute();

    TOstrelModuleOptions m_options;
    TSendReportData m_report;
};

// SendFlags bit 0x0080 clear: sends at once in the calling thread (the caller runs the error-rate check).
// Set: starts a TSendThread and returns.
void StartSend(const TOstrelModuleOptions& options, const TSendReportData& report);
// Waits until every sending thread has ended (the reporter's shut-down, and tests).
void WaitForSendThreads();
// The same for at most the time given; true when none runs any more.
bool WaitForSendThreadsFor(std::chrono::milliseconds wait);
// The processor time the running sending threads have used, in nanoseconds: one that gets on (packing,
// encoding) uses it, one that waits for a lock does not.
uint64_t SendThreadsProcessorTime();

} // namespace reporter
