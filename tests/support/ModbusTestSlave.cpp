#include "tests/support/ModbusTestSlave.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The silence after which a partial request is dropped.
constexpr int kRequestGapMs = 50;
constexpr std::uint8_t kDiagnostics = 0x08;

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("test slave: " + what + ": " + std::to_string(errno));
}

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

ModbusTestSlave::ModbusTestSlave(Link link, std::uint8_t address, std::uint16_t tcpPort)
    : m_link(link), m_core(address) {
    try {
        Setup(tcpPort);
    } catch (...) {
        CloseAll();
        throw;
    }
    m_thread = std::thread([this] { Run(); });
}

void ModbusTestSlave::Setup(std::uint16_t tcpPort) {
    if (::pipe2(m_wake, O_CLOEXEC) != 0)
        Fail("pipe");
    if (m_link == Link::Tcp) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_listener < 0)
            Fail("socket");
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        local.sin_port = htons(tcpPort);
        const int one = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        // Connections inherit it: each request's time of arrival, also of one before the accept.
        if (::setsockopt(m_listener, SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one) != 0)
            Fail("SO_TIMESTAMPNS");
        socklen_t length = sizeof local;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
            ::listen(m_listener, 4) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&local), &length) != 0)
            Fail("listen");
        m_port = ntohs(local.sin_port);
    } else {
        m_ptyMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_ptyMaster < 0 || ::grantpt(m_ptyMaster) != 0 || ::unlockpt(m_ptyMaster) != 0)
            Fail("posix_openpt");
        char name[128] = {};
        if (::ptsname_r(m_ptyMaster, name, sizeof name) != 0)
            Fail("ptsname");
        m_devicePath = name;
        m_ptyHeld = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_ptyHeld < 0)
            Fail("open " + m_devicePath);
        termios raw{};
        if (::tcgetattr(m_ptyHeld, &raw) != 0)
            Fail("tcgetattr");
        ::cfmakeraw(&raw);
        if (::tcsetattr(m_ptyHeld, TCSANOW, &raw) != 0)
            Fail("tcsetattr");
    }
}

ModbusTestSlave::~ModbusTestSlave() {
    const char stop = 1;
    while (::write(m_wake[1], &stop, 1) < 0 && errno == EINTR) {
    }
    if (m_thread.joinable())
        m_thread.join();
    CloseAll();
}

void ModbusTestSlave::CloseAll() {
    CloseFd(m_connection);
    CloseFd(m_listener);
    CloseFd(m_ptyHeld);
    CloseFd(m_ptyMaster);
    CloseFd(m_wake[0]);
    CloseFd(m_wake[1]);
}

void ModbusTestSlave::SetBehaviour(const SlaveBehaviour& behaviour) {
    std::lock_guard lock(m_mutex);
    m_behaviour = behaviour;
}

void ModbusTestSlave::SetResponder(Responder responder) {
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
}

std::vector<rtu::Frame> ModbusTestSlave::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::size_t ModbusTestSlave::RequestCount() const {
    std::lock_guard lock(m_mutex);
    return m_requests.size();
}

bool ModbusTestSlave::WaitForRequests(std::size_t n, int timeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_requests.size() >= n; });
}

int ModbusTestSlave::DataDescriptor() const {
    if (m_link == Link::Pty)
        return m_ptyMaster;
    return m_connection >= 0 ? m_connection : m_listener;
}

bool ModbusTestSlave::SendUnasked(std::span<const std::uint8_t> bytes) {
    // The TCP connection belongs to the serving thread; the pseudo-terminal never changes.
    return m_link == Link::Pty && SendAll(bytes);
}

bool ModbusTestSlave::SendAll(std::span<const std::uint8_t> bytes) {
    const int fd = m_link == Link::Pty ? m_ptyMaster : m_connection;
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t rc = m_link == Link::Pty
                               ? ::write(fd, bytes.data() + done, bytes.size() - done)
                               : ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            return false;
        done += std::size_t(rc);
    }
    return true;
}

bool ModbusTestSlave::Pause(int ms) const {
    if (ms <= 0)
        return true;
    pollfd p{m_wake[0], POLLIN, 0};
    int rc = -1;
    do
        rc = ::poll(&p, 1, ms);
    while (rc < 0 && errno == EINTR);
    return rc == 0;
}

void ModbusTestSlave::DropConnection() {
    CloseFd(m_connection);
}

