// Runs every test class of the application's tests in one binary; the exit code counts failed classes.
#include "tests/app/AppTests.h"
#include <QApplication>
#include <QTest>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    int failed = 0;
    for (const auto& factory : AppTestClasses()) {
        std::unique_ptr<QObject> test = factory();
        failed += QTest::qExec(test.get(), argc, argv) != 0;
    }
    return failed;
}
