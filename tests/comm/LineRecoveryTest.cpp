// The master on a bus in the field: a module that answers after the timeout never has its answer taken
// for another request, and a line that goes away is connected again by the next request.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "comm/ModbusSerialTCPMaster.h"
#include "tests/support/ModbusTestSlave.h"
#include "tests/support/TestTools.h"

namespace {

using Link = ModbusTestSlave::Link;

// Register r holds 1000 + r, so a reply to a read of another address shows in its values.
void FillRegisters(ModbusTestSlave& slave) {
    slave.WithCore([](ModbusSlaveCore& core) {
        for (int r = 0; r < 64; ++r)
            core.SetHoldingRegister(r, std::uint16_t(1000 + r));
    });
}

struct TReads {
    int Ok = 0;
    int Wrong = 0;
    std::vector<std::string> Errors;
};

// Reads two registers at each of a few addresses in turn; a good result must hold that address's values.
TReads ReadInTurn(TModbusSerialTCPMaster& master, int count) {
    TReads reads;
    for (int i = 0; i < count; ++i) {
        const int address = 10 * (i % 4);
        if (!master.ReadHoldingRegisters(1, address, 2)) {
            reads.Errors.push_back(master.ErrorText().toStdString());
            continue;
        }
        ++reads.Ok;
        if (master.Registers.GetValue(0) != 1000 + address || master.Registers.GetValue(1) != 1001 + address)
            ++reads.Wrong;
    }
    return reads;
}

void PointAt(TModbusSerialTCPMaster& master, int port) {
    master.ConnectionType = 1;
    master.Socket->Host = QStringLiteral("127.0.0.1");
    master.Socket->Port = port;
    master.SerialPort->BaudRate = 57600;
}

TEST(MasterAgainstALateModule, NeverTakesAnAnswerForAnotherRequest) {
    struct TCase {
        double Delay; // times the timeout
        int Retries;
        bool AllOk;
    };
    const TCase cases[] = {{1.2, 0, false}, {1.5, 0, false}, {1.9, 0, false}, {1.2, 2, false},
                           {1.5, 2, false}, {1.9, 2, false}, {0.5, 0, true},  {0.5, 2, true}};
    constexpr int kTimeout = 400; // wide: the margin to twice the timeout must hold on a busy machine
    constexpr int kReads = 3;
    ModbusTestSlave slave(Link::Tcp);
    FillRegisters(slave);
    TModbusSerialTCPMaster master;
    PointAt(master, slave.Port());
    master.Timeout = kTimeout;
    ASSERT_TRUE(master.Connect());
    for (const TCase& c : cases) {
        SlaveBehaviour late;
        late.Fault = SlaveFault::Late;
        late.DelayMs = int(c.Delay * kTimeout);
        slave.SetBehaviour(late);
        master.Retries = c.Retries;
        const TReads reads = ReadInTurn(master, kReads);
        const std::string what =
            QString::number(c.Delay).toStdString() + " x timeout, retries " + std::to_string(c.Retries);
        EXPECT_EQ(reads.Wrong, 0) << what;
        if (c.AllOk) {
            EXPECT_EQ(reads.Ok, kReads) << what << (reads.Errors.empty() ? "" : ": " + reads.Errors[0]);
        }
    }
}

TEST(MasterAfterALostLine, TcpConnectsAgainWhenTheSlaveClosesOrComesBack) {
    auto slave = std::make_unique<ModbusTestSlave>(Link::Tcp);
    FillRegisters(*slave);
    const int port = slave->Port();
    TModbusSerialTCPMaster master;
    PointAt(master, port);
    master.Timeout = 1000;
    master.Retries = 1;
    ASSERT_TRUE(master.Connect());
    // The slave closes the connection on every third request: the retry connects again.
    for (int round = 0; round < 3; ++round) {
        SlaveBehaviour drop;
        drop.Fault = SlaveFault::DropConnection;
        drop.Times = 1;
        slave->SetBehaviour(drop);
        const TReads reads = ReadInTurn(master, 3);
        EXPECT_EQ(reads.Ok, 3) << (reads.Errors.empty() ? "" : reads.Errors[0]);
        EXPECT_EQ(reads.Wrong, 0);
    }
    // Gone altogether: the connect fails, and nothing raises SIGPIPE.
    slave.reset();
    master.Retries = 0;
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 2));
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 2));
    EXPECT_EQ(master.ErrorText(), "ERROR CONNECTION");
    EXPECT_FALSE(master.Connected);
    // Listening again on the same port: the next request reaches it.
    slave = std::make_unique<ModbusTestSlave>(Link::Tcp, 1, std::uint16_t(port));
    FillRegisters(*slave);
    const TReads reads = ReadInTurn(master, 4);
    EXPECT_EQ(reads.Ok, 4) << (reads.Errors.empty() ? "" : reads.Errors[0]);
    EXPECT_EQ(reads.Wrong, 0);
    EXPECT_TRUE(master.Connected);
}

// The port is a link to the pseudo-terminal, as a udev name is to an adapter: the adapter goes, and a
// new one comes under the same name.
TEST(MasterAfterALostLine, SerialOpensAgainWhenTheDeviceComesBack) {
    testtools::TTempDir dir;
    const std::string link = dir.File("ttyBus");
    const auto pointLink = [&](const ModbusTestSlave& slave) {
        const std::string fresh = dir.File("ttyBus.new");
        ::unlink(fresh.c_str());
        return ::symlink(slave.DevicePath().c_str(), fresh.c_str()) == 0 &&
               std::rename(fresh.c_str(), link.c_str()) == 0;
    };
    auto slave = std::make_unique<ModbusTestSlave>(Link::Pty);
    FillRegisters(*slave);
    ASSERT_TRUE(pointLink(*slave));
    TModbusSerialTCPMaster master;
    master.SerialPort->PortName = QString::fromStdString(link);
    master.SerialPort->BaudRate = 57600;
    master.Timeout = 1000;
    master.Retries = 0;
    ASSERT_TRUE(master.Connect());
    EXPECT_EQ(ReadInTurn(master, 2).Ok, 2);

    slave.reset(); // the other end closes
    ASSERT_EQ(::unlink(link.c_str()), 0);
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 2));
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 2));
    EXPECT_EQ(master.ErrorText(), "ERROR CONNECTION");
    EXPECT_FALSE(master.Connected);

    slave = std::make_unique<ModbusTestSlave>(Link::Pty);
    FillRegisters(*slave);
    ASSERT_TRUE(pointLink(*slave));
    const TReads reads = ReadInTurn(master, 4);
    EXPECT_EQ(reads.Ok, 4) << (reads.Errors.empty() ? "" : reads.Errors[0]);
    EXPECT_EQ(reads.Wrong, 0);
}

} // namespace
