// The master on a bus in the field: a module that answers after the timeout never has its answer taken
// for another request, and a line that goes away is connected again, at most once per timeout.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <future>
#include <limits>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
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

// Reads registers at changing addresses back to back until one succeeds; false when none did within
// the deadline (the reconnects of a line that came back are spaced by the timeout).
bool ReadWhenBack(TModbusSerialTCPMaster& master) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline)
        if (master.ReadHoldingRegisters(1, 0, 2))
            return true;
    return false;
}

// A slave that answers in order (it reads a request, answers it, then reads the next) and stalls: the
// stalled answer and every one queued behind it must never be taken for a later request's.
TEST(MasterAgainstAnInOrderSlave, NeverTakesAnAnswerForAnotherRequest) {
    constexpr int kTimeout = 100;
    constexpr int kReads = 200;
    struct TCase {
        const char* What;
        int Retries;
        ModbusTestSlave::DelayPlan Delays;
        // The line comes back in step: of 200 reads only those near the stalls fail, at most this many
        // per four stalls (the reads that go while the module is stalled, and one or two after); -1:
        // all may. The stalls are those the slave made: the plan counts the master's fences and
        // retries too, so a few more of them bring a fifth, and a busy machine that holds an answer
        // back past the timeout stalls the slave as the plan does.
        int MostFailed;
    };
    // 2 ms normally; one reply in 50 stalls.
    const auto stall = [](double times) {
        return [times](std::size_t n) { return n % 50 == 7 ? int(times * kTimeout) : 2; };
    };
    // Every reply 1.2 to 1.9 x the timeout late, the factor stepping through the range.
    const ModbusTestSlave::DelayPlan late = [](std::size_t n) {
        return int((1.2 + 0.1 * double(n % 8)) * kTimeout);
    };
    const TCase cases[] = {
        {"stall 2.5 x, retries 0", 0, stall(2.5), 20},
        {"stall 2.5 x, retries 2", 2, stall(2.5), 20},
        {"stall 5 x, retries 0", 0, stall(5), 20},
        {"stall 5 x, retries 2", 2, stall(5), 20},
        // Long enough for the module to be taken for a dead one before its answers come.
        {"stall 10 x, retries 0", 0, stall(10), 4 * 13},
        {"1.2-1.9 x late, retries 0", 0, late, -1},
        {"1.2-1.9 x late, retries 2", 2, late, -1},
        // Later than the goal asks: the answers still due are counted, and waited for as late as
        // the slave has shown itself to be.
        {"2.5 x late, retries 2", 2, [](std::size_t) { return int(2.5 * kTimeout); }, -1},
        {"2.5 x late, retries 0", 0, [](std::size_t) { return int(2.5 * kTimeout); }, -1},
    };
    for (const TCase& c : cases) {
        ModbusTestSlave slave(Link::Tcp);
        FillRegisters(slave);
        TModbusSerialTCPMaster master;
        PointAt(master, slave.Port());
        master.Timeout = kTimeout;
        master.Retries = c.Retries;
        ASSERT_TRUE(master.Connect());
        slave.SetDelays(c.Delays);
        const TReads reads = ReadInTurn(master, c.MostFailed >= 0 ? kReads : 8);
        EXPECT_EQ(reads.Wrong, 0) << c.What;
        if (c.MostFailed >= 0) {
            const int stalls = int(slave.AnswersLate(kTimeout));
            EXPECT_GE(reads.Ok, kReads - c.MostFailed * stalls / 4)
                << c.What << ", " << stalls << " stalls"
                << (reads.Errors.empty() ? "" : ": " + reads.Errors[0]);
        }
    }
}

// A slave that closes every connection on the request it gets: the master connects again at most
// once per timeout, and the requests in between fail at once with the connection error.
TEST(MasterAfterALostLine, ConnectsAgainAtMostOncePerTimeout) {
    ModbusTestSlave slave(Link::Tcp);
    TModbusSerialTCPMaster master;
    PointAt(master, slave.Port());
    master.Timeout = 200;
    master.Retries = 2;
    ASSERT_TRUE(master.Connect());
    SlaveBehaviour drop;
    drop.Fault = SlaveFault::DropConnection;
    slave.SetBehaviour(drop);
    const auto start = std::chrono::steady_clock::now();
    int requests = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1000)) {
        EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 2));
        EXPECT_EQ(master.ErrorText(), "ERROR CONNECTION");
        ++requests;
    }
    const auto elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    // Each connection carries exactly one request: the first, one made again at once, then one per
    // 200 ms at most. A busy machine only makes the window, and with it the bound, longer.
    EXPECT_LE(slave.RequestCount(), std::size_t(2 + elapsedMs / 200));
    EXPECT_GT(requests, int(slave.RequestCount()));
}

