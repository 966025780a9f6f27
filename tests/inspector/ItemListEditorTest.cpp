#include "ItemGridSupport.h"
#include "inspector/RSItemListEditor.h"
#include <QMouseEvent>
#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace {

QStringList TopNames(TRSItemListEditor& grid) {
    QStringList names;
    for (int i = 0; i < grid.Items()->Count(); ++i)
        names << grid.Items()->Items(i)->Name();
    return names;
}

TRSItemProp* AddRow(ShownItemGrid& f, const char* path) {
    return f.grid.Items()->AddByPath(QString::fromLatin1(path), {}, false);
}

QPoint GlyphPoint(TRSItemListEditor& grid, TRSItemProp* row) {
    const TGridCoord cell = grid.CellOf(grid.FixedItems() + row->VisibleIndex(), 0);
    return grid.CellRect(cell.X, cell.Y).topLeft() +
           QPoint(row->Level() * grid.Indent() + 3, (grid.DefaultRowHeight() - 9) / 2 + 3);
}

} // namespace

TEST(ItemListEditor, ColumnFitting) {
    TRSItemListEditor grid;
    grid.resize(401, 200);
    grid.show();
    // The client width less one grid line per column.
    auto space = [&] { return grid.viewport()->width() - grid.ColCount() * grid.GridLineWidth(); };
    // The name column keeps its width; the value column takes the rest.
    EXPECT_EQ(grid.ColWidths(0), 150);
    EXPECT_EQ(grid.ColWidths(1), space() - 150);
    grid.resize(501, 200);
    EXPECT_EQ(grid.ColWidths(1), space() - 150);
    grid.SetColWidths(0, 100); // sizing the name column refits the value column
    EXPECT_EQ(grid.ColWidths(1), space() - 100);
    // Several value columns share the rest, their lines counted.
    grid.SetDisplayOptions(grid.DisplayOptions() | doMultiColValues);
    grid.SetValueCount(4);
    EXPECT_EQ(grid.ColWidths(1), (grid.viewport()->width() - 4 - 100) / 3);
    EXPECT_EQ(grid.ColWidths(3), (space() - 100) / 3);
    int used = 0;
    for (int i = 0; i < grid.ColCount(); ++i)
        used += grid.ColWidths(i) + grid.GridLineWidth();
    EXPECT_LE(used, grid.viewport()->width());
    EXPECT_GT(used + 3, grid.viewport()->width()); // short by the remainder of the division at most
    // Without a fixed name column it gets half and the value columns share the other half.
    grid.SetDisplayOptions(grid.DisplayOptions() & ~doKeyColFixed);
    const int w = space();
    EXPECT_EQ(grid.ColWidths(0), w / 2);
    EXPECT_EQ(grid.ColWidths(2), (w / 2 + w % 2) / 3);
    // Switching off multiple values goes back to one value column.
    grid.SetDisplayOptions(grid.DisplayOptions() & ~doMultiColValues);
    EXPECT_EQ(grid.ValueCount(), 2);
    EXPECT_EQ(grid.ColWidths(0) + grid.ColWidths(1), space());
    // Without automatic sizing a resize leaves the columns alone.
    grid.SetDisplayOptions(grid.DisplayOptions() & ~doAutoColResize);
    const int before = grid.ColWidths(1);
    grid.resize(700, 200);
    EXPECT_EQ(grid.ColWidths(1), before);
}

TEST(ItemListEditor, SizingTheNameColumnWithTheMouse) {
    ShownItemGrid f;
    const int line = f.grid.ColWidths(0);
    const int y = f.grid.CellRect(1, f.grid.Row()).center().y(); // on the current row, not the title
    QTest::mousePress(f.grid.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(line + 1, y));
    QTest::mouseRelease(f.grid.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(line - 40, y));
    EXPECT_EQ(f.grid.ColWidths(0), 150 - 41);
    EXPECT_EQ(f.grid.ColWidths(0) + f.grid.ColWidths(1), f.grid.viewport()->width() - 2);
    EXPECT_EQ(f.grid.CurrentItem(), f.Row(0));
    EXPECT_EQ(f.grid.CurValue(), 1);
}

