#include "reporter/gui/OCursorImage.h"

#include <QBitmap>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>

namespace reporter {

namespace {

// The classic arrow: white with a black outline, hot spot at its tip.
QImage ArrowImage() {
    QImage image(CursorDrawSize, CursorDrawSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    const QPolygon arrow{QPoint(0, 0),  QPoint(0, 16), QPoint(4, 12), QPoint(7, 19),
                         QPoint(9, 18), QPoint(6, 11), QPoint(11, 11)};
    painter.drawPolygon(arrow);
    return image;
}

// A cursor made of two bitmaps: mask set and bit set is black, mask set and bit clear is white, mask
// clear is transparent (the screen-inverting combination is left transparent too).
QImage ImageFromBitmaps(const QBitmap& bits, const QBitmap& mask) {
    const QImage b = bits.toImage().convertToFormat(QImage::Format_RGB32);
    const QImage m = mask.isNull() ? QImage() : mask.toImage().convertToFormat(QImage::Format_RGB32);
    QImage image(b.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            const bool opaque = m.isNull() || (m.valid(x, y) && qGray(m.pixel(x, y)) < 128);
            if (opaque)
                image.setPixel(x, y, qGray(b.pixel(x, y)) < 128 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    return image;
}

} // namespace

QImage CursorImage(const QCursor& cursor, QPoint* hotSpot) {
    *hotSpot = QPoint(0, 0);
    switch (cursor.shape()) {
    case Qt::BlankCursor:
        return QImage();
    case Qt::BitmapCursor: {
        *hotSpot = cursor.hotSpot();
        const QPixmap pixmap = cursor.pixmap();
        if (!pixmap.isNull())
            return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        const QBitmap bits = cursor.bitmap();
        if (!bits.isNull())
            return ImageFromBitmaps(bits, cursor.mask());
        *hotSpot = QPoint(0, 0);
        return ArrowImage();
    }
    default:
        return ArrowImage();
    }
}

void DrawCursor(QImage& target, const QCursor& cursor, const QPoint& position) {
    QPoint hotSpot;
    const QImage image = CursorImage(cursor, &hotSpot);
    if (image.isNull() || target.isNull())
        return;
    QPainter painter(&target);
    painter.drawImage(position - hotSpot, image, QRect(0, 0, CursorDrawSize, CursorDrawSize));
}

} // namespace reporter
