// The preset, dialog and collection-editor tests run inside a TApplication (offscreen), so that posted
// events, the exception boundary and the message presenter are the program's own.
#include "classlib/Application.h"
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Vexa Daxo Soft"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