TEST(ItemListEditor, TitlesAndPropertyOptions) {
    ShownItemGrid f;
    f.grid.SetTitleCaptions({QStringLiteral("Name"), QStringLiteral("Setting")});
    EXPECT_TRUE(f.grid.TitleCaptionsStored());
    QString text;
    f.grid.GetCellText(1, 0, text);
    EXPECT_EQ(text, "Setting");
    f.grid.SetTitleCaptions({QStringLiteral("Property"), QStringLiteral("Value")});
    EXPECT_FALSE(f.grid.TitleCaptionsStored());

    // Without titles the rows start at the first line.
    f.grid.SelectItem(f.Row(1));
    f.grid.SetDisplayOptions(f.grid.DisplayOptions() & ~doColumnTitles);
    EXPECT_EQ(f.grid.FixedItems(), 0);
    EXPECT_EQ(f.grid.ItemCount(), 3);
    EXPECT_EQ(f.grid.ItemAtCell(0, 0), f.Row(0));
    f.grid.GetCellText(0, 0, text);
    EXPECT_EQ(text, "A");
    f.grid.SetDisplayOptions(f.grid.DisplayOptions() | doColumnTitles);
    EXPECT_EQ(f.grid.FixedItems(), 1);
    EXPECT_EQ(f.grid.ItemCount(), 4);
    EXPECT_EQ(f.grid.ItemAtCell(0, 0), nullptr);
    EXPECT_EQ(f.grid.ItemAtCell(0, 99), nullptr);

    // propAdd brings propEdit along; dropping propEdit drops propAdd and leaves the name cell.
    f.grid.SetPropertyOptions(propAdd);
    EXPECT_EQ(f.grid.PropertyOptions(), unsigned(propAdd | propEdit));
    f.grid.SetCurValue(0);
    EXPECT_EQ(f.grid.CurValue(), 0);
    f.grid.SetPropertyOptions(propDelete);
    EXPECT_EQ(f.grid.PropertyOptions(), unsigned(propDelete));
    EXPECT_EQ(f.grid.CurValue(), 1);
}

TEST(ItemListEditor, TypingOnTheEmptyLineMakesOneRow) {
    TRSItemListEditor grid;
    grid.resize(320, 240);
    grid.show();
    ASSERT_EQ(grid.ItemCount(), grid.FixedItems() + 1);
    grid.SetEditText(1, 1, QString()); // nothing typed, nothing made
    EXPECT_EQ(grid.Items()->Count(), 0);
    ASSERT_NE(grid.Editor(), nullptr);
    grid.Editor()->selectAll();
    QTest::keyClicks(grid.Editor(), QStringLiteral("abc"));
    ASSERT_EQ(grid.Items()->Count(), 1);
    EXPECT_EQ(grid.Items()->Items(0)->Value(), "abc");
    EXPECT_EQ(grid.ItemCount(), grid.FixedItems() + 1);
    EXPECT_EQ(grid.CurrentItem(), grid.Items()->Items(0));
}

