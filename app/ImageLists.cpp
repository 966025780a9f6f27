#include "app/ImageLists.h"
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kGreen(29, 168, 56);
const QColor kDarkGreen(0, 95, 53);
const QColor kLime(133, 210, 0);

QPixmap Blank(int size, const QColor& background) {
    QPixmap pm(size, size);
    pm.fill(background);
    return pm;
}

// One tool-bar image: a rounded tile with a simple glyph.
QPixmap ToolImage(int index) {
    QPixmap pm = Blank(32, Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(index == IconIndex::Exit ? QColor(200, 40, 40) : kGreen);
    p.drawRoundedRect(QRectF(2, 2, 28, 28), 6, 6);
    QPen pen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (index) {
    case IconIndex::Search:
        p.drawEllipse(QRectF(8, 8, 11, 11));
        p.drawLine(QPointF(18, 18), QPointF(24, 24));
        break;
    case IconIndex::Setup:
        p.drawEllipse(QRectF(11, 11, 10, 10));
        for (int a = 0; a < 360; a += 45) {
            p.save();
            p.translate(16, 16);
            p.rotate(a);
            p.drawLine(QPointF(0, 7), QPointF(0, 10));
            p.restore();
        }
        break;
    case IconIndex::SendConfig:
        p.drawLine(QPointF(8, 16), QPointF(23, 16));
        p.drawLine(QPointF(17, 10), QPointF(23, 16));
        p.drawLine(QPointF(17, 22), QPointF(23, 16));
        break;
    case IconIndex::Help: {
        QFont f;
        f.setPixelSize(22);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(2, 2, 28, 28), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case IconIndex::Exit:
        p.drawLine(QPointF(10, 10), QPointF(22, 22));
        p.drawLine(QPointF(22, 10), QPointF(10, 22));
        break;
    case IconIndex::Language:
        p.drawEllipse(QRectF(7, 7, 18, 18));
        p.drawLine(QPointF(7, 16), QPointF(25, 16));
        p.drawEllipse(QRectF(12, 7, 8, 18));
        break;
    case IconIndex::About: {
        QFont f;
        f.setPixelSize(22);
        f.setBold(true);
        f.setItalic(true);
        p.setFont(f);
        p.drawText(QRectF(2, 2, 28, 28), Qt::AlignCenter, QStringLiteral("i"));
        break;
    }
    case IconIndex::Log:
        for (int y = 10; y <= 22; y += 4)
            p.drawLine(QPointF(9, y), QPointF(23, y));
        break;
    default:
        break;
    }
    return pm;
}

QPixmap Transparent16() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    return pm;
}

// A lamp for the grids: lit green or red, or grey when off.
QPixmap Lamp(const QColor& color) {
    QPixmap pm = Transparent16();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    QRadialGradient g(QPointF(6, 6), 8);
    g.setColorAt(0, color.lighter(170));
    g.setColorAt(1, color);
    p.setBrush(g);
    p.drawEllipse(QRectF(2, 2, 12, 12));
    return pm;
}

// A tree image: a small labelled box.
QPixmap Tag(const QColor& color, const QString& text) {
    QPixmap pm = Transparent16();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(color.darker(150));
    p.setBrush(color);
    p.drawRoundedRect(QRectF(1, 2, 14, 12), 2, 2);
    QFont f;
    f.setPixelSize(9);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(1, 2, 14, 12), Qt::AlignCenter, text);
    return pm;
}

QPixmap Device(const QColor& color) {
    QPixmap pm = Transparent16();
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.setBrush(color);
    p.drawRect(2, 1, 11, 13);
    p.setBrush(kLime);
    p.drawRect(4, 3, 7, 3);
    for (int y = 8; y <= 12; y += 2)
        p.drawLine(4, y, 10, y);
    return pm;
}

// A device with a red exclamation mark in its lower right corner: not every setting was read.
QPixmap DeviceNotFullyRead(const QColor& color) {
    QPixmap pm = Device(color);
    QPainter p(&pm);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(210, 30, 30));
    p.drawRect(10, 7, 6, 9);
    p.setBrush(Qt::white);
    p.drawRect(12, 8, 2, 4);
    p.drawRect(12, 13, 2, 2);
    return pm;
}

} // namespace

const QList<QPixmap>& ImageListIcones() {
    static const QList<QPixmap> images = [] {
        QList<QPixmap> list;
        for (int i = 0; i <= IconIndex::Log; ++i)
            list << ToolImage(i);
        return list;
    }();
    return images;
}

