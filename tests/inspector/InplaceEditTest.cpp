#include "classlib/InplaceEdit.h"
#include "ItemGridSupport.h"
#include "classlib/StringGrid.h"
#include "tests/support/RecordingPresenter.h"
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

// ---- the class library's edit masks in the toolkit's terms -------------------------------------------

TEST(EditMask, ConversionTable) {
    struct Case {
        const char* mask;
        const char* input; // the toolkit's mask with its blank character
        bool saveLiterals;
    };
    const Case cases[] = {
        {"00/00/00;1;_", "99/99/99;_", true}, // 0 = required digit, 9 = optional digit: swapped
        {"99;0;_", "00;_", false},
        {"LlAaCc#", "AaNnXx#;_", true},
        {">L<l", ">A<a;_", true},
        {"<>LL", "!AA;_", true}, // "<>" together: no case conversion
        {"><LL", "><AA;_", true},
        {"Dx-0", "\\D\\x-9;_", true}, // letters that mean something to the toolkit stay literals
        {"\\L\\00", "L\\09;_", true}, // escaped characters are literals
        {"\\A0", "\\A9;_", true},     // ... and escaped again where the toolkit needs it
        {"_00", " 99;_", true},       // "_" stands for a space
        {"!000;0; ", "999; ", false}, // leading-blank trimming has no counterpart; blank is a space
        {"00;;*", "99;*", true},      // an empty save field keeps the default
    };
    for (const Case& c : cases) {
        const TEditMaskInfo info = ConvertEditMask(QString::fromLatin1(c.mask));
        EXPECT_EQ(info.InputMask, QString::fromLatin1(c.input)) << c.mask;
        EXPECT_EQ(info.SaveLiterals, c.saveLiterals) << c.mask;
    }
    EXPECT_TRUE(ConvertEditMask(QStringLiteral(";0;_")).InputMask.isEmpty()); // no positions: no mask
    EXPECT_TRUE(ConvertEditMask(QStringLiteral("!><")).InputMask.isEmpty());
}

TEST(EditMask, TypedTextAsTheGridStoresIt) {
    struct Case {
        const char* mask;
        const char* typed;
        const char* text;
    };
    const Case cases[] = {
        {">LL;0;_", "aB", "AB"},
        {"<LL;0;_", "aB", "ab"},
        {"<>LL;0;_", "aB", "aB"},
        {"!\\(000\\)000;1;_", "123456", "(123)456"},
        {"!\\(000\\)000;0;_", "123456", "123456"},
        {"Dx-0;1;_", "7", "Dx-7"},
        {"\\A\\L00;1;_", "42", "AL42"},
        {"_00;1;_", "42", " 42"},
        {"#0;0;_", "-5", "-5"},
        {"99;0;_", "1", "1"}, // an optional position left blank is not stored
        {"00-00;0;*", "1234", "1234"},
    };
    for (const Case& c : cases) {
        TStringGrid grid;
        grid.SetOptions(grid.Options() | goEditing);
        TInplaceEdit edit(&grid);
        edit.SetEditMask(QString::fromLatin1(c.mask));
        edit.setCursorPosition(0);
        QTest::keyClicks(&edit, QString::fromLatin1(c.typed));
        EXPECT_EQ(edit.Text(), QString::fromLatin1(c.text)) << c.mask << " typed " << c.typed;
    }
}

// ---- the pick list's type-ahead --------------------------------------------------------------------

