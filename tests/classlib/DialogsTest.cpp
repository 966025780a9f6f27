#include "classlib/Dialogs.h"
#include "classlib/Translation.h"
#include "tests/support/RecordingPresenter.h"
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

TEST(Dialogs, BoxesGoThroughThePresenterWhichAnswers) {
    ScopedRecordingPresenter presenter;
    presenter->answer = mrNo;
    EXPECT_EQ(MessageDlg(QStringLiteral("Save?"), TMsgDlgType::mtConfirmation, mbYes | mbNo), mrNo);
    ShowMessage(QStringLiteral("Hello"));
    EXPECT_EQ(ApplicationMessageBox(QStringLiteral("Calibrate"), QStringLiteral("Calibration"),
                                    MB_OKCANCEL | MB_ICONQUESTION),
              mrNo);
    ASSERT_EQ(presenter->requests.size(), 3);
    const TMessageRequest& dlg = presenter->requests[0];
    EXPECT_EQ(dlg.kind, TMessageRequest::Kind::MessageDlg);
    EXPECT_EQ(dlg.type, TMsgDlgType::mtConfirmation);
    EXPECT_EQ(dlg.buttons, unsigned(mbYes | mbNo));
    EXPECT_EQ(presenter->requests[1].caption, QStringLiteral("Vexa Daxo Soft"));
    EXPECT_EQ(presenter->requests[2].caption, QStringLiteral("Calibration"));
    EXPECT_EQ(presenter->requests[2].flags, unsigned(MB_OKCANCEL | MB_ICONQUESTION));
}

// A dialog that wanted plain window titles may leave the display name empty; boxes keep a caption.
TEST(Dialogs, AnEmptyDisplayNameGivesTheApplicationNameAsCaption) {
    ScopedRecordingPresenter presenter;
    const QString display = QApplication::applicationDisplayName();
    const QString name = QApplication::applicationName();
    QApplication::setApplicationName(QStringLiteral("probe"));
    QApplication::setApplicationDisplayName(QString());
    ShowMessage(QStringLiteral("Hello"));
    QApplication::setApplicationDisplayName(display);
    QApplication::setApplicationName(name);
    ASSERT_EQ(presenter->requests.size(), 1);
    EXPECT_EQ(presenter->requests[0].caption, QStringLiteral("probe"));
}

TEST(Translation, ReturnsTheSourceTextWithoutACatalogue) {
    EXPECT_EQ(_("Save config ok."), QStringLiteral("Save config ok."));
    EXPECT_EQ(_(QStringLiteral("Température")), QStringLiteral("Température"));
    EXPECT_TRUE(_("").isEmpty());
}

// The box the program shows: Enter presses the default button given, and the first button without one.
TEST(Dialogs, EnterPressesTheDefaultButton) {
    auto previous = SetMessagePresenter(nullptr);
    const auto pressEnter = [] {
        QTimer::singleShot(0, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(box, &enter);
        });
    };
    pressEnter();
    EXPECT_EQ(MessageDlg(QStringLiteral("Write?"), TMsgDlgType::mtConfirmation, mbYes | mbNo, 0, mbNo), mrNo);
    pressEnter();
    EXPECT_EQ(MessageDlg(QStringLiteral("Write?"), TMsgDlgType::mtConfirmation, mbYes | mbNo, 0, mbYes),
              mrYes);
    SetMessagePresenter(std::move(previous));
}
