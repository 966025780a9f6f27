// The send result box: the information icon for a report that went out, the error icon for one that did
// not; from the program's GUI thread while it answers, from the dialog helper process while it stands
// still for a report (a fault on it).
#include "OLastError.h"
#include "OProcessing.h"
#include "OReporterState.h"
#include "OSendHost.h"
#include "OWindows.h"
#include "reporter/gui/OOstrelGui.h"
#include "tests/support/TestTools.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <future>

using namespace reporter;
using namespace std::chrono_literals;

namespace {

// What the box showed: "icon|caption|text" (the icon as QMessageBox::Icon's number).
QString Describe(const QMessageBox& box) {
    return QString::number(int(box.icon())) + '|' + box.windowTitle() + '|' + box.text();
}

} // namespace

TEST(ResultBox, EachOutcomeShowsItsIconFromTheGuiThreadOrTheHelper) {
    TOstrelGui gui;
    InstallExceptionProcessing();
    testtools::TTempDir folder;
    const QString answerFile = QString::fromStdString(folder.File("box"));
    qputenv("REPGUI_BOX_ANSWER", answerFile.toUtf8());
    struct TCase {
        uint32_t Style;
        QMessageBox::Icon Icon;
        bool GuiStopped;
    };
    for (const TCase& c : {TCase{SendSuccessBoxStyle, QMessageBox::Information, false},
                           TCase{SendFailureBoxStyle, QMessageBox::Critical, false},
                           TCase{SendSuccessBoxStyle, QMessageBox::Information, true},
                           TCase{SendFailureBoxStyle, QMessageBox::Critical, true}}) {
        SCOPED_TRACE(testing::Message() << std::hex << c.Style << (c.GuiStopped ? " helper" : " GUI thread"));
        QFile::remove(answerFile);
        SetStoppedThreadId(c.GuiStopped ? GuiThreadId() : 0);
        QString shown;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = Describe(*box);
                box->accept();
            }
        });
        answer.start(5);
        std::future<void> box = std::async(std::launch::async, [&] {
            SendHost().ShowMessageBox("The message was sent.", "Information.", c.Style);
        });
        while (box.wait_for(5ms) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        answer.stop();
        if (c.GuiStopped) {
            EXPECT_TRUE(shown.isEmpty());
            QFile file(answerFile);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            shown = QString::fromUtf8(file.readAll());
        }
        EXPECT_EQ(shown, QString::number(int(c.Icon)) + "|Information.|The message was sent.");
    }
    SetStoppedThreadId(0);
    qunsetenv("REPGUI_BOX_ANSWER");
    RemoveExceptionProcessing();
}

// A sending error while the send-progress window is up: the "Error." box with the error icon, from the
// GUI thread while it answers, from the dialog helper while it stands still for a report (a fault on
// it), as the result box.
TEST(ResultBox, ASendingErrorShowsItsBoxFromTheGuiThreadOrTheHelper) {
    TOstrelGui gui;
    testtools::TTempDir folder;
    const QString answerFile = QString::fromStdString(folder.File("box"));
    qputenv("REPGUI_BOX_ANSWER", answerFile.toUtf8());
    qputenv("REPGUI_PROGRESS_STATE", QByteArray::fromStdString(folder.Path()));
    for (const bool guiStopped : {false, true}) {
        SCOPED_TRACE(guiStopped ? "helper" : "GUI thread");
        QFile::remove(answerFile);
        SetStoppedThreadId(guiStopped ? GuiThreadId() : 0);
        QString shown;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = Describe(*box);
                box->accept();
            }
        });
        answer.start(5);
        bool open = false;
        std::future<void> sending = std::async(std::launch::async, [&] {
            gui.SendProgress().Show("Send.", 0x1F);
            open = IsSendDialogOpen();
            SetLastErrorCode(TOstrelLogErrorCode::eeEmailSMTPError, "SMTP error: 550 No such user.");
            gui.SendProgress().Close();
        });
        while (sending.wait_for(5ms) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        answer.stop();
        EXPECT_TRUE(open);
        if (guiStopped) {
            EXPECT_TRUE(shown.isEmpty());
            QFile file(answerFile);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            shown = QString::fromUtf8(file.readAll());
        }
        EXPECT_EQ(shown,
                  QString::number(int(QMessageBox::Critical)) + "|Error.|SMTP error: 550 No such user.");
    }
    SetStoppedThreadId(0);
    ClearLastErrorCode();
    qunsetenv("REPGUI_PROGRESS_STATE");
    qunsetenv("REPGUI_BOX_ANSWER");
}
