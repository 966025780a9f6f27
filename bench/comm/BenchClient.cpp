#include "bench/comm/BenchClient.h"

#include <arpa/inet.h>
#include <chrono>
#include <ctime>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "comm/ModbusSerialTCPMaster.h"

namespace bench {

namespace {

constexpr int kQuantity = 17;

double ProcessCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

template <class Request> TClientRun Measure(int count, Request&& request) {
    TClientRun run;
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = ProcessCpu();
    for (int i = 0; i < count; ++i)
        if (!request())
            ++run.Failures;
    run.CpuSeconds = ProcessCpu() - cpu0;
    run.WallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    return run;
}

int ConnectLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    peer.sin_port = htons(std::uint16_t(port));
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

TClientRun RunMaster(const std::string& link, const std::string& endpoint, int count, int address) {
    TModbusSerialTCPMaster master;
    if (link == "tcp") {
        master.ConnectionType = 1;
        master.Socket->Host = QStringLiteral("127.0.0.1");
        master.Socket->Port = std::stoi(endpoint);
    } else {
        master.SerialPort->PortName = QString::fromStdString(endpoint);
        master.SerialPort->BaudRate = 57600;
    }
    master.Timeout = 1000;
    master.Retries = 0;
    if (!master.Connect())
        return {0, 0, count};
    return Measure(count, [&] { return master.ReadHoldingRegisters(1, address, kQuantity); });
}

TClientRun RunLibmodbus(const std::string& link, const std::string& endpoint, int count, int address) {
    // The RTU client; over TCP it is given the connected socket, so that it sends the same RTU frames.
    modbus_t* ctx = modbus_new_rtu(link == "tcp" ? "/dev/null" : endpoint.c_str(), 57600, 'N', 8, 1);
    if (ctx == nullptr)
        return {0, 0, count};
    int socket = -1;
    bool connected = false;
    if (link == "tcp") {
        socket = ConnectLoopback(std::stoi(endpoint));
        connected = socket >= 0 && modbus_set_socket(ctx, socket) == 0;
    } else {
        connected = modbus_connect(ctx) == 0;
    }
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 1, 0);
    TClientRun run{0, 0, count};
    if (connected) {
        std::uint16_t values[kQuantity];
        run = Measure(count,
                      [&] { return modbus_read_registers(ctx, address, kQuantity, values) == kQuantity; });
    }
    if (link == "tcp") {
        if (socket >= 0)
            ::close(socket);
    } else if (connected) {
        modbus_close(ctx);
    }
    modbus_free(ctx);
    return run;
}

} // namespace

TClientRun RunClient(TClientKind kind, const std::string& link, const std::string& endpoint, int count,
                     int address) {
    return kind == TClientKind::Master ? RunMaster(link, endpoint, count, address)
                                       : RunLibmodbus(link, endpoint, count, address);
}

} // namespace bench
