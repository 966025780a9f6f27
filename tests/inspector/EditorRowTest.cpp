// The in-place editor writes its text only into the row it was opened on, whatever happens to the lines
// of the grid while it is open (sorting, inserting, deleting, rebuilding, expanding and collapsing).
#include "inspector/RSInplaceEditList.h"
#include "inspector/RSItemListEditor.h"
#include <QApplication>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTest>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

struct FocusedGrid {
    TRSItemListEditor grid;
    explicit FocusedGrid(bool sorted = false) {
        grid.resize(320, 400);
        grid.SetSorted(sorted);
        grid.show();
        grid.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&grid));
    }
    TRSInplaceEditList* Editor() const { return grid.Editor(); }
    void Add(const QString& name, const QString& value) { grid.Items()->AddByPath(name, value, false); }
    std::string Lines() const {
        QStringList lines;
        for (int i = 0; i < grid.ItemListCount(); ++i)
            lines << grid.ItemListItem(i)->DisplayName();
        return lines.join(QLatin1Char('|')).toStdString();
    }
    // Opens the editor on a row's cell and gives it the focus.
    void Edit(TRSItemProp* row, int valueIndex) {
        grid.SelectItem(row);
        grid.SetCurValue(valueIndex);
        grid.setFocus();
        ASSERT_TRUE(Editor() && Editor()->isVisible());
        ASSERT_EQ(grid.CurrentItem(), row);
    }
};

} // namespace

TEST(EditorRow, SortedRenameTouchesNoOtherRow) {
    FocusedGrid f(true);
    f.grid.SetPropertyOptions(propEdit);
    f.Add("apple", "APPLE");
    f.Add("melon", "MELON");
    f.Add("zebra", "ZEBRA");
    TRSItemProp* melon = f.grid.Items()->Items(1);
    f.Edit(melon, 0);
    f.Editor()->selectAll();
    QTest::keyClicks(f.Editor(), QStringLiteral("zz"));
    EXPECT_EQ(f.Lines(), "apple=APPLE|zebra=ZEBRA|zz=MELON");
    QTest::keyClick(f.Editor(), Qt::Key_Return);
    QTest::keyClick(f.Editor(), Qt::Key_Up);
    EXPECT_EQ(f.Lines(), "apple=APPLE|zebra=ZEBRA|zz=MELON");
    EXPECT_EQ(f.grid.CurrentItem()->Name(), "zebra");
}

TEST(EditorRow, RowsComingAndGoingAboveTheEditor) {
    FocusedGrid f;
    f.Add("Address", "1");
    f.Add("Baud", "BR_9600");
    f.Add("Parity", "none");
    TRSItemProp* baud = f.grid.Items()->Items(1);
    f.Edit(baud, 1);
    // A rescan inserts a row above the edited one: no row takes the editor's text.
    f.grid.Items()->InsertAt(0)->SetName(QStringLiteral("Model"));
    QCoreApplication::processEvents(); // the editor comes back
    ASSERT_TRUE(f.Editor()->isVisible());
    EXPECT_EQ(f.Editor()->text(), "BR_9600");
    EXPECT_EQ(f.Lines(), "Model=|Address=1|Baud=BR_9600|Parity=none");
    EXPECT_EQ(f.grid.CurrentItem(), baud);
    f.Editor()->selectAll();
    QTest::keyClicks(f.Editor(), QStringLiteral("BR_19200"));
    EXPECT_EQ(baud->Value(), "BR_19200");
    // The row above goes again, then the edited row itself.
    delete f.grid.Items()->Items(0);
    EXPECT_EQ(f.Lines(), "Address=1|Baud=BR_19200|Parity=none");
    QTest::keyClicks(f.Editor(), QStringLiteral("X"));
    delete baud;
    EXPECT_EQ(f.Lines(), "Address=1|Parity=none");
    f.grid.clearFocus();
    f.grid.setFocus();
    EXPECT_EQ(f.Lines(), "Address=1|Parity=none");
}

