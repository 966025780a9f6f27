// Where the windows appear: centred on the screen when their forms say so (a window larger than the
// screen with its title bar on it), the About window where it was designed, message boxes over the
// window they belong to; their titles and icons; Enter on a button; the access code echoed as "#".
#include "app/WindowPlacement.h"
#include "app/CalibrationPanel.h"
#include "app/CommConfig.h"
#include "app/Find.h"
#include "app/Log.h"
#include "app/StatusSendConfig.h"
#include "app/UnitAbout.h"
#include "app/UnitSplash.h"
#include "classlib/Dialogs.h"
#include "tests/ui/UiFixture.h"
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

namespace {

class WindowPlacement : public UiFixture {
protected:
    void SetUp() override { StartIn(QStringLiteral("en_US")); }

    static void ExpectCentred(QWidget& window) {
        const QRect screen = window.screen()->availableGeometry();
        const QRect frame = window.frameGeometry();
        EXPECT_LE(std::abs(frame.center().x() - screen.center().x()), 1) << window.objectName().toStdString();
        EXPECT_LE(std::abs(frame.center().y() - screen.center().y()), 1) << window.objectName().toStdString();
    }
};

TEST_F(WindowPlacement, WindowsOpenCentredOnTheScreenEachTime) {
    FormMain->show();
    ExpectCentred(*FormMain);
    QWidget* dialogs[] = {FormCommunicationConfig, FormFindSlave, FormLog, FormSaveConfigStatus};
    for (QWidget* dialog : dialogs) {
        dialog->show();
        ExpectCentred(*dialog);
        dialog->move(0, 0); // moved away by the user, it comes back centred
        dialog->hide();
        dialog->show();
        ExpectCentred(*dialog);
        dialog->hide();
    }
    TFormSplash splash;
    splash.show();
    ExpectCentred(splash);
}

TEST_F(WindowPlacement, AWindowLargerThanTheScreenKeepsItsTitleBarOnIt) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const struct {
        int extraWidth, extraHeight;
    } cases[] = {{1, 1}, {0, 0}, {400, -100}, {-100, 400}, {-2, -2}};
    for (const auto& c : cases) {
        QWidget window;
        window.setFixedSize(area.width() + c.extraWidth, area.height() + c.extraHeight);
        CentreOnScreen(window);
        const QPoint expected(area.x() + qMax(0, -c.extraWidth / 2), area.y() + qMax(0, -c.extraHeight / 2));
        EXPECT_EQ(window.pos(), expected) << c.extraWidth << "x" << c.extraHeight;
    }
}

// Qt appends an application display name to every title it passes to the desktop; the program sets none.
TEST_F(WindowPlacement, TitlesAreTheCaptionsAloneAndEveryWindowHasTheIcon) {
    const QString name = QApplication::applicationName();
    QApplication::setApplicationName(QStringLiteral("probe"));
    EXPECT_EQ(QApplication::applicationDisplayName(), QStringLiteral("probe"));
    QApplication::setApplicationName(name);
    EXPECT_EQ(FormMain->windowTitle(), QStringLiteral("Vexa Daxo Soft"));
    EXPECT_EQ(FormAbout->windowTitle(), QStringLiteral("About Vexa Daxo Soft"));
    const QWidget* windows[] = {FormMain, FormCommunicationConfig, FormFindSlave, FormAbout,
                                FormLog,  FormSaveConfigStatus};
    for (const QWidget* window : windows)
        EXPECT_FALSE(window->windowIcon().isNull()) << window->objectName().toStdString();
    FormMain->show();
    Shot(QStringLiteral("title-main"), FormMain);
    FormFindSlave->show();
    Shot(QStringLiteral("title-search"), FormFindSlave);
    FormFindSlave->hide();
}

