// The windows run inside the program's application object, with the program's translation set-up and
// the catalogues built beside the test binary.
#include "app/Language.h"
#include "app/Startup.h"
#include "classlib/Application.h"
#include "tests/support/TestDeadline.h"
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    TranslationSetUp(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    SetUpApplication();
    ::testing::InitGoogleTest(&argc, argv);
    testtools::InstallTestDeadline();
    return RUN_ALL_TESTS();
}
