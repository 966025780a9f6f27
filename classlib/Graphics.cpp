#include "classlib/Graphics.h"
#include "classlib/StrConvert.h"
#include "classlib/SysUtils.h"
#include <QApplication>
#include <QPalette>
#include <limits>

namespace {

struct TIdentMapEntry {
    qint32 Value;
    const char* Name;
};

// System colours are 0x80000000 plus the platform's colour index.
constexpr TIdentMapEntry kColors[] = {
    {0x000000, "clBlack"},
    {0x000080, "clMaroon"},
    {0x008000, "clGreen"},
    {0x008080, "clOlive"},
    {0x800000, "clNavy"},
    {0x800080, "clPurple"},
    {0x808000, "clTeal"},
    {0x808080, "clGray"},
    {0xC0C0C0, "clSilver"},
    {0x0000FF, "clRed"},
    {0x00FF00, "clLime"},
    {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"},
    {0xFF00FF, "clFuchsia"},
    {0xFFFF00, "clAqua"},
    {0xFFFFFF, "clWhite"},
    {0xC0DCC0, "clMoneyGreen"},
    {0xF0CAA6, "clSkyBlue"},
    {0xF0FBFF, "clCream"},
    {0xA4A0A0, "clMedGray"},
    {qint32(0x80000000), "clScrollBar"},
    {qint32(0x80000001), "clBackground"},
    {qint32(0x80000002), "clActiveCaption"},
    {qint32(0x80000003), "clInactiveCaption"},
    {qint32(0x80000004), "clMenu"},
    {qint32(0x80000005), "clWindow"},
    {qint32(0x80000006), "clWindowFrame"},
    {qint32(0x80000007), "clMenuText"},
    {qint32(0x80000008), "clWindowText"},
    {qint32(0x80000009), "clCaptionText"},
    {qint32(0x8000000A), "clActiveBorder"},
    {qint32(0x8000000B), "clInactiveBorder"},
    {qint32(0x8000000C), "clAppWorkSpace"},
    {qint32(0x8000000D), "clHighlight"},
    {qint32(0x8000000E), "clHighlightText"},
    {qint32(0x8000000F), "clBtnFace"},
    {qint32(0x80000010), "clBtnShadow"},
    {qint32(0x80000011), "clGrayText"},
    {qint32(0x80000012), "clBtnText"},
    {qint32(0x80000013), "clInactiveCaptionText"},
    {qint32(0x80000014), "clBtnHighlight"},
    {qint32(0x80000015), "cl3DDkShadow"},
    {qint32(0x80000016), "cl3DLight"},
    {qint32(0x80000017), "clInfoText"},
    {qint32(0x80000018), "clInfoBk"},
    {0x1FFFFFFF, "clNone"},
    {0x20000000, "clDefault"},
};

constexpr TIdentMapEntry kCursors[] = {
    {0, "crDefault"},     {-1, "crNone"},     {-2, "crArrow"},    {-3, "crCross"},     {-4, "crIBeam"},
    {-6, "crSizeNESW"},   {-7, "crSizeNS"},   {-8, "crSizeNWSE"}, {-9, "crSizeWE"},    {-10, "crUpArrow"},
    {-11, "crHourGlass"}, {-12, "crDrag"},    {-13, "crNoDrop"},  {-14, "crHSplit"},   {-15, "crVSplit"},
    {-16, "crMultiDrag"}, {-17, "crSQLWait"}, {-18, "crNo"},      {-19, "crAppStart"}, {-20, "crHelp"},
    {-21, "crHandPoint"}, {-22, "crSizeAll"},
};

template <size_t N> const char* NameOf(const TIdentMapEntry (&map)[N], qint32 value) {
    for (const TIdentMapEntry& e : map)
        if (e.Value == value)
            return e.Name;
    return nullptr;
}

template <size_t N> bool ValueOf(const TIdentMapEntry (&map)[N], const QString& name, qint32& value) {
    for (const TIdentMapEntry& e : map)
        if (name.compare(QLatin1String(e.Name), Qt::CaseInsensitive) == 0) {
            value = e.Value;
            return true;
        }
    return false;
}

template <size_t N> QStringList NamesOf(const TIdentMapEntry (&map)[N]) {
    QStringList names;
    for (const TIdentMapEntry& e : map)
        names << QString::fromLatin1(e.Name);
    return names;
}

QPalette::ColorRole RoleOfSystemColor(int index) {
    switch (index) {
    case 1:
    case 12:
        return QPalette::Window;
    case 5:
        return QPalette::Base;
    case 7:
    case 8:
        return QPalette::Text;
    case 13:
        return QPalette::Highlight;
    case 14:
        return QPalette::HighlightedText;
    case 16:
        return QPalette::Mid;
    case 17:
        return QPalette::PlaceholderText;
    case 18:
        return QPalette::ButtonText;
    case 20:
        return QPalette::Light;
    case 21:
        return QPalette::Shadow;
    case 22:
        return QPalette::Midlight;
    case 23:
        return QPalette::ToolTipText;
    case 24:
        return QPalette::ToolTipBase;
    default:
        return QPalette::Button;
    }
}

} // namespace

QString ColorToString(TColor color) {
    if (const char* name = NameOf(kColors, color))
        return QString::fromLatin1(name);
    return u'$' + QStringLiteral("%1").arg(quint32(color), 8, 16, QLatin1Char('0')).toUpper();
}

bool IdentToColor(const QString& ident, TColor& color) {
    return ValueOf(kColors, ident, color);
}

TColor StringToColor(const QString& text) {
    TColor color = 0;
    if (IdentToColor(text.trimmed(), color))
        return color;
    // Hexadecimal text covers the whole 32-bit pattern, so system colours can be typed as "$8000000F".
    return StrToInt(text.trimmed());
}

QStringList GetColorValues() {
    return NamesOf(kColors);
}

QColor ColorToRGB(TColor color) {
    if (quint32(color) & 0x80000000u) {
        const QPalette palette = QApplication::palette();
        return palette.color(RoleOfSystemColor(int(quint32(color) & 0xFF)));
    }
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

TColor RGBToColor(const QColor& color) {
    return TColor(color.red() | (color.green() << 8) | (color.blue() << 16));
}

QString CursorToString(TCursor cursor) {
    if (const char* name = NameOf(kCursors, cursor))
        return QString::fromLatin1(name);
    return QString::number(cursor);
}

TCursor StringToCursor(const QString& text) {
    qint32 value = 0;
    if (ValueOf(kCursors, text.trimmed(), value))
        return TCursor(value);
    const qint32 number = StrToInt(text.trimmed());
    if (number < std::numeric_limits<qint16>::min() || number > std::numeric_limits<qint16>::max())
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return TCursor(number);
}

QStringList GetCursorValues() {
    return NamesOf(kCursors);
}
