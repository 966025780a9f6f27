#include "CollectionTestItems.h"
#include "classlib/SysUtils.h"
#include <QPointer>
#include <gtest/gtest.h>

namespace {

QStringList captions(const TCollection& c) {
    QStringList list;
    for (int i = 0; i < c.Count(); ++i)
        list << c.ItemAs<TTestItem>(i)->Caption;
    return list;
}

void fill(TCollection& c, const QStringList& names) {
    for (const QString& n : names)
        static_cast<TTestItem*>(c.Add())->Caption = n;
}

} // namespace

TEST(Collection, SettingIndexMovesTheItemAndABadIndexChangesNothing) {
    TRecordingCollection c;
    fill(c, {"A", "B", "C", "D"});
    c.Items(3)->SetIndex(0);
    EXPECT_EQ(captions(c), QStringList({"D", "A", "B", "C"}));
    c.Items(0)->SetIndex(2);
    EXPECT_EQ(captions(c), QStringList({"A", "B", "D", "C"}));
    EXPECT_EQ(c.Items(2)->Index(), 2);

    try {
        c.Items(1)->SetIndex(4);
        FAIL() << "no list error";
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("List index out of bounds (4)"));
    }
    EXPECT_THROW(c.Items(1)->SetIndex(-1), EListError);
    EXPECT_EQ(captions(c), QStringList({"A", "B", "D", "C"}));
}

TEST(Collection, ItemsOutsideTheListRaiseTheListIndexError) {
    TRecordingCollection c;
    EXPECT_THROW(c.Items(0), EListError);
    fill(c, {"A"});
    EXPECT_THROW(c.Items(-1), EListError);
    EXPECT_THROW(c.Items(1), EListError);
    EXPECT_THROW(c.Delete(1), EListError);
    EXPECT_EQ(c.Count(), 1);
}

TEST(Collection, InsertPlacesTheNewItemAndRefusesABadIndexWithoutAddingOne) {
    TRecordingCollection c;
    fill(c, {"A", "B"});
    static_cast<TTestItem*>(c.Insert(1))->Caption = QStringLiteral("X");
    static_cast<TTestItem*>(c.Insert(3))->Caption = QStringLiteral("Z"); // at the end
    EXPECT_EQ(captions(c), QStringList({"A", "X", "B", "Z"}));
    EXPECT_THROW(c.Insert(5), EListError);
    EXPECT_THROW(c.Insert(-1), EListError);
    EXPECT_EQ(c.Count(), 4);
}

TEST(Collection, NotifiesAddExtractAndDeleteAndFreesItsItems) {
    TRecordingCollection c;
    fill(c, {"A", "B", "C"});
    QPointer<TCollectionItem> b = c.Items(1);
    c.notifications.clear();
    c.Delete(1);
    EXPECT_EQ(c.notifications, QStringList({"deleting 1", "extracting 1"}));
    EXPECT_TRUE(b.isNull());

    // Moving an item into another collection extracts it from the first.
    TRecordingCollection other;
    TCollectionItem* a = c.Items(0);
    a->SetCollection(&other);
    EXPECT_EQ(c.Count(), 1);
    ASSERT_EQ(other.Count(), 1);
    EXPECT_EQ(other.notifications, QStringList({"added 0"}));

    QPointer<TCollectionItem> last = c.Items(0);
    c.Clear();
    EXPECT_EQ(c.Count(), 0);
    EXPECT_TRUE(last.isNull());
}

TEST(Collection, BeginUpdateHoldsChangeNotificationsUntilTheOutermostEndUpdate) {
    TRecordingCollection c;
    QList<TCollectionItem*> spy;
    QObject::connect(&c, &TCollection::changed, [&](TCollectionItem* item) { spy.append(item); });
    c.Add();
    EXPECT_EQ(spy.count(), 1);
    spy.clear();

    c.BeginUpdate();
    c.BeginUpdate();
    fill(c, {"A", "B"});
    c.Items(0)->SetIndex(1);
    c.Delete(0);
    c.EndUpdate();
    EXPECT_EQ(spy.count(), 0);
    c.EndUpdate();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0), nullptr); // the whole collection changed
    c.EndUpdate();                 // an unmatched EndUpdate does nothing
    EXPECT_EQ(spy.count(), 1);
    c.Add(); // and leaves no debt: the next change is announced at once
    EXPECT_EQ(spy.count(), 2);
}
