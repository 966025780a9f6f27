// The master against the test slave through real TCP sockets and pseudo-terminals.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

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
        master.Timeout = 500; // wide: an answer must never be late on a busy machine
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

TEST_P(MasterOnLink, AReplyTooShortIsErrorSevenWithItsText) {
    Misbehave(SlaveFault::TooShort);
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 512, 17));
    EXPECT_EQ(master.LastError, 7);
    EXPECT_EQ(Error(), "ERROR SHORT FRAME");
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

TEST_P(MasterOnLink, BytesAfterACompleteFrameAreDropped) {
    rtu::Frame reply = rtu::WithCrc({0x01, 0x03, 0x02, 0x12, 0x34});
    reply.push_back(0xAA);
    reply.push_back(0xBB);
    RawReply(reply);
    ASSERT_TRUE(master.ReadHoldingRegisters(1, 0, 1)) << Error();
    EXPECT_EQ(master.Registers.GetValue(0), 0x1234);
    EXPECT_EQ(master.RxText, "01,03,02,12,34,B5,33");

    // The next request sees nothing of them.
    Misbehave(SlaveFault::Silent);
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 1));
    EXPECT_EQ(master.RxText, "");
    EXPECT_EQ(master.LastError, 1);
}

TEST(ModbusMasterStale, AStaleReplyWaitingOnTheLineIsDroppedBeforeTheRequest) {
    // Only the pseudo-terminal peer sends unasked.
    auto slave = std::make_unique<ModbusTestSlave>(Link::Pty);
    TModbusSerialTCPMaster master;
    PointAt(master, *slave);
    master.Timeout = 1000; // wide: the answer is never late
    ASSERT_TRUE(master.Connect());
    const rtu::Frame stale = rtu::WithCrc({0x01, 0x03, 0x02, 0x77, 0x77});
    ASSERT_TRUE(slave->SendUnasked(stale));
    // Let it arrive before the request goes out.
    ASSERT_EQ(master.SerialPort->WaitForData(1000), platform::TWaitResult::Ready);
    slave->WithCore([](ModbusSlaveCore& core) { core.SetHoldingRegister(0, 42); });
    ASSERT_TRUE(master.ReadHoldingRegisters(1, 0, 1)) << master.ErrorText().toStdString();
    EXPECT_EQ(master.Registers.GetValue(0), 42);
}

// Good frames from the right slave that are not the answer to the request: each fails with its own
// code and text, like every other failed attempt, and the reply shows in the traffic text.
TEST_P(MasterOnLink, AReplyThatIsNotTheAnswerIsRefused) {
    struct TCase {
        const char* what;
        rtu::Frame reply;
        int function; // of the request
    };
    const std::vector<TCase> cases = {
        {"input registers for holding registers", rtu::WithCrc({0x01, 0x04, 0x04, 0, 1, 0, 2}), 3},
        {"a byte count for one register less than two", rtu::WithCrc({0x01, 0x03, 0x02, 0, 1}), 3},
        {"a byte count for three registers", rtu::WithCrc({0x01, 0x03, 0x06, 0, 1, 0, 2, 0, 3}), 3},
        {"a write echo for a read", rtu::WithCrc({0x01, 0x06, 0x00, 0x05, 0x00, 0x02}), 3},
        {"an exception to another function", rtu::ExceptionReply(1, 4, 2), 3},
        // Its CRC's low byte would otherwise be taken for the code.
        {"an exception frame without its code", rtu::WithCrc({0x01, 0x83}), 3},
        {"the echo of another value", rtu::WithCrc({0x01, 0x06, 0x00, 0x05, 0x00, 0x08}), 6},
        {"the echo of another address", rtu::WithCrc({0x01, 0x06, 0x00, 0x06, 0x00, 0x07}), 6},
        {"a read reply for a write", rtu::WithCrc({0x01, 0x03, 0x02, 0x00, 0x07}), 6},
        {"a coil echo for a register write", rtu::WithCrc({0x01, 0x05, 0x00, 0x05, 0x00, 0x07}), 6},
    };
    for (const TCase& c : cases) {
        RawReply(c.reply);
        const bool ok =
            c.function == 3 ? master.ReadHoldingRegisters(1, 5, 2) : master.WriteSingleRegister(1, 5, 7);
        EXPECT_FALSE(ok) << c.what;
        EXPECT_EQ(master.LastError, 8) << c.what;
        EXPECT_EQ(Error(), "ERROR RESPONSE") << c.what;
        EXPECT_EQ(master.RxText.size(), c.reply.size() * 3 - 1) << c.what;
    }
    // The same shapes when they are the answer.
    RawReply(rtu::WithCrc({0x01, 0x03, 0x04, 0, 1, 0, 2}));
    EXPECT_TRUE(master.ReadHoldingRegisters(1, 5, 2)) << Error();
    RawReply(rtu::WithCrc({0x01, 0x06, 0x00, 0x05, 0x00, 0x07}));
    EXPECT_TRUE(master.WriteSingleRegister(1, 5, 7)) << Error();
}

