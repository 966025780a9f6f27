// What a search files and what Send Config then writes back: a module is filed under the address it
// answered at, and a search that could not read every setting says so, and asks before Send Config
// writes the defaults shown in their place.
#include "app/StatusBar.h"
#include "comm/CommunicationThread.h"
#include "model/IOClasses.h"
#include "tests/app/AppTests.h"
#include "tests/app/BusCase.h"
#include "ui_Main.h"
#include <QTest>
#include <cstring>

namespace {

QString Status() {
    return FormMain->StatusBarDaxo()->PanelText(3);
}

void SendConfigOf(TRemoteIO* device) {
    FormMain->ui().tvNetwork->setCurrentIndex(device->Node()->index());
    FormMain->OutlookBtn_SendConfigClick();
}

int WritesSince(const vdsim::TSimModuleState& m, std::size_t from) {
    return int(std::count_if(m.Log.begin() + std::ptrdiff_t(from), m.Log.end(),
                             [](const auto& r) { return r.Function == 5 || r.Function == 6; }));
}

// A channel setting the search reads back: as the device shows it, as the module holds it, and as a
// fresh device of the model has it.
struct TSetting {
    QString name;
    int shown;
    int held;
    int fallback;
};

// The settings that another register's value spoiled before: limits, presets and alarm links.
std::vector<TSetting> Settings(const TRemoteIO& d, const vdsim::TSimConfig& held, const TRemoteIO& fresh) {
    std::vector<TSetting> out;
    const auto add = [&](const char* what, int i, int shown, int value, int fallback) {
        out.push_back({QStringLiteral("%1 %2").arg(QLatin1String(what)).arg(i), shown, value, fallback});
    };
    for (int i = 0; d.DigitalInput() && i < d.DigitalInput()->GetCount(); ++i) {
        const auto *c = d.DigitalInput()->GetChannel(i), *f = fresh.DigitalInput()->GetChannel(i);
        add("alarm", i, c->EnabledAlarmOutput(), held.AlarmLink[size_t(i)], f->EnabledAlarmOutput());
        add("preset", i, c->Preset(), held.Preset[size_t(i)], f->Preset());
    }
    for (int i = 0; d.AnalogicInput() && i < d.AnalogicInput()->GetCount(); ++i) {
        const auto *c = d.AnalogicInput()->GetChannel(i), *f = fresh.AnalogicInput()->GetChannel(i);
        add("input max", i, c->LimitMax(), held.LimitMax[size_t(i)], f->LimitMax());
        add("input min", i, c->LimitMin(), held.LimitMin[size_t(i)], f->LimitMin());
    }
    for (int i = 0; d.AnalogicOutput() && i < d.AnalogicOutput()->GetCount(); ++i)
        add("output max", i, d.AnalogicOutput()->GetChannel(i)->LimitMax(), held.OutputLimit[size_t(i)],
            fresh.AnalogicOutput()->GetChannel(i)->LimitMax());
    return out;
}

} // namespace

class TestSearchResults : public QObject {
    Q_OBJECT

private slots:
    void aModuleIsFiledWhereItAnswered() {
        const struct {
            int at;
            int addressRegister;
            int address;
            const char* name;
        } cases[] = {
            {1, 1, 1, "DAXO_1"},       {2, 3, 3, "DAXO_3"}, // the register names the next module's address
            {3, 3, 3, "DAXO_3_2"},                          // ... which is filed apart all the same
            {4, 9, 9, "DAXO_9"},                            // no module answers at 9
            {5, 1539, 5, "DAXO_5"},    // no address at all: refused, the device stays where it answered
            {6, 247, 247, "DAXO_247"}, // the bounds of the address range
            {7, 248, 7, "DAXO_7"},     {8, 0, 8, "DAXO_8"},
        };
        std::vector<vdsim::TSimModuleDef> modules;
        for (const auto& k : cases)
            modules.push_back({k.at, 28});
        TBusCase c(modules);
        for (const auto& k : cases)
            c.Edit(k.at, [&](vdsim::TSimModuleState& s) { s.Pending.Address = quint16(k.addressRegister); });

        QVERIFY(c.Search(1, int(std::size(cases))));

        QCOMPARE(Status(), QStringLiteral("Find ok"));
        // The message says which of the modules found holds the value.
        const auto refusal = [](int at, int held) {
            return QStringLiteral(
                       "The remote I/O at address %1 (model 7610.28 - 8E N/P 24Vcc) holds the address "
                       "%2.\nOut of range value. Min=1, Max=247")
                .arg(at)
                .arg(held);
        };
        QCOMPARE(c.app.presenter->Texts(), (QStringList{refusal(5, 1539), refusal(7, 248), refusal(8, 0)}));
        QCOMPARE(FormMain->Network->GetCount(), int(std::size(cases)));
        for (int i = 0; i < int(std::size(cases)); ++i) {
            const TRemoteIO* d = FormMain->Network->GetItem(i);
            QCOMPARE(d->Comm()->CurrentAddress(), cases[i].at);
            QCOMPARE(d->Comm()->Address(), cases[i].address);
            QCOMPARE(d->Name(), QLatin1String(cases[i].name));
        }
        // The refused one is written where it answers, and keeps answering there.
        TRemoteIO* refused = FormMain->Network->GetItem(4);
        const std::size_t before = c.Module(5).Log.size();
        SendConfigOf(refused);
        QCOMPARE(Status(), QStringLiteral("Save config ok."));
        QVERIFY(WritesSince(c.Module(5), before) > 0);
        QCOMPARE(int(c.Module(5).Stored.Address), 5);
        QCOMPARE(refused->Comm()->CurrentAddress(), 5);
    }

