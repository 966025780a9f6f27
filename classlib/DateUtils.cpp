#include "classlib/DateUtils.h"
#include "classlib/SysUtils.h"
#include <QRegularExpression>
#include <cmath>

namespace {

const QDate kEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;

[[noreturn]] void RaiseInvalid(const QString& text, const char* what) {
    throw EConvertError(QStringLiteral("'%1' is not a valid %2").arg(text, QLatin1String(what)));
}

bool ParseDate(const QString& text, QDate& date) {
    static const QRegularExpression re(
        QStringLiteral("^\\s*(\\d{1,2})\\s*[/.-]\\s*(\\d{1,2})\\s*[/.-]\\s*(\\d{1,4})\\s*$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    int year = m.captured(3).toInt();
    if (m.captured(3).size() <= 2)
        year += year < 50 ? 2000 : 1900;
    date = QDate(year, m.captured(2).toInt(), m.captured(1).toInt());
    return date.isValid();
}

bool ParseTime(const QString& text, QTime& time) {
    static const QRegularExpression re(
        QStringLiteral("^\\s*(\\d{1,2})\\s*:\\s*(\\d{1,2})(?:\\s*:\\s*(\\d{1,2}))?\\s*([AaPp][Mm]?)?\\s*$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    int hour = m.captured(1).toInt();
    const QString ampm = m.captured(4).toUpper();
    if (!ampm.isEmpty()) {
        if (hour < 1 || hour > 12)
            return false;
        hour %= 12;
        if (ampm.startsWith(u'P'))
            hour += 12;
    }
    time = QTime(hour, m.captured(2).toInt(), m.captured(3).isEmpty() ? 0 : m.captured(3).toInt());
    return time.isValid();
}

// Before the start of the count the day is negative and the time of day still counts forward from it:
// -1.25 is 29 December 1899, 06:00.
TDateTime Encode(const QDate& date, const QTime& time) {
    const double days = double(kEpoch.daysTo(date));
    const double fraction = time.msecsSinceStartOfDay() / kMsPerDay;
    return days >= 0 ? days + fraction : days - fraction;
}

} // namespace

QString ShortDateFormat() {
    return QStringLiteral("dd/MM/yyyy");
}

QString LongTimeFormat() {
    return QStringLiteral("hh:mm:ss AP");
}

TDateTime EncodeDateTime(const QDateTime& value) {
    return Encode(value.date(), value.time());
}

QDateTime DecodeDateTime(TDateTime value) {
    const double days = std::trunc(value);
    const qint64 ms = std::llround(std::fabs(value - days) * kMsPerDay);
    return QDateTime(kEpoch.addDays(qint64(days)), QTime(0, 0)).addMSecs(ms);
}

TDateTime DateOf(TDateTime value) {
    return std::trunc(value);
}

TDateTime TimeOf(TDateTime value) {
    return std::fabs(value - std::trunc(value));
}

TDateTime Now() {
    return EncodeDateTime(QDateTime::currentDateTime());
}

QString DateToStr(TDateTime value) {
    return DecodeDateTime(value).date().toString(ShortDateFormat());
}

QString TimeToStr(TDateTime value) {
    return DecodeDateTime(value).time().toString(LongTimeFormat());
}

QString DateTimeToStr(TDateTime value) {
    const QDateTime dt = DecodeDateTime(value);
    return dt.date().toString(ShortDateFormat()) + u' ' + dt.time().toString(LongTimeFormat());
}

TDateTime StrToDate(const QString& text) {
    QDate date;
    if (!ParseDate(text, date))
        RaiseInvalid(text, "date");
    return Encode(date, QTime(0, 0));
}

TDateTime StrToTime(const QString& text) {
    QTime time;
    if (!ParseTime(text, time))
        RaiseInvalid(text, "time");
    return time.msecsSinceStartOfDay() / kMsPerDay;
}

TDateTime StrToDateTime(const QString& text) {
    static const QRegularExpression split(QStringLiteral("^\\s*(\\S+)\\s*(.*)$"));
    const QRegularExpressionMatch m = split.match(text);
    QDate date;
    QTime time(0, 0);
    if (!m.hasMatch() || !ParseDate(m.captured(1), date) ||
        (!m.captured(2).trimmed().isEmpty() && !ParseTime(m.captured(2), time)))
        RaiseInvalid(text, "date and time");
    return Encode(date, time);
}
