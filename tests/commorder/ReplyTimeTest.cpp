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

} // namespace
