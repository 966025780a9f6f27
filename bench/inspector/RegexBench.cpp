#include "bench/inspector/RegexBench.h"
#include "inspector/GRegularExpression.h"
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Median of compile + search, in milliseconds.
double TimeSearch(const QString& pattern, const QString& text, int runs) {
    std::vector<double> ms;
    int found = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        TGRegularExpression rx(pattern);
        found += rx.Find(text);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    if (found < 0)
        std::printf("impossible\n"); // keeps the search from being optimised away
    return ms[ms.size() / 2];
}

} // namespace

void RunRegexBench() {
    // Texts that hold no match: every start position has to be ruled out.
    struct Case {
        const char* pattern;
        char fill;
    };
    const Case cases[] = {
        {".*x", 'a'},
        {"(a*)*b", 'a'},
        {"(a|b|c|d)*e", 'a'},
        {"(a|aa)*c", 'a'},
        {"^[0-9]+\\-[0-9]+$", '1'},
        {"[a-z]+@[a-z]+\\.[a-z]+", 'q'},
    };
    std::printf("%-26s %12s %12s %12s %10s\n", "regex compile + search", "100 chars", "1,000 chars",
                "10,000 chars", "10k / 1k");
    for (const Case& c : cases) {
        double ms[3] = {};
        int size = 100;
        for (double& m : ms) {
            m = TimeSearch(QString::fromLatin1(c.pattern), QString(size, QLatin1Char(c.fill)), 21);
            size *= 10;
        }
        std::printf("%-26s %9.3f ms %9.3f ms %9.3f ms %9.1fx%s\n", c.pattern, ms[0], ms[1], ms[2],
                    ms[2] / ms[1], ms[2] > 5.0 ? "  (over 5 ms)" : "");
    }
}