    // Two modules on one bus, the second one's address register naming the first (a module moved from
    // another bus, or set up by hand): each gets a device of its own, and the first keeps its settings.
    void aModuleWhoseRegisterNamesAnEarlierModuleGetsItsOwnDevice() {
        TBusCase c({{1, 0}, {4, 62}});
        const auto name = [](vdsim::TSimModuleState& s, const char* text) {
            std::fill(s.Pending.Name.begin(), s.Pending.Name.end(), ' ');
            std::copy(text, text + std::strlen(text), s.Pending.Name.begin());
        };
        c.Edit(1, [&](vdsim::TSimModuleState& s) { name(s, "Pump house"); });
        c.Edit(4, [&](vdsim::TSimModuleState& s) {
            s.Pending.Address = 1;
            name(s, "Tank");
        });

        QVERIFY(c.Search(1, 4));

        QCOMPARE(FormMain->Network->GetCount(), 2);
        QCOMPARE(Status(), QStringLiteral("Find ok"));
        const TRemoteIO* pump = FormMain->Network->FindByAddress(1);
        const TRemoteIO* tank = FormMain->Network->FindByAddress(4);
        QVERIFY(pump && tank && pump != tank);
        QCOMPARE(pump->Information()->ModelCode(), 0);
        QCOMPARE(pump->Information()->DeviceName(), QStringLiteral("Pump house      "));
        QCOMPARE(pump->Comm()->Address(), 1);
        QVERIFY(pump->DigitalInput() && !pump->AnalogicInput());
        QCOMPARE(tank->Information()->ModelCode(), 62);
        QCOMPARE(tank->Information()->DeviceName(), QStringLiteral("Tank            "));
        QCOMPARE(tank->Comm()->Address(), 1);
        QVERIFY(tank->AnalogicInput() != nullptr);
    }

    void aStepNotReadIsShownAndItsDefaultsAreWrittenOnlyWhenTheUserSaysSo() {
        TBusCase c({{2, 62}});
        c.Edit(2, [](vdsim::TSimModuleState& s) {
            s.Pending.LimitMax = s.Stored.LimitMax = {3000, 2000, 0, 0};
        });
        // The information block and the analog inputs' enable coils are read; the upper limits are not.
        ModbusMaster->Retries = 0;
        vdsim::TSimFault refuse{vdsim::TSimFaultKind::Exception, 2, 1};
        refuse.Skip = 2;
        c.sim->SetFault(0, refuse);

        QVERIFY(c.Search(2, 2));

        QCOMPARE(Status(), QStringLiteral("Find ended, some settings not read."));
        QCOMPARE(FormMain->Network->GetCount(), 1);
        TRemoteIO* device = FormMain->Network->GetItem(0);
        QVERIFY(device->NotFullyRead());
        QCOMPARE(device->Node()->ImageIndex(), NodeImage::DeviceNotFullyRead);
        const int shown = device->AnalogicInput()->GetChannel(0)->LimitMax();
        QVERIFY(shown != 3000);
        QCOMPARE(device->AnalogicInput()->GetChannel(1)->LimitMin(), 0);

        const QString question =
            QStringLiteral("Some settings of this remote I/O were not read and show their "
                           "defaults.\nWrite these defaults to the module?");
        for (const int answer : {int(mrNo), int(mrYes)}) {
            c.app.presenter->requests.clear();
            c.app.presenter->answer = answer;
            const std::size_t before = c.Module(2).Log.size();
            SendConfigOf(device);
            QVERIFY(!c.app.presenter->requests.isEmpty());
            QCOMPARE(c.app.presenter->requests[0].text, question);
            QCOMPARE(c.app.presenter->requests[0].buttons, TMsgDlgButtons(mbYes | mbNo));
            // Enter alone must not write the defaults the question exists to keep out of the module.
            QCOMPARE(c.app.presenter->requests[0].defaultButton, TMsgDlgButtons(mbNo));
            const vdsim::TSimModuleState m = c.Module(2);
            if (answer == mrNo) {
                QCOMPARE(c.app.presenter->requests.size(), 1);
                QCOMPARE(WritesSince(m, before), 0);
                QCOMPARE(int(m.Stored.LimitMax[0]), 3000);
                QVERIFY(device->NotFullyRead());
            } else {
                QCOMPARE(Status(), QStringLiteral("Save config ok."));
                QCOMPARE(int(m.Stored.LimitMax[0]), shown);
                QVERIFY(!device->NotFullyRead());
                QCOMPARE(device->Node()->ImageIndex(), NodeImage::Device);
            }
        }
    }

