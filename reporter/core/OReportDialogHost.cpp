#include "OReportDialogHost.h"

#include <atomic>

namespace reporter {

namespace {

std::atomic<IOstrelReportDialog*> gDialog{nullptr};

} // namespace

void SetOstrelReportDialog(IOstrelReportDialog* dialog) {
    gDialog.store(dialog);
}

IOstrelReportDialog* OstrelReportDialog() {
    return gDialog.load();
}

} // namespace reporter
