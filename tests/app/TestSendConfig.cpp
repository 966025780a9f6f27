// Send Config: the checks, the task order for each kind of module, calibration, and the window's part.
#include "app/Globals.h"
#include "app/Main.h"
#include "app/SendConfigTasks.h"
#include "app/StatusSendConfig.h"
#include "model/IOClasses.h"
#include "tests/app/AppFixture.h"
#include "tests/app/AppTests.h"
#include "tests/app/FakeJobs.h"
#include "tests/support/RecordingPresenter.h"
#include "ui_Main.h"
#include "ui_StatusSendConfig.h"
#include <QTest>

namespace {

using Numbers = QList<int>;

// A device of the given model at bus address 5 (configured address 5), outside any tree.
struct TDevice {
    TRemoteIONetwork network{nullptr, nullptr, nullptr};
    TRemoteIO* device;
    explicit TDevice(int model) : device(network.AddRemoteIO()) {
        device->Comm()->SetCurrentAddress(5);
        device->Comm()->SetAddress(5);
        device->Information()->SetModelCode(model);
    }
};

Numbers NumbersOf(const std::vector<TSendConfigTask>& tasks) {
    Numbers n;
    for (const auto& t : tasks)
        n << t.Number;
    return n;
}

Numbers Range(int first, int last) {
    Numbers n;
    for (int i = first; i <= last; ++i)
        n << i;
    return n;
}

const Numbers kInfoBlock = Numbers{513, 514, 515, 527} + Range(519, 526);

const TSendConfigTask& Find(const std::vector<TSendConfigTask>& tasks, int number) {
    for (const auto& t : tasks)
        if (t.Number == number)
            return t;
    static const TSendConfigTask none;
    return none;
}

} // namespace

class TestSendConfig : public QObject {
    Q_OBJECT

private slots:
    void digitalInputsOnly() {
        ScopedRecordingPresenter presenter;
        TDevice d(28);
        const TSendConfigPlan plan = BuildSendConfigTasks(*d.device, {});
        QCOMPARE(NumbersOf(plan.Tasks), (kInfoBlock + Range(65, 72) + Range(1, 8) + Numbers{516}));
        QVERIFY(presenter->requests.isEmpty());
        for (const auto& t : plan.Tasks) {
            QCOMPARE(int(t.Slave), 5);
            QCOMPARE(int(t.FunctionCode), t.Number >= 65 && t.Number <= 72 ? 5 : 6);
        }
        QCOMPARE(Find(plan.Tasks, 516).Value(), 0x6766);
        QCOMPARE(plan.LineSettings, std::optional<TLineSettings>(TLineSettings{9600, 1, 0}));
    }

    void digitalInputsAndOutputs() {
        TDevice d(0);
        auto* inputs = d.device->DigitalInput();
        auto* in2 = inputs->GetChannel(2);
        in2->SetInputFunction(TDigitalInputFunction::Counter);
        in2->SetPreset(1234);
        in2->SetEnabledAlarmOutput(true);
        const TSendConfigPlan plan = BuildSendConfigTasks(*d.device, {});
        QCOMPARE(NumbersOf(plan.Tasks),
                 (kInfoBlock + Range(65, 72) + Range(129, 132) + Range(1, 8) + Numbers{516}));
        QCOMPARE(Find(plan.Tasks, 67).ValueHigh, quint8(0xFF));
        QCOMPARE(Find(plan.Tasks, 66).ValueHigh, quint8(0x00));
        QCOMPARE(Find(plan.Tasks, 131).ValueHigh, quint8(0xFF));
        QCOMPARE(Find(plan.Tasks, 3).Value(), 1234);
    }

    void mixedInputsSendPresetsOnly() {
        TDevice d(128);
        const TSendConfigPlan plan = BuildSendConfigTasks(*d.device, {});
        QCOMPARE(NumbersOf(plan.Tasks), (kInfoBlock + Range(1, 8) + Numbers{516}));
    }

    void informationBlock() {
        TDevice d(28);
        d.device->Information()->SetDeviceName(QStringLiteral("abc"));
        d.device->Comm()->SetAddress(9);
        d.device->Comm()->SetBaudrate(TBaudrate::BR_38400);
        d.device->Comm()->SetParity(TParity::Odd);
        d.device->SetTimeoutFromDevice(40);
        const TSendConfigPlan plan = BuildSendConfigTasks(*d.device, {});
        QCOMPARE(Find(plan.Tasks, 513).Value(), 3);
        QCOMPARE(Find(plan.Tasks, 514).Value(), 9);
        QCOMPARE(Find(plan.Tasks, 515).Value(), 1); // odd, one stop bit
        QCOMPARE(Find(plan.Tasks, 527).Value(), 40);
        QCOMPARE(Find(plan.Tasks, 519).Value(), ('a' << 8) | 'b');
        QCOMPARE(Find(plan.Tasks, 520).Value(), ('c' << 8) | ' ');
        for (int r = 521; r <= 526; ++r)
            QCOMPARE(Find(plan.Tasks, r).Value(), 0x2020);
        QCOMPARE(int(plan.Tasks.front().Slave), 5); // sent to the address it answers at now
        QCOMPARE(plan.LineSettings, std::optional<TLineSettings>(TLineSettings{38400, 1, 1}));
        d.device->Comm()->SetParity(TParity::None);
        d.device->Comm()->SetStopbit(TStopbit::SB_2);
        const TSendConfigPlan two = BuildSendConfigTasks(*d.device, {});
        QCOMPARE(Find(two.Tasks, 515).Value(), 2);
        QCOMPARE(two.LineSettings->StopBits, 2);
    }

