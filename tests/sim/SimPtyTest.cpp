// The simulator on a pseudo-terminal: the program's serial path. A module hears only requests sent
// with its own baud rate and stop bits (or the factory settings at 247).
#include "RtuClient.h"

#include "tools/sim/Simulator.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

using namespace simtest;

namespace {

void SetLine(int fd, speed_t speed, tcflag_t parity, bool twoStopBits) {
    termios settings{};
    ASSERT_EQ(::tcgetattr(fd, &settings), 0);
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~(CSTOPB | PARENB | PARODD);
    settings.c_cflag |= parity | (twoStopBits ? CSTOPB : 0);
    ASSERT_EQ(::cfsetispeed(&settings, speed), 0);
    ASSERT_EQ(::cfsetospeed(&settings, speed), 0);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &settings), 0);
}

} // namespace

TEST(SimPty, AModuleHearsOnlyItsLineSettings) {
    vdsim::TSimOptions options;
    options.Tcp = false;
    options.Pty = true;
    options.Still = true;
    options.Modules = {{5, 0}};
    vdsim::TSimulator sim(options);
    sim.Start();
    ASSERT_FALSE(sim.PtyPath().empty());

    const int fd = ::open(sim.PtyPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    TRtuClient port(fd);
    SetLine(fd, B9600, 0, false);
    EXPECT_EQ(RegistersOf(port.Transact(Request(5, 3, 513, 1))), std::vector<std::uint16_t>{5});

    SetLine(fd, B19200, 0, false);
    EXPECT_TRUE(port.Transact(Request(5, 3, 513, 1), 200).empty());
    EXPECT_EQ(sim.State(0).Counters.LineMismatches, 1u);

    // Move the module to 19200 8N2 through its own registers.
    SetLine(fd, B9600, 0, false);
    for (const auto& [address, value] : {std::pair{512, 2}, {514, 2}, {515, 0x6766}}) {
        const TBytes request = Request(5, 6, address, value);
        EXPECT_EQ(port.Transact(request), request);
    }
    EXPECT_TRUE(port.Transact(Request(5, 3, 513, 1), 200).empty());
    SetLine(fd, B19200, 0, false);
    EXPECT_TRUE(port.Transact(Request(5, 3, 513, 1), 200).empty()); // one stop bit short
    SetLine(fd, B19200, 0, true);
    EXPECT_EQ(RegistersOf(port.Transact(Request(5, 3, 512, 3))), (std::vector<std::uint16_t>{2, 5, 2}));

    // At the factory address the module also listens at 9600 8N1.
    SetLine(fd, B9600, 0, false);
    EXPECT_EQ(RegistersOf(port.Transact(Request(247, 3, 513, 1))), std::vector<std::uint16_t>{5});
    sim.Stop();
}
