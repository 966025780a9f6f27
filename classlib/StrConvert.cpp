#include "classlib/StrConvert.h"
#include "classlib/SysUtils.h"
#include <QLocale>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

int hexDigit(QChar c) {
    if (isDigit(c))
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// Leading blanks, a sign, then decimal digits or '$'/'0x'/'x' and hexadecimal digits; nothing after.
// Hexadecimal text covers the whole unsigned range of the type (as a bit pattern), decimal text the signed
// one.
bool parseInteger(const QString& text, int bits, qint64& out) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    bool hex = false;
    if (i < n && text[i] == u'$') {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    } else if (i < n && (text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        ++i;
    }
    if (i >= n)
        return false;
    const quint64 unsignedMax = bits == 64 ? std::numeric_limits<quint64>::max() : (quint64(1) << bits) - 1;
    const quint64 limit = hex ? unsignedMax : (quint64(1) << (bits - 1)) - (negative ? 0 : 1);
    const int base = hex ? 16 : 10;
    quint64 value = 0;
    for (; i < n; ++i) {
        const int d = hex ? hexDigit(text[i]) : (isDigit(text[i]) ? text[i].unicode() - u'0' : -1);
        if (d < 0)
            return false;
        if (value > (limit - quint64(d)) / quint64(base))
            return false;
        value = value * quint64(base) + quint64(d);
    }
    if (hex && bits < 64 && (value >> (bits - 1)) != 0)
        value |= ~unsignedMax; // sign-extend the bit pattern
    out = negative ? qint64(0 - value) : qint64(value);
    return true;
}

[[noreturn]] void raiseInvalidInteger(const QString& text) {
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

} // namespace

QChar DecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point.front();
}

bool TryStrToInt(const QString& text, qint32& value) {
    qint64 v = 0;
    if (!parseInteger(text, 32, v))
        return false;
    value = qint32(v);
    return true;
}

bool TryStrToInt64(const QString& text, qint64& value) {
    return parseInteger(text, 64, value);
}

qint32 StrToInt(const QString& text) {
    qint32 v = 0;
    if (!TryStrToInt(text, v))
        raiseInvalidInteger(text);
    return v;
}

qint64 StrToInt64(const QString& text) {
    qint64 v = 0;
    if (!TryStrToInt64(text, v))
        raiseInvalidInteger(text);
    return v;
}

bool TryStrToFloat(const QString& text, double& value, QChar decimalSeparator) {
    // Blanks around, a sign, digits with at most one decimal separator, an optional exponent. The point is
    // no separator where the locale uses another one.
    const QString t = text.trimmed();
    std::string plain;
    qsizetype i = 0;
    const qsizetype n = t.size();
    if (i < n && (t[i] == u'+' || t[i] == u'-')) {
        if (t[i] == u'-')
            plain += '-';
        ++i;
    }
    int digits = 0;
    for (; i < n && isDigit(t[i]); ++i, ++digits)
        plain += char(t[i].unicode());
    if (i < n && t[i] == decimalSeparator) {
        plain += '.';
        for (++i; i < n && isDigit(t[i]); ++i, ++digits)
            plain += char(t[i].unicode());
    }
    if (digits == 0)
        return false;
    if (i < n && (t[i] == u'e' || t[i] == u'E')) {
        plain += 'e';
        ++i;
        if (i < n && (t[i] == u'+' || t[i] == u'-'))
            plain += char(t[i++].unicode());
        int expDigits = 0;
        for (; i < n && isDigit(t[i]); ++i, ++expDigits)
            plain += char(t[i].unicode());
        if (expDigits == 0)
            return false;
    }
    if (i != n)
        return false;
    double v = 0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), v);
    if (ec != std::errc() || end != plain.data() + plain.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

double StrToFloat(const QString& text, QChar decimalSeparator) {
    double v = 0;
    if (!TryStrToFloat(text, v, decimalSeparator))
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return v;
}

QString FloatToStr(double value, QChar decimalSeparator) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0)
        return QStringLiteral("0");
    constexpr int precision = 15;
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, precision - 1);
    const std::string sci(buf, res.ptr);
    // sci = [-]d.dddddddddddddde[+-]xx
    const bool negative = sci.front() == '-';
    const std::size_t ePos = sci.find('e');
    std::string digits;
    for (std::size_t k = negative ? 1 : 0; k < ePos; ++k)
        if (sci[k] != '.')
            digits += sci[k];
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    const int exponent = std::stoi(sci.substr(ePos + 1));

    QString out = negative ? QStringLiteral("-") : QString();
    const int nd = int(digits.size());
    if (exponent >= precision || exponent < -4) {
        out += QChar(u'0' + (digits[0] - '0'));
        if (nd > 1) {
            out += decimalSeparator;
            out += QString::fromLatin1(digits.data() + 1, nd - 1);
        }
        out += u'E';
        out += QString::number(exponent);
    } else if (exponent >= 0) {
        out += QString::fromLatin1(digits.data(), std::min(nd, exponent + 1));
        for (int k = nd; k < exponent + 1; ++k)
            out += u'0';
        if (nd > exponent + 1) {
            out += decimalSeparator;
            out += QString::fromLatin1(digits.data() + exponent + 1, nd - exponent - 1);
        }
    } else {
        out += u'0';
        out += decimalSeparator;
        for (int k = 0; k < -exponent - 1; ++k)
            out += u'0';
        out += QString::fromLatin1(digits.data(), nd);
    }
    return out;
}