TEST(ItemListEditor, BlankRowsGoWhenLeftUpwards) {
    ShownItemGrid f;
    TRSItemProp* blank = f.grid.Items()->InsertAt(2);
    f.grid.SelectItem(blank);
    f.grid.SetCurItem(f.grid.CurItem() - 1); // up: the blank row goes, and we land where we asked
    EXPECT_EQ(TopNames(f.grid), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(f.grid.CurrentItem(), f.Row(1));
    // A row with a value is no blank row; nor is any row without DeleteBlanks.
    TRSItemProp* valued = f.grid.Items()->InsertAt(1);
    valued->Values().SetText(QStringLiteral("x"));
    f.grid.SelectItem(valued);
    f.grid.SetCurItem(f.grid.CurItem() + 1);
    EXPECT_EQ(f.grid.Items()->Count(), 4);
    f.grid.SetDeleteBlanks(false);
    TRSItemProp* kept = f.grid.Items()->InsertAt(0);
    f.grid.SelectItem(kept);
    f.grid.SetCurItem(f.grid.CurItem() + 1);
    EXPECT_EQ(f.grid.Items()->Count(), 5);
}

TEST(ItemListEditor, HorizontalEditingAndGlyphs) {
    ShownItemGrid f;
    TRSItemProp* c = f.Row(2);
    c->Items()->Add()->SetName(QStringLiteral("sub"));
    f.grid.SetOrientation(TRSGridOrientation::goHorizontal);
    f.grid.SelectItem(f.Row(1));
    ASSERT_EQ(f.grid.Col(), 2);
    ASSERT_EQ(f.grid.Row(), 1);
    QString text;
    f.grid.GetCellText(0, 1, text);
    EXPECT_EQ(text, "Value");
    f.grid.GetCellText(3, 0, text);
    EXPECT_EQ(text, "C");
    EXPECT_EQ(f.Editor()->geometry(), f.grid.CellRect(2, 1));
    f.Type(QStringLiteral("zz"));
    EXPECT_EQ(f.Row(1)->Value(), "zz");
    f.Editor()->end(false);
    f.Key(Qt::Key_Right); // at the end of the text Right goes on to the next row's column
    EXPECT_EQ(f.grid.CurrentItem(), c);
    f.grid.SetCurValue(0); // the name line needs propEdit here too
    EXPECT_EQ(f.grid.Row(), 1);

    // The glyph of C in its name cell (the first line) expands it: one more column, same current cell.
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, Qt::NoModifier, GlyphPoint(f.grid, c));
    EXPECT_TRUE(c->Expanded());
    EXPECT_EQ(f.grid.ColCount(), 5);
    EXPECT_EQ(f.grid.CurrentItem(), c);
    f.grid.SelectItem(c->Items()->Items(0));
    EXPECT_EQ(f.grid.Col(), 4);
    c->Collapse(); // the current row goes out of sight with its parent
    EXPECT_EQ(f.grid.ColCount(), 4);
    EXPECT_EQ(f.grid.Items()->Count(), 3);

    // A blank column left to the left goes; we land on the column asked for.
    TRSItemProp* blank = f.grid.Items()->InsertAt(2);
    f.grid.SelectItem(blank);
    f.grid.SetCurItem(f.grid.CurItem() - 1);
    EXPECT_EQ(f.grid.Items()->Count(), 3);
    EXPECT_EQ(f.grid.CurrentItem(), f.Row(1));
    f.grid.SetOrientation(TRSGridOrientation::goVertical);
    EXPECT_EQ(f.grid.CurrentItem(), f.Row(1));
    EXPECT_EQ(f.grid.RowCount(), 4);
}

TEST(ItemListEditor, SelectingExpandingAndMovingRows) {
    ShownItemGrid f;
    TRSItemProp* deep = f.grid.Items()->AddByPath(QStringLiteral("B.x.y"), QStringLiteral("1"), false);
    EXPECT_EQ(deep->VisibleIndex(), -1);
    f.grid.SelectItem(deep); // opens the way to it
    EXPECT_EQ(f.grid.CurrentItem(), deep);
    EXPECT_TRUE(f.Row(1)->Expanded());
    EXPECT_EQ(f.grid.VisibleCount(), 5);
    deep->SetVisible(false);
    f.grid.SelectItem(f.Row(0));
    f.grid.SelectItem(deep); // an invisible row cannot be selected
    EXPECT_EQ(f.grid.CurrentItem(), f.Row(0));
    deep->SetVisible(true);

    f.grid.SelectItem(f.Row(2));
    f.grid.FullCollapseAll();
    EXPECT_EQ(f.grid.VisibleCount(), 3);
    EXPECT_EQ(f.grid.CurrentItem(), f.Row(2)); // kept where it stays shown
    f.grid.FullExpandAll();
    EXPECT_EQ(f.grid.VisibleCount(), 5);
    EXPECT_EQ(f.grid.CurrentItem(), f.Row(2));
    EXPECT_EQ(f.grid.ItemCount(), 6);

    // Moving grid lines exchanges the top-level rows.
    f.grid.FullCollapseAll();
    f.grid.MoveRow(1, 3);
    EXPECT_EQ(TopNames(f.grid), (QStringList{"C", "B", "A"}));
    EXPECT_EQ(f.grid.VisibleItem(0)->Name(), "C");
    EXPECT_EQ(f.grid.ItemListItem(f.grid.ItemListCount() - 1)->Name(), "A");

    f.grid.SelectItem(nullptr); // closes the editor
    EXPECT_FALSE(f.Editor()->isVisible());
}

