#include "OLastError.h"

#include "OWindows.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <mutex>
#include <unistd.h>

namespace reporter {

namespace {

std::mutex gLock; // guards the message text, which a std::string cannot share unguarded
TOstrelLogErrorCode gCode = TOstrelLogErrorCode::eeNone;
std::string gMessage;
std::atomic<uintptr_t> gExceptionAddress{0};

void WriteDebugOutput(const std::string& text) {
    const std::string line = text + "\n";
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

bool IsSendingError(TOstrelLogErrorCode code) {
    return code == TOstrelLogErrorCode::eeEmailSMTPError || code == TOstrelLogErrorCode::eeWebHTTPError ||
           code == TOstrelLogErrorCode::eeWebHTTPSError || code == TOstrelLogErrorCode::eeWebFTPError;
}

} // namespace

const char* LogErrorCodeName(TOstrelLogErrorCode code) {
    static const char* const names[] = {"eeNone",           "eeShowError",       "eeLogError",
                                        "eeEmailMAPIError", "eeEmailShellError", "eeEmailSMTPError",
                                        "eeWebHTTPError",   "eeWebHTTPSError",   "eeWebFTPError"};
    const auto index = size_t(code);
    return index < std::size(names) ? names[index] : "eeNone";
}

void SetLastErrorCode(TOstrelLogErrorCode code, const std::string& message) {
    try {
        {
            std::lock_guard guard(gLock);
            gCode = code;
            gMessage = message;
        }
        char address[32];
        std::snprintf(address, sizeof address, "%016llX", (unsigned long long)gExceptionAddress.load());
        WriteDebugOutput(std::string("[WARNING] - Code: ") + LogErrorCodeName(code) +
                         " - Address: " + address + " - Message: \"" + message + "\"");
        // One of the report's own boxes: while the GUI thread stands still for the report, the dialog
        // helper shows it, as it shows the send result.
        if (IsSendDialogOpen() && IsSendingError(code))
            ShowMessageBox(message, "Error.", TMessageBoxIcon::Error);
    } catch (...) {
        // Recording an error must never become one.
    }
}

void ClearLastErrorCode() {
    std::lock_guard guard(gLock);
    gCode = TOstrelLogErrorCode::eeNone;
    gMessage.clear();
}

TOstrelLogErrorCode LastErrorCode() {
    std::lock_guard guard(gLock);
    return gCode;
}

std::string LastErrorMessage() {
    std::lock_guard guard(gLock);
    return gMessage;
}

void FormatInternalError(TOstrelLogErrorCode code, const std::string& context) {
    std::string text = "General '" + context + "' error.";
    if (std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& e) {
            text = "[" + context + "] " + e.what();
        } catch (...) {
        }
    }
    SetLastErrorCode(code, text);
}

uintptr_t CurrentExceptionAddress() {
    return gExceptionAddress.load();
}
void SetCurrentExceptionAddress(uintptr_t address) {
    gExceptionAddress.store(address);
}

} // namespace reporter
