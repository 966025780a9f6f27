#pragma once
// The reporter core's questions about windows and the desktop, answered with the toolkit. The core may
// ask from any thread; the answers are read on the GUI thread through the bridge, and a GUI thread that
// does not answer in time gives the core's "none" answer (or the desktop's snapshot) instead of a hang.
#include "ODesktop.h"
#include "OWindows.h"
#include "reporter/gui/ODesktopFacts.h"

#include <chrono>
#include <functional>
#include <string>

class QWidget;

namespace reporter {

class TQtOstrelSendProgress;

class TQtOstrelWindows final : public IOstrelWindows {
public:
    explicit TQtOstrelWindows(const TQtOstrelSendProgress* progress = nullptr,
                              std::chrono::milliseconds guiWait = std::chrono::seconds(2));

    TWindowHandle GetProcessMainWindow(int64_t processId) override;
    bool IsOwnProcessWindow(TWindowHandle window) override;
    std::vector<TWindowHandle> ProcessWindows() override;
    bool CopyTextToClipboard(const std::string& text) override;
    bool IsSendDialogOpen() override;
    // Without a GUI thread that answers, the box goes to standard error.
    void ShowErrorBox(const std::string& text, const std::string& caption) override;
    // The report's own boxes (the send result): without a GUI thread that answers (one that stands still
    // for a report, or does not take the call up), the box comes from the dialog helper process; without
    // that too, it goes to standard error.
    void ShowMessageBox(const std::string& text, const std::string& caption, TMessageBoxIcon icon) override;
    // The helper process for the boxes (default: the program's own file; useHelper false: none).
    void SetHelper(bool useHelper, std::string program = std::string()) {
        m_useHelper = useHelper;
        m_helperProgram = std::move(program);
    }

private:
    void ShowBox(const std::string& text, const std::string& caption, bool error, bool useHelper);

    const TQtOstrelSendProgress* m_progress;
    std::chrono::milliseconds m_guiWait;
    bool m_useHelper = true;
    std::string m_helperProgram;
};

// Asked while the GUI thread answers, the live widgets tell; while it stands still or does not answer,
// the snapshot the GUI thread kept (none: the "none" answers).
class TQtOstrelDesktop final : public IOstrelDesktop {
public:
    explicit TQtOstrelDesktop(const TDesktopFactsStore* snapshot = nullptr,
                              std::chrono::milliseconds guiWait = std::chrono::seconds(2));

    bool GetDisplayMode(TDisplayMode& mode) override;
    bool GetForegroundWindow(std::string& className, std::string& text) override;
    bool GetFocusedControl(std::string& className, std::string& text, bool& password) override;

private:
    // The live answer where the GUI thread gives it, else the kept one.
    bool Answer(const std::function<bool()>& live,
                const std::function<bool(const TDesktopFacts&)>& kept) const;

    const TDesktopFactsStore* m_snapshot;
    std::chrono::milliseconds m_guiWait;
};

// The program's main window: the first shown top-level window that is no dialog, tool window, popup or
// tool tip; nullptr when none. On the GUI thread.
QWidget* ProgramMainWindow();
// The window a picture of the program's window shows: the active one; while another program's window
// is in front, the program's window that was active last (RememberActiveWindow), while it is on the screen,
// else the main window while it is; nullptr when the program shows none there. On the GUI thread.
QWidget* ProgramPictureWindow();
// Notes the active window (none: nothing changes); the desktop watcher calls it as the focus moves.
void RememberActiveWindow(QWidget* window);

// What a report tells of a control: its class and its text (a line edit's, a button's, a combo box's
// current one, else a "text" property's), and whether it hides its text.
void DescribeControl(const QWidget& control, std::string& className, std::string& text, bool& password);

} // namespace reporter
