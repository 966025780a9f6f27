// The master against the test slave through real TCP sockets and pseudo-terminals.
#include <gtest/gtest.h>

#include <memory>

#include "comm/ModbusSerialTCPMaster.h"
#include "tests/support/ModbusTestSlave.h"

namespace {

using Link = ModbusTestSlave::Link;

void PointAt(TModbusSerialTCPMaster& master, const ModbusTestSlave& slave) {
    if (slave.LinkKind() == Link::Tcp) {
        master.ConnectionType = 1;
        master.Socket->Host = QStringLiteral("127.0.0.1");
        master.Socket->Port = slave.Port();
    } else {
        master.ConnectionType = 0;
        master.SerialPort->PortName = QString::fromStdString(slave.DevicePath());
    }
    master.SerialPort->BaudRate = 57600; // frame gap 61 ms
}

class MasterOnLink : public ::testing::TestWithParam<Link> {
protected:
    void SetUp() override {
        slave = std::make_unique<ModbusTestSlave>(GetParam());
        PointAt(master, *slave);
        master.Timeout = 200;
        master.Retries = 0;
        ASSERT_TRUE(master.Connect()) << master.ErrorText().toStdString();
        ASSERT_TRUE(master.Connected);
    }
    void TearDown() override { master.Disconnect(); }

    void Misbehave(SlaveBehaviour behaviour) { slave->SetBehaviour(behaviour); }
    void Misbehave(SlaveFault fault) {
        SlaveBehaviour behaviour;
        behaviour.Fault = fault;
        slave->SetBehaviour(behaviour);
    }
    void RawReply(rtu::Frame bytes) {
        SlaveBehaviour behaviour;
        behaviour.Fault = SlaveFault::Raw;
        behaviour.RawReply = std::move(bytes);
        slave->SetBehaviour(behaviour);
    }
    std::string Error() const { return master.ErrorText().toStdString(); }

    std::unique_ptr<ModbusTestSlave> slave;
    TModbusSerialTCPMaster master;
};

INSTANTIATE_TEST_SUITE_P(Links, MasterOnLink, ::testing::Values(Link::Tcp, Link::Pty),
                         [](const auto& info) { return info.param == Link::Tcp ? "Tcp" : "Pty"; });

TEST_P(MasterOnLink, ReadsHoldingRegistersWithTheExactRequestFrame) {
    slave->WithCore([](ModbusSlaveCore& core) {
        for (int i = 0; i < 17; ++i)
            core.SetHoldingRegister(512 + i, std::uint16_t(i == 16 ? 0xFFFF : 0x1234 + i));
    });
    ASSERT_TRUE(master.ReadHoldingRegisters(1, 512, 17)) << Error();
    EXPECT_EQ(master.LastError, 0);
    EXPECT_EQ(Error(), "");
    EXPECT_EQ(master.TxText, "01,03,02,00,00,11,84,7E");
    const auto requests = slave->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], (rtu::Frame{0x01, 0x03, 0x02, 0x00, 0x00, 0x11, 0x84, 0x7E}));
    EXPECT_EQ(master.RxText.size(), 39 * 3 - 1);
    EXPECT_TRUE(master.RxText.startsWith("01,03,22,12,34,12,35"));
    EXPECT_EQ(master.DataBuffer.Count(), 34);
    EXPECT_EQ(master.Registers.GetValue(0), 0x1234);
    EXPECT_EQ(master.Registers.GetValue(15), 0x1234 + 15);
    EXPECT_EQ(master.Registers.GetValue(16), 65535);
}

TEST_P(MasterOnLink, ReadsBitsAndInputRegisters) {
    slave->WithCore([](ModbusSlaveCore& core) {
        core.SetCoil(100, true);
        core.SetCoil(102, true);
        core.SetCoil(109, true);
        core.SetDiscreteInput(3, true);
        core.SetInputRegister(7, 0x8001);
    });
    ASSERT_TRUE(master.ReadCoils(1, 100, 10)) << Error();
    const int expected[10] = {1, 0, 1, 0, 0, 0, 0, 0, 0, 1};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(master.Coils.GetValue(i), expected[i]) << i;
    ASSERT_TRUE(master.ReadDiscreteInputs(1, 0, 16)) << Error();
    EXPECT_EQ(master.Coils.GetValue(3), 1);
    EXPECT_EQ(master.Coils.GetValue(0), 0);
    ASSERT_TRUE(master.ReadInputRegisters(1, 7, 1)) << Error();
    EXPECT_EQ(master.Registers.GetValue(0), 0x8001);
}

