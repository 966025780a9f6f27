// Side by side, in one run, against the same libmodbus slave on a pseudo-terminal and over TCP
// loopback: the project's Modbus master and libmodbus's RTU client, reading 17 holding registers.
// Prints requests per second and processor time per request (medians of alternating runs), system calls per
// request (strace -c -f over two runs of different length, so that start-up calls cancel out) and the
// processor time of a request that waits 200 ms for a late reply, then the master's ratios to libmodbus.
// Last, the master alone: the time a silent address costs, as a ratio to (retries + 1) x timeout, on
// addresses in turn (a search) and on one address read again (the supervision of a silent module); and
// the time one lost request costs against a slave that answers in order, as a ratio to the timeout.
//
//   bench_comm                     the comparison
//   bench_comm client KIND LINK ENDPOINT COUNT ADDRESS
//                                  one client run (KIND master or libmodbus, LINK pty or tcp); prints
//                                  "wall cpu failures" in seconds
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bench/comm/BenchClient.h"
#include "bench/comm/BenchSlave.h"
#include "bench/comm/LostRequest.h"
#include "bench/comm/SilentAddress.h"

namespace {

using bench::TClientRun;

constexpr int kRequests = 2000;
// Runs of the two clients alternate this many times; the medians are reported, so that a busy machine
// weighs on both alike.
constexpr int kRounds = 7;
constexpr int kTracedRequests = 300;
constexpr int kLateRequests = 5;
constexpr int kReadAddress = 512;
constexpr int kSilentTimeoutMs = 100; // the search's timeout
constexpr int kSilentAddresses = 20;
constexpr int kLostReads = 200;

std::string SelfPath() {
    std::vector<char> path(4096);
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0)
        throw std::runtime_error("cannot find the program's own path");
    return std::string(path.data(), std::size_t(n));
}

// Runs argv to its end; its standard output, or nothing when it failed.
std::optional<std::string> Run(const std::vector<std::string>& argv) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        std::_Exit(127);
    }
    ::close(out[1]);
    std::string text;
    char chunk[512];
    for (;;) {
        const ssize_t n = ::read(out[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(chunk, std::size_t(n));
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return text;
}

std::vector<std::string> ClientArgs(const std::string& kind, const std::string& link,
                                    const std::string& endpoint, int count, int address) {
    return {SelfPath(), "client", kind, link, endpoint, std::to_string(count), std::to_string(address)};
}

TClientRun Client(const std::string& kind, const std::string& link, const std::string& endpoint, int count,
                  int address) {
    const auto out = Run(ClientArgs(kind, link, endpoint, count, address));
    TClientRun run{0, 0, count};
    if (out) {
        std::istringstream in(*out);
        in >> run.WallSeconds >> run.CpuSeconds >> run.Failures;
    }
    return run;
}

// The "total" row of strace -c: its calls column.
long TotalCalls(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    long calls = -1;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string x; words >> x;)
            w.push_back(x);
        if (w.size() >= 5 && w.back() == "total")
            calls = std::atol(w[3].c_str());
    }
    return calls;
}

// System calls per request: two traced runs, the longer one's extra calls divided by its extra requests.
double CallsPerRequest(const std::string& dir, const std::string& kind, const std::string& link,
                       const std::string& endpoint) {
    long calls[2] = {-1, -1};
    for (int i = 0; i < 2; ++i) {
        const std::string file = dir + "/strace-" + std::to_string(i);
        std::vector<std::string> argv = {"strace", "-f", "-c", "-o", file};
        for (const std::string& a : ClientArgs(kind, link, endpoint, kTracedRequests * (i + 1), kReadAddress))
            argv.push_back(a);
        if (!Run(argv))
            return -1;
        calls[i] = TotalCalls(file);
        ::unlink(file.c_str());
    }
    if (calls[0] < 0 || calls[1] < 0)
        return -1;
    return double(calls[1] - calls[0]) / kTracedRequests;
}

