#pragma once
// How the report sequence shows its dialogs: the core links no toolkit, so the reporter's GUI side
// installs an implementation. Until one is installed there is no dialog: the sequence shows the
// exception's message in an error box instead (or on standard output in a program without windows).
#include <cstdint>
#include <functional>
#include <string>

namespace reporter {

class TOstrelModuleOptions;
class TOstrelStackList;
class TOstrelModulesList;

// What the report dialog shows. The lists and the options stay unchanged while the dialog runs.
struct TReportDialogRequest {
    const TOstrelModuleOptions* Options = nullptr;
    std::string ExceptionMessage;
    std::string GeneralText; // the report's banner and General part, inserted sections included
    std::string CPUText;
    std::string CustomDataText;
    bool Duplicate = false;
    int32_t ReportsShown = 0; // reports handled in this run, this one included
    const TOstrelStackList* CallStack = nullptr;
    const TOstrelModulesList* Modules = nullptr;
    // The user asked to terminate; clearing the flag shows the dialog again.
    std::function<void(bool& terminate)> TerminateNotify;
};

// The user's choices; the sequence gives the check boxes their first states.
struct TReportDialogChoices {
    bool SendChecked = false;
    bool ScreenshotChecked = false;
    bool ClipboardChecked = false;
    bool TerminateRequested = false;
    bool DetailsShown = false;
};

class IOstrelReportDialog {
public:
    virtual ~IOstrelReportDialog() = default;
    // Shows the report dialog and returns when it is closed; false when it could not be shown.
    virtual bool ShowReportDialog(const TReportDialogRequest& request, TReportDialogChoices& choices) = 0;
    // Asks the user for the steps that led to the exception (when the options ask for it); empty when
    // nothing was asked or written.
    virtual std::string AskReproduceSteps(const TOstrelModuleOptions& options,
                                          const TReportDialogChoices& choices, bool duplicate) = 0;
    // Brings the program's main window to the front.
    virtual void BringAppToFront() = 0;
};

// Installs the implementation (nullptr: none); the caller keeps it alive while installed.
void SetOstrelReportDialog(IOstrelReportDialog* dialog);
// The installed implementation, nullptr when none.
IOstrelReportDialog* OstrelReportDialog();

} // namespace reporter
