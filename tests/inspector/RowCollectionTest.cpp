#include "inspector/RSInplaceEditList.h"
#include "inspector/RSItemListEditor.h"
#include "inspector/RSRowList.h"
#include "tests/support/RecordingPresenter.h"
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <random>

namespace {

QStringList Names(TRSItemProps* rows) {
    QStringList names;
    for (int i = 0; i < rows->Count(); ++i)
        names << rows->Items(i)->Name();
    return names;
}

void WalkAll(TRSItemProps* rows, QList<TRSItemProp*>& all, QList<TRSItemProp*>& shown, bool parentShown) {
    for (int i = 0; i < rows->Count(); ++i) {
        TRSItemProp* r = rows->Items(i);
        all.append(r);
        const bool isShown = parentShown && r->IsShown();
        if (isShown)
            shown.append(r);
        if (r->HasItems())
            WalkAll(r->Items(), all, shown, isShown && r->ExpandFlag());
    }
}

// The grid's two row lists must be what a fresh walk of the tree gives.
::testing::AssertionResult ListsMatchTree(TRSItemListEditor& grid) {
    QList<TRSItemProp*> all;
    QList<TRSItemProp*> shown;
    WalkAll(grid.Items(), all, shown, true);
    if (grid.ItemListCount() != all.size())
        return ::testing::AssertionFailure()
               << "tree-order list has " << grid.ItemListCount() << " rows, tree " << all.size();
    for (int i = 0; i < all.size(); ++i)
        if (grid.ItemListItem(i) != all.at(i))
            return ::testing::AssertionFailure() << "tree-order position " << i;
    if (grid.VisibleCount() != shown.size())
        return ::testing::AssertionFailure()
               << "shown list has " << grid.VisibleCount() << " rows, tree " << shown.size();
    for (int i = 0; i < shown.size(); ++i)
        if (grid.VisibleItem(i) != shown.at(i))
            return ::testing::AssertionFailure() << "shown position " << i;
    const int lines = grid.FixedItems() + std::max<int>(1, int(shown.size()));
    if (grid.ItemCount() != lines)
        return ::testing::AssertionFailure() << "item count " << grid.ItemCount() << ", expected " << lines;
    return ::testing::AssertionSuccess();
}

bool IsSortedLevel(TRSItemProps* rows) {
    for (int i = 1; i < rows->Count(); ++i)
        if (rows->CompareNames(rows->Items(i - 1)->Name(), rows->Items(i)->Name()) > 0)
            return false;
    return true;
}

} // namespace

// ---- change notification and update brackets --------------------------------------------------------

TEST(RowCollection, ChangesTravelUpTheTree) {
    TRSItemListEditor grid;
    TRSItemProp* deep = grid.Items()->AddByPath(QStringLiteral("A.B.C"), QStringLiteral("1"), false);
    TRSItemProp* a = grid.Items()->Items(0);
    TRSItemProp* b = a->Items()->Items(0);
    QSignalSpy top(grid.Items(), &TCollection::changed);
    QSignalSpy middle(b->Collection(), &TCollection::changed);
    deep->SetHint(QStringLiteral("h"));
    ASSERT_EQ(top.count(), 1);
    EXPECT_EQ(top.at(0).at(0).value<TCollectionItem*>(), a); // the top level hears of its own row
    EXPECT_EQ(middle.count(), 1);
    EXPECT_EQ(middle.at(0).at(0).value<TCollectionItem*>(), b);

    // Inside a bracket of a sub-level nothing travels; its end reports the level once.
    top.clear();
    b->Items()->BeginUpdate();
    deep->SetHint(QStringLiteral("h2"));
    deep->Values().SetText(QStringLiteral("2"));
    b->Items()->Add()->SetName(QStringLiteral("D"));
    EXPECT_EQ(top.count(), 0);
    b->Items()->EndUpdate();
    EXPECT_EQ(top.count(), 1);
    EXPECT_TRUE(ListsMatchTree(grid));
    EXPECT_EQ(b->DescendantCount(), 2);
    EXPECT_EQ(a->DescendantCount(), 3);
}

TEST(RowCollection, UpdateBracketsKeepTheListsRight) {
    // Rows added inside either bracket, closed in either order, end up shown exactly once.
    for (int order = 0; order < 3; ++order) {
        TRSItemListEditor grid;
        grid.show();
        TRSItemProp* keep = grid.Items()->AddByPath(QStringLiteral("K.k"), QString(), false);
        keep->ParentItem()->Expand();
        const int rowsBefore = grid.RowCount();
        if (order != 2)
            grid.BeginUpdate();
        grid.Items()->BeginUpdate();
        for (int i = 0; i < 20; ++i) {
            TRSItemProp* r = grid.Items()->Add();
            r->SetName(QStringLiteral("n%1").arg(i));
            r->Items()->Add()->SetName(QStringLiteral("s"));
            if (i % 2)
                r->Expand();
        }
        keep->Collection()->Delete(0);
        if (order != 2) { // the grid's own bracket holds the row count
            EXPECT_EQ(grid.RowCount(), rowsBefore) << order;
        }
        if (order == 0) {
            grid.Items()->EndUpdate();
            grid.EndUpdate();
        } else if (order == 1) {
            grid.EndUpdate();
            grid.Items()->EndUpdate();
        } else {
            grid.Items()->EndUpdate();
        }
        EXPECT_TRUE(ListsMatchTree(grid)) << "order " << order;
        EXPECT_EQ(grid.VisibleCount(), 1 + 20 + 10) << order;
    }

    // The grid's own bracket alone: the shown rows are kept at once, the row count at the end.
    TRSItemListEditor grid;
    grid.BeginUpdate();
    grid.BeginUpdate();
    for (int i = 0; i < 5; ++i)
        grid.Items()->Add();
    grid.EndUpdate();
    EXPECT_EQ(grid.ItemCount(), grid.FixedItems() + 1);
    grid.EndUpdate();
    EXPECT_EQ(grid.ItemCount(), grid.FixedItems() + 5);
    EXPECT_TRUE(ListsMatchTree(grid));
    grid.EndUpdate(); // one end too many does nothing
    EXPECT_EQ(grid.UpdateCount(), 0);
}

