#include "reporter/gui/OOstrelGui.h"

#include "OReporterState.h"
#include "OThreadState.h"
#include "reporter/gui/OGuiBridge.h"

namespace reporter {

TOstrelGui::TOstrelGui() : m_windows(&m_progress), m_desktop(&m_desktopFacts) {
    if (IsGuiThread()) {
        SetGuiThreadId(CurrentThreadId());
        m_desktopWatcher = std::make_unique<TDesktopWatcher>(m_desktopFacts);
        TDesktopFactsStore::SetProgramStore(&m_desktopFacts);
    }
    SetOstrelWindows(&m_windows);
    SetOstrelDesktop(&m_desktop);
    SetOstrelScreen(&m_screen);
    SetOstrelSendProgress(&m_progress);
}

TOstrelGui::~TOstrelGui() {
    SetGuiThreadId(0);
    if (TDesktopFactsStore::ProgramStore() == &m_desktopFacts)
        TDesktopFactsStore::SetProgramStore(nullptr);
    SetOstrelSendProgress(nullptr);
    SetOstrelScreen(nullptr);
    SetOstrelDesktop(nullptr);
    SetOstrelWindows(nullptr);
    m_progress.Close();
}

std::unique_ptr<TOstrelGui> InstallOstrelGui() {
    return std::make_unique<TOstrelGui>();
}

} // namespace reporter
