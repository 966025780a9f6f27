// The class-library conversions the presets stand on: colour and cursor names, date and time texts in the
// formats of the edit masks, and list items whose sub-item images follow their sub-items.
#include "classlib/DateUtils.h"
#include "classlib/Graphics.h"
#include "classlib/ListItems.h"
#include "classlib/SysUtils.h"
#include <gtest/gtest.h>

TEST(Conversions, ColoursAndCursorsByNameOrNumber) {
    EXPECT_EQ(ColorToString(clBtnFace), QStringLiteral("clBtnFace"));
    EXPECT_EQ(ColorToString(0x00123456), QStringLiteral("$00123456"));
    EXPECT_EQ(StringToColor(QStringLiteral("CLRED")), clRed);
    EXPECT_EQ(StringToColor(QStringLiteral("$8000000F")), clBtnFace);
    EXPECT_EQ(StringToColor(QStringLiteral("255")), clRed);
    EXPECT_THROW(StringToColor(QStringLiteral("reddish")), EConvertError);
    ASSERT_FALSE(GetColorValues().isEmpty());
    for (const QString& name : GetColorValues())
        EXPECT_EQ(ColorToString(StringToColor(name)), name);
    EXPECT_EQ(ColorToRGB(clRed), QColor(255, 0, 0));

    EXPECT_EQ(CursorToString(crHandPoint), QStringLiteral("crHandPoint"));
    EXPECT_EQ(CursorToString(-100), QStringLiteral("-100"));
    EXPECT_EQ(StringToCursor(QStringLiteral("-100")), -100);
    EXPECT_THROW(StringToCursor(QStringLiteral("40000")), EConvertError);
    EXPECT_THROW(StringToCursor(QStringLiteral("crPointy")), EConvertError);
}

TEST(Conversions, DatesAndTimesFitTheirMasks) {
    const TDateTime stamp = EncodeDateTime(QDateTime(QDate(2024, 3, 5), QTime(18, 0, 5)));
    EXPECT_EQ(DateToStr(stamp), QStringLiteral("05/03/2024"));
    EXPECT_EQ(TimeToStr(stamp), QStringLiteral("06:00:05 PM"));
    EXPECT_EQ(DateTimeToStr(stamp), QStringLiteral("05/03/2024 06:00:05 PM"));
    EXPECT_EQ(DateTimeToStr(DateOf(stamp)), QStringLiteral("05/03/2024 12:00:00 AM"));
    EXPECT_DOUBLE_EQ(StrToDateTime(DateTimeToStr(stamp)), stamp);
    EXPECT_DOUBLE_EQ(StrToDate(QStringLiteral("5/3/24")), DateOf(stamp));
    EXPECT_DOUBLE_EQ(StrToDate(QStringLiteral("5-3-1999")),
                     EncodeDateTime(QDateTime(QDate(1999, 3, 5), QTime(0, 0))));
    EXPECT_NEAR(StrToTime(QStringLiteral("12:30 AM")), 30 / 1440.0, 1e-12);
    EXPECT_NEAR(StrToTime(QStringLiteral("23:59:59")),
                TimeOf(EncodeDateTime(QDateTime(QDate(2000, 1, 1), QTime(23, 59, 59)))), 1e-9);
    // Days before the start of the count work too.
    EXPECT_EQ(DateToStr(-1.25), QStringLiteral("29/12/1899"));
    for (const char* bad : {"31/02/2024", "__/__/____", "1/2", "13:00 PM", ""})
        EXPECT_THROW(StrToDateTime(QLatin1String(bad)), EConvertError) << bad;
    EXPECT_THROW(StrToTime(QStringLiteral("25:00:00")), EConvertError);
}

TEST(Conversions, SubItemImagesFollowTheirSubItems) {
    TListItems items;
    TListItem* item = items.Add();
    item->SubItems()->SetLines({"a", "b", "c"});
    item->SetSubItemImages(0, 1);
    item->SetSubItemImages(1, 2);
    item->SetSubItemImages(2, 3);
    item->SubItems()->Delete(1);
    EXPECT_EQ(item->SubItemImages(0), 1);
    EXPECT_EQ(item->SubItemImages(1), 3);
    item->SubItems()->Insert(0, QStringLiteral("z"));
    EXPECT_EQ(item->SubItemImages(0), -1);
    EXPECT_EQ(item->SubItemImages(1), 1);
    EXPECT_THROW(item->SubItemImages(3), EListError);
    EXPECT_EQ(item->Index(), 0);
    items.Delete(0);
    EXPECT_EQ(items.Count(), 0);
    EXPECT_THROW(items.Item(0), EListError);
}
