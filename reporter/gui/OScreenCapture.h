#pragma once
// Taking the screenshot with the toolkit: the foreground window or the monitor nearest to it, grabbed
// from the screen, with the focused control framed in red and the mouse cursor drawn in. Every routine
// here runs on the GUI thread.
#include "OBitmap.h"

#include <QCursor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>
#include <optional>

class QPixmap;
class QScreen;

namespace reporter {

// What the exception found: the control with the keyboard focus and the mouse cursor with its position.
struct TCaptureInputs {
    QPointer<QWidget> FocusWidget;
    std::optional<QCursor> Cursor;
    QPoint CursorPos; // global
};

TCaptureInputs CurrentCaptureInputs();

// The position in screens of the screen nearest to the window: the largest overlap, else the least
// distance (the first on a tie); -1 when there are no screens. An empty window counts as its top-left
// point.
int NearestScreenIndex(const QRect& window, const QList<QRect>& screens);

// The two nested one-pixel red frames around rect (the rectangle and the one inset by 1), cut to the
// image.
void DrawFocusFrame(QImage& image, const QRect& rect);

// Grabs an area of the desktop (in desktop coordinates) as the screen shows it; a null pixmap when the
// platform cannot. GrabScreenArea is the toolkit's grab; tests put others in its place.
using TScreenGrab = std::function<QPixmap(QScreen* screen, const QRect& area)>;
QPixmap GrabScreenArea(QScreen* screen, const QRect& area);

// The foreground window's frame (window, on the desktop) with foregroundWindow (no picture without
// one), else the monitor nearest to it; without a window the primary monitor. The picture of that area
// marked: two red frames around the focused control (focus, on the desktop), the cursor drawn at its place.
// The part of a window that lies off every screen stays black. A null image when there is no screen, the area
// lies wholly off the screens, or the grab gives nothing.
QImage CaptureMarkedArea(bool foregroundWindow, const std::optional<QRect>& window,
                         const std::optional<QRect>& focus, const std::optional<QCursor>& cursor,
                         const QPoint& cursorPos, const TScreenGrab& grab = GrabScreenArea);

// The same for the program's window (ProgramPictureWindow: the active one, else the one last active or
// the main window) and the inputs kept at the exception (on the GUI thread).
QImage CaptureScreenImage(bool foregroundWindow, const TCaptureInputs& inputs,
                          const TScreenGrab& grab = GrabScreenArea);

// The image in the reporter's pixel form; an empty picture for a null image.
TRgbImage ToRgbImage(const QImage& image);

} // namespace reporter