// A program's own update: the row it selects (or the current row it moves) is current at once, and on
// its line once the update ends, though the lines lag behind the rows until then.
TEST(ItemListEditor, TheCurrentRowInsideAnUpdate) {
    enum TBracket { Grid, Nested, Rows };
    const struct {
        const char* name;
        TBracket bracket;
        std::function<void(ShownItemGrid&)> act;
        const char* current;
    } cases[] = {
        {"rows added, one selected", Grid,
         [](ShownItemGrid& f) {
             for (const char* n : {"D", "E", "F"})
                 f.grid.Items()->AddByPath(QString::fromLatin1(n), {}, false);
             f.grid.SelectItem(f.Row(4));
         },
         "E"},
        {"a sub-row of a collapsed row", Grid,
         [](ShownItemGrid& f) { f.grid.SelectItem(f.Row(2)->Items()->Items(0)); }, "c1"},
        {"the selected row deleted", Grid,
         [](ShownItemGrid& f) {
             f.grid.SelectItem(f.grid.Items()->AddByPath(QStringLiteral("D"), {}, false));
             delete f.Row(3);
         },
         "C"},
        {"nested", Nested,
         [](ShownItemGrid& f) {
             f.grid.SelectItem(f.grid.Items()->AddByPath(QStringLiteral("D.d1"), {}, false));
         },
         "d1"},
        {"the rows' update", Rows,
         [](ShownItemGrid& f) {
             f.grid.SelectItem(f.grid.Items()->AddByPath(QStringLiteral("D"), {}, false));
         },
         "D"},
        {"rows sorted, one selected", Grid,
         [](ShownItemGrid& f) {
             TRSItemProp* first = f.grid.Items()->AddByPath(QStringLiteral("0"), {}, false);
             f.grid.Items()->Sort(true);
             f.grid.SelectItem(first);
         },
         "0"},
        {"a row expanded above it", Grid, [](ShownItemGrid& f) { f.Row(0)->Expand(); }, "C"},
        // A held row that leaves its place leaves it to the row that takes it, as a row on its line does.
        {"the selected row moved to another level", Grid,
         [](ShownItemGrid& f) {
             f.Row(2)->Expand();
             for (const char* n : {"D", "E", "F"})
                 AddRow(f, n);
             f.grid.SelectItem(f.Row(4));
             f.Row(4)->MoveTo(f.Row(2)->Items());
         },
         "F"},
        {"the selected row moved in its level", Grid,
         [](ShownItemGrid& f) {
             f.grid.SelectItem(AddRow(f, "D"));
             f.Row(3)->SetIndex(0);
         },
         "D"},
        {"the selected row hidden as read-only", Grid,
         [](ShownItemGrid& f) {
             f.grid.SetDisplayOptions(f.grid.DisplayOptions() & ~doShowReadOnly);
             for (const char* n : {"D", "E", "F"})
                 AddRow(f, n);
             f.grid.SelectItem(f.Row(4));
             f.Row(4)->SetReadOnly(true);
         },
         "F"},
        {"the last row selected and made invisible", Grid,
         [](ShownItemGrid& f) {
             f.grid.SelectItem(AddRow(f, "D"));
             f.Row(3)->SetVisible(false);
         },
         "C"},
        {"the selected sub-row's parent moved", Grid,
         [](ShownItemGrid& f) {
             f.Row(2)->Expand();
             f.grid.SelectItem(AddRow(f, "Z.z1"));
             f.Row(3)->MoveTo(f.Row(2)->Items());
         },
         "c1"},
        {"the selected row's parent collapsed", Grid,
         [](ShownItemGrid& f) {
             f.grid.SelectItem(AddRow(f, "Z.z1"));
             f.Row(3)->Collapse();
         },
         "Z"},
        {"no row selected after one", Grid,
         [](ShownItemGrid& f) {
             f.grid.SelectItem(AddRow(f, "D"));
             f.grid.SelectItem(nullptr);
         },
         "D"},
        {"another row selected after it", Grid,
         [](ShownItemGrid& f) {
             f.grid.SelectItem(AddRow(f, "D"));
             f.grid.SelectItem(f.Row(0));
         },
         "A"},
        {"the row at the cursor selected after another", Grid,
         [](ShownItemGrid& f) {
             f.grid.SelectItem(AddRow(f, "D"));
             f.grid.SelectItem(f.Row(2));
         },
         "C"},
        {"a row selected after an update of the rows inside", Grid,
         [](ShownItemGrid& f) {
             f.grid.Items()->BeginUpdate();
             AddRow(f, "D");
             f.grid.Items()->EndUpdate();
             f.grid.SelectItem(f.Row(1));
         },
         "B"},
        {"the rows cleared", Grid,
         [](ShownItemGrid& f) {
             f.grid.SelectItem(AddRow(f, "D"));
             f.grid.Items()->Clear();
         },
         ""},
        // The user's move comes after the program's selection.
        {"a key moves the cursor", Grid,
         [](ShownItemGrid& f) {
             f.grid.SelectItem(AddRow(f, "D"));
             QTest::keyClick(&f.grid, Qt::Key_Up);
         },
         "B"},
        {"a click on another line", Grid,
         [](ShownItemGrid& f) {
             f.grid.SelectItem(AddRow(f, "D"));
             QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, Qt::NoModifier,
                               f.grid.CellRect(1, 1).center());
         },
         "A"},
    };
    for (const auto& c : cases) {
        ShownItemGrid f;
        for (const char* path : {"A.a1", "A.a2", "C.c1"})
            f.grid.Items()->AddByPath(QString::fromLatin1(path), {}, false);
        f.grid.SelectItem(f.Row(2));
        const auto name = [](const TRSItemProp* row) {
            return row ? row->Name().toStdString() : std::string();
        };
        const auto current = [&] { return name(f.grid.CurrentItem()); };
        c.bracket == Rows ? f.grid.Items()->BeginUpdate() : f.grid.BeginUpdate();
        if (c.bracket == Nested)
            f.grid.BeginUpdate();
        ASSERT_NO_THROW(c.act(f)) << c.name;
        EXPECT_EQ(current(), c.current) << c.name;
        if (c.bracket == Nested)
            f.grid.EndUpdate();
        EXPECT_EQ(current(), c.current) << c.name;
        ASSERT_NO_THROW(c.bracket == Rows ? f.grid.Items()->EndUpdate() : f.grid.EndUpdate()) << c.name;
        EXPECT_EQ(current(), c.current) << c.name;
        EXPECT_EQ(name(f.grid.ItemAtCell(f.grid.Col(), f.grid.Row())), c.current) << c.name;
    }

    // A held row hidden in an update of the rows leaves its place to the row that takes it, and is not
    // current again when shown again, nor when no row was left to take its place.
    for (const bool allHidden : {false, true}) {
        ShownItemGrid f;
        f.grid.Items()->BeginUpdate();
        f.grid.SelectItem(f.Row(1));
        for (int i = allHidden ? 0 : 1; i <= (allHidden ? 2 : 1); ++i)
            f.Row(i)->SetVisible(false);
        f.grid.Items()->EndUpdate();
        if (!allHidden)
            EXPECT_EQ(f.grid.CurrentItem(), f.Row(2));
        for (int i = 0; i < 3; ++i)
            f.Row(i)->SetVisible(true);
        EXPECT_EQ(f.grid.CurrentItem(), f.Row(allHidden ? 0 : 2)) << allHidden;
    }

    // A row beyond the lines a grid holds never gets one: refused inside an update as outside it. The last
    // row that gets one is held.
    ShownItemGrid f;
    f.grid.BeginUpdate();
    while (f.grid.Items()->Count() <= MaxGridLines)
        f.grid.Items()->Add();
    TRSItemProp* lastLine = f.Row(MaxGridLines - 2);
    EXPECT_ANY_THROW(f.grid.SelectItem(f.Row(MaxGridLines - 1)));
    EXPECT_EQ(f.grid.CurrentItem(), f.Row(0));
    f.grid.SelectItem(lastLine);
    EXPECT_EQ(f.grid.CurrentItem(), lastLine);
    f.grid.EndUpdate();
    EXPECT_EQ(f.grid.ItemAtCell(f.grid.Col(), f.grid.Row()), lastLine);
}

