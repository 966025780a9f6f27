#include "bench/inspector/ScalingBench.h"
#include "bench/inspector/PairedTiming.h"
#include "bench/inspector/ScaleObjects.h"
#include "inspector/RSObjectInspector.h"
#include <QApplication>
#include <QTreeWidget>
#include <cstdio>
#include <vector>

namespace {

constexpr int kPerCategory = 99; // item grid: categories of 99 rows (100 rows with the category)
constexpr int kPerItem = 9;      // inspector: a collection item's row and its 8 shown properties

QString Num(int i) {
    return QString::number(i);
}

struct TGridTimes {
    TPairedTimes build, clear;
};

// The item grid's categories beside a shown tree widget of the same rows, interleaved round by round.
TGridTimes GridTimes(int rows, int runs) {
    const int groups = rows / (kPerCategory + 1);
    QTreeWidget tree;
    tree.setColumnCount(2);
    tree.resize(400, 800);
    tree.show();
    auto treeFill = [&] {
        for (int g = 0; g < groups; ++g) {
            auto* group = new QTreeWidgetItem(&tree, {QStringLiteral("Group%1").arg(g)});
            for (int r = 0; r < kPerCategory; ++r)
                new QTreeWidgetItem(group, {QStringLiteral("Property%1").arg(r), Num(g * 100 + r)});
        }
    };
    auto treeClear = [&] { tree.clear(); };
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
    auto clear = [&] { items->Clear(); };
    TGridTimes t{};
    t.build = TimePaired(runs, {treeClear, treeFill}, {clear, build});
    t.clear = TimePaired(runs, {treeFill, treeClear}, {build, clear});
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
    const int runs = BenchRounds(5);
    std::printf(
        "\nItem grid, categories of 99 rows, beside a QTreeWidget of the same rows (ms, medians of %d "
        "rounds, the two sides interleaved; ratio = median of the rounds' ratios)\n",
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
        std::printf("%8d %10.1f %10.1f %6.2fx %10.1f %10.1f %6.2fx\n", rows, t.build.tree, t.build.grid,
                    t.build.ratio, t.clear.tree, t.clear.grid, t.clear.ratio);
    }
    if (gridToo)
        std::printf(
            "cost per row at 100,000 against 10,000: build %.2fx, clear %.2fx (tree %.2fx, %.2fx)\n",
            grid[2].build.grid / grid[0].build.grid / 10, grid[2].clear.grid / grid[0].clear.grid / 10,
            grid[2].build.tree / grid[0].build.tree / 10, grid[2].clear.tree / grid[0].clear.tree / 10);

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
