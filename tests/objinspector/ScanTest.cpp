// Scanning: one scan per burst, rows common to several classes, filters, pick lists, sub-objects,
// set members, string-list lines, collections, item formats and the changed-value font.
#include "TestObjects.h"
#include "classlib/StrConvert.h"
#include <QLocale>
#include <gtest/gtest.h>

namespace {

struct ScanFixture : ::testing::Test {
    TRSObjectInspector inspector;
    TComponent owner;
    TTestButton* button = new TTestButton(&owner);
    TTestLabel* label = new TTestLabel(&owner);

    ScanFixture() {
        inspector.resize(300, 400);
        button->SetName(QStringLiteral("Button1"));
        label->SetName(QStringLiteral("Label1"));
    }
    TRSItemProperty* Row(const QString& path) const { return inspector.Items()->FindByPath(path); }
};

} // namespace

TEST_F(ScanFixture, BurstOfComponentChangesGivesOneScanAndKeepsTheSelectedRow) {
    ASSERT_TRUE(qobject_cast<TRSItemProperties*>(inspector.Items()));
    inspector.SetComponent(button);
    Settle();
    ASSERT_EQ(inspector.ScanCount(), 1);
    inspector.SelectItem(Row(QStringLiteral("Width")));
    ASSERT_EQ(inspector.CurrentItem(), Row(QStringLiteral("Width")));

    TTestButton other(&owner);
    inspector.SetComponent(label);
    inspector.SetComponent(&other);
    inspector.SetComponent(button);
    EXPECT_EQ(inspector.Items()->Count(), 0); // cleared at once
    EXPECT_TRUE(inspector.RescanPending());
    Settle();
    EXPECT_EQ(inspector.ScanCount(), 2);
    EXPECT_EQ(inspector.CurrentItem(), Row(QStringLiteral("Width")));
    EXPECT_EQ(inspector.Component(), button);
}

TEST_F(ScanFixture, RowsOfSeveralObjectsAreThoseCommonToAllWithTheSameType) {
    button->SetCaption(QStringLiteral("OK"));
    label->SetCaption(QStringLiteral("ok"));
    inspector.Objects()->Add(button);
    inspector.Objects()->Add(label);
    inspector.Objects()->Add(button); // no duplicate
    Settle();
    EXPECT_EQ(inspector.Objects()->Count(), 2);
    // Sorted by name; Color differs in type, Width2 and Ratio exist in one class only.
    EXPECT_EQ(RowNames(inspector.Items()), (QStringList{"Caption", "Font", "Name", "Tag", "Width"}));
    // "OK" and "ok" differ: the value shows in no cell but the current one.
    TRSItemProperty* caption = Row(QStringLiteral("Caption"));
    EXPECT_FALSE(caption->IsAllEqual());
    EXPECT_TRUE(Row(QStringLiteral("Width"))->IsAllEqual());
    inspector.SelectItem(Row(QStringLiteral("Width")));
    QString text;
    inspector.GetCellText(1, inspector.FixedRows() + caption->VisibleIndex(), text);
    EXPECT_EQ(text, QString());
    inspector.GetCellText(1, inspector.FixedRows() + Row(QStringLiteral("Width"))->VisibleIndex(), text);
    EXPECT_EQ(text, QStringLiteral("75"));
}

TEST_F(ScanFixture, FiltersReachEveryRowAtEveryLevel) {
    inspector.SetFilters({QStringLiteral("Name"), QStringLiteral("Tag"), QStringLiteral("Font.Size")});
    inspector.SetComponent(button);
    Settle();
    EXPECT_FALSE(Row(QStringLiteral("Name")));
    EXPECT_FALSE(Row(QStringLiteral("Tag")));
    // The Font row is collapsed: its sub-row goes all the same, and does not come back on expanding.
    ASSERT_TRUE(Row(QStringLiteral("Font")));
    EXPECT_FALSE(Row(QStringLiteral("Font.Size")));
    EXPECT_TRUE(Row(QStringLiteral("Font.Style")));
    Row(QStringLiteral("Font"))->Expand();
    EXPECT_FALSE(Row(QStringLiteral("Font.Size")));
    EXPECT_TRUE(Row(QStringLiteral("Font.Style")));

    // A bare name reaches a sub-row as well; a change of the filters is announced and rescans.
    int changing = 0;
    inspector.OnFiltersChanging = [&](QObject*) { ++changing; };
    inspector.Filters()->Add(QStringLiteral("Style"));
    EXPECT_EQ(changing, 1);
    Settle();
    ASSERT_TRUE(Row(QStringLiteral("Font")));
    EXPECT_FALSE(Row(QStringLiteral("Font.Style")));
    EXPECT_TRUE(Row(QStringLiteral("Caption")));
}