TEST_P(MasterOnLink, WritesACoilAndARegister) {
    ASSERT_TRUE(master.WriteSingleCoil(1, 20, 0xFF00)) << Error();
    EXPECT_EQ(master.TxText, master.RxText); // the echo
    ASSERT_TRUE(master.WriteSingleRegister(1, 515, 0x6766)) << Error();
    slave->WithCore([](ModbusSlaveCore& core) {
        EXPECT_TRUE(core.Coil(20));
        EXPECT_EQ(core.HoldingRegister(515), 0x6766);
    });
    ASSERT_TRUE(master.WriteSingleCoil(1, 20, 0x0000)) << Error();
    slave->WithCore([](ModbusSlaveCore& core) { EXPECT_FALSE(core.Coil(20)); });
}

TEST_P(MasterOnLink, NoAnswerTimesOutOnEveryAttempt) {
    Misbehave(SlaveFault::Silent);
    master.Timeout = 50;
    master.Retries = 2;
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 512, 17));
    EXPECT_EQ(master.LastError, 1);
    EXPECT_EQ(Error(), "ERROR TIMEOUT");
    EXPECT_EQ(master.RxText, "");
    EXPECT_EQ(master.TxText, "01,03,02,00,00,11,84,7E");
    EXPECT_TRUE(slave->WaitForRequests(3, 1000));
    EXPECT_EQ(slave->RequestCount(), 3u);
}

TEST_P(MasterOnLink, RetriesUntilAnAttemptSucceeds) {
    SlaveBehaviour twice;
    twice.Fault = SlaveFault::BadCrc;
    twice.Times = 2;
    Misbehave(twice);
    master.Retries = 2;
    EXPECT_TRUE(master.ReadHoldingRegisters(1, 0, 2)) << Error();
    EXPECT_EQ(master.LastError, 0);
    EXPECT_EQ(slave->RequestCount(), 3u);
}

TEST_P(MasterOnLink, BadCrcAndOtherSlaveAreRefused) {
    Misbehave(SlaveFault::BadCrc);
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 4));
    EXPECT_EQ(master.LastError, 3);
    EXPECT_EQ(Error(), "ERROR CRC");
    EXPECT_EQ(master.RxText.size(), 13 * 3 - 1);

    Misbehave(SlaveFault::OtherAddress);
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 4));
    EXPECT_EQ(master.LastError, 5);
    EXPECT_EQ(Error(), "ERROR SLAVE ID");
}

TEST_P(MasterOnLink, ExceptionRepliesCarryTheirText) {
    const char* texts[] = {"ILLEGAL FUNCTION",     "ILLEGAL DATA ADDRESS", "ILLEGAL DATA VALUE",
                           "SLAVE DEVICE FAILURE", "ACKNOWLEDGE",          "SLAVE DEVICE BUSY",
                           "NEGATIVE ACKNOWLEDGE", "MEMORY PARITY ERROR",  ""};
    for (int code = 1; code <= 9; ++code) {
        SlaveBehaviour behaviour;
        behaviour.Fault = SlaveFault::Exception;
        behaviour.ExceptionCode = std::uint8_t(code);
        Misbehave(behaviour);
        EXPECT_FALSE(master.WriteSingleRegister(1, 3, 7));
        EXPECT_EQ(master.LastError, 4);
        EXPECT_EQ(master.ExceptionCode, code);
        EXPECT_EQ(Error(), std::string("ERROR EXCEPTION:") + texts[code - 1]);
    }
    EXPECT_EQ(master.RxText, "01,86,09,82,66");
    // The next good request clears the exception.
    Misbehave(SlaveFault::None);
    EXPECT_TRUE(master.WriteSingleRegister(1, 3, 7));
    EXPECT_EQ(master.ExceptionCode, 0);
}

TEST_P(MasterOnLink, AReplyTooShortIsErrorSevenWithoutText) {
    Misbehave(SlaveFault::TooShort);
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 512, 17));
    EXPECT_EQ(master.LastError, 7);
    EXPECT_EQ(Error(), "");
    EXPECT_EQ(master.RxText, "01,03,22");
}

TEST_P(MasterOnLink, OddFirstOrSecondBytesEndTheFrameAtOnce) {
    // Everything after the deciding byte stays in the driver, so the text shows where the frame ended.
    RawReply({0x00, 0x01, 0x03, 0x02, 0x00, 0x00});
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 1));
    EXPECT_EQ(master.RxText, "00");
    EXPECT_EQ(master.LastError, 7);
}

