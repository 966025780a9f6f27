#pragma once
// Colour and cursor values with their identifiers, as the inspector offers them by name: a colour is a
// 32-bit value (0x00BBGGRR, or a system colour 0x800000nn), a cursor a small signed number.
#include <QColor>
#include <QString>
#include <QStringList>

using TColor = qint32;
using TCursor = qint16;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clBtnFace = TColor(0x8000000F);
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// The colour's identifier ("clRed"), else "$" and eight hexadecimal digits.
QString ColorToString(TColor color);
// An identifier (ignoring case) or a number ("$00FF00", "255"); EConvertError for anything else.
TColor StringToColor(const QString& text);
bool IdentToColor(const QString& ident, TColor& color);
// Every colour identifier, in table order.
QStringList GetColorValues();
// The colour to draw with (system colours from the application's palette).
QColor ColorToRGB(TColor color);
// The colour value of an RGB colour (0x00BBGGRR).
TColor RGBToColor(const QColor& color);

inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crHandPoint = -21;

// The cursor's identifier ("crHandPoint"), else its number.
QString CursorToString(TCursor cursor);
// An identifier (ignoring case) or a number; EConvertError for anything else.
TCursor StringToCursor(const QString& text);
QStringList GetCursorValues();