// While a row selected inside an update waits for its line, the user still sees the cursor on another
// row: what the keys and the editor do there is done to that row, never to the held one (nor the other
// way round); the program's own calls act on the held row.
TEST(ItemListEditor, TheRowAtTheCursorWhileASelectedRowWaitsForItsLine) {
    const struct {
        const char* name;
        std::function<void(ShownItemGrid&)> act;
        const char* rows;
        const char* current;
    } cases[] = {
        {"a key leaves a row that is not blank", [](ShownItemGrid& f) { f.Key(Qt::Key_Down); },
         "A=1|B=2|C=3|=", "B=2"},
        {"Escape on a row that is not blank", [](ShownItemGrid& f) { f.Key(Qt::Key_Escape); },
         "A=1|B=2|C=3|=", "A=1"},
        {"the program cancels the edit", [](ShownItemGrid& f) { f.grid.CancelEdit(); }, "A=1|B=2|C=3|=", "="},
        {"the program inserts a row", [](ShownItemGrid& f) { f.grid.InsertRow("X", "9", false); },
         "A=1|B=2|C=3|X=9", "X=9"},
        {"a read-only row at the cursor",
         [](ShownItemGrid& f) {
             f.Row(0)->SetReadOnly(true);
             EXPECT_FALSE(f.grid.CanEditModify());
             QTest::keyClicks(f.Editor(), QStringLiteral("x"));
         },
         "A=1|B=2|C=3|=", "="},
    };
    for (const auto& c : cases) {
        ShownItemGrid f;
        f.grid.SetPropertyOptions(propEdit | propAdd | propDelete);
        f.grid.BeginUpdate();
        f.grid.SelectItem(f.grid.Items()->Add()); // blank: leaving or cancelling it would delete it
        ASSERT_NO_THROW(c.act(f)) << c.name;
        f.grid.EndUpdate();
        QStringList rows;
        for (int i = 0; i < f.grid.Items()->Count(); ++i)
            rows << f.Row(i)->DisplayName();
        EXPECT_EQ(rows.join(QLatin1Char('|')).toStdString(), c.rows) << c.name;
        ASSERT_TRUE(f.grid.CurrentItem()) << c.name;
        EXPECT_EQ(f.grid.CurrentItem()->DisplayName().toStdString(), c.current) << c.name;
    }
}