const QList<QPixmap>& ImageListSimulation() {
    static const QList<QPixmap> images = [] {
        QList<QPixmap> list(19, Transparent16());
        list[0] = Tag(QColor(40, 110, 200), QStringLiteral("A")); // analog
        list[1] = Tag(QColor(90, 90, 90), QStringLiteral("D"));   // digital group
        {                                                         // network
            QPixmap pm = Transparent16();
            QPainter p(&pm);
            p.setPen(QPen(kDarkGreen, 2));
            p.drawLine(2, 12, 14, 12);
            for (int x = 3; x <= 13; x += 5) {
                p.fillRect(x - 2, 3, 5, 6, kGreen);
                p.drawLine(x, 9, x, 12);
            }
            list[2] = pm;
        }
        list[3] = Device(QColor(210, 210, 210));
        list[SimulationIndex::OutputOn] = Lamp(QColor(220, 30, 30));
        list[SimulationIndex::InputOn] = Lamp(QColor(20, 180, 40));
        list[SimulationIndex::Off] = Lamp(QColor(150, 150, 150));
        list[11] = Tag(QColor(20, 140, 60), QStringLiteral("I"));  // input, normal
        list[12] = Tag(QColor(200, 120, 20), QStringLiteral("O")); // output
        list[13] = Tag(QColor(120, 60, 180), QStringLiteral("C")); // input, counter
        list[14] = Tag(QColor(200, 40, 40), QStringLiteral("L"));  // output linked to a counter
        list[15] = Device(QColor(255, 220, 80));                   // device, modified
        list[16] = DeviceNotFullyRead(QColor(210, 210, 210));
        list[17] = DeviceNotFullyRead(QColor(255, 220, 80));
        list[18] = Tag(QColor(20, 120, 140), QStringLiteral("M")); // input, mixed
        return list;
    }();
    return images;
}

QPixmap LogoPicture() {
    QPixmap pm(100, 36);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawRoundedRect(QRectF(0, 4, 28, 28), 5, 5);
    p.setPen(Qt::white);
    QFont f;
    f.setPixelSize(20);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(0, 4, 28, 28), Qt::AlignCenter, QStringLiteral("V"));
    p.setPen(kDarkGreen);
    p.drawText(QRectF(32, 0, 68, 36), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("DAXO"));
    return pm;
}

QPixmap SplashPicture() {
    QPixmap pm(452, 302);
    pm.fill(QColor(255, 0, 255)); // clFuchsia: shows what lies behind
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    QPainterPath card;
    card.addRoundedRect(QRectF(0, 0, 452, 302), 24, 24);
    p.fillPath(card, QColor(255, 255, 0));
    p.setClipPath(card);
    p.fillRect(QRect(0, 230, 452, 72), kGreen);
    p.setClipping(false);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(kDarkGreen);
    QFont title;
    title.setPixelSize(44);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRect(20, 60, 412, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Vexa Daxo Soft"));
    QFont sub;
    sub.setPixelSize(20);
    p.setFont(sub);
    p.drawText(QRect(24, 120, 412, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Config Tools"));
    // A row of modules on a bus line.
    p.setPen(QPen(kDarkGreen, 3));
    p.drawLine(24, 200, 428, 200);
    for (int i = 0; i < 6; ++i) {
        const int x = 40 + i * 66;
        p.setBrush(QColor(235, 235, 235));
        p.setPen(QPen(kDarkGreen, 2));
        p.drawRect(x, 160, 40, 30);
        p.drawLine(x + 20, 190, x + 20, 200);
        p.fillRect(x + 6, 166, 28, 6, kLime);
    }
    return pm;
}

// A module on a DIN rail with its terminals and status lights.
QPixmap ProgramPicture() {
    QPixmap pm(128, 128);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor green(29, 168, 56);
    const QColor darkGreen(0, 95, 53);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(170, 170, 170));
    p.drawRect(QRectF(4, 58, 120, 14)); // the rail
    p.setBrush(darkGreen);
    p.drawRoundedRect(QRectF(24, 8, 80, 112), 8, 8);
    p.setBrush(green);
    p.drawRoundedRect(QRectF(30, 24, 68, 80), 5, 5);
    p.setBrush(QColor(60, 60, 60));
    for (int i = 0; i < 4; ++i) {
        p.drawRect(QRectF(32 + i * 17, 10, 12, 10));
        p.drawRect(QRectF(32 + i * 17, 108, 12, 10));
    }
    p.setBrush(QColor(133, 210, 0));
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QRectF(36 + i * 16, 32, 8, 8));
    p.setPen(Qt::white);
    QFont f;
    f.setPixelSize(26);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(30, 48, 68, 50), Qt::AlignCenter, QStringLiteral("VD"));
    return pm;
}

QIcon ProgramIcon() {
    // The small size is the module image of the network tree, which reads better than a scaled picture.
    QIcon icon(ProgramPicture());
    icon.addPixmap(ImageListSimulation().at(3));
    return icon;
}
