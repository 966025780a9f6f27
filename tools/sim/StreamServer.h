#pragma once

#include "tools/sim/SimBus.h"

#include <functional>

namespace vdsim {

enum class TServeEnd { Stopped, PeerClosed, Dropped, Failed };

struct TStreamEndpoint {
    int Fd = -1;
    bool IsSocket = false; // sockets are written with MSG_NOSIGNAL and may be dropped
    // The line settings the peer uses, where the transport knows them.
    std::function<std::optional<TSimLineSettings>()> Line;
};

// Silence that ends a frame that is not a complete 8-byte request.
inline constexpr int FrameSilenceMs = 15;

// Serves one byte stream: cuts it into frames, hands them to the bus and writes the replies, until the
// peer closes, a fault drops the connection or `wakeFd` becomes readable (stop).
TServeEnd ServeStream(const TStreamEndpoint& endpoint, int wakeFd, TSimBus& bus);

} // namespace vdsim
