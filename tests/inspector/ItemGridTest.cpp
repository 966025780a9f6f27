#include "inspector/RSInplaceEditList.h"
#include "inspector/RSItemListEditor.h"
#include "tests/support/RecordingPresenter.h"
#include <QApplication>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// A shown grid with rows A=1, B=2, C=3 and the current cell on A's value.
struct GridFixture {
    TRSItemListEditor grid;
    GridFixture() {
        grid.resize(320, 240);
        for (const char* n : {"A", "B", "C"})
            grid.Items()->AddByPath(QString::fromLatin1(n), QString::number(grid.Items()->Count() + 1),
                                    false);
        grid.show();
        grid.SelectItem(grid.Items()->Items(0));
    }
    TRSInplaceEditList* Editor() const { return grid.Editor(); }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(Editor(), Qt::Key(key), mods);
    }
    void Type(const QString& text) {
        Editor()->selectAll();
        QTest::keyClicks(Editor(), text);
    }
};

} // namespace

TEST(ItemGrid, LayoutAndOrientation) {
    GridFixture f;
    EXPECT_EQ(f.grid.ItemCount(), 4);
    EXPECT_EQ(f.grid.CurValue(), 1);
    QString text;
    f.grid.GetCellText(0, 0, text);
    EXPECT_EQ(text, "Property");
    EXPECT_FALSE(f.grid.TitleCaptionsStored());
    {
        // Without doKeyColFixed the name column takes half the client width less the lines.
        TRSItemListEditor halves;
        halves.SetDisplayOptions(halves.DisplayOptions() & ~doKeyColFixed);
        halves.resize(301, 200);
        halves.show();
        EXPECT_EQ(halves.ColWidths(0), (halves.viewport()->width() - 2) / 2);
        EXPECT_EQ(halves.ColWidths(0) + halves.ColWidths(1), halves.viewport()->width() - 2);
    }

    f.grid.SelectItem(f.grid.Items()->Items(1));
    f.grid.SetOrientation(TRSGridOrientation::goHorizontal);
    EXPECT_EQ(f.grid.ColCount(), 4); // title column plus one column per row
    EXPECT_EQ(f.grid.RowCount(), 2);
    EXPECT_EQ(f.grid.FixedCols(), 1);
    EXPECT_EQ(f.grid.CurrentItem(), f.grid.Items()->Items(1)); // the selection is transposed
    EXPECT_EQ(f.grid.Row(), 1);
    f.grid.GetCellText(2, 0, text);
    EXPECT_EQ(text, "B");
    f.grid.SetOrientation(TRSGridOrientation::goVertical);
    EXPECT_EQ(f.grid.CurrentItem(), f.grid.Items()->Items(1));
}

TEST(ItemGrid, TypingCommitsAndPatternValidation) {
    ScopedRecordingPresenter boxes;
    GridFixture f;
    TRSItemProp* a = f.grid.Items()->Items(0);
    a->SetEditMask(QStringLiteral("^[0-9]+$"));
    a->SetExpressionMask(true);
    f.grid.SelectItem(f.grid.Items()->Items(1));
    f.grid.SelectItem(a); // reload the editor with the pattern
    ASSERT_TRUE(f.Editor()->isVisible());
    f.Type(QStringLiteral("123"));
    EXPECT_EQ(a->Value(), "123"); // typed text reaches the row as it changes
    f.Key(Qt::Key_Return);
    EXPECT_TRUE(boxes->requests.isEmpty());

    f.Editor()->SetText(QStringLiteral("123"));
    f.Editor()->end(false);
    QTest::keyClicks(f.Editor(), QStringLiteral("a"));
    EXPECT_FALSE(f.Editor()->IsTextValid());
    f.Key(Qt::Key_Down); // refused: the text is taken back and the message names it
    ASSERT_EQ(boxes->requests.size(), 1);
    EXPECT_EQ(boxes->requests.at(0).text, "\"123a\" is not a valid property value");
    EXPECT_EQ(f.Editor()->text(), "123");
    EXPECT_EQ(f.grid.CurrentItem(), a);

    // A text set by the program passes the same check as a typed one.
    f.Editor()->SetText(QStringLiteral("77"));
    EXPECT_EQ(f.Editor()->text(), "77");
    f.Editor()->SetText(QStringLiteral("7x"));
    EXPECT_EQ(f.Editor()->text(), "77");

    // Leaving the grid with an invalid text raises and keeps the editor.
    f.Editor()->setModified(true);
    f.Editor()->insert(QStringLiteral("z"));
    EXPECT_THROW(f.grid.DoExit(), Exception);
    EXPECT_TRUE(f.Editor()->isVisible());
}

