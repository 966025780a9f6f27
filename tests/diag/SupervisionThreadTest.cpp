// The supervision thread without the main window: the real master over TCP against the simulator and
// a recording host with its own grids.
#include "FreePort.h"
#include "classlib/StringGrid.h"
#include "classlib/TreeNodes.h"
#include "comm/CommunicationThread.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "model/IOClasses.h"
#include "tests/support/StillSimulator.h"
#include "tools/sim/Simulator.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <map>

namespace {

class TRecordingHost : public TSupervisionHost {
public:
    TStringGrid* Grid(TDiagnosticGrid grid) override {
        auto it = grids.find(grid);
        return it == grids.end() ? nullptr : it->second.get();
    }
    int EditingRow(TDiagnosticGrid grid) override { return editing[grid]; }
    void SetStatusPanel(int panel, const QString& text) override {
        panels[panel] = text;
        if (panel == 3)
            panel3Writes++;
    }
    void AddLogLine(const QString& line) override { log << line; }
    void UpdateEnergyMeter(const TRegisterArray& registers, int kind) override {
        meterKinds << kind;
        meterFirst << registers.GetValue(0);
    }
    void SupervisionEnded() override { ended = true; }

    TStringGrid* AddGrid(TDiagnosticGrid which, int cols, int rows) {
        auto grid = std::make_unique<TStringGrid>();
        grid->SetColCount(cols);
        grid->SetRowCount(rows);
        return (grids[which] = std::move(grid)).get();
    }

    std::map<TDiagnosticGrid, std::unique_ptr<TStringGrid>> grids;
    std::map<TDiagnosticGrid, int> editing;
    std::map<int, QString> panels;
    int panel3Writes = 0;
    QStringList log;
    QList<int> meterKinds;
    QList<int> meterFirst;
    bool ended = false;
};

} // namespace

class SupervisionThreadTest : public ::testing::Test {
protected:
    void StartSimulator(std::vector<vdsim::TSimModuleDef> modules) {
        sim = StartStillSimulator(std::move(modules));
        UsePort(sim->Port());
    }
    void UsePort(int port) {
        master.ConnectionType = 1;
        master.Socket->Host = QStringLiteral("127.0.0.1");
        master.Socket->Port = port;
        master.Timeout = 200;
        master.Retries = 0;
    }
    TRemoteIO* Device(int address, int model) {
        TRemoteIO* d = network.AddRemoteIO();
        d->Comm()->SetCurrentAddress(address);
        d->Comm()->SetAddress(address);
        d->Information()->SetModelCode(model);
        return d;
    }
    static void Fill(TCommunicationTask* t, TRemoteIO* target, int function, int slave, int number, int count,
                     int column, int kind) {
        t->Target = target;
        t->FunctionCode = quint8(function);
        t->Slave = quint8(slave);
        t->Number = quint16(number);
        t->Count = quint16(count);
        t->Column = column;
        t->DisplayKind = kind;
    }
    static bool ServeUntil(const std::function<bool()>& done) {
        QElapsedTimer guard; // a hang guard only
        guard.start();
        while (!done() && guard.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            TThread::CheckSynchronize();
        }
        return done();
    }
    vdsim::TSimModuleState Module(int address) { return sim->State(sim->FindModule(address).value()); }
    TSupervisionThread* NewThread() {
        thread.reset(TThread::Create<TSupervisionThread>(true, &master, &host));
        return thread.get();
    }

    TTreeNodes nodes;
    TRemoteIONetwork network{nullptr, &nodes, nullptr};
    TModbusSerialTCPMaster master;
    TRecordingHost host;
    std::unique_ptr<vdsim::TSimulator> sim;
    TThreadPtr<TSupervisionThread> thread;
};

TEST_F(SupervisionThreadTest, WritesCommittedBackToBackAreAllSentInOrder) {
    StartSimulator({{1, 0}});
    TSupervisionThread* t = NewThread();
    t->Resume();
    // Several clicks before the worker comes round: none of them is lost.
    for (int coil : {1, 2, 3}) {
        TCommunicationTask* w = t->NewWriteTask();
        Fill(w, nullptr, 5, 1, coil, 0, 0, 0);
        w->SetValue(0xFF00);
        t->CommitWriteTask();
    }
    ASSERT_TRUE(ServeUntil([&] { return host.log.size() >= 9; }));
    const auto state = Module(1);
    EXPECT_TRUE(state.Live.OutputState[0]);
    EXPECT_TRUE(state.Live.OutputState[1]);
    QList<int> order;
    for (const auto& r : state.Log)
        if (r.Function == 5)
            order << r.Address;
    EXPECT_EQ(order, QList<int>({0, 1, 2}));

    // A write has no target: it reaches the log and panels 4 and 5, never panel 3 or the counters.
    EXPECT_EQ(host.panel3Writes, 0);
    EXPECT_EQ(host.panels[4], "OK:0");
    EXPECT_EQ(host.panels[5], "ER:0");
    ASSERT_GE(host.log.size(), 9);
    EXPECT_EQ(host.log.at(0), "TX:01,05,00,00,FF,00,8C,3A");
    EXPECT_TRUE(host.log.at(1).startsWith("RX:01,05,00,00,FF,00,8C,3A:"));
    EXPECT_EQ(host.log.at(2), "");

    thread.reset();
    EXPECT_TRUE(host.ended);
    EXPECT_EQ(host.panels[3], "End diagnostics");
}