TEST_P(MasterOnLink, FirstByteFromTwoHundredFiftyEndsTheFrame) {
    RawReply({0xFA, 0x01, 0x03, 0x02, 0x00, 0x00});
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 1));
    EXPECT_EQ(master.RxText, "FA");
}

TEST_P(MasterOnLink, UnknownFunctionCodeEndsTheFrame) {
    RawReply({0x01, 0x07, 0x00, 0x00, 0x00, 0x00});
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 1));
    EXPECT_EQ(master.RxText, "01,07");
    EXPECT_EQ(master.LastError, 7);
}

TEST_P(MasterOnLink, ByteCountWrapsModulo256) {
    // $FF + 5 is 4 modulo 256: the frame ends with its fourth byte and fails its CRC.
    RawReply({0x01, 0x03, 0xFF, 0x00, 0x00, 0x00, 0x00});
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 1));
    EXPECT_EQ(master.RxText, "01,03,FF,00");
    EXPECT_EQ(master.LastError, 3);
}

TEST_P(MasterOnLink, BytesAfterACompleteFrameWaitForTheNextRequest) {
    rtu::Frame reply = rtu::WithCrc({0x01, 0x03, 0x02, 0x12, 0x34});
    reply.push_back(0xAA);
    reply.push_back(0xBB);
    RawReply(reply);
    ASSERT_TRUE(master.ReadHoldingRegisters(1, 0, 1)) << Error();
    EXPECT_EQ(master.Registers.GetValue(0), 0x1234);
    EXPECT_EQ(master.RxText.size(), 7 * 3 - 1);

    Misbehave(SlaveFault::Silent);
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 1));
    EXPECT_EQ(master.RxText, "AA,BB");
    EXPECT_EQ(master.LastError, 7);
}

TEST_P(MasterOnLink, ExceptionFrameEndsAfterFiveBytes) {
    rtu::Frame reply = rtu::ExceptionReply(1, 3, 2);
    reply.push_back(0x99);
    RawReply(reply);
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 1));
    EXPECT_EQ(master.RxText, "01,83,02,C0,F1");
    EXPECT_EQ(Error(), "ERROR EXCEPTION:ILLEGAL DATA ADDRESS");
}

TEST_P(MasterOnLink, PiecesWithinTheGapMakeOneFrame) {
    SlaveBehaviour behaviour;
    behaviour.Fault = SlaveFault::InPieces;
    behaviour.PieceSize = 7;
    behaviour.PieceGapMs = 10;
    Misbehave(behaviour);
    slave->WithCore([](ModbusSlaveCore& core) { core.SetHoldingRegister(16, 0x0102); });
    ASSERT_TRUE(master.ReadHoldingRegisters(1, 0, 17)) << Error();
    EXPECT_EQ(master.Registers.GetValue(16), 0x0102);
}

TEST_P(MasterOnLink, APauseLongerThanTheGapCutsTheFrame) {
    SlaveBehaviour behaviour;
    behaviour.Fault = SlaveFault::InPieces;
    behaviour.PieceSize = 10;
    behaviour.PieceGapMs = 200;
    Misbehave(behaviour);
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 17));
    EXPECT_EQ(master.LastError, 3);
    EXPECT_EQ(master.RxText.size(), 10 * 3 - 1);
}

TEST_P(MasterOnLink, ALateReplyWithinTheTimeoutIsTaken) {
    SlaveBehaviour behaviour;
    behaviour.Fault = SlaveFault::Late;
    behaviour.DelayMs = 60;
    Misbehave(behaviour);
    EXPECT_TRUE(master.ReadHoldingRegisters(1, 0, 2)) << Error();
}

TEST_P(MasterOnLink, LeadingNoiseFailsTheAttemptAndTheRetryTakesTheWaitingReply) {
    SlaveBehaviour behaviour;
    behaviour.Fault = SlaveFault::LeadingNoise;
    behaviour.Noise = {0xFF};
    behaviour.Times = 1;
    Misbehave(behaviour);
    master.Retries = 1;
    slave->WithCore([](ModbusSlaveCore& core) { core.SetHoldingRegister(0, 42); });
    EXPECT_TRUE(master.ReadHoldingRegisters(1, 0, 1)) << Error();
    EXPECT_EQ(master.Registers.GetValue(0), 42);
    EXPECT_TRUE(slave->WaitForRequests(2, 1000)); // the retry was sent
}

