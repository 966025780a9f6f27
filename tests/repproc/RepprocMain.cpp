// Runs the tests, or with "--child <scenario>" one scenario in a process of its own.
#include "RepprocTools.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
        if (!repproc::RunChildScenario(argv[2])) {
            std::fprintf(stderr, "no scenario %s\n", argv[2]);
            return 99;
        }
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
