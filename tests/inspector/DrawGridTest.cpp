#include "classlib/InplaceEdit.h"
#include "classlib/StringGrid.h"
#include "classlib/SysUtils.h"
#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <utility>

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

TEST(DrawGrid, HugeExtentsKeepPositionsInsideTheView) {
    // A stored grid may carry any number: sums of such sizes must not wrap to positions inside the view.
    TStringGrid grid;
    grid.resize(300, 200);
    grid.SetRowCount(5);
    grid.SetColCount(5);
    grid.SetDefaultRowHeight(std::numeric_limits<int>::max());
    grid.SetDefaultColWidth(std::numeric_limits<int>::max());
    grid.SetGridLineWidth(std::numeric_limits<int>::max());
    grid.show();
    EXPECT_TRUE(grid.CellRect(1, 1).isEmpty());
    EXPECT_TRUE(grid.CellRect(0, 2).isEmpty());
    EXPECT_EQ(grid.MouseCoord(10, 10), TGridCoord{});
    EXPECT_EQ(grid.VisibleRowCount(), 0);
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

namespace {

// A draw grid whose cells have random widths and heights, with two fixed lines each way.
struct UnevenGrid {
    TDrawGrid grid;
    explicit UnevenGrid(int lineWidth) {
        grid.resize(400, 300);
        grid.SetScrollBars(TScrollStyle::ssNone);
        grid.SetColCount(12);
        grid.SetRowCount(40);
        grid.SetFixedCols(2);
        grid.SetFixedRows(2);
        grid.SetGridLineWidth(lineWidth);
        std::mt19937 rng(3);
        for (int c = 0; c < grid.ColCount(); ++c)
            grid.SetColWidths(c, 10 + int(rng() % 50));
        for (int r = 0; r < grid.RowCount(); ++r)
            grid.SetRowHeights(r, 8 + int(rng() % 30));
        grid.show();
    }
};

} // namespace

TEST(DrawGrid, CellRectAndMouseCoordAgreeEverywhere) {
    for (int lineWidth : {0, 1, 3}) {
        UnevenGrid u(lineWidth);
        TDrawGrid& grid = u.grid;
        const int vw = grid.viewport()->width();
        const int vh = grid.viewport()->height();
        for (const auto& [left, top] : {std::pair{2, 2}, std::pair{5, 9}, std::pair{100, 100}}) {
            grid.SetLeftCol(left);
            grid.SetTopRow(top);
            ASSERT_GE(grid.LeftCol(), 2);
            ASSERT_GE(grid.TopRow(), 2);
            int shownCells = 0;
            for (int c = 0; c < grid.ColCount(); ++c) {
                for (int r = 0; r < grid.RowCount(); ++r) {
                    const QRect rect = grid.CellRect(c, r);
                    const bool scrolledAway = (c >= 2 && c < grid.LeftCol()) || (r >= 2 && r < grid.TopRow());
                    if (scrolledAway) {
                        EXPECT_TRUE(rect.isEmpty()) << c << "," << r;
                        continue;
                    }
                    if (rect.isEmpty())
                        continue; // beyond the right or bottom edge
                    ++shownCells;
                    EXPECT_EQ(grid.MouseCoord(rect.left(), rect.top()), (TGridCoord{c, r}));
                    if (rect.right() + lineWidth < vw && rect.bottom() + lineWidth < vh) {
                        // The line right of and below a cell belongs to the cell.
                        EXPECT_EQ(grid.MouseCoord(rect.right() + lineWidth, rect.bottom() + lineWidth),
                                  (TGridCoord{c, r}));
                    }
                }
            }
            EXPECT_GT(shownCells, 4);
            // Every pixel maps to a cell whose rectangle (with its lines) holds it, or to none.
            for (int x = 0; x < vw; x += 3) {
                for (int y = 0; y < vh; y += 3) {
                    const TGridCoord hit = grid.MouseCoord(x, y);
                    if (hit.X < 0 || hit.Y < 0)
                        continue;
                    const QRect rect = grid.CellRect(hit.X, hit.Y);
                    ASSERT_TRUE(rect.adjusted(0, 0, lineWidth, lineWidth).contains(x, y))
                        << "pixel " << x << "," << y << " cell " << hit.X << "," << hit.Y;
                }
            }
            EXPECT_EQ(grid.MouseCoord(vw, 0).X, -1);
            EXPECT_EQ(grid.MouseCoord(0, vh).Y, -1);
            EXPECT_EQ(grid.MouseCoord(-1, -1), (TGridCoord{-1, -1}));
        }
    }
}

TEST(DrawGrid, ScrollingAndFixedLines) {
    UnevenGrid u(1);
    TDrawGrid& grid = u.grid;
    // The fixed lines stay put whatever the scroll position.
    const QRect fixedCorner = grid.CellRect(1, 1);
    grid.SetTopRow(20);
    grid.SetLeftCol(6);
    EXPECT_EQ(grid.CellRect(1, 1), fixedCorner);
    EXPECT_EQ(grid.CellRect(6, 20).topLeft(),
              QPoint(grid.CellRect(1, 0).right() + 2, grid.CellRect(0, 1).bottom() + 2));
    // Scrolled to the end, the last row and column are fully on screen and one step further is refused.
    grid.SetTopRow(1000);
    grid.SetLeftCol(1000);
    const QRect last = grid.CellRect(grid.ColCount() - 1, grid.RowCount() - 1);
    ASSERT_FALSE(last.isEmpty());
    EXPECT_LE(last.bottom(), grid.viewport()->height() - 1);
    EXPECT_LE(last.right(), grid.viewport()->width() - 1);
    const int top = grid.TopRow();
    int key = Qt::Key_Down;
    grid.KeyDown(key, Qt::ControlModifier); // Ctrl+Down scrolls by one row when it can
    EXPECT_EQ(grid.TopRow(), top);
    key = Qt::Key_Up;
    grid.KeyDown(key, Qt::ControlModifier);
    EXPECT_EQ(grid.TopRow(), top - 1);
    // The scroll bar drives the same position.
    grid.verticalScrollBar()->setValue(3);
    EXPECT_EQ(grid.TopRow(), grid.FixedRows() + 3);

    EXPECT_THROW(grid.SetFixedRows(grid.RowCount()), EInvalidOperation);
    EXPECT_THROW(grid.SetFixedCols(-1), EInvalidOperation);
    EXPECT_EQ(grid.FixedRows(), 2);
    EXPECT_THROW(grid.SetRowHeights(grid.RowCount(), 5), EListError);
    EXPECT_THROW(grid.SetColWidths(-1, 5), EListError);
    // A new fixed count starts the grid at its first scrollable cell.
    grid.SetFixedRows(3);
    EXPECT_EQ(grid.TopRow(), 3);
    EXPECT_EQ(grid.Row(), 3);
    EXPECT_EQ(grid.Col(), 2);
}

TEST(DrawGrid, CountsShrinkUnderTheCurrentCell) {
    TStringGrid grid;
    grid.resize(500, 300);
    grid.SetOptions(grid.Options() | goEditing | goAlwaysShowEditor);
    grid.SetColCount(6);
    grid.SetRowCount(8);
    grid.SetCells(5, 7, QStringLiteral("corner"));
    grid.show();
    grid.SetCol(5);
    grid.SetRow(7);
    ASSERT_NE(grid.InplaceEditor(), nullptr);
    EXPECT_EQ(grid.InplaceEditor()->text(), "corner");
    grid.SetRowCount(4);
    grid.SetColCount(3);
    EXPECT_EQ(grid.Row(), 3);
    EXPECT_EQ(grid.Col(), 2);
    EXPECT_EQ(grid.Selection(), (TGridRect{2, 3, 2, 3}));
    EXPECT_EQ(grid.InplaceEditor()->geometry(), grid.CellRect(2, 3)); // the editor moved with the cell
    grid.SetRowCount(8);
    grid.SetColCount(6);
    EXPECT_EQ(grid.Cells(5, 7), ""); // cells that went are gone
    EXPECT_THROW(grid.SetCells(6, 0, QStringLiteral("x")), EListError);
    EXPECT_EQ(grid.Cells(6, 0), "");
    // A single remaining row or column cannot be fixed.
    grid.SetFixedRows(1);
    grid.SetRowCount(1);
    EXPECT_EQ(grid.FixedRows(), 0);
    EXPECT_EQ(grid.RowCount(), 1);
}

TEST(DrawGrid, MouseClicksAndRefusedMoves) {
    RefusingGrid grid;
    grid.resize(300, 300);
    grid.show();
    const QPoint cell22 = grid.CellRect(2, 2).center();
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, cell22);
    EXPECT_EQ(grid.Col(), 2);
    EXPECT_EQ(grid.Row(), 2);
    grid.refuseRow = 3;
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, grid.CellRect(1, 3).center());
    EXPECT_EQ(grid.Col(), 2); // refused: nothing moves
    EXPECT_EQ(grid.Row(), 2);
    // A click on a fixed cell selects nothing.
    const int calls = grid.selectCalls;
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, grid.CellRect(0, 0).center());
    EXPECT_EQ(grid.selectCalls, calls);
    EXPECT_EQ(grid.Row(), 2);
    // Shift+click extends the selection from the anchor.
    grid.refuseRow = -1;
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ShiftModifier, grid.CellRect(4, 4).center());
    EXPECT_EQ(grid.Selection(), (TGridRect{2, 2, 4, 4}));
    // A refused Tab move keeps the cell.
    grid.SetOptions(grid.Options() | goTabs);
    grid.SetCol(4);
    grid.SetRow(1);
    grid.refuseRow = 2;
    int key = Qt::Key_Tab;
    grid.KeyDown(key, Qt::NoModifier); // from the last column the Tab goes to the next row
    EXPECT_EQ(grid.Col(), 4);
    EXPECT_EQ(grid.Row(), 1);
    grid.refuseRow = -1;
    key = Qt::Key_Tab;
    grid.KeyDown(key, Qt::NoModifier);
    EXPECT_EQ(grid.Col(), 1);
    EXPECT_EQ(grid.Row(), 2);
    key = Qt::Key_Backtab;
    grid.KeyDown(key, Qt::ShiftModifier); // and back
    EXPECT_EQ(grid.Col(), 4);
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(grid.Selection(), (TGridRect{4, 1, 4, 1})); // a back-tab is no range selection
}

