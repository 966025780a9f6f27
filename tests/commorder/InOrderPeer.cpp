#include "tests/commorder/InOrderPeer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint8_t kDiagnostics = 0x08;

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

rtu::Frame OtherAddressFrame(std::uint8_t address) {
    return rtu::WithCrc({std::uint8_t(address + 1), 0x03, 0x02, 0x12, 0x34});
}

InOrderPeer::InOrderPeer(std::uint8_t address) : m_address(address), m_core(address) {
    for (int r = 0; r < 256; ++r)
        m_core.SetHoldingRegister(r, std::uint16_t(1000 + r));
    if (::pipe2(m_wake, O_CLOEXEC) != 0)
        throw std::runtime_error("in-order peer: pipe");
    if (::pipe2(m_letCopiesGo, O_CLOEXEC | O_NONBLOCK) != 0) {
        CloseFd(m_wake[0]);
        CloseFd(m_wake[1]);
        throw std::runtime_error("in-order peer: pipe");
    }
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(m_listener, 2) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        CloseFd(m_listener);
        CloseFd(m_wake[0]);
        CloseFd(m_wake[1]);
        CloseFd(m_letCopiesGo[0]);
        CloseFd(m_letCopiesGo[1]);
        throw std::runtime_error("in-order peer: listen");
    }
    m_port = ntohs(local.sin_port);
    m_thread = std::thread([this] { Run(); });
}

InOrderPeer::~InOrderPeer() {
    const char stop = 1;
    while (::write(m_wake[1], &stop, 1) < 0 && errno == EINTR) {
    }
    m_thread.join();
    CloseFd(m_connection);
    CloseFd(m_listener);
    CloseFd(m_wake[0]);
    CloseFd(m_wake[1]);
    CloseFd(m_letCopiesGo[0]);
    CloseFd(m_letCopiesGo[1]);
}

void InOrderPeer::SetScript(Script script) {
    std::lock_guard lock(m_mutex);
    m_script = std::move(script);
}

void InOrderPeer::SetFenceAnswer(TFenceAnswer answer) {
    std::lock_guard lock(m_mutex);
    m_fenceAnswer = answer;
}

void InOrderPeer::InterleaveOtherAddress(int minMs, int maxMs) {
    std::lock_guard lock(m_mutex);
    m_otherMinMs = minMs;
    m_otherMaxMs = maxMs;
}

bool InOrderPeer::WaitForRequests(std::size_t n, int timeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_requests >= n; });
}

bool InOrderPeer::SendCopies(int timeoutMs) {
    std::unique_lock lock(m_mutex);
    if (!m_heldCopies.empty()) {
        const char go = 1;
        while (::write(m_letCopiesGo[1], &go, 1) < 0 && errno == EINTR) {
        }
    }
    return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_heldCopies.empty() && m_copiesDue == 0; });
}