TEST_F(ScanFixture, APropertyWithoutWriteRoutineIsShownReadOnly) {
    label->SetCaption(QStringLiteral("abc"));
    inspector.SetComponent(label);
    Settle();
    TRSItemProperty* getterOnly = Row(QStringLiteral("Width2"));
    ASSERT_TRUE(getterOnly);
    EXPECT_EQ(getterOnly->Value(), QStringLiteral("abc"));
    EXPECT_TRUE(getterOnly->GetReadOnly());
    EXPECT_FALSE(Row(QStringLiteral("Caption"))->GetReadOnly());
    // The grid offers no editing of it: the cell editor takes no typing.
    inspector.show();
    inspector.SelectItem(getterOnly);
    EXPECT_FALSE(inspector.CanEditModify());
    inspector.SelectItem(Row(QStringLiteral("Caption")));
    EXPECT_TRUE(inspector.CanEditModify());
    // A text committed through the program is refused; the value stays.
    getterOnly->SetValue(QStringLiteral("xyz"));
    EXPECT_THROW(getterOnly->CommitValue(), Exception);
    EXPECT_EQ(label->Caption(), QStringLiteral("abc"));
    Settle();
    EXPECT_EQ(Row(QStringLiteral("Width2"))->Value(), QStringLiteral("abc"));
    inspector.hide();
}

TEST_F(ScanFixture, EnumerationAndBooleanRowsOfferSortedPickLists) {
    inspector.SetComponent(button);
    Settle();
    TRSItemProperty* color = Row(QStringLiteral("Color"));
    EXPECT_EQ(color->PickListCopy(), (QStringList{"clAqua", "clBlack", "clRed", "clWindow"}));
    EXPECT_EQ(color->EditStyle(), esPickList);
    EXPECT_EQ(Row(QStringLiteral("Enabled"))->PickListCopy(), (QStringList{"False", "True"}));
    EXPECT_EQ(Row(QStringLiteral("Enabled"))->Value(), QStringLiteral("True"));

    color->SetValue(QStringLiteral("clRed"));
    color->CommitValue();
    EXPECT_EQ(button->Color(), TTestButton::clRed);
    // A value outside the enumeration is refused and changes nothing.
    color->SetValue(QStringLiteral("clPink"));
    EXPECT_THROW(color->CommitValue(), EConvertError);
    EXPECT_EQ(button->Color(), TTestButton::clRed);
}

