#pragma once
// Whole RTU frames in the bytes a line delivers: the length a frame's first bytes announce, and a
// scanner that finds each frame with a good CRC in a stream that may also carry stray bytes.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace rtu {

// Length of the frame at the head of the bytes, as far as its first three bytes tell; 0 while they do
// not tell yet. A first byte that is no slave address or an unknown function ends it at once (1 or 2).
int FrameLength(std::span<const std::uint8_t> bytes);

using TFrame = std::vector<std::uint8_t>;

// Bytes go in as they arrive; whole frames with a good CRC come out. A frame that fails its CRC is no
// frame: the scan moves on by one byte, so a frame behind stray bytes is still found.
class TFrameScanner {
public:
    void Feed(std::span<const std::uint8_t> bytes);
    // The next whole frame, or none while the bytes held do not make one yet.
    std::optional<TFrame> Next();
    // The line fell silent: a frame still incomplete never ends; the scan looks past its first byte.
    std::optional<TFrame> NextAfterSilence();
    bool Empty() const { return m_bytes.empty(); }

private:
    std::vector<std::uint8_t> m_bytes;
};

} // namespace rtu
