// Diagnostics when things go wrong or end: a module that stops answering, a bus that cannot be
// reached, the main window closed while the thread runs, and the commands refused meanwhile.
#include "DiagFixture.h"
#include "FreePort.h"
#include "comm/CommunicationThread.h"

class SupervisionFailureTest : public DiagFixture {};

TEST_F(SupervisionFailureTest, SilentModuleShowsTheErrorKeepsTheValuesAndStopsCleanly) {
    StartBus({{2, 62}});
    TRemoteIO* d = AddDevice(2, 62);
    PokeHolding(2, 104, 1111);
    StartDiagnostics(d);
    TDiagnosticStringGrid* ai = View().sgAnalogicInput;
    ASSERT_TRUE(ServeUntil([&] { return ai->Cells(1, 1) == "1111"; }));

    sim->SetFault(ModuleIndex(2), {vdsim::TSimFaultKind::Silent, 0, 0});
    ASSERT_TRUE(ServeUntil([&] { return Panel(3) == "ERROR TIMEOUT"; }));
    ASSERT_TRUE(ServeUntil([&] { return Panel(5) == "ER:2"; }));
    EXPECT_EQ(ai->Cells(1, 1), "1111");
    EXPECT_TRUE(FormMain->DiagnosticRunning);

    // The next good reply shows the module is back.
    sim->SetFault(ModuleIndex(2), {});
    ASSERT_TRUE(ServeUntil([&] { return Panel(3) == "COMMUNICATION OK !"; }));

    // A stop while requests time out still ends, with the tasks freed.
    sim->SetFault(ModuleIndex(2), {vdsim::TSimFaultKind::Silent, 0, 0});
    ServeUntil([&] { return Panel(3) == "ERROR TIMEOUT"; });
    StopDiagnostics();
    EXPECT_EQ(SupervisionThread, nullptr);
    EXPECT_FALSE(FormMain->DiagnosticRunning);
    EXPECT_EQ(Panel(3), "End diagnostics");
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(SupervisionFailureTest, AFailedPollGreysTheCellsItFeedsUntilAGoodReplyWritesThemAgain) {
    StartBus({{2, 62}, {1, 0}});
    auto& v = View();
    // Per module: the grids and columns its polls feed.
    const std::vector<std::pair<TDiagnosticStringGrid*, int>> analog{{v.sgAnalogicInput, 1},
                                                                     {v.sgAnalogicInput, 2},
                                                                     {v.sgAnalogicInput, 3},
                                                                     {v.sgAnalogicOutput, 1},
                                                                     {v.sgAnalogicOutput, 2}},
        digital{{v.sgDigitalInput, 1}, {v.sgDigitalInput, 2}, {v.sgDigitalInput, 3}, {v.sgDigitalOutput, 1}};
    for (const auto& [address, fed] : {std::pair{2, analog}, std::pair{1, digital}}) {
        const auto drawnAs = [&fed](bool current) {
            for (const auto& [grid, col] : fed)
                for (int row = 1; row < grid->RowCount(); ++row)
                    if (grid->IsCurrent(col, row) != current)
                        return false;
            return true;
        };
        // The darkest grey of a value cell as painted: its text.
        const auto darkest = [&] {
            const QImage cell =
                v.sgAnalogicInput->viewport()->grab(v.sgAnalogicInput->CellRect(1, 2)).toImage();
            int grey = 255;
            for (int y = 0; y < cell.height(); ++y)
                for (int x = 0; x < cell.width(); ++x)
                    grey = std::min(grey, qGray(cell.pixel(x, y)));
            return grey;
        };
        StartDiagnostics(AddDevice(address, address == 2 ? 62 : 0));
        ASSERT_TRUE(ServeResults(int(fed.size())));
        ASSERT_TRUE(drawnAs(true));
        const QString value = fed[0].first->Cells(fed[0].second, 2);

        sim->SetFault(ModuleIndex(address), {vdsim::TSimFaultKind::Silent, 0, 0});
        ASSERT_TRUE(ServeUntil([&] { return drawnAs(false); })) << address;
        EXPECT_EQ(fed[0].first->Cells(fed[0].second, 2), value); // still readable
        EXPECT_TRUE(fed[0].first->IsCurrent(0, 1));              // the names are no values
        if (address == 2) {
            EXPECT_GE(darkest(), 0x70); // grey, not black
        }

        sim->SetFault(ModuleIndex(address), {});
        ASSERT_TRUE(ServeUntil([&] { return drawnAs(true); })) << address;
        if (address == 2) {
            EXPECT_LT(darkest(), 0x40);
        }
        StopDiagnostics();
    }
}

TEST_F(SupervisionFailureTest, UnreachableBusEndsTheThreadWithTheConnectionError) {
    // A port that was free a moment ago: nothing listens there now.
    const int port = UnusedLoopbackPort();
    ASSERT_NE(port, 0);
    StartWindows(port);
    TRemoteIO* d = AddDevice(1, 0);
    StartDiagnostics(d);
    ASSERT_TRUE(ServeUntil([&] { return !FormMain->DiagnosticRunning; }));
    EXPECT_EQ(Panel(3), "ERROR CONNECTION");
    // The button stays at "Stop diagnostic" until pressed; Setup works again meanwhile.
    EXPECT_EQ(Ui().btDiagnostic->text(), "Stop diagnostic");
    EXPECT_EQ(View().btDiagnosticTag, 1);
    StopDiagnostics();
    EXPECT_EQ(SupervisionThread, nullptr);
    EXPECT_EQ(Ui().btDiagnostic->text(), "Start diagnostic");
    EXPECT_TRUE(Ui().tvNetwork->isEnabled());
    EXPECT_EQ(Panel(3), "ERROR CONNECTION");
}

TEST_F(SupervisionFailureTest, ConnectionDroppedWhilePollingShowsTheErrorWithoutHanging) {
    StartBus({{1, 0}});
    TRemoteIO* d = AddDevice(1, 0);
    StartDiagnostics(d);
    ASSERT_TRUE(ServeResults(2));
    sim->Stop();
    ASSERT_TRUE(ServeUntil([&] { return Panel(3).startsWith("ERROR"); }));
    EXPECT_NE(Panel(5), "ER:0");
    StopDiagnostics();
    EXPECT_EQ(SupervisionThread, nullptr);
}

TEST_F(SupervisionFailureTest, CommandsThatNeedTheBusAreRefusedWhileDiagnosticsRun) {
    StartBus({{1, 0}});
    TRemoteIO* d = AddDevice(1, 0);
    StartDiagnostics(d);
    FormMain->OutlookBtn_SetupClick();
    FormMain->OutlookBtn_FindClick();
    FormMain->SendConfig(d);
    EXPECT_EQ(Messages(),
              QStringList({"Can not config comm while connected !", "Can not find while connected!",
                           "Can not send config while diagnostic."}));
    for (const auto& r : app.presenter->requests)
        EXPECT_EQ(r.type, TMsgDlgType::mtError);
    EXPECT_TRUE(FormMain->DiagnosticRunning);
    EXPECT_EQ(Module(1).Counters.Stores, 0u);
}

TEST_F(SupervisionFailureTest, ClosingTheMainWindowStopsTheSupervisionFirst) {
    StartBus({{1, 0}});
    TRemoteIO* d = AddDevice(1, 0);
    StartDiagnostics(d);
    ASSERT_TRUE(ServeResults(1));
    FormMain->close();
    EXPECT_EQ(SupervisionThread, nullptr);
    EXPECT_FALSE(FormMain->DiagnosticRunning);
    EXPECT_EQ(Panel(3), "End diagnostics");
    EXPECT_FALSE(ModbusMaster->Connected);
    EXPECT_TRUE(app.ReadSettings().contains("Baudrate"));
}

TEST_F(SupervisionFailureTest, DestroyingTheWindowsWhileDiagnosticsRunEndsTheThread) {
    StartBus({{1, 0}});
    TRemoteIO* d = AddDevice(1, 0);
    StartDiagnostics(d);
    ASSERT_TRUE(ServeResults(1));
    app.Stop();
    EXPECT_EQ(SupervisionThread, nullptr);
    EXPECT_EQ(FormMain, nullptr);
}

TEST_F(SupervisionFailureTest, EachStartShowsOnlyItsOwnDevicesStatusAlsoWithNothingToPoll) {
    StartBus({{1, 0}, {2, 62}, {77, 77}});
    TRemoteIO* digital = AddDevice(1, 0);
    TRemoteIO* analog = AddDevice(2, 62);
    TRemoteIO* unknown = AddDevice(77, 77);
    StartDiagnostics(digital);
    ASSERT_TRUE(ServeResults(15));
    StopDiagnostics();
    EXPECT_EQ(Panel(3), "End diagnostics");

    // A module that does not answer: only failures count.
    sim->SetFault(ModuleIndex(2), {vdsim::TSimFaultKind::Silent, 0, 0});
    StartDiagnostics(analog);
    EXPECT_EQ(Panel(3), "");
    EXPECT_EQ(Panel(4), "OK:0");
    EXPECT_EQ(Panel(5), "ER:0");
    ASSERT_TRUE(ServeUntil([&] { return Panel(5) == "ER:2"; }));
    EXPECT_EQ(Panel(4), "OK:0");
    StopDiagnostics();

    // Nothing to poll: the panels say so and keep saying it while the diagnostics run.
    StartDiagnostics(unknown);
    EXPECT_EQ(SupervisionThread->TaskCount(), 0);
    EXPECT_EQ(Panel(3), "This device has no values to show.");
    EXPECT_EQ(Panel(4), "OK:0");
    EXPECT_EQ(Panel(5), "ER:0");
    ServeUntil([] { return false; }, 300);
    EXPECT_EQ(Panel(3), "This device has no values to show.");
    EXPECT_EQ(Panel(4), "OK:0");
    StopDiagnostics();
    EXPECT_EQ(Panel(3), "End diagnostics");

    StartDiagnostics(digital);
    EXPECT_EQ(Panel(4), "OK:0");
    ASSERT_TRUE(ServeResults(1));
    EXPECT_EQ(Panel(3), "COMMUNICATION OK !");
    EXPECT_EQ(Panel(5), "ER:0");
    EXPECT_TRUE(Messages().isEmpty());
}
