#include "classlib/StrConvert.h"
#include "classlib/SysUtils.h"
#include <gtest/gtest.h>

TEST(StrConvert, IntegersTakeASignAndHexadecimalPrefixes) {
    EXPECT_EQ(StrToInt(QStringLiteral("42")), 42);
    EXPECT_EQ(StrToInt(QStringLiteral("  -42")), -42); // leading blanks are skipped
    EXPECT_EQ(StrToInt(QStringLiteral("+7")), 7);
    EXPECT_EQ(StrToInt(QStringLiteral("$ff")), 255);
    EXPECT_EQ(StrToInt(QStringLiteral("0x10")), 16);
    EXPECT_EQ(StrToInt(QStringLiteral("-$10")), -16);
    EXPECT_EQ(StrToInt(QStringLiteral("$FFFFFFFF")), -1); // a 32-bit pattern
    EXPECT_EQ(StrToInt(QStringLiteral("-2147483648")), std::numeric_limits<qint32>::min());
    EXPECT_EQ(StrToInt64(QStringLiteral("-9223372036854775808")), std::numeric_limits<qint64>::min());

    for (const char* bad : {"", " ", "-", "$", "12 ", "1e3", "2147483648", "$100000000", "1.0", "0x"}) {
        qint32 v = 0;
        EXPECT_FALSE(TryStrToInt(QString::fromLatin1(bad), v)) << bad;
    }
    try {
        StrToInt(QStringLiteral("abc"));
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'abc' is not a valid integer value"));
    }
}

TEST(StrConvert, FloatsUseTheGivenDecimalSeparatorOnly) {
    EXPECT_DOUBLE_EQ(StrToFloat(QStringLiteral(" 1.5 "), u'.'), 1.5);
    EXPECT_DOUBLE_EQ(StrToFloat(QStringLiteral("-1,5e2"), u','), -150.0);
    EXPECT_DOUBLE_EQ(StrToFloat(QStringLiteral(".5"), u'.'), 0.5);
    EXPECT_DOUBLE_EQ(StrToFloat(QStringLiteral("3."), u'.'), 3.0);
    for (const char* bad : {"", ".", "1.5", "1e", "1e+", "inf", "nan", "1,5,0", "0x1p3", "1e999"}) {
        double v = 0;
        EXPECT_FALSE(TryStrToFloat(QString::fromLatin1(bad), v, u',')) << bad;
    }
    EXPECT_THROW(StrToFloat(QStringLiteral("abc"), u'.'), EConvertError);
}

TEST(StrConvert, FloatToStrUsesTheGeneralFormatWithFifteenDigits) {
    EXPECT_EQ(FloatToStr(1.5, u'.'), QStringLiteral("1.5"));
    EXPECT_EQ(FloatToStr(1.5, u','), QStringLiteral("1,5"));
    EXPECT_EQ(FloatToStr(-2.0, u'.'), QStringLiteral("-2"));
    EXPECT_EQ(FloatToStr(0.0, u'.'), QStringLiteral("0"));
    EXPECT_EQ(FloatToStr(0.1, u'.'), QStringLiteral("0.1"));
    EXPECT_EQ(FloatToStr(1.0 / 3.0, u'.'), QStringLiteral("0.333333333333333"));
    EXPECT_EQ(FloatToStr(0.0001, u'.'), QStringLiteral("0.0001"));
    EXPECT_EQ(FloatToStr(0.00001, u'.'), QStringLiteral("1E-5"));
    EXPECT_EQ(FloatToStr(1.5e-7, u'.'), QStringLiteral("1.5E-7"));
    EXPECT_EQ(FloatToStr(123456789012345.0, u'.'), QStringLiteral("123456789012345"));
    EXPECT_EQ(FloatToStr(1e15, u'.'), QStringLiteral("1E15"));
    EXPECT_EQ(FloatToStr(1000.0, u'.'), QStringLiteral("1000"));
}