    // On a line that answers in order, one answer 2.5 times the search's timeout late, at each request
    // the search sends, and every answer that late: what the search files is the module's own value, or a
    // default on a device marked as not fully read, and Send Config writes nothing the module did not hold
    // unless the user says Yes.
    void aLateAnswerLeavesNoOtherRegistersValueInTheDevice() {
        TBusCase c({{1, 0}, {2, 62}});
        // Every value differs from its default and from the registers read beside it.
        c.Edit(1, [](vdsim::TSimModuleState& s) {
            s.Pending.InputCounts.fill(true);
            s.Pending.AlarmLink = {false, true, false, true};
            s.Pending.Preset = {11, 12, 13, 14, 15, 16, 17, 18};
            s.Stored = s.Pending;
        });
        c.Edit(2, [](vdsim::TSimModuleState& s) {
            s.Pending.LimitMax = {3100, 3200, 0, 0};
            s.Pending.LimitMin = {100, 200, 0, 0};
            s.Pending.OutputLimit = {1500, 2500};
            s.Stored = s.Pending;
        });
        TFindSlaveThread::SearchTimeoutMs = TFindSlaveThread::SearchTimeout;
        TTreeNodes freshNodes;
        TRemoteIONetwork fresh{nullptr, &freshNodes, nullptr};
        // Requests per module: the information block and the steps of its groups.
        for (const auto& [address, requests] : {std::pair{1, 4}, {2, 7}})
            for (const int retries : {0, 2})
                for (int at = -1; at < requests; ++at) { // -1: every answer late
                    const QString where =
                        QStringLiteral("module %1, retries %2, late at %3").arg(address).arg(retries).arg(at);
                    ModbusMaster->Retries = retries;
                    const std::size_t module = c.sim->FindModule(address).value();
                    vdsim::TSimFault late{vdsim::TSimFaultKind::Late, TFindSlaveThread::SearchTimeout * 5 / 2,
                                          at < 0 ? 0 : 1};
                    late.Skip = std::max(at, 0);
                    c.sim->SetFault(module, late);
                    QVERIFY2(c.Search(address, address), qPrintable(where));
                    QVERIFY(c.sim->Bus().WaitAllAnswered(std::chrono::seconds(30)));
                    if (FormMain->Network->GetCount() == 0)
                        continue; // not found: nothing filed, nothing to send
                    TRemoteIO* d = FormMain->Network->GetItem(0);
                    const vdsim::TSimConfig held = c.Module(address).Stored;
                    TRemoteIO* defaults = fresh.AddRemoteIO();
                    defaults->Information()->SetModelCode(d->Information()->ModelCode());
                    for (const TSetting& k : Settings(*d, held, *defaults))
                        QVERIFY2(k.shown == k.held || (d->NotFullyRead() && k.shown == k.fallback),
                                 qPrintable(QStringLiteral("%1: %2 shows %3, the module holds %4")
                                                .arg(where, k.name)
                                                .arg(k.shown)
                                                .arg(k.held)));
                    fresh.Clear();

                    c.app.presenter->answer = mrNo;
                    const std::size_t before = c.Module(address).Log.size();
                    SendConfigOf(d);
                    if (d->NotFullyRead()) {
                        QCOMPARE(WritesSince(c.Module(address), before), 0);
                    } else {
                        QCOMPARE(Status(), QStringLiteral("Save config ok."));
                        QCOMPARE(c.Module(address).Stored, held);
                    }
                }
    }
};

static TAppTestRegistration<TestSearchResults> registration;
#include "TestSearchResults.moc"