TEST(ItemGrid, AnythingAHandlerThrowsIsReportedAndTheGridGoesOn) {
    const std::pair<std::function<void()>, QString> cases[] = {
        {[] { throw Exception(QStringLiteral("own")); }, QStringLiteral("own")},
        {[] { throw std::runtime_error("std"); }, QStringLiteral("std")},
        {[] { throw 42; }, QStringLiteral("Exception of class int")},
    };
    for (const auto& [raise, text] : cases) {
        ScopedRecordingPresenter boxes;
        GridFixture f;
        f.grid.OnValidate = [&](QObject*, TRSItemProp*, int) { raise(); };
        f.Type(QStringLiteral("9"));
        f.Key(Qt::Key_Return);
        EXPECT_EQ(boxes->Texts(), QStringList{text});
        f.grid.OnValidate = nullptr;
        f.Key(Qt::Key_Down);
        EXPECT_EQ(f.grid.CurrentItem(), f.grid.Items()->Items(1)) << text.toStdString();
    }
}

TEST(ItemGrid, AnExceptionWhilePaintingIsReportedAndTheOtherCellsArePainted) {
    const std::pair<std::function<void()>, QString> cases[] = {
        {[] { throw Exception(QStringLiteral("own")); }, QStringLiteral("own")},
        {[] { throw std::runtime_error("std"); }, QStringLiteral("std")},
        {[] { throw 42; }, QStringLiteral("Exception of class int")},
    };
    for (const auto& [raise, text] : cases) {
        ScopedRecordingPresenter boxes;
        GridFixture f;
        // B's value cell throws; the last cell of the grid (C's value) comes after it in the paint.
        bool lastPainted = false;
        f.grid.OnDrawCell = [&](TCustomDrawGrid*, int col, int row, const QRect&, TGridDrawState, QPainter&) {
            if (col == 1 && row == 2)
                raise();
            if (col == 1 && row == 3)
                lastPainted = true;
        };
        f.grid.viewport()->grab();
        EXPECT_TRUE(lastPainted) << text.toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes->requests.isEmpty(); }, 5000)) << text.toStdString();
        EXPECT_EQ(boxes->Texts().first(), text);
        // Paints while nothing throws report nothing more.
        f.grid.OnDrawCell = nullptr;
        QTest::qWait(20); // the reports of paints already made
        const qsizetype reported = boxes->requests.size();
        f.grid.viewport()->grab();
        QTest::qWait(20);
        EXPECT_EQ(boxes->requests.size(), reported) << text.toStdString();
    }
}

TEST(ItemGrid, ChangesAreRepaintedAfterEachPassOfTheEventLoop) {
    GridFixture f;
    // No editor, whose own repaints would paint the cells below it; B's name cell is watched.
    f.grid.SetOptions(f.grid.Options() & ~(goEditing | goAlwaysShowEditor));
    int painted = 0;
    f.grid.OnDrawCell = [&](TCustomDrawGrid*, int col, int row, const QRect&, TGridDrawState, QPainter&) {
        painted += col == 0 && row == 2;
    };
    // Changes made one after another, each followed by the event loop, are each painted.
    for (const char* name : {"X", "Y", "Z"}) {
        QTest::qWait(20); // what is already asked for is painted first
        painted = 0;
        f.grid.Items()->Items(1)->SetName(QString::fromLatin1(name));
        f.grid.Items()->Items(2)->Values().SetText(QString::fromLatin1(name));
        EXPECT_EQ(painted, 0) << name; // not inside the change
        EXPECT_TRUE(QTest::qWaitFor([&] { return painted > 0; }, 5000)) << name;
    }
}