// A Timeout or a Retries as large as their type holds is waited as given: nothing overflows into a
// request that fails at once.
TEST(MasterLimits, LargestTimeoutAndRetriesStillWait) {
    ModbusTestSlave slave(Link::Tcp);
    FillRegisters(slave);
    TModbusSerialTCPMaster master;
    PointAt(master, slave.Port());
    ASSERT_TRUE(master.Connect());
    const struct {
        std::int32_t Timeout;
        std::int32_t Retries;
    } cases[] = {
        {MaxTimeoutMs, 0}, {MaxTimeoutMs / 2 + 1, 2}, {1000, std::numeric_limits<std::int32_t>::max()}};
    for (const auto& c : cases) {
        master.Timeout = c.Timeout;
        master.Retries = c.Retries;
        // The answer comes late enough that a request that did not wait would miss it.
        SlaveBehaviour late;
        late.Fault = SlaveFault::Late;
        late.DelayMs = 50;
        late.Times = 1;
        slave.SetBehaviour(late);
        EXPECT_TRUE(master.ReadHoldingRegisters(1, 10, 2))
            << c.Timeout << " " << master.ErrorText().toStdString();
        EXPECT_EQ(master.Registers.GetValue(0), 1010);
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
    // A new connection owes nothing of the old one: no slave is fenced after it.
    EXPECT_EQ(master.Counts().Fences, 0u);
    // Gone altogether: the connect fails, and nothing raises SIGPIPE.
    slave.reset();
    master.Retries = 0;
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 2));
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 0, 2));
    EXPECT_EQ(master.ErrorText(), "ERROR CONNECTION");
    EXPECT_FALSE(master.Connected);
    // Listening again on the same port: a request reaches it within a reconnect or two.
    slave = std::make_unique<ModbusTestSlave>(Link::Tcp, 1, std::uint16_t(port));
    FillRegisters(*slave);
    ASSERT_TRUE(ReadWhenBack(master));
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
    ASSERT_TRUE(ReadWhenBack(master));
    const TReads reads = ReadInTurn(master, 4);
    EXPECT_EQ(reads.Ok, 4) << (reads.Errors.empty() ? "" : reads.Errors[0]);
    EXPECT_EQ(reads.Wrong, 0);
}

} // namespace

namespace {

// A listener whose queue of connections is full: a further connect is never answered and waits.
class TFullListener {
public:
    TFullListener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof at;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
            ::listen(m_fd, 0) != 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&at), &length) != 0)
            return;
        m_port = ntohs(at.sin_port);
        for (int i = 0; i < 4; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            if (c < 0)
                continue;
            ::connect(c, reinterpret_cast<sockaddr*>(&at), sizeof at);
            m_fillers.push_back(c);
        }
    }
    ~TFullListener() {
        for (int c : m_fillers)
            ::close(c);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TFullListener(const TFullListener&) = delete;
    TFullListener& operator=(const TFullListener&) = delete;
    int Port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
};

// A line gone while the master connects it again to a host that does not answer: an abort ends the
// connect too, whatever the Timeout.
TEST(MasterAfterALostLine, AnAbortEndsAConnectThatWaits) {
    auto slave = std::make_unique<ModbusTestSlave>(Link::Tcp);
    TModbusSerialTCPMaster master;
    PointAt(master, slave->Port());
    master.Timeout = 60000;
    master.Retries = 0;
    ASSERT_TRUE(master.Connect());
    ASSERT_TRUE(master.ReadHoldingRegisters(1, 0, 2));
    slave.reset();
    const TFullListener full;
    ASSERT_NE(full.Port(), 0);
    master.Socket->Port = full.Port();
    auto read = std::async(std::launch::async, [&] { return master.ReadHoldingRegisters(1, 0, 2); });
    // Whether the read is in its connect yet or not, the abort ends it.
    EXPECT_EQ(read.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    master.Abort();
    ASSERT_EQ(read.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_FALSE(read.get());
}

} // namespace

namespace {

// The technician stops the diagnostics while a module on the serial line is late, and starts them
// again at once: the module's answer to the request the stop ended is still on its way down the line,
// and the first read of the new start does not take it for its own.
TEST(MasterAfterALostLine, AnAnswerStillOnTheSerialLineIsNotTakenAfterTheNextConnect) {
    ModbusTestSlave slave(Link::Pty);
    FillRegisters(slave);
    TModbusSerialTCPMaster master;
    master.SerialPort->PortName = QString::fromStdString(slave.DevicePath());
    master.SerialPort->BaudRate = 57600;
    master.Timeout = 1000;
    master.Retries = 0;
    ASSERT_TRUE(master.Connect());
    ASSERT_TRUE(master.ReadHoldingRegisters(1, 0, 2));
    // The next answer comes 0.8 s late: after the stop, within the first read of the new start.
    slave.SetDelays([](std::size_t n) { return n == 0 ? 800 : 0; });
    auto read = std::async(std::launch::async, [&] { return master.ReadHoldingRegisters(1, 10, 2); });
    ASSERT_TRUE(slave.WaitForRequests(2, 10000));
    master.Abort();
    ASSERT_EQ(read.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_FALSE(read.get());
    master.Disconnect();
    ASSERT_TRUE(master.Connect());
    const bool ok = master.ReadHoldingRegisters(1, 20, 2);
    if (ok) {
        EXPECT_EQ(master.Registers.GetValue(0), 1020);
        EXPECT_EQ(master.Registers.GetValue(1), 1021);
    }
    EXPECT_TRUE(ReadInTurn(master, 4).Wrong == 0);
    EXPECT_TRUE(master.ReadHoldingRegisters(1, 30, 2)) << master.ErrorText().toStdString();
    EXPECT_EQ(master.Registers.GetValue(0), 1030);
}

} // namespace
