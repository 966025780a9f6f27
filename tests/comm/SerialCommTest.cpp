// TSerialComm and the termios layer on pseudo-terminals.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <termios.h>

#include "comm/SerialComm.h"
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

} // namespace