TEST(DrawGrid, RowSelectAndSizingWithTheMouse) {
    TStringGrid grid;
    grid.resize(400, 300);
    grid.SetOptions((grid.Options() | goRowSelect | goColSizing | goRowSizing) & ~goRangeSelect);
    grid.show();
    grid.SetRow(3);
    EXPECT_EQ(grid.Selection(), (TGridRect{1, 3, 4, 3})); // the whole row
    int key = Qt::Key_Right;
    grid.KeyDown(key, Qt::NoModifier); // scrolls instead of moving within the row
    EXPECT_EQ(grid.Col(), 1);

    // Dragging the line right of column 1 in the title row sizes that column.
    const int line = grid.CellRect(1, 0).right() + 1;
    QTest::mousePress(grid.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(line, 5));
    QTest::mouseRelease(grid.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(line + 30, 5));
    EXPECT_EQ(grid.ColWidths(1), 64 + 30);
    EXPECT_EQ(grid.ColWidths(2), 64);
    EXPECT_EQ(grid.Row(), 3); // sizing moved nothing
    // The same below row 2 in the fixed column sizes that row.
    const int rowLine = grid.CellRect(0, 2).bottom() + 1;
    QTest::mousePress(grid.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, rowLine + 2));
    QTest::mouseRelease(grid.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, rowLine - 10));
    EXPECT_EQ(grid.RowHeights(2), 24 - 12);
    EXPECT_EQ(grid.RowHeights(3), 24);
    // Moving a row carries its height and its cells.
    grid.SetCells(1, 2, QStringLiteral("two"));
    grid.MoveRow(2, 4);
    EXPECT_EQ(grid.RowHeights(4), 12);
    EXPECT_EQ(grid.Cells(1, 4), "two");
    EXPECT_EQ(grid.RowHeights(2), 24);
    EXPECT_THROW(grid.MoveRow(0, 5), EListError);
}

