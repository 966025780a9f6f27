#include "tools/sim/StreamServer.h"

#include "tools/sim/FrameAssembler.h"

#include <algorithm>
#include <cerrno>
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

} // namespace

TServeEnd ServeStream(const TStreamEndpoint& endpoint, int wakeFd, TSimBus& bus) {
    TFrameAssembler assembler;
    std::array<std::uint8_t, 512> chunk{};
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
            const ssize_t n = ::read(endpoint.Fd, chunk.data(), chunk.size());
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
            // Counted as answered however this frame ends: written, dropped, or the server stopped.
            const struct TFrameDone {
                TSimBus& Bus;
                ~TFrameDone() { Bus.FrameDone(); }
            } done{bus};
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
