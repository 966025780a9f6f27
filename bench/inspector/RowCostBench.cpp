#include "bench/inspector/RowCostBench.h"
#include "bench/inspector/PairedTiming.h"
#include "inspector/RSItemListEditor.h"
#include <QTreeWidget>
#include <cstdio>
#include <memory>

namespace {

constexpr int kDeleted = 5000;
constexpr int kDeleteFrom = 100000;

QString Name(int i) {
    return QStringLiteral("Property%1").arg(i);
}

// Owns a shown tree and a shown grid, recreated for every run so that each run starts from the same state.
struct TSides {
    std::unique_ptr<QTreeWidget> tree;
    std::unique_ptr<TRSItemListEditor> grid;

    void NewTree() {
        tree.reset();
        tree = std::make_unique<QTreeWidget>();
        tree->setColumnCount(2);
        tree->resize(400, 800);
        tree->show();
    }
    void NewGrid() {
        grid.reset();
        grid = std::make_unique<TRSItemListEditor>();
        grid->resize(400, 800);
        grid->show();
    }
    void TreeAdd(int count) {
        for (int i = 0; i < count; ++i)
            new QTreeWidgetItem(tree.get(), {Name(i), QString::number(i)});
    }
    // Rows hidden as soon as they are added (read-only rows while the grid hides them).
    void TreeAddHidden(int count) {
        for (int i = 0; i < count; ++i)
            (new QTreeWidgetItem(tree.get(), {Name(i), QString::number(i)}))->setHidden(true);
    }
    void GridAddReadOnly(int count) {
        TRSItemProps* items = grid->Items();
        for (int i = 0; i < count; ++i) {
            TRSItemProp* row = items->Add();
            row->SetName(Name(i));
            row->Values().SetText(QString::number(i));
            row->SetReadOnly(true);
        }
    }
    void GridAdd(int count) {
        TRSItemProps* items = grid->Items();
        for (int i = 0; i < count; ++i) {
            TRSItemProp* row = items->Add();
            row->SetName(Name(i));
            row->Values().SetText(QString::number(i));
        }
    }
};

// Every 19th row from the start on, so that the deleted rows lie all over the list.
int DeletedIndex(int k) {
    return k * 19;
}

TPairedTimes Adding(int rounds, int count) {
    TSides s;
    return TimePaired(rounds, {[&] { s.NewTree(); }, [&] { s.TreeAdd(count); }},
                      {[&] { s.NewGrid(); }, [&] { s.GridAdd(count); }});
}

// Each row is shown when it comes and hidden at once: every later row comes after hidden siblings only.
TPairedTimes AddingAfterHidden(int rounds, int count) {
    TSides s;
    return TimePaired(rounds, {[&] { s.NewTree(); }, [&] { s.TreeAddHidden(count); }},
                      {[&] {
                           s.NewGrid();
                           s.grid->SetDisplayOptions(s.grid->DisplayOptions() & ~doShowReadOnly);
                       },
                       [&] { s.GridAddReadOnly(count); }});
}

TPairedTimes Deleting(int rounds) {
    TSides s;
    return TimePaired(rounds,
                      {[&] {
                           s.NewTree();
                           s.TreeAdd(kDeleteFrom);
                       },
                       [&] {
                           for (int k = 0; k < kDeleted; ++k)
                               delete s.tree->topLevelItem(DeletedIndex(k));
                       }},
                      {[&] {
                           s.NewGrid();
                           TRSItemProps* items = s.grid->Items();
                           items->BeginUpdate();
                           s.GridAdd(kDeleteFrom);
                           items->EndUpdate();
                       },
                       [&] {
                           TRSItemProps* items = s.grid->Items();
                           for (int k = 0; k < kDeleted; ++k)
                               items->Delete(DeletedIndex(k));
                       }});
}

void Print(const char* what, const TPairedTimes& t) {
    std::printf("%-44s %10.1f %10.1f %7.2fx%s\n", what, t.tree, t.grid, t.ratio,
                t.ratio > 3.0 ? "  (over 3 x)" : "");
}

} // namespace

void RunRowCostBench() {
    const int rounds = BenchRounds(5);
    std::printf("\nItem grid, one row at a time outside an update, beside a QTreeWidget (ms, medians of %d "
                "rounds, the two sides interleaved)\n",
                rounds);
    std::printf("%-44s %10s %10s %8s\n", "work", "tree", "grid", "ratio");
    const TPairedTimes add20 = Adding(rounds, 20000);
    Print("add 20,000 rows", add20);
    const TPairedTimes add40 = Adding(rounds, 40000);
    Print("add 40,000 rows", add40);
    std::printf("%-44s %10.2fx %9.2fx%s\n", "  time of 40,000 against 20,000", add40.tree / add20.tree,
                add40.grid / add20.grid, add40.grid / add20.grid > 2.3 ? "  (over 2.3 x)" : "");
    const TPairedTimes hidden20 = AddingAfterHidden(rounds, 20000);
    Print("add 20,000 rows after hidden siblings", hidden20);
    const TPairedTimes hidden40 = AddingAfterHidden(rounds, 40000);
    Print("add 40,000 rows after hidden siblings", hidden40);
    std::printf("%-44s %10.2fx %9.2fx%s\n", "  time of 40,000 against 20,000", hidden40.tree / hidden20.tree,
                hidden40.grid / hidden20.grid, hidden40.grid / hidden20.grid > 2.3 ? "  (over 2.3 x)" : "");
    Print("delete 5,000 of 100,000 rows", Deleting(rounds));
}