namespace {

int CountBelow(TRSItemProp* r) {
    int n = 0;
    for (int i = 0; r->HasItems() && i < r->Items()->Count(); ++i)
        n += 1 + CountBelow(r->Items()->Items(i));
    return n;
}

} // namespace

TEST(RowCollection, ListsFollowMixedChangesInsideAndOutsideBrackets) {
    TRSItemListEditor grid;
    grid.show();
    grid.SetDisplayOptions(grid.DisplayOptions() & ~doShowReadOnly);
    std::mt19937 rng(35);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    int serial = 0;
    auto anyRow = [&]() -> TRSItemProp* {
        QList<TRSItemProp*> all;
        QList<TRSItemProp*> shown;
        WalkAll(grid.Items(), all, shown, true);
        return all.isEmpty() ? nullptr : all.at(pick(int(all.size())));
    };
    auto step = [&](int op) {
        TRSItemProp* r = anyRow();
        if (!r || op == 0) {
            grid.Items()->Add()->SetName(QStringLiteral("t%1").arg(serial++));
            return;
        }
        switch (op) {
        case 1:
            r->Items()->Add()->SetName(QStringLiteral("s%1").arg(serial++));
            break;
        case 2:
            r->Collection()->Delete(r->Index());
            break;
        case 3:
            r->SetExpanded(!r->ExpandFlag());
            break;
        case 4:
            r->SetVisible(!r->GetVisible());
            break;
        case 5:
            r->SetReadOnly(!r->ReadOnlyFlag());
            break;
        case 6:
            r->SetEnabled(!r->Enabled());
            break;
        case 7:
            r->Collection()->Sort(pick(2) == 0);
            break;
        case 8:
            if (pick(2))
                r->FullExpand();
            else
                r->FullCollapse();
            break;
        case 9:
            if (r->Collection()->Count() > 1)
                r->Collection()->Exchange(0, r->Collection()->Count() - 1);
            break;
        default:
            r->SetIndex(pick(r->Collection()->Count()));
            break;
        }
    };
    for (int round = 0; round < 800; ++round) {
        if (grid.VisibleCount() > 0 && pick(3) == 0)
            grid.SelectItem(grid.VisibleItem(pick(grid.VisibleCount())));
        TRSItemProp* current = grid.CurrentItem();
        const int bracket = pick(4); // none, the grid's, the top level's, a sub-level's
        TRSItemProp* owner = bracket == 3 ? anyRow() : nullptr;
        if (bracket == 1)
            grid.BeginUpdate();
        else if (bracket == 2)
            grid.Items()->BeginUpdate();
        else if (owner)
            owner->Items()->BeginUpdate();
        const int steps = bracket == 0 ? 1 : 1 + pick(4);
        for (int i = 0; i < steps; ++i) {
            // A sub-level's bracket must outlive the rows it holds: no deletions inside it.
            int op = pick(11);
            if (owner && op == 2)
                op = 0;
            step(op);
        }
        if (bracket == 1)
            grid.EndUpdate();
        else if (bracket == 2)
            grid.Items()->EndUpdate();
        else if (owner)
            owner->Items()->EndUpdate();
        ASSERT_TRUE(ListsMatchTree(grid)) << "round " << round << " bracket " << bracket;
        // One change that leaves the current row shown leaves it current.
        if (bracket == 0 && current && grid.ItemListIndexOf(current) >= 0 &&
            grid.VisibleIndexOf(current) >= 0) {
            ASSERT_EQ(grid.CurrentItem(), current) << "round " << round;
        }
        for (int i = 0; i < grid.ItemListCount(); ++i)
            ASSERT_EQ(grid.ItemListItem(i)->DescendantCount(), CountBelow(grid.ItemListItem(i)))
                << "round " << round;
    }
}

// ---- sorting ------------------------------------------------------------------------------------------

