#include "app/ScreenFit.h"
#include <QApplication>
#include <QLayout>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QVariant>
#include <QWidget>

namespace {

constexpr const char* DesignedSizeProperty = "vdDesignedSize";
constexpr const char* ScrollAreaName = "screenFitArea";

// Moves everything the window shows into one widget of its designed size inside a scroll area: the
// window's layout with the widgets it arranges, and the widgets placed by hand at their places.
QScrollArea* PutContentsInScrollArea(QWidget& window, const QSize& designed) {
    auto* contents = new QWidget;
    contents->setObjectName(QStringLiteral("screenFitContents"));
    if (QLayout* layout = window.layout())
        contents->setLayout(layout); // takes the layout's widgets along
    for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow()) // a dialog the window owns
            continue;
        const bool hidden = child->isHidden();
        const QPoint at = child->pos();
        child->setParent(contents);
        child->move(at);
        child->setVisible(!hidden);
    }
    contents->setFixedSize(designed);
    auto* area = new QScrollArea(&window);
    area->setObjectName(QLatin1String(ScrollAreaName));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(contents);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(area);
    area->show();
    // The scroll area follows the keyboard focus only on Tab of its own: a field given the focus by the
    // program (a box that opens below the view) must come into view too, once the layouts have placed a
    // control just shown. A click leaves the view where the user clicked.
    QObject::connect(qApp, &QApplication::focusChanged, area, [area](QWidget*, QWidget* now) {
        if (!now || !area->widget()->isAncestorOf(now) || QApplication::mouseButtons() != Qt::NoButton)
            return;
        QMetaObject::invokeMethod(
            area,
            [area, focused = QPointer<QWidget>(now)] {
                if (focused && focused->hasFocus())
                    area->ensureWidgetVisible(focused);
            },
            Qt::QueuedConnection);
    });
    return area;
}

} // namespace

QScrollArea* ScreenFitArea(const QWidget& window) {
    return window.findChild<QScrollArea*>(QLatin1String(ScrollAreaName), Qt::FindDirectChildrenOnly);
}

QSize FitToScreen(QWidget& window, const QRect& area, const QMargins& frame) {
    QSize designed = window.property(DesignedSizeProperty).toSize();
    if (!designed.isValid()) {
        designed = window.size();
        window.setProperty(DesignedSizeProperty, designed);
    }
    const QSize room = area.size().shrunkBy(frame);
    const bool fits = designed.width() <= room.width() && designed.height() <= room.height();
    if (fits && !ScreenFitArea(window))
        return designed; // nothing changes
    QScrollArea* scroll = ScreenFitArea(window);
    if (!fits && !scroll)
        scroll = PutContentsInScrollArea(window, designed);
    QSize fitted = designed;
    if (!fits) {
        // A scroll bar for one direction takes room in the other; one pixel more for the rounding of a
        // fractional scale factor, which would otherwise bring the other bar along.
        if (designed.height() > room.height())
            fitted.rwidth() += scroll->verticalScrollBar()->sizeHint().width() + 1;
        if (designed.width() > room.width())
            fitted.rheight() += scroll->horizontalScrollBar()->sizeHint().height() + 1;
        fitted = fitted.boundedTo(room);
    }
    const bool fixed = window.minimumSize() == window.maximumSize();
    if (fixed)
        window.setFixedSize(fitted);
    else {
        window.setMinimumSize(window.minimumSize().boundedTo(fitted));
        window.resize(fitted);
    }
    return fitted;
}
