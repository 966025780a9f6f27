#pragma once
// What the reporter core asks of the windowing side: the process's main window, its window list, the
// clipboard and error boxes. The core links no toolkit; the reporter's GUI part installs an
// implementation, and until it does every question gets the answer "none".
#include <cstdint>
#include <string>
#include <vector>

namespace reporter {

using TWindowHandle = uintptr_t;

enum class TMessageBoxIcon : uint8_t { Information = 1, Error = 2 };

class IOstrelWindows {
public:
    virtual ~IOstrelWindows() = default;
    // The first top-level window of the process that is a main-window candidate, 0 when none.
    virtual TWindowHandle GetProcessMainWindow(int64_t processId) = 0;
    virtual bool IsOwnProcessWindow(TWindowHandle window) = 0;
    // Every top-level window of the own process.
    virtual std::vector<TWindowHandle> ProcessWindows() = 0;
    virtual bool CopyTextToClipboard(const std::string& text) = 0;
    // True while the send-progress dialog is shown.
    virtual bool IsSendDialogOpen() = 0;
    // A task-modal, topmost error box.
    virtual void ShowErrorBox(const std::string& text, const std::string& caption) = 0;
    // A task-modal, topmost box with the icon given (a side that has only error boxes shows one).
    virtual void ShowMessageBox(const std::string& text, const std::string& caption, TMessageBoxIcon icon) {
        (void)icon;
        ShowErrorBox(text, caption);
    }
};

// Installs the implementation (nullptr: none); the caller keeps it alive while installed.
void SetOstrelWindows(IOstrelWindows* windows);

TWindowHandle GetProcessMainWindow(int64_t processId);
bool IsOwnProcessWindow(TWindowHandle window);
// Empties the window list and fills it with the own process's top-level windows.
void SnapshotProcessWindows();
bool IsInWindowList(TWindowHandle window);
// Nothing happens for an empty text or without a windowing side.
void CopyTextToClipboard(const std::string& text);
bool IsSendDialogOpen();
void ShowErrorBox(const std::string& text, const std::string& caption);
void ShowMessageBox(const std::string& text, const std::string& caption, TMessageBoxIcon icon);

} // namespace reporter