TEST(RowCollection, SortingEveryLevel) {
    std::mt19937 rng(11);
    auto name = [&] { return QStringLiteral("k%1").arg(int(rng() % 40), 2, 10, QLatin1Char('0')); };
    TRSItemListEditor grid;
    for (int i = 0; i < 60; ++i) {
        TRSItemProp* r = grid.Items()->Add();
        r->SetName(name());
        for (int j = int(rng() % 4); j > 0; --j)
            r->Items()->Add()->SetName(name());
        if (i % 3 == 0)
            r->Expand();
    }
    // Only this level first; the sub-levels keep their order.
    TRSItemProp* withSubs = nullptr;
    for (int i = 0; i < grid.Items()->Count() && !withSubs; ++i)
        if (grid.Items()->Items(i)->Items()->Count() > 2)
            withSubs = grid.Items()->Items(i);
    ASSERT_NE(withSubs, nullptr);
    const QStringList subsBefore = Names(withSubs->Items());
    grid.Items()->Sort(true);
    EXPECT_TRUE(IsSortedLevel(grid.Items()));
    EXPECT_EQ(Names(withSubs->Items()), subsBefore);
    EXPECT_TRUE(ListsMatchTree(grid));
    grid.Items()->Sort(false);
    for (int i = 0; i < grid.Items()->Count(); ++i)
        EXPECT_TRUE(IsSortedLevel(grid.Items()->Items(i)->Items()));
    EXPECT_TRUE(ListsMatchTree(grid));

    // A custom order by value, over many equal keys.
    TRSItemProps* rows = grid.Items();
    for (int i = 0; i < rows->Count(); ++i)
        rows->Items(i)->Values().SetText(QString::number(int(rng() % 5)));
    rows->CustomSort([](TRSItemProp* x, TRSItemProp* y) { return x->Value().toInt() - y->Value().toInt(); },
                     true);
    for (int i = 1; i < rows->Count(); ++i)
        ASSERT_LE(rows->Items(i - 1)->Value().toInt(), rows->Items(i)->Value().toInt()) << i;
    EXPECT_EQ(rows->Count(), 60);
    EXPECT_TRUE(ListsMatchTree(grid));
}

TEST(RowCollection, SortedTreesStaySorted) {
    TRSItemListEditor grid;
    TRSItemProp* b = grid.Items()->Add();
    b->SetName(QStringLiteral("b"));
    for (const char* n : {"z", "y", "x"})
        b->Items()->Add()->SetName(QString::fromLatin1(n));
    b->Expand();
    grid.Items()->Add()->SetName(QStringLiteral("a"));
    grid.SetSorted(true); // every level is sorted and marked
    EXPECT_EQ(Names(grid.Items()), (QStringList{"a", "b"}));
    EXPECT_EQ(Names(b->Items()), (QStringList{"x", "y", "z"}));
    EXPECT_TRUE(b->Items()->Sorted());
    EXPECT_TRUE(ListsMatchTree(grid));
    // New rows and renamed rows take their place at every level, also under rows made later.
    std::mt19937 rng(5);
    for (int i = 0; i < 80; ++i) {
        TRSItemProps* level = rng() % 2 ? grid.Items() : b->Items();
        if (rng() % 3 == 0 && level->Count() > 0)
            level->Items(int(rng() % level->Count()))->SetName(QStringLiteral("r%1").arg(rng() % 100));
        else
            level->Add()->SetName(QStringLiteral("n%1").arg(rng() % 100));
        if (i == 40) {
            TRSItemProp* late = grid.Items()->Add();
            late->SetName(QStringLiteral("late"));
            EXPECT_TRUE(late->Items()->Sorted());
            late->Items()->Add()->SetName(QStringLiteral("2"));
            late->Items()->Add()->SetName(QStringLiteral("1"));
            EXPECT_EQ(Names(late->Items()), (QStringList{"1", "2"}));
        }
        ASSERT_TRUE(IsSortedLevel(grid.Items())) << i;
        ASSERT_TRUE(IsSortedLevel(b->Items())) << i;
    }
    EXPECT_TRUE(ListsMatchTree(grid));
    // While sorted, a custom sort changes nothing; switching off clears every level's mark.
    const QStringList top = Names(grid.Items());
    grid.Items()->CustomSort([](TRSItemProp* x, TRSItemProp* y) { return -x->Name().compare(y->Name()); },
                             false);
    EXPECT_EQ(Names(grid.Items()), top);
    grid.SetSorted(false);
    EXPECT_FALSE(b->Items()->Sorted());
    grid.Items()->Add()->SetName(QStringLiteral("0"));
    EXPECT_EQ(grid.Items()->Items(grid.Items()->Count() - 1)->Name(), "0");
}

TEST(RowCollection, FindInsertIndex) {
    TRSItemListEditor grid;
    int index = -1;
    EXPECT_FALSE(grid.Items()->FindInsertIndex(QStringLiteral("m"), index));
    EXPECT_EQ(index, 0);
    for (const char* n : {"b", "d", "d", "f"})
        grid.Items()->Add()->SetName(QString::fromLatin1(n));
    const std::tuple<const char*, bool, int> cases[] = {{"a", false, 0}, {"b", true, 0},  {"c", false, 1},
                                                        {"D", true, 1},  {"e", false, 3}, {"g", false, 4}};
    for (const auto& [name, found, at] : cases) {
        EXPECT_EQ(grid.Items()->FindInsertIndex(QString::fromLatin1(name), index), found) << name;
        EXPECT_EQ(index, at) << name;
    }
}

// ---- categories ---------------------------------------------------------------------------------------