bool InOrderPeer::Send(const rtu::Frame& bytes) {
    std::size_t done = 0;
    while (m_connection >= 0 && done < bytes.size()) {
        const ssize_t rc = ::send(m_connection, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            return false;
        done += std::size_t(rc);
    }
    return done == bytes.size();
}

void InOrderPeer::Run() {
    rtu::RequestAssembler assembler;
    std::deque<rtu::Frame> queue;
    // Frames due on the line, by when; the answer being worked on keeps the next request waiting.
    struct TDue {
        rtu::Frame Bytes;
        bool LetGo = false; // a copy held for the reader, then let go
    };
    std::multimap<Clock::time_point, TDue> due;
    // Copies let go leave the count once they are on the line, or with the connection.
    const auto copiesGone = [&](std::size_t n) {
        if (n == 0)
            return;
        {
            std::lock_guard lock(m_mutex);
            m_copiesDue -= n;
        }
        m_arrived.notify_all();
    };
    const auto letCopiesGo = [&] {
        char go[16];
        while (::read(m_letCopiesGo[0], go, sizeof go) > 0) {
        }
        const Clock::time_point now = Clock::now();
        std::lock_guard lock(m_mutex);
        for (rtu::Frame& copy : m_heldCopies)
            due.emplace(now, TDue{std::move(copy), true});
        m_copiesDue += m_heldCopies.size();
        m_heldCopies.clear();
    };
    Clock::time_point busyUntil = Clock::now();
    rtu::Frame lastAnswer; // the answer sent last, for a copy of it
    Clock::time_point nextOther = Clock::time_point::max();
    std::mt19937 random(7);
    std::uint8_t chunk[512];
    for (;;) {
        const Clock::time_point now = Clock::now();
        // Answers and stray frames whose time has come.
        while (!due.empty() && due.begin()->first <= now) {
            Send(due.begin()->second.Bytes);
            const bool letGo = due.begin()->second.LetGo;
            due.erase(due.begin());
            copiesGone(letGo ? 1 : 0);
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_otherMaxMs > 0 && nextOther == Clock::time_point::max())
                nextOther = now + std::chrono::milliseconds(m_otherMinMs);
            if (m_otherMaxMs <= 0)
                nextOther = Clock::time_point::max();
        }
        if (now >= nextOther) {
            Send(OtherAddressFrame(m_address));
            std::lock_guard lock(m_mutex);
            std::uniform_int_distribution<int> gap(m_otherMinMs, std::max(m_otherMinMs, m_otherMaxMs));
            nextOther = now + std::chrono::milliseconds(gap(random));
        }
        // The next request is taken only once the one before it was answered.
        if (!queue.empty() && now >= busyUntil) {
            const rtu::Frame request = queue.front();
            queue.pop_front();
            TPeerAction action;
            rtu::Frame answer;
            {
                std::lock_guard lock(m_mutex);
                const std::size_t n = m_requests;
                if (m_script)
                    action = m_script(n, request);
                answer = m_core.Answer(request);
                if (request[1] == kDiagnostics) {
                    ++m_fences;
                    if (m_fenceAnswer == TFenceAnswer::Exception)
                        answer = rtu::ExceptionReply(m_address, kDiagnostics, 1);
                    else if (m_fenceAnswer == TFenceAnswer::Silent)
                        answer.clear();
                }
                ++m_requests;
            }
            m_arrived.notify_all();
            // A lost request never reached the peer: it takes the next one at once.
            const Clock::time_point at =
                action.Lose ? now : now + std::chrono::milliseconds(std::max(action.DelayMs, 0));
            busyUntil = at;
            if (!action.Lose && !answer.empty()) {
                rtu::Frame sent;
                if (action.OtherAddressBefore)
                    sent = OtherAddressFrame(m_address);
                if (action.LastAnswerBefore)
                    sent.insert(sent.end(), lastAnswer.begin(), lastAnswer.end());
                sent.insert(sent.end(), answer.begin(), answer.end());
                for (int i = 0; i < action.TrailingBytes; ++i)
                    sent.push_back(std::uint8_t(0x01 + i));
                if (action.OtherAddressAfter) {
                    const rtu::Frame other = OtherAddressFrame(m_address);
                    sent.insert(sent.end(), other.begin(), other.end());
                }
                due.emplace(at, TDue{sent});
                if (action.DuplicateAfterMs >= 0)
                    due.emplace(at + std::chrono::milliseconds(action.DuplicateAfterMs), TDue{answer});
                if (action.EarlierAnswerAfterMs >= 0 && !lastAnswer.empty())
                    due.emplace(at + std::chrono::milliseconds(action.EarlierAnswerAfterMs),
                                TDue{lastAnswer});
                if (action.DuplicateBetweenReads) {
                    std::lock_guard lock(m_mutex);
                    m_heldCopies.push_back(answer);
                }
                lastAnswer = answer;
            }
            continue;
        }
        Clock::time_point wake = nextOther;
        if (!due.empty())
            wake = std::min(wake, due.begin()->first);
        if (!queue.empty())
            wake = std::min(wake, busyUntil);
        const int timeout =
            wake == Clock::time_point::max()
                ? -1
                : int(std::max<std::int64_t>(
                      0, std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count()));
        const int data = m_connection >= 0 ? m_connection : m_listener;
        pollfd fds[3] = {{m_wake[0], POLLIN, 0}, {m_letCopiesGo[0], POLLIN, 0}, {data, POLLIN, 0}};
        const int rc = ::poll(fds, 3, timeout);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0 || fds[0].revents)
            return;
        if (fds[1].revents) {
            letCopiesGo();
            continue;
        }
        if (rc == 0 || !fds[2].revents)
            continue;
        if (data == m_listener) {
            const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0) {
                const int one = 1;
                ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                m_connection = connection;
            }
            continue;
        }
        const ssize_t n = ::read(data, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            CloseFd(m_connection);
            queue.clear();
            copiesGone(std::size_t(
                std::count_if(due.begin(), due.end(), [](const auto& d) { return d.second.LetGo; })));
            due.clear();
            {
                std::lock_guard lock(m_mutex);
                m_heldCopies.clear();
            }
            m_arrived.notify_all();
            assembler.Reset();
            continue;
        }
        for (rtu::Frame& request : assembler.Feed(std::span(chunk, std::size_t(n))))
            queue.push_back(std::move(request));
    }
}