namespace {

// Random sequences of what a user and the program do to a grid while its editor is open. The test keeps
// its own model of every row's name and value; after each step the grid must agree with it exactly.
class EditorSequence {
public:
    explicit EditorSequence(quint32 seed) : m_random(seed) {
        m_grid = new TRSItemListEditor(&m_window);
        m_other = new QLineEdit(&m_window);
        m_grid->setGeometry(0, 0, 320, 380);
        m_other->setGeometry(0, 390, 320, 24);
        m_window.resize(320, 420);
        // Half the sequences may add blank rows with the keys; a third run transposed.
        m_grid->SetPropertyOptions(m_random.bounded(2) ? (propEdit | propAdd) : propEdit);
        m_grid->SetSorted(m_random.bounded(2) == 1);
        if (m_random.bounded(3) == 0)
            m_grid->SetOrientation(TRSGridOrientation::goHorizontal);
        for (int i = 0; i < 6; ++i)
            AddRow(m_grid->Items(), int(m_random.bounded(i + 1)));
        for (int i = 0; i < 4; ++i)
            AddRow(m_grid->Items()->Items(int(m_random.bounded(m_grid->Items()->Count())))->Items(), 0);
        m_window.show();
        m_window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&m_window));
        m_grid->setFocus();
        QCoreApplication::processEvents();
    }

    void Step() {
        switch (m_random.bounded(13)) {
        case 0:
        case 1:
        case 2:
            Type();
            break;
        case 3:
            Key();
            break;
        case 4:
            Click();
            break;
        case 5: {
            TRSItemProp* parent = RandomRow();
            TRSItemProps* rows = m_random.bounded(2) ? m_grid->Items() : parent->Items();
            AddRow(rows, int(m_random.bounded(rows->Count() + 1)));
            break;
        }
        case 6:
            DeleteRow();
            break;
        case 7:
            m_grid->SetSorted(!m_grid->Sorted());
            break;
        case 8: { // a rescan: rows come inside an update of the whole tree
            m_grid->Items()->BeginUpdate();
            AddRow(m_grid->Items(), int(m_random.bounded(m_grid->Items()->Count() + 1)));
            m_grid->Items()->EndUpdate();
            break;
        }
        case 9:
            if (TRSItemProp* row = RandomRow(); row->HasItems())
                row->SetExpanded(!row->Expanded());
            break;
        case 10:
            m_other->setFocus();
            break;
        case 11:
            Escape();
            break;
        default:
            m_grid->setFocus();
            break;
        }
        QCoreApplication::processEvents();
        Reconcile();
    }

    // Rows the grid makes or removes by its own rules are blank ones: a new blank row enters the model,
    // and only a row blank in the model may leave the grid unasked.
    void Reconcile() {
        std::set<TRSItemProp*> present;
        for (int i = 0; i < m_grid->ItemListCount(); ++i) {
            TRSItemProp* row = m_grid->ItemListItem(i);
            present.insert(row);
            if (!m_model.count(row)) {
                EXPECT_TRUE(row->Name().isEmpty() && row->IsValueEmpty()) << row->Name().toStdString();
                m_model[row] = {row->Name(), row->Values().Get(0)};
            }
        }
        for (auto it = m_model.begin(); it != m_model.end();) {
            if (present.count(it->first)) {
                ++it;
                continue;
            }
            EXPECT_TRUE(it->second.first.isEmpty() && it->second.second.isEmpty())
                << it->second.first.toStdString();
            it = m_model.erase(it);
        }
    }

    // Every row of the grid holds what the model says, and nothing else is in the grid.
    void Check() const {
        ASSERT_EQ(m_grid->ItemListCount(), int(m_model.size()));
        for (int i = 0; i < m_grid->ItemListCount(); ++i) {
            TRSItemProp* row = m_grid->ItemListItem(i);
            const auto it = m_model.find(row);
            ASSERT_NE(it, m_model.end());
            EXPECT_EQ(row->Name().toStdString(), it->second.first.toStdString());
            EXPECT_EQ(row->Values().Get(0).toStdString(), it->second.second.toStdString());
        }
    }