TEST(DrawGrid, EditorStaysOnItsCellWhileScrollingAndSizing) {
    TStringGrid grid;
    grid.resize(400, 250);
    grid.SetColCount(20);
    grid.SetRowCount(30);
    grid.SetOptions(grid.Options() | goEditing | goAlwaysShowEditor);
    grid.SetCells(3, 4, QStringLiteral("here"));
    grid.show();
    grid.SetCol(3);
    grid.SetRow(4);
    TInplaceEdit* edit = grid.InplaceEditor();
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(edit->isVisible());
    grid.SetLeftCol(2); // one column scrolled away on the left: the editor moves left with its cell
    EXPECT_EQ(edit->geometry(), grid.CellRect(3, 4));
    EXPECT_EQ(edit->text(), "here");
    grid.horizontalScrollBar()->setValue(grid.horizontalScrollBar()->maximum());
    EXPECT_TRUE(grid.CellRect(3, 4).isEmpty());
    EXPECT_FALSE(edit->isVisible());
    grid.horizontalScrollBar()->setValue(0);
    EXPECT_TRUE(edit->isVisible());
    EXPECT_EQ(edit->geometry(), grid.CellRect(3, 4));
    // A taller row and a wider column under the editor resize it.
    grid.SetRowHeights(4, 50);
    grid.SetColWidths(3, 90);
    EXPECT_EQ(edit->geometry(), grid.CellRect(3, 4));
    EXPECT_EQ(edit->height(), 50);
    EXPECT_EQ(edit->width(), 90);
    // Rows above growing push it down.
    grid.SetRowHeights(2, 40);
    EXPECT_EQ(edit->geometry(), grid.CellRect(3, 4));
    EXPECT_EQ(edit->text(), "here");
}

