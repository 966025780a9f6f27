#pragma once
// Installs the reporter's toolkit side: the windows and desktop questions of the core, the screenshot
// and the send-progress dialog. Made by the program after its application object; the core falls back
// to its "none" answers once the object is gone.
#include "reporter/gui/ODesktopFacts.h"
#include "reporter/gui/ODesktopWatcher.h"
#include "reporter/gui/OQtScreen.h"
#include "reporter/gui/OQtWindows.h"
#include "reporter/gui/OSendDialog.h"

#include <memory>

namespace reporter {

class TOstrelGui {
public:
    TOstrelGui();
    ~TOstrelGui(); // uninstalls everything it installed
    TOstrelGui(const TOstrelGui&) = delete;
    TOstrelGui& operator=(const TOstrelGui&) = delete;

    TQtOstrelSendProgress& SendProgress() { return m_progress; }

private:
    TQtOstrelSendProgress m_progress;
    TQtOstrelWindows m_windows;
    TDesktopFactsStore m_desktopFacts;
    TQtOstrelDesktop m_desktop;
    std::unique_ptr<TDesktopWatcher> m_desktopWatcher; // only when made on the GUI thread
    TQtOstrelScreen m_screen;
};

std::unique_ptr<TOstrelGui> InstallOstrelGui();

} // namespace reporter
