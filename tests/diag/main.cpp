// The diagnostics run the real supervision thread, whose display reaches the main thread through
// Synchronize, so the tests run inside the program's application object.
#include "classlib/Application.h"
#include "tests/support/TestDeadline.h"
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    testtools::InstallTestDeadline();
    return RUN_ALL_TESTS();
}
