#include "inspector/RSItemListEditor.h"
#include <gtest/gtest.h>
#include <random>

namespace {

void Walk(TRSItemProps* rows, QList<TRSItemProp*>& all) {
    for (int i = 0; i < rows->Count(); ++i) {
        all.append(rows->Items(i));
        if (rows->Items(i)->HasItems())
            Walk(rows->Items(i)->Items(), all);
    }
}

void WalkShown(TRSItemProps* rows, QList<TRSItemProp*>& shown) {
    for (int i = 0; i < rows->Count(); ++i) {
        TRSItemProp* r = rows->Items(i);
        if (!r->IsShown())
            continue;
        shown.append(r);
        if (r->ExpandFlag() && r->HasItems())
            WalkShown(r->Items(), shown);
    }
}

int CountBelow(TRSItemProp* r) {
    int n = 0;
    if (r->HasItems())
        for (int i = 0; i < r->Items()->Count(); ++i)
            n += 1 + CountBelow(r->Items()->Items(i));
    return n;
}

// The grid's incrementally kept lists and counts must equal what a fresh walk of the tree gives.
void CheckAgainstWalk(TRSItemListEditor& grid) {
    QList<TRSItemProp*> all;
    Walk(grid.Items(), all);
    ASSERT_EQ(grid.ItemListCount(), all.size());
    for (int i = 0; i < all.size(); ++i) {
        ASSERT_EQ(grid.ItemListItem(i), all.at(i)) << "tree-order position " << i;
        ASSERT_EQ(all.at(i)->DescendantCount(), CountBelow(all.at(i)));
        ASSERT_EQ(grid.Items()->FindByPath(all.at(i)->GetFullName()), all.at(i));
    }
    QList<TRSItemProp*> shown;
    WalkShown(grid.Items(), shown);
    ASSERT_EQ(grid.VisibleCount(), shown.size());
    for (int i = 0; i < shown.size(); ++i)
        ASSERT_EQ(grid.VisibleItem(i), shown.at(i)) << "shown position " << i;
    ASSERT_EQ(grid.ItemCount(), grid.FixedItems() + std::max<qsizetype>(1, shown.size()));
}

} // namespace

TEST(RowTree, ListsFollowRandomChanges) {
    TRSItemListEditor grid;
    std::mt19937 rng(7);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    int serial = 0;
    for (int step = 0; step < 600; ++step) {
        QList<TRSItemProp*> all;
        Walk(grid.Items(), all);
        const int op = all.isEmpty() ? 0 : pick(7);
        if (op == 0) {
            grid.Items()->Add()->SetName(QStringLiteral("r%1").arg(serial++));
        } else if (op == 1 || op == 2) {
            all.at(pick(int(all.size())))->Items()->Add()->SetName(QStringLiteral("r%1").arg(serial++));
        } else if (op == 3) {
            TRSItemProp* r = all.at(pick(int(all.size())));
            r->Collection()->Delete(r->Index());
        } else if (op == 4) { // move a row with its subtree under another row (not into itself)
            TRSItemProp* r = all.at(pick(int(all.size())));
            TRSItemProp* target = all.at(pick(int(all.size())));
            bool inside = target == r;
            for (TRSItemProp* p = target->ParentItem(); p && !inside; p = p->ParentItem())
                inside = p == r;
            if (!inside)
                r->MoveTo(pick(4) == 0 ? grid.Items() : target->Items());
        } else if (op == 5) {
            TRSItemProp* r = all.at(pick(int(all.size())));
            r->SetIndex(pick(r->Collection()->Count()));
        } else {
            TRSItemProp* r = all.at(pick(int(all.size())));
            r->SetExpanded(!r->ExpandFlag());
        }
        CheckAgainstWalk(grid);
        if (HasFatalFailure())
            FAIL() << "after step " << step << " (operation " << op << ")";
    }
}

TEST(RowTree, CollapseKeepsCurrentRowAndReadOnlyRowsHide) {
    TRSItemListEditor grid;
    grid.show();
    TRSItemProp* a = grid.Items()->AddByPath(QStringLiteral("A.x"), QStringLiteral("1"), false)->ParentItem();
    grid.Items()->AddByPath(QStringLiteral("A.y"), QStringLiteral("2"), false);
    TRSItemProp* b = grid.Items()->AddByPath(QStringLiteral("B"), QStringLiteral("3"), false);
    a->Expand();
    ASSERT_EQ(grid.VisibleCount(), 4);
    grid.SelectItem(b);
    EXPECT_EQ(grid.CurrentItem(), b);
    a->Collapse();
    EXPECT_EQ(grid.VisibleCount(), 2);
    EXPECT_EQ(grid.CurrentItem(), b); // still current, one line further up
    EXPECT_EQ(grid.CurItem(), 2);

    b->SetReadOnly(true);
    TRSItemProp* cat = grid.Items()->AddCategory(QStringLiteral("Cat"), false);
    grid.SetDisplayOptions(grid.DisplayOptions() & ~doShowReadOnly);
    EXPECT_EQ(grid.VisibleIndexOf(b), -1);
    EXPECT_GE(grid.VisibleIndexOf(cat), 0); // categories stay
    grid.SetDisplayOptions(grid.DisplayOptions() | doShowReadOnly);
    EXPECT_GE(grid.VisibleIndexOf(b), 0);

    grid.Items()->Clear();
    EXPECT_EQ(grid.ItemCount(), grid.FixedItems() + 1); // the title and one empty line
}