TEST(RowCollection, CategoriesAndTheDefaultOne) {
    TRSItemListEditor grid;
    TRSItemProps* rows = grid.Items();
    TRSItemProp* misc = rows->AddCategory(QStringLiteral("Misc"), false);
    EXPECT_TRUE(misc->Category());
    EXPECT_TRUE(misc->GetReadOnly());
    EXPECT_EQ(rows->AddCategory(QStringLiteral("misc"), false), misc); // found again, ignoring case
    TRSItemProp* plain = rows->Add();
    plain->SetName(QStringLiteral("Plain"));
    EXPECT_EQ(rows->IndexOfCategory(QStringLiteral("Plain")), -1); // a plain row is no category
    TRSItemProp* again = rows->AddCategory(QStringLiteral("Plain"), false);
    EXPECT_NE(again, plain);
    EXPECT_EQ(rows->Count(), 3);

    // One default category per collection; the flag makes a row a category.
    plain->SetDefaultCategory(true);
    EXPECT_TRUE(plain->Category());
    EXPECT_EQ(rows->DefaultCategoryItem(), plain);
    misc->SetDefaultCategory(true);
    EXPECT_EQ(rows->DefaultCategoryItem(), misc);
    EXPECT_FALSE(plain->DefaultCategory());
    misc->SetCategory(false); // no category, no default
    EXPECT_FALSE(misc->DefaultCategory());
    EXPECT_EQ(rows->DefaultCategoryItem(), nullptr);

    // The default row leaving its collection leaves no dangling default behind.
    rows->SetDefaultCategoryName(QStringLiteral("Other"));
    rows->EnsureDefaultCategory();
    TRSItemProp* other = rows->DefaultCategoryItem();
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->Name(), "Other");
    rows->EnsureDefaultCategory(); // found, not made twice
    EXPECT_EQ(rows->DefaultCategoryItem(), other);
    rows->Delete(other->Index());
    EXPECT_EQ(rows->DefaultCategoryItem(), nullptr);
    rows->EnsureDefaultCategory();
    TRSItemProp* moved = rows->DefaultCategoryItem();
    moved->MoveTo(again->Items());
    EXPECT_EQ(rows->DefaultCategoryItem(), nullptr);
    EXPECT_TRUE(ListsMatchTree(grid));
}

TEST(RowCollection, DeletingCategories) {
    TRSItemListEditor grid;
    TRSItemProps* rows = grid.Items();
    TRSItemProp* cat = rows->AddCategory(QStringLiteral("Cat"), false);
    for (const char* n : {"x", "y"})
        cat->Items()->Add()->SetName(QString::fromLatin1(n));
    cat->Items()->Items(0)->Items()->Add()->SetName(QStringLiteral("deep"));
    TRSItemProp* plain = rows->Add();
    plain->SetName(QStringLiteral("plain"));
    TRSItemProp* gone = rows->AddCategory(QStringLiteral("Gone"), true);
    gone->Items()->Add()->SetName(QStringLiteral("z"));

    try {
        rows->DeleteCategory(plain->Index(), false);
        FAIL();
    } catch (const ERSException& e) {
        EXPECT_EQ(e.Message(), "Cannot delete item, not a category");
    }
    EXPECT_EQ(rows->Count(), 3);

    // Without KeepSubItems the sub-rows stay, one level up; with it they go along.
    rows->DeleteCategory(cat->Index(), false);
    EXPECT_EQ(Names(rows), (QStringList{"plain", "Gone", "x", "y"}));
    EXPECT_EQ(rows->Items(2)->Items()->Count(), 1);
    EXPECT_TRUE(ListsMatchTree(grid));
    rows->DeleteCategory(gone->Index(), true);
    EXPECT_EQ(Names(rows), (QStringList{"plain", "x", "y"}));
    EXPECT_EQ(rows->FindByPath(QStringLiteral("z")), nullptr);
    EXPECT_TRUE(ListsMatchTree(grid));

    rows->AddCategory(QStringLiteral("C1"), false)->Items()->Add()->SetName(QStringLiteral("c1"));
    rows->AddCategory(QStringLiteral("C2"), false)->Items()->Add()->SetName(QStringLiteral("c2"));
    rows->DeleteCategories(false);
    EXPECT_EQ(Names(rows), (QStringList{"plain", "x", "y", "c1", "c2"}));
    EXPECT_TRUE(ListsMatchTree(grid));
}

TEST(RowCollection, ArrangingByCategory) {
    TRSItemListEditor grid;
    grid.SetArrangeByCategory(true);
    TRSItemProps* rows = grid.Items();
    rows->Categories() << QStringLiteral("Speed=Motion") << QStringLiteral("Colour=Looks");
    TRSItemProp* speed = rows->Add();
    speed->SetName(QStringLiteral("Speed")); // named: goes to its category
    ASSERT_NE(speed->ParentItem(), nullptr);
    EXPECT_EQ(speed->ParentItem()->Name(), "Motion");
    EXPECT_TRUE(speed->ParentItem()->Category());
    TRSItemProp* other = rows->Add();
    other->SetName(QStringLiteral("Weight")); // no category: the default one
    ASSERT_NE(other->ParentItem(), nullptr);
    EXPECT_EQ(other->ParentItem(), rows->DefaultCategoryItem());
    EXPECT_EQ(other->ParentItem()->Name(), "Miscellaneous");
    other->SetName(QStringLiteral("colour")); // renamed into another category, ignoring case
    EXPECT_EQ(other->ParentItem()->Name(), "Looks");
    EXPECT_EQ(other->GetFullName(), "Looks.colour");
    grid.OnCategorize = [](QObject*, TRSItemProp*, const QString& name, QString& category) {
        if (name == QStringLiteral("Mass"))
            category = QStringLiteral("Physics");
    };
    TRSItemProp* mass = rows->Add();
    mass->SetName(QStringLiteral("Mass"));
    EXPECT_EQ(mass->ParentItem()->Name(), "Physics");
    EXPECT_TRUE(ListsMatchTree(grid));
    int categories = 0;
    for (int i = 0; i < rows->Count(); ++i)
        categories += rows->Items(i)->Category() ? 1 : 0;
    EXPECT_EQ(categories, rows->Count()); // nothing is left at the top level
    EXPECT_EQ(rows->Count(), 4);          // Motion, Miscellaneous, Looks, Physics

    // Rows placed before arranging are moved at once by ArrangeByCategories.
    TRSItemListEditor later;
    for (const char* n : {"Speed", "Weight", "Colour"})
        later.Items()->Add()->SetName(QString::fromLatin1(n));
    later.Items()->Categories() = rows->Categories();
    later.ArrangeByCategories(false);
    EXPECT_EQ(later.Items()->FindByPath(QStringLiteral("Motion.Speed"))->Name(), "Speed");
    EXPECT_NE(later.Items()->FindByPath(QStringLiteral("Miscellaneous.Weight")), nullptr);
    EXPECT_NE(later.Items()->FindByPath(QStringLiteral("Looks.Colour")), nullptr);
    EXPECT_TRUE(ListsMatchTree(later));
}

