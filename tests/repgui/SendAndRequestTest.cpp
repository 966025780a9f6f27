// The send-progress dialog on its own thread, the request dialog with its report section, and the
// toolkit's answers to the core's window questions.
#include "OOptions.h"
#include "OReportProgress.h"
#include "OSendProgress.h"
#include "reporter/gui/OExceptionDialog.h"
#include "reporter/gui/OLogSection.h"
#include "reporter/gui/OOstrelGui.h"
#include "reporter/gui/ORequestDialog.h"
#include "reporter/gui/OSendDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <unistd.h>

#include <future>
#include <thread>

using namespace reporter;
using namespace std::chrono_literals;

namespace {

template <class T> T PumpUntil(std::future<T>& future) {
    while (future.wait_for(5ms) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return future.get();
}

TSendDialog* ShownSendDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<TSendDialog*>(w); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

} // namespace

TEST(SendProgress, TheSendersStepsReachTheDialogUntilItCloses) {
    TOstrelGui gui; // installs the progress dialog for the core
    TOstrelModuleOptions options("", false);
    options.SetMailSendMode(2);
    std::promise<void> mayClose;
    std::shared_future<void> closing = mayClose.get_future().share();
    std::future<bool> sender = std::async(std::launch::async, [&] {
        StartSendDialog(options);
        if (!SendDialogShown())
            return false;
        SetSendMessageNumber(1, 2);
        SendDialogStep(78);
        SendDialogPosition(40);
        closing.wait();
        CloseSendDialog();
        return true;
    });
    // The dialog runs modally on this thread: what it shows is looked at from inside its own loop.
    QString title, status;
    bool openWhileShown = false, stillShownAfterClose = false, outsideWaitWhileShown = true;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        TSendDialog* dialog = ShownSendDialog();
        if (dialog == nullptr || dialog->ProgressBar()->value() != 40)
            return;
        watcher.stop();
        title = dialog->windowTitle();
        status = dialog->StatusLine()->text();
        openWhileShown = IsSendDialogOpen();
        // The window beside the sending is no wait of a report's: one that stands still meanwhile is
        // still seen to (the sender here waits for nobody).
        outsideWaitWhileShown = InOutsideWait();
        dialog->close(); // the user cannot close it
        stillShownAfterClose = dialog->isVisible();
        mayClose.set_value();
    });
    watcher.start(10);
    EXPECT_TRUE(PumpUntil(sender));
    EXPECT_EQ(title, "Send.");
    EXPECT_EQ(status, "Message 1/2: Connecting with server...");
    EXPECT_TRUE(openWhileShown);
    EXPECT_FALSE(outsideWaitWhileShown);
    EXPECT_TRUE(stillShownAfterClose);
    EXPECT_EQ(ShownSendDialog(), nullptr);
    EXPECT_FALSE(IsSendDialogOpen());
}

TEST(SendProgress, NoDialogWithoutASendModeOrAnAnsweringGuiThread) {
    TQtOstrelSendProgress progress(100ms);
    SetOstrelSendProgress(&progress);
    TOstrelModuleOptions options("", false);
    bool shown = true;
    std::thread([&] {
        StartSendDialog(options); // neither mail nor upload
        shown = SendDialogShown();
    }).join();
    EXPECT_FALSE(shown);
    EXPECT_EQ(ShownSendDialog(), nullptr);

    // A GUI thread that does not serve its events, and no helper process: the starter gives up after
    // its limit (with the helper, SendProgressHelperTest).
    progress.SetHelper(false);
    options.SetUploadMode(1);
    std::thread([&] {
        StartSendDialog(options);
        shown = SendDialogShown();
    }).join();
    EXPECT_FALSE(shown);
    QCoreApplication::processEvents();
    EXPECT_EQ(ShownSendDialog(), nullptr);
    // Asked on the GUI thread itself, the sender goes on without a dialog instead of blocking.
    EXPECT_FALSE(progress.Show("Send.", 0x1F));
    SetOstrelSendProgress(nullptr);
}

TEST(SendProgress, AStatusLineTooLongForTheWindowWidensItInsteadOfBeingCut) {
    for (const uint8_t flags : {uint8_t(0x1F), uint8_t(0x9F)}) {
        TSendDialog dialog("Send.", flags);
        const int width = dialog.width();
        const int labelWidth = dialog.StatusLine()->width();
        const int barGap = dialog.ProgressBar()->geometry().right() - dialog.StatusLine()->geometry().right();
        // The longest line that fits keeps the window as it is; one letter more widens it by the excess.
        QLabel probe;
        probe.setFont(dialog.StatusLine()->font());
        QString fits;
        for (probe.setText(fits + 'x'); probe.sizeHint().width() <= labelWidth; probe.setText(fits + 'x'))
            fits += 'x';
        dialog.SetStatus(fits);
        EXPECT_EQ(dialog.width(), width);
        EXPECT_EQ(dialog.StatusLine()->text(), fits);
        dialog.SetStatus(fits + 'x');
        const int excess = probe.sizeHint().width() - labelWidth;
        ASSERT_GT(excess, 0);
        EXPECT_EQ(dialog.width(), width + excess) << int(flags);
        EXPECT_EQ(dialog.StatusLine()->width(), labelWidth + excess);
        EXPECT_EQ(dialog.ProgressBar()->geometry().right() - dialog.StatusLine()->geometry().right(), barGap);
    }
}

