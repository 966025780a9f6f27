// The dialog tests need an application object; the binary also serves as its own dialog helper process
// (the report dialog shown from a frozen GUI thread), so that check comes before anything else.
#include "reporter/gui/ODialogHelper.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    const int helper = reporter::RunOstrelDialogHelper(argc, argv);
    if (helper >= 0)
        return helper;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
