// Requests per second of a 17-register read against the test slave over TCP loopback and a
// pseudo-terminal, and the processor time a request spends waiting 200 ms for a late reply.
#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>

#include "comm/ModbusSerialTCPMaster.h"
#include "tests/support/ModbusTestSlave.h"

namespace {

using Link = ModbusTestSlave::Link;

struct Bench {
    explicit Bench(Link link) : slave(std::make_unique<ModbusTestSlave>(link)) {
        if (link == Link::Tcp) {
            master.ConnectionType = 1;
            master.Socket->Host = QStringLiteral("127.0.0.1");
            master.Socket->Port = slave->Port();
        } else {
            master.SerialPort->PortName = QString::fromStdString(slave->DevicePath());
            master.SerialPort->BaudRate = 57600;
        }
        master.Timeout = 1000;
        master.Retries = 0;
    }
    std::unique_ptr<ModbusTestSlave> slave;
    TModbusSerialTCPMaster master;
};

double Seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void ReadSeventeenRegisters(benchmark::State& state, Link link) {
    Bench bench(link);
    if (!bench.master.Connect()) {
        state.SkipWithError("no connection");
        return;
    }
    for (auto _ : state) {
        if (!bench.master.ReadHoldingRegisters(1, 512, 17)) {
            state.SkipWithError(bench.master.ErrorText().toStdString().c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["requests/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void WaitForLateReply(benchmark::State& state, Link link) {
    Bench bench(link);
    if (!bench.master.Connect()) {
        state.SkipWithError("no connection");
        return;
    }
    SlaveBehaviour late;
    late.Fault = SlaveFault::Late;
    late.DelayMs = 200;
    bench.slave->SetBehaviour(late);
    double wall = 0, threadCpu = 0, processCpu = 0;
    for (auto _ : state) {
        const double w0 = Seconds(CLOCK_MONOTONIC);
        const double t0 = Seconds(CLOCK_THREAD_CPUTIME_ID);
        const double p0 = Seconds(CLOCK_PROCESS_CPUTIME_ID);
        if (!bench.master.ReadHoldingRegisters(1, 512, 17)) {
            state.SkipWithError(bench.master.ErrorText().toStdString().c_str());
            break;
        }
        wall += Seconds(CLOCK_MONOTONIC) - w0;
        threadCpu += Seconds(CLOCK_THREAD_CPUTIME_ID) - t0;
        processCpu += Seconds(CLOCK_PROCESS_CPUTIME_ID) - p0;
    }
    if (wall > 0) {
        state.counters["master_cpu_%"] = 100.0 * threadCpu / wall;
        state.counters["process_cpu_%"] = 100.0 * processCpu / wall;
    }
}

BENCHMARK_CAPTURE(ReadSeventeenRegisters, Tcp, Link::Tcp)->UseRealTime();
BENCHMARK_CAPTURE(ReadSeventeenRegisters, Pty, Link::Pty)->UseRealTime();
BENCHMARK_CAPTURE(WaitForLateReply, Tcp, Link::Tcp)
    ->UseRealTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WaitForLateReply, Pty, Link::Pty)
    ->UseRealTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