// Text typed before a program's update that adds rows (and selects one) keeps its modified mark: Enter
// validates it in its row, Escape takes it back.
TEST(ItemListEditor, TypedTextThroughAnUpdateThatAddsRows) {
    for (const bool select : {false, true})
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            ShownItemGrid f;
            int validations = 0;
            f.grid.OnValidate = [&](QObject*, TRSItemProp*, int) { ++validations; };
            f.Type(QStringLiteral("typed"));
            f.grid.BeginUpdate();
            TRSItemProp* added = AddRow(f, "D");
            if (select)
                f.grid.SelectItem(added);
            f.grid.EndUpdate();
            QCoreApplication::processEvents(); // the editor closed by the change comes back
            f.Key(key);
            const bool enter = key == Qt::Key_Return;
            EXPECT_EQ(f.Row(0)->Value(), enter ? "typed" : "1") << select << key;
            EXPECT_EQ(validations, enter ? 1 : 0) << select << key;
            EXPECT_EQ(f.grid.CurrentItem(), select ? added : f.Row(0)) << select << key;
        }
}

namespace {
class SizingGrid : public TRSItemListEditor {
public:
    using TRSCustomItemListEditor::CalcSizingState;
};
} // namespace

TEST(ItemListEditor, TheSizingZoneIsSevenPixelsAroundTheLine) {
    SizingGrid grid;
    grid.resize(320, 240);
    grid.show();
    const int line = grid.ColWidths(0); // the 1-pixel line right of the name column
    auto sizes = [&](int x) {
        TGridState state;
        int index = -1, pos = 0, ofs = 0;
        grid.CalcSizingState(x, 5, state, index, pos, ofs);
        return state == TGridState::gsColSizing && index == 0;
    };
    // Three pixels before the line, the line, three after: seven in all.
    for (int x = line - 3; x <= line + 3; ++x)
        EXPECT_TRUE(sizes(x)) << x;
    EXPECT_FALSE(sizes(line - 4));
    EXPECT_FALSE(sizes(line + 4));
    grid.SetGridLineWidth(9); // a wide line is its own zone
    const int wide = grid.ColWidths(0);
    EXPECT_TRUE(sizes(wide));
    EXPECT_TRUE(sizes(wide + 8));
    EXPECT_FALSE(sizes(wide - 1));
    EXPECT_FALSE(sizes(wide + 9));
}

