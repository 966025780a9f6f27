// Times the regular expressions, then the item grid and the object inspector from 10,000 to 100,000 rows
// beside a QTreeWidget (ScalingBench.h), then the item grid's work on 10,000 rows (100 categories of 99
// rows plus the categories themselves): the goal is that building the rows stays under 100 ms, and that
// rebuilding the shown list, collapsing or expanding everything, scrolling and painting one screen stay
// under one frame (16 ms) each. Run with QT_QPA_PLATFORM=offscreen.
#include "bench/inspector/RegexBench.h"
#include "bench/inspector/RowCostBench.h"
#include "bench/inspector/ScalingBench.h"
#include "inspector/RSItemListEditor.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double Median(const std::function<void()>& work, int runs = 15) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// Most goals are one frame (16 ms); building the rows has a goal of its own.
void Report(const char* what, double ms, double goalMs = 16.0) {
    std::printf("%-52s %8.3f ms%s\n", what, ms, ms > goalMs ? "  (over its goal)" : "");
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // BENCH_ONLY=rows: the one-row-at-a-time costs alone; BENCH_ONLY=inspector: the object inspector alone.
    const QString only = qEnvironmentVariable("BENCH_ONLY");
    if (only == QLatin1String("rows")) {
        RunRowCostBench();
        return 0;
    }
    if (only.isEmpty())
        RunRegexBench();
    RunScalingBench();
    if (!only.isEmpty())
        return 0;
    RunRowCostBench();
    std::printf("\n");
    TRSItemListEditor grid;
    grid.resize(400, 800);
    grid.show();

    QElapsedTimer build;
    build.start();
    TRSItemProps* items = grid.Items();
    items->BeginUpdate();
    for (int c = 0; c < 100; ++c) {
        TRSItemProp* category = items->Add();
        category->SetName(QStringLiteral("Group%1").arg(c));
        for (int r = 0; r < 99; ++r) {
            TRSItemProp* row = category->Items()->Add();
            row->SetName(QStringLiteral("Property%1").arg(r));
            row->Values().SetText(QString::number(c * 100 + r));
        }
        category->Expand();
    }
    items->EndUpdate();
    std::printf("rows in the tree: %d, shown: %d\n", grid.ItemListCount(), grid.VisibleCount());
    Report("build 10,000 rows inside BeginUpdate/EndUpdate", double(build.nsecsElapsed()) / 1e6, 100.0);

    Report("rebuild both row lists (whole tree changed)", Median([&] {
               items->BeginUpdate();
               items->EndUpdate();
           }));
    TRSItemProp* middle = items->Items(50);
    Report("collapse and expand a category of 99 rows", Median([&] {
               middle->Collapse();
               middle->Expand();
           }));
    // Each of the two on its own (the other one sets up the next run).
    std::vector<double> collapse;
    std::vector<double> expand;
    for (int i = 0; i < 9; ++i) {
        QElapsedTimer t;
        t.start();
        grid.FullCollapseAll();
        collapse.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        grid.FullExpandAll();
        expand.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(collapse.begin(), collapse.end());
    std::sort(expand.begin(), expand.end());
    Report("collapse all", collapse[collapse.size() / 2]);
    Report("expand all", expand[expand.size() / 2]);

    QImage screen(grid.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    auto paint = [&] {
        QPainter p(&screen);
        grid.viewport()->render(&p);
    };
    Report("paint one screen", Median(paint));
    int top = grid.FixedRows();
    Report("scroll one page and paint", Median([&] {
               top = (top + grid.VisibleRowCount()) % (grid.RowCount() - 100);
               grid.SetTopRow(std::max(top, grid.FixedRows()));
               paint();
           }));
    Report("move the current row by one line", Median([&] { grid.SetRow(grid.Row() % 5000 + 1); }));
    return 0;
}
