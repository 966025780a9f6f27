// The master against the project's simulator: a module at 1 whose answer to one read comes too late
// is fenced before its next reply is taken, whether it echoes the fence, refuses it or ignores it.
#include <gtest/gtest.h>

#include "comm/ModbusSerialTCPMaster.h"
#include "comm/SlaveOrder.h"
#include "tests/support/StillSimulator.h"

namespace {

using vdsim::TSimFault;
using vdsim::TSimFaultKind;

constexpr int kTimeout = 60;

class FenceOnSimulator : public ::testing::TestWithParam<TSimFaultKind> {
protected:
    void SetUp() override {
        sim = StartStillSimulator({{1, 0}});
        // The counter presets at holding registers 0 to 7 hold different values.
        sim->WithModule(0, [](vdsim::TSimModule& m) {
            for (int i = 0; i < 8; ++i) {
                m.State().Pending.InputCounts[std::size_t(i)] = true;
                m.State().Pending.Preset[std::size_t(i)] = std::uint16_t(100 * (i + 1));
            }
        });
        sim->SetFault(0, {GetParam()});
        sim->Bus().SetPunctuality(std::chrono::milliseconds(kTimeout));
        master.ConnectionType = 1;
        master.Socket->Host = QStringLiteral("127.0.0.1");
        master.Socket->Port = sim->Port();
        master.Timeout = kTimeout;
        master.Retries = 0;
        ASSERT_TRUE(master.Connect());
    }
    // Reads preset i; false when the read failed, and a failure of the test when it carried other values.
    bool ReadPreset(int i) {
        if (!master.ReadHoldingRegisters(1, i, 1))
            return false;
        EXPECT_EQ(master.Registers.GetValue(0), 100 * (i + 1)) << i;
        return true;
    }
    // Answers a busy machine held back past the timeout, counted once every frame the master sent has
    // been heard and answered.
    std::uint64_t Tardy() {
        EXPECT_TRUE(sim->Bus().WaitAnswered(master.Counts().Sent, std::chrono::seconds(20)));
        return sim->Bus().Counters().Tardy;
    }
    // The reads it may take the master to come back in step after an answer it gave up: a module that
    // ignores the fence gets the quiet wait only after many fences in silence.
    int MostReads() const {
        return GetParam() == TSimFaultKind::DiagSilent ? TSlaveOrder::FencesBeforeQuiet + 8 : 8;
    }
    // A read the module answers in time succeeds. When a busy machine held the answer back past the
    // timeout instead, the master rightly gave it up and doubts the module as after a late answer: it
    // is read again until it comes, within as many reads as that may take.
    bool ReadInTime(int i) {
        const std::uint64_t tardy = Tardy();
        if (ReadPreset(i))
            return true;
        if (Tardy() == tardy)
            return false;
        for (int reads = 0; reads < MostReads(); ++reads)
            if (ReadPreset(i))
                return true;
        return false;
    }

    std::unique_ptr<vdsim::TSimulator> sim;
    TModbusSerialTCPMaster master;
};

INSTANTIATE_TEST_SUITE_P(Diagnostics, FenceOnSimulator,
                         ::testing::Values(TSimFaultKind::None, TSimFaultKind::DiagException,
                                           TSimFaultKind::DiagSilent),
                         [](const auto& info) {
                             return info.param == TSimFaultKind::None            ? "Echoed"
                                    : info.param == TSimFaultKind::DiagException ? "Refused"
                                                                                 : "Ignored";
                         });

TEST_P(FenceOnSimulator, ALateAnswerIsNeverTakenForTheNextRead) {
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(ReadInTime(i)) << master.ErrorText().toStdString();
    // One answer three Timeouts late: the read fails, and its answer arrives during the next ones.
    sim->SetFault(0, {TSimFaultKind::Late, 3 * kTimeout, 1});
    EXPECT_FALSE(ReadPreset(4));
    EXPECT_FALSE(master.InStep(1));
    const int most = MostReads();
    // An answer a busy machine held back past the timeout costs one read more. (The late answer is
    // not waited for here: it is to come while the next reads wait.)
    const std::uint64_t tardy = sim->Bus().Counters().Tardy;
    int reads = 0;
    while (!ReadPreset(5) && reads < 2 * most)
        ++reads;
    EXPECT_LT(reads, most + int(Tardy() - tardy)) << master.ErrorText().toStdString();
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(ReadInTime(i)) << master.ErrorText().toStdString();
    // In step: at once, or after one more read when the machine held the last answer back.
    EXPECT_TRUE(master.InStep(1) || (ReadInTime(0) && master.InStep(1)));
}

} // namespace