TEST(PickList, TypeAheadRestartsAfterTwoSecondsOfSilence) {
    ShownItemGrid f;
    TPopupListbox* list = f.Editor()->GetPickList();
    list->addItems({QStringLiteral("apple"), QStringLiteral("apricot"), QStringLiteral("banana"),
                    QStringLiteral("Blueberry"), QStringLiteral("cherry")});
    qint64 now = 100000;
    list->Clock = [&] { return now; };
    auto current = [&] { return list->currentItem() ? list->currentItem()->text() : QString(); };

    EXPECT_TRUE(list->TypeAhead('a'));
    EXPECT_EQ(current(), "apple");
    now += 1500;
    list->TypeAhead('p');
    now += 1500; // each key restarts the pause
    list->TypeAhead('r');
    EXPECT_EQ(list->SearchText(), "apr");
    EXPECT_EQ(current(), "apricot");
    now += 2000; // exactly two seconds still continues the search
    list->TypeAhead('x');
    EXPECT_EQ(list->SearchText(), "aprx");
    EXPECT_EQ(current(), "apricot"); // no item starts so: the selection stays
    now += 2001;
    list->TypeAhead('b');
    EXPECT_EQ(list->SearchText(), "b");
    EXPECT_EQ(current(), "banana");
    list->TypeAhead('L'); // without regard to case
    EXPECT_EQ(current(), "Blueberry");

    EXPECT_FALSE(list->TypeAhead(QChar(8))); // Backspace clears the search and is not consumed
    EXPECT_EQ(list->SearchText(), "");
    EXPECT_FALSE(list->TypeAhead('\t'));
    EXPECT_FALSE(list->TypeAhead(QChar(0x263A)));
    EXPECT_EQ(list->SearchText(), "");
    for (int i = 0; i < 40; ++i)
        list->TypeAhead('c');
    EXPECT_EQ(list->SearchText().size(), 32);
    EXPECT_EQ(current(), "cherry"); // found by the first "c"; "cc..." matches nothing more

    // Keys sent to the list take the same way.
    now += 5000;
    QTest::keyClick(list, 'a');
    EXPECT_EQ(list->SearchText(), "a");
    EXPECT_EQ(current(), "apple");
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_EQ(list->SearchText(), "");
}

// ---- the item grid's cell editor -------------------------------------------------------------------

