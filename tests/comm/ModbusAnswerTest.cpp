// The master takes only the answer to the request it sent. Against the module simulator, on TCP and a
// pseudo-terminal, one spoiled reply is injected before each request of a sequence that uses every
// function: every request then either fails or shows exactly the reply it gets on a clean bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "comm/ModbusSerialTCPMaster.h"
#include "tools/sim/Simulator.h"

namespace {

using vdsim::TSimFault;
using vdsim::TSimFaultKind;

struct TRequest {
    int Slave;
    int Function;
    int Address;
    int Value; // quantity of a read, value of a write
};

// Neighbours differ in function or quantity, so that a reply to one request is never a valid reply to
// the next; writes write what the module holds already, so every pass sees the same module.
const std::vector<TRequest> kSequence = {
    {1, 3, 512, 17}, {1, 1, 64, 8},  {1, 5, 66, 0xFF00}, {1, 2, 0, 8},      {1, 3, 0, 8},   {1, 6, 2, 1234},
    {1, 1, 0, 4},    {2, 4, 116, 2}, {2, 3, 112, 2},     {2, 6, 112, 3000}, {2, 1, 202, 2}, {2, 3, 512, 17},
};

struct TOutcome {
    bool Ok = false;
    std::string Rx;
    int Error = 0;
    // Failed where no spoiled reply explains it, while a busy machine held an answer of the simulator
    // back past the timeout: the master rightly gave the answer up.
    bool Tardy = false;
};

bool Send(TModbusSerialTCPMaster& master, const TRequest& r) {
    switch (r.Function) {
    case 1:
        return master.ReadCoils(r.Slave, r.Address, r.Value);
    case 2:
        return master.ReadDiscreteInputs(r.Slave, r.Address, r.Value);
    case 3:
        return master.ReadHoldingRegisters(r.Slave, r.Address, r.Value);
    case 4:
        return master.ReadInputRegisters(r.Slave, r.Address, r.Value);
    case 5:
        return master.WriteSingleCoil(r.Slave, r.Address, r.Value);
    default:
        return master.WriteSingleRegister(r.Slave, r.Address, r.Value);
    }
}

class MasterTakesOnlyItsAnswer : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        vdsim::TSimOptions options;
        options.Modules = {{1, 0}, {2, 62}};
        options.Port = 0;
        options.Pty = true;
        options.Still = true;
        sim = std::make_unique<vdsim::TSimulator>(options);
        sim->Start();
        sim->WithModule(0, [](vdsim::TSimModule& m) {
            m.State().Pending.InputCounts[2] = true;
            m.State().Pending.Preset[2] = 1234;
            m.State().Live.InputState[5] = true;
            m.State().Live.OutputState[1] = true;
        });
        sim->WithModule(1, [](vdsim::TSimModule& m) {
            m.State().Pending.LimitMax[0] = 3000;
            m.State().Pending.Function[1] = 2;
        });
        if (GetParam()) {
            master.ConnectionType = 1;
            master.Socket->Host = QStringLiteral("127.0.0.1");
            master.Socket->Port = sim->Port();
        } else {
            master.SerialPort->PortName = QString::fromStdString(sim->PtyPath());
        }
        master.SerialPort->BaudRate = 9600; // frame gap 64 ms
        master.Timeout = 60;
        sim->Bus().SetPunctuality(std::chrono::milliseconds(master.Timeout));
        ASSERT_TRUE(master.Connect());
    }

    std::vector<TOutcome> Pass(int faultAt = -1, TSimFault fault = {}) {
        std::vector<TOutcome> outcomes;
        for (int i = 0; i < int(kSequence.size()); ++i) {
            const TRequest& r = kSequence[size_t(i)];
            if (i == faultAt)
                sim->SetFault(size_t(r.Slave - 1), fault);
            const std::uint64_t tardy = sim->Bus().Counters().Tardy;
            const bool ok = Send(master, r);
            outcomes.push_back({ok, master.RxText.toStdString(), master.LastError});
            // Only a failure no spoiled reply explains waits for the answers still on their way: the
            // spoiled ones are to come while the next requests wait.
            if (!ok && (faultAt < 0 || i >= faultAt + 2)) {
                EXPECT_TRUE(sim->Bus().WaitAnswered(master.Counts().Sent, std::chrono::seconds(20)));
                outcomes.back().Tardy = sim->Bus().Counters().Tardy > tardy;
            }
        }
        return outcomes;
    }

    std::unique_ptr<vdsim::TSimulator> sim;
    TModbusSerialTCPMaster master;
};

INSTANTIATE_TEST_SUITE_P(Links, MasterTakesOnlyItsAnswer, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Tcp" : "Pty"; });

TEST_P(MasterTakesOnlyItsAnswer, OneSpoiledReplyAtEachRequestNeverYieldsAnotherRequestsData) {
    // What a clean bus answers: a pass again while a busy machine held an answer back.
    const auto tardy = [](const std::vector<TOutcome>& pass) {
        return std::any_of(pass.begin(), pass.end(), [](const TOutcome& o) { return o.Tardy; });
    };
    std::vector<TOutcome> clean = Pass();
    for (int again = 0; again < 4 && tardy(clean); ++again)
        clean = Pass();
    ASSERT_EQ(clean.size(), kSequence.size());
    for (size_t i = 0; i < clean.size(); ++i)
        ASSERT_TRUE(clean[i].Ok) << "request " << i << " error " << clean[i].Error;

    struct TCase {
        TSimFault Fault;
        int Retries;
    };
    const std::vector<TCase> cases = {
        {{TSimFaultKind::Late, 90, 1}, 2},         {{TSimFaultKind::Late, 90, 1}, 0},
        {{TSimFaultKind::Trailing, 0, 1}, 2},      {{TSimFaultKind::Split, 100, 1}, 2},
        {{TSimFaultKind::WrongFunction, 0, 1}, 2}, {{TSimFaultKind::ShortCount, 0, 1}, 2},
        {{TSimFaultKind::WrongEcho, 0, 1}, 2},
    };
    std::vector<std::string> wrong;
    for (const TCase& c : cases) {
        master.Retries = c.Retries;
        for (int at = 0; at < int(kSequence.size()); ++at) {
            const std::vector<TOutcome> got = Pass(at, c.Fault);
            ASSERT_EQ(got.size(), clean.size());
            for (size_t i = 0; i < got.size(); ++i) {
                const std::string where = vdsim::FaultText(c.Fault) + " retries " +
                                          std::to_string(c.Retries) + " at " + std::to_string(at) +
                                          ", request " + std::to_string(i);
                if (got[i].Ok && got[i].Rx != clean[i].Rx)
                    wrong.push_back(where + " took " + got[i].Rx);
                // Once the spoiled reply is past, the bus is clean again.
                if (c.Retries > 0 && int(i) >= at + 2 && !got[i].Ok && !got[i].Tardy)
                    wrong.push_back(where + " failed with error " + std::to_string(got[i].Error));
            }
        }
    }
    std::string report;
    for (size_t i = 0; i < wrong.size() && i < 12; ++i)
        report += "\n" + wrong[i];
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong outcomes:" << report;
}

} // namespace