TEST_F(SupervisionThreadTest, EditedRowIsLeftAloneAndFailuresKeepTheLastValues) {
    StartSimulator({{2, 62}});
    TRemoteIO* d = Device(2, 62);
    TStringGrid* ao = host.AddGrid(TDiagnosticGrid::AnalogicOutput, 3, 3);
    ao->SetCells(1, 1, QStringLiteral("typed"));
    host.editing[TDiagnosticGrid::AnalogicOutput] = 1;
    sim->WithModule(0, [](vdsim::TSimModule& m) {
        m.Poke(vdsim::TSimTable::Holding, 302, 10);
        m.Poke(vdsim::TSimTable::Holding, 303, 20);
    });
    TSupervisionThread* t = NewThread();
    Fill(t->AddTask(), d, 3, 2, 303, 2, 1, DisplayKind::AnalogicOutput);
    Fill(t->AddTask(), d, 3, 2, 9999, 1, 2, DisplayKind::AnalogicOutput); // outside the map
    t->Resume();
    ASSERT_TRUE(ServeUntil([&] { return ao->Cells(1, 2) == "20" && t->ErrorCount() > 0; }));
    EXPECT_EQ(ao->Cells(1, 1), "typed");
    EXPECT_TRUE(ao->Cells(2, 1).isEmpty());
    EXPECT_EQ(host.panels[5], "ER:" + QString::number(t->ErrorCount()));
    EXPECT_TRUE(std::any_of(host.log.begin(), host.log.end(), [](const QString& l) {
        return l.startsWith("RX:") && l.endsWith(":ERROR EXCEPTION:ILLEGAL DATA ADDRESS");
    }));

    host.editing[TDiagnosticGrid::AnalogicOutput] = 0;
    ASSERT_TRUE(ServeUntil([&] { return ao->Cells(1, 1) == "10"; }));
}

TEST_F(SupervisionThreadTest, EnergyMeterLinesGoToTheMeterViewAtBothAddresses) {
    StartSimulator({{8, 100}});
    TRemoteIO* d = Device(8, 100);
    sim->WithModule(0, [](vdsim::TSimModule& m) {
        m.Poke(vdsim::TSimTable::Holding, 1, 41);
        m.Poke(vdsim::TSimTable::Holding, 1, 42, vdsim::TSimUnit::MeterLine2);
    });
    TSupervisionThread* t = NewThread();
    Fill(t->AddTask(), d, 3, 8, 2, 12, 0, DisplayKind::EnergyMeterLine1);
    Fill(t->AddTask(), d, 3, 10, 2, 12, 0, DisplayKind::EnergyMeterLine2);
    t->Resume();
    ASSERT_TRUE(ServeUntil([&] { return host.meterKinds.size() >= 2; }));
    EXPECT_EQ(host.meterKinds.mid(0, 2), QList<int>({7, 8}));
    EXPECT_EQ(host.meterFirst.mid(0, 2), QList<int>({41, 42}));
    EXPECT_EQ(host.panels[3], "COMMUNICATION OK !");
}

TEST_F(SupervisionThreadTest, NoConnectionEndsAtOnceWithTheConnectionError) {
    const int port = UnusedLoopbackPort();
    ASSERT_NE(port, 0);
    UsePort(port);
    TRemoteIO* d = Device(1, 0);
    TSupervisionThread* t = NewThread();
    Fill(t->AddTask(), d, 1, 1, 1, 4, 0, 0);
    t->Resume();
    ASSERT_TRUE(ServeUntil([&] { return host.ended; }));
    EXPECT_EQ(t->Result(), 1);
    EXPECT_EQ(host.panels[3], "ERROR CONNECTION");
    EXPECT_EQ(t->TaskCount(), 0); // freed by the end handler
    EXPECT_TRUE(host.log.isEmpty());
}

TEST_F(SupervisionThreadTest, ThreadWithoutPollTasksStillSendsWritesAndStops) {
    StartSimulator({{1, 0}});
    TSupervisionThread* t = NewThread();
    t->Resume();
    // A first write shows the worker connected and serving (the master's own flag is the worker's).
    TCommunicationTask* first = t->NewWriteTask();
    Fill(first, nullptr, 6, 1, 34, 0, 0, 0);
    first->SetValue(1);
    t->CommitWriteTask();
    ASSERT_TRUE(ServeUntil([&] { return Module(1).Live.PulseCounter[1] == 1; }));
    TCommunicationTask* w = t->NewWriteTask();
    Fill(w, nullptr, 6, 1, 33, 0, 0, 0);
    w->SetValue(4321);
    // Not committed yet: the worker does not see it.
    QElapsedTimer wait;
    wait.start();
    ServeUntil([&] { return wait.elapsed() > 200; });
    EXPECT_EQ(Module(1).Live.PulseCounter[0], 0);
    t->CommitWriteTask();
    ASSERT_TRUE(ServeUntil([&] { return Module(1).Live.PulseCounter[0] == 4321; }));
    thread.reset();
    EXPECT_TRUE(host.ended);
    EXPECT_FALSE(master.Connected);
}
