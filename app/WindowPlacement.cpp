#include "app/WindowPlacement.h"
#include "app/ScreenFit.h"
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
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

// Where a frame of this size goes when it keeps its place: moved only as far as it takes to bring it
// onto the area.
QPoint FramePositionOnArea(const QRect& area, const QRect& frame) {
    return {qMax(area.x(), qMin(frame.x(), area.right() + 1 - frame.width())),
            qMax(area.y(), qMin(frame.y(), area.bottom() + 1 - frame.height()))};
}

// The frame of the last window the window manager framed: the best guess for a window not yet framed.
QMargins LastFrameMargins;

// Fits the window to the screen (and centres it) on each show. A window manager makes the frame only
// when the window is mapped, and until then the frame is taken to be the last one seen: a window as tall
// as the screen would get its title bar above the screen. So once the frame is known (its first move or
// paint after the show), the window is fitted and placed again with its real frame.
class TPlaceOnShow : public QObject {
public:
    TPlaceOnShow(QWidget& window, bool centre) : QObject(&window), m_centre(centre) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWidgetType())
            return false;
        auto& window = *static_cast<QWidget*>(watched);
        switch (event->type()) {
        case QEvent::Show:
            // Before the window's own show handling, so that a dialog does not place itself over its owner.
            if (!event->spontaneous()) {
                FollowScreen(window);
                if (const QScreen* screen = ScreenOf(window))
                    FitToScreen(window, screen->availableGeometry(), LastFrameMargins);
                if (m_centre)
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
    // A window shown on one screen may come to another (a monitor unplugged, the window dragged across),
    // or its screen may change its size: it fits itself to the screen it is on now.
    void FollowScreen(QWidget& window) {
        QWindow* handle = window.windowHandle();
        if (!handle || m_followed == handle)
            return;
        m_followed = handle;
        const auto refit = [this, &window] {
            WatchScreenSize(window);
            Refit(window);
        };
        connect(handle, &QWindow::screenChanged, this, refit);
        WatchScreenSize(window);
    }

    void WatchScreenSize(QWidget& window) {
        disconnect(m_screenSize);
        if (QScreen* screen = m_followed ? m_followed->screen() : nullptr)
            m_screenSize =
                connect(screen, &QScreen::availableGeometryChanged, this, [this, &window] { Refit(window); });
    }

    static void Refit(QWidget& window) {
        QWindow* handle = window.windowHandle();
        const QScreen* screen = handle ? handle->screen() : nullptr;
        if (!screen || !window.isVisible())
            return;
        const QMargins margins = handle->frameMargins().isNull() ? LastFrameMargins : handle->frameMargins();
        const QRect area = screen->availableGeometry();
        const QSize frame = FitToScreen(window, area, margins).grownBy(margins);
        const QPoint wanted = FramePositionOnArea(area, QRect(handle->framePosition(), frame));
        if (handle->framePosition() != wanted)
            handle->setFramePosition(wanted);
    }

    // False while the frame is not known yet.
    bool PlaceFrame(QWidget& window) const {
        QWindow* handle = window.windowHandle();
        const QScreen* screen = ScreenOf(window);
        if (!handle || !screen)
            return false;
        const QMargins margins = handle->frameMargins();
        if (margins.isNull())
            return false;
        LastFrameMargins = margins;
        const QRect area = screen->availableGeometry();
        const QSize frame = FitToScreen(window, area, margins).grownBy(margins);
        const QPoint wanted = m_centre ? CentredFramePosition(area, frame)
                                       : FramePositionOnArea(area, QRect(handle->framePosition(), frame));
        if (handle->framePosition() != wanted)
            handle->setFramePosition(wanted);
        return true;
    }

    bool m_centre;
    bool m_awaitingFrame = false;
    QPointer<QWindow> m_followed;
    QMetaObject::Connection m_screenSize;
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
    window.installEventFilter(new TPlaceOnShow(window, true));
}

void FitOnEveryShow(QWidget& window) {
    window.installEventFilter(new TPlaceOnShow(window, false));
}
