#pragma once
// The reporter's last error: what failed while showing, logging or sending a report. Written by the
// report processing and the sending threads; each change is also written to standard error, the
// debugger's output here.
#include <cstdint>
#include <string>

namespace reporter {

enum class TOstrelLogErrorCode {
    eeNone,
    eeShowError,
    eeLogError,
    eeEmailMAPIError,
    eeEmailShellError,
    eeEmailSMTPError,
    eeWebHTTPError,
    eeWebHTTPSError,
    eeWebFTPError,
};

const char* LogErrorCodeName(TOstrelLogErrorCode code);

// Never raises. While the send-progress dialog is open, a sending failure is also shown in an error box.
void SetLastErrorCode(TOstrelLogErrorCode code, const std::string& message);
void ClearLastErrorCode();
TOstrelLogErrorCode LastErrorCode();
std::string LastErrorMessage();
// Called inside a catch block: "[context] message" for a standard exception, else "General 'context'
// error."; the text becomes the last error with the code.
void FormatInternalError(TOstrelLogErrorCode code, const std::string& context);

// Address of the exception being processed, shown with every error.
uintptr_t CurrentExceptionAddress();
void SetCurrentExceptionAddress(uintptr_t address);

} // namespace reporter
