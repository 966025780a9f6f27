// The dialog tests need an application object; the binary also serves as its own dialog helper process
// (the report dialog and the send-progress window shown for a frozen GUI thread), so that check comes
// before anything else.
#include "reporter/gui/ODialogHelper.h"

#include "OModules.h"

#include "reporter/gui/ORequestDialog.h"
#include "reporter/gui/OSendDialog.h"
#include "reporter/gui/OSendProgressHelper.h"

#include "tests/support/TestDeadline.h"
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

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

// As a send-progress helper, what its window shows is written to REPGUI_PROGRESS_STATE/state as
// "caption|status line|bar position" (and window.png beside it, for looking at) whenever it changes;
// when the status line reads REPGUI_PROGRESS_DIE_AT the helper dies on the spot.
void ReportProgressWindow() {
    const QDir dir(qEnvironmentVariable("REPGUI_PROGRESS_STATE"));
    const QString dieAt = qEnvironmentVariable("REPGUI_PROGRESS_DIE_AT");
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [dir, dieAt, last = QString()]() mutable {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<reporter::TSendDialog*>(widget);
            if (dialog == nullptr || !dialog->isVisible())
                continue;
            const QString shown = dialog->windowTitle() + '|' + dialog->StatusLine()->text() + '|' +
                                  QString::number(dialog->ProgressBar()->value());
            if (!dieAt.isEmpty() && dialog->StatusLine()->text() == dieAt)
                std::_Exit(9);
            if (shown == last)
                return;
            last = shown;
            dialog->grab().save(dir.filePath("window.png"));
            QSaveFile file(dir.filePath("state"));
            if (file.open(QIODevice::WriteOnly) && file.write(shown.toUtf8()) >= 0)
                file.commit();
        }
    });
    timer->start(5);
}

// As a helper asked for a message box, what it shows is written to REPGUI_BOX_ANSWER as
// "icon|caption|text" and the box is confirmed.
void AnswerMessageBox() {
    const QString target = qEnvironmentVariable("REPGUI_BOX_ANSWER");
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, target] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            QSaveFile file(target);
            if (file.open(QIODevice::WriteOnly) &&
                file.write((QString::number(int(box->icon())) + '|' + box->windowTitle() + '|' + box->text())
                               .toUtf8()) >= 0)
                file.commit();
            box->accept();
            timer->stop();
        }
    });
    timer->start(10);
}

int main(int argc, char** argv) {
    std::unique_ptr<QApplication> helperApp;
    const bool reportHelper = argc >= 2 && std::strcmp(argv[1], reporter::HelperArgument) == 0 &&
                              !qEnvironmentVariableIsEmpty("REPGUI_HELPER_STEPS");
    const bool progressHelper = argc >= 2 &&
                                std::strcmp(argv[1], reporter::SendProgressHelperArgument) == 0 &&
                                !qEnvironmentVariableIsEmpty("REPGUI_PROGRESS_STATE");
    const bool boxHelper = argc >= 2 && std::strcmp(argv[1], reporter::HelperArgument) == 0 &&
                           !qEnvironmentVariableIsEmpty("REPGUI_BOX_ANSWER");
    if (reportHelper || progressHelper || boxHelper) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        helperApp = std::make_unique<QApplication>(argc, argv);
        if (boxHelper)
            AnswerMessageBox();
        else if (reportHelper)
            AnswerStepsRequest();
        else
            ReportProgressWindow();
    }
    const int helper = reporter::RunOstrelDialogHelper(argc, argv);
    if (helper >= 0)
        return helper;
    // A test of a program whose file went away since its start: this copy deletes its own file.
    if (!qEnvironmentVariableIsEmpty("REPGUI_DELETE_SELF") &&
        ::unlink(reporter::ProgramFileName().c_str()) != 0)
        return 3;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    testtools::InstallTestDeadline();
    return RUN_ALL_TESTS();
}