TEST(ItemGrid, AnEditWaitingForAnotherRowIsValidatedBeforeTheNextEditBegins) {
    // Typed into a child, whose parent the program then collapses; the user types into the parent; the
    // program then changes the rows under that edit too.
    const std::pair<const char*, std::function<void(TRSItemListEditor&)>> changes[] = {
        {"sort", [](TRSItemListEditor& g) { g.Items()->Sort(false); }},
        {"row inserted",
         [](TRSItemListEditor& g) { g.Items()->InsertAt(0)->SetName(QStringLiteral("First")); }},
        {"sorted switched on", [](TRSItemListEditor& g) { g.SetSorted(true); }},
    };
    for (const auto& [what, change] : changes) {
        GridFixture f;
        TRSItemProp* parent = f.grid.Items()->Items(0);
        TRSItemProp* child = parent->Items()->Add();
        child->SetName(QStringLiteral("A1"));
        child->Values().SetText(QStringLiteral("x"));
        parent->Expand();
        QStringList validated; // row=value, and the parent's value at that time
        f.grid.OnValidate = [&](QObject*, TRSItemProp* row, int) {
            validated << row->Name() + QLatin1Char('=') + row->Values().Get(0) + QLatin1Char('/') +
                             parent->Values().Get(0);
        };
        f.grid.SelectItem(child);
        ASSERT_TRUE(QTest::qWaitFor([&] { return f.Editor()->isVisible(); }, 5000)) << what;
        f.Type(QStringLiteral("typed"));
        parent->Collapse();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return f.grid.CurrentItem() == parent && f.Editor()->isVisible(); }, 5000))
            << what;
        EXPECT_TRUE(validated.isEmpty()) << what; // still waiting for Enter
        f.Type(QStringLiteral("ptext"));
        // The child's text was validated before the parent's edit began.
        EXPECT_EQ(validated.join(u',').toStdString(), "A1=typed/1") << what;
        change(f.grid);
        ASSERT_TRUE(QTest::qWaitFor([&] { return f.Editor()->isVisible(); }, 5000)) << what;
        f.Key(Qt::Key_Return);
        EXPECT_EQ(child->Values().Get(0), QStringLiteral("typed")) << what;
        EXPECT_EQ(parent->Values().Get(0), QStringLiteral("ptext")) << what;
        EXPECT_EQ(validated.size(), 2) << what;
        EXPECT_EQ(validated.value(1).toStdString(), "A=ptext/ptext") << what;
    }
}

TEST(ItemGrid, ADrawHandlerFailingOnEveryPaintIsReportedOnceUntilItPaintsAgain) {
    // Each box, once closed, uncovers the grid and so paints it again: a handler that fails on every paint
    // must not bring up box after box. Once it paints again, a new failure is reported.
    struct TUncoveringPresenter : RecordingPresenter {
        QWidget* grid = nullptr;
        int Present(const TMessageRequest& request) override {
            grid->update();
            return RecordingPresenter::Present(request);
        }
    };
    auto owned = std::make_unique<TUncoveringPresenter>();
    TUncoveringPresenter& boxes = *owned;
    std::unique_ptr<IMessagePresenter> previous = SetMessagePresenter(std::move(owned));
    GridFixture f;
    boxes.grid = f.grid.viewport();
    bool failing = true;
    f.grid.OnDrawCell = [&](TCustomDrawGrid*, int, int row, const QRect&, TGridDrawState, QPainter&) {
        if (failing && row == 2)
            throw Exception(QStringLiteral("broken"));
    };
    auto passes = [] {
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    };
    f.grid.viewport()->update();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.requests.isEmpty(); }, 5000));
    passes();
    f.grid.viewport()->grab();
    passes();
    EXPECT_EQ(boxes.Texts().join(u'|').toStdString(), "broken");
    failing = false;
    f.grid.viewport()->grab();
    failing = true;
    f.grid.viewport()->grab();
    passes();
    EXPECT_EQ(boxes.Texts().join(u'|').toStdString(), "broken|broken");
    SetMessagePresenter(std::move(previous));
}

TEST(ItemGrid, KeysAddAndRemoveBlankRows) {
    GridFixture f;
    f.grid.SetPropertyOptions(propAdd | propDelete);
    f.grid.SelectItem(f.grid.Items()->Items(2));
    f.Key(Qt::Key_Down); // on the last line of a named row: exactly one blank row
    EXPECT_EQ(f.grid.Items()->Count(), 4);
    EXPECT_EQ(f.grid.CurItem(), 4);
    f.Key(Qt::Key_Down); // a blank row's name is empty: nothing more is appended
    EXPECT_EQ(f.grid.Items()->Count(), 4);
    f.Key(Qt::Key_Insert); // nor inserted
    EXPECT_EQ(f.grid.Items()->Count(), 4);
    f.Key(Qt::Key_Escape); // Escape on the untouched blank row removes it
    EXPECT_EQ(f.grid.Items()->Count(), 3);

    f.Key(Qt::Key_Insert); // Insert on a named row inserts a blank one in its place
    EXPECT_EQ(f.grid.Items()->Count(), 4);
    EXPECT_EQ(f.grid.CurrentItem()->Name(), "");
    EXPECT_EQ(f.grid.CurrentItem()->Index(), 2);
    f.Key(Qt::Key_Down); // moving down from a blank row deletes it; we land on the row that moved up
    EXPECT_EQ(f.grid.Items()->Count(), 3);
    EXPECT_EQ(f.grid.CurrentItem()->Name(), "C");

    f.Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(f.grid.Items()->Count(), 2);
    EXPECT_EQ(f.grid.CurrentItem()->Name(), "B");
    f.Key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(f.grid.CurrentItem()->Name(), "A");
    f.Key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(f.grid.CurrentItem()->Name(), "B");

    // Escape after typing restores the text the cell had.
    f.Type(QStringLiteral("changed"));
    EXPECT_EQ(f.grid.CurrentItem()->Value(), "changed");
    f.Key(Qt::Key_Escape);
    EXPECT_EQ(f.Editor()->text(), "2");
    EXPECT_EQ(f.grid.CurrentItem()->Value(), "2");
}

