#include "classlib/TypInfo.h"
#include "TypInfoTestClasses.h"
#include "classlib/SysUtils.h"
#include <QLocale>
#include <gtest/gtest.h>

namespace {

template <class E> QString raised(const std::function<void()>& call) {
    try {
        call();
    } catch (const E& e) {
        return e.Message();
    }
    return QStringLiteral("<nothing raised>");
}

class TypInfo : public ::testing::Test {
protected:
    TTestObject obj;
};

} // namespace

TEST_F(TypInfo, ListsPublishedPropertiesAncestorsFirstWithTheirKinds) {
    QStringList names, types;
    QList<TTypeKind> kinds;
    for (const TPropInfo& p : GetPropList(&obj)) {
        names << p.Name();
        kinds << p.Kind();
        types << p.TypeName();
    }
    EXPECT_EQ(names, QStringList({"Name", "Tag", "Count", "Enabled", "Baudrate", "Styles", "Level", "Ratio",
                                  "Caption", "Big", "Link", "Model"}));
    EXPECT_EQ(kinds, QList<TTypeKind>({tkString, tkInteger, tkInteger, tkEnumeration, tkEnumeration, tkSet,
                                       tkInteger, tkFloat, tkString, tkInt64, tkClass, tkString}));
    EXPECT_EQ(types, QStringList({"string", "Integer", "Integer", "Boolean", "TBaudrate", "TFontStyles",
                                  "Byte", "Double", "string", "Int64", "TTestBase", "string"}));

    QStringList ordinals;
    for (const TPropInfo& p : GetPropList(&obj, {tkEnumeration, tkSet}, true))
        ordinals << p.Name();
    EXPECT_EQ(ordinals, QStringList({"Baudrate", "Enabled", "Styles"}));
}

TEST_F(TypInfo, FindsPropertiesIgnoringCaseButNeverObjectName) {
    ASSERT_TRUE(GetPropInfo(&obj, QStringLiteral("baudRATE")));
    EXPECT_EQ(GetPropInfo(&obj, QStringLiteral("baudRATE"))->Name(), QStringLiteral("Baudrate"));
    EXPECT_FALSE(GetPropInfo(&obj, QStringLiteral("objectName")));
    EXPECT_FALSE(IsPublishedProp(&obj, QStringLiteral("Nope")));
    EXPECT_EQ(PropType(&obj, QStringLiteral("styles")), tkSet);
}

TEST_F(TypInfo, UnknownPropertyRaisesAndCreatesNoDynamicProperty) {
    EXPECT_EQ(
        raised<EPropertyError>([&] { SetPropValue(&obj, QStringLiteral("Nope"), QStringLiteral("1")); }),
        QStringLiteral("Property Nope does not exist"));
    EXPECT_THROW(SetOrdProp(&obj, QStringLiteral("objectName"), 1), EPropertyError);
    EXPECT_THROW(GetPropValue(&obj, QStringLiteral("Nope")), EPropertyError);
    EXPECT_TRUE(obj.dynamicPropertyNames().isEmpty());
    EXPECT_FALSE(obj.property("Nope").isValid());

    EXPECT_EQ(raised<EPropertyError>([&] { SetStrProp(&obj, QStringLiteral("Model"), QStringLiteral("x")); }),
              QStringLiteral("Property Model is read-only"));
}

TEST_F(TypInfo, BooleanTextIsStrictlyTrueOrFalse) {
    SetPropValue(&obj, QStringLiteral("Enabled"), QStringLiteral("False"));
    EXPECT_FALSE(obj.m_enabled);
    SetPropValue(&obj, QStringLiteral("Enabled"), QStringLiteral("true"));
    EXPECT_TRUE(obj.m_enabled);
    for (const char* bad : {"1", "0", "yes", "", "Truee"}) {
        obj.m_enabled = true;
        EXPECT_EQ(raised<EConvertError>(
                      [&] { SetPropValue(&obj, QStringLiteral("Enabled"), QString::fromLatin1(bad)); }),
                  QStringLiteral("'%1' is not a valid boolean value").arg(QString::fromLatin1(bad)));
        EXPECT_TRUE(obj.m_enabled);
    }
    const TPropInfo info = FindPropInfo(&obj, QStringLiteral("Enabled"));
    EXPECT_EQ(GetEnumNames(info), QStringList({"False", "True"}));
    EXPECT_EQ(GetEnumValue(info, QStringLiteral("TRUE")), 1);
    EXPECT_EQ(GetEnumValue(info, QStringLiteral("1")), -1);
    EXPECT_EQ(GetPropValue(&obj, info), QVariant(QStringLiteral("True")));
    EXPECT_EQ(GetPropValue(&obj, info, false).metaType().id(), QMetaType::Bool);
    EXPECT_THROW(SetOrdProp(&obj, info, 2), EConvertError);
}