// Return and Enter press a focused button of the main window as Space does.
TEST_F(WindowPlacement, EnterPressesTheFocusedButton) {
    FormMain->show();
    QPushButton* button = Ui().btDiagnostic;
    QObject::disconnect(button, &QPushButton::clicked, nullptr, nullptr);
    button->setEnabled(true);
    QSignalSpy clicks(button, &QPushButton::clicked);
    int expected = 0;
    for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
        button->setFocus();
        QTest::keyClick(button, key);
        EXPECT_EQ(clicks.size(), ++expected) << key;
    }
}

TEST_F(WindowPlacement, TheAboutWindowOpensWhereDesigned) {
    FormMain->show();
    FormAbout->show();
    EXPECT_EQ(FormAbout->pos(), QPoint(353, 233));
    FormAbout->hide();
}

TEST_F(WindowPlacement, MessageBoxesOpenOverTheActiveWindowElseTheMainWindow) {
    EXPECT_EQ(MessageOwner(), nullptr); // nothing shown yet
    FormMain->show();
    EXPECT_EQ(MessageOwner(), FormMain);
    FormLog->show();
    FormLog->activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == FormLog; }));
    EXPECT_EQ(MessageOwner(), FormLog);
}

TEST_F(WindowPlacement, AShownMessageBoxStandsOverTheMainWindow) {
    FormMain->show();
    auto recording = SetMessagePresenter(nullptr); // the program's own boxes
    QRect box;
    QWidget* owner = nullptr;
    QTimer closer; // closes the box once it shows
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* shown = qobject_cast<QMessageBox*>(window);
            if (shown && shown->isVisible()) {
                box = shown->frameGeometry();
                owner = shown->parentWidget();
                shown->close();
            }
        }
    });
    closer.start(10);
    MessageDlg(_("End of Calibration."), TMsgDlgType::mtCustom, mbOK);
    SetMessagePresenter(std::move(recording));
    EXPECT_EQ(owner, FormMain);
    EXPECT_TRUE(FormMain->frameGeometry().contains(box.center())) << box.x() << "," << box.y();
}

// A dialog's title bar has the close button only: the window manager is not asked for minimise or
// maximise buttons, for the program's dialogs nor for its message boxes.
TEST_F(WindowPlacement, DialogsAndMessageBoxesAskForNoMinimiseOrMaximiseButton) {
    const auto expectDialog = [](const QWidget& window, const QString& name) {
        EXPECT_EQ(window.windowType(), Qt::Dialog) << name.toStdString();
        EXPECT_FALSE(window.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint))
            << name.toStdString();
        // Without it, a platform adds its default buttons.
        EXPECT_TRUE(window.windowFlags() & Qt::CustomizeWindowHint) << name.toStdString();
    };
    // The send-progress dialog has no close button either: the send ends it.
    const QWidget* dialogs[] = {FormCommunicationConfig, FormFindSlave, FormAbout, FormSaveConfigStatus};
    for (const QWidget* dialog : dialogs)
        expectDialog(*dialog, dialog->objectName());
    FormMain->show();
    auto recording = SetMessagePresenter(nullptr); // the program's own boxes
    int seen = 0;
    QTimer closer; // looks at the box once it shows, and closes it
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* shown = qobject_cast<QMessageBox*>(window);
            if (shown && shown->isVisible()) {
                expectDialog(*shown, shown->text());
                ++seen;
                shown->close();
            }
        }
    });
    closer.start(10);
    MessageDlg(_("End of Calibration."), TMsgDlgType::mtCustom, mbOK);
    ApplicationMessageBox(QStringLiteral("Unable to write to /x."), ApplicationCaption(),
                          MB_OK | MB_ICONERROR);
    SetMessagePresenter(std::move(recording));
    EXPECT_EQ(seen, 2);
}

TEST_F(WindowPlacement, TheAccessCodeIsEchoedAsHashes) {
    QLineEdit* edit = Ui().edtPassword;
    EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
    EXPECT_EQ(edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit), int('#'));
}

} // namespace
