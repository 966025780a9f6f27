// Rows that stand for no property of their own (collection items, string lines), refused validation of
// any kind, the property-changed message sent to a row, collections of different sizes and the column
// titles taken from the objects.
#include "TestObjects.h"
#include "inspector/RSInplaceEditList.h"
#include "tests/support/RecordingPresenter.h"
#include <QCoreApplication>
#include <climits>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

namespace {

struct RowRulesFixture : ::testing::Test {
    ScopedRecordingPresenter messages;
    TRSObjectInspector inspector;
    TComponent owner;
    TTestButton* button = new TTestButton(&owner);

    RowRulesFixture() {
        inspector.resize(300, 400);
        button->SetName(QStringLiteral("Button1"));
    }
    TRSItemProperty* Row(const QString& path) const { return inspector.Items()->FindByPath(path); }
};

} // namespace

TEST_F(RowRulesFixture, TypedWritesOfItemAndLineRowsAreNotifiedLikeAnyOther) {
    button->Lines()->Add(QStringLiteral("a"));
    button->Items()->Add();
    inspector.SetInplaceTStrings(true);
    inspector.SetInplaceCollections(true);
    inspector.SetComponent(button);
    Settle();
    int changing = 0;
    QList<TRSItemProperty*> changed;
    inspector.OnPropertyChanging = [&](QObject*, TRSItemProperty*) { ++changing; };
    inspector.OnPropertyChanged = [&](QObject*, TRSItemProperty* row) { changed << row; };
    for (const char* path : {"Lines.Items[0]", "Items.Items[0]"}) {
        TRSItemProperty* row = Row(QString::fromLatin1(path));
        ASSERT_TRUE(row) << path;
        row->ParentRow()->Expand(); // the notification names a shown row
        changing = 0;
        changed.clear();
        row->SetStrValue(QStringLiteral("typed"));
        EXPECT_EQ(row->TypeKind(), tkString) << path;
        EXPECT_EQ(changing, 1) << path;
        Settle();
        ASSERT_EQ(changed.size(), 1) << path;
        EXPECT_EQ(changed.first(), row) << path;
    }
}

TEST_F(RowRulesFixture, ACollectionItemRowsClassIsTheCollectionsItemClass) {
    auto* plain = new TCollectionItem(button->Items()); // of a base class, in a collection of TTestItem
    inspector.SetInplaceCollections(true);
    inspector.SetComponent(button);
    Settle();
    TRSItemProperty* row = Row(QStringLiteral("Items.Items[0]"));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->GetObjectValue(0), plain);
    EXPECT_EQ(row->GetObjectClass(0), &TTestItem::staticMetaObject);
}

TEST_F(RowRulesFixture, ObjectNumbersAreCheckedAtBothEnds) {
    new TTestItem(button->Items());
    inspector.SetInplaceCollections(true);
    inspector.SetComponent(button);
    Settle();
    TRSItemProperty* item = Row(QStringLiteral("Items.Items[0]"));
    TRSItemProperty* width = Row(QStringLiteral("Width"));
    ASSERT_TRUE(item && width);
    ASSERT_EQ(inspector.ObjectList().size(), 1);
    QObject* first = button->Items()->Items(0);
    // -1 is the current column's object; below it and from the count on there is none.
    const std::pair<int, bool> indices[] = {{-2, false}, {-1, true}, {0, true}, {1, false}, {INT_MIN, false}};
    for (const auto& [index, exists] : indices) {
        EXPECT_EQ(item->GetObjectValue(index), exists ? first : nullptr) << index;
        EXPECT_EQ(item->GetObjectClass(index), exists ? &TTestItem::staticMetaObject : nullptr) << index;
        if (exists) {
            EXPECT_EQ(width->GetOrdValue(index), 75) << index;
        } else {
            EXPECT_THROW(width->GetOrdValue(index), Exception) << index;
        }
    }
}

