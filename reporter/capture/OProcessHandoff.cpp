#include "OProcessHandoff.h"

#include "OClassInfo.h"
#include "OExceptionInfo.h"
#include "OExternalExceptions.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace reporter {

namespace {

std::atomic<TProcessExceptionProc> gProcessor{nullptr};

} // namespace

TProcessExceptionProc SetExceptionProcessor(TProcessExceptionProc processor) {
    return gProcessor.exchange(processor);
}

uint8_t HandOffException(const TProcessExceptionParams& params) {
    const TProcessExceptionProc processor = gProcessor.load();
    return processor != nullptr ? processor(params) : WriteExceptionLine(params);
}

uint8_t WriteExceptionLine(const TProcessExceptionParams& params) {
    if (params.HandlerKind == 2)
        return 1;
    std::string className = params.ObjectClass != nullptr ? ClassName(params.ObjectClass) : "";
    if (className.empty() && params.Object != nullptr)
        className = GetExceptionClassName(params.Object);
    std::string line = params.FromWatchdog ? "Frozen application" : "Unhandled exception";
    if (!className.empty())
        line += " " + className;
    if (params.Signal != 0)
        line += " (" + SignalName(params.Signal) + ")";
    line += " at " + FormatAddress(params.Address) + " in thread " + std::to_string(params.ThreadId);
    if (params.Object != nullptr && IsValidObject(params.Object))
        line += ": " + GetExceptionMessage(params.Object);
    line += "\n";
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n <= 0)
            break;
        done += size_t(n);
    }
    return 1;
}

} // namespace reporter
