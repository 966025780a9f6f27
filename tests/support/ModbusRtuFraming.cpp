#include "tests/support/ModbusRtuFraming.h"

namespace rtu {

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
    }
    return crc;
}

void AppendCrc(Frame& frame) {
    const std::uint16_t crc = Crc16(frame);
    frame.push_back(std::uint8_t(crc & 0xFF));
    frame.push_back(std::uint8_t(crc >> 8));
}

bool HasValidCrc(std::span<const std::uint8_t> frame) {
    if (frame.size() < 3)
        return false;
    const std::uint16_t crc = Crc16(frame.first(frame.size() - 2));
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

Frame WithCrc(std::initializer_list<std::uint8_t> bytes) {
    Frame frame(bytes);
    AppendCrc(frame);
    return frame;
}

Frame ExceptionReply(std::uint8_t slave, std::uint8_t function, std::uint8_t code) {
    return WithCrc({slave, std::uint8_t(function | 0x80), code});
}

int RequestLength(std::span<const std::uint8_t> prefix) {
    if (prefix.size() < 2)
        return 0;
    switch (prefix[1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
        return 8;
    case 15:
    case 16:
        return prefix.size() < 7 ? 0 : 9 + prefix[6];
    default:
        return -1;
    }
}

std::vector<Frame> RequestAssembler::Feed(std::span<const std::uint8_t> bytes) {
    std::vector<Frame> frames;
    for (const std::uint8_t b : bytes) {
        m_pending.push_back(b);
        const int length = RequestLength(m_pending);
        if (length < 0) {
            m_pending.clear(); // unknown function: nothing to answer, resynchronise on the next frame
        } else if (length > 0 && int(m_pending.size()) >= length) {
            if (HasValidCrc(m_pending))
                frames.push_back(m_pending);
            m_pending.clear();
        }
    }
    return frames;
}

} // namespace rtu
