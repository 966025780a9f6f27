// Diagnostics on a bus in the field: a simulator that goes away and comes back on the same port, and a
// module that answers after the timeout.
#include "DiagFixture.h"
#include <set>

class SupervisionRecoveryTest : public DiagFixture {
protected:
    // Every cell the analog polls of a model-62 module feed, with the value its own register holds.
    struct TCell {
        TDiagnosticStringGrid* grid;
        int col;
        int row;
        QString expected;
    };
    std::vector<TCell> FillAnalogRegisters(int address) {
        struct TPoll {
            TDiagnosticStringGrid* grid;
            int col;
            int wire;
            int base;
        };
        const TPoll polls[] = {{View().sgAnalogicInput, 1, 104, 1100},
                               {View().sgAnalogicInput, 2, 108, 1200},
                               {View().sgAnalogicInput, 3, 112, 1300},
                               {View().sgAnalogicOutput, 1, 302, 1400},
                               {View().sgAnalogicOutput, 2, 304, 1500}};
        std::vector<TCell> cells;
        for (const TPoll& p : polls)
            for (int i = 0; i < 2; ++i) {
                PokeHolding(address, p.wire + i, p.base + i);
                cells.push_back({p.grid, p.col, i + 1, QString::number(p.base + i)});
            }
        return cells;
    }
};

TEST_F(SupervisionRecoveryTest, ASimulatorStoppedAndStartedAgainIsSupervisedWithoutAClick) {
    StartBus({{2, 62}});
    TRemoteIO* d = AddDevice(2, 62);
    PokeHolding(2, 104, 1111);
    StartDiagnostics(d);
    TDiagnosticStringGrid* ai = View().sgAnalogicInput;
    ASSERT_TRUE(ServeUntil([&] { return ai->Cells(1, 1) == "1111"; }));

    const int port = sim->Port();
    sim.reset();
    ASSERT_TRUE(ServeUntil([&] { return Panel(3) == "ERROR CONNECTION"; }));
    EXPECT_TRUE(FormMain->DiagnosticRunning);

    vdsim::TSimOptions options;
    options.Modules = {{2, 62}};
    options.Port = port;
    options.Still = true;
    sim = std::make_unique<vdsim::TSimulator>(options);
    sim->Start();
    PokeHolding(2, 104, 2222);
    ASSERT_TRUE(ServeUntil([&] { return ai->Cells(1, 1) == "2222"; }));
    EXPECT_EQ(Panel(3), "COMMUNICATION OK !");
    EXPECT_TRUE(FormMain->DiagnosticRunning);
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(SupervisionRecoveryTest, ALateModuleNeverPutsAnotherRegistersValueInACell) {
    StartBus({{2, 62}});
    TRemoteIO* d = AddDevice(2, 62);
    const std::vector<TCell> cells = FillAnalogRegisters(2);
    ASSERT_EQ(cells.size(), 10u);
    // 1.5 x the timeout (200 ms): every first attempt goes unanswered, and its answer comes in the
    // retry's window; without a retry every poll fails with the timeout.
    ModbusMaster->Retries = 2;
    StartDiagnostics(d);
    sim->SetFault(ModuleIndex(2), {vdsim::TSimFaultKind::Late, 300, 0});
    std::set<std::string> wrong;
    const auto allShown = [&] {
        bool all = true;
        for (const TCell& c : cells) {
            const QString text = c.grid->Cells(c.col, c.row);
            if (!text.isEmpty() && text != c.expected)
                wrong.insert(text.toStdString() + " where " + c.expected.toStdString() + " belongs");
            all = all && text == c.expected;
        }
        return all;
    };
    // Every cell shown, then another round of every poll.
    EXPECT_TRUE(ServeUntil(allShown, 30000) && ServeResults(5));
    allShown();
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong values, first: " << *wrong.begin();
}