// ---- paths, names and values --------------------------------------------------------------------------

TEST(RowCollection, PathsWithOtherDelimiters) {
    TRSItemListEditor grid;
    grid.SetPathDelimiter(QStringLiteral("::"));
    TRSItemProp* c = grid.Items()->AddByPath(QStringLiteral("a::b::c"), QStringLiteral("v"), false);
    EXPECT_EQ(c->GetFullName(), "a::b::c");
    EXPECT_EQ(c->Level(), 2);
    EXPECT_EQ(grid.Items()->FindByPath(QStringLiteral("A::B::C")), c); // names compare without case
    EXPECT_EQ(grid.Items()->FindByPath(QStringLiteral("a::x::c")), nullptr);
    EXPECT_EQ(grid.Items()->FindByPath(QStringLiteral("a::b::c::d")), nullptr);
    EXPECT_EQ(grid.Items()->FindByPath(QStringLiteral("a.b.c")), nullptr); // "." is a plain character now
    TRSItemProp* dotted = grid.Items()->AddByPath(QStringLiteral("a.b"), QString(), false);
    EXPECT_EQ(dotted->Level(), 0);
    EXPECT_EQ(grid.Items()->FindByPath(QStringLiteral("a.b")), dotted);
    EXPECT_EQ(grid.Strings().Lines(), (QStringList{"a=", "a::b=", "a::b::c=v", "a.b="}));

    // A row without a grid uses ".".
    TRSItemProps loose(nullptr);
    TRSItemProp* y = loose.AddByPath(QStringLiteral("x.y"), QStringLiteral("1"), false);
    EXPECT_EQ(y->GetFullName(), "x.y");
    EXPECT_EQ(loose.FindByPath(QStringLiteral("X.Y")), y);
    EXPECT_EQ(y->Value(), "1");
}

TEST(RowCollection, ValuesAndExpandedState) {
    TRSItemListEditor grid;
    grid.show();
    grid.SetDisplayOptions(grid.DisplayOptions() | doMultiColValues);
    grid.SetValueCount(4);
    grid.Items()->Add()->SetName(QStringLiteral("first")); // the current row
    TRSItemProp* r = grid.Items()->Add();
    r->SetName(QStringLiteral("r"));
    r->Values().SetText(QStringLiteral("one\r\ntwo\r\nthree\r\nfour\r\n"));
    EXPECT_EQ(r->Value(), "one\ntwo\nthree\nfour"); // not the current row: the whole text
    grid.SelectItem(r);
    grid.SetCurValue(2);
    EXPECT_EQ(r->Value(), "two");      // the current row: its current column only
    EXPECT_EQ(r->Values().Count(), 3); // brought to one line per value column
    r->SetValue(QStringLiteral("deux"));
    EXPECT_EQ(r->Values().Lines(), (QStringList{"one", "deux", "three"}));
    EXPECT_THROW(r->Values().Get(3), EListError);
    EXPECT_THROW(r->Values().Put(5, QStringLiteral("x")), EListError);
    r->Values().Put(3, QStringLiteral("appended"));
    EXPECT_EQ(r->Values().Count(), 4);
    EXPECT_EQ(r->DisplayName(), "r=one\ndeux\nthree\nappended");
    EXPECT_FALSE(r->IsValueEmpty());
    r->Values().SetText(QStringLiteral(" \n \t\n"));
    EXPECT_TRUE(r->IsValueEmpty());

    // Expanded is the flag and sub-rows together; a flag set before the sub-rows come shows them at once.
    TRSItemProp* s = grid.Items()->Add();
    s->Expand();
    EXPECT_TRUE(s->ExpandFlag());
    EXPECT_FALSE(s->Expanded());
    TRSItemProp* child = s->Items()->Add();
    EXPECT_TRUE(s->Expanded());
    EXPECT_GE(child->VisibleIndex(), 0);
    EXPECT_EQ(s->VisibleDescendantCount(), 1);
    s->Collapse();
    EXPECT_FALSE(s->Expanded());
    EXPECT_EQ(child->VisibleIndex(), -1);
    EXPECT_EQ(s->VisibleDescendantCount(), 0);
    EXPECT_TRUE(s->HasItems());
    child->SetVisible(false);
    s->Expand();
    EXPECT_FALSE(s->HasShownItems());
    EXPECT_EQ(s->VisibleDescendantCount(), 0);
    EXPECT_TRUE(ListsMatchTree(grid));
}

