#include "app/WindowPlacement.h"
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {

const QScreen* ScreenOf(const QWidget& window) {
    return window.screen() ? window.screen() : QGuiApplication::primaryScreen();
}

// Where a frame of this size goes: centred in the area; a frame larger than the area keeps its title
// bar and left edge on it, so that it can be moved.
QPoint CentredFramePosition(const QRect& area, const QSize& frame) {
    return {area.x() + qMax(0, (area.width() - frame.width()) / 2),
            area.y() + qMax(0, (area.height() - frame.height()) / 2)};
}

// Centres the window on each show. A window manager makes the frame only when the window is mapped, and
// until then the frame is taken to be the client area: a window as tall as the screen would get its title
// bar above the screen. So once the frame is known (its first move or paint after the show), the frame
// is placed again with its real size.
class TCentreOnShow : public QObject {
public:
    explicit TCentreOnShow(QWidget& window) : QObject(&window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWidgetType())
            return false;
        auto& window = *static_cast<QWidget*>(watched);
        switch (event->type()) {
        case QEvent::Show:
            // Before the window's own show handling, so that a dialog does not place itself over its owner.
            if (!event->spontaneous()) {
                CentreOnScreen(window);
                m_awaitingFrame = true;
            }
            break;
        case QEvent::Hide:
            m_awaitingFrame = false;
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Paint:
            if (m_awaitingFrame && PlaceFrame(window))
                m_awaitingFrame = false;
            break;
        default:
            break;
        }
        return false;
    }

private:
    // False while the frame is not known yet.
    static bool PlaceFrame(QWidget& window) {
        QWindow* handle = window.windowHandle();
        const QScreen* screen = ScreenOf(window);
        if (!handle || !screen)
            return false;
        const QMargins margins = handle->frameMargins();
        if (margins.isNull())
            return false;
        const QSize frame = handle->size().grownBy(margins);
        const QPoint wanted = CentredFramePosition(screen->availableGeometry(), frame);
        if (handle->framePosition() != wanted)
            handle->setFramePosition(wanted);
        return true;
    }

    bool m_awaitingFrame = false;
};

} // namespace

void CentreOnScreen(QWidget& window) {
    const QScreen* screen = ScreenOf(window);
    if (!screen)
        return;
    // Before the window is first mapped its frame is not known; its client area is.
    const QSize size = window.frameGeometry().size().expandedTo(window.size());
    window.move(CentredFramePosition(screen->availableGeometry(), size));
}

void CentreOnEveryShow(QWidget& window) {
    window.installEventFilter(new TCentreOnShow(window));
}
