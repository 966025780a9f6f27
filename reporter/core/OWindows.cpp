#include "OWindows.h"

#include <algorithm>
#include <atomic>

namespace reporter {

namespace {

std::atomic<IOstrelWindows*> gWindows{nullptr};
// Used from the report dialog's thread only.
std::vector<TWindowHandle> gWindowList;

} // namespace

void SetOstrelWindows(IOstrelWindows* windows) {
    gWindows.store(windows);
}

TWindowHandle GetProcessMainWindow(int64_t processId) {
    IOstrelWindows* w = gWindows.load();
    return w ? w->GetProcessMainWindow(processId) : 0;
}

bool IsOwnProcessWindow(TWindowHandle window) {
    IOstrelWindows* w = gWindows.load();
    return w && window != 0 && w->IsOwnProcessWindow(window);
}

void SnapshotProcessWindows() {
    gWindowList.clear();
    if (IOstrelWindows* w = gWindows.load())
        gWindowList = w->ProcessWindows();
}

bool IsInWindowList(TWindowHandle window) {
    return std::find(gWindowList.begin(), gWindowList.end(), window) != gWindowList.end();
}

void CopyTextToClipboard(const std::string& text) {
    IOstrelWindows* w = gWindows.load();
    if (w && !text.empty())
        w->CopyTextToClipboard(text);
}

bool IsSendDialogOpen() {
    IOstrelWindows* w = gWindows.load();
    return w && w->IsSendDialogOpen();
}

void ShowErrorBox(const std::string& text, const std::string& caption) {
    if (IOstrelWindows* w = gWindows.load())
        w->ShowErrorBox(text, caption);
}

void ShowMessageBox(const std::string& text, const std::string& caption, TMessageBoxIcon icon) {
    if (IOstrelWindows* w = gWindows.load())
        w->ShowMessageBox(text, caption, icon);
}

} // namespace reporter
