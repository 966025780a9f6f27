#pragma once
// Text to number and number to text with the class library's rules: integers with an optional sign and
// '$' (or 0x) hexadecimal prefix, floats with the locale's decimal separator, and EConvertError with the
// class library's messages for text that does not fit.
#include <QChar>
#include <QString>

// The decimal separator of the current default locale.
QChar DecimalSeparator();

bool TryStrToInt(const QString& text, qint32& value);
bool TryStrToInt64(const QString& text, qint64& value);
// Raise EConvertError "'%s' is not a valid integer value".
qint32 StrToInt(const QString& text);
qint64 StrToInt64(const QString& text);

bool TryStrToFloat(const QString& text, double& value, QChar decimalSeparator = DecimalSeparator());
// Raises EConvertError "'%s' is not a valid floating point value".
double StrToFloat(const QString& text, QChar decimalSeparator = DecimalSeparator());
// General format with 15 significant digits: fixed notation where it stays short, else "1.5E-7".
QString FloatToStr(double value, QChar decimalSeparator = DecimalSeparator());
