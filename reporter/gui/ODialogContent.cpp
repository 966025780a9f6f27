#include "reporter/gui/ODialogContent.h"

#include "OOptions.h"

#include <algorithm>

namespace reporter {

namespace {

bool IsBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

} // namespace

TDialogOptions::TDialogOptions() {
    for (int i = 0; i < ReportTextCount; ++i)
        Texts[size_t(i)] = DefaultReportTexts[size_t(i)];
}

const std::string& TDialogOptions::GetText(int index) const {
    static const std::string empty;
    return index >= 0 && index < ReportTextCount ? Texts[size_t(index)] : empty;
}

TDialogOptions DialogOptionsFrom(const TOstrelModuleOptions& options) {
    TDialogOptions d;
    d.DialogFlags = options.DialogFlags();
    d.SendFlags = options.SendFlags();
    d.LogFlags = options.LogFlags();
    d.CallStackFlags = options.CallStackFlags();
    d.MailSendMode = options.MailSendMode();
    d.UploadMode = options.UploadMode();
    d.TerminateAction = options.TerminateAction();
    d.DialogTabSetting = options.DialogTabSetting();
    d.DialogCountCheck = options.DialogCountCheck();
    d.LogToFile = options.LogToFile();
    d.DialogCountLimit = options.DialogCountLimit();
    d.DialogAutoCloseSeconds = options.DialogAutoCloseSeconds();
    d.SupportPageURL = options.SupportPageURL();
    for (int i = 0; i < ReportTextCount; ++i)
        d.Texts[size_t(i)] = options.GetText(i);
    return d;
}

TDialogAvailability GetDialogAvailability(const TDialogOptions& options, bool duplicate) {
    TDialogAvailability a;
    a.Send = (options.MailSendMode != 0 || options.UploadMode != 0) && !duplicate;
    a.Screenshot = (options.SendFlags & 0x10) != 0 && a.Send;
    a.Clipboard = (options.DialogFlags & 0x08) != 0;
    a.SupportLink = !IsBlank(options.SupportPageURL);
    if (!a.Send && !a.Screenshot && !a.Clipboard && !a.SupportLink)
        a.BottomHeight = 0;
    else if ((a.Send && a.Screenshot) || (a.Clipboard && a.SupportLink))
        a.BottomHeight = 34;
    else
        a.BottomHeight = 20;
    return a;
}

int PageOfTab(int tabIndex, bool modulesShown, bool cpuShown) {
    int page = tabIndex;
    if (page >= 2 && !modulesShown)
        ++page;
    if (page > 2 && !cpuShown)
        ++page;
    return page;
}

int TabOfPage(int page, bool modulesShown, bool cpuShown) {
    int tab = page;
    if (tab > 1 && !modulesShown)
        --tab;
    if (tab > 2 && !cpuShown)
        --tab;
    return tab;
}

int FirstDialogPage(const TDialogOptions& options, bool customDataShown) {
    const int page = options.DialogTabSetting & 0x7F;
    const bool modulesShown = (options.LogFlags & 0x10) != 0;
    const bool cpuShown = (options.LogFlags & 0x20) != 0;
    const bool shown = page == rpGeneral || page == rpCallStack || (page == rpModules && modulesShown) ||
                       (page == rpCPU && cpuShown) || (page == rpCustomData && customDataShown);
    return shown ? page : int(rpGeneral);
}

} // namespace reporter
