// A module that refuses the fence, on a line whose every arrival time the test sets: what the time of a
// refusal tells is checked exactly, however busy the machine keeps the master.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "comm/ModbusSerialTCPMaster.h"
#include "tests/commorder/ScriptedModule.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kTimeout = 30;

// Whether a read of registers `address` and the next succeeded; a success must carry their values
// (register r holds 1000 + r).
bool ReadsItsOwn(TModbusSerialTCPMaster& master, int address) {
    if (!master.ReadHoldingRegisters(1, address, 2))
        return false;
    EXPECT_EQ(master.Registers.GetValue(0), 1000 + address);
    EXPECT_EQ(master.Registers.GetValue(1), 1001 + address);
    return true;
}

// A copy of a refusal comes just before or just after a fence went, sooner than the module ever refused
// one: it is no mark of that fence. Taken for one, the fence would end before the answer the module still
// owed, and the next read would take that answer.
TEST(MasterAgainstAModuleThatRefusesFences, ACopyOfARefusalSoonerThanTheModuleRefusesMarksNoFence) {
    for (const Clock::duration copyAt : {Clock::duration(-500us), Clock::duration(1ms)}) {
        SCOPED_TRACE(std::chrono::duration_cast<std::chrono::microseconds>(copyAt).count());
        TModbusSerialTCPMaster master;
        auto owned = std::make_unique<TScriptedModule>();
        TScriptedModule& module = *owned;
        module.SetFenceAnswer(TFenceAnswer::Exception);
        master.SetSerialTransport(std::move(owned));
        master.Timeout = kTimeout;
        master.Retries = 0;
        ASSERT_TRUE(master.Connect());
        // The module's pace for answers and for refusals: each lost read costs a fence.
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(ReadsItsOwn(master, 10)) << i;
        for (int i = 0; i < 4; ++i) {
            module.Steps = {TScriptStep{.Lose = true}};
            EXPECT_FALSE(master.ReadHoldingRegisters(1, 20, 2));
            ASSERT_TRUE(ReadsItsOwn(master, 30)) << i;
        }
        module.Steps = {TScriptStep{.Lose = true}};
        EXPECT_FALSE(master.ReadHoldingRegisters(1, 20, 2));
        // The fence is refused; the read's answer comes only after its Timeout.
        module.Steps = {TScriptStep{}, TScriptStep{.Withhold = true}};
        EXPECT_FALSE(master.ReadHoldingRegisters(1, 40, 2));
        // The next fence meets the copy, then the late answer, then its own refusal.
        module.Steps = {TScriptStep{.Owed = 3ms, .OldRefusal = copyAt}};
        EXPECT_TRUE(ReadsItsOwn(master, 0)) << master.ErrorText().toStdString();
        EXPECT_TRUE(ReadsItsOwn(master, 10));
        EXPECT_TRUE(master.InStep(1));
    }
}

} // namespace
