#pragma once
// Modbus RTU framing for test peers, kept apart from any transport and from the program's own code
// (a wrong CRC or length rule in the program must fail a test, not be mirrored by it).
#include <cstdint>
#include <span>
#include <vector>

namespace rtu {

using Frame = std::vector<std::uint8_t>;

std::uint16_t Crc16(std::span<const std::uint8_t> bytes);
// Appends the CRC of the frame, low byte first.
void AppendCrc(Frame& frame);
bool HasValidCrc(std::span<const std::uint8_t> frame);
// A frame of the given bytes followed by their CRC.
Frame WithCrc(std::initializer_list<std::uint8_t> bytes);
// An exception reply: slave, function + $80, code, CRC.
Frame ExceptionReply(std::uint8_t slave, std::uint8_t function, std::uint8_t code);

// The length of a request frame judged from its first bytes: 0 while too few bytes are known,
// -1 for a function whose length cannot be known.
int RequestLength(std::span<const std::uint8_t> prefix);

// Cuts a byte stream into request frames by their length. A partial frame is dropped by Reset, which
// the owner calls after a silence; a frame with a bad CRC is dropped like a slave does.
class RequestAssembler {
public:
    std::vector<Frame> Feed(std::span<const std::uint8_t> bytes);
    void Reset() { m_pending.clear(); }
    bool Partial() const { return !m_pending.empty(); }

private:
    Frame m_pending;
};

} // namespace rtu