TEST_F(RowRulesFixture, AnythingRaisedWhileValidatingIsARefusedValue) {
    struct Case {
        std::function<void()> raise;
        QString message;
    };
    const Case cases[] = {
        {[] { throw Exception(QStringLiteral("own")); },
         QStringLiteral("\"7\" is not a valid Integer value: own")},
        {[] { throw std::runtime_error("std"); }, QStringLiteral("\"7\" is not a valid Integer value: std")},
        {[] { throw 42; }, QStringLiteral("\"7\" is not a valid Integer value: Exception of class int")},
    };
    inspector.SetComponent(button);
    Settle();
    inspector.show();
    TRSItemProperty* width = Row(QStringLiteral("Width"));
    ASSERT_TRUE(width);
    inspector.SelectItem(width);
    ASSERT_TRUE(inspector.Editor());
    for (const Case& c : cases) {
        width->OnValidate = [&](QObject*, TRSItemProp*, int) { c.raise(); };
        inspector.Editor()->SetText(QStringLiteral("7"));
        width->SetValue(QStringLiteral("7"));
        try {
            width->DoValidate();
            ADD_FAILURE() << c.message.toStdString();
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
        EXPECT_EQ(button->Width(), 75) << c.message.toStdString();
    }
    inspector.hide();
}

TEST_F(RowRulesFixture, ARowAnswersThePropertyChangedMessageWithARefresh) {
    inspector.SetComponent(button);
    Settle();
    TRSItemProperty* width = Row(QStringLiteral("Width"));
    ASSERT_TRUE(width);
    button->SetWidth(99);
    TRSInspectorMessage message(CM_PROPERTYCHANGED, 0);
    EXPECT_TRUE(QCoreApplication::sendEvent(width, &message));
    EXPECT_EQ(width->Value(), QStringLiteral("99"));
}

TEST_F(RowRulesFixture, CollectionsOfDifferentSizesGiveNoItemRows) {
    const std::pair<int, int> counts[] = {{2, 3}, {3, 2}, {0, 1}, {2, 2}};
    for (const auto& [first, second] : counts) {
        TTestButton a(&owner);
        TTestButton b(&owner);
        for (int i = 0; i < first; ++i)
            a.Items()->Add();
        for (int i = 0; i < second; ++i)
            b.Items()->Add();
        inspector.SetInplaceCollections(true);
        inspector.Objects()->Add(&a);
        inspector.Objects()->Add(&b);
        Settle();
        TRSItemProperty* items = Row(QStringLiteral("Items"));
        ASSERT_TRUE(items) << first << " " << second;
        QStringList itemRows;
        for (int i = 0; i < items->Items()->Count(); ++i)
            if (items->Items()->Items(i)->RowKind() == rkCollectionItem)
                itemRows << items->Items()->Items(i)->Name();
        const QStringList expected = first == second ? QStringList{"Items[0]", "Items[1]"} : QStringList();
        EXPECT_EQ(itemRows, expected) << first << " " << second;
        inspector.Objects()->Clear();
        Settle();
    }
}

TEST_F(RowRulesFixture, DynamicTitleCaptionsNameEachObjectsColumn) {
    auto* item = static_cast<TTestItem*>(button->Items()->Add());
    item->SetCaption(QStringLiteral("first item"));
    TTestFont font;
    inspector.SetDisplayOptions(inspector.DisplayOptions() | doMultiColValues);
    inspector.Objects()->Add(button);
    inspector.Objects()->Add(item);
    inspector.Objects()->Add(&font);
    Settle();
    ASSERT_EQ(inspector.ValueCount(), 4);
    auto titles = [&] {
        QStringList texts;
        for (int col = 0; col <= 5; ++col) {
            QString text;
            inspector.GetCellText(col, 0, text);
            texts << text;
        }
        return texts;
    };
    EXPECT_EQ(titles(), (QStringList{"Property", "Value", "Value", "Value", "Value", "Value"}));
    inspector.SetDynamicTitleCaptions(true);
    // A component by its name, a collection item by its display name, anything else by its class; past
    // the objects the last caption.
    EXPECT_EQ(titles(), (QStringList{"Property", "Button1", "first item", "TTestFont", "Value", "Value"}));
    inspector.SetTitleCaptions({QStringLiteral("Name"), QStringLiteral("A"), QStringLiteral("B"),
                                QStringLiteral("C"), QStringLiteral("D")});
    EXPECT_EQ(titles(), (QStringList{"Name", "Button1", "first item", "TTestFont", "D", "D"}));
    inspector.SetDynamicTitleCaptions(false);
    EXPECT_EQ(titles(), (QStringList{"Name", "A", "B", "C", "D", "D"}));
}

TEST_F(RowRulesFixture, CommonRowsNeedTheSameTypeAndEntriesGoWithTheirOwner) {
    // Color is an enumeration in both, of different types: no common row.
    TTestPanel panel(&owner);
    inspector.Objects()->Add(button);
    inspector.Objects()->Add(&panel);
    Settle();
    EXPECT_TRUE(Row(QStringLiteral("Caption")));
    EXPECT_FALSE(Row(QStringLiteral("Color")));
    inspector.Objects()->Clear();

    // An object inspected with an owner of its own leaves with that owner.
    auto holder = std::make_unique<QObject>();
    TTestFont font;
    inspector.Objects()->Add(&font, holder.get());
    Settle();
    ASSERT_TRUE(Row(QStringLiteral("Size")));
    holder.reset();
    Settle();
    EXPECT_EQ(inspector.Objects()->Count(), 0);
    EXPECT_FALSE(Row(QStringLiteral("Size")));
}
