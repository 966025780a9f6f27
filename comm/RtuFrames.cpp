#include "comm/RtuFrames.h"

#include <algorithm>

#include "comm/ModbusCrc.h"

namespace rtu {

namespace {

// More than this many bytes never wait for the frame at their head: two of the longest frames.
constexpr std::size_t kMostHeld = 512;

bool IsKnownFunction(int function) {
    switch (function) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
    case 15:
    case 16:
        return true;
    default:
        return false;
    }
}

bool GoodCrc(std::span<const std::uint8_t> frame) {
    if (frame.size() < 4)
        return false;
    const std::uint16_t crc = ModbusCrc16(frame.first(frame.size() - 2));
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

} // namespace

int FrameLength(std::span<const std::uint8_t> bytes) {
    if (bytes.empty())
        return 0;
    if (bytes[0] == 0 || bytes[0] >= 250)
        return 1;
    if (bytes.size() < 2)
        return 0;
    const int function = bytes[1] & 0x7F;
    if (!IsKnownFunction(function))
        return 2;
    if (bytes[1] & 0x80)
        return 5;
    if (function > 4)
        return 8;
    if (bytes.size() < 3)
        return 0;
    // A byte count from 251 on wraps: such a frame ends with its fourth byte.
    return std::max(4, (bytes[2] + 5) % 256);
}

void TFrameScanner::Feed(std::span<const std::uint8_t> bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    if (m_bytes.size() > kMostHeld)
        m_bytes.erase(m_bytes.begin(), m_bytes.end() - std::ptrdiff_t(kMostHeld));
}

std::optional<TFrame> TFrameScanner::Next() {
    while (!m_bytes.empty()) {
        const int length = FrameLength(m_bytes);
        if (length == 0 || std::size_t(length) > m_bytes.size())
            return std::nullopt;
        const auto end = m_bytes.begin() + length;
        if (length >= 4 && GoodCrc(std::span(m_bytes).first(std::size_t(length)))) {
            TFrame frame(m_bytes.begin(), end);
            m_bytes.erase(m_bytes.begin(), end);
            return frame;
        }
        m_bytes.erase(m_bytes.begin());
    }
    return std::nullopt;
}

std::optional<TFrame> TFrameScanner::NextAfterSilence() {
    while (!m_bytes.empty()) {
        m_bytes.erase(m_bytes.begin());
        if (std::optional<TFrame> frame = Next())
            return frame;
    }
    return std::nullopt;
}

} // namespace rtu
