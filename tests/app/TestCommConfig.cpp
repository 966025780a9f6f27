// The settings file and the communication settings dialog, through the program's own windows.
#include "app/CommConfig.h"
#include "app/Globals.h"
#include "app/Main.h"
#include "app/RadioGroup.h"
#include "app/StatusBar.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "tests/app/AppFixture.h"
#include "tests/app/AppTests.h"
#include "tests/app/FileLimit.h"
#include "ui_CommConfig.h"
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace {

QStringList Panels() {
    QStringList texts;
    for (int i = 0; i < 6; ++i)
        texts << FormMain->StatusBarDaxo()->PanelText(i);
    return texts;
}

// The Exit button ends the application's event loop; without a running one the request would end the
// next modal loop of a later test at once.
void ForgetExitRequest() {
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

} // namespace

class TestCommConfig : public QObject {
    Q_OBJECT

private slots:
    void firstStartUsesDefaultsAndFillsPanels() {
        TAppFixture app;
        app.Start();
        QCOMPARE(ModbusMaster->SerialPort->BaudRate, 9600); // nothing read before the first show
        FormMain->show();
        const TSerialComm& port = *ModbusMaster->SerialPort;
        QCOMPARE(port.BaudRate, 57600);
        QCOMPARE(int(port.StopBits), 1);
        QCOMPARE(int(port.Parity), 0);
        QCOMPARE(port.PortName, QStringLiteral("COM1"));
        QCOMPARE(ModbusMaster->Socket->Host, QStringLiteral("192.168.000.000"));
        QCOMPARE(ModbusMaster->Socket->Port, 9001);
        QCOMPARE(int(ModbusMaster->ConnectionType), 0);
        QCOMPARE(Panels().mid(0, 3), (QStringList{"Serial", "COM1", "57600,8,1,None"}));
        QVERIFY(app.presenter->requests.isEmpty());
        QVERIFY(app.ReadSettings().isEmpty()); // reading writes nothing

        // Panels 0 to 2 are drawn yellow with bold text; the others are not.
        const QImage image = FormMain->StatusBarDaxo()->grab().toImage();
        const TStatusBar* bar = FormMain->StatusBarDaxo();
        for (int i = 0; i < 6; ++i) {
            const QRect r = bar->PanelRect(i);
            const QColor c = image.pixelColor(r.right() - 1, r.bottom() - 1);
            QCOMPARE(c == QColor(Qt::yellow), i <= 2);
        }
        app.Stop(); // destruction alone writes nothing
        QVERIFY(app.ReadSettings().isEmpty());
        app.Start();
        FormMain->show();
        FormMain->close();
        QCOMPARE(app.ReadSettings(),
                 QByteArray("[Serial]\nBaudrate=57600\nstopbit=1\nparidade=0\nChannel=COM1\n"
                            "[Tcp]\nip=192.168.000.000\nPort=9001\n[Conexao]\nComtype=0\n"));
    }

    void settingsRoundTripThroughDialogAndRestart() {
        TAppFixture app;
        app.Start();
        FormMain->show();
        TFormCommunicationConfig& dlg = *FormCommunicationConfig;
        dlg.show();
        auto& ui = dlg.ui();
        QCOMPARE(ui.cbSerialComm->count(), 2);
        ui.rgBaudrate->Button(2)->click(); // 19200
        ui.cbSerialComm->setCurrentIndex(1);
        ui.rgStopbit->Button(1)->click();
        ui.edTimeout->setText(QStringLiteral("500"));
        ui.btOk->click();
        QCOMPARE(Panels().mid(0, 3), (QStringList{"Serial", "COM2", "19200,8,2,None"}));
        QCOMPARE(ModbusMaster->Timeout, 500);

        dlg.show();
        ui.rgConnection->Button(1)->click();
        ui.edIP->setText(QStringLiteral("127.0.0.1"));
        ui.edPort->setText(QStringLiteral("1502"));
        ui.btOk->click();
        QCOMPARE(Panels().mid(0, 3), (QStringList{"TCP/IP", "127.0.0.1", "1502"}));

        // Cancel copies nothing.
        dlg.show();
        ui.rgConnection->Button(0)->click();
        ui.edIP->setText(QStringLiteral("10.1.1.1"));
        ui.btCancel->click();
        QCOMPARE(int(ModbusMaster->ConnectionType), 1);
        QCOMPARE(ModbusMaster->Socket->Host, QStringLiteral("127.0.0.1"));

        FormMain->close();
        QVERIFY(app.ReadSettings().contains("Comtype=1\n"));
        app.Stop();
        app.Start();
        FormMain->show();
        QCOMPARE(int(ModbusMaster->ConnectionType), 1);
        QCOMPARE(ModbusMaster->Socket->Host, QStringLiteral("127.0.0.1"));
        QCOMPARE(ModbusMaster->Socket->Port, 1502);
        QCOMPARE(ModbusMaster->SerialPort->BaudRate, 19200);
        QCOMPARE(int(ModbusMaster->SerialPort->StopBits), 2);
        QCOMPARE(ModbusMaster->SerialPort->PortName, QStringLiteral("COM2"));
        QCOMPARE(Panels().mid(0, 3), (QStringList{"TCP/IP", "127.0.0.1", "1502"}));
        QVERIFY(app.presenter->requests.isEmpty());
    }

    void stopBitAndConnectionRules() {
        TAppFixture app;
        app.Start();
        FormMain->show();
        TFormCommunicationConfig& dlg = *FormCommunicationConfig;
        dlg.show();
        auto& ui = dlg.ui();
        ui.rgParity->Button(2)->click();
        ui.rgStopbit->Button(1)->click();
        QCOMPARE(ui.rgParity->ItemIndex(), 0);
        QVERIFY(!ui.rgParity->isEnabled());
        ui.rgStopbit->Button(0)->click();
        QVERIFY(ui.rgParity->isEnabled());

        ui.rgConnection->Button(1)->click();
        for (QWidget* w : {static_cast<QWidget*>(ui.cbSerialComm), static_cast<QWidget*>(ui.edTimeout),
                           static_cast<QWidget*>(ui.edRetry), static_cast<QWidget*>(ui.rgBaudrate),
                           static_cast<QWidget*>(ui.rgStopbit), static_cast<QWidget*>(ui.rgParity)})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(ui.edIP->isEnabled() && ui.edPort->isEnabled());
        ui.rgConnection->Button(0)->click();
        QVERIFY(ui.cbSerialComm->isEnabled() && ui.rgParity->isEnabled() && !ui.edIP->isEnabled());

        // An empty box names no port.
        ui.cbSerialComm->setEditText(QString());
        ui.btOk->click();
        QCOMPARE(ModbusMaster->SerialPort->PortName, QString());
        QCOMPARE(FormMain->StatusBarDaxo()->PanelText(1), QString());
        // The setup is refused while diagnostics run.
        FormMain->DiagnosticRunning = true;
        FormMain->OutlookBtn_SetupClick();
        QCOMPARE(app.presenter->Texts(), QStringList{"Can not config comm while connected !"});
        FormMain->DiagnosticRunning = false;
    }

    void typedPortIsTakenWhenItOpensAsASerialPort() {
        TAppFixture app;
        app.Start();
        FormMain->show();
        TFormCommunicationConfig& dlg = *FormCommunicationConfig;
        // A pseudo-terminal's slave stands for a port with a name the list does not hold.
        const int pty = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(pty >= 0 && ::grantpt(pty) == 0 && ::unlockpt(pty) == 0);
        const auto closePty = qScopeGuard([pty] { ::close(pty); });
        const QString slave = QString::fromLocal8Bit(::ptsname(pty));
        // /dev/null is a character device but no terminal; the last row is the name kept from before.
        // Return in the box is checked as OK is: the typed name is no entry of the list.
        for (const bool viaReturn : {false, true}) {
            ModbusMaster->SerialPort->PortName = QStringLiteral("COM1");
            dlg.RefreshStatusBar();
            for (const auto& [name, taken] : {std::pair{QStringLiteral("/dev/null"), false},
                                              {QStringLiteral("/dev/vexadaxo-no-such-port"), false},
                                              {slave, true},
                                              {QString(), true}}) {
                app.presenter->requests.clear();
                dlg.show();
                QComboBox& box = *dlg.ui().cbSerialComm;
                const int entries = box.count();
                if (!name.isEmpty())
                    box.setEditText(name);
                if (viaReturn)
                    QTest::keyClick(box.lineEdit(), Qt::Key_Return);
                else
                    dlg.ui().btOk->click();
                QCOMPARE(box.count(), entries);
                QCOMPARE(dlg.isVisible(), !taken);
                QCOMPARE(ModbusMaster->SerialPort->PortName, taken ? slave : QStringLiteral("COM1"));
                QCOMPARE(Panels()[1], ModbusMaster->SerialPort->PortName);
                QCOMPARE(app.presenter->Texts(),
                         taken ? QStringList() : QStringList{"No such serial port: " + name});
                dlg.hide();
            }
        }
        FormMain->close();
        QVERIFY(app.ReadSettings().contains(QStringLiteral("Channel=%1\n").arg(slave).toLocal8Bit()));
    }

    // A timeout or retry count the master cannot wait is refused, and nothing of the dialog is copied.
    void timeoutAndRetriesTheMasterCannotWaitAreRefused() {
        TAppFixture app;
        app.Start();
        FormMain->show();
        TFormCommunicationConfig& dlg = *FormCommunicationConfig;
        const QString most = QString::number(std::numeric_limits<std::int32_t>::max());
        const QString beyond = QString::number(qint64(std::numeric_limits<std::int32_t>::max()) + 1);
        const struct {
            QString timeout;
            QString retries;
            QString refusal;
        } cases[] = {
            {QString::number(MaxTimeoutMs), most, QString()},
            {QStringLiteral("1073741824"), QStringLiteral("2"), QString()},
            {QStringLiteral("1"), QStringLiteral("0"), QString()},
            {QString::number(qint64(MaxTimeoutMs) + 1), QStringLiteral("0"),
             "Min=1, Max=" + QString::number(MaxTimeoutMs)},
            {QStringLiteral("0"), QStringLiteral("0"), "Min=1, Max=" + QString::number(MaxTimeoutMs)},
            {QStringLiteral("1000"), beyond, "Min=0, Max=" + most},
            {QStringLiteral("1000"), QStringLiteral("-1"), "Min=0, Max=" + most},
        };
        for (const auto& c : cases) {
            ModbusMaster->Timeout = 700;
            ModbusMaster->Retries = 1;
            app.presenter->requests.clear();
            dlg.show();
            dlg.ui().edTimeout->setText(c.timeout);
            dlg.ui().edRetry->setText(c.retries);
            dlg.ui().rgBaudrate->Button(0)->click();
            dlg.ui().btOk->click();
            const bool refused = !c.refusal.isEmpty();
            QCOMPARE(dlg.isVisible(), refused);
            QCOMPARE(app.presenter->Texts(),
                     refused ? QStringList{"Out of range value. " + c.refusal} : QStringList());
            QCOMPARE(ModbusMaster->Timeout, refused ? 700 : c.timeout.toInt());
            QCOMPARE(ModbusMaster->Retries, refused ? 1 : c.retries.toInt());
            QCOMPARE(ModbusMaster->SerialPort->BaudRate, refused ? 57600 : 4800);
            dlg.hide();
            ModbusMaster->SerialPort->BaudRate = 57600;
        }
    }

    void emptyChannelAppliesNothing() {
        TAppFixture app;
        app.WriteSettings("[Serial]\nBaudrate=4800\nstopbit=2\nparidade=0\nChannel=\n[Tcp]\nip=127.0.0.1\n"
                          "Port=1502\n[Conexao]\nComtype=1\n");
        app.Start();
        FormMain->show();
        QCOMPARE(ModbusMaster->SerialPort->BaudRate, 9600);
        QCOMPARE(ModbusMaster->SerialPort->PortName, QStringLiteral("COM1"));
        QCOMPARE(int(ModbusMaster->ConnectionType), 0);
        QCOMPARE(ModbusMaster->Socket->Port, 9001);
        QCOMPARE(Panels().mid(0, 3), (QStringList{"Serial", "COM1", "9600,8,1,None"}));
    }

    void unwritableSettingsFileKeepsOldOne() {
        TAppFixture app;
        const QByteArray old = "[Serial]\nBaudrate=38400\nstopbit=1\nparidade=1\nChannel=COM2\n[Tcp]\n"
                               "ip=127.0.0.1\nPort=1502\n[Conexao]\nComtype=0\n";
        app.WriteSettings(old);
        app.Start();
        FormMain->show();
        QCOMPARE(int(ModbusMaster->SerialPort->Parity), 1);
        ModbusMaster->SerialPort->BaudRate = 4800;
        {
            TFileSizeLimit full(16);
            FormMain->OutlookBtn_ExitClick();
        }
        ForgetExitRequest();
        QCOMPARE(app.ReadSettings(), old);
        QCOMPARE(app.presenter->requests.size(), 1);
        QVERIFY(app.presenter->requests[0].text.contains(app.SettingsPath()));
        QCOMPARE(app.presenter->requests[0].flags & MB_ICONERROR, unsigned(MB_ICONERROR));
        FormMain->OutlookBtn_ExitClick();
        QVERIFY(app.ReadSettings().contains("Baudrate=4800\n"));
        ForgetExitRequest();
    }
};

static TAppTestRegistration<TestCommConfig> registration;
#include "TestCommConfig.moc"
