// Every window and dialog of the program, in each language, in the states a technician meets: every
// caption fits its control and no two visible controls lie over each other.
#include "app/CalibrationPanel.h"
#include "app/CommConfig.h"
#include "app/Find.h"
#include "app/Form7610_24.h"
#include "app/Log.h"
#include "app/StatusBar.h"
#include "app/StatusSendConfig.h"
#include "app/UnitAbout.h"
#include "app/UnitSplash.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "model/IOClasses.h"
#include "tests/support/LayoutCheck.h"
#include "tests/ui/UiFixture.h"
#include "ui_CommConfig.h"
#include "ui_Find.h"
#include "ui_Log.h"
#include "ui_StatusSendConfig.h"
#include "ui_UnitAbout.h"
#include "ui_UnitSplash.h"
#include <QRadioButton>

namespace {

// The status bar draws its panels itself: each text must fit its panel (panels 0-2 in bold).
void CheckStatusBar(const QWidget& widget, QStringList& problems) {
    const auto* bar = qobject_cast<const TStatusBar*>(&widget);
    if (!bar)
        return;
    for (int i = 0; i < bar->PanelCount(); ++i) {
        QFont font = bar->font();
        font.setBold(i <= 2);
        const int needs = QFontMetrics(font).horizontalAdvance(bar->PanelText(i)) + 3;
        const int has = bar->PanelRect(i).width();
        if (needs > has)
            problems << QStringLiteral("%1: panel %2 \"%3\" needs %4, has %5")
                            .arg(WidgetPath(*bar))
                            .arg(i)
                            .arg(bar->PanelText(i))
                            .arg(needs)
                            .arg(has);
    }
}

class WindowLayout : public UiFixture, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override { StartIn(QString::fromLatin1(GetParam())); }

    QString Language() const { return QString::fromLatin1(GetParam()); }

    // Checks the window as it stands and takes its screenshot when asked for.
    void Expect(const QWidget& window, const QString& name) {
        const QStringList problems = CheckSettledWidgetTree(window, CheckStatusBar);
        EXPECT_TRUE(problems.isEmpty()) << name.toStdString() << " in " << GetParam() << ":\n"
                                        << problems.join(QLatin1Char('\n')).toStdString();
        Shot(Language() + QLatin1Char('-') + name, &window);
    }

    TRemoteIO* AddDevice(int model) {
        TRemoteIO* device = FormMain->Network->AddRemoteIO();
        device->Information()->SetModelCode(model);
        FormMain->RefillDeviceCombo(FormMain->Network->GetCount() - 1);
        return device;
    }

    void Select(TRemoteIO* device) { Ui().tvNetwork->setCurrentIndex(device->Node()->index()); }
};

TEST_P(WindowLayout, MainWindowWithItsStatusTexts) {
    FormMain->show();
    Expect(*FormMain, QStringLiteral("main"));
    Shot(Language() + QStringLiteral("-screen")); // where the window stands on the screen
    // What panel 3 shows: the results of a search, a send and diagnostics, and every error text of the
    // master (never translated).
    QStringList texts{_("Find ok"), _("Find ended, some settings not read."), _("Save config ok."),
                      _("COMMUNICATION OK !"), _("End diagnostics")};
    for (int error = 1; error <= 10; ++error) {
        for (int exception = 0; exception <= 8; ++exception) {
            ModbusMaster->LastError = error;
            ModbusMaster->ExceptionCode = exception;
            texts << ModbusMaster->ErrorText();
        }
    }
    for (const QString& text : texts) {
        FormMain->StatusBarDaxo()->SetPanelText(3, text);
        const QStringList problems = CheckSettledWidgetTree(*FormMain->StatusBarDaxo(), CheckStatusBar);
        EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
    }
    Select(AddDevice(62));
    Expect(*FormMain, QStringLiteral("main-device"));
    // A device the search could not read whole, and the search's end that says so.
    TRemoteIO* partly = AddDevice(0);
    partly->SetNotFullyRead(true);
    FormMain->StatusBarDaxo()->SetPanelText(3, _("Find ended, some settings not read."));
    Expect(*FormMain, QStringLiteral("main-not-fully-read"));
}

