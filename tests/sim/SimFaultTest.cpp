// The spoiling faults the master's tests inject: what each does to a reply, and when it applies.
#include <gtest/gtest.h>

#include "tools/sim/SimBus.h"
#include "tools/sim/SimFault.h"

namespace {

using vdsim::TBytes;
using vdsim::TSimFault;
using vdsim::TSimFaultKind;

TBytes WithCrc(TBytes bytes) {
    vdsim::AppendCrc(bytes);
    return bytes;
}

TEST(SimFault, EachSpoilingFaultKeepsAGoodCrcAndChangesWhatItNames) {
    const TBytes read = vdsim::BuildRequest(1, 3, 0, 2);
    const TBytes readReply = WithCrc({1, 3, 4, 0, 7, 0, 9});
    const TBytes write = vdsim::BuildRequest(1, 6, 5, 7);
    const TBytes coil = vdsim::BuildRequest(1, 5, 5, 0xFF00);

    auto r = vdsim::ApplyFault({TSimFaultKind::Trailing}, read, readReply);
    ASSERT_EQ(r.Bytes.size(), readReply.size() + 2);
    EXPECT_TRUE(std::equal(readReply.begin(), readReply.end(), r.Bytes.begin()));

    r = vdsim::ApplyFault({TSimFaultKind::Split, 90}, read, readReply);
    EXPECT_EQ(r.Bytes, readReply);
    EXPECT_EQ(r.Split, readReply.size() / 2);
    EXPECT_EQ(r.SplitPause.count(), 90);

    r = vdsim::ApplyFault({TSimFaultKind::WrongFunction}, read, readReply);
    ASSERT_EQ(r.Bytes.size(), readReply.size());
    EXPECT_EQ(r.Bytes[1], 4);
    EXPECT_TRUE(vdsim::HasValidCrc(r.Bytes));
    EXPECT_EQ(vdsim::ApplyFault({TSimFaultKind::WrongFunction}, write, write).Bytes[1], 5);

    r = vdsim::ApplyFault({TSimFaultKind::ShortCount}, read, readReply);
    EXPECT_EQ(r.Bytes, WithCrc({1, 3, 2, 0, 7}));
    EXPECT_EQ(vdsim::ApplyFault({TSimFaultKind::ShortCount}, write, write).Bytes, write); // no byte count

    r = vdsim::ApplyFault({TSimFaultKind::WrongEcho}, write, write);
    EXPECT_EQ(r.Bytes, vdsim::BuildRequest(1, 6, 5, 6));
    EXPECT_EQ(vdsim::ApplyFault({TSimFaultKind::WrongEcho}, coil, coil).Bytes,
              vdsim::BuildRequest(1, 5, 5, 0));
    EXPECT_EQ(vdsim::ApplyFault({TSimFaultKind::WrongEcho}, read, readReply).Bytes, readReply); // no echo
}

TEST(SimFault, ParsesAndPrintsTheNewKindsAndTheSkip) {
    std::string error;
    const auto fault = vdsim::ParseFault({"late", "130", "+3", "x1"}, error);
    ASSERT_TRUE(fault.has_value()) << error;
    EXPECT_EQ(fault->Kind, TSimFaultKind::Late);
    EXPECT_EQ(fault->Arg, 130);
    EXPECT_EQ(fault->Skip, 3);
    EXPECT_EQ(fault->Remaining, 1);
    EXPECT_EQ(vdsim::FaultText(*fault), "late 130 +3 x1");
    for (const char* kind : {"trailing", "wrongfunction", "shortcount", "wrongecho"}) {
        const auto parsed = vdsim::ParseFault({kind}, error);
        ASSERT_TRUE(parsed.has_value()) << kind;
        EXPECT_EQ(vdsim::FaultText(*parsed), kind);
    }
    EXPECT_EQ(vdsim::FaultText(*vdsim::ParseFault({"split"}, error)), "split 200");
    EXPECT_FALSE(vdsim::ParseFault({"trailing", "5"}, error).has_value());
    EXPECT_FALSE(vdsim::ParseFault({"late", "+x"}, error).has_value());
}

TEST(SimFault, AFaultWithASkipSparesThatManyRequestsThenAppliesOnce) {
    vdsim::TSimBus bus;
    bus.AddModule(1, 0);
    TSimFault late{TSimFaultKind::Late, 130, 1};
    late.Skip = 2;
    bus.WithModule(0, [&](vdsim::TSimModule& m) { m.State().Fault = late; });
    const TBytes request = vdsim::BuildRequest(1, 3, 512, 1);
    std::vector<long> delays;
    for (int i = 0; i < 4; ++i)
        delays.push_back(long(bus.Handle(request, std::nullopt).Delay.count()));
    EXPECT_EQ(delays, (std::vector<long>{0, 0, 130, 0}));
    EXPECT_EQ(bus.Snapshot(0).Fault.Kind, TSimFaultKind::None);
}

} // namespace

namespace {

// Diagnostics "return query data" is echoed as a module does; the diagnostics faults refuse it or leave
// it unanswered and stay beside a fault of the other requests.
TEST(SimFault, DiagnosticsAreEchoedRefusedOrIgnoredBesideTheOtherFaults) {
    vdsim::TSimBus bus;
    bus.AddModule(1, 0);
    const TBytes echo = vdsim::BuildRequest(1, 8, 0, 0x1234);
    const TBytes read = vdsim::BuildRequest(1, 3, 512, 1);
    EXPECT_EQ(bus.Handle(echo, std::nullopt).Bytes, echo);
    EXPECT_EQ(bus.Handle(vdsim::BuildRequest(1, 8, 1, 0), std::nullopt).Bytes,
              vdsim::ExceptionReply(1, 8, 1));

    std::string error;
    const auto refuse = vdsim::ParseFault({"diagexception"}, error);
    ASSERT_TRUE(refuse.has_value()) << error;
    EXPECT_EQ(vdsim::FaultText(*refuse), "diagexception 1");
    bus.WithModule(0, [&](vdsim::TSimModule& m) {
        vdsim::SetModuleFault(m.State(), *refuse);
        vdsim::SetModuleFault(m.State(), {TSimFaultKind::Late, 130});
    });
    EXPECT_EQ(bus.Handle(echo, std::nullopt).Bytes, vdsim::ExceptionReply(1, 8, 1));
    const vdsim::TSimResponse late = bus.Handle(read, std::nullopt);
    EXPECT_EQ(late.Delay.count(), 130);
    EXPECT_EQ(late.Bytes.size(), 7u);

    bus.WithModule(
        0, [&](vdsim::TSimModule& m) { vdsim::SetModuleFault(m.State(), {TSimFaultKind::DiagSilent}); });
    EXPECT_TRUE(bus.Handle(echo, std::nullopt).Bytes.empty());
    EXPECT_EQ(bus.Handle(read, std::nullopt).Delay.count(), 130);

    bus.WithModule(0, [&](vdsim::TSimModule& m) { vdsim::SetModuleFault(m.State(), {}); });
    EXPECT_EQ(bus.Handle(echo, std::nullopt).Bytes, echo);
    EXPECT_EQ(bus.Handle(read, std::nullopt).Delay.count(), 0);
}

} // namespace
