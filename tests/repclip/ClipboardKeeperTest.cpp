// The report copied to the clipboard stays there after the program that copied it has ended, until
// another program takes the clipboard; read by other processes on the same X server.
#include "OModules.h"
#include "reporter/gui/OClipboardKeeper.h"
#include "tests/support/TestTools.h"

#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

std::string Self() {
    return reporter::ProgramFileName();
}

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool Alive(pid_t pid) {
    return ::kill(pid, 0) == 0;
}

// Waits until the process (not a child of ours) has ended: its pidfd becomes readable. With an
// application object, its events are served meanwhile (a clipboard owner must answer). True when it
// ended within the timeout.
bool WaitForEnd(pid_t pid, std::chrono::milliseconds timeout) {
    const int fd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0)
        return errno == ESRCH;
    bool ended = false;
    if (QCoreApplication::instance() != nullptr) {
        QEventLoop loop;
        QSocketNotifier notifier(fd, QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
            ended = true;
            loop.quit();
        });
        QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
        loop.exec();
    } else {
        pollfd end{fd, POLLIN, 0};
        ended = ::poll(&end, 1, int(timeout.count())) == 1;
    }
    ::close(fd);
    return ended;
}

// The text a fresh X client reads from the clipboard.
std::string ClipboardOfAnotherProcess() {
    return testtools::Run(Self() + " --read-clipboard").Output;
}

TEST(ClipboardKeeper, TheCopyOutlivesTheProgramUntilAnotherTakesTheClipboard) {
    const std::string report = "OstrelLog report\nRelatório: 0000000000401234 — Access violation";
    // The "program": copies the report and ends at once, as a fatal report does.
    const testtools::TCommandResult program = testtools::Run(Self() + " --copy-and-end " + Quoted(report));
    ASSERT_EQ(program.ExitCode, 0) << program.Output;
    const pid_t keeper = pid_t(std::atoi(program.Output.c_str()));
    ASSERT_GT(keeper, 0) << program.Output;
    EXPECT_TRUE(Alive(keeper));
    EXPECT_EQ(ClipboardOfAnotherProcess(), report);
    // Read again: a paste does not end the keeping.
    EXPECT_EQ(ClipboardOfAnotherProcess(), report);

    // Another program's copy takes over; the keeper leaves.
    ASSERT_EQ(
        testtools::Run(Self() + " --take-clipboard 'something else' " + std::to_string(keeper)).ExitCode, 0);
    EXPECT_TRUE(WaitForEnd(keeper, 20s)); // a hang guard, not a timing check
    EXPECT_NE(ClipboardOfAnotherProcess(), report);
}

TEST(ClipboardKeeper, AKeeperWithoutAServerOrWithoutAProgramIsRefused) {
    EXPECT_EQ(reporter::KeepTextOnClipboard("text", "/nonexistent/program"), -1);
    // The keeper's argument alone in a process that is not asked to keep anything.
    int argc = 1;
    char name[] = "program";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(reporter::RunClipboardKeeper(argc, argv), -1);
}

} // namespace

int main(int argc, char** argv) {
    if (const int keeper = reporter::RunClipboardKeeper(argc, argv); keeper >= 0)
        return keeper;
    if (argc >= 3 && std::strcmp(argv[1], "--copy-and-end") == 0) {
        std::printf("%d\n", int(reporter::KeepTextOnClipboard(argv[2])));
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--read-clipboard") == 0) {
        // Only the clipboard's text on the output: the toolkit's notes go nowhere.
        if (std::freopen("/dev/null", "w", stderr) == nullptr)
            return 2;
        QGuiApplication app(argc, argv);
        std::fputs(QGuiApplication::clipboard()->text().toStdString().c_str(), stdout);
        return 0;
    }
    if (argc >= 4 && std::strcmp(argv[1], "--take-clipboard") == 0) {
        QGuiApplication app(argc, argv);
        QGuiApplication::clipboard()->setText(QString::fromUtf8(argv[2]));
        // Held until the keeper (its ID in argv[3]) has seen the new owner and left.
        return WaitForEnd(pid_t(std::atoi(argv[3])), 20s) ? 0 : 3;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
