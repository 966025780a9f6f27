#include "ItemGridSupport.h"
#include "inspector/RSDeltaFont.h"
#include "inspector/RSHintWindow.h"
#include "inspector/RSItemListEditor.h"
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A delta font over a parent, asking for the parent as the grid does.
struct DeltaOver {
    TRSFont parent;
    TRSCustomDeltaFont delta;
    int changes = 0;
    DeltaOver() {
        parent.SetFont(QFont(QStringLiteral("Sans"), 9));
        delta.Assign(parent);
        delta.OnGetParentFont = [this](TRSCustomDeltaFont*, TRSFont*& f) { f = &parent; };
        delta.OnChange = [this](TRSFont*) { ++changes; };
    }
    // Changes every attribute of the parent.
    void ChangeWholeParent() {
        QFont f(QStringLiteral("Serif"), 21);
        f.setBold(true);
        f.setItalic(true);
        f.setUnderline(true);
        f.setStrikeOut(true);
        parent.SetFont(f);
        parent.SetColor(Qt::green);
        delta.ApplyDelta(&parent);
    }
};

class HintGrid : public TRSItemListEditor {
public:
    using TRSCustomItemListEditor::DoShowHints;
    void MoveMouse(const QPoint& p) {
        QMouseEvent move(QEvent::MouseMove, QPointF(p), viewport()->mapToGlobal(QPointF(p)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport(), &move);
    }
};

} // namespace

TEST(DeltaFont, EachAttributeHasItsOwnBit) {
    using D = TRSCustomDeltaFont;
    const std::pair<std::function<void(TRSFont&)>, unsigned> cases[] = {
        {[](TRSFont& f) { f.SetBold(true); }, D::dfBold},
        {[](TRSFont& f) { f.SetColor(Qt::blue); }, D::dfColor},
        {[](TRSFont& f) { f.SetName(QStringLiteral("Mono")); }, D::dfName},
        {[](TRSFont& f) { f.SetItalic(true); }, D::dfItalic},
        {[](TRSFont& f) { f.SetSize(30); }, D::dfSize},
        {[](TRSFont& f) { f.SetStrikeOut(true); }, D::dfStrikeOut},
        {[](TRSFont& f) { f.SetUnderline(true); }, D::dfUnderline},
    };
    for (const auto& [change, bit] : cases) {
        DeltaOver d;
        change(d.delta);
        EXPECT_EQ(d.delta.DeltaMask(), bit);
        const QFont before = d.delta.Font();
        const QColor colorBefore = d.delta.Color();
        d.ChangeWholeParent();
        // The own attribute stays; all others are now the parent's.
        EXPECT_EQ(d.delta.Bold(), bit == D::dfBold ? before.bold() : true) << bit;
        EXPECT_EQ(d.delta.Color(), bit == D::dfColor ? colorBefore : QColor(Qt::green)) << bit;
        EXPECT_EQ(d.delta.Name(), bit == D::dfName ? before.family() : QStringLiteral("Serif")) << bit;
        EXPECT_EQ(d.delta.Italic(), bit == D::dfItalic ? before.italic() : true) << bit;
        EXPECT_EQ(d.delta.Size(), bit == D::dfSize ? before.pointSize() : 21) << bit;
        EXPECT_EQ(d.delta.StrikeOut(), bit == D::dfStrikeOut ? before.strikeOut() : true) << bit;
        EXPECT_EQ(d.delta.Underline(), bit == D::dfUnderline ? before.underline() : true) << bit;
        EXPECT_EQ(d.delta.DeltaMask(), bit) << bit; // taking the parent's values does not touch the mask
    }
}

TEST(DeltaFont, MaskComesFromTheParentNotFromWhatWasSet) {
    DeltaOver d;
    d.parent.SetBold(true);
    d.delta.ApplyDelta(&d.parent);
    QFont f = d.delta.Font();
    f.setBold(true); // set, but the same as the parent: no difference
    f.setPointSize(20);
    d.delta.SetFont(f);
    EXPECT_EQ(d.delta.DeltaMask(), unsigned(TRSCustomDeltaFont::dfSize));
    d.parent.SetBold(false);
    d.delta.ApplyDelta(&d.parent);
    EXPECT_FALSE(d.delta.Bold()); // follows the parent
    EXPECT_EQ(d.delta.Size(), 20);

    // Applying the parent notifies once, and only when something changed.
    d.changes = 0;
    d.delta.ApplyDelta(&d.parent);
    EXPECT_EQ(d.changes, 0);
    d.parent.SetItalic(true);
    d.delta.ApplyDelta(&d.parent);
    EXPECT_EQ(d.changes, 1);
    d.delta.ApplyDelta(nullptr);
    EXPECT_EQ(d.changes, 1);

    // Without a parent to ask, nothing counts as own: the next parent wins everywhere.
    TRSCustomDeltaFont orphan;
    orphan.SetBold(true);
    orphan.SetSize(30);
    EXPECT_EQ(orphan.DeltaMask(), 0u);
    orphan.ApplyDelta(&d.parent);
    EXPECT_FALSE(orphan.Bold());
    EXPECT_EQ(orphan.Size(), d.parent.Size());
}

