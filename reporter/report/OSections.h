#pragma once
// Start-up and shut-down sections: each reporter unit starts and stops once, through a protected call
// that turns a failure into a report instead of the end of the program's start.
#include "OErrors.h"

#include <string>

namespace reporter {

// The silent exception: it ends what raised it without any report.
class EAbort : public Exception {
    using Exception::Exception;
};

// Receives the text of a failed section.
using TInternalErrorHandler = void (*)(const std::string& text);
// Installs the handler (nullptr: none) and returns the previous one.
TInternalErrorHandler SetInternalErrorHandler(TInternalErrorHandler handler);
// The handler the reporter installs at start-up: the text becomes the last error (and so goes to standard
// error).
void WriteInternalError(const std::string& text);

// Runs the routine. When it raises and a handler is installed, the handler gets "%s (Address: %s)" with
// the section name and the routine's address, and an EAbort follows; without a handler an Exception is
// raised with "Critical error at: \"%s\"\r\nError: \"%s\"." (the section name and the exception's message,
// or "General internal error." for anything that is no standard exception).
void ProtectedSectionCall(void (*routine)(), const std::string& sectionName);

} // namespace reporter
