// What the search stores and what a spoiled reply may do to a search or a send: the real master over
// TCP against the module simulator.
#include "BusFixture.h"

#include <QMetaProperty>
#include <QThread>

using namespace IOClasses;

namespace {

// Every published value of an object and of everything it owns, one "path.name=value" a line, so that
// two devices compare as a whole.
void Dump(const QObject* object, const QString& path, QStringList& lines) {
    const QMetaObject* meta = object->metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty p = meta->property(i);
        const QVariant v = p.read(object);
        const QString text =
            p.isEnumType() ? QString::fromLatin1(p.enumerator().valueToKey(v.toInt())) : v.toString();
        lines << path + QLatin1Char('.') + QString::fromLatin1(p.name()) + QLatin1Char('=') + text;
    }
    for (const QObject* child : object->children())
        if (!child->objectName().isEmpty())
            Dump(child, path + QLatin1Char('/') + child->objectName(), lines);
}

template <class Group> void DumpChannels(const Group* group, const QString& path, QStringList& lines) {
    if (group)
        for (int i = 0; i < group->GetCount(); ++i)
            Dump(group->GetChannel(i), path + QStringLiteral("/channel ") + QString::number(i), lines);
}

QStringList DumpNetwork(const TRemoteIONetwork& network) {
    QStringList lines;
    for (const TRemoteIO* device : network.Devices()) {
        Dump(device, device->Name(), lines);
        DumpChannels(device->DigitalInput(), device->Name() + QStringLiteral("/DI"), lines);
        DumpChannels(device->DigitalOutput(), device->Name() + QStringLiteral("/DO"), lines);
        DumpChannels(device->AnalogicInput(), device->Name() + QStringLiteral("/AI"), lines);
        DumpChannels(device->AnalogicOutput(), device->Name() + QStringLiteral("/AO"), lines);
        DumpChannels(device->TemperatureInput(), device->Name() + QStringLiteral("/T"), lines);
    }
    return lines;
}

vdsim::TSimFault LateOnce(int skip, int ms) {
    vdsim::TSimFault fault{vdsim::TSimFaultKind::Late, ms, 1};
    fault.Skip = skip;
    return fault;
}

} // namespace

class SearchChecksTest : public BusFixture {
protected:
    void Edit(int address, const std::function<void(vdsim::TSimModuleState&)>& edit) {
        sim->WithModule(*sim->FindModule(address), [&](vdsim::TSimModule& m) { edit(m.State()); });
    }
};