TEST(ItemGrid, NameCellsAndDeleteBlanksHorizontally) {
    GridFixture f;
    f.grid.SetCurValue(0);
    EXPECT_EQ(f.grid.CurValue(), 1); // name cells need propEdit
    f.grid.SetPropertyOptions(propEdit);
    f.grid.SetCurValue(0);
    EXPECT_EQ(f.grid.CurValue(), 0);
    f.grid.SetCurValue(1);

    f.grid.SetOrientation(TRSGridOrientation::goHorizontal);
    f.grid.SelectItem(f.grid.Items()->Items(0));
    TRSItemProp* blank = f.grid.Items()->InsertAt(1);
    f.grid.SelectItem(blank);
    ASSERT_EQ(f.grid.CurItem(), 2);
    f.grid.SetCurItem(3); // to the right: the blank column goes and we land on B, which took its place
    EXPECT_EQ(f.grid.Items()->Count(), 3);
    EXPECT_EQ(f.grid.CurrentItem()->Name(), "B");
}

TEST(ItemGrid, PickListsCycleAndSearch) {
    GridFixture f;
    TRSItemProp* a = f.grid.Items()->Items(0);
    a->SetPickList({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    EXPECT_EQ(a->EditStyle(), esPickList);
    f.grid.SelectItem(f.grid.Items()->Items(1));
    f.grid.SelectItem(a);
    a->Values().SetText(QStringLiteral("three"));
    f.Editor()->UpdateContents();
    QTest::mouseDClick(f.Editor(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(a->Value(), "one"); // after the last item comes the first
    QTest::mouseDClick(f.Editor(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(a->Value(), "two");

    f.Key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(f.Editor()->ListVisible());
    TPopupListbox* list = f.Editor()->GetPickList();
    qint64 now = 1000;
    list->Clock = [&] { return now; };
    EXPECT_TRUE(list->TypeAhead('t'));
    EXPECT_TRUE(list->TypeAhead('h'));
    EXPECT_EQ(list->currentItem()->text(), "three");
    now += 2500; // a pause starts a new search
    list->TypeAhead('o');
    EXPECT_EQ(list->SearchText(), "o");
    EXPECT_EQ(list->currentItem()->text(), "one");
    f.Key(Qt::Key_Down, Qt::AltModifier); // closes, taking the selected item
    EXPECT_FALSE(f.Editor()->ListVisible());
    EXPECT_EQ(a->Value(), "one");
}

TEST(ItemGrid, EllipsisAndGlyphClicks) {
    GridFixture f;
    TRSItemProp* a = f.grid.Items()->Items(0);
    int clicks = 0;
    a->SetEditStyle(esEllipsis);
    a->OnEditButtonClick = [&](QObject* sender) {
        EXPECT_EQ(sender, a);
        ++clicks;
    };
    f.grid.SelectItem(f.grid.Items()->Items(1));
    f.grid.SelectItem(a);
    const QString before = f.Editor()->text();
    f.Key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(f.Editor()->text(), before); // no character went in

    TRSItemProp* c = f.grid.Items()->Items(2);
    c->Items()->Add()->SetName(QStringLiteral("sub"));
    const int current = f.grid.CurItem();
    const QRect cell = f.grid.CellRect(0, f.grid.FixedItems() + c->VisibleIndex());
    const QPoint glyph = cell.topLeft() + QPoint(3, (f.grid.DefaultRowHeight() - 9) / 2 + 3);
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, Qt::NoModifier, glyph);
    EXPECT_TRUE(c->Expanded());
    EXPECT_EQ(f.grid.CurItem(), current);
    // A double click arrives as a press and then a double-click press: it toggles once.
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, Qt::NoModifier, glyph);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(glyph),
                    f.grid.viewport()->mapToGlobal(QPointF(glyph)), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(f.grid.viewport(), &dbl);
    EXPECT_FALSE(c->Expanded());
}