private:
    QString Word() {
        QString w;
        const int n = 1 + int(m_random.bounded(4));
        for (int i = 0; i < n; ++i)
            w += QChar('a' + int(m_random.bounded(26)));
        return w;
    }

    void AddRow(TRSItemProps* rows, int index) {
        TRSItemProp* row = rows->InsertAt(index);
        const QString name = Word();
        const QString value = Word().toUpper();
        row->SetName(name);
        row->Values().SetText(value);
        m_model[row] = {name, value};
    }

    TRSItemProp* RandomRow() const {
        return m_grid->ItemListItem(int(m_random.bounded(m_grid->ItemListCount())));
    }

    void DeleteRow() {
        if (m_grid->Items()->Count() < 3)
            return;
        TRSItemProp* row = RandomRow();
        for (int i = m_grid->ItemListIndexOf(row); i < m_grid->ItemListCount(); ++i) {
            TRSItemProp* r = m_grid->ItemListItem(i);
            if (r != row && r->Level() <= row->Level())
                break;
            m_model.erase(r);
        }
        delete row;
    }

    void Type() {
        m_grid->setFocus();
        QCoreApplication::processEvents();
        TRSInplaceEditList* editor = m_grid->Editor();
        TRSItemProp* row = m_grid->CurrentItem();
        if (!editor || !editor->isVisible() || !row)
            return;
        // The editor shows the current row's cell, never another row's text.
        QString cell;
        m_grid->GetCellText(m_grid->Col(), m_grid->Row(), cell);
        ASSERT_EQ(editor->text().toStdString(), cell.toStdString());
        const bool name = m_grid->CurValue() == 0;
        const QString typed = Word();
        QString expected = typed;
        if (m_random.bounded(2)) {
            editor->selectAll();
        } else {
            editor->end(false);
            expected = cell + typed;
        }
        QTest::keyClicks(editor, typed);
        (name ? m_model[row].first : m_model[row].second) = expected;
    }

    void Key() {
        static const std::pair<int, Qt::KeyboardModifiers> keys[] = {
            {Qt::Key_Up, Qt::NoModifier},        {Qt::Key_Down, Qt::NoModifier},
            {Qt::Key_Return, Qt::NoModifier},    {Qt::Key_Up, Qt::ControlModifier},
            {Qt::Key_Down, Qt::ControlModifier}, {Qt::Key_PageDown, Qt::NoModifier},
            {Qt::Key_Home, Qt::NoModifier},      {Qt::Key_Left, Qt::NoModifier},
            {Qt::Key_End, Qt::NoModifier},       {Qt::Key_Right, Qt::NoModifier},
            {Qt::Key_Insert, Qt::NoModifier},    {Qt::Key_Down, Qt::NoModifier}};
        const auto& [key, mods] = keys[m_random.bounded(int(std::size(keys)))];
        QWidget* target = QApplication::focusWidget();
        if (target != m_grid && target != m_grid->Editor())
            target = m_grid;
        QTest::keyClick(target, Qt::Key(key), mods);
    }

    // Escape takes the edited cell back to its last commit.
    void Escape() {
        TRSInplaceEditList* editor = m_grid->Editor();
        TRSItemProp* row = m_grid->CurrentItem();
        if (!editor || !editor->isVisible() || !editor->hasFocus() || !row)
            return;
        const bool modified = editor->Modified();
        const QString last = editor->OldValue();
        const bool name = m_grid->CurValue() == 0;
        QTest::keyClick(editor, Qt::Key_Escape);
        if (modified)
            (name ? m_model[row].first : m_model[row].second) = last;
    }

    void Click() {
        const int line = m_grid->FixedItems() + int(m_random.bounded(std::max(1, m_grid->VisibleCount())));
        const int value = int(m_random.bounded(2));
        const TGridCoord at = m_grid->CellOf(line, value);
        const QRect cell = m_grid->CellRect(at.X, at.Y);
        if (cell.isEmpty())
            return;
        const QPoint point = value == 0 ? cell.topLeft() + QPoint(2, cell.height() / 2) : cell.center();
        QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, Qt::NoModifier, point);
    }

    mutable QRandomGenerator m_random;
    QWidget m_window;
    TRSItemListEditor* m_grid;
    QLineEdit* m_other;
    std::map<TRSItemProp*, std::pair<QString, QString>> m_model;
};

} // namespace

TEST(EditorRow, RandomSequencesWriteOnlyIntoTheEditedRow) {
    for (quint32 seed = 1; seed <= 40; ++seed) {
        EditorSequence sequence(seed);
        for (int step = 0; step < 80; ++step) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << " step " << step);
            sequence.Step();
            sequence.Check();
            if (testing::Test::HasFailure())
                return;
        }
    }
}
