#include "reporter/gui/OScreenCapture.h"

#include "reporter/gui/OCursorImage.h"
#include "reporter/gui/OQtWindows.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include <algorithm>

namespace reporter {

namespace {

const QRgb FrameColor = qRgb(255, 0, 0);

int64_t Gap(int firstBegin, int firstEnd, int secondBegin, int secondEnd) {
    // Ends are exclusive; overlapping or touching spans are 0 apart.
    return std::max<int64_t>({0, int64_t(secondBegin) - firstEnd, int64_t(firstBegin) - secondEnd});
}

QRect Scaled(const QRect& rect, qreal factor) {
    if (factor == 1.0)
        return rect;
    return QRect(QPoint(qRound(rect.x() * factor), qRound(rect.y() * factor)),
                 QSize(qRound(rect.width() * factor), qRound(rect.height() * factor)));
}

QCursor CurrentCursor(const QPoint& position) {
    if (const QCursor* overridden = QGuiApplication::overrideCursor())
        return *overridden;
    if (const QWidget* under = QApplication::widgetAt(position))
        return under->cursor();
    return QCursor(Qt::ArrowCursor);
}

} // namespace

TCaptureInputs CurrentCaptureInputs() {
    TCaptureInputs inputs;
    inputs.FocusWidget = QApplication::focusWidget();
    inputs.CursorPos = QCursor::pos();
    inputs.Cursor = CurrentCursor(inputs.CursorPos);
    return inputs;
}

int NearestScreenIndex(const QRect& window, const QList<QRect>& screens) {
    const QRect w(window.topLeft(), QSize(std::max(window.width(), 1), std::max(window.height(), 1)));
    int best = -1;
    int64_t bestOverlap = 0;
    for (int i = 0; i < screens.size(); ++i) {
        const QRect overlap = w.intersected(screens[i]);
        const int64_t area = overlap.isEmpty() ? 0 : int64_t(overlap.width()) * overlap.height();
        if (area > bestOverlap) {
            bestOverlap = area;
            best = i;
        }
    }
    if (best >= 0)
        return best;
    int64_t bestDistance = 0;
    for (int i = 0; i < screens.size(); ++i) {
        const QRect& s = screens[i];
        const int64_t dx = Gap(w.left(), w.left() + w.width(), s.left(), s.left() + s.width());
        const int64_t dy = Gap(w.top(), w.top() + w.height(), s.top(), s.top() + s.height());
        const int64_t distance = dx * dx + dy * dy;
        if (best < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

void DrawFocusFrame(QImage& image, const QRect& rect) {
    if (image.isNull())
        return;
    for (const QRect& frame : {rect, rect.adjusted(1, 1, -1, -1)}) {
        if (frame.isEmpty())
            continue;
        const QRect visible = frame.intersected(image.rect());
        if (visible.isEmpty())
            continue;
        // Only the parts of the four edges that lie inside the image are touched.
        for (int x = visible.left(); x <= visible.right(); ++x) {
            if (frame.top() == visible.top())
                image.setPixel(x, frame.top(), FrameColor);
            if (frame.bottom() == visible.bottom())
                image.setPixel(x, frame.bottom(), FrameColor);
        }
        for (int y = visible.top(); y <= visible.bottom(); ++y) {
            if (frame.left() == visible.left())
                image.setPixel(frame.left(), y, FrameColor);
            if (frame.right() == visible.right())
                image.setPixel(frame.right(), y, FrameColor);
        }
    }
}

QPixmap GrabScreenArea(QScreen* screen, const QRect& area) {
    // Window 0 grabs what the screen shows. The platforms read the position relative to the screen's
    // top-left, except the offscreen one, which reads it in desktop coordinates.
    const QRect r = QGuiApplication::platformName() == QLatin1String("offscreen")
                        ? area
                        : area.translated(-screen->geometry().topLeft());
    return screen->grabWindow(0, r.x(), r.y(), r.width(), r.height());
}

QImage CaptureScreenImage(bool foregroundWindow, const TCaptureInputs& inputs, const TScreenGrab& grab) {
    // The program's own window, also while another program's window is in front.
    const QWidget* active = foregroundWindow ? ProgramPictureWindow() : QApplication::activeWindow();
    std::optional<QRect> window;
    if (active != nullptr)
        window = active->frameGeometry();
    std::optional<QRect> focus;
    if (const QWidget* control = inputs.FocusWidget.data(); control != nullptr && control->isVisible())
        focus = QRect(control->mapToGlobal(QPoint(0, 0)), control->size());
    return CaptureMarkedArea(foregroundWindow, window, focus, inputs.Cursor, inputs.CursorPos, grab);
}

QImage CaptureMarkedArea(bool foregroundWindow, const std::optional<QRect>& window,
                         const std::optional<QRect>& focus, const std::optional<QCursor>& cursor,
                         const QPoint& cursorPos, const TScreenGrab& grab) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    // A picture of the program's window with none known would show other programs' windows.
    if (screens.isEmpty() || (foregroundWindow && !window))
        return QImage();
    QList<QRect> geometries;
    QRect desktop;
    for (const QScreen* s : screens) {
        geometries.append(s->geometry());
        desktop |= s->geometry();
    }
    const int index = window ? NearestScreenIndex(*window, geometries) : -1;
    QScreen* screen = index >= 0 ? screens[index] : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        screen = screens.first();
    QRect area = foregroundWindow && window ? *window : screen->geometry();
    // An empty rectangle still gives a picture of one pixel each way.
    area = QRect(area.topLeft(), QSize(std::max(area.width(), 1), std::max(area.height(), 1)));
    // Only what lies on a screen can be grabbed; a platform may refuse the whole grab otherwise.
    const QRect visible = area.intersected(desktop);
    if (visible.isEmpty())
        return QImage();

    const QPixmap grabbed = grab(screen, visible);
    if (grabbed.isNull())
        return QImage();
    const qreal factor = grabbed.devicePixelRatio();
    QImage image(Scaled(QRect(QPoint(0, 0), area.size()), factor).size(), QImage::Format_RGB32);
    if (image.isNull())
        return QImage();
    image.fill(Qt::black);
    {
        // From here on, coordinates are the image's own pixels.
        QImage part = grabbed.toImage();
        part.setDevicePixelRatio(1.0);
        const QPoint offset = visible.topLeft() - area.topLeft();
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(qRound(offset.x() * factor), qRound(offset.y() * factor)), part);
    }

    if (focus)
        DrawFocusFrame(image, Scaled(focus->translated(-area.topLeft()), factor));
    if (cursor) {
        const QPoint local = cursorPos - area.topLeft();
        DrawCursor(image, *cursor, QPoint(qRound(local.x() * factor), qRound(local.y() * factor)));
    }
    return image;
}

TRgbImage ToRgbImage(const QImage& image) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return TRgbImage();
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    TRgbImage result = NewRgbImage(uint32_t(rgb.width()), uint32_t(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uint32_t* target = result.Pixels.data() + size_t(y) * result.Width;
        for (int x = 0; x < rgb.width(); ++x)
            target[x] = line[x] & 0xFFFFFF;
    }
    return result;
}

} // namespace reporter