TEST(ItemListEditor, InsertPutsTheNewRowBeforeTheCurrentOneAtItsLevel) {
    ShownItemGrid f;
    f.grid.SetPropertyOptions(propAdd);
    TRSItemProp* b = f.Row(1);
    TRSItemProp* b1 = b->Items()->Add();
    b1->SetName(QStringLiteral("b1"));
    TRSItemProp* b2 = b->Items()->Add();
    b2->SetName(QStringLiteral("b2"));
    b->Expand();
    f.grid.SelectItem(b2);
    f.Key(Qt::Key_Insert);
    ASSERT_EQ(b->Items()->Count(), 3);
    EXPECT_EQ(f.grid.Items()->Count(), 3);
    TRSItemProp* blank = b->Items()->Items(1);
    EXPECT_TRUE(blank->Name().isEmpty());
    EXPECT_EQ(b->Items()->Items(2), b2);
    EXPECT_EQ(f.grid.CurrentItem(), blank);
    f.Key(Qt::Key_Escape); // the untouched blank row goes again
    EXPECT_EQ(b->Items()->Count(), 2);

    f.grid.SelectItem(f.Row(2)); // C, at the top level after B's sub-rows
    f.Key(Qt::Key_Insert);
    ASSERT_EQ(f.grid.Items()->Count(), 4);
    EXPECT_TRUE(f.Row(2)->Name().isEmpty());
    EXPECT_EQ(f.Row(3)->Name(), "C");
    EXPECT_EQ(f.grid.CurrentItem(), f.Row(2));
}

TEST(ItemListEditor, RowsBeyondWhatAGridHoldsGetNoLine) {
    TRSItemListEditor grid;
    grid.BeginUpdate();
    for (int i = 0; i < MaxGridLines - 1; ++i)
        grid.Items()->Add()->SetName(QString::number(i));
    grid.EndUpdate();
    // The title line and one line per row fill the grid exactly.
    ASSERT_EQ(grid.VisibleCount(), MaxGridLines - 1);
    EXPECT_EQ(grid.ItemCount(), MaxGridLines);
    EXPECT_EQ(grid.ItemAtCell(1, MaxGridLines - 1), grid.Items()->Items(MaxGridLines - 2));
    // One row more is kept, with no line of its own, and nothing is refused.
    EXPECT_NO_THROW(grid.Items()->Add()->SetName(QStringLiteral("last")));
    ASSERT_EQ(grid.VisibleCount(), MaxGridLines);
    EXPECT_EQ(grid.ItemCount(), MaxGridLines);
    EXPECT_EQ(grid.ItemAtCell(1, MaxGridLines - 1), grid.Items()->Items(MaxGridLines - 2));
}
