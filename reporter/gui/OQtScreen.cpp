#include "reporter/gui/OQtScreen.h"

#include "ODesktop.h"
#include "OOptions.h"
#include "OWebApplication.h"
#include "reporter/gui/ODialogHelper.h"
#include "reporter/gui/OGuiBridge.h"

#include <functional>
#include <optional>

namespace reporter {

namespace {

// Runs work on the GUI thread and gives its result, or none when there is no application, the work
// raised, or the GUI thread did not take it up within wait (or stands still until a report ends).
template <class T> std::optional<T> CallOnGuiThread(std::function<T()> work, std::chrono::milliseconds wait) {
    std::optional<T> result;
    if (RunOnGuiThread([&] { result = work(); }, wait) != TGuiCallStatus::Done)
        return std::nullopt;
    return result;
}

// The program's options ask for the report dialog, and the program shows windows.
bool ReportDialogWillShow() {
    const TOstrelModuleOptionsEx* options = CurrentOptions();
    return options != nullptr && (options->DialogFlags() & 0x01) != 0 && !IsConsoleProgram() &&
           !IsWebApplication();
}

} // namespace

TQtOstrelScreen::TQtOstrelScreen(std::chrono::milliseconds guiWait, TScreenGrab grab)
    : m_guiWait(guiWait), m_grab(grab ? std::move(grab) : TScreenGrab(GrabScreenArea)) {}

void TQtOstrelScreen::KeepCaptureInputs() {
    std::optional<TCaptureInputs> inputs =
        CallOnGuiThread<TCaptureInputs>([] { return CurrentCaptureInputs(); }, m_guiWait);
    const std::lock_guard lock(m_lock);
    m_inputs = inputs ? std::move(*inputs) : TCaptureInputs();
}

TRgbImage TQtOstrelScreen::Capture(bool foregroundWindow) {
    TCaptureInputs inputs;
    {
        const std::lock_guard lock(m_lock);
        inputs = m_inputs;
    }
    std::optional<TRgbImage> image;
    const TGuiCallStatus status = RunOnGuiThread(
        [&image, foregroundWindow, inputs, grab = m_grab] {
            image = ToRgbImage(CaptureScreenImage(foregroundWindow, inputs, grab));
        },
        m_guiWait);
    if (status == TGuiCallStatus::Done && image)
        return std::move(*image);
    // A GUI thread that stands still (or does not come) cannot take the picture: the helper process
    // takes it from the display server, the whole screen, with the focused control framed where the GUI
    // thread last saw it and the cursor where it is.
    if (status == TGuiCallStatus::NotStarted && m_useHelper) {
        // The report dialog that follows comes from a helper too: it starts now, beside this one.
        if (ReportDialogWillShow())
            PrepareDialogHelper(m_helperProgram);
        THelperRequest request;
        request.Dialog = THelperDialog::Screenshot;
        request.Content.Options.SendFlags = foregroundWindow ? ScreenshotWindowFlag : 0;
        if (std::optional<THelperAnswer> answer = ShowDialogInHelper(request, m_helperProgram))
            return std::move(answer->Screen);
    }
    return TRgbImage();
}

} // namespace reporter