TEST_F(TypInfo, EnumerationNamesCompareIgnoringCase) {
    SetPropValue(&obj, QStringLiteral("Baudrate"), QStringLiteral("br_19200"));
    EXPECT_EQ(obj.m_baudrate, TTestObject::TBaudrate::BR_19200);
    EXPECT_EQ(GetEnumProp(&obj, QStringLiteral("Baudrate")), QStringLiteral("BR_19200"));
    EXPECT_EQ(raised<EConvertError>(
                  [&] { SetPropValue(&obj, QStringLiteral("Baudrate"), QStringLiteral("BR_X")); }),
              QStringLiteral("Invalid property element: BR_X"));
    EXPECT_THROW(SetOrdProp(&obj, QStringLiteral("Baudrate"), 3), EPropertyConvertError);
    EXPECT_EQ(obj.m_baudrate, TTestObject::TBaudrate::BR_19200);

    const TPropInfo info = FindPropInfo(&obj, QStringLiteral("Baudrate"));
    EXPECT_EQ(GetEnumNames(info), QStringList({"BR_1200", "BR_9600", "BR_19200"}));
    EXPECT_EQ(info.MinValue(), 0);
    EXPECT_EQ(info.MaxValue(), 2);
    EXPECT_EQ(GetEnumName(info, 1), QStringLiteral("BR_9600"));
    EXPECT_EQ(GetEnumValue(info, QStringLiteral("Br_1200")), 0);
    EXPECT_EQ(GetEnumValue(info, QStringLiteral("BR_57600")), -1);
    SetOrdProp(&obj, info, 0);
    EXPECT_EQ(GetPropValue(&obj, info, false), QVariant(qlonglong(0)));
}

