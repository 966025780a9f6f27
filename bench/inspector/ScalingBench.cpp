#include "bench/inspector/ScalingBench.h"
#include "bench/inspector/PairedTiming.h"
#include "bench/inspector/ScaleObjects.h"
#include "inspector/RSObjectInspector.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <vector>

namespace {

constexpr int kPerCategory = 99; // item grid: categories of 99 rows (100 rows with the category)
constexpr int kPerItem = 9;      // inspector: a collection item's row and its 8 shown properties

// Median over runs of work, each after an untimed setup; milliseconds. Each run starts from a tidied
// heap, so that what the setup freed is not sorted out by the allocator inside the timed work (that
// cost grows with the heap, not with the work, for the tree as for the grid).
double Median(int runs, const std::function<void()>& setup, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        setup();
        malloc_trim(0);
        QElapsedTimer t;
        t.start();
        work();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

QString Num(int i) {
    return QString::number(i);
}

struct TTreeTimes {
    double fill, clear;
};

// The reference: a shown tree widget filled with the rows of the given shape, and cleared again.
TTreeTimes TreeFill(int runs, int groups, int perGroup, bool nested) {
    QTreeWidget tree;
    tree.setColumnCount(2);
    tree.resize(400, 800);
    tree.show();
    auto fill = [&] {
        QTreeWidgetItem* top = nested ? new QTreeWidgetItem(&tree, {QStringLiteral("Items")}) : nullptr;
        for (int g = 0; g < groups; ++g) {
            auto* group = top ? new QTreeWidgetItem(top, {QStringLiteral("Items[%1]").arg(g), Num(g)})
                              : new QTreeWidgetItem(&tree, {QStringLiteral("Group%1").arg(g)});
            for (int r = 0; r < perGroup; ++r)
                new QTreeWidgetItem(group, {QStringLiteral("Property%1").arg(r), Num(g * 100 + r)});
        }
    };
    TTreeTimes t{};
    t.fill = Median(
        runs, [&] { tree.clear(); }, fill);
    t.clear = Median(runs, fill, [&] { tree.clear(); });
    return t;
}

struct TGridTimes {
    TTreeTimes tree;
    double build, clear;
};

TGridTimes GridTimes(int rows, int runs) {
    const int groups = rows / (kPerCategory + 1);
    TGridTimes t{};
    t.tree = TreeFill(runs, groups, kPerCategory, false);
    TRSItemListEditor grid;
    grid.resize(400, 800);
    grid.show();
    TRSItemProps* items = grid.Items();
    auto build = [&] {
        items->BeginUpdate();
        for (int c = 0; c < groups; ++c) {
            TRSItemProp* category = items->Add();
            category->SetName(QStringLiteral("Group%1").arg(c));
            for (int r = 0; r < kPerCategory; ++r) {
                TRSItemProp* row = category->Items()->Add();
                row->SetName(QStringLiteral("Property%1").arg(r));
                row->Values().SetText(Num(c * 100 + r));
            }
            category->Expand();
        }
        items->EndUpdate();
    };
    t.build = Median(
        runs, [&] { items->Clear(); }, build);
    t.clear = Median(runs, build, [&] { items->Clear(); });
    if (grid.ItemListCount() != 0)
        std::printf("grid not cleared\n");
    return t;
}

struct TInspectorTimes {
    TPairedTimes scan, rescan, clear;
    int rows;
};

// The inspector with its default presets beside the tree, the two sides interleaved round by round.
TInspectorTimes InspectorTimes(int rows, int runs) {
    const int count = rows / kPerItem;
    TInspectorTimes t{};
    QTreeWidget tree;
    tree.setColumnCount(2);
    tree.resize(400, 800);
    tree.show();
    auto treeFill = [&] {
        auto* top = new QTreeWidgetItem(&tree, {QStringLiteral("Items")});
        for (int g = 0; g < count; ++g) {
            auto* group = new QTreeWidgetItem(top, {QStringLiteral("Items[%1]").arg(g), Num(g)});
            for (int r = 0; r < kPerItem - 1; ++r)
                new QTreeWidgetItem(group, {QStringLiteral("Property%1").arg(r), Num(g * 100 + r)});
        }
    };
    auto treeClear = [&] { tree.clear(); };
    TScaleRoot root(count);
    TRSObjectInspector ins;
    ins.resize(400, 800);
    ins.SetInplaceCollections(true);
    ins.Filters()->Add(QStringLiteral("Secret"));
    if (qEnvironmentVariableIsSet("BENCH_NO_PRESETS")) // the scan's floor, for comparison
        ins.Presets()->Clear();
    ins.show();
    auto settle = [&] { QCoreApplication::sendPostedEvents(&ins); };
    auto clear = [&] {
        ins.SetComponent(nullptr);
        settle();
    };
    auto scan = [&] {
        ins.SetComponent(&root);
        settle();
    };
    t.scan = TimePaired(runs, {treeClear, treeFill}, {clear, scan});
    t.rows = ins.ItemListCount();
    // A rescan clears the rows and fills them again: the tree does its clear and fill.
    t.rescan = TimePaired(runs,
                          {treeFill,
                           [&] {
                               treeClear();
                               treeFill();
                           }},
                          {scan, [&] {
                               ins.PostRescan();
                               settle();
                           }});
    t.clear = TimePaired(runs, {treeFill, treeClear}, {scan, clear});
    return t;
}

} // namespace

void RunScalingBench() {
    const int runs =
        qEnvironmentVariableIntValue("BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("BENCH_RUNS") : 3;
    // A rescan clears the rows and fills them again: its reference is the tree's clear and fill.
    std::printf(
        "\nItem grid, categories of 99 rows, beside a QTreeWidget of the same rows (ms, median of %d)\n",
        runs);
    std::printf("%8s %10s %10s %7s %10s %10s %7s\n", "rows", "tree fill", "grid build", "ratio", "tree clear",
                "grid clear", "ratio");
    std::vector<TGridTimes> grid;
    // BENCH_ONLY=inspector leaves the item grid out (for profiling the inspector alone).
    const bool gridToo = qEnvironmentVariable("BENCH_ONLY") != QLatin1String("inspector");
    for (int rows : {10000, 30000, 100000}) {
        if (!gridToo)
            break;
        const TGridTimes t = GridTimes(rows, runs);
        grid.push_back(t);
        std::printf("%8d %10.1f %10.1f %6.2fx %10.1f %10.1f %6.2fx\n", rows, t.tree.fill, t.build,
                    t.build / t.tree.fill, t.tree.clear, t.clear, t.clear / t.tree.clear);
    }
    if (gridToo)
        std::printf("cost per row at 100,000 against 10,000: build %.2fx, clear %.2fx (tree %.2fx, %.2fx)\n",
                    grid[2].build / grid[0].build / 10, grid[2].clear / grid[0].clear / 10,
                    grid[2].tree.fill / grid[0].tree.fill / 10, grid[2].tree.clear / grid[0].tree.clear / 10);

    std::printf(
        "\nObject inspector with its default presets, a collection shown in place, filter \"Secret\", "
        "beside a QTreeWidget (ms, medians of %d rounds, the two sides interleaved; ratio = median of "
        "the rounds' ratios)\n",
        runs);
    std::printf("%8s %10s %10s %7s %10s %10s %7s %10s %10s %7s\n", "rows", "tree fill", "scan", "ratio",
                "tree refill", "rescan", "ratio", "tree clear", "clear", "ratio");
    std::vector<TInspectorTimes> ins;
    for (int rows : {10000, 18000, 36000, 100000}) {
        const TInspectorTimes t = InspectorTimes(rows, runs);
        ins.push_back(t);
        std::printf("%8d %10.1f %10.1f %6.2fx %10.1f %10.1f %6.2fx %10.1f %10.1f %6.2fx\n", t.rows,
                    t.scan.tree, t.scan.grid, t.scan.ratio, t.rescan.tree, t.rescan.grid, t.rescan.ratio,
                    t.clear.tree, t.clear.grid, t.clear.ratio);
    }
    std::printf(
        "time at 36,000 rows against 18,000 (goal at most 2.3 x): scan %.2fx, rescan %.2fx, clear %.2fx "
        "(tree %.2fx, %.2fx, %.2fx)\n",
        ins[2].scan.grid / ins[1].scan.grid, ins[2].rescan.grid / ins[1].rescan.grid,
        ins[2].clear.grid / ins[1].clear.grid, ins[2].scan.tree / ins[1].scan.tree,
        ins[2].rescan.tree / ins[1].rescan.tree, ins[2].clear.tree / ins[1].clear.tree);
    std::printf("cost per row at 100,000 against 10,000: scan %.2fx, rescan %.2fx, clear %.2fx (tree %.2fx, "
                "%.2fx, %.2fx)\n",
                ins[3].scan.grid / ins[0].scan.grid / 10, ins[3].rescan.grid / ins[0].rescan.grid / 10,
                ins[3].clear.grid / ins[0].clear.grid / 10, ins[3].scan.tree / ins[0].scan.tree / 10,
                ins[3].rescan.tree / ins[0].rescan.tree / 10, ins[3].clear.tree / ins[0].clear.tree / 10);
}
