#include "RephooksTools.h"

#include "ExceptionLog.h"
#include "OCallStack.h"
#include "OClassInfo.h"
#include "OExceptionInfo.h"
#include "OThreadState.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace rephooks {

namespace {

std::mutex gLock;
std::vector<TRecordedException> gRecords;
std::atomic<bool> gEcho{false};
std::atomic<uint8_t> gResult{1};

uint8_t Record(const reporter::TProcessExceptionParams& params) {
    TRecordedException r;
    r.ClassName = params.ObjectClass != nullptr ? reporter::ClassName(params.ObjectClass) : "";
    r.Address = params.Address;
    r.RaiseKind = params.RaiseKind;
    r.HandlerKind = params.HandlerKind;
    r.DialogType = params.DialogType;
    r.ThreadId = params.ThreadId;
    r.FromWatchdog = params.FromWatchdog;
    r.Signal = params.Signal;
    if (params.Context != nullptr) {
        r.ContextRip = params.Context->Rip;
        r.ContextRsp = params.Context->Rsp;
    }
    r.StackCopySize = params.StackCopy != nullptr ? params.StackCopy->Stack.size() : 0;
    if (params.Object != nullptr && reporter::IsValidObject(params.Object))
        r.Message = reporter::GetExceptionMessage(params.Object);
    if (gEcho.load()) {
        std::printf("REPORTED class=%s kind=%d signal=%d thread=%d stack=%zu message=%s\n",
                    r.ClassName.c_str(), r.HandlerKind, r.Signal, int(r.ThreadId), r.StackCopySize,
                    r.Message.c_str());
        std::fflush(stdout);
    }
    std::lock_guard guard(gLock);
    gRecords.push_back(std::move(r));
    return gResult.load();
}

} // namespace

TRecordingProcessor::TRecordingProcessor(bool echo) {
    Clear();
    gEcho.store(echo);
    gResult.store(1);
    m_previous = reporter::SetExceptionProcessor(Record);
}

TRecordingProcessor::~TRecordingProcessor() {
    reporter::SetExceptionProcessor(m_previous);
    gEcho.store(false);
}

std::vector<TRecordedException> TRecordingProcessor::Records() const {
    std::lock_guard guard(gLock);
    return gRecords;
}

std::vector<TRecordedException> TRecordingProcessor::Reports() const {
    std::vector<TRecordedException> reports;
    for (const TRecordedException& r : Records())
        if (r.HandlerKind != 2)
            reports.push_back(r);
    return reports;
}

void TRecordingProcessor::Clear() {
    std::lock_guard guard(gLock);
    gRecords.clear();
}

void TRecordingProcessor::SetResult(uint8_t result) {
    gResult.store(result);
}

TStartedReporter::TStartedReporter() {
    reporter::StartOstrelLog();
}

TStartedReporter::~TStartedReporter() {
    reporter::StopOstrelLog();
}

int CountLines(const std::string& text, const std::string& piece) {
    int count = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (text.substr(start, end - start).find(piece) != std::string::npos)
            ++count;
        start = end + 1;
    }
    return count;
}

} // namespace rephooks