TEST(RowCollection, FullExpandOfACollapsedBranch) {
    TRSItemListEditor grid;
    grid.Items()->Add()->SetName(QStringLiteral("first"));
    TRSItemProp* deep = grid.Items()->AddByPath(QStringLiteral("T.s.d"), QString(), false);
    TRSItemProp* t = grid.Items()->FindByPath(QStringLiteral("T"));
    t->FullExpand(); // the flags are set from the top down before the grid hears of the top
    EXPECT_TRUE(ListsMatchTree(grid));
    EXPECT_EQ(deep->VisibleIndex(), 3);
    t->FullCollapse();
    EXPECT_EQ(grid.VisibleCount(), 2);
    EXPECT_TRUE(ListsMatchTree(grid));
}

TEST(RowCollection, DisabledRowsAreReadOnlyAndHideWithThem) {
    TRSItemListEditor grid;
    grid.SetDisplayOptions(grid.DisplayOptions() & ~doShowReadOnly);
    TRSItemProp* a = grid.Items()->Add();
    a->SetName(QStringLiteral("a"));
    TRSItemProp* b = grid.Items()->Add();
    b->SetName(QStringLiteral("b"));
    b->SetEnabled(false);
    EXPECT_TRUE(b->GetReadOnly());
    EXPECT_FALSE(b->IsDisplayable());
    EXPECT_EQ(b->VisibleIndex(), -1); // hidden at once, as a read-only row is
    EXPECT_TRUE(ListsMatchTree(grid));
    b->SetEnabled(true);
    EXPECT_EQ(b->VisibleIndex(), 1);
    a->SetReadOnly(true);
    EXPECT_EQ(a->VisibleIndex(), -1);
    EXPECT_TRUE(ListsMatchTree(grid));
}

TEST(RowCollection, ItemByNameAndInsertAt) {
    TRSItemListEditor grid;
    TRSItemProps* rows = grid.Items();
    EXPECT_EQ(rows->ItemByName(QStringLiteral("x"), true), nullptr); // an empty collection finds nothing
    for (const char* n : {"a", "b"})
        rows->Add()->SetName(QString::fromLatin1(n));
    EXPECT_EQ(rows->ItemByName(QStringLiteral("B"), true), rows->Items(1));
    EXPECT_EQ(rows->ItemByName(1, false), rows->Items(1));
    EXPECT_EQ(rows->ItemByName(7, false), nullptr);
    TRSItemProp* made = rows->ItemByName(2, true); // strict: a missing index is made
    EXPECT_EQ(made->Index(), 2);
    EXPECT_EQ(rows->Count(), 3);
    EXPECT_THROW(rows->ItemByName(9, true), EListError);
    EXPECT_THROW(rows->InsertAt(-1), EListError);
    EXPECT_EQ(rows->Count(), 3);
    TRSItemProp* first = rows->InsertAt(0);
    EXPECT_EQ(first->Index(), 0);
    EXPECT_EQ(Names(rows), (QStringList{"", "a", "b", ""}));
    EXPECT_TRUE(ListsMatchTree(grid));
    // The grid looks among its shown rows, with the exact name.
    try {
        grid.ItemByName(QStringLiteral("A"), true);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Property not found: A");
    }
    EXPECT_EQ(grid.ItemByName(QStringLiteral("a"), true), rows->Items(1));
    EXPECT_EQ(grid.ItemByName(0, false), rows->Items(0));
}

TEST(RowCollection, AssignCopiesTheWholeTree) {
    TRSItemListEditor source;
    source.Items()->Categories() << QStringLiteral("x=y");
    TRSItemProp* a = source.Items()->AddByPath(QStringLiteral("A.B.C"), QStringLiteral("3"), false);
    a->SetHint(QStringLiteral("hint"));
    a->SetReadOnly(true);
    a->SetPickList({QStringLiteral("1"), QStringLiteral("3")});
    a->SetTag(7);
    a->OnEditButtonClick = [](QObject*) {};
    TRSItemProp* top = source.Items()->Items(0);
    top->Expand();
    top->SetEnabled(false);
    top->Font()->SetItalic(true);

    TRSItemListEditor target;
    target.Items()->Add()->SetName(QStringLiteral("old"));
    target.Items()->Assign(*source.Items());
    EXPECT_EQ(target.Items()->Categories(), QStringList{"x=y"});
    TRSItemProp* c = target.Items()->FindByPath(QStringLiteral("A.B.C"));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(target.Items()->Count(), 1);
    EXPECT_EQ(c->Value(), "3");
    EXPECT_EQ(c->Hint(), "hint");
    EXPECT_TRUE(c->ReadOnlyFlag());
    EXPECT_EQ(c->EditStyle(), esPickList);
    EXPECT_EQ(c->PickListCopy(), (QStringList{"1", "3"}));
    EXPECT_EQ(c->Tag(), 7);
    EXPECT_FALSE(c->OnEditButtonClick); // events are not copied
    TRSItemProp* copyTop = target.Items()->Items(0);
    EXPECT_TRUE(copyTop->Expanded());
    EXPECT_TRUE(copyTop->Enabled());     // nor is Enabled
    EXPECT_TRUE(copyTop->GetReadOnly()); // but the effective read-only state is
    EXPECT_FALSE(copyTop->ParentFont());
    EXPECT_TRUE(copyTop->Font()->Italic());
    EXPECT_EQ(copyTop->DescendantCount(), 2);
    EXPECT_TRUE(ListsMatchTree(target));
}

