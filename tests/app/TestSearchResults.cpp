// What a search files and what Send Config then writes back: a module is filed under the address it
// answered at, and a search that could not read every setting says so, and asks before Send Config
// writes the defaults shown in their place.
#include "app/StatusBar.h"
#include "model/IOClasses.h"
#include "tests/app/AppTests.h"
#include "tests/app/BusCase.h"
#include "ui_Main.h"
#include <QTest>

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
            {1, 1, 1, "DAXO_1"},    {2, 3, 3, "DAXO_3"}, // the register names the next module's address
            {3, 3, 3, "DAXO_3_2"},                       // ... which is filed apart all the same
            {4, 9, 9, "DAXO_9"},                         // no module answers at 9
            {5, 1539, 5, "DAXO_5"}, // no address at all: refused, the device stays where it answered
        };
        std::vector<vdsim::TSimModuleDef> modules;
        for (const auto& k : cases)
            modules.push_back({k.at, 28});
        TBusCase c(modules);
        for (const auto& k : cases)
            c.Edit(k.at, [&](vdsim::TSimModuleState& s) { s.Pending.Address = quint16(k.addressRegister); });

        QVERIFY(c.Search(1, int(std::size(cases))));

        QCOMPARE(Status(), QStringLiteral("Find ok"));
        QCOMPARE(c.app.presenter->Texts(), QStringList{"Out of range value. Min=1, Max=247"});
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
};

static TAppTestRegistration<TestSearchResults> registration;
#include "TestSearchResults.moc"
