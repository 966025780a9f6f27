// The master against the project's simulator: a module at 1 whose answer to one read comes too late
// is fenced before its next reply is taken, whether it echoes the fence, refuses it or ignores it. The
// simulator's modules answer on a scripted line: every answer arrives its delay after the one before it,
// however long a busy machine would keep a server thread from writing it.
#include <gtest/gtest.h>

#include <memory>

#include "comm/ModbusSerialTCPMaster.h"
#include "comm/SlaveOrder.h"
#include "tests/support/SimBusLine.h"
#include "tools/sim/Simulator.h"

namespace {

using vdsim::TSimFault;
using vdsim::TSimFaultKind;

constexpr int kTimeout = 60;
class FenceOnSimulator : public ::testing::TestWithParam<TSimFaultKind> {
protected:
    void SetUp() override {
        vdsim::TSimOptions options;
        options.Modules = {{1, 0}};
        options.Tcp = false;
        options.Still = true;
        sim = std::make_unique<vdsim::TSimulator>(options);
        // The counter presets at holding registers 0 to 7 hold different values.
        sim->WithModule(0, [](vdsim::TSimModule& m) {
            for (int i = 0; i < 8; ++i) {
                m.State().Pending.InputCounts[std::size_t(i)] = true;
                m.State().Pending.Preset[std::size_t(i)] = std::uint16_t(100 * (i + 1));
            }
        });
        sim->SetFault(0, {GetParam()});
        master.SetSerialTransport(std::make_unique<TSimBusLine>(sim->Bus()));
        master.ConnectionType = 0;
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
        ASSERT_TRUE(ReadPreset(i)) << master.ErrorText().toStdString();
    // One answer three Timeouts late: the read fails, and its answer arrives during the next ones.
    sim->SetFault(0, {TSimFaultKind::Late, 3 * kTimeout, 1});
    EXPECT_FALSE(ReadPreset(4));
    EXPECT_FALSE(master.InStep(1));
    // A module that ignores the fence gets the quiet wait only after many fences in silence.
    const int most = GetParam() == TSimFaultKind::DiagSilent ? TSlaveOrder::FencesBeforeQuiet + 8 : 8;
    int reads = 0;
    while (!ReadPreset(5) && reads < most)
        ++reads;
    EXPECT_LT(reads, most) << master.ErrorText().toStdString();
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(ReadPreset(i)) << master.ErrorText().toStdString();
    EXPECT_TRUE(master.InStep(1));
}

} // namespace
