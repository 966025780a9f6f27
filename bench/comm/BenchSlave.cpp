#include "bench/comm/BenchSlave.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace bench {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("bench slave: " + what + ": errno " + std::to_string(errno));
}

// Serves requests on fd until the peer goes away.
void Serve(int fd, modbus_mapping_t* map) {
    modbus_t* ctx = modbus_new_rtu("/dev/null", 57600, 'N', 8, 1);
    if (ctx == nullptr)
        return;
    modbus_set_slave(ctx, 1);
    modbus_set_socket(ctx, fd);
    std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) {
        const int n = modbus_receive(ctx, query);
        if (n > 0) {
            const int address = query[2] * 256 + query[3];
            if (query[1] == 3 && address == LateRegister)
                ::usleep(LateReplyMs * 1000);
            modbus_reply(ctx, query, n, map);
        } else if (n < 0 && errno != EMBBADCRC && errno != EMBXILADD) {
            break;
        }
    }
    modbus_free(ctx);
}

modbus_mapping_t* Registers() {
    modbus_mapping_t* map = modbus_mapping_new(0, 0, 1024, 0);
    if (map == nullptr)
        std::exit(2);
    for (int i = 0; i < 1024; ++i)
        map->tab_registers[i] = std::uint16_t(0x1234 + i);
    return map;
}

} // namespace

TBenchSlave::TBenchSlave(TLink link) {
    int listener = -1;
    int ptyMaster = -1;
    int ptyHeld = -1;
    if (link == TLink::Tcp) {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof local;
        if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
            ::listen(listener, 4) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length) != 0)
            Fail("listen");
        m_endpoint = std::to_string(ntohs(local.sin_port));
    } else {
        ptyMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (ptyMaster < 0 || ::grantpt(ptyMaster) != 0 || ::unlockpt(ptyMaster) != 0 ||
            ::ptsname_r(ptyMaster, name, sizeof name) != 0)
            Fail("posix_openpt");
        m_endpoint = name;
        // Held open so that the line stays up between the clients.
        ptyHeld = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw{};
        if (ptyHeld < 0 || ::tcgetattr(ptyHeld, &raw) != 0)
            Fail("open " + m_endpoint);
        ::cfmakeraw(&raw);
        if (::tcsetattr(ptyHeld, TCSANOW, &raw) != 0)
            Fail("tcsetattr");
    }
    m_child = ::fork();
    if (m_child < 0)
        Fail("fork");
    if (m_child == 0) {
        modbus_mapping_t* map = Registers();
        if (link == TLink::Pty) {
            Serve(ptyMaster, map);
        } else {
            for (;;) {
                const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0 && errno == EINTR)
                    continue;
                if (fd < 0)
                    break;
                Serve(fd, map);
                ::close(fd);
            }
        }
        std::_Exit(0);
    }
    if (listener >= 0)
        ::close(listener);
    if (ptyMaster >= 0)
        ::close(ptyMaster);
    if (ptyHeld >= 0)
        ::close(ptyHeld);
}

TBenchSlave::~TBenchSlave() {
    if (m_child > 0) {
        ::kill(m_child, SIGTERM);
        int status = 0;
        while (::waitpid(m_child, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

} // namespace bench
