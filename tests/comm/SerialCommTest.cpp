// TSerialComm and the termios layer on pseudo-terminals.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <termios.h>
#include <utility>
#include <vector>

#include "comm/SerialComm.h"
#include "comm/SerialLine.h"
#include "platform/SerialPortPosix.h"
#include "tests/support/ModbusTestSlave.h"

namespace {

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

TEST(SerialDevicePath, MapsPortNames) {
    EXPECT_EQ(platform::SerialDevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(platform::SerialDevicePath("COM12"), "/dev/ttyS11");
    EXPECT_EQ(platform::SerialDevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(platform::SerialDevicePath("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(platform::SerialDevicePath("COM0"), "/dev/COM0");
    EXPECT_EQ(platform::SerialDevicePath("COMX"), "/dev/COMX");
}

TEST(TSerialComm, OpenFailuresLeaveNoDescriptorOpen) {
    const std::size_t before = OpenDescriptors();
    TSerialComm port;
    EXPECT_EQ(port.Handle, -1);

    port.PortName = QStringLiteral("/dev/vd-no-such-port");
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastError, 6);
    EXPECT_EQ(port.Handle, -1);

    port.PortName = QStringLiteral("/dev/null"); // opens, but is no terminal
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastError, 4);
    EXPECT_EQ(port.Handle, -1);
    EXPECT_EQ(OpenDescriptors(), before);

    ModbusTestSlave slave(ModbusTestSlave::Link::Pty);
    const std::size_t withSlave = OpenDescriptors();
    port.PortName = QString::fromStdString(slave.DevicePath());
    port.BaudRate = 12345; // no such line rate
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastError, 5);
    port.BaudRate = 9600;
    port.StopBits = 3;
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastError, 5);
    EXPECT_EQ(port.Handle, -1);
    EXPECT_EQ(OpenDescriptors(), withSlave);

    port.StopBits = 1;
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.LastError, 0);
    EXPECT_TRUE(port.Open()); // again: the first descriptor is not leaked
    EXPECT_EQ(OpenDescriptors(), withSlave + 1);
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.Close());
    EXPECT_EQ(OpenDescriptors(), withSlave);
}

TEST(TSerialComm, AppliesTheLineSettings) {
    ModbusTestSlave slave(ModbusTestSlave::Link::Pty);
    TSerialComm port;
    port.PortName = QString::fromStdString(slave.DevicePath());
    port.BaudRate = 19200;
    port.StopBits = 2;
    port.Parity = 2;
    ASSERT_TRUE(port.Open()) << port.LastError;
    termios block{};
    ASSERT_EQ(::tcgetattr(port.Handle, &block), 0);
    EXPECT_EQ(cfgetospeed(&block), speed_t(B19200));
    EXPECT_EQ(cfgetispeed(&block), speed_t(B19200));
    EXPECT_TRUE(block.c_cflag & CSTOPB);
    EXPECT_EQ(block.c_lflag & (ICANON | ECHO | ISIG), 0u); // binary frames pass untouched
    EXPECT_EQ(block.c_oflag & OPOST, 0u);
    EXPECT_EQ(block.c_cflag & CRTSCTS, 0u);
}

TEST(TSerialComm, ParityAndSizeGoIntoTheTermiosBlock) {
    // A pseudo-terminal keeps no parity, so the block itself is checked.
    termios block{};
    platform::TSerialLineSettings settings;
    settings.StopBits = 2;
    settings.Parity = 2;
    ASSERT_TRUE(platform::ApplyLineSettings(block, settings));
    EXPECT_TRUE(block.c_cflag & PARENB);
    EXPECT_FALSE(block.c_cflag & PARODD);
    EXPECT_TRUE(block.c_cflag & CSTOPB);
    EXPECT_EQ(block.c_cflag & CSIZE, tcflag_t(CS8));

    settings.Parity = 1;
    settings.StopBits = 1;
    settings.DataBits = 7;
    ASSERT_TRUE(platform::ApplyLineSettings(block, settings));
    EXPECT_TRUE(block.c_cflag & PARENB);
    EXPECT_TRUE(block.c_cflag & PARODD);
    EXPECT_FALSE(block.c_cflag & CSTOPB);
    EXPECT_EQ(block.c_cflag & CSIZE, tcflag_t(CS7));

    settings.Parity = 9; // unknown: the parity as read stays
    ASSERT_TRUE(platform::ApplyLineSettings(block, settings));
    EXPECT_TRUE(block.c_cflag & PARODD);
    settings.Parity = 0;
    ASSERT_TRUE(platform::ApplyLineSettings(block, settings));
    EXPECT_FALSE(block.c_cflag & PARENB);

    settings.DataBits = 9;
    EXPECT_FALSE(platform::ApplyLineSettings(block, settings));
}

