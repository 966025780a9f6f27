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

namespace {
// A column of a grid whose data rows a device's polls feed.
struct TFedColumn {
    TDiagnosticStringGrid* grid;
    int col;
};
// Whether every data row of every column is drawn as current (or every one as not current).
bool AllDrawnAs(const std::vector<TFedColumn>& columns, bool current) {
    for (const auto& [grid, col] : columns)
        for (int row = 1; row < grid->RowCount(); ++row)
            if (grid->IsCurrent(col, row) != current)
                return false;
    return true;
}
// The darkest grey of a cell as the grid paints it: its text.
int DarkestGrey(TDiagnosticStringGrid* grid, int col, int row) {
    const QImage cell = grid->viewport()->grab(grid->CellRect(col, row)).toImage();
    int darkest = 255;
    for (int y = 0; y < cell.height(); ++y)
        for (int x = 0; x < cell.width(); ++x)
            darkest = std::min(darkest, qGray(cell.pixel(x, y)));
    return darkest;
}
} // namespace

TEST_F(SupervisionFailureTest, AFailedPollGreysTheCellsItFeedsUntilAGoodReplyWritesThemAgain) {
    StartBus({{2, 62}, {1, 0}});
    for (const auto& [address, model] : {std::pair{2, 62}, std::pair{1, 0}}) {
        TRemoteIO* d = AddDevice(address, model);
        StartDiagnostics(d);
        const std::vector<TFedColumn> fed = model == 62
                                                ? std::vector<TFedColumn>{{View().sgAnalogicInput, 1},
                                                                          {View().sgAnalogicInput, 2},
                                                                          {View().sgAnalogicInput, 3},
                                                                          {View().sgAnalogicOutput, 1},
                                                                          {View().sgAnalogicOutput, 2}}
                                                : std::vector<TFedColumn>{{View().sgDigitalInput, 1},
                                                                          {View().sgDigitalInput, 2},
                                                                          {View().sgDigitalInput, 3},
                                                                          {View().sgDigitalOutput, 1}};
        ASSERT_TRUE(ServeResults(int(fed.size())));
        ASSERT_TRUE(AllDrawnAs(fed, true));
        const QString value = fed[0].grid->Cells(fed[0].col, 2);

        sim->SetFault(ModuleIndex(address), {vdsim::TSimFaultKind::Silent, 0, 0});
        ASSERT_TRUE(ServeUntil([&] { return AllDrawnAs(fed, false); })) << model;
        EXPECT_EQ(fed[0].grid->Cells(fed[0].col, 2), value); // still readable
        EXPECT_TRUE(fed[0].grid->IsCurrent(0, 1));           // the names are no values
        if (model == 62)
            EXPECT_GE(DarkestGrey(View().sgAnalogicInput, 1, 2), 0x70); // grey, not black

        sim->SetFault(ModuleIndex(address), {});
        ASSERT_TRUE(ServeUntil([&] { return AllDrawnAs(fed, true); })) << model;
        if (model == 62)
            EXPECT_LT(DarkestGrey(View().sgAnalogicInput, 1, 2), 0x40);
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