TEST_P(MasterOnLink, BitReadsNeedOneByteForEachEightBits) {
    // 9 coils take two bytes: one byte, or three, is no answer.
    RawReply(rtu::WithCrc({0x01, 0x01, 0x01, 0xFF}));
    EXPECT_FALSE(master.ReadCoils(1, 0, 9));
    EXPECT_EQ(master.LastError, 8);
    RawReply(rtu::WithCrc({0x01, 0x02, 0x03, 0xFF, 0x01, 0x00}));
    EXPECT_FALSE(master.ReadDiscreteInputs(1, 0, 9));
    EXPECT_EQ(master.LastError, 8);
    RawReply(rtu::WithCrc({0x01, 0x01, 0x02, 0x00, 0x01}));
    ASSERT_TRUE(master.ReadCoils(1, 0, 9)) << Error();
    EXPECT_EQ(master.Coils.GetValue(8), 1);
}

TEST_P(MasterOnLink, AReadTheResultArraysCannotHoldIsRefusedUnsent) {
    struct TCase {
        int function;
        int quantity;
        bool accepted;
    };
    const TCase cases[] = {{3, 32, true},  {3, 33, false}, {4, 32, true},  {4, 33, false}, {1, 64, true},
                           {1, 65, false}, {2, 64, true},  {2, 65, false}, {3, 0, false},  {1, 0, false}};
    for (const TCase& c : cases) {
        const std::size_t before = slave->RequestCount();
        bool ok = false;
        switch (c.function) {
        case 1:
            ok = master.ReadCoils(1, 0, c.quantity);
            break;
        case 2:
            ok = master.ReadDiscreteInputs(1, 0, c.quantity);
            break;
        case 3:
            ok = master.ReadHoldingRegisters(1, 0, c.quantity);
            break;
        default:
            ok = master.ReadInputRegisters(1, 0, c.quantity);
            break;
        }
        const std::string what =
            "function " + std::to_string(c.function) + " quantity " + std::to_string(c.quantity);
        EXPECT_EQ(ok, c.accepted) << what << ": " << Error();
        if (c.accepted) {
            EXPECT_TRUE(slave->WaitForRequests(before + 1, 1000)) << what;
        } else {
            EXPECT_EQ(master.LastError, 9) << what;
            EXPECT_EQ(Error(), "ERROR QUANTITY") << what;
            EXPECT_EQ(master.RxText, "") << what;
            EXPECT_EQ(slave->RequestCount(), before) << what;
        }
    }
    // The refused request still shows what was asked.
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 512, 33));
    EXPECT_TRUE(master.TxText.startsWith("01,03,02,00,00,21"));
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
        master.Timeout = 1000; // wide: the answer is never late
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
}

// A listener whose backlog is full drops new connection requests: the connect must give up by itself.
TEST(ModbusMasterConnect, AHostThatNeverAnswersEndsAfterTheTimeout) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length), 0);
    // Fill the queue until a connection request stays unanswered.
    std::vector<int> queued;
    bool full = false;
    while (!full && queued.size() < 16) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ASSERT_GE(fd, 0);
        queued.push_back(fd);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0)
            continue;
        ASSERT_EQ(errno, EINPROGRESS);
        pollfd p{fd, POLLOUT, 0};
        full = ::poll(&p, 1, 300) == 0;
    }
    ASSERT_TRUE(full);

    TModbusSerialTCPMaster master;
    master.ConnectionType = 1;
    master.Socket->Host = QStringLiteral("127.0.0.1");
    master.Socket->Port = ntohs(local.sin_port);
    master.Timeout = 150;
    EXPECT_FALSE(master.Connect());
    EXPECT_EQ(master.LastError, 6);
    EXPECT_FALSE(master.Connected);
    for (int fd : queued)
        ::close(fd);
    ::close(listener);
}

TEST(ModbusMasterConnect, ZeroPaddedHostIsDecimal) {
    ModbusTestSlave slave(Link::Tcp);
    TModbusSerialTCPMaster master;
    PointAt(master, slave);
    master.Socket->Host = QStringLiteral("127.000.000.001");
    master.Timeout = 1000; // wide: the answer is never late
    ASSERT_TRUE(master.Connect());
    EXPECT_TRUE(master.ReadHoldingRegisters(1, 0, 1)) << master.ErrorText().toStdString();
    // A failed connect after a good one leaves the master disconnected.
    master.Socket->Port = 0;
    EXPECT_FALSE(master.Connect());
    EXPECT_FALSE(master.Connected);
}

} // namespace
