// The glue tests run inside a TApplication (offscreen), so that posted events, the exception boundary
// and the message presenter are the program's own.
#include "classlib/Application.h"
#include "tests/support/TestDeadline.h"
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Vexa Daxo Soft"));
    ::testing::InitGoogleTest(&argc, argv);
    testtools::InstallTestDeadline();
    return RUN_ALL_TESTS();
}