// Values that name no setting, each beside the last value that does.
TEST_F(SearchChecksTest, AValueOutsideItsChoicesIsNeverStoredAndTheLogSaysWhatTheModuleHeld) {
    StartSimulator({{1, 0}, {2, 0}, {3, 99}, {4, 99}, {5, 62}, {6, 63}, {7, 63}});
    Edit(1, [](auto& s) {
        s.Pending.Baudrate = 4;
        s.Pending.Format = 3;
        s.Pending.Timeout = 2400;
        s.FlashCounter = 258;
    });
    Edit(2, [](auto& s) {
        s.Pending.Baudrate = 5;
        s.Pending.Format = 4;
        s.Pending.Timeout = 2401;
    });
    Edit(3, [](auto& s) { s.Pending.Baudrate = 1; });
    Edit(4, [](auto& s) { s.Pending.Baudrate = 2; });
    Edit(5, [](auto& s) {
        s.Pending.Function[0] = 2;
        s.Pending.Function[1] = 3;
    });
    Edit(6, [](auto& s) { s.Pending.Thermocouple = 0x87; });
    Edit(7, [](auto& s) { s.Pending.Thermocouple = 0x08; });

    Search(1, 7);
    ASSERT_EQ(network.GetCount(), 7);
    for (int address = 1; address <= 7; ++address)
        ASSERT_NE(network.FindByAddress(address), nullptr) << address;
    EXPECT_EQ(hosts.statusText, "Find ok");

    const TRemoteIO* accepted = network.FindByAddress(1);
    EXPECT_EQ(accepted->Comm()->Baudrate(), TBaudrate::BR_57600);
    EXPECT_EQ(accepted->Comm()->Parity(), TParity::None);
    EXPECT_EQ(accepted->Comm()->Stopbit(), TStopbit::SB_1);
    EXPECT_EQ(accepted->Timeout(), TRemoteIOTimeOut::TM_120_S);
    EXPECT_EQ(accepted->Information()->RecordFlashCounter(), 258);

    // The refused ones keep a new device's defaults.
    TTreeNodes otherNodes;
    TRemoteIONetwork fresh{nullptr, &otherNodes, nullptr};
    const TRemoteIO* defaults = fresh.AddRemoteIO();
    const TRemoteIO* refused = network.FindByAddress(2);
    EXPECT_EQ(refused->Comm()->Baudrate(), defaults->Comm()->Baudrate());
    EXPECT_EQ(refused->Comm()->Parity(), defaults->Comm()->Parity());
    EXPECT_EQ(refused->Comm()->Stopbit(), defaults->Comm()->Stopbit());
    EXPECT_EQ(refused->Timeout(), defaults->Timeout());

    EXPECT_EQ(network.FindByAddress(3)->Comm()->Baudrate(), TBaudrate::BR_9600);
    EXPECT_EQ(network.FindByAddress(4)->Comm()->Baudrate(), TBaudrate::BR_9600);

    const TAnalogicInput* inputs = network.FindByAddress(5)->AnalogicInput();
    ASSERT_NE(inputs, nullptr);
    ASSERT_EQ(inputs->GetCount(), 2);
    EXPECT_EQ(inputs->GetChannel(0)->InputFunction(), TAnalogicInputFunction::ifCorrente0to20ma);
    EXPECT_EQ(inputs->GetChannel(1)->InputFunction(), TAnalogicInputFunction::ifTensao10v); // the default

    const TTemperatureInput* typeN = network.FindByAddress(6)->TemperatureInput();
    ASSERT_NE(typeN, nullptr);
    EXPECT_EQ(typeN->Termopar(), TRemoteTermopar::Tipo_N);
    EXPECT_EQ(typeN->TermoparJunta(), TRemoteJunta::Sem_Junta_Fria);
    const TTemperatureInput* noType = network.FindByAddress(7)->TemperatureInput();
    ASSERT_NE(noType, nullptr);
    EXPECT_EQ(noType->Termopar(), TRemoteTermopar::Tipo_J); // the default
    EXPECT_EQ(noType->TermoparJunta(), TRemoteJunta::Com_Junta_Fria);

    EXPECT_EQ(hosts.logLines,
              QStringList({
                  "Register 512 held 5: no baud rate; the default is kept.",
                  "Register 514 held 4: no serial format; the default is kept.",
                  "Register 526 held 2401: no timeout code; the default is kept.",
                  "Register 512 held 2: a model-99 module runs at 9600 only; the default is kept.",
                  "Register 117 held 3: no input function; the default is kept.",
                  "Register 529 held 8: no thermocouple type; the default is kept.",
              }));
    EXPECT_TRUE(messages->requests.isEmpty()) << messages->Texts().join('|').toStdString();
}

// One reply late past the search timeout at each request the search sends: the retry takes the
// answer, and nothing that arrives afterwards is taken for the next step's.
TEST_F(SearchChecksTest, OneLateReplyAtAnyStepLeavesTheModelAsTheModuleIs) {
    StartSimulator({{1, 0}, {2, 62}, {3, 63}});
    Edit(1, [](auto& s) {
        s.Pending.InputCounts[2] = true;
        s.Pending.AlarmLink[2] = true;
        s.Pending.Preset[2] = 1234;
        s.Pending.Baudrate = 3;
    });
    Edit(2, [](auto& s) {
        s.Pending.AnalogEnabled[1] = false;
        s.Pending.LimitMax = {3000, 2000, 0, 0};
        s.Pending.LimitMin = {100, 200, 0, 0};
        s.Pending.Function[1] = 2;
        s.Pending.OutputLimit = {1500, 2500};
        s.Pending.OutputEnabled[0] = false;
    });
    Edit(3, [](auto& s) { s.Pending.Thermocouple = 0x05; });

    Search(1, 3);
    ASSERT_EQ(network.GetCount(), 3);
    const QStringList clean = DumpNetwork(network);
    ASSERT_GT(clean.size(), 90);
    ASSERT_TRUE(clean.contains("DAXO_2/AI/channel 1.LimitMin=200"));

    // Requests per module: the information block and the steps of its groups.
    const std::pair<int, int> requests[] = {{1, 4}, {2, 7}, {3, 2}};
    for (const auto& [address, count] : requests) {
        for (int at = 0; at < count; ++at) {
            network.Clear();
            hosts.searchEnded = false;
            sim->SetFault(*sim->FindModule(address), LateOnce(at, 130));
            Search(1, 3);
            EXPECT_EQ(hosts.statusText, "Find ok") << address << " at " << at;
            EXPECT_EQ(DumpNetwork(network), clean) << address << " at " << at;
        }
    }
}

