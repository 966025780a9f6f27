// What the search stores and what a spoiled reply may do to a search or a send: the real master over
// TCP against the module simulator.
#include "BusFixture.h"

#include <QMetaProperty>

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

// Every register value the search maps, each beside its neighbour across a bound: values the module
// does not define take the fallback of their table, and only a rate beyond the table is refused.
TEST_F(SearchChecksTest, EveryRegisterValueMapsAsItsTableSays) {
    using State = vdsim::TSimModuleState;
    struct TCase {
        int model;
        std::function<void(State&)> edit;
        std::function<bool(const TRemoteIO&)> holds;
        const char* what;
    };
    const auto format = [](TParity p, TStopbit b) {
        return [=](const TRemoteIO& d) { return d.Comm()->Parity() == p && d.Comm()->Stopbit() == b; };
    };
    const auto timeout = [](TRemoteIOTimeOut t) {
        return [=](const TRemoteIO& d) { return d.Timeout() == t; };
    };
    const auto function = [](TAnalogicInputFunction f) {
        return [=](const TRemoteIO& d) { return d.AnalogicInput()->GetChannel(0)->InputFunction() == f; };
    };
    const auto thermocouple = [](TRemoteTermopar t, TRemoteJunta j) {
        return [=](const TRemoteIO& d) {
            return d.TemperatureInput()->Termopar() == t && d.TemperatureInput()->TermoparJunta() == j;
        };
    };
    const auto baud = [](TBaudrate b) {
        return [=](const TRemoteIO& d) { return d.Comm()->Baudrate() == b; };
    };
    const TCase cases[] = {
        {0, [](State& s) { s.Pending.Baudrate = 4; }, baud(TBaudrate::BR_57600), "rate 4"},
        {0, [](State& s) { s.Pending.Baudrate = 5; }, baud(TBaudrate::BR_9600), "rate 5 refused"},
        {0, [](State& s) { s.Pending.Format = 0; }, format(TParity::Even, TStopbit::SB_1), "format 0"},
        {0, [](State& s) { s.Pending.Format = 1; }, format(TParity::Odd, TStopbit::SB_1), "format 1"},
        {0, [](State& s) { s.Pending.Format = 3; }, format(TParity::None, TStopbit::SB_1), "format 3"},
        {0, [](State& s) { s.Pending.Format = 4; }, format(TParity::Even, TStopbit::SB_1), "format 4"},
        {0, [](State& s) { s.Pending.Timeout = 19; }, timeout(TRemoteIOTimeOut::TM__950_MS), "timeout 19"},
        {0, [](State& s) { s.Pending.Timeout = 21; }, timeout(TRemoteIOTimeOut::TM_001_S), "timeout 21"},
        {0, [](State& s) { s.Pending.Timeout = 2400; }, timeout(TRemoteIOTimeOut::TM_120_S), "timeout 2400"},
        {0, [](State& s) { s.Pending.Timeout = 2401; }, timeout(TRemoteIOTimeOut::TM_001_S), "timeout 2401"},
        {0, [](State& s) { s.Pending.Timeout = 255; }, timeout(TRemoteIOTimeOut::TM_Sem_Timeout),
         "timeout 255"},
        {62, [](State& s) { s.Pending.Function[0] = 1; }, function(TAnalogicInputFunction::ifTensao10v),
         "function 1"},
        {62, [](State& s) { s.Pending.Function[0] = 2; }, function(TAnalogicInputFunction::ifCorrente0to20ma),
         "function 2"},
        {62, [](State& s) { s.Pending.Function[0] = 3; }, function(TAnalogicInputFunction::ifCorrente0to20ma),
         "function 3"},
        {62, [](State& s) { s.Pending.Function[0] = 0; }, function(TAnalogicInputFunction::ifCorrente0to20ma),
         "function 0"},
        {63, [](State& s) { s.Pending.Thermocouple = 0x87; },
         thermocouple(TRemoteTermopar::Tipo_N, TRemoteJunta::Sem_Junta_Fria), "type $87"},
        {63, [](State& s) { s.Pending.Thermocouple = 0x08; },
         thermocouple(TRemoteTermopar::Tipo_J, TRemoteJunta::Com_Junta_Fria), "type $08"},
    };
    std::vector<vdsim::TSimModuleDef> modules;
    for (int i = 0; i < int(std::size(cases)); ++i)
        modules.push_back({i + 1, cases[i].model});
    StartSimulator(modules);
    for (int i = 0; i < int(std::size(cases)); ++i)
        Edit(i + 1, cases[i].edit);

    Search(1, int(std::size(cases)));
    ASSERT_EQ(network.GetCount(), int(std::size(cases)));
    EXPECT_EQ(hosts.statusText, "Find ok");
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const TRemoteIO* d = network.FindByAddress(i + 1);
        ASSERT_NE(d, nullptr) << cases[i].what;
        EXPECT_TRUE(cases[i].holds(*d)) << cases[i].what;
    }
    EXPECT_EQ(hosts.logLines, QStringList{"Register 512 held 5: no baud rate; the default is kept."});
    EXPECT_TRUE(messages->requests.isEmpty()) << messages->Texts().join('|').toStdString();
}