TEST(TSerialComm, ReadsWritesAndCountsWaitingBytes) {
    ModbusTestSlave slave(ModbusTestSlave::Link::Pty);
    TSerialComm port;
    port.PortName = QString::fromStdString(slave.DevicePath());
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.BytesInQueue(), 0);
    std::array<std::uint8_t, 4> in{};
    EXPECT_FALSE(port.Read(in.data(), 1)); // nothing waiting

    const std::array<std::uint8_t, 3> sent{0x0A, 0x0D, 0x11}; // bytes a cooked terminal would alter
    ASSERT_TRUE(slave.SendUnasked(sent));
    EXPECT_EQ(port.WaitForData(1000), platform::TWaitResult::Ready);
    EXPECT_EQ(port.BytesInQueue(), 3);
    EXPECT_FALSE(port.Read(in.data(), 4)); // fewer than asked
    EXPECT_EQ(in[0], 0x0A);
    ASSERT_TRUE(slave.SendUnasked(sent));
    ASSERT_EQ(port.WaitForData(1000), platform::TWaitResult::Ready);
    EXPECT_TRUE(port.Read(in.data(), 1));

    // A pseudo-terminal has no RTS line and still sends.
    const rtu::Frame request = rtu::WithCrc({0x01, 0x06, 0x00, 0x0D, 0x00, 0x0A});
    EXPECT_TRUE(port.Write(request.data(), int(request.size())));
    ASSERT_TRUE(slave.WaitForRequests(1, 1000));
    EXPECT_EQ(slave.Requests()[0], request);

    port.Close();
    EXPECT_EQ(port.BytesInQueue(), 0);
    EXPECT_FALSE(port.Write(request.data(), int(request.size())));
}

// Records the calls made around a write and passes them on to the real descriptor; it claims modem
// lines or not as the test wants.
class TRecordingLine final : public TSerialLine {
public:
    explicit TRecordingLine(bool modemLines, std::vector<std::string>& calls)
        : m_modemLines(modemLines), m_calls(calls) {}
    bool HasModemLines(int) override {
        m_calls.push_back("probe");
        return m_modemLines;
    }
    bool SetRts(int, bool raised) override {
        m_calls.push_back(raised ? "rts on" : "rts off");
        return true;
    }
    bool Write(int fd, const void* data, std::size_t n) override {
        m_calls.push_back("write");
        return m_real.Write(fd, data, n);
    }
    bool Drain(int fd) override {
        m_calls.push_back("drain");
        return m_real.Drain(fd);
    }

private:
    bool m_modemLines;
    std::vector<std::string>& m_calls;
    TPosixSerialLine m_real;
};

TEST(TSerialComm, RtsDropsOnlyAfterTheDrainAndOnlyWhereThereAreModemLines) {
    ModbusTestSlave slave(ModbusTestSlave::Link::Pty);
    const rtu::Frame request = rtu::WithCrc({0x01, 0x06, 0x00, 0x0D, 0x00, 0x0A});
    for (const bool modemLines : {true, false}) {
        std::vector<std::string> calls;
        TSerialComm port;
        port.SetLine(std::make_unique<TRecordingLine>(modemLines, calls));
        port.PortName = QString::fromStdString(slave.DevicePath());
        ASSERT_TRUE(port.Open());
        EXPECT_EQ(port.ModemLines(), modemLines);
        EXPECT_TRUE(port.Write(request.data(), int(request.size())));
        EXPECT_TRUE(port.Write(request.data(), int(request.size())));
        const std::vector<std::string> expected =
            modemLines ? std::vector<std::string>{"probe",  "rts on", "write", "drain",  "rts off",
                                                  "rts on", "write",  "drain", "rts off"}
                       : std::vector<std::string>{"probe", "write", "write"};
        EXPECT_EQ(calls, expected) << modemLines;
    }
    ASSERT_TRUE(slave.WaitForRequests(4, 1000));
    // The real probe: a pseudo-terminal has no modem lines.
    TSerialComm port;
    port.PortName = QString::fromStdString(slave.DevicePath());
    ASSERT_TRUE(port.Open());
    EXPECT_FALSE(port.ModemLines());
}

TEST(TSerialComm, DiscardDropsWhatWaitsAndReadWaitingNeverWaits) {
    ModbusTestSlave slave(ModbusTestSlave::Link::Pty);
    TSerialComm port;
    EXPECT_FALSE(port.Discard()); // not open
    std::array<std::uint8_t, 8> in{};
    EXPECT_EQ(port.ReadWaiting(in.data(), 8), -1);
    port.PortName = QString::fromStdString(slave.DevicePath());
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.ReadWaiting(in.data(), 8), 0);
    const std::array<std::uint8_t, 5> sent{1, 2, 3, 4, 5};
    ASSERT_TRUE(slave.SendUnasked(sent));
    ASSERT_EQ(port.WaitForData(1000), platform::TWaitResult::Ready);
    EXPECT_EQ(port.ReadWaiting(in.data(), 2), 2); // bounded by what is asked for
    EXPECT_EQ(in[1], 2);
    EXPECT_TRUE(port.Discard());
    EXPECT_EQ(port.BytesInQueue(), 0);
    EXPECT_EQ(port.ReadWaiting(in.data(), 8), 0);
}

// Every rate the serial layer knows sets its own termios speed; the first rates past either end and
// between two known ones are refused.
TEST(TSerialComm, EveryBaudRateMapsToItsOwnTermiosSpeed) {
    const std::pair<int, speed_t> rates[] = {
        {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
        {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
        {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
        {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
        {576000, B576000}, {921600, B921600}, {1000000, B1000000},
    };
    for (const auto& [rate, speed] : rates) {
        termios block{};
        platform::TSerialLineSettings settings;
        settings.BaudRate = rate;
        ASSERT_TRUE(platform::ApplyLineSettings(block, settings)) << rate;
        EXPECT_EQ(cfgetospeed(&block), speed) << rate;
        EXPECT_EQ(cfgetispeed(&block), speed) << rate;
    }
    for (const int rate : {0, 49, 9601, 1000001, -9600}) {
        termios block{};
        platform::TSerialLineSettings settings;
        settings.BaudRate = rate;
        EXPECT_FALSE(platform::ApplyLineSettings(block, settings)) << rate;
    }
}

} // namespace