TEST(ItemEditor, CtrlArrowsMoveByWords) {
    ShownItemGrid f;
    TRSInplaceEditList* e = f.Editor();
    e->SetText(QStringLiteral("alpha, beta gamma"));
    e->setCursorPosition(0);
    const int rights[] = {7, 12, 17};
    for (int expected : rights) {
        f.Key(Qt::Key_Right, Qt::ControlModifier);
        EXPECT_EQ(e->cursorPosition(), expected);
    }
    const int lefts[] = {12, 7, 0};
    for (int expected : lefts) {
        f.Key(Qt::Key_Left, Qt::ControlModifier);
        EXPECT_EQ(e->cursorPosition(), expected);
    }
    // With Shift the selection grows from its anchor and shrinks again.
    e->setCursorPosition(17);
    f.Key(Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(e->selectedText(), "gamma");
    f.Key(Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(e->selectedText(), "beta gamma");
    f.Key(Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(e->selectedText(), "gamma");
    EXPECT_EQ(e->text(), "alpha, beta gamma");
    EXPECT_EQ(f.grid.CurrentItem(), f.Row(0));
}

TEST(ItemEditor, EveryCommittingKeyValidates) {
    ScopedRecordingPresenter boxes;
    ShownItemGrid f;
    TRSItemProp* a = f.WithPattern(0, QStringLiteral("^[0-9]+$"));
    const std::pair<int, Qt::KeyboardModifiers> keys[] = {
        {Qt::Key_Tab, Qt::NoModifier},    {Qt::Key_Return, Qt::NoModifier},
        {Qt::Key_PageUp, Qt::NoModifier}, {Qt::Key_PageDown, Qt::NoModifier},
        {Qt::Key_Up, Qt::NoModifier},     {Qt::Key_Down, Qt::NoModifier},
        {Qt::Key_Insert, Qt::NoModifier},
    };
    for (const auto& [key, mods] : keys) {
        boxes->requests.clear();
        f.Editor()->SetText(QStringLiteral("12"));
        f.Editor()->end(false);
        QTest::keyClicks(f.Editor(), QStringLiteral("x"));
        ASSERT_EQ(f.Editor()->text(), "12x");
        f.Key(key, mods);
        EXPECT_EQ(boxes->Texts(), QStringList{"\"12x\" is not a valid property value"}) << key;
        EXPECT_EQ(f.Editor()->text(), "12") << key; // the last edit is taken back
        EXPECT_EQ(f.grid.CurrentItem(), a) << key;
        EXPECT_EQ(f.grid.Items()->Count(), 3) << key;
    }
    // Keys that commit nothing leave an invalid text alone.
    boxes->requests.clear();
    f.Editor()->SetText(QStringLiteral("12"));
    f.Editor()->end(false);
    QTest::keyClicks(f.Editor(), QStringLiteral("x"));
    f.Key(Qt::Key_Tab, Qt::AltModifier);
    f.Key(Qt::Key_Left);
    f.Key(Qt::Key_Home);
    EXPECT_TRUE(boxes->requests.isEmpty());
    EXPECT_EQ(f.Editor()->text(), "12x");
    // An empty text does not match a pattern that needs one character.
    f.Type(QStringLiteral("7"));
    f.Editor()->SetText(QString());
    EXPECT_EQ(f.Editor()->text(), "7");
}

TEST(ItemEditor, UnanchoredPatternsAndCellChanges) {
    ScopedRecordingPresenter boxes;
    ShownItemGrid f;
    TRSItemProp* a = f.Row(0);
    a->SetEditMask(QStringLiteral("[0-9]"));
    a->SetExpressionMask(true);
    TRSItemProp* b = f.Row(1);
    b->SetEditMask(QStringLiteral("^[a-z]+$"));
    b->SetExpressionMask(true);
    b->Values().SetText(QStringLiteral("abc"));
    f.Reselect(a);
    f.Type(QStringLiteral("x1y"));
    f.Key(Qt::Key_Return); // a digit anywhere will do
    EXPECT_TRUE(boxes->requests.isEmpty());
    EXPECT_EQ(a->Value(), "x1y");
    // Each cell is judged by its own pattern: B's letters are fine on B, A's pattern is gone.
    f.grid.SelectItem(b);
    EXPECT_EQ(f.Editor()->Expression().Expression(), "^[a-z]+$");
    EXPECT_EQ(f.Editor()->text(), "abc");
    f.Type(QStringLiteral("abcd"));
    f.grid.SelectItem(f.Row(2));
    EXPECT_TRUE(boxes->requests.isEmpty());
    EXPECT_EQ(b->Value(), "abcd");
    EXPECT_TRUE(f.Editor()->Expression().Expression().isEmpty()); // C has no pattern
    // A row that is not marked as a pattern uses its mask as an edit mask.
    TRSItemProp* c = f.Row(2);
    c->SetEditMask(QStringLiteral("00;0;_"));
    f.Reselect(c);
    EXPECT_EQ(f.grid.GetEditMask(f.grid.Col(), f.grid.Row()), "00;0;_");
    EXPECT_FALSE(f.Editor()->inputMask().isEmpty());
    EXPECT_TRUE(f.Editor()->Expression().Expression().isEmpty());
}

TEST(ItemEditor, APatternThatDoesNotCompileIsReportedOnceAndChecksNothing) {
    ScopedRecordingPresenter boxes;
    ShownItemGrid f;
    TRSItemProp* a = f.Row(0);
    a->SetEditMask(QStringLiteral("^[0-9]+-[0-9]+$")); // "-" outside a class must be written "\\-"
    a->SetExpressionMask(true);
    f.Reselect(a);
    EXPECT_EQ(boxes->Texts(), QStringList{"Unexpected meta character found."});
    EXPECT_TRUE(f.Editor()->Expression().Expression().isEmpty());
    boxes->requests.clear();
    f.Type(QStringLiteral("12-34"));
    f.Key(Qt::Key_Return);
    EXPECT_TRUE(boxes->requests.isEmpty());
    EXPECT_EQ(a->Value(), "12-34");
    // Written as the syntax wants it, the pattern checks again.
    a->SetEditMask(QStringLiteral("^[0-9]+\\-[0-9]+$"));
    f.Reselect(a);
    EXPECT_TRUE(boxes->requests.isEmpty());
    f.Type(QStringLiteral("12abc"));
    f.Key(Qt::Key_Return);
    EXPECT_EQ(boxes->Texts(), QStringList{"\"12abc\" is not a valid property value"});
}

TEST(ItemEditor, ReadOnlyRowsTakeNoInput) {
    ScopedRecordingPresenter boxes;
    ShownItemGrid f;
    TRSItemProp* b = f.Row(1);
    b->SetPickList({QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("9")});
    b->SetReadOnly(true);
    f.Reselect(b);
    EXPECT_FALSE(f.grid.CanEditModify());
    EXPECT_TRUE(f.Editor()->isReadOnly());
    QTest::keyClicks(f.Editor(), QStringLiteral("zz"));
    f.Key(Qt::Key_Delete);
    EXPECT_EQ(b->Value(), "2");
    // The list opens to look at, but closing it takes nothing.
    f.Key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(f.Editor()->ListVisible());
    f.Editor()->GetPickList()->setCurrentRow(2);
    f.Key(Qt::Key_Down, Qt::AltModifier);
    EXPECT_FALSE(f.Editor()->ListVisible());
    EXPECT_EQ(b->Value(), "2");
    QTest::mouseDClick(f.Editor(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    EXPECT_EQ(b->Value(), "2");

    // A disabled row is read-only in the same way.
    b->SetReadOnly(false);
    b->SetEnabled(false);
    f.Reselect(b);
    EXPECT_TRUE(b->GetReadOnly());
    EXPECT_TRUE(f.Editor()->isReadOnly());
    QTest::mouseDClick(f.Editor(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    EXPECT_EQ(b->Value(), "2");
    EXPECT_TRUE(boxes->requests.isEmpty());
}

TEST(ItemEditor, OpenListTakesEnterAndEscape) {
    ShownItemGrid f;
    TRSItemProp* a = f.Row(0);
    a->SetPickList({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    f.Reselect(a);
    f.Key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(f.Editor()->ListVisible());
    f.Key(Qt::Key_Down); // arrows move in the open list, not in the grid
    f.Key(Qt::Key_Down);
    EXPECT_EQ(f.grid.CurrentItem(), a);
    EXPECT_EQ(f.Editor()->GetPickList()->currentRow(), 1); // "1" is no item: the first Down selects row 0
    f.Key(Qt::Key_Escape);                                 // closes without taking, and the row stays
    EXPECT_FALSE(f.Editor()->ListVisible());
    EXPECT_EQ(a->Value(), "1");
    EXPECT_EQ(f.grid.Items()->Count(), 3);
    f.Key(Qt::Key_Up, Qt::AltModifier);
    ASSERT_TRUE(f.Editor()->ListVisible());
    f.Editor()->GetPickList()->setCurrentRow(2);
    f.Key(Qt::Key_Return);
    EXPECT_FALSE(f.Editor()->ListVisible());
    EXPECT_EQ(a->Value(), "three");
    EXPECT_EQ(f.grid.CurrentItem(), a);
}

TEST(ItemEditor, PickListsFromHandlers) {
    ShownItemGrid f;
    TRSItemProp* sub = f.grid.Items()->AddByPath(QStringLiteral("C.sub"), QStringLiteral("v"), false);
    sub->SetEditStyle(esPickList);
    QStringList asked;
    f.grid.OnGetPickList = [&](QObject* sender, const QString& name, QStringList& values) {
        EXPECT_EQ(sender, &f.grid);
        asked << name;
        values << QStringLiteral("x") << QStringLiteral("y");
    };
    f.grid.SelectItem(sub);
    ASSERT_EQ(f.grid.CurrentItem(), sub);
    f.Key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(f.Editor()->ListVisible());
    EXPECT_EQ(asked, QStringList{"C.sub"}); // the full name of the row
    EXPECT_EQ(f.Editor()->PickListItems(), (QStringList{"x", "y"}));
    f.Key(Qt::Key_Escape);
    f.Key(Qt::Key_Down, Qt::AltModifier); // loaded once per cell
    EXPECT_EQ(asked.size(), 1);
    f.Key(Qt::Key_Escape);

    // The row's own list comes first and the grid's handler may add to it; a row handler replaces the
    // grid's.
    sub->SetPickList({QStringLiteral("own")});
    f.Reselect(sub);
    f.Key(Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(f.Editor()->PickListItems(), (QStringList{"own", "x", "y"}));
    f.Key(Qt::Key_Escape);
    sub->OnGetPickList = [&](QObject* sender, const QString& name, QStringList& values) {
        EXPECT_EQ(sender, sub);
        EXPECT_EQ(name, "C.sub");
        values << QStringLiteral("row");
    };
    f.Reselect(sub);
    f.Key(Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(f.Editor()->PickListItems(), (QStringList{"own", "row"}));
    EXPECT_EQ(asked.size(), 2);
    f.Key(Qt::Key_Escape);

    // The number of lines shown follows the grid's setting.
    f.grid.SetDropDownRows(2);
    f.grid.SetDropDownRows(0); // refused
    EXPECT_EQ(f.grid.DropDownRows(), 2);
    EXPECT_EQ(f.Editor()->DropDownRows(), 2);
    sub->OnGetPickList = nullptr;
    sub->SetPickList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")});
    f.Reselect(sub);
    f.Key(Qt::Key_Down, Qt::AltModifier);
    const int twoLines = f.Editor()->GetPickList()->height();
    f.Key(Qt::Key_Escape);
    f.grid.SetDropDownRows(8);
    f.Reselect(sub);
    f.Key(Qt::Key_Down, Qt::AltModifier);
    const int allLines = f.Editor()->GetPickList()->height(); // six items, all shown
    EXPECT_EQ((allLines - 4) * 2, (twoLines - 4) * 6);
    EXPECT_GE(f.Editor()->GetPickList()->width(), f.Editor()->width());
    f.Key(Qt::Key_Escape);
}

TEST(ItemEditor, EscapeRestoresTheLastCommitWithoutValidating) {
    ScopedRecordingPresenter boxes;
    ShownItemGrid f;
    TRSItemProp* a = f.WithPattern(0, QStringLiteral("^[0-9]+$"));
    f.Editor()->end(false);
    QTest::keyClicks(f.Editor(), QStringLiteral("x")); // "1x" does not match, but Escape takes it back
    f.Key(Qt::Key_Escape);
    EXPECT_TRUE(boxes->requests.isEmpty());
    EXPECT_EQ(f.Editor()->text(), "1");
    EXPECT_EQ(a->Value(), "1");

    f.Type(QStringLiteral("5"));
    f.Key(Qt::Key_Return); // committed
    f.Type(QStringLiteral("6"));
    EXPECT_EQ(a->Value(), "6");
    f.Key(Qt::Key_Escape); // back to the commit, not past it
    EXPECT_EQ(f.Editor()->text(), "5");
    EXPECT_EQ(a->Value(), "5");
    EXPECT_TRUE(boxes->requests.isEmpty());
}

TEST(ItemEditor, TabLeavesOnlyWithAValidText) {
    ScopedRecordingPresenter boxes;
    QWidget window;
    auto* grid = new TRSItemListEditor(&window);
    auto* after = new QLineEdit(&window);
    grid->setGeometry(0, 0, 300, 200);
    after->setGeometry(0, 210, 200, 24);
    TRSItemProp* row = grid->Items()->AddByPath(QStringLiteral("N"), QStringLiteral("1"), false);
    row->SetEditMask(QStringLiteral("^[0-9]+$"));
    row->SetExpressionMask(true);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    grid->setFocus();
    grid->SelectItem(row);
    ASSERT_TRUE(grid->Editor() && grid->Editor()->hasFocus());
    grid->Editor()->end(false);
    QTest::keyClicks(grid->Editor(), QStringLiteral("x"));
    QTest::keyClick(grid->Editor(), Qt::Key_Tab); // refused: the last edit is taken back, the focus stays
    EXPECT_EQ(boxes->Texts(), QStringList{"\"1x\" is not a valid property value"});
    EXPECT_TRUE(grid->Editor()->hasFocus());
    EXPECT_EQ(grid->Editor()->text(), "1");
    QTest::keyClicks(grid->Editor(), QStringLiteral("2"));
    QTest::keyClick(grid->Editor(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), after);
    EXPECT_EQ(row->Value(), "12");
    EXPECT_EQ(boxes->Texts().size(), 1);
}