TEST_F(ScanFixture, SubObjectsExpandOnceAndSetMembersWriteTheSetBack) {
    button->Font()->SetStyle(TTestFont::TFontStyles(TTestFont::fsBold) | TTestFont::fsItalic);
    inspector.SetComponent(button);
    Settle();
    TRSItemProperty* font = Row(QStringLiteral("Font"));
    EXPECT_EQ(font->Value(), QStringLiteral("(TTestFont)"));
    EXPECT_TRUE(font->GetReadOnly());
    TRSItemProperty* style = Row(QStringLiteral("Font.Style"));
    ASSERT_TRUE(style);
    EXPECT_EQ(style->RowKind(), rkSet);
    EXPECT_EQ(style->Value(), QStringLiteral("[fsBold,fsItalic]"));
    EXPECT_EQ(RowNames(style->Items()), (QStringList{"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}));
    QStringList values;
    for (int i = 0; i < style->Items()->Count(); ++i)
        values << style->Items()->Items(i)->Value();
    EXPECT_EQ(values, (QStringList{"True", "True", "False", "False"}));

    TRSItemProperty* italic = Row(QStringLiteral("Font.Style.fsItalic"));
    EXPECT_EQ(italic->RowKind(), rkSetMember);
    italic->SetValue(QStringLiteral("False"));
    italic->CommitValue();
    EXPECT_EQ(button->Font()->Style(), TTestFont::TFontStyles(TTestFont::fsBold));
    Settle();
    EXPECT_EQ(style->Value(), QStringLiteral("[fsBold]"));

    // The component link is a writable row without sub-rows while it is empty.
    EXPECT_FALSE(Row(QStringLiteral("Link"))->GetReadOnly());
    EXPECT_FALSE(Row(QStringLiteral("Link"))->HasItems());
}

TEST_F(ScanFixture, SetMembersOfSeveralObjectsCompareEachObjectsOwnBit) {
    TTestButton second(&owner);
    button->Font()->SetStyle(TTestFont::fsBold);
    second.Font()->SetStyle(TTestFont::fsItalic);
    inspector.Objects()->Add(button);
    inspector.Objects()->Add(&second);
    Settle();
    EXPECT_FALSE(Row(QStringLiteral("Font.Style.fsBold"))->IsAllEqual());
    EXPECT_FALSE(Row(QStringLiteral("Font.Style.fsItalic"))->IsAllEqual());
    EXPECT_TRUE(Row(QStringLiteral("Font.Style.fsUnderline"))->IsAllEqual());
    EXPECT_FALSE(Row(QStringLiteral("Font.Style.fsBold"))->IsAllValuesEqual());
    EXPECT_TRUE(Row(QStringLiteral("Font.Style.fsUnderline"))->IsAllValuesEqual());
}

TEST_F(ScanFixture, StringListLinesAreRowsAndWriteTheirLine) {
    button->Lines()->SetLines({QStringLiteral("a=1"), QStringLiteral("b=2")});
    inspector.SetInplaceTStrings(true);
    inspector.SetInplaceTStringsOptions(isUseNameValue);
    inspector.SetComponent(button);
    Settle();
    TRSItemProperty* a = Row(QStringLiteral("Lines.a"));
    TRSItemProperty* b = Row(QStringLiteral("Lines.b"));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->Value(), QStringLiteral("1"));
    EXPECT_EQ(b->Value(), QStringLiteral("2"));
    EXPECT_EQ(b->RowKind(), rkStringsItem);
    EXPECT_EQ(b->TypeName(), QStringLiteral("TStrings Item"));
    b->SetValue(QStringLiteral("3"));
    b->CommitValue();
    EXPECT_EQ(button->Lines()->Lines(), (QStringList{"a=1", "b=3"}));

    // Plain lines are named by the item format.
    inspector.SetInplaceTStringsOptions(0);
    Settle();
    EXPECT_EQ(Row(QStringLiteral("Lines.Items[1]"))->Value(), QStringLiteral("b=3"));

    // Lists of different lengths give no line rows.
    TTestButton second(&owner);
    second.Lines()->SetLines({QStringLiteral("x")});
    inspector.Objects()->Add(&second);
    Settle();
    ASSERT_TRUE(Row(QStringLiteral("Lines")));
    EXPECT_FALSE(Row(QStringLiteral("Lines"))->HasItems());
}

TEST_F(ScanFixture, CollectionItemsAreSubRowsAndTheirPropertiesWrite) {
    auto* first = static_cast<TTestItem*>(button->Items()->Add());
    first->SetCaption(QStringLiteral("one"));
    button->Items()->Add();
    inspector.SetInplaceCollections(true);
    inspector.SetComponent(button);
    Settle();
    TRSItemProperty* items = Row(QStringLiteral("Items"));
    ASSERT_TRUE(items);
    EXPECT_EQ(items->RowKind(), rkCollection);
    EXPECT_EQ(items->Value(), QStringLiteral("(TCollection)"));
    TRSItemProperty* item0 = Row(QStringLiteral("Items.Items[0]"));
    ASSERT_TRUE(item0);
    EXPECT_EQ(item0->RowKind(), rkCollectionItem);
    EXPECT_EQ(item0->Value(), QStringLiteral("one"));
    EXPECT_EQ(item0->GetObjectValue(0), first);
    TRSItemProperty* caption = Row(QStringLiteral("Items.Items[1].Caption"));
    ASSERT_TRUE(caption);
    caption->SetValue(QStringLiteral("two"));
    caption->CommitValue();
    EXPECT_EQ(static_cast<TTestItem*>(button->Items()->Items(1))->Caption(), QStringLiteral("two"));
    Settle();
    EXPECT_EQ(Row(QStringLiteral("Items.Items[1]"))->Value(), QStringLiteral("two"));
}

TEST(ItemFormat, OnlyOneNumberReachesTheName) {
    EXPECT_EQ(FormatItemName(QStringLiteral("Items[%d]"), 0), QStringLiteral("Items[0]"));
    EXPECT_EQ(FormatItemName(QStringLiteral("%d%% done"), 7), QStringLiteral("7% done"));
    for (const char* bad : {"%s", "%n%d", "Items", "%d %d", "%5d", "tail %"})
        EXPECT_THROW(FormatItemName(QString::fromLatin1(bad), 1), EConvertError) << bad;
    TRSObjectInspector inspector;
    EXPECT_THROW(inspector.SetCollectionItemFormat(QStringLiteral("%s[%d]")), EConvertError);
    EXPECT_THROW(inspector.SetStringsItemFormat(QStringLiteral("%n")), EConvertError);
    EXPECT_EQ(inspector.CollectionItemFormat(), QStringLiteral("Items[%d]"));
    EXPECT_EQ(inspector.StringsItemFormat(), QStringLiteral("Items[%d]"));
}

TEST_F(ScanFixture, FloatsUseTheLocalesDecimalSeparator) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    inspector.SetComponent(button);
    Settle();
    TRSItemProperty* ratio = Row(QStringLiteral("Ratio"));
    EXPECT_EQ(ratio->Value(), QStringLiteral("1,5"));
    ratio->SetValue(QStringLiteral("2,25"));
    ratio->CommitValue();
    EXPECT_DOUBLE_EQ(button->Ratio(), 2.25);
    EXPECT_DOUBLE_EQ(ratio->GetFloatValue(0), 2.25);
    QLocale::setDefault(QLocale::c());
    // A row that is no property converts its own text.
    TRSItemProperty loose;
    loose.SetValue(QStringLiteral("1.5"));
    EXPECT_DOUBLE_EQ(loose.GetFloatValue(), 1.5);
    loose.SetFloatValue(0.25);
    EXPECT_EQ(loose.Value(), QStringLiteral("0.25"));
    EXPECT_EQ(loose.TypeKind(), tkFloat);
    EXPECT_THROW(loose.GetOrdValue(), Exception);
    QLocale::setDefault(previous);
}

TEST_F(ScanFixture, ValuesThatDifferFromTheirDefaultUseTheChangedValueFont) {
    inspector.SetComponent(button);
    Settle();
    TRSItemProperty* width = Row(QStringLiteral("Width"));
    EXPECT_NE(width->GetValueFont(), inspector.ValueChangedFont());
    EXPECT_TRUE(inspector.ValueChangedFont()->Bold());
    EXPECT_EQ(inspector.ValueChangedFont()->Color(), inspector.ValueFont()->Color());
    width->SetValue(QStringLiteral("80"));
    width->CommitValue();
    Settle();
    EXPECT_EQ(width->GetValueFont(), inspector.ValueChangedFont());
    EXPECT_EQ(width->GetCurrentValueFont(0), inspector.ValueChangedFont());
    inspector.SetShowValueChangedFont(false);
    EXPECT_NE(width->GetValueFont(), inspector.ValueChangedFont());
}

TEST_F(ScanFixture, CopyAndPasteGoToTheSelectedRowsObjectValue) {
    TTestButton second(&owner);
    inspector.Objects()->Add(button);
    inspector.Objects()->Add(&second);
    Settle();
    inspector.SelectItem(Row(QStringLiteral("Caption")));
    inspector.CopyToClipboard(); // no object value: nothing happens
    inspector.SelectItem(Row(QStringLiteral("Font")));
    inspector.CopyToClipboard();
    EXPECT_EQ(button->Font()->copies, 1);
    EXPECT_EQ(second.Font()->copies, 0);
    inspector.PasteFromClipboard();
    EXPECT_EQ(button->Font()->pastes, 1);
    EXPECT_EQ(second.Font()->pastes, 1);
    EXPECT_TRUE(inspector.RescanPending());
}