// A window closed while its editor holds the focus must not hand the focus change to the grid being
// torn down (a use after free that only a sanitizer sees; here it must at least not crash).
TEST(DrawGrid, ClosingAWindowWithTheFocusedEditorIsSafe) {
    auto grid = std::make_unique<TStringGrid>();
    grid->SetOptions(grid->Options() | goEditing | goAlwaysShowEditor);
    grid->resize(300, 200);
    grid->show();
    QApplication::setActiveWindow(grid.get());
    grid->SetEditorMode(true);
    ASSERT_NE(grid->InplaceEditor(), nullptr);
    grid->InplaceEditor()->setFocus();
    QApplication::processEvents();
    grid.reset();
    QApplication::processEvents();
}

TEST(DrawGrid, TabMovesBetweenCellsOrLeavesTheGrid) {
    QWidget window;
    auto* before = new QLineEdit(&window);
    auto* grid = new TStringGrid(&window);
    auto* after = new QLineEdit(&window);
    before->setGeometry(0, 0, 200, 24);
    grid->setGeometry(0, 30, 300, 200);
    after->setGeometry(0, 240, 200, 24);
    grid->SetOptions(grid->Options() | goEditing | goAlwaysShowEditor);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto press = [](Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), key, mods);
    };
    before->setFocus();
    press(Qt::Key_Tab);
    ASSERT_TRUE(grid->InplaceEditor() && grid->InplaceEditor()->hasFocus());
    press(Qt::Key_Tab); // without goTabs Tab leaves for the next control...
    EXPECT_EQ(QApplication::focusWidget(), after);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(grid->InplaceEditor()->hasFocus());
    press(Qt::Key_Backtab, Qt::ShiftModifier); // ... and Shift+Tab for the previous one
    EXPECT_EQ(QApplication::focusWidget(), before);

    grid->SetOptions(grid->Options() | goTabs); // with goTabs Tab walks the cells
    press(Qt::Key_Tab);
    ASSERT_TRUE(grid->InplaceEditor()->hasFocus());
    const int col = grid->Col();
    press(Qt::Key_Tab);
    EXPECT_EQ(grid->Col(), col + 1);
    EXPECT_TRUE(grid->InplaceEditor()->hasFocus());
    press(Qt::Key_Tab, Qt::ControlModifier); // Ctrl+Tab still leaves
    EXPECT_EQ(QApplication::focusWidget(), after);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(grid->InplaceEditor()->hasFocus());
    press(Qt::Key_Backtab, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), before);
}