TEST_F(SearchChecksTest, AStepThatGetsNoAnswerEndsTheSearchWithoutHalfADevice) {
    StartSimulator({{1, 0}, {2, 62}, {3, 0}});
    master.Retries = 0;
    sim->SetFault(*sim->FindModule(2), LateOnce(3, 130)); // step 4, the analog input upper limits

    Search(1, 3);

    EXPECT_EQ(hosts.statusText, "ERROR TIMEOUT");
    EXPECT_EQ(hosts.statusBarRefreshes, 1);
    EXPECT_FALSE(master.Connected);
    ASSERT_EQ(network.GetCount(), 1);
    EXPECT_NE(network.FindByAddress(1), nullptr);
    EXPECT_TRUE(Module(3).Log.empty()); // the search went no further
}

// One write answered past the timeout at each task of a send: with retries the send completes and the
// module holds everything; without, the send ends with the error before the store command, and the
// device keeps its modified mark.
TEST_F(SearchChecksTest, OneLateReplyAtAnyTaskOfASendStoresAllOrNothing) {
    StartSimulator({{1, 0}});
    // Wide margins on both sides of the timeout: an on-time reply on a loaded machine must never count
    // as late, or a retried store command would be counted twice.
    master.Timeout = 300;
    Search(1, 1);
    ASSERT_EQ(network.GetCount(), 1);
    TRemoteIO* d = network.GetItem(0);
    constexpr int kTasks = 6;
    for (const int retries : {2, 0}) {
        master.Retries = retries;
        for (int at = 0; at < kTasks; ++at) {
            const std::string where = "retries " + std::to_string(retries) + " at " + std::to_string(at);
            Edit(1, [](auto& s) {
                s.Pending.InputCounts[1] = false;
                s.Pending.Preset[1] = 0;
            });
            const auto before = Module(1);
            d->SetModified(true);
            hosts.statusText.clear();
            auto* t = NewWriter(d);
            AddWrite(t, 6, 1, 513, 1); // 9600, as it is
            AddWrite(t, 6, 1, 514, 1);
            AddWrite(t, 6, 1, 515, 3);
            AddWrite(t, 5, 1, 66, 0xFF00);
            AddWrite(t, 6, 1, 2, 777);
            AddWrite(t, 6, 1, 516, 0x6766);
            ASSERT_EQ(t->GetTaskCount(), kTasks);
            sim->SetFault(0, LateOnce(at, 450));
            const int result = Send(t);
            const auto after = Module(1);
            if (retries > 0) {
                EXPECT_EQ(result, 0) << where;
                EXPECT_EQ(hosts.statusText, "Save config ok.") << where;
                // A store command answered late was carried out by both attempts.
                EXPECT_EQ(after.Counters.Stores, before.Counters.Stores + (at == kTasks - 1 ? 2 : 1))
                    << where;
                EXPECT_TRUE(after.Stored.InputCounts[1]) << where;
                EXPECT_EQ(after.Stored.Preset[1], 777) << where;
                EXPECT_FALSE(d->Modified()) << where;
            } else {
                EXPECT_EQ(result, 2) << where;
                EXPECT_EQ(hosts.statusText, "ERROR TIMEOUT") << where;
                // Only a store command that was carried out but answered late stored: everything before
                // it was written by then.
                EXPECT_EQ(after.Counters.Stores, before.Counters.Stores + (at == kTasks - 1 ? 1 : 0))
                    << where;
                EXPECT_TRUE(d->Modified()) << where;
            }
            EXPECT_EQ(d->Comm()->CurrentAddress(), 1) << where;
            // Let a late answer still on its way land before the next pass.
            QThread::msleep(150);
        }
    }
}