// One reply late past the search timeout at each request the search sends: it is taken as the answer
// to its own request, and nothing that arrives afterwards is taken for the next step's.
TEST_F(SearchChecksTest, OneLateReplyAtAnyStepLeavesTheModelAsTheModuleIs) {
    // Late by a known margin, and every other reply in time, at the search's own short timeout.
    StartSimulatorOnScriptedLine({{1, 0}, {2, 62}, {3, 63}});
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

    // The late replies are late past the search's own timeout.
    TFindSlaveThread::SearchTimeoutMs = TFindSlaveThread::SearchTimeout;
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

TEST_F(SearchChecksTest, AStepThatFailsIsSkippedAndTheSearchGoesOn) {
    StartSimulator({{1, 0}, {2, 62}, {3, 0}});
    Edit(2, [](auto& s) {
        s.Pending.LimitMax = {3000, 2000, 0, 0};
        s.Pending.LimitMin = {100, 200, 0, 0};
    });
    // The baseline retries, so a busy machine cannot fail it; a retry repeats its request, and the
    // repeats are not counted in the position of step 4. Nor are the fences the master sends a module
    // it doubts after an answer a busy machine held back: the fault lets them through uncounted.
    master.Retries = 2;
    Search(2, 2);
    const auto clean = Module(2).Log;
    int before = 0;
    bool found = false;
    const vdsim::TSimRequestRecord* last = nullptr; // the request before, fences aside
    for (std::size_t i = 0; i < clean.size() && !found; ++i) {
        if (clean[i].Function == 8)
            continue;
        found = clean[i].Address == 112;
        const bool repeat = last != nullptr && clean[i].Function == last->Function &&
                            clean[i].Address == last->Address && clean[i].Value == last->Value;
        before += !found && !repeat ? 1 : 0;
        last = &clean[i];
    }
    ASSERT_TRUE(found);
    master.Retries = 0;
    network.Clear();
    hosts.searchEnded = false;
    vdsim::TSimFault refuse{vdsim::TSimFaultKind::Exception, 2, 1};
    refuse.Skip = before;
    sim->SetFault(*sim->FindModule(2), refuse);

    Search(1, 3);

    EXPECT_EQ(hosts.statusText, "Find ended, some settings not read.");
    ASSERT_EQ(network.GetCount(), 3);
    EXPECT_TRUE(network.FindByAddress(2)->NotFullyRead());
    EXPECT_FALSE(network.FindByAddress(1)->NotFullyRead());
    const TAnalogicInput* inputs = network.FindByAddress(2)->AnalogicInput();
    ASSERT_NE(inputs, nullptr);
    ASSERT_EQ(inputs->GetCount(), 2);
    TTreeNodes otherNodes;
    TRemoteIONetwork fresh{nullptr, &otherNodes, nullptr};
    TRemoteIO* defaults = fresh.AddRemoteIO();
    defaults->Information()->SetModelCode(62);
    EXPECT_EQ(inputs->GetChannel(0)->LimitMax(), defaults->AnalogicInput()->GetChannel(0)->LimitMax());
    EXPECT_EQ(inputs->GetChannel(1)->LimitMin(), 200); // the step after it was read
    EXPECT_EQ(hosts.logLines, QStringList{"Address 2, step 4: ERROR EXCEPTION:ILLEGAL DATA ADDRESS"});
    EXPECT_FALSE(Module(3).Log.empty()); // the module after it was asked
}

// One write answered past the timeout at each task of a send: with retries the send completes and the
// module holds everything; without, the send ends with the error before the store command, and the
// device keeps its modified mark.
TEST_F(SearchChecksTest, OneLateReplyAtAnyTaskOfASendStoresAllOrNothing) {
    // Each reply in time or late exactly as the fault says: an on-time reply counted as late would have
    // a retried store command counted twice.
    StartSimulatorOnScriptedLine({{1, 0}});
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
            // Half way into the retry's window: the first attempt's answer is the retry's, and the
            // retry's own answer, a copy of it, follows.
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
            // A late answer still on its way lands before the next pass.
            line->WaitAllArrived();
        }
    }
}