TEST(DeltaFont, GridFontsFollowTheGridFont) {
    ShownItemGrid f;
    TRSItemProp* sub = f.grid.Items()->AddByPath(QStringLiteral("A.x"), QString(), false);
    f.grid.GridFont()->SetSize(17);
    EXPECT_EQ(f.grid.ValueFont()->Size(), 17);
    EXPECT_EQ(f.grid.TitleCaptionFont()->Size(), 17);
    EXPECT_EQ(f.grid.CategoryFont()->Size(), 17);
    EXPECT_TRUE(f.grid.CategoryFont()->Bold()); // its own differences stay
    EXPECT_EQ(f.grid.CategoryFont()->Color(), QColor(0x80, 0x00, 0x80));
    EXPECT_EQ(f.grid.font().pointSize(), 17);

    // The value font reaches every row that follows it, down the tree, and the cell editor.
    f.Row(1)->ValueFont()->SetUnderline(true); // B has its own value font now
    f.grid.ValueFont()->SetItalic(true);
    EXPECT_TRUE(f.Row(0)->ValueFont()->Italic());
    EXPECT_TRUE(sub->ValueFont()->Italic());
    EXPECT_FALSE(f.Row(1)->ParentValueFont());
    EXPECT_FALSE(f.Row(1)->ValueFont()->Italic());
    f.Reselect(f.Row(0));
    EXPECT_TRUE(f.Editor()->font().italic());
    f.grid.SelectItem(f.Row(1));
    EXPECT_TRUE(f.Editor()->font().underline());
    EXPECT_FALSE(f.Editor()->font().italic());
    // A row set back to following keeps its font until the parent next changes.
    f.Row(1)->SetParentValueFont(true);
    EXPECT_TRUE(f.Row(1)->ParentValueFont());
    EXPECT_TRUE(f.Row(1)->ValueFont()->Italic());
    f.grid.GridFont()->SetSize(12);
    EXPECT_EQ(f.Row(1)->ValueFont()->Size(), 12);
    EXPECT_EQ(sub->Font()->Size(), 12);
}

TEST(HintWindow, IntervalZeroStaysUntilHidden) {
    TRSHintWindow hint;
    hint.SetInterval(0);
    hint.ActivateHint(QRect(10, 10, 80, 20), QStringLiteral("text"));
    EXPECT_TRUE(hint.isVisible());
    EXPECT_EQ(hint.Caption(), "text");
    EXPECT_FALSE(hint.TimerActive());
    // A hint with a short interval hides meanwhile: the timers had their chance.
    TRSHintWindow brief;
    brief.SetInterval(20);
    brief.ActivateHint(QRect(10, 40, 80, 20), QStringLiteral("brief"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !brief.isVisible(); }, 10000));
    EXPECT_TRUE(hint.isVisible());
    hint.HideHint();
    EXPECT_FALSE(hint.isVisible());
    hint.HideHint(); // hiding a hidden window is harmless
    hint.SetInterval(-5);
    EXPECT_EQ(hint.Interval(), 0);

    hint.SetInterval(20);
    hint.ActivateHint(QRect(10, 10, 80, 20), QStringLiteral("brief"));
    EXPECT_TRUE(hint.TimerActive());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !hint.isVisible(); }, 5000));
    EXPECT_FALSE(hint.TimerActive());

    // Shown at a point: the text's own rectangle, wrapped within the screen.
    hint.SetInterval(0);
    const QString longText = QString(QStringLiteral("word ")).repeated(400);
    hint.ShowAt(QPoint(5, 7), longText);
    EXPECT_EQ(hint.geometry().topLeft(), QPoint(5, 7));
    const QRect narrow = hint.CalcHintRect(120, longText);
    EXPECT_LE(narrow.width(), 120);
    EXPECT_GT(narrow.height(), 3 * hint.fontMetrics().height());
    EXPECT_FALSE(hint.grab().isNull());
}

