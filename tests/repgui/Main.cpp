// The dialog tests need an application object; the binary also serves as its own dialog helper process
// (the report dialog shown from a frozen GUI thread), so that check comes before anything else.
#include "reporter/gui/ODialogHelper.h"

#include "reporter/gui/ORequestDialog.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

// As a helper asked for the steps to reproduce, the test's answer (REPGUI_HELPER_STEPS) is typed in and
// confirmed, since nobody sits at the helper's window.
void AnswerStepsRequest() {
    const QString steps = qEnvironmentVariable("REPGUI_HELPER_STEPS");
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, steps] {
        if (auto* dialog = qobject_cast<reporter::TRequestDialog*>(QApplication::activeModalWidget())) {
            dialog->Edit()->setPlainText(steps);
            dialog->OkButton()->click();
            timer->stop();
        }
    });
    timer->start(10);
}

int main(int argc, char** argv) {
    std::unique_ptr<QApplication> helperApp;
    if (argc >= 2 && std::strcmp(argv[1], reporter::HelperArgument) == 0 &&
        !qEnvironmentVariableIsEmpty("REPGUI_HELPER_STEPS")) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        helperApp = std::make_unique<QApplication>(argc, argv);
        AnswerStepsRequest();
    }
    const int helper = reporter::RunOstrelDialogHelper(argc, argv);
    if (helper >= 0)
        return helper;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