// ---- the string-list adapters --------------------------------------------------------------------------

TEST(RowCollection, StringsAdapter) {
    TRSItemListEditor grid;
    TRSItemStrings& lines = grid.Strings();
    lines.Add(QStringLiteral("A.x=1"));
    lines.Add(QStringLiteral("A.y=a=b")); // the value is everything after the first "="
    lines.Add(QStringLiteral("B"));
    EXPECT_EQ(lines.Lines(), (QStringList{"A=", "A.x=1", "A.y=a=b", "B="}));
    try {
        lines.Insert(lines.Count() + 1, QStringLiteral("C=1"));
        FAIL();
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (5)");
    }
    EXPECT_THROW(lines.Insert(-1, QStringLiteral("C=1")), EListError);
    EXPECT_EQ(lines.Count(), 4);
    EXPECT_THROW(lines.Get(4), EListError);

    EXPECT_EQ(lines.IndexOfName(QStringLiteral("A.y")), 2);
    EXPECT_EQ(lines.IndexOfName(QStringLiteral("A.z")), -1);
    int tag = 0;
    lines.PutObject(1, &tag);
    EXPECT_EQ(lines.GetObject(1), &tag);
    EXPECT_EQ(grid.Items()->FindByPath(QStringLiteral("A.x"))->Data(), &tag);

    // The shown rows only: A is collapsed.
    lines.SetShownOnly(true);
    EXPECT_EQ(lines.Lines(), (QStringList{"A=", "B="}));
    EXPECT_EQ(lines.IndexOfName(QStringLiteral("A.y")), -1);
    EXPECT_EQ(lines.IndexOfName(QStringLiteral("B")), 1);
    grid.Items()->Items(0)->Expand();
    EXPECT_EQ(lines.Count(), 4);
    lines.SetShownOnly(false);

    // Deleting a line deletes the row with its sub-rows.
    lines.Delete(0);
    EXPECT_EQ(lines.Lines(), QStringList{"B="});
    EXPECT_TRUE(ListsMatchTree(grid));
    // With unique names the same name again takes the new value instead of a second row.
    grid.SetPropertyOptions(propUnique);
    lines.Add(QStringLiteral("B=2"));
    EXPECT_EQ(lines.Lines(), QStringList{"B=2"});
    grid.SetStrings({QStringLiteral("P.q=1"), QStringLiteral("R=2")});
    EXPECT_EQ(lines.Lines(), (QStringList{"P=", "P.q=1", "R=2"}));
    EXPECT_TRUE(ListsMatchTree(grid));
    lines.Clear();
    EXPECT_EQ(lines.Count(), 0);
    EXPECT_EQ(grid.Items()->Count(), 0);
}

TEST(RowCollection, DuplicateNamesTypedIntoTheGrid) {
    ScopedRecordingPresenter boxes;
    TRSItemListEditor grid;
    grid.show();
    grid.SetPropertyOptions(propUnique | propEdit);
    grid.Items()->Add()->SetName(QStringLiteral("Serial"));
    TRSItemProp* plain = grid.Items()->Add();
    plain->SetName(QStringLiteral("Plain"));
    grid.SelectItem(plain);
    grid.SetCurValue(0);
    ASSERT_EQ(grid.CurValue(), 0);
    ASSERT_TRUE(grid.Editor() && grid.Editor()->isVisible());
    // Typed over: every step is taken but the duplicate, which is held back until the commit...
    grid.Editor()->selectAll();
    QTest::keyClicks(grid.Editor(), QStringLiteral("Serial"));
    EXPECT_EQ(plain->Name(), "Seria");
    EXPECT_EQ(grid.PendingName(), "Serial");
    // ... which refuses it and brings back the name of the last commit.
    QTest::keyClick(grid.Editor(), Qt::Key_Return);
    EXPECT_EQ(boxes->Texts(), QStringList{"Property name is not unique: Serial"});
    EXPECT_EQ(plain->Name(), "Plain");
    EXPECT_EQ(grid.Editor()->text(), "Plain");
    EXPECT_EQ(grid.PendingName(), "");
    EXPECT_EQ(grid.Items()->Count(), 2);
    // Any other name is taken, and so is the row's own name in another case.
    boxes->requests.clear();
    grid.Editor()->selectAll();
    QTest::keyClicks(grid.Editor(), QStringLiteral("Serial2"));
    QTest::keyClick(grid.Editor(), Qt::Key_Return);
    EXPECT_EQ(plain->Name(), "Serial2");
    grid.Editor()->selectAll();
    QTest::keyClicks(grid.Editor(), QStringLiteral("SERIAL2"));
    QTest::keyClick(grid.Editor(), Qt::Key_Return);
    EXPECT_EQ(plain->Name(), "SERIAL2");
    EXPECT_TRUE(boxes->requests.isEmpty());
}