TEST(LogSection, SectionsGoRightAfterTheGeneralPart) {
    const std::string general = "Header\r\n\r\nApplication:\r\n----\r\n  1.1 Name: x\r\n";
    TReportTextParts parts;
    parts.ReportText = general + "\r\nCall Stack Information:\r\n";
    parts.GeneralLength = general.size() - 2;
    std::string record = parts.ReportText;
    parts.RecordText = &record;
    InsertLogSection(parts, 7, "Request", "");
    EXPECT_EQ(parts.ReportText, general + "\r\nCall Stack Information:\r\n");
    InsertLogSection(parts, 7, "Request", "Open the port\r\n\r\nthen: press Send");
    const std::string section = "Request:\r\n"
                                "-------------------------------\r\n"
                                "  7.1 Request: Open the port\r\n"
                                "               .\r\n"
                                "               then:_press Send\r\n";
    EXPECT_EQ(parts.ReportText, general + section + "\r\n" + "\r\nCall Stack Information:\r\n");
    EXPECT_EQ(record, parts.ReportText);
    EXPECT_EQ(parts.SendText, parts.ReportText);
    EXPECT_EQ(parts.GeneralLength, general.size() - 2 + section.size() + 2);
}

TEST(RequestDialog, TheTrimmedAnswerBecomesSectionSevenOnlyWhenAsked) {
    TOstrelGui gui; // the program shows windows
    TDialogOptions options;
    options.LogFlags = 0x30 | 0x02;
    TReportDialogState state;
    TReportTextParts parts;
    parts.ReportText = "General\r\n\r\nRest";
    parts.GeneralLength = 7;

    auto answer = [](const QString& text) {
        auto* timer = new QTimer(qApp);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, text] {
            if (auto* dialog = qobject_cast<TRequestDialog*>(QApplication::activeModalWidget())) {
                EXPECT_EQ(dialog->windowTitle(), "Request");
                EXPECT_EQ(dialog->Label()->text(), "Please describe the steps to reproduce the error:");
                EXPECT_EQ(dialog->Label()->textFormat(), Qt::PlainText); // the text may come from outside
                EXPECT_EQ(dialog->OkButton()->text(), "&OK");
                dialog->Edit()->setPlainText(text);
                dialog->OkButton()->click();
                timer->deleteLater();
            }
        });
        timer->start(10);
    };
    auto ask = [&](bool duplicate) {
        std::future<std::string> result = std::async(
            std::launch::async, [&] { return ShowReproduceDialog(options, state, duplicate, parts, 5s); });
        return PumpUntil(result);
    };

    answer("   \r\n  ");
    EXPECT_EQ(ask(false), "");
    EXPECT_EQ(parts.ReportText, "General\r\n\r\nRest"); // a blank answer adds nothing

    answer("  Press F5 twice.\n");
    EXPECT_EQ(ask(false), "Press F5 twice.");
    EXPECT_NE(parts.ReportText.find("7.1 Request: Press F5 twice."), std::string::npos);
    EXPECT_EQ(parts.ReportText.find("Request:"), 9u);

    // Not asked: a duplicate, a report neither sent nor logged, or the option off.
    EXPECT_EQ(ask(true), "");
    options.LogToFile = false;
    EXPECT_EQ(ask(false), "");
    options.LogToFile = true;
    options.LogFlags = 0x30;
    EXPECT_EQ(ask(false), "");
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    for (QObject* child : qApp->children())
        if (auto* timer = qobject_cast<QTimer*>(child))
            timer->deleteLater(); // the last answer never found a dialog
}

TEST(RequestDialog, EscapeTakesTheAnswerToo) {
    TDialogOptions options;
    TRequestDialog dialog(options);
    dialog.show();
    dialog.Edit()->setPlainText(" steps ");
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.ReproduceText(), "steps");
    EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
}

TEST(QtWindows, TheCoreSeesTheProgramsWindowsScreenAndClipboard) {
    {
        TOstrelGui gui;
        EXPECT_FALSE(IsConsoleProgram());
        QMainWindow main;
        main.setWindowTitle("Vexa Daxo Soft");
        main.show();
        const TWindowHandle handle = GetProcessMainWindow(int64_t(getpid()));
        EXPECT_EQ(handle, reinterpret_cast<TWindowHandle>(&main));
        EXPECT_EQ(GetProcessMainWindow(int64_t(getpid()) + 1), 0u);
        EXPECT_TRUE(IsOwnProcessWindow(handle));
        EXPECT_FALSE(IsOwnProcessWindow(handle + 8));
        SnapshotProcessWindows();
        EXPECT_TRUE(IsInWindowList(handle));
        CopyTextToClipboard("report text");
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "report text");
        EXPECT_FALSE(GetDisplayModeText().empty());
        main.activateWindow();
        if (QTest::qWaitForWindowActive(&main, 1000)) {
            std::string className, text;
            GetForegroundWindowInfo(className, text);
            EXPECT_EQ(className, "QMainWindow");
            EXPECT_EQ(text, "Vexa Daxo Soft");
        }
    }
    EXPECT_TRUE(IsConsoleProgram());
    EXPECT_EQ(GetProcessMainWindow(int64_t(getpid())), 0u);
}
