#pragma once
// The entry points with which the report sequence shows its dialogs. They may be called from any
// thread: the dialogs run on the GUI thread through the blocking bridge, and when that thread does not
// take the call up in time (frozen, or the caller itself blocks it) the report dialog runs in a helper
// process instead. No toolkit type crosses this interface, so the core can call it through a pointer.
#include "reporter/gui/ODialogContent.h"
#include "reporter/gui/OLogSection.h"

#include <chrono>
#include <functional>
#include <string>

namespace reporter {

struct TShowDialogOptions {
    std::string LayoutFile; // empty: "OstrelLog.ini" in the Windows folder
    std::chrono::milliseconds GuiStartWait = std::chrono::seconds(2);
    bool UseHelperProcess = true;
    std::string HelperProgram; // empty: the program's own file
    // Raised when the user asked to terminate (action code 8); a handler that clears the flag has the
    // dialog shown again.
    std::function<void(bool& terminate)> TerminateNotify;
};

// Shows the report dialog and returns when it is closed, with the user's choices in state. A dialog
// that cannot be shown is replaced by an error box with the exception's message; the reporter's last
// error then reads "Cannot show the DialogBox window.". Returns whether the dialog showed.
bool ShowExceptionDialog(const TReportDialogContent& content, TReportDialogState& state,
                         const TShowDialogOptions& options = {});

// The request is shown only when LogFlags bit 0x02 asks for it, the program shows windows, the report is
// not a duplicate, and it is sent (SendChecked) or logged (LogToFile). The trimmed answer goes into the
// report as section 7 with text 81 as its label; it is also returned (empty when nothing was asked or
// nothing written).
// When the GUI thread cannot show it (stopped by the report, or not taking the call up in time), the
// helper process shows it, as it does the report dialog.
std::string ShowReproduceDialog(const TDialogOptions& options, const TReportDialogState& state,
                                bool duplicate, TReportTextParts& parts,
                                const TShowDialogOptions& showOptions);
std::string ShowReproduceDialog(const TDialogOptions& options, const TReportDialogState& state,
                                bool duplicate, TReportTextParts& parts,
                                std::chrono::milliseconds guiStartWait = std::chrono::seconds(2));

// Brings the program's main window to the front (restored when minimised), or its active modal window.
void BringAppToFront();

} // namespace reporter