    void analogInputsAndOutputs() {
        ScopedRecordingPresenter presenter;
        TDevice d(62);
        d.device->AnalogicInput()->GetChannel(1)->SetEnabled(false);
        d.device->AnalogicInput()->GetChannel(0)->SetLimitMax(4000);
        d.device->AnalogicInput()->GetChannel(0)->SetLimitMin(10);
        d.device->AnalogicOutput()->GetChannel(1)->SetLimitMax(3000);
        const TSendConfigPlan plan = BuildSendConfigTasks(*d.device, {});
        QCOMPARE(NumbersOf(plan.Tasks),
                 (kInfoBlock + Numbers{203, 204, 113, 109, 114, 110, 209, 210, 305, 306, 516}));
        QCOMPARE(Find(plan.Tasks, 204).ValueHigh, quint8(0));
        QCOMPARE(Find(plan.Tasks, 113).Value(), 4000);
        QCOMPARE(Find(plan.Tasks, 109).Value(), 10);
        QCOMPARE(Find(plan.Tasks, 306).Value(), 3000);
        QVERIFY(presenter->requests.isEmpty());

        // An output limit outside 1..4000 leaves out that register only.
        d.device->AnalogicOutput()->GetChannel(0)->SetLimitMax(4001);
        const TSendConfigPlan cut = BuildSendConfigTasks(*d.device, {});
        QCOMPARE(NumbersOf(cut.Tasks),
                 (kInfoBlock + Numbers{203, 204, 113, 109, 114, 110, 209, 210, 306, 516}));
        QCOMPARE(presenter->Texts(), QStringList{"Out of range value."});
    }

    void analogInputsOnly() {
        TDevice d(56);
        d.device->AnalogicInput()->GetChannel(1)->SetInputFunction(TAnalogicInputFunction::ifCorrente0to20ma);
        const TSendConfigPlan plan = BuildSendConfigTasks(*d.device, {});
        QCOMPARE(NumbersOf(plan.Tasks), (kInfoBlock + Numbers{203, 204, 113, 109, 117, 114, 110, 118, 516}));
        QCOMPARE(Find(plan.Tasks, 117).Value(), 1);
        QCOMPARE(Find(plan.Tasks, 118).Value(), 2);
    }

    void thermocouple() {
        TDevice d(63);
        d.device->TemperatureInput()->SetTermopar(TRemoteTermopar::Tipo_K);
        TSendConfigPlan plan = BuildSendConfigTasks(*d.device, {});
        QCOMPARE(NumbersOf(plan.Tasks), (kInfoBlock + Numbers{530, 516}));
        const TSendConfigTask& t = Find(plan.Tasks, 530);
        QCOMPARE(int(t.ReadBeforeWrite), 1);
        QCOMPARE(int(t.Count), 0);
        QCOMPARE(t.Value(), 0x81); // no cold junction, type K
        d.device->TemperatureInput()->SetTermoparJunta(TRemoteJunta::Com_Junta_Fria);
        d.device->TemperatureInput()->SetTermopar(TRemoteTermopar::Tipo_N);
        plan = BuildSendConfigTasks(*d.device, {});
        QCOMPARE(Find(plan.Tasks, 530).Value(), 7);
        // A PT100 module has no thermocouple register.
        TDevice pt(64);
        QCOMPARE(NumbersOf(BuildSendConfigTasks(*pt.device, {}).Tasks), (kInfoBlock + Numbers{516}));
    }

