#pragma once
// Helpers of the interception tests: a processing sequence that records what it is handed, a started
// reporter per test, and children that run a named scenario of this very binary.
#include "OProcessHandoff.h"
#include "tests/support/ChildScenario.h"

#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace rephooks {

struct TRecordedException {
    std::string ClassName;
    uintptr_t Address = 0;
    int RaiseKind = 0;
    int HandlerKind = 0;
    int DialogType = 0;
    pid_t ThreadId = 0;
    bool FromWatchdog = false;
    int Signal = 0;
    uintptr_t ContextRip = 0;
    uintptr_t ContextRsp = 0;
    size_t StackCopySize = 0;
    std::string Message;
};

// Installs a processor that records every hand-over (and, with echo, prints one line per hand-over to
// standard output, for the children); the previous one comes back at the end of the scope.
class TRecordingProcessor {
public:
    explicit TRecordingProcessor(bool echo = false);
    ~TRecordingProcessor();
    TRecordingProcessor(const TRecordingProcessor&) = delete;
    TRecordingProcessor& operator=(const TRecordingProcessor&) = delete;
    std::vector<TRecordedException> Records() const;
    // The records that are reports of their own (the stack-only hand-overs of kind 2 left out).
    std::vector<TRecordedException> Reports() const;
    void Clear();
    // The result the processor answers (1: nothing done).
    static void SetResult(uint8_t result);

private:
    reporter::TProcessExceptionProc m_previous;
};

// Starts the reporter for the scope.
class TStartedReporter {
public:
    TStartedReporter();
    ~TStartedReporter();
    TStartedReporter(const TStartedReporter&) = delete;
    TStartedReporter& operator=(const TStartedReporter&) = delete;
};

using testtools::RunChild;
using testtools::RunChildScenario;
using testtools::TChildResult;
using testtools::TChildScenario;

// Number of lines of the text that contain the piece.
int CountLines(const std::string& text, const std::string& piece);

} // namespace rephooks