TEST(RowCollection, IndexesFollowEveryChangeOfALevel) {
    // Each row knows its place however the level changes; a sorted level stays sorted.
    for (unsigned seed = 1; seed <= 8; ++seed) {
        std::mt19937 random(seed);
        TRSItemProps rows(nullptr);
        rows.SetSorted(seed % 2 == 0);
        for (int step = 0; step < 300; ++step) {
            const int count = rows.Count();
            const int at = count ? int(random() % count) : 0;
            switch (random() % 6) {
            case 0:
            case 1:
                rows.Add()->SetName(QString::number(random() % 1000));
                break;
            case 2:
                if (!rows.Sorted())
                    rows.InsertAt(int(random() % (count + 1)));
                break;
            case 3:
                if (count)
                    rows.Delete(random() % 2 ? at : count - 1);
                break;
            case 4:
                if (count)
                    rows.Items(at)->SetName(QString::number(random() % 1000));
                break;
            default:
                if (count && !rows.Sorted())
                    rows.Exchange(at, int(random() % count));
                break;
            }
            for (int i = 0; i < rows.Count(); ++i)
                ASSERT_EQ(rows.Items(i)->Index(), i) << "seed " << seed << " step " << step;
            if (rows.Sorted()) {
                ASSERT_TRUE(IsSortedLevel(&rows)) << "seed " << seed << " step " << step;
            }
        }
    }
}

TEST(RowCollection, RowListKeepsOrderAndPlacesThroughEveryChange) {
    // The grid's row list against a plain vector: long runs of reads (which switch it to its flat copy),
    // appends (which keep that copy), and inserts and removals anywhere (which drop it).
    std::vector<std::unique_ptr<TRSItemProp>> pool;
    for (int i = 0; i < 3000; ++i)
        pool.push_back(std::make_unique<TRSItemProp>());
    std::mt19937 random(7);
    auto pick = [&](size_t n) { return n ? size_t(random() % n) : 0; };
    TRSRowList list(0);
    std::vector<TRSItemProp*> model;
    std::vector<TRSItemProp*> outside;
    for (auto& row : pool)
        outside.push_back(row.get());
    for (int step = 0; step < 4000; ++step) {
        const size_t op = pick(10);
        if (op < 4 && !outside.empty()) {
            QList<TRSItemProp*> rows;
            for (size_t k = 1 + pick(op == 0 ? 40 : 2); k > 0 && !outside.empty(); --k) {
                rows.append(outside.back());
                outside.pop_back();
            }
            const size_t at = op == 1 ? model.size() : pick(model.size() + 1);
            list.insert(qsizetype(at), rows);
            model.insert(model.begin() + qsizetype(at), rows.begin(), rows.end());
        } else if (op < 7 && !model.empty()) {
            const size_t at = pick(model.size());
            const size_t count = op == 6 ? 1 + pick(std::min<size_t>(20, model.size() - at)) : 1;
            if (op == 5) {
                ASSERT_TRUE(list.removeOne(model[at]));
            } else {
                list.remove(qsizetype(at), qsizetype(count));
            }
            outside.insert(outside.end(), model.begin() + qsizetype(at),
                           model.begin() + qsizetype(at + count));
            model.erase(model.begin() + qsizetype(at), model.begin() + qsizetype(at + count));
        } else {
            for (size_t k = pick(400); k > 0 && !model.empty(); --k) {
                const size_t at = pick(model.size());
                ASSERT_EQ(list.at(qsizetype(at)), model[at]) << "step " << step;
            }
        }
        ASSERT_EQ(list.size(), qsizetype(model.size())) << "step " << step;
        const size_t probe = pick(model.size());
        if (!model.empty()) {
            ASSERT_EQ(list.indexOf(model[probe]), qsizetype(probe)) << "step " << step;
        }
        if (!outside.empty()) {
            ASSERT_EQ(list.indexOf(outside[pick(outside.size())]), -1) << "step " << step;
        }
    }
    ASSERT_TRUE(std::equal(list.begin(), list.end(), model.begin(), model.end()));
    for (size_t i = 0; i < model.size(); ++i)
        ASSERT_EQ(list.indexOf(model[i]), qsizetype(i));
    list.clear();
    EXPECT_EQ(list.indexOf(model.front()), -1);
}

TEST(RowCollection, RowsAddedAndDeletedOneAtATimeInALargeGrid) {
    // Enough deletions to pass the point where the levels count their rows again, and nested rows, each
    // change outside any bracket; the grid's lists and every row's index must follow.
    TRSItemListEditor grid;
    grid.show();
    TRSItemProps* items = grid.Items();
    std::mt19937 random(11);
    for (int i = 0; i < 1500; ++i)
        items->Add()->SetName(QStringLiteral("t%1").arg(i));
    for (int i = 0; i < 40; ++i) {
        TRSItemProp* parent = items->Items(int(random() % items->Count()));
        parent->Items()->Add()->SetName(QStringLiteral("s%1").arg(i));
        parent->Expand();
    }
    for (int step = 0; step < 900; ++step) {
        if (step % 3 == 2) {
            items->Add()->SetName(QStringLiteral("n%1").arg(step));
        } else {
            TRSItemProps* level = items;
            if (step % 5 == 0)
                for (int i = 0; i < items->Count(); ++i)
                    if (items->Items(i)->HasItems()) {
                        level = items->Items(i)->Items();
                        break;
                    }
            level->Delete(int(random() % level->Count()));
        }
        if (step % 50 == 0 || step > 880) {
            ASSERT_TRUE(ListsMatchTree(grid)) << "step " << step;
            for (int i = 0; i < items->Count(); ++i)
                ASSERT_EQ(items->Items(i)->Index(), i) << "step " << step;
        }
    }
}