    void calibrationTasks_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("output");
        QTest::addColumn<Numbers>("numbers");
        QTest::newRow("zero C0") << 1 << 0 << 0 << 3 << Numbers{201, 516};
        QTest::newRow("max C0") << 0 << 1 << 0 << 3 << Numbers{202, 516};
        QTest::newRow("zero C1") << 1 << 1 << 1 << 2 << Numbers{207, 516};
        QTest::newRow("max C1") << 0 << 1 << 1 << 2 << Numbers{208, 516};
        QTest::newRow("C1 needs mode 1") << 0 << 0 << 1 << 2 << Numbers{516};
        QTest::newRow("output 1") << 0 << 2 << 0 << 0 << Numbers{211, 516};
        QTest::newRow("output 2") << 1 << 2 << 1 << 1 << Numbers{212, 516};
    }
    void calibrationTasks() {
        QFETCH(int, step);
        QFETCH(int, mode);
        QFETCH(int, channel);
        QFETCH(int, output);
        QFETCH(Numbers, numbers);
        TDevice d(62);
        const TSendConfigPlan plan = BuildSendConfigTasks(*d.device, {true, step, mode, channel, output});
        QCOMPARE(NumbersOf(plan.Tasks), numbers);
        QVERIFY(!plan.LineSettings);
        QCOMPARE(int(plan.Tasks.front().FunctionCode), numbers.size() > 1 ? 5 : 6);
    }

    void checks() {
        ScopedRecordingPresenter presenter;
        TDevice digital(0);
        QVERIFY(CheckSendConfig(*digital.device));
        for (int i : {1, 4}) {
            auto* ch = digital.device->DigitalInput()->GetChannel(i);
            ch->SetInputFunction(TDigitalInputFunction::Counter);
            ch->SetPreset(65535);
        }
        QVERIFY(!CheckSendConfig(*digital.device));
        QCOMPARE(presenter->Texts(), (QStringList{"Out of range.", "Out of range."}));
        QCOMPARE(presenter->requests[0].type, TMsgDlgType::mtError);

        presenter->requests.clear();
        TDevice analog(56);
        analog.device->AnalogicInput()->GetChannel(0)->SetLimitMax(0);
        analog.device->AnalogicInput()->GetChannel(1)->SetLimitMax(0);
        QVERIFY(!CheckSendConfig(*analog.device));
        QCOMPARE(presenter->Texts(), QStringList{"Min is greater that max "}); // first bad channel only

        presenter->requests.clear();
        TDevice withOutputs(62);
        withOutputs.device->AnalogicInput()->GetChannel(1)->SetLimitMax(4002);
        QVERIFY(!CheckSendConfig(*withOutputs.device));
        QCOMPARE(presenter->Texts(), QStringList{"Out of range"});
        presenter->requests.clear();
        withOutputs.device->AnalogicInput()->GetChannel(1)->SetLimitMax(4001);
        QVERIFY(CheckSendConfig(*withOutputs.device));
        analog.device->AnalogicInput()->GetChannel(0)->SetLimitMax(65535);
        analog.device->AnalogicInput()->GetChannel(1)->SetLimitMax(65535);
        QVERIFY(CheckSendConfig(*analog.device));
        QVERIFY(presenter->requests.isEmpty());
    }

    void windowSendsThroughTheWriter() {
        TAppFixture app;
        TFakeWorkers workers;
        app.Start();
        FormMain->show();
        FormMain->OutlookBtn_SendConfigClick();
        QCOMPARE(app.presenter->Texts(), QStringList{"Select a remote I/O."});
        QCOMPARE(workers.save.created, 0);

        TRemoteIO* device = FormMain->Network->AddRemoteIO();
        device->Comm()->SetCurrentAddress(4);
        device->Comm()->SetAddress(4);
        device->Information()->SetModelCode(28);
        FormMain->RefillDeviceCombo(0);
        QCOMPARE(FormMain->SelectedObject(), device);
        device->Comm()->SetAddress(6);

        // The progress dialog is modal; the writer's end closes it.
        QMetaObject::invokeMethod(
            FormSaveConfigStatus, [] { FormSaveConfigStatus->done(QDialog::Accepted); },
            Qt::QueuedConnection);
        app.presenter->requests.clear();
        FormMain->OutlookBtn_SendConfigClick();
        QVERIFY(app.presenter->requests.isEmpty());
        QCOMPARE(workers.save.started, 1);
        QCOMPARE(workers.save.waited, 1);
        QCOMPARE(workers.save.destroyed, 1);
        QCOMPARE(workers.save.device, device);
        QCOMPARE(workers.save.newAddress, 6);
        QCOMPARE(int(workers.save.tasks.size()), 12 + 8 + 8 + 1);
        QCOMPARE(int(workers.save.tasks.front().Slave), 4);
        QCOMPARE(FormSaveConfigStatus->ui().ProgressBar1->maximum(), 29);
        QCOMPARE(CurrentDevice, device);

        // A failed check sends nothing and still releases the writer.
        auto* ch = device->DigitalInput()->GetChannel(0);
        ch->SetInputFunction(TDigitalInputFunction::Counter);
        ch->SetPreset(70000);
        FormMain->OutlookBtn_SendConfigClick();
        QCOMPARE(app.presenter->Texts(), QStringList{"Out of range."});
        QCOMPARE(workers.save.started, 1);
        QCOMPARE(workers.save.created, 2);
        QCOMPARE(workers.save.destroyed, 2);

        app.presenter->requests.clear();
        FormMain->DiagnosticRunning = true;
        FormMain->SendConfig(device);
        QCOMPARE(app.presenter->Texts(), QStringList{"Can not send config while diagnostic."});
        QCOMPARE(workers.save.created, 2);
        // Closing stops the supervision before the settings are saved.
        FormMain->close();
        QCOMPARE(workers.supervisionStops, 2); // close request and close
        FormMain->DiagnosticRunning = false;
    }
};

static TAppTestRegistration<TestSendConfig> registration;
#include "TestSendConfig.moc"
