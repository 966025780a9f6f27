#pragma once
// TDateTime: days since 30 December 1899 as a double, the fraction being the time of day. Text forms use
// the class library's formats, fixed so that they fit the inspector's date and time edit masks.
#include <QDateTime>
#include <QString>

using TDateTime = double;

// "dd/MM/yyyy", "hh:mm:ss AP" and the two joined by a blank.
QString ShortDateFormat();
QString LongTimeFormat();

TDateTime EncodeDateTime(const QDateTime& value);
QDateTime DecodeDateTime(TDateTime value);
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);
TDateTime Now();

QString DateToStr(TDateTime value);
QString TimeToStr(TDateTime value);
// Always with the time part, so that the text fits the date-and-time edit mask.
QString DateTimeToStr(TDateTime value);
// Each raises EConvertError "'%s' is not a valid date" ("time", "date and time") for text that does not
// fit. Day, month and year may have one or more digits; a two-digit year is taken in 1950..2049.
TDateTime StrToDate(const QString& text);
TDateTime StrToTime(const QString& text);
TDateTime StrToDateTime(const QString& text);