struct TRow {
    double RequestsPerSecond = 0;
    double CpuMicrosPerRequest = 0;
    double CallsPerRequest = 0;
    double LateCpuMillisPerRequest = 0;
    int Failures = 0;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Both clients, in alternating rounds.
std::array<TRow, 2> MeasureBoth(const std::string& dir, const std::array<const char*, 2>& kinds,
                                const std::string& link, const std::string& endpoint) {
    std::array<TRow, 2> rows;
    std::array<std::vector<double>, 2> rates, cpus;
    for (int round = 0; round < kRounds; ++round)
        for (std::size_t k = 0; k < kinds.size(); ++k) {
            const TClientRun run = Client(kinds[k], link, endpoint, kRequests, kReadAddress);
            rows[k].Failures += run.Failures;
            rates[k].push_back(run.WallSeconds > 0 ? kRequests / run.WallSeconds : 0);
            cpus[k].push_back(run.CpuSeconds * 1e6 / kRequests);
        }
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        rows[k].RequestsPerSecond = Median(rates[k]);
        rows[k].CpuMicrosPerRequest = Median(cpus[k]);
        rows[k].CallsPerRequest = CallsPerRequest(dir, kinds[k], link, endpoint);
        const TClientRun late = Client(kinds[k], link, endpoint, kLateRequests, bench::LateRegister);
        rows[k].Failures += late.Failures;
        rows[k].LateCpuMillisPerRequest = late.CpuSeconds * 1e3 / kLateRequests;
    }
    return rows;
}

double Ratio(double a, double b) {
    return b > 0 ? a / b : 0;
}

int Compare() {
    char pattern[] = "/tmp/bench-comm-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    if (dir == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    std::printf("%-4s %-10s %12s %14s %14s %16s %9s\n", "line", "client", "requests/s", "cpu us/request",
                "calls/request", "late cpu ms/req", "failures");
    int failures = 0;
    for (const auto link : {bench::TBenchSlave::TLink::Pty, bench::TBenchSlave::TLink::Tcp}) {
        const std::string name = link == bench::TBenchSlave::TLink::Pty ? "pty" : "tcp";
        const bench::TBenchSlave slave(link);
        const std::array<const char*, 2> kinds = {"master", "libmodbus"};
        const std::array<TRow, 2> rows = MeasureBoth(dir, kinds, name, slave.Endpoint());
        for (std::size_t k = 0; k < kinds.size(); ++k) {
            failures += rows[k].Failures;
            std::printf("%-4s %-10s %12.0f %14.1f %14.1f %16.3f %9d\n", name.c_str(), kinds[k],
                        rows[k].RequestsPerSecond, rows[k].CpuMicrosPerRequest, rows[k].CallsPerRequest,
                        rows[k].LateCpuMillisPerRequest, rows[k].Failures);
        }
        std::printf(
            "%-4s master/libmodbus: requests/s %.2f x, cpu/request %.2f x, calls/request %.1f vs %.1f\n",
            name.c_str(), Ratio(rows[0].RequestsPerSecond, rows[1].RequestsPerSecond),
            Ratio(rows[0].CpuMicrosPerRequest, rows[1].CpuMicrosPerRequest), rows[0].CallsPerRequest,
            rows[1].CallsPerRequest);
    }
    ::rmdir(dir);
    for (const bool same : {false, true})
        for (const int retries : {0, 2}) {
            const bench::TSilentCost silent =
                bench::MeasureSilentAddresses(kSilentTimeoutMs, retries, kSilentAddresses, same);
            failures += silent.Answered + (silent.Ratio > 0 ? 0 : 1);
            std::printf(
                "silent address%s, timeout %d ms, retries %d: %.3f x (retries + 1) x timeout, %.3f x timeout "
                "per read (%d reads)\n",
                same ? " read again" : "", kSilentTimeoutMs, retries, silent.Ratio,
                silent.Ratio * (retries + 1), kSilentAddresses);
        }
    for (const int retries : {0, 2}) {
        const bench::TLostCost lost = bench::MeasureLostRequest(kSilentTimeoutMs, retries, kLostReads);
        failures += lost.Ratio > 0 ? 0 : 1;
        std::printf("one lost request, timeout %d ms, retries %d: %.3f x timeout beyond %d healthy reads "
                    "(%d failed, %d fences)\n",
                    kSilentTimeoutMs, retries, lost.Ratio, kLostReads, lost.Failed, lost.Fences);
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 7 && std::string(argv[1]) == "client") {
            const std::string kind = argv[2];
            const bench::TClientRun run = bench::RunClient(
                kind == "libmodbus" ? bench::TClientKind::Libmodbus : bench::TClientKind::Master, argv[3],
                argv[4], std::atoi(argv[5]), std::atoi(argv[6]));
            std::printf("%.9f %.9f %d\n", run.WallSeconds, run.CpuSeconds, run.Failures);
            return 0;
        }
        if (argc != 1) {
            std::fprintf(stderr, "usage: bench_comm\n");
            return 2;
        }
        return Compare();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_comm: %s\n", e.what());
        return 1;
    }
}
