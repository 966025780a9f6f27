// Stopping the diagnostics or closing the main window while a silent module keeps a request waiting
// ends that request at once, whatever Timeout and Retries say; a bus that went away is tried once per
// connect attempt, not by a stream of requests that fail at once.
#include <QElapsedTimer>

#include "DiagFixture.h"
#include "tests/support/ModbusTestSlave.h"

class SupervisionStopTest : public DiagFixture {
protected:
    // Diagnostics of a silent module at 1 with Timeout 60 s and 10 retries, a request in flight.
    void StartWaitingOnASilentModule() {
        StartBus({{1, 0}});
        sim->SetFault(ModuleIndex(1), {vdsim::TSimFaultKind::Silent, 0, 0});
        ModbusMaster->Timeout = 60000;
        ModbusMaster->Retries = 10;
        StartDiagnostics(AddDevice(1, 0));
        ASSERT_TRUE(ServeUntil([&] { return sim->Bus().Counters().Frames >= 1; }));
    }
};

// A request that waited out its Timeout and Retries would hold the window for 660 s; the bound below is
// far from both that and the 200 ms a stop takes, so that a busy machine cannot fail it.
constexpr qint64 kFarBelowTheRequest = 20000;

TEST_F(SupervisionStopTest, StopEndsTheRequestInFlight) {
    StartWaitingOnASilentModule();
    QElapsedTimer stop;
    stop.start();
    StopDiagnostics();
    EXPECT_LT(stop.elapsed(), kFarBelowTheRequest);
    EXPECT_EQ(SupervisionThread, nullptr);
    EXPECT_EQ(Panel(3), "End diagnostics");
    // The request the stop ended is no error of the module.
    EXPECT_EQ(Panel(5), "ER:0");
    EXPECT_FALSE(ModbusMaster->Connected);
    // The line is in a known state: the next start reads the module at once.
    sim->SetFault(ModuleIndex(1), {});
    ModbusMaster->Timeout = 200;
    StartDiagnostics(FormMain->Network->GetItem(0));
    EXPECT_TRUE(ServeResults(1));
}

TEST_F(SupervisionStopTest, ClosingTheWindowEndsTheRequestInFlight) {
    StartWaitingOnASilentModule();
    QElapsedTimer close;
    close.start();
    FormMain->close();
    EXPECT_LT(close.elapsed(), kFarBelowTheRequest);
    EXPECT_EQ(SupervisionThread, nullptr);
    EXPECT_FALSE(FormMain->DiagnosticRunning);
}

// While the bus is gone, each connect attempt (one per Timeout) shows one error, not a stream of them.
TEST_F(SupervisionStopTest, ALostBusCountsAboutOneErrorPerConnectAttempt) {
    // A gateway that closes the connection on every request it gets.
    ModbusTestSlave gateway(ModbusTestSlave::Link::Tcp);
    StartWindows(gateway.Port());
    ModbusMaster->Timeout = 200;
    StartDiagnostics(AddDevice(1, 0));
    ASSERT_TRUE(ServeResults(2));
    SlaveBehaviour drop;
    drop.Fault = SlaveFault::DropConnection;
    gateway.SetBehaviour(drop);
    ASSERT_TRUE(ServeUntil([&] { return Panel(3) == "ERROR CONNECTION"; })) << Panel(3).toStdString();
    const auto errors = [&] { return Panel(5).mid(3).toInt(); };
    const int before = errors();
    QElapsedTimer span;
    span.start();
    ServeUntil([] { return false; }, 1000);
    const qint64 elapsed = span.elapsed();
    // One connect per 200 ms, each failing once: a busy machine only makes fewer.
    EXPECT_LE(errors() - before, 2 + elapsed / 200);
    EXPECT_GE(errors() - before, 1);
    StopDiagnostics();
}
