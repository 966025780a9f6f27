#pragma once
// The mouse cursor as a screenshot shows it. The toolkit gives pictures only for cursors made from a
// pixmap or bitmaps; a standard shape is drawn as the arrow, so that the screenshot still shows where the
// mouse was. A blank cursor draws nothing.
#include <QCursor>
#include <QImage>
#include <QPoint>

namespace reporter {

// Drawn cursors are cut to this many pixels each way.
inline constexpr int CursorDrawSize = 32;

// The cursor's picture (ARGB32, transparent where the cursor is) and its hot spot; a null picture for
// a blank cursor.
QImage CursorImage(const QCursor& cursor, QPoint* hotSpot);

// Draws the cursor's top-left 32 x 32 pixels with its hot spot at position (in target's pixels).
void DrawCursor(QImage& target, const QCursor& cursor, const QPoint& position);

} // namespace reporter