TEST(DrawGrid, FixedCountsAreCheckedAtBothEnds) {
    TStringGrid grid;
    grid.SetColCount(4);
    grid.SetRowCount(5);
    // The largest fixed count leaves one scrollable column or row; one more is refused and changes nothing.
    grid.SetFixedCols(grid.ColCount() - 1);
    EXPECT_EQ(grid.FixedCols(), 3);
    EXPECT_THROW(grid.SetFixedCols(grid.ColCount()), EInvalidOperation);
    EXPECT_EQ(grid.FixedCols(), 3);
    grid.SetFixedRows(grid.RowCount() - 1);
    EXPECT_EQ(grid.FixedRows(), 4);
    EXPECT_THROW(grid.SetFixedRows(grid.RowCount()), EInvalidOperation);
    EXPECT_EQ(grid.FixedRows(), 4);
    // No fixed column or row at all is the other end.
    grid.SetFixedCols(0);
    grid.SetFixedRows(0);
    EXPECT_EQ(grid.FixedCols(), 0);
    EXPECT_EQ(grid.FixedRows(), 0);
    EXPECT_THROW(grid.SetFixedCols(-1), EInvalidOperation);
    EXPECT_THROW(grid.SetFixedRows(-1), EInvalidOperation);
    EXPECT_EQ(grid.FixedCols(), 0);
    EXPECT_EQ(grid.FixedRows(), 0);
}

TEST(DrawGrid, ShrinkingToTheFixedCountKeepsOneScrollableLine) {
    // {new count, fixed count after it}: one line above the fixed count keeps it; exactly the fixed
    // count leaves one scrollable line.
    for (const auto& [count, fixed] : {std::pair{4, 3}, std::pair{3, 2}, std::pair{1, 0}}) {
        SCOPED_TRACE(count);
        TStringGrid grid;
        grid.SetColCount(5);
        grid.SetRowCount(5);
        grid.SetFixedCols(3);
        grid.SetFixedRows(3);
        grid.SetColCount(count);
        grid.SetRowCount(count);
        EXPECT_EQ(grid.FixedCols(), fixed);
        EXPECT_EQ(grid.FixedRows(), fixed);
    }
}

namespace {

class ExtentGrid : public TDrawGrid {
public:
    using TCustomDrawGrid::FixedHeight;
    using TCustomDrawGrid::FixedWidth;
    using TDrawGrid::TDrawGrid;
};

} // namespace

TEST(DrawGrid, LineCountsStopAtTheLimitAndTheLargestGridKeepsItsSums) {
    ExtentGrid grid;
    grid.resize(300, 200);
    // The limit is taken; one line more is refused and changes nothing; below one line is one line.
    grid.SetColCount(MaxGridLines);
    grid.SetRowCount(MaxGridLines);
    EXPECT_THROW(grid.SetColCount(MaxGridLines + 1), EInvalidOperation);
    EXPECT_THROW(grid.SetRowCount(MaxGridLines + 1), EInvalidOperation);
    EXPECT_EQ(grid.ColCount(), MaxGridLines);
    EXPECT_EQ(grid.RowCount(), MaxGridLines);
    // Every line but one fixed, each at the largest extent with the widest grid line: past 16384 such
    // lines the sums wrapped to positions inside the view.
    grid.SetFixedCols(MaxGridLines - 1);
    grid.SetFixedRows(MaxGridLines - 1);
    grid.SetDefaultColWidth(std::numeric_limits<int>::max());
    grid.SetDefaultRowHeight(std::numeric_limits<int>::max());
    grid.SetGridLineWidth(std::numeric_limits<int>::max());
    grid.show();
    const qint64 column = qint64(grid.DefaultColWidth()) + grid.GridLineWidth();
    const qint64 row = qint64(grid.DefaultRowHeight()) + grid.GridLineWidth();
    EXPECT_EQ(grid.FixedWidth(), (MaxGridLines - 1) * column);
    EXPECT_EQ(grid.FixedHeight(), (MaxGridLines - 1) * row);
    EXPECT_EQ(grid.CellRect(0, 0), QRect(0, 0, grid.DefaultColWidth(), grid.DefaultRowHeight()));
    EXPECT_TRUE(grid.CellRect(MaxGridLines - 1, MaxGridLines - 1).isEmpty());
    EXPECT_TRUE(grid.CellRect(MaxGridLines - 2, MaxGridLines - 2).isEmpty());
    EXPECT_EQ(grid.MouseCoord(grid.viewport()->width() - 1, grid.viewport()->height() - 1), TGridCoord{});
    EXPECT_EQ(grid.VisibleRowCount(), 0);
    EXPECT_EQ(grid.VisibleColCount(), 0);
    grid.SetColCount(0);
    EXPECT_EQ(grid.ColCount(), 1);
    EXPECT_EQ(grid.FixedCols(), 0);
}