TEST_P(WindowLayout, CalibrationPanelLockedRefusedAndUnlocked) {
    FormMain->show();
    for (int model : {56, 62}) {
        Select(AddDevice(model));
        FormMain->CalibrationPanel()->FormKeyPress(QLatin1Char('g'));
        ASSERT_TRUE(Ui().gbCalibration->isVisible());
        const QString name = QStringLiteral("calibration-%1").arg(model);
        Expect(*FormMain, name + QStringLiteral("-locked"));
        Ui().edtPassword->setText(QStringLiteral("wrong"));
        FormMain->CalibrationPanel()->btOKClick();
        ASSERT_TRUE(Ui().lbMessage->isVisible());
        Expect(*FormMain, name + QStringLiteral("-refused"));
        Ui().edtPassword->setText(QLatin1String(TCalibrationPanel::AccessCode));
        FormMain->CalibrationPanel()->btOKClick();
        ASSERT_TRUE(Ui().toolbtnLog->isVisible());
        Expect(*FormMain, name + QStringLiteral("-unlocked"));
        FormMain->CalibrationPanel()->btCloseClick();
    }
}

TEST_P(WindowLayout, SettingsDialogSerialAndTcp) {
    FormMain->show();
    FormCommunicationConfig->show();
    Expect(*FormCommunicationConfig, QStringLiteral("settings"));
    FormCommunicationConfig->ui().rgConnection->Button(1)->click();
    Expect(*FormCommunicationConfig, QStringLiteral("settings-tcp"));
    FormCommunicationConfig->hide();
}

TEST_P(WindowLayout, SearchDialogWithItsStatusTexts) {
    FormMain->show();
    FormFindSlave->show();
    Expect(*FormFindSlave, QStringLiteral("search"));
    // The window manager's title bar (openbox: bold 8-point sans at 96 dpi) keeps about 72 pixels of the
    // narrow dialog for its icon and buttons; the window grows with the scale factor, that font does not.
    QFont titleFont(QStringLiteral("Sans"));
    titleFont.setPixelSize(11);
    titleFont.setBold(true);
    EXPECT_LE(QFontMetrics(titleFont).horizontalAdvance(FormFindSlave->windowTitle()), 279 - 72)
        << FormFindSlave->windowTitle().toStdString();
    FormFindSlave->ui().lbStatus->setText(_("Find slave ") + QStringLiteral("247"));
    Expect(*FormFindSlave, QStringLiteral("search-running"));
    FormFindSlave->ui().lbStatus->setText(_("Search cancelled by user."));
    Expect(*FormFindSlave, QStringLiteral("search-cancelled"));
    FormFindSlave->hide();
}

TEST_P(WindowLayout, AboutWindowEveryPage) {
    FormMain->show();
    FormAbout->show();
    QTabWidget* pages = FormAbout->ui().PageControl;
    ASSERT_EQ(pages->count(), 3);
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        Expect(*FormAbout, QStringLiteral("about-%1").arg(i));
    }
    FormAbout->hide();
}

TEST_P(WindowLayout, LogProgressSplashAndMeterView) {
    FormMain->show();
    FormLog->show();
    FormLog->AddLine(QStringLiteral("TX:01 03 00 68 00 02 44 17"));
    FormLog->AddLine(QStringLiteral("RX:01 03 04 00 00 00 00 FA 33:"));
    Expect(*FormLog, QStringLiteral("log"));
    FormLog->hide();

    FormSaveConfigStatus->show();
    FormSaveConfigStatus->ShowProgress(_("Saving ") + QStringLiteral("20") + _(" of ") +
                                       QStringLiteral("20"));
    Expect(*FormSaveConfigStatus, QStringLiteral("progress"));
    FormSaveConfigStatus->hide();

    FormMain->hide();
    TFormSplash splash;
    splash.show();
    splash.ui().lbPorcento->setText(QStringLiteral("100%"));
    Expect(splash, QStringLiteral("splash"));
    splash.hide();

    TFormDev7610BR meter;
    meter.show();
    Expect(meter, QStringLiteral("meter"));
}

INSTANTIATE_TEST_SUITE_P(Languages, WindowLayout, ::testing::Values("en_US", "pt_BR"));

} // namespace
