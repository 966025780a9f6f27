// Runs the tests, or with "--child <scenario>" one scenario that ends its process.
#include "RephooksTools.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
        if (!rephooks::RunChildScenario(argv[2])) {
            std::fprintf(stderr, "no scenario %s\n", argv[2]);
            return 99;
        }
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