TEST(HintWindow, GridHintTexts) {
    HintGrid grid;
    grid.resize(200, 200);
    grid.show();
    TRSItemProp* r = grid.Items()->AddByPath(QStringLiteral("N"), QStringLiteral("v"), false);
    const int line = grid.FixedItems();
    QString text;
    r->SetHint(QStringLiteral("h"));
    grid.DoShowHints(r, 0, line, text);
    EXPECT_EQ(text, "N"); // the name cell shows its text whatever the style
    const std::pair<TGridShowHints, const char*> styles[] = {
        {TGridShowHints::shValueAndHint, "v\r\n(h)"},
        {TGridShowHints::shValueOnly, "v"},
        {TGridShowHints::shHintOnly, "h"},
    };
    for (const auto& [style, expected] : styles) {
        grid.SetShowItemHintStyle(style);
        grid.DoShowHints(r, 1, line, text);
        EXPECT_EQ(text, QString::fromLatin1(expected));
    }
    r->SetHint(QString());
    grid.SetShowItemHintStyle(TGridShowHints::shValueAndHint);
    grid.DoShowHints(r, 1, line, text);
    EXPECT_EQ(text, "v");
    grid.OnShowHints = [&](QObject*, TRSItemProp* item, QString& hint) {
        EXPECT_EQ(item, r);
        hint += QStringLiteral("!");
    };
    grid.DoShowHints(r, 1, line, text);
    EXPECT_EQ(text, "v!");
    grid.OnShowHints = nullptr;

    // The window opens for a text wider than its cell and closes over the title and on leaving.
    TRSItemProp* wide = grid.Items()->AddByPath(QStringLiteral("W"), QString(300, QLatin1Char('x')), false);
    TRSHintWindow* window = grid.HintWindow();
    EXPECT_EQ(window->Interval(), 0);
    const QRect wideCell = grid.CellRect(1, line + wide->VisibleIndex());
    grid.MoveMouse(wideCell.center());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Caption(), wide->Value());
    grid.MoveMouse(grid.CellRect(1, 0).center());
    EXPECT_FALSE(window->isVisible());
    grid.MoveMouse(wideCell.center() + QPoint(1, 0));
    EXPECT_TRUE(window->isVisible());
    grid.MoveMouse(grid.CellRect(1, line).center()); // "v" fits its cell and has no hint
    EXPECT_FALSE(window->isVisible());
    grid.MoveMouse(wideCell.center());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&grid, &leave);
    EXPECT_FALSE(window->isVisible());
    grid.SetShowItemHintStyle(TGridShowHints::shNone);
    grid.MoveMouse(wideCell.center() + QPoint(2, 0));
    EXPECT_FALSE(window->isVisible());
}

TEST(HintWindow, AValueCutOffAtASpaceIsMeasuredOnOneLine) {
    HintGrid grid;
    grid.resize(200, 200);
    grid.show();
    const int line = grid.FixedItems();
    TRSItemProp* spaced =
        grid.Items()->AddByPath(QStringLiteral("S"), QStringLiteral("word ").repeated(12).trimmed(), false);
    TRSItemProp* fits = grid.Items()->AddByPath(QStringLiteral("F"), QStringLiteral("a b"), false);
    grid.MoveMouse(grid.CellRect(1, line + spaced->VisibleIndex()).center());
    EXPECT_TRUE(grid.HintWindow()->isVisible());
    EXPECT_EQ(grid.HintWindow()->Caption(), spaced->Value());
    grid.MoveMouse(grid.CellRect(1, line + fits->VisibleIndex()).center());
    EXPECT_FALSE(grid.HintWindow()->isVisible());
}

TEST(DeltaFont, RowsUnderACategoryFollowTheGridFontNotTheCategorys) {
    ShownItemGrid f;
    TRSItemProp* category = f.grid.Items()->AddCategory(QStringLiteral("Layout"), false);
    EXPECT_TRUE(category->Font()->Bold());
    TRSItemProp* row = category->Items()->Add();
    row->SetName(QStringLiteral("Width"));
    TRSItemProp* sub = row->Items()->Add();
    EXPECT_FALSE(row->Font()->Bold());
    EXPECT_EQ(row->Font()->Color(), f.grid.GridFont()->Color());
    f.grid.GridFont()->SetSize(15);
    EXPECT_EQ(row->Font()->Size(), 15);
    EXPECT_EQ(sub->Font()->Size(), 15);
    EXPECT_FALSE(row->Font()->Bold());
    EXPECT_TRUE(category->Font()->Bold()); // the category keeps its own
    EXPECT_EQ(category->Font()->Size(), 15);
}

TEST(ItemGridDrawing, TheGlyphStaysOnTheCurrentCellWithoutFocus) {
    ShownItemGrid f;
    f.grid.SetOptions(f.grid.Options() | goRowSelect); // the current cell is the name cell, no editor
    f.Row(0)->Items()->Add()->SetName(QStringLiteral("sub"));
    f.grid.SelectItem(f.Row(1));
    f.grid.SelectItem(f.Row(0));
    ASSERT_EQ(f.grid.Col(), 0);
    ASSERT_FALSE(f.grid.IsActiveControl());
    const QRect cell = f.grid.CellRect(0, f.grid.FixedItems());
    const QImage image = f.grid.viewport()->grab().toImage();
    // The glyph's frame at the row's indentation, vertically centred.
    const QPoint corner(cell.left(),
                        cell.top() + (f.grid.DefaultRowHeight() - f.grid.PlusGlyph().height()) / 2);
    EXPECT_EQ(image.pixelColor(corner * image.devicePixelRatio()),
              f.grid.PlusGlyph().toImage().pixelColor(0, 0));
}
