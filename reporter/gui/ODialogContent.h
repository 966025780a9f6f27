#pragma once
// What the report's dialogs show and what the user chose there, as plain values. The report sequence
// fills it on its own thread (no toolkit needed); the dialog reads it on the GUI thread or, when that
// thread is frozen, in a helper process that gets a serialised copy. No live option record, stack list
// or module list is touched while a dialog runs.
#include "OTexts.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace reporter {

class TOstrelModuleOptions;

// The options that the report, request and send-progress dialogs read.
struct TDialogOptions {
    uint8_t DialogFlags = 0x1F;
    uint16_t SendFlags = 0x0051;
    uint8_t LogFlags = 0x30;
    uint8_t CallStackFlags = 0x0F;
    uint8_t MailSendMode = 0;
    uint8_t UploadMode = 0;
    uint8_t TerminateAction = 1;
    uint8_t DialogTabSetting = 0;
    bool DialogCountCheck = true;
    bool LogToFile = true;
    int32_t DialogCountLimit = 3;
    int32_t DialogAutoCloseSeconds = 0;
    std::string SupportPageURL;
    std::array<std::string, ReportTextCount> Texts;

    TDialogOptions();
    // Text N of the report texts; an index outside 0..95 gives an empty text.
    const std::string& GetText(int index) const;
};

TDialogOptions DialogOptionsFrom(const TOstrelModuleOptions& options);

// One row of a list page: a thread header, a blank separator or an entry.
struct TListRowData {
    std::vector<std::string> Texts; // one per column
    int32_t Image = -1;             // 0 library, 1 package, 2 program, 3 routine with source; -1 none
    bool Running = false;           // header colour: running thread or calling thread
    bool Header = false;
    std::string Caption; // header text
};

struct TReportDialogContent {
    TDialogOptions Options;
    std::string ExceptionMessage;
    std::string GeneralText; // the report's banner and General part (with any inserted sections)
    std::string CPUText;
    std::string CustomDataText;
    bool Duplicate = false;
    int32_t ReportsShown = 0; // reports handled so far in this run, this one included
    std::vector<TListRowData> CallStackRows;
    std::vector<TListRowData> ModuleRows;
};

// The user's choices. They outlive the dialog and give the next dialog its check states: the report
// sequence sets SendChecked and ScreenshotChecked before the first dialog from the options.
struct TReportDialogState {
    bool SendChecked = false;
    bool ScreenshotChecked = false;
    bool ClipboardChecked = false;
    bool TerminateRequested = false;
    bool DetailsShown = false; // the form the last dialog closed in (the request dialog's frame follows it)
};

// What the dialog can offer, fixed when it opens.
struct TDialogAvailability {
    bool Send = false;
    bool Screenshot = false;
    bool Clipboard = false;
    bool SupportLink = false;
    int BottomHeight = 0; // 0, 20 or 34 pixels under the buttons
};

TDialogAvailability GetDialogAvailability(const TDialogOptions& options, bool duplicate);

// Pages 0 General, 1 Call Stack, 2 Modules, 3 CPU, 4 Custom data; Modules and CPU tabs may be hidden.
enum TReportPageNumber { rpGeneral = 0, rpCallStack = 1, rpModules = 2, rpCPU = 3, rpCustomData = 4 };
int PageOfTab(int tabIndex, bool modulesShown, bool cpuShown);
int TabOfPage(int page, bool modulesShown, bool cpuShown);
// The page the dialog opens on: DialogTabSetting's low 7 bits; a page whose tab is not shown (or none
// at all) opens General instead.
int FirstDialogPage(const TDialogOptions& options, bool customDataShown);

} // namespace reporter
