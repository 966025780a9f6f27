#include "OSections.h"

#include "OExceptionInfo.h"
#include "OLastError.h"

#include <atomic>
#include <exception>

namespace reporter {

namespace {

std::atomic<TInternalErrorHandler> gHandler{nullptr};

} // namespace

TInternalErrorHandler SetInternalErrorHandler(TInternalErrorHandler handler) {
    return gHandler.exchange(handler);
}

void WriteInternalError(const std::string& text) {
    // The last error writes its text to standard error too.
    SetLastErrorCode(TOstrelLogErrorCode::eeNone, "Internal error: " + text);
}

void ProtectedSectionCall(void (*routine)(), const std::string& sectionName) {
    try {
        routine();
    } catch (const EAbort&) {
        throw;
    } catch (...) {
        if (const TInternalErrorHandler handler = gHandler.load()) {
            handler(sectionName + " (Address: " + FormatAddress(reinterpret_cast<uintptr_t>(routine)) + ")");
            throw EAbort("");
        }
        std::string message = "General internal error.";
        try {
            throw;
        } catch (const std::exception& e) {
            message = e.what();
        } catch (...) {
        }
        throw Exception("Critical error at: \"" + sectionName + "\"\r\nError: \"" + message + "\".");
    }
}

} // namespace reporter
