#include "bench/inspector/PairedTiming.h"
#include <QElapsedTimer>
#include <QtGlobal>
#include <algorithm>
#include <malloc.h>
#include <vector>

namespace {

double Once(const TPairedSide& side) {
    if (side.setup)
        side.setup();
    malloc_trim(0); // the same for both sides: neither pays for the other's freed memory
    QElapsedTimer t;
    t.start();
    side.work();
    return double(t.nsecsElapsed()) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

TPairedTimes TimePaired(int rounds, const TPairedSide& tree, const TPairedSide& grid) {
    std::vector<double> treeMs, gridMs, ratios;
    for (int r = 0; r < rounds; ++r) {
        double t = 0, g = 0;
        if (r % 2 == 0) {
            t = Once(tree);
            g = Once(grid);
        } else {
            g = Once(grid);
            t = Once(tree);
        }
        treeMs.push_back(t);
        gridMs.push_back(g);
        ratios.push_back(g / std::max(t, 1e-6));
    }
    return {Median(treeMs), Median(gridMs), Median(ratios)};
}

int BenchRounds(int fallback) {
    const int n = qEnvironmentVariableIntValue("BENCH_RUNS");
    return n > 0 ? n : fallback;
}