TEST_P(MasterOnLink, NotConnectedIsASendFailure) {
    master.Disconnect();
    EXPECT_FALSE(master.Connected);
    EXPECT_FALSE(master.WriteSingleRegister(1, 0, 1));
    EXPECT_EQ(master.LastError, 2);
    EXPECT_EQ(Error(), "ERROR SEND FRAME");
    EXPECT_EQ(master.TxText, "01,06,00,00,00,01,48,0A");
}

TEST(ModbusMasterWire, TcpCarriesExactlyTheSerialFrames) {
    ModbusTestSlave tcp(Link::Tcp);
    ModbusTestSlave pty(Link::Pty);
    for (ModbusTestSlave* slave : {&tcp, &pty}) {
        TModbusSerialTCPMaster master;
        PointAt(master, *slave);
        master.Timeout = 200;
        ASSERT_TRUE(master.Connect());
        EXPECT_TRUE(master.ReadCoils(1, 200, 12));
        EXPECT_TRUE(master.WriteSingleCoil(1, 200, 0xFF00));
        EXPECT_TRUE(master.ReadInputRegisters(1, 0, 8));
        master.Disconnect();
    }
    EXPECT_EQ(tcp.Requests(), pty.Requests());
    ASSERT_EQ(tcp.Requests().size(), 3u);
    EXPECT_EQ(tcp.Requests()[1], (rtu::Frame{0x01, 0x05, 0x00, 0xC8, 0xFF, 0x00, 0x0D, 0xC4}));
}

TEST(ModbusMasterConnect, FailuresAreErrorSix) {
    TModbusSerialTCPMaster master;
    master.Timeout = 100;
    master.SerialPort->PortName = QStringLiteral("/dev/vd-no-such-port");
    EXPECT_FALSE(master.Connect());
    EXPECT_FALSE(master.Connected);
    EXPECT_EQ(master.LastError, 6);
    EXPECT_EQ(master.ErrorText(), "ERROR CONNECTION");

    master.ConnectionType = 1;
    master.Socket->Host = QStringLiteral("not an address");
    EXPECT_FALSE(master.Connect());
    EXPECT_EQ(master.LastError, 6);

    // A port nobody listens on: a slave that is gone.
    std::uint16_t port = 0;
    {
        ModbusTestSlave gone(Link::Tcp);
        port = gone.Port();
    }
    master.Socket->Host = QStringLiteral("127.0.0.1");
    master.Socket->Port = port;
    EXPECT_FALSE(master.Connect());
    EXPECT_EQ(master.LastError, 6);

    // An address that does not answer: the connect gives up within the timeout.
    master.Socket->Host = QStringLiteral("192.0.2.1");
    master.Socket->Port = 9001;
    EXPECT_FALSE(master.Connect());
    EXPECT_EQ(master.LastError, 6);
}

TEST(ModbusMasterConnect, ZeroPaddedHostIsDecimal) {
    ModbusTestSlave slave(Link::Tcp);
    TModbusSerialTCPMaster master;
    PointAt(master, slave);
    master.Socket->Host = QStringLiteral("127.000.000.001");
    master.Timeout = 200;
    ASSERT_TRUE(master.Connect());
    EXPECT_TRUE(master.ReadHoldingRegisters(1, 0, 1)) << master.ErrorText().toStdString();
    // A failed connect after a good one leaves the master disconnected.
    master.Socket->Port = 0;
    EXPECT_FALSE(master.Connect());
    EXPECT_FALSE(master.Connected);
}

TEST(ModbusMasterConnect, ADroppedConnectionIsAnErrorNotASignal) {
    ModbusTestSlave slave(Link::Tcp);
    TModbusSerialTCPMaster master;
    PointAt(master, slave);
    master.Timeout = 100;
    master.Retries = 2;
    ASSERT_TRUE(master.Connect());
    SlaveBehaviour drop;
    drop.Fault = SlaveFault::DropConnection;
    slave.SetBehaviour(drop);
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 1));
    EXPECT_TRUE(master.LastError == 1 || master.LastError == 2) << master.LastError;
    // The peer is gone for good: every further request fails (SIGPIPE would have ended this test).
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(master.WriteSingleRegister(1, 0, 1));
        EXPECT_TRUE(master.ErrorText() == "ERROR SEND FRAME" || master.ErrorText() == "ERROR TIMEOUT");
    }
    // Connecting again reaches the slave, which now answers.
    slave.SetBehaviour(SlaveBehaviour{});
    ASSERT_TRUE(master.Connect());
    EXPECT_TRUE(master.ReadHoldingRegisters(1, 0, 1)) << master.ErrorText().toStdString();
}

} // namespace
