#include "tools/sim/StreamServer.h"

#include "tools/sim/FrameAssembler.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vdsim {

namespace {

// Waits for the stop signal up to `ms`; true when stopping.
bool StopWithin(int wakeFd, int ms) {
    pollfd fd{wakeFd, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&fd, 1, ms);
    } while (rc < 0 && errno == EINTR);
    return rc != 0;
}

bool WriteAll(const TStreamEndpoint& endpoint, const TBytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = endpoint.IsSocket
                              ? ::send(endpoint.Fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL)
                              : ::write(endpoint.Fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

using TArrival = std::chrono::system_clock::time_point; // the clock the kernel stamps arrivals on

// Reads what came, with the kernel's time of arrival on a socket that stamps it, else the time now.
ssize_t Receive(const TStreamEndpoint& endpoint, std::uint8_t* buffer, std::size_t size, TArrival& arrival) {
    arrival = std::chrono::system_clock::now();
    if (!endpoint.IsSocket) {
        return ::read(endpoint.Fd, buffer, size);
    }
    iovec data{buffer, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(endpoint.Fd, &message, 0);
    for (cmsghdr* c = n > 0 ? CMSG_FIRSTHDR(&message) : nullptr; c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS &&
            c->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
            timespec stamp;
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            arrival = TArrival(std::chrono::duration_cast<TArrival::duration>(
                std::chrono::seconds(stamp.tv_sec) + std::chrono::nanoseconds(stamp.tv_nsec)));
        }
    }
    return n;
}

} // namespace

TServeEnd ServeStream(const TStreamEndpoint& endpoint, int wakeFd, TSimBus& bus) {
    TFrameAssembler assembler;
    std::array<std::uint8_t, 512> chunk{};
    TArrival arrival{};
    TArrival lastAnswer{}; // when the last answer was written: a frame that came before waited for it
    for (;;) {
        pollfd fds[2] = {{endpoint.Fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int rc = ::poll(fds, 2, assembler.Pending() ? FrameSilenceMs : -1);
        if (rc < 0) {
            if (errno == EINTR) {
                continue;
            }
            return TServeEnd::Failed;
        }
        if (fds[1].revents != 0) {
            return TServeEnd::Stopped;
        }
        if (rc == 0) {
            assembler.Silence();
        } else if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = Receive(endpoint, chunk.data(), chunk.size(), arrival);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            if (n <= 0) {
                return n == 0 ? TServeEnd::PeerClosed : TServeEnd::Failed;
            }
            assembler.Push(std::span(chunk.data(), static_cast<std::size_t>(n)));
        }
        TBytes frame;
        while (assembler.Next(frame)) {
            const auto line = endpoint.Line ? endpoint.Line() : std::nullopt;
            const TSimResponse response = bus.Handle(frame, line);
            // Counted as answered however this frame ends: written, dropped, or the server stopped; with
            // the time it took beyond the fault's own delays.
            const struct TFrameDone {
                TSimBus& Bus;
                TArrival Start;
                std::chrono::nanoseconds Planned;
                TArrival& Free;
                ~TFrameDone() {
                    Free = std::chrono::system_clock::now();
                    Bus.FrameDone(Free - Start - Planned);
                }
            } done{bus, std::max(arrival, lastAnswer), response.Delay + response.SplitPause, lastAnswer};
            if (response.Drop && endpoint.IsSocket) {
                return TServeEnd::Dropped;
            }
            if (response.Delay.count() > 0 && StopWithin(wakeFd, static_cast<int>(response.Delay.count()))) {
                return TServeEnd::Stopped;
            }
            const std::size_t split = std::min(response.Split, response.Bytes.size());
            if (split > 0) {
                if (!WriteAll(endpoint, TBytes(response.Bytes.begin(), response.Bytes.begin() + split))) {
                    return TServeEnd::Failed;
                }
                if (StopWithin(wakeFd, static_cast<int>(response.SplitPause.count()))) {
                    return TServeEnd::Stopped;
                }
            }
            if (split < response.Bytes.size() &&
                !WriteAll(endpoint, TBytes(response.Bytes.begin() + split, response.Bytes.end()))) {
                return TServeEnd::Failed;
            }
        }
    }
}

} // namespace vdsim
