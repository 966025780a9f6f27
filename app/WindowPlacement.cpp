#include "app/WindowPlacement.h"
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

class TCentreOnShow : public QObject {
public:
    explicit TCentreOnShow(QWidget& window) : QObject(&window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Before the window's own show handling, so that a dialog does not place itself over its owner.
        if (event->type() == QEvent::Show && !event->spontaneous() && watched->isWidgetType())
            CentreOnScreen(*static_cast<QWidget*>(watched));
        return false;
    }
};

} // namespace

void CentreOnScreen(QWidget& window) {
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // Before the window is first mapped its frame is not known; its client area is.
    const QSize size = window.frameGeometry().size().expandedTo(window.size());
    const QRect area = screen->availableGeometry();
    // A window larger than the screen keeps its title bar and left edge on it, so that it can be moved.
    window.move(area.x() + qMax(0, (area.width() - size.width()) / 2),
                area.y() + qMax(0, (area.height() - size.height()) / 2));
}

void CentreOnEveryShow(QWidget& window) {
    window.installEventFilter(new TCentreOnShow(window));
}
