// The program vexadaxo-sim as tests and people start it: options, the printed port, the console.
#include "RtuClient.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace simtest;

namespace {

// The program with pipes on its standard input and output.
class TSimProcess {
public:
    explicit TSimProcess(std::vector<std::string> arguments) {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        arguments.insert(arguments.begin(), VD_SIM_PROGRAM);
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&Pid, VD_SIM_PROGRAM, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        Input = in[1];
        Output = out[0];
        if (rc != 0) {
            throw std::runtime_error("posix_spawn");
        }
    }

    ~TSimProcess() {
        if (Pid > 0) {
            ::kill(Pid, SIGTERM);
            Wait();
        }
        ::close(Input);
        ::close(Output);
    }

    void Say(const std::string& line) const {
        const std::string text = line + "\n";
        ASSERT_EQ(::write(Input, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // The next line of output; empty after 5 s without one.
    std::string Line() {
        for (;;) {
            if (const auto end = Buffer.find('\n'); end != std::string::npos) {
                std::string line = Buffer.substr(0, end);
                Buffer.erase(0, end + 1);
                return line;
            }
            pollfd fd{Output, POLLIN, 0};
            char chunk[4096];
            if (::poll(&fd, 1, 5000) <= 0) {
                return {};
            }
            const ssize_t n = ::read(Output, chunk, sizeof chunk);
            if (n <= 0) {
                return {};
            }
            Buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    int Wait() {
        int status = 0;
        while (::waitpid(Pid, &status, 0) < 0 && errno == EINTR) {
        }
        Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t Pid = -1;
    int Input = -1;
    int Output = -1;
    std::string Buffer;
};

} // namespace

TEST(SimProgram, PrintsItsPortServesAndTakesCommands) {
    TSimProcess sim({"--port", "0", "--module", "3:62", "--module", "4:0", "--fault", "4:silent"});
    const std::string tcp = sim.Line();
    ASSERT_EQ(tcp.rfind("TCP 127.0.0.1:", 0), 0u) << tcp;
    EXPECT_EQ(sim.Line(), "READY");
    const TRtuClient client = TRtuClient::Tcp(std::stoi(tcp.substr(tcp.find(':') + 1)));

    EXPECT_EQ(RegistersOf(client.Transact(Request(3, 3, 517, 1))), std::vector<std::uint16_t>{62});
    EXPECT_TRUE(client.Transact(Request(4, 3, 517, 1), 200).empty());
    sim.Say("fault 4 off");
    EXPECT_EQ(sim.Line(), "fault 4 off");
    EXPECT_EQ(RegistersOf(client.Transact(Request(4, 3, 517, 1))), std::vector<std::uint16_t>{0});

    const TBytes write = Request(3, 6, 513, 8);
    EXPECT_EQ(client.Transact(write), write);
    sim.Say("state 3");
    EXPECT_EQ(sim.Line().rfind("module 0 at 3: model 62", 0), 0u);
    std::string text;
    for (std::string line; (line = sim.Line()) != "end of state" && !line.empty();) {
        text += line + "\n";
    }
    EXPECT_NE(text.find("address 8 (stored 3)"), std::string::npos) << text;

    sim.Say("fault 9 silent");
    EXPECT_EQ(sim.Line(), "error: no module at address 9");
    sim.Say("quit");
    EXPECT_EQ(sim.Wait(), 0);
}

TEST(SimProgram, RefusesABadModuleList) {
    TSimProcess sim({"--port", "0", "--module", "3:62", "--module", "3:0"});
    EXPECT_EQ(sim.Wait(), 1);
    TSimProcess usage({"--module", "x"});
    EXPECT_EQ(usage.Wait(), 2);
}
