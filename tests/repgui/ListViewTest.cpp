// The row store on a list view: group headers that collapse and expand, nested groups, the box test.
#include "reporter/gui/OListViewItems.h"

#include <QPainter>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace reporter;

namespace {

struct TStoreFixture : ::testing::Test {
    TStoreFixture() {
        list.setColumnCount(2);
        store = std::make_unique<TListViewItems>(&list);
        // Group A (rows a1, a2), nested calling group B (rows b1, b2), a blank row, group C (row c1).
        store->AddItem({"", ""}, -1, true, true, "A");
        store->AddItem({"a1", "1"}, 3, false, false, "");
        store->AddItem({"a2", ""}, 0, false, false, "");
        store->AddItem({"", ""}, -1, false, true, "B");
        store->AddItem({"b1", "2"}, 3, false, false, "");
        store->AddItem({"b2", ""}, 0, false, false, "");
        store->AddItem({" ", ""}, -1, false, false, "");
        store->AddItem({"", ""}, -1, true, true, "C");
        store->AddItem({"c1", ""}, 0, false, false, "");
    }

    QStringList Shown() const {
        QStringList shown;
        for (int i = 0; i < list.topLevelItemCount(); ++i) {
            const TListViewRow* row = store->RowOfItem(i);
            shown << (row->Header ? row->Caption : row->Texts[0].trimmed());
        }
        return shown;
    }

    QTreeWidget list;
    std::unique_ptr<TListViewItems> store;
};

} // namespace

TEST_F(TStoreFixture, RowsOfANestedGroupAreIndentedAndBlankRowsEndNesting) {
    EXPECT_EQ(store->Count(), 9);
    EXPECT_EQ(list.topLevelItemCount(), 9);
    EXPECT_EQ(store->Items(1).Indented, 0);
    EXPECT_EQ(store->Items(4).Indented, 1);
    EXPECT_TRUE(store->Items(4).Texts[0].startsWith(store->IndentText()));
    EXPECT_GE(store->IndentWidth(), 14);
    EXPECT_TRUE(store->Items(6).Blank);
    EXPECT_EQ(store->Items(8).Indented, 0);
    EXPECT_EQ(store->Items(3).Predecessor, &store->Items(2));
    EXPECT_EQ(store->Items(7).Predecessor, nullptr); // after a blank row
}

TEST_F(TStoreFixture, CollapsingHidesUpToTheBlankRowAndExpandingKeepsCollapsedNestedGroups) {
    store->Toggle(3, QPoint(), false); // collapse B
    EXPECT_EQ(Shown(), (QStringList{"A", "a1", "a2", "B", "", "C", "c1"}));
    store->Toggle(0, QPoint(), false); // collapse A: B's header goes too
    EXPECT_EQ(Shown(), (QStringList{"A", "", "C", "c1"}));
    EXPECT_FALSE(store->Items(0).Expanded);
    store->Toggle(0, QPoint(), false); // expand A: B stays collapsed
    EXPECT_EQ(Shown(), (QStringList{"A", "a1", "a2", "B", "", "C", "c1"}));
    store->Toggle(3, QPoint(), false);
    EXPECT_EQ(Shown(), (QStringList{"A", "a1", "a2", "B", "b1", "b2", "", "C", "c1"}));
    // The store keeps every row whatever is shown.
    EXPECT_EQ(store->Count(), 9);
}

TEST_F(TStoreFixture, TheBoxTestDecidesWhetherAClickToggles) {
    store->Toggle(0, QPoint(40, 6), true); // beside the box
    EXPECT_TRUE(store->Items(0).Expanded);
    store->Toggle(1, QPoint(6, 6), true); // not a header
    EXPECT_EQ(list.topLevelItemCount(), 9);
    store->Toggle(0, QPoint(6, 6), true);
    EXPECT_FALSE(store->Items(0).Expanded);
    // B has a predecessor: its box sits one indent further right.
    store->Toggle(0, QPoint(6, 6), true);
    store->Toggle(3, QPoint(6, 6), true);
    EXPECT_TRUE(store->Items(3).Expanded);
    store->Toggle(3, QPoint(store->IndentWidth() + 6, 6), true);
    EXPECT_FALSE(store->Items(3).Expanded);
}

TEST_F(TStoreFixture, RowsWithoutTextsStayOutOfTheViewAndDeletingForgetsPredecessors) {
    store->AddItem({}, -1, false, false, "");
    EXPECT_EQ(store->Count(), 10);
    EXPECT_EQ(list.topLevelItemCount(), 9);
    store->DeleteItem(2);
    EXPECT_EQ(list.topLevelItemCount(), 8);
    EXPECT_EQ(store->Items(2).Predecessor, nullptr); // B pointed at the deleted a2
    store->Clear();
    EXPECT_EQ(store->Count(), 0);
    EXPECT_EQ(list.topLevelItemCount(), 0);
}

TEST_F(TStoreFixture, DrawsEveryKindOfRowWithoutFault) {
    list.resize(400, 300);
    list.show();
    list.setCurrentItem(list.topLevelItem(1));
    const QImage image = list.grab().toImage();
    EXPECT_FALSE(image.isNull());
    // The first header's band lies in the header band colour somewhere along its bottom.
    const QRect header = list.visualItemRect(list.topLevelItem(0));
    const QPoint origin = list.viewport()->mapTo(&list, header.bottomLeft());
    bool band = false;
    for (int x = origin.x(); x < origin.x() + 100; ++x)
        band = band || image.pixelColor(x, origin.y()) == ListColors::HeaderBand;
    EXPECT_TRUE(band);
}

TEST_F(TStoreFixture, EachRowShowsItsImageAfterItsIndentAndRowsWithoutOneShowNone) {
    list.resize(400, 300);
    list.show();
    list.setCurrentItem(list.topLevelItem(0)); // the focus frame stays off the rows looked at
    const QImage shown = list.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // What a row's image area must hold: the image over the row's background (none: the background).
    const auto expected = [&](int image) {
        QImage area(16, 16, QImage::Format_RGB32);
        area.fill(ListColors::NormalBackground);
        if (image >= 0) {
            QPainter painter(&area);
            painter.drawPixmap(0, 0, store->Image(image));
        }
        return area;
    };
    for (const int item : {1, 2, 4, 5, 6, 8}) {
        SCOPED_TRACE(item);
        const TListViewRow* row = store->RowOfItem(item);
        ASSERT_NE(row, nullptr);
        const QRect cell = list.visualRect(list.model()->index(item, 0));
        ASSERT_GE(cell.height(), 17);
        const QPoint at(cell.left() + 2 + row->Indented * store->IndentWidth(), cell.top());
        EXPECT_EQ(shown.copy(QRect(at, QSize(16, 16))), expected(row->Image));
    }
}
