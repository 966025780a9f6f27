// The inspector's tests need a widget application (offscreen) before any grid is made.
#include "tests/support/TestDeadline.h"
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    testtools::InstallTestDeadline();
    return RUN_ALL_TESTS();
}
