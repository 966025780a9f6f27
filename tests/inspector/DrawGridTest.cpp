#include "classlib/InplaceEdit.h"
#include "classlib/StringGrid.h"
#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class RefusingGrid : public TStringGrid {
public:
    using TStringGrid::TStringGrid;
    int refuseRow = -1;
    int selectCalls = 0;

protected:
    bool SelectCell(int col, int row) override {
        ++selectCalls;
        return row != refuseRow && TStringGrid::SelectCell(col, row);
    }
};

} // namespace

TEST(DrawGrid, GeometryWithOverridesAndScrolling) {
    TStringGrid grid;
    grid.resize(300, 200);
    grid.SetRowCount(100);
    grid.SetColCount(3);
    grid.SetDefaultRowHeight(20);
    grid.SetDefaultColWidth(80);
    grid.SetRowHeights(2, 40);
    grid.show();
    // Row 0 is fixed; each line adds the 1-pixel grid line.
    EXPECT_EQ(grid.CellRect(1, 0), QRect(81, 0, 80, 20));
    EXPECT_EQ(grid.CellRect(1, 2), QRect(81, 42, 80, 40));
    EXPECT_EQ(grid.CellRect(1, 3).top(), 83);
    EXPECT_EQ(grid.MouseCoord(100, 50), (TGridCoord{1, 2}));
    EXPECT_EQ(grid.MouseCoord(100, 82), (TGridCoord{1, 2})); // the line belongs to the cell above
    EXPECT_EQ(grid.MouseCoord(100, 83), (TGridCoord{1, 3}));

    grid.SetTopRow(10); // scrolled by whole cells: row 10 comes right below the fixed row
    EXPECT_EQ(grid.TopRow(), 10);
    EXPECT_TRUE(grid.CellRect(1, 5).isEmpty());
    EXPECT_EQ(grid.CellRect(1, 10).top(), 21);
    grid.SetTopRow(1000); // clamped so that the last row is the last visible one
    EXPECT_EQ(grid.TopRow() + grid.VisibleRowCount(), 100);

    grid.SetRow(3); // moving the current cell above the screen brings it into view
    EXPECT_EQ(grid.TopRow(), 3);
    grid.SetRow(60);
    EXPECT_EQ(grid.TopRow() + grid.VisibleRowCount() - 1, 60);
}

TEST(DrawGrid, SelectCellCanRefuseAndKeysMove) {
    RefusingGrid grid;
    grid.resize(300, 300);
    grid.show();
    grid.SetCol(1);
    grid.SetRow(1);
    grid.refuseRow = 2;
    int key = Qt::Key_Down;
    grid.KeyDown(key, Qt::NoModifier);
    EXPECT_EQ(grid.Row(), 1); // refused
    grid.refuseRow = -1;
    key = Qt::Key_Down;
    grid.KeyDown(key, Qt::NoModifier);
    EXPECT_EQ(grid.Row(), 2);
    key = Qt::Key_End;
    grid.KeyDown(key, Qt::ControlModifier);
    EXPECT_EQ(grid.Col(), 4);
    EXPECT_EQ(grid.Row(), 4);
    key = Qt::Key_Up;
    grid.KeyDown(key, Qt::ShiftModifier); // range selection keeps the anchor
    EXPECT_EQ(grid.Selection(), (TGridRect{4, 3, 4, 4}));
}

TEST(DrawGrid, EditorFollowsCellAndScrolling) {
    TStringGrid grid;
    grid.resize(300, 120);
    grid.SetRowCount(50);
    grid.SetOptions(grid.Options() | goEditing | goAlwaysShowEditor);
    grid.SetCells(1, 1, QStringLiteral("one"));
    grid.SetCells(1, 2, QStringLiteral("two"));
    grid.show();
    grid.SetCol(1);
    grid.SetRow(1);
    TInplaceEdit* edit = grid.InplaceEditor();
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->isVisible());
    EXPECT_EQ(edit->text(), "one");
    EXPECT_EQ(edit->geometry(), grid.CellRect(1, 1));
    edit->setText(QStringLiteral("uno")); // typed text reaches the cell as it changes
    EXPECT_EQ(grid.Cells(1, 1), "uno");
    grid.SetRow(2);
    EXPECT_EQ(edit->text(), "two");
    EXPECT_EQ(edit->geometry(), grid.CellRect(1, 2));
    grid.SetTopRow(20); // the current cell scrolls away: the editor hides with it
    EXPECT_FALSE(edit->isVisible());
    grid.SetTopRow(1);
    EXPECT_TRUE(edit->isVisible());
    EXPECT_EQ(edit->geometry(), grid.CellRect(1, 2));
}

TEST(DrawGrid, EditMaskConversion) {
    const TEditMaskInfo phone = ConvertEditMask(QStringLiteral("!\\(999\\)000-0000;1;_"));
    EXPECT_EQ(phone.InputMask, "(000)999-9999;_");
    EXPECT_TRUE(phone.SaveLiterals);
    const TEditMaskInfo code = ConvertEditMask(QStringLiteral(">LLL-AA;0;*"));
    EXPECT_EQ(code.InputMask, ">AAA-NN;*");
    EXPECT_FALSE(code.SaveLiterals);
    EXPECT_EQ(code.Blank, '*');
    EXPECT_TRUE(ConvertEditMask(QString()).InputMask.isEmpty());

    TStringGrid grid;
    grid.SetOptions(grid.Options() | goEditing | goAlwaysShowEditor);
    grid.OnGetEditMask = [](TCustomDrawGrid*, int, int, QString& mask) {
        mask = QStringLiteral("00-00;0;_");
    };
    grid.show();
    grid.SetCol(1);
    grid.SetRow(1);
    TInplaceEdit* edit = grid.InplaceEditor();
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("1234"));
    EXPECT_EQ(edit->Text(), "1234"); // literals are not saved with save-literals 0
}
