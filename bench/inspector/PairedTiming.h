#pragma once
// Times one piece of work on two sides (the reference QTreeWidget and the grid) in alternating order,
// round by round, so that a change of machine load falls on both sides alike; each side's untimed setup
// is followed by the same heap trim. The ratio is taken per round, and its median is what is reported.
#include <functional>

struct TPairedSide {
    std::function<void()> setup; // untimed, before each run
    std::function<void()> work;  // timed
};

struct TPairedTimes {
    double tree = 0; // median milliseconds
    double grid = 0;
    double ratio = 0; // median over the rounds of grid / tree
};

TPairedTimes TimePaired(int rounds, const TPairedSide& tree, const TPairedSide& grid);

// Rounds from BENCH_RUNS, else the given default.
int BenchRounds(int fallback);