void ModbusTestSlave::Run() {
    rtu::RequestAssembler assembler;
    std::uint8_t chunk[512];
    for (;;) {
        const int data = DataDescriptor();
        pollfd fds[2] = {{m_wake[0], POLLIN, 0}, {data, POLLIN, 0}};
        const int rc = ::poll(fds, 2, assembler.Partial() ? kRequestGapMs : -1);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        if (rc == 0) {
            assembler.Reset();
            continue;
        }
        if (data == m_listener) {
            const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0) {
                const int one = 1;
                ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                m_connection = connection;
                assembler.Reset();
            }
            continue;
        }
        Time arrival;
        const ssize_t n = Receive(data, chunk, sizeof chunk, arrival);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            if (m_link == Link::Tcp) {
                DropConnection();
                assembler.Reset();
                continue;
            }
            return; // the pseudo-terminal failed; nothing more can be served
        }
        for (const rtu::Frame& request : assembler.Feed(std::span(chunk, std::size_t(n)))) {
            Handle(request, arrival);
            if (data != DataDescriptor())
                break; // the connection was dropped
        }
    }
}

void ModbusTestSlave::SetDelays(DelayPlan delayMs) {
    std::lock_guard lock(m_mutex);
    m_delays = std::move(delayMs);
    m_delayed = 0;
}

ssize_t ModbusTestSlave::Receive(int fd, std::uint8_t* buffer, std::size_t size, Time& arrival) const {
    arrival = std::chrono::system_clock::now();
    if (m_link == Link::Pty)
        return ::read(fd, buffer, size);
    iovec data{buffer, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd, &message, 0);
    for (cmsghdr* c = n > 0 ? CMSG_FIRSTHDR(&message) : nullptr; c != nullptr; c = CMSG_NXTHDR(&message, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS &&
            c->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
            timespec stamp;
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            arrival = Time(std::chrono::duration_cast<Time::duration>(
                std::chrono::seconds(stamp.tv_sec) + std::chrono::nanoseconds(stamp.tv_nsec)));
        }
    return n;
}

std::size_t ModbusTestSlave::AnswersLate(int timeoutMs) const {
    std::lock_guard lock(m_mutex);
    return std::size_t(std::count_if(m_served.begin(), m_served.end(), [timeoutMs](const TServed& s) {
        return s.Answered && s.Took >= std::chrono::milliseconds(timeoutMs);
    }));
}

void ModbusTestSlave::Handle(const rtu::Frame& request, Time arrival) {
    const Time start = std::max(arrival, m_free);
    TServed served;
    Answer(request, served.PlannedMs, served.Answered);
    m_free = std::chrono::system_clock::now();
    served.Took = m_free - start;
    std::lock_guard lock(m_mutex);
    m_served.push_back(served);
}

void ModbusTestSlave::Answer(const rtu::Frame& request, int& plannedMs, bool& answered) {
    SlaveBehaviour behaviour;
    rtu::Frame reply;
    int delayMs = 0;
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        if (m_delays)
            delayMs = m_delays(m_delayed++);
        // The master's fence (diagnostics) is answered as a module does; the behaviour spoils the
        // requests the test makes.
        if (request[1] != kDiagnostics) {
            behaviour = m_behaviour;
            if (m_behaviour.Times > 0 && --m_behaviour.Times == 0)
                m_behaviour = SlaveBehaviour{};
        }
        reply = m_responder ? m_responder(request) : m_core.Answer(request);
    }
    m_arrived.notify_all();
    plannedMs = delayMs;
    if (!Pause(delayMs))
        return;
    if (behaviour.Fault == SlaveFault::Raw) {
        answered = SendAll(behaviour.RawReply);
        return;
    }
    if (reply.empty())
        return;

    switch (behaviour.Fault) {
    case SlaveFault::None:
        break;
    case SlaveFault::Silent:
        return;
    case SlaveFault::Late:
        plannedMs += behaviour.DelayMs;
        if (!Pause(behaviour.DelayMs))
            return;
        break;
    case SlaveFault::BadCrc:
        reply.back() ^= 0xFF;
        break;
    case SlaveFault::OtherAddress:
        reply[0] = std::uint8_t(m_core.Address() + 1);
        reply.resize(reply.size() - 2);
        rtu::AppendCrc(reply);
        break;
    case SlaveFault::Exception:
        reply = rtu::ExceptionReply(m_core.Address(), request[1], behaviour.ExceptionCode);
        break;
    case SlaveFault::TooShort:
        reply.resize(3);
        break;
    case SlaveFault::LeadingNoise:
        reply.insert(reply.begin(), behaviour.Noise.begin(), behaviour.Noise.end());
        break;
    case SlaveFault::InPieces: {
        const std::size_t piece = std::size_t(behaviour.PieceSize > 0 ? behaviour.PieceSize : 1);
        for (std::size_t at = 0; at < reply.size(); at += piece) {
            if (at > 0) {
                plannedMs += behaviour.PieceGapMs;
                if (!Pause(behaviour.PieceGapMs))
                    return;
            }
            if (!SendAll(std::span(reply).subspan(at, std::min(piece, reply.size() - at))))
                return;
        }
        answered = true;
        return;
    }
    case SlaveFault::DropConnection:
        if (m_link == Link::Tcp)
            DropConnection();
        return;
    case SlaveFault::Raw:
        return;
    }
    answered = SendAll(reply);
}