TEST(RowTree, PathsValuesAndSorting) {
    TRSItemListEditor grid;
    TRSItemProp* b1 = grid.Items()->AddByPath(QStringLiteral("A.B"), QStringLiteral("1"), false);
    TRSItemProp* b2 = grid.Items()->AddByPath(QStringLiteral("A.B"), QStringLiteral("1"), false);
    EXPECT_EQ(b1, b2);
    ASSERT_EQ(grid.Items()->Count(), 1);
    EXPECT_EQ(grid.Items()->Items(0)->Items()->Count(), 1);
    EXPECT_EQ(b1->Value(), "1");
    grid.Items()->AddByPath(QStringLiteral("A.B"), QStringLiteral("2"), true);
    EXPECT_EQ(grid.Items()->Items(0)->Items()->Count(), 2);
    EXPECT_EQ(grid.Strings().Lines(), (QStringList{"A=", "A.B=1", "A.B=2"}));

    grid.SetValueCount(4); // three value columns
    TRSItemProp* multi = grid.Items()->Add();
    multi->Values().SetText(QStringLiteral("x"));
    EXPECT_EQ(multi->Values().Get(2), "");
    EXPECT_EQ(multi->Values().Count(), 3);

    TRSItemListEditor sorted;
    sorted.SetSorted(true);
    for (const char* n : {"delta", "alpha", "charlie"})
        sorted.Items()->Add()->SetName(QString::fromLatin1(n));
    sorted.Items()->Add(); // unnamed rows are not reordered
    auto names = [&] {
        QStringList l;
        for (int i = 0; i < sorted.Items()->Count(); ++i)
            l << sorted.Items()->Items(i)->Name();
        return l;
    };
    EXPECT_EQ(names(), (QStringList{"alpha", "charlie", "delta", ""}));
    sorted.Items()->Items(0)->SetName(QStringLiteral("echo"));
    EXPECT_EQ(names(), (QStringList{"charlie", "delta", "", "echo"}));
}

TEST(RowTree, UniqueNamesRefuseWithoutChange) {
    TRSItemListEditor grid;
    grid.SetPropertyOptions(propUnique | propEdit);
    grid.Items()->Add()->SetName(QStringLiteral("Speed"));
    TRSItemProp* other = grid.Items()->Add();
    other->SetName(QStringLiteral("Mode"));
    try {
        other->SetName(QStringLiteral("speed"));
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Property name is not unique: speed");
    }
    EXPECT_EQ(other->Name(), "Mode");
    other->SetName(QStringLiteral("MODE")); // its own name in other letters is no duplicate
    EXPECT_EQ(other->Name(), "MODE");
    EXPECT_THROW(grid.Items()->AddCategory(QStringLiteral("Speed"), true), Exception);
    EXPECT_THROW(grid.Items()->AddByPath(QStringLiteral("Mode"), QString(), true), Exception);
    EXPECT_EQ(grid.Items()->Count(), 2); // no half-made rows left behind
    EXPECT_THROW(grid.Items()->DeleteCategory(0, false), ERSException);
    EXPECT_THROW(grid.Items()->ItemByName(QStringLiteral("none"), true), Exception);
    EXPECT_EQ(grid.Items()->ItemByName(1, false), other);
}

TEST(RowTree, FontsFollowTheirParent) {
    TRSFont parent;
    parent.SetFont(QFont(QStringLiteral("Sans"), 9));
    TRSCustomDeltaFont delta;
    delta.Assign(parent);
    delta.OnGetParentFont = [&](TRSCustomDeltaFont*, TRSFont*& f) { f = &parent; };
    delta.SetBold(true);
    delta.SetColor(QColor(0x80, 0, 0x80));
    parent.SetSize(14);
    parent.SetName(QStringLiteral("Serif"));
    delta.ApplyDelta(&parent);
    EXPECT_TRUE(delta.Bold());
    EXPECT_EQ(delta.Color(), QColor(0x80, 0, 0x80));
    EXPECT_EQ(delta.Size(), 14);
    EXPECT_EQ(delta.Name(), "Serif");
    delta.SetColor(parent.Color()); // back to the parent's colour: follows it again
    EXPECT_FALSE(delta.DeltaMask() & TRSCustomDeltaFont::dfColor);
    parent.SetColor(Qt::red);
    delta.ApplyDelta(&parent);
    EXPECT_EQ(delta.Color(), QColor(Qt::red));

    TRSItemListEditor grid;
    TRSItemProp* top = grid.Items()->Add();
    TRSItemProp* sub = top->Items()->Add();
    grid.GridFont()->SetSize(15);
    EXPECT_EQ(top->Font()->Size(), 15);
    top->Font()->SetItalic(true); // the row's own font now; its sub-rows follow it
    EXPECT_FALSE(top->ParentFont());
    EXPECT_TRUE(sub->ParentFont());
    EXPECT_TRUE(sub->Font()->Italic());
    grid.GridFont()->SetSize(11);
    EXPECT_EQ(top->Font()->Size(), 15);
    TRSItemProp* cat = grid.Items()->AddCategory(QStringLiteral("C"), false);
    EXPECT_TRUE(cat->Font()->Bold()); // category rows take the category font
    EXPECT_EQ(grid.ValueFont()->Size(), 11);
}
