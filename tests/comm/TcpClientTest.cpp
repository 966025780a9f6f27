// The TCP client layer: host text, bounded connect, a peer that goes away.
#include <gtest/gtest.h>

#include "platform/TcpClientPosix.h"
#include "tests/support/ModbusTestSlave.h"

namespace {

TEST(ParseDottedQuad, ReadsDecimalPartsWithLeadingZeros) {
    EXPECT_EQ(platform::ParseDottedQuad("192.168.001.010"), 0xC0A8010Au);
    EXPECT_EQ(platform::ParseDottedQuad("010.000.000.001"), 0x0A000001u);
    EXPECT_EQ(platform::ParseDottedQuad("127.0.0.1"), 0x7F000001u);
    for (const char* bad : {"", "256.0.0.1", "1.2.3", "1.2.3.4.", "1..2.3", "a.b.c.d", "1.2.3.4 ",
                            "0001.2.3.4", "-1.2.3.4", "1.2.3.4.5"})
        EXPECT_FALSE(platform::ParseDottedQuad(bad).has_value()) << bad;
}

TEST(TTcpClientPosix, SeesThePeerClosing) {
    ModbusTestSlave slave(ModbusTestSlave::Link::Tcp);
    platform::TTcpClientPosix client;
    ASSERT_TRUE(client.Connect("127.0.0.1", slave.Port(), 1000));
    EXPECT_EQ(client.BytesWaiting(), 0);
    EXPECT_EQ(client.WaitReadable(20), platform::TWaitResult::TimedOut);

    SlaveBehaviour drop;
    drop.Fault = SlaveFault::DropConnection;
    slave.SetBehaviour(drop);
    const rtu::Frame request = rtu::WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01});
    ASSERT_TRUE(client.SendAll(request.data(), request.size()));
    EXPECT_EQ(client.WaitReadable(1000), platform::TWaitResult::Closed);
    char byte = 0;
    EXPECT_EQ(client.Receive(&byte, 1), 0);
    // Writing into the closed connection fails; with SIGPIPE raised this process would end here.
    bool failed = false;
    for (int i = 0; i < 10 && !failed; ++i)
        failed = !client.SendAll(request.data(), request.size());
    EXPECT_TRUE(failed);
    EXPECT_TRUE(client.Close());
    EXPECT_FALSE(client.IsOpen());
}

TEST(TTcpClientPosix, RefusesBadPorts) {
    platform::TTcpClientPosix client;
    EXPECT_FALSE(client.Connect("127.0.0.1", 0, 100));
    EXPECT_FALSE(client.Connect("127.0.0.1", 70000, 100));
    EXPECT_FALSE(client.IsOpen());
}

} // namespace