TEST_F(TypInfo, SetsReadAndWriteAsMemberNameLists) {
    SetPropValue(&obj, QStringLiteral("Styles"), QStringLiteral("[fsItalic, FSUNDERLINE]"));
    EXPECT_EQ(int(obj.m_styles), TTestObject::fsItalic | TTestObject::fsUnderline);
    EXPECT_EQ(GetSetProp(&obj, QStringLiteral("Styles"), true), QStringLiteral("[fsItalic,fsUnderline]"));
    EXPECT_EQ(GetPropValue(&obj, QStringLiteral("Styles")), QVariant(QStringLiteral("fsItalic,fsUnderline")));
    SetSetProp(&obj, QStringLiteral("Styles"), QStringLiteral("fsBold"));
    EXPECT_EQ(int(obj.m_styles), TTestObject::fsBold);
    SetSetProp(&obj, QStringLiteral("Styles"), QStringLiteral("[]"));
    EXPECT_EQ(int(obj.m_styles), 0);
    EXPECT_EQ(raised<EConvertError>(
                  [&] { SetSetProp(&obj, QStringLiteral("Styles"), QStringLiteral("[fsBold,fsAll]")); }),
              QStringLiteral("Invalid property element: fsAll"));

    const TPropInfo info = FindPropInfo(&obj, QStringLiteral("Styles"));
    QStringList members;
    QList<int> ordinals;
    for (const TSetElement& e : GetSetElements(info)) {
        members << e.Name;
        ordinals << e.Ordinal;
    }
    EXPECT_EQ(members, QStringList({"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}));
    EXPECT_EQ(ordinals, QList<int>({0, 1, 2, 3}));
    EXPECT_THROW(SetOrdProp(&obj, info, 16), EPropertyConvertError);
}

TEST_F(TypInfo, IntegerTextFollowsTheClassLibraryAndStaysInTheTypesRange) {
    SetPropValue(&obj, QStringLiteral("Count"), QStringLiteral("$1F"));
    EXPECT_EQ(obj.m_count, 31);
    SetPropValue(&obj, QStringLiteral("Count"), QStringLiteral("-12"));
    EXPECT_EQ(obj.m_count, -12);
    EXPECT_EQ(
        raised<EConvertError>([&] { SetPropValue(&obj, QStringLiteral("Count"), QStringLiteral("12a")); }),
        QStringLiteral("'12a' is not a valid integer value"));
    EXPECT_EQ(obj.m_count, -12);

    EXPECT_EQ(
        raised<EConvertError>([&] { SetPropValue(&obj, QStringLiteral("Level"), QStringLiteral("300")); }),
        QStringLiteral("Value must be between 0 and 255"));
    EXPECT_THROW(SetOrdProp(&obj, QStringLiteral("Level"), -1), EConvertError);
    EXPECT_EQ(obj.m_level, 7);
    SetPropValue(&obj, QStringLiteral("Level"), 255);
    EXPECT_EQ(obj.m_level, 255);

    SetPropValue(&obj, QStringLiteral("Big"), QStringLiteral("9223372036854775807"));
    EXPECT_EQ(obj.m_big, std::numeric_limits<qint64>::max());
    EXPECT_THROW(SetPropValue(&obj, QStringLiteral("Big"), QStringLiteral("9223372036854775808")),
                 EConvertError);
    EXPECT_EQ(GetInt64Prop(&obj, QStringLiteral("Level")), 255);
}

TEST_F(TypInfo, FloatTextUsesTheLocalesDecimalSeparator) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    SetPropValue(&obj, QStringLiteral("Ratio"), QStringLiteral("1,25"));
    EXPECT_DOUBLE_EQ(obj.m_ratio, 1.25);
    const QString refused =
        raised<EConvertError>([&] { SetPropValue(&obj, QStringLiteral("Ratio"), QStringLiteral("2.5")); });
    QLocale::setDefault(saved);
    EXPECT_EQ(refused, QStringLiteral("'2.5' is not a valid floating point value"));
    EXPECT_DOUBLE_EQ(obj.m_ratio, 1.25);

    QLocale::setDefault(QLocale::c());
    SetPropValue(&obj, QStringLiteral("Ratio"), QStringLiteral("2.5"));
    QLocale::setDefault(saved);
    EXPECT_DOUBLE_EQ(GetFloatProp(&obj, QStringLiteral("Ratio")), 2.5);
}

TEST_F(TypInfo, ClassPropertiesTakeObjectsOfTheirClassOrANamedComponent) {
    TComponent owner;
    auto* holder = new TTestObject(&owner);
    auto* target = new TTestBase(&owner);
    target->SetName(QStringLiteral("Target"));
    auto* plain = new TComponent(&owner);
    plain->SetName(QStringLiteral("Plain"));

    SetObjectProp(holder, QStringLiteral("Link"), target);
    EXPECT_EQ(holder->m_link, target);
    EXPECT_EQ(GetObjectProp(holder, QStringLiteral("Link")), target);
    EXPECT_THROW(SetObjectProp(holder, QStringLiteral("Link"), plain), EPropertyConvertError);
    EXPECT_EQ(holder->m_link, target);

    SetPropValue(holder, QStringLiteral("Link"), QString());
    EXPECT_EQ(holder->m_link, nullptr);
    SetPropValue(holder, QStringLiteral("Link"), QStringLiteral("target"));
    EXPECT_EQ(holder->m_link, target);
    EXPECT_THROW(SetPropValue(holder, QStringLiteral("Link"), QStringLiteral("Plain")),
                 EPropertyConvertError);
    EXPECT_THROW(GetOrdProp(holder, QStringLiteral("Link")), EPropertyConvertError);
}

TEST_F(TypInfo, DeclaredDefaultsAndTheStoredTest) {
    auto ordDefault = [&](const char* name) {
        return GetOrdPropDefault(&obj, FindPropInfo(&obj, QString::fromLatin1(name)));
    };
    EXPECT_EQ(ordDefault("Baudrate"), 1);
    EXPECT_EQ(ordDefault("Enabled"), 1); // declared by the ancestor
    EXPECT_EQ(ordDefault("Count"), 5);   // the most derived declaration wins
    EXPECT_EQ(ordDefault("Tag"), 0);     // TComponent's
    EXPECT_EQ(ordDefault("Styles"), TTestObject::fsBold);
    EXPECT_EQ(ordDefault("Level"), 7);
    EXPECT_FALSE(ordDefault("Ratio")); // not an ordinal
    EXPECT_FALSE(GetPropDefault(&obj, FindPropInfo(&obj, QStringLiteral("Caption"))));
    EXPECT_DOUBLE_EQ(GetPropDefault(&obj, FindPropInfo(&obj, QStringLiteral("Ratio")))->toDouble(), 0.5);

    TTestBase base;
    EXPECT_EQ(GetOrdPropDefault(&base, FindPropInfo(&base, QStringLiteral("Count"))), 0);

    const TPropInfo level = FindPropInfo(&obj, QStringLiteral("Level"));
    EXPECT_TRUE(IsDefaultPropValue(&obj, level));
    obj.m_level = 8;
    EXPECT_FALSE(IsDefaultPropValue(&obj, level));
    EXPECT_TRUE(IsDefaultPropValue(&obj, FindPropInfo(&obj, QStringLiteral("Enabled"))));
    EXPECT_TRUE(IsDefaultPropValue(&obj, FindPropInfo(&obj, QStringLiteral("Ratio"))));

    EXPECT_TRUE(IsStoredProp(&obj, QStringLiteral("Level")));
    EXPECT_FALSE(IsStoredProp(&obj, QStringLiteral("Model")));
}
