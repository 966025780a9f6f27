#include "reporter/gui/OQtScreen.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSemaphore>
#include <QThread>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace reporter {

namespace {

// Runs work on the GUI thread and gives its result, or none when there is no application, the work
// raised, or the GUI thread did not get to it within wait. The call's state is shared, so that work
// that runs after the wait has ended still finds it.
template <class T> std::optional<T> CallOnGuiThread(std::function<T()> work, std::chrono::milliseconds wait) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr)
        return std::nullopt;
    auto guarded = [](const std::function<T()>& f) -> std::optional<T> {
        try {
            return f();
        } catch (const std::exception&) {
            return std::nullopt;
        }
    };
    if (QThread::currentThread() == app->thread())
        return guarded(work);
    struct TCall {
        std::function<T()> Work;
        std::optional<T> Result;
        QSemaphore Done;
    };
    auto call = std::make_shared<TCall>();
    call->Work = std::move(work);
    const bool posted = QMetaObject::invokeMethod(
        app,
        [call, guarded] {
            call->Result = guarded(call->Work);
            call->Done.release();
        },
        Qt::QueuedConnection);
    if (!posted || !call->Done.tryAcquire(1, int(wait.count())))
        return std::nullopt;
    return std::move(call->Result);
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
    std::optional<TRgbImage> image = CallOnGuiThread<TRgbImage>(
        [foregroundWindow, inputs, grab = m_grab] {
            return ToRgbImage(CaptureScreenImage(foregroundWindow, inputs, grab));
        },
        m_guiWait);
    return image ? std::move(*image) : TRgbImage();
}

} // namespace reporter
