// Whether a reply came within the Timeout is told by when it arrived after its request went, not by when
// a busy master got round to reading it: a master kept from the processor right after its send neither
// takes a late answer as on time nor misses one that came in time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "comm/ModbusErrors.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "tests/commorder/ScriptedModule.h"

namespace {

using namespace std::chrono_literals;

constexpr int kTimeout = 30;

struct TRow {
    std::string What;
    TScriptStep Step;
    bool InTime;
    std::uint64_t Sent = 1;
};

TEST(MasterOnAScriptedLine, AReplyIsInTimeByWhenItArrivedNotByWhenTheMasterReadIt) {
    const TRow rows[] = {
        // Read after the master's clock after the send, the reply looks sooner than the slave ever
        // answered: it may have been on its way before the request went, and one fence checks it.
        {"answered in 5 ms, master kept 45 ms", {.Turn = 5ms, .MasterKept = 45ms}, true, 2},
        {"answered in 25 ms", {.Turn = 25ms}, true},
        {"answered in 45 ms", {.Turn = 45ms}, false},
        {"answered in 45 ms, master kept 20 ms", {.Turn = 45ms, .MasterKept = 20ms}, false},
        {"answered in 45 ms, master kept 60 ms", {.Turn = 45ms, .MasterKept = 60ms}, false},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        TModbusSerialTCPMaster master;
        auto owned = std::make_unique<TScriptedModule>();
        TScriptedModule& module = *owned;
        module.Turn = 5ms;
        master.SetSerialTransport(std::move(owned));
        master.Timeout = kTimeout;
        master.Retries = 0;
        ASSERT_TRUE(master.Connect());
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(master.ReadHoldingRegisters(1, 10, 2)) << i;
        module.Steps = {row.Step};
        const TBusCounts before = master.Counts();
        EXPECT_EQ(master.ReadHoldingRegisters(1, 20, 2), row.InTime);
        EXPECT_EQ(master.Counts().Sent - before.Sent, row.Sent);
        EXPECT_EQ(master.Counts().Expired - before.Expired, row.InTime ? 0u : 1u);
        if (row.InTime) {
            EXPECT_EQ(master.Registers.GetValue(0), 1020);
            EXPECT_TRUE(master.InStep(1));
        } else {
            EXPECT_EQ(master.LastError, modbus::ErrorTimeout);
            // The late answer may have been read with the failed attempt or be still on its way:
            // either way the next read is fenced and takes its own values.
            EXPECT_FALSE(master.InStep(1));
            ASSERT_TRUE(master.ReadHoldingRegisters(1, 30, 2)) << master.ErrorText().toStdString();
            EXPECT_EQ(master.Registers.GetValue(0), 1030);
            EXPECT_EQ(master.Registers.GetValue(1), 1031);
        }
    }
}

// A frame read after the Timeout is no answer, yet it tells as much as one nobody asked for: its slave
// is out of step and is fenced before its next reply is trusted, the retry's answer included. A reply
// still on its way when the Timeout ends is left on the line; the retry may take it, as it answers the
// same request, and the slave is doubtful after.
struct TLateRow {
    std::string What;
    TScriptStep Step;
    int Retries;
    bool Taken;         // the read succeeds
    std::uint64_t Sent; // frames sent for it, fences included
    std::uint64_t Fences;
    bool SlaveInStep;
    bool OtherInStep;
};

TEST(MasterOnAScriptedLine, AFrameReadAfterTheTimeoutPutsItsSlaveOutOfStep) {
    constexpr TScriptStep::Duration kept = 60ms;
    const TLateRow rows[] = {
        {"answered in 25 ms, retries 2", {.Turn = 25ms}, 2, true, 1, 0, true, true},
        {"answered in 45 ms, retries 2", {.Turn = 45ms}, 2, true, 2, 0, false, true},
        {"answered in 45 ms, master kept, retries 0",
         {.Turn = 45ms, .MasterKept = kept},
         0,
         false,
         1,
         0,
         false,
         true},
        {"answered in 45 ms, master kept, retries 2",
         {.Turn = 45ms, .MasterKept = kept},
         2,
         true,
         3,
         1,
         true,
         true},
        {"another slave's frame in 25 ms, master kept",
         {.Turn = 25ms, .OtherAddressBefore = true, .MasterKept = kept},
         0,
         false,
         1,
         0,
         false,
         false},
        {"another slave's frame in 45 ms, master kept",
         {.Turn = 45ms, .OtherAddressBefore = true, .MasterKept = kept},
         0,
         false,
         1,
         0,
         false,
         false},
        {"another slave's frame in 45 ms, master kept, retries 2",
         {.Turn = 45ms, .OtherAddressBefore = true, .MasterKept = kept},
         2,
         true,
         3,
         1,
         true,
         false},
    };
    for (const TLateRow& row : rows) {
        SCOPED_TRACE(row.What);
        TModbusSerialTCPMaster master;
        auto owned = std::make_unique<TScriptedModule>();
        TScriptedModule& module = *owned;
        module.Turn = 5ms;
        master.SetSerialTransport(std::move(owned));
        master.Timeout = kTimeout;
        master.Retries = row.Retries;
        ASSERT_TRUE(master.Connect());
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(master.ReadHoldingRegisters(1, 10, 2)) << i;
        module.Steps = {row.Step};
        const TBusCounts before = master.Counts();
        EXPECT_EQ(master.ReadHoldingRegisters(1, 20, 2), row.Taken) << master.ErrorText().toStdString();
        EXPECT_EQ(master.Counts().Sent - before.Sent, row.Sent);
        EXPECT_EQ(master.Counts().Fences - before.Fences, row.Fences);
        if (row.Taken) {
            EXPECT_EQ(master.Registers.GetValue(0), 1020);
            EXPECT_EQ(master.Registers.GetValue(1), 1021);
        }
        EXPECT_EQ(master.InStep(1), row.SlaveInStep);
        EXPECT_EQ(master.InStep(2), row.OtherInStep);
    }
}

} // namespace
