// vexadaxo-sim: remote I/O modules on a Modbus RTU bus, served over TCP and on a pseudo-terminal.
#include "tools/sim/CommandLine.h"
#include "tools/sim/Console.h"
#include "tools/sim/Simulator.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void Print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

// Reads commands from standard input and signals from a signalfd until asked to stop.
int Serve(vdsim::TSimulator& simulator, int signalFd) {
    std::string pending;
    bool inputOpen = true;
    for (;;) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {inputOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("poll");
            return 1;
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                if (info.ssi_signo == SIGUSR1) {
                    Print(vdsim::DescribeAll(simulator));
                } else {
                    return 0;
                }
            }
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[1024];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                inputOpen = false; // without a console the simulator runs until it is signalled
                continue;
            }
            pending.append(buffer, static_cast<std::size_t>(n));
            if (pending.size() > 65536) {
                pending.clear(); // no command is that long
            }
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                const std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                const vdsim::TConsoleResult result = vdsim::RunConsoleCommand(simulator, line);
                Print(result.Output);
                if (result.Quit) {
                    return 0;
                }
            }
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const vdsim::TSimCommandLine commandLine = vdsim::ParseCommandLine({argv + 1, argv + argc});
    if (commandLine.Help) {
        Print(std::string(vdsim::UsageText()) + vdsim::ConsoleHelp());
        return 0;
    }
    if (!commandLine.Error.empty()) {
        std::fprintf(stderr, "vexadaxo-sim: %s (see --help)\n", commandLine.Error.c_str());
        return 2;
    }
    // The signals are taken through a descriptor; block them before any thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGUSR1);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    if (::pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) {
        std::fprintf(stderr, "vexadaxo-sim: cannot block signals\n");
        return 1;
    }
    const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0) {
        std::perror("vexadaxo-sim: signalfd");
        return 1;
    }
    try {
        vdsim::TSimulator simulator(commandLine.Options);
        for (const auto& [address, fault] : commandLine.Faults) {
            const auto index = simulator.FindModule(address);
            if (!index) {
                throw std::invalid_argument("--fault: no module at address " + std::to_string(address));
            }
            simulator.SetFault(*index, fault);
        }
        for (const int address : commandLine.NoFactory) {
            const auto index = simulator.FindModule(address);
            if (!index) {
                throw std::invalid_argument("--no-factory: no module at address " + std::to_string(address));
            }
            simulator.SetFactoryAnswer(*index, false);
        }
        simulator.Start();
        if (simulator.Port() != 0) {
            Print("TCP " + simulator.Host() + ":" + std::to_string(simulator.Port()) + "\n");
        }
        if (!simulator.PtyPath().empty()) {
            Print("PTY " + simulator.PtyPath() + "\n");
        }
        Print("READY\n");
        const int rc = Serve(simulator, signalFd);
        simulator.Stop();
        ::close(signalFd);
        return rc;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vexadaxo-sim: %s\n", error.what());
        ::close(signalFd);
        return 1;
    }
}
