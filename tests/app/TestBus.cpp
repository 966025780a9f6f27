// The windows against the module simulator on 127.0.0.1: a search that fills the tree and the device
// combo, and a Send Config whose writes reach the module in the task order.
#include "app/Find.h"
#include "app/Globals.h"
#include "app/Main.h"
#include "app/SendConfigTasks.h"
#include "app/StatusBar.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "inspector/RSObjectInspector.h"
#include "model/IOClasses.h"
#include "tests/app/AppTests.h"
#include "tests/app/BusCase.h"
#include "ui_Main.h"
#include <QTest>
#include <QTimer>

class TestBus : public QObject {
    Q_OBJECT

private slots:
    void searchFillsTreeAndCombo() {
        TBusCase c;
        QVERIFY2(c.Search(1, 4), "the search dialog was still open at the deadline");
        QVERIFY(!FormFindSlave->isVisible());
        auto& ui = FormMain->ui();
        QCOMPARE(FormMain->StatusBarDaxo()->PanelText(3), QStringLiteral("Find ok"));
        QCOMPARE(FormMain->Network->GetCount(), 3);
        QCOMPARE(ui.cbDiagnostic->count(), 3);
        QCOMPARE(ui.cbDiagnostic->currentText(), QStringLiteral("DAXO_1"));
        QVERIFY(ui.btDiagnostic->isEnabled());
        QCOMPARE(FormMain->SelectedObject(), FormMain->Network->GetItem(0));
        QCOMPARE(FormMain->Network->GetItem(1)->Information()->ModelCode(), 62);
        QVERIFY(c.app.presenter->requests.isEmpty());
        const QByteArray shot = qgetenv("VEXADAXO_SCREENSHOT");
        if (!shot.isEmpty()) {
            ui.tvNetwork->expandAll();
            FormMain->grab().save(QString::fromLocal8Bit(shot));
        }
    }

    void onlyAnEditThatTookEffectMarksTheDeviceModified() {
        TBusCase c;
        QVERIFY2(c.Search(1, 1), "the search dialog was still open at the deadline");
        QCOMPARE(FormMain->Network->GetCount(), 1);
        TRemoteIO* device = FormMain->Network->GetItem(0);
        FormMain->ui().tvNetwork->setCurrentIndex(device->Node()->index());
        QCoreApplication::sendPostedEvents();
        device->SetModified(false);
        TRSObjectInspector* inspector = FormMain->ui().RSObjectInspector1;
        auto edit = [&](const QString& text) {
            // The user edits a row that is shown: its group is open.
            QVERIFY(inspector->Items()->FindByPath(QStringLiteral("Comm")));
            inspector->Items()->FindByPath(QStringLiteral("Comm"))->Expand();
            TRSItemProperty* row = inspector->Items()->FindByPath(QStringLiteral("Comm.Address"));
            QVERIFY(row && row->VisibleIndex() >= 0);
            row->SetValue(text);
            row->DoValidate();
            QCoreApplication::sendPostedEvents();
            QCoreApplication::sendPostedEvents();
        };
        c.app.presenter->requests.clear();
        edit(QStringLiteral("0")); // refused by the device with its message
        QCOMPARE(c.app.presenter->Texts(), QStringList{"Out of range value. Min=1, Max=247"});
        QCOMPARE(device->Comm()->Address(), 1);
        QVERIFY(!device->Modified());
        edit(QStringLiteral("9"));
        QCOMPARE(device->Comm()->Address(), 9);
        QVERIFY(device->Modified());
    }

    void sendConfigWritesTheModel() {
        TBusCase c;
        QVERIFY2(c.Search(2, 3), "the search dialog was still open at the deadline");
        QCOMPARE(FormMain->Network->GetCount(), 2);
        TRemoteIO* analog = FormMain->Network->GetItem(0);
        analog->AnalogicInput()->GetChannel(0)->SetLimitMax(3000);
        analog->AnalogicInput()->GetChannel(1)->SetLimitMin(25);
        analog->AnalogicOutput()->GetChannel(1)->SetLimitMax(2500);
        analog->AnalogicOutput()->GetChannel(0)->SetEnabled(false);
        analog->Information()->SetDeviceName(QStringLiteral("pump"));
        FormMain->ui().tvNetwork->setCurrentIndex(analog->Node()->index());
        const auto before = c.Module(2).Log.size();
        FormMain->OutlookBtn_SendConfigClick();

        // The master ran at the settings file's 57600 baud; the module is now set to 9600.
        QCOMPARE(c.app.presenter->Texts(), QStringList{"Baudrate automaticaly changed"});
        QCOMPARE(ModbusMaster->SerialPort->BaudRate, 9600);
        QCOMPARE(FormMain->StatusBarDaxo()->PanelText(3), QStringLiteral("Save config ok."));
        QVERIFY(!analog->Modified());
        const vdsim::TSimModuleState m = c.Module(2);
        QCOMPARE(int(m.Stored.LimitMax[0]), 3000);
        QCOMPARE(int(m.Stored.LimitMin[1]), 25);
        QCOMPARE(int(m.Stored.OutputLimit[1]), 2500);
        QVERIFY(!m.Stored.OutputEnabled[0]);
        QCOMPARE(QByteArray(m.Stored.Name.data(), 16), QByteArray("pump            "));
        // The module saw the writes in the order of the task list, the store command last.
        QList<int> seen, expected;
        for (std::size_t i = before; i < m.Log.size(); ++i)
            if (m.Log[i].Function == 5 || m.Log[i].Function == 6)
                seen << m.Log[i].Address + 1;
        for (const auto& t : BuildSendConfigTasks(*analog, {}).Tasks)
            expected << t.Number;
        QCOMPARE(seen, expected);
    }

    // The search's Cancel ends the request in flight to a silent module at once: with Timeout 60 s and
    // 10 retries, a search that waited for it would hold the dialog for 660 s.
    void cancelEndsTheSearchsRequestInFlight() {
        TBusCase c({{1, 0}});
        c.sim->SetFault(0, {vdsim::TSimFaultKind::Silent, 0, 0});
        TFindSlaveThread::SearchTimeoutMs = 60000;
        ModbusMaster->Retries = 10;
        bool cancelled = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (!FormFindSlave->Searching) {
                if (cancelled)
                    FormFindSlave->ui().btClose->click();
                return;
            }
            if (!cancelled && c.sim->Bus().Counters().Frames >= 1) {
                cancelled = true;
                FormFindSlave->ui().btCancel->click();
            }
        });
        watch.start(5);
        // Far from the 660 s of the request, and from the 200 ms the cancel takes.
        QVERIFY(EndsBeforeDeadline(
            [&] {
                QMetaObject::invokeMethod(
                    FormFindSlave,
                    [] {
                        FormFindSlave->ui().edBegin->setText(QStringLiteral("1"));
                        FormFindSlave->ui().edEnd->setText(QStringLiteral("5"));
                        FormFindSlave->ui().btFind->click();
                    },
                    Qt::QueuedConnection);
                FormMain->OutlookBtn_FindClick();
            },
            20000));
        QVERIFY(cancelled);
        QCOMPARE(FormMain->Network->GetCount(), 0);
        // One address asked, once: the cancel sent nothing more.
        QCOMPARE(c.sim->Bus().Counters().Frames, std::uint64_t(1));
    }
};

static TAppTestRegistration<TestBus> registration;
#include "TestBus.moc"
