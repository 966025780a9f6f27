#include "tools/sim/Rtu.h"

namespace vdsim {

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = (crc & 1) != 0;
            crc >>= 1;
            if (carry) {
                crc ^= 0xA001;
            }
        }
    }
    return crc;
}

void AppendCrc(TBytes& frame) {
    const std::uint16_t crc = Crc16(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

bool HasValidCrc(std::span<const std::uint8_t> frame) {
    if (frame.size() < 3) {
        return false;
    }
    const std::uint16_t crc = Crc16(frame.first(frame.size() - 2));
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

TBytes ExceptionReply(std::uint8_t slave, std::uint8_t function, std::uint8_t code) {
    TBytes reply{slave, static_cast<std::uint8_t>(function | 0x80), code};
    AppendCrc(reply);
    return reply;
}

TBytes BuildRequest(std::uint8_t slave, std::uint8_t function, std::uint16_t address, std::uint16_t value) {
    TBytes frame{slave,
                 function,
                 static_cast<std::uint8_t>(address >> 8),
                 static_cast<std::uint8_t>(address & 0xFF),
                 static_cast<std::uint8_t>(value >> 8),
                 static_cast<std::uint8_t>(value & 0xFF)};
    AppendCrc(frame);
    return frame;
}

} // namespace vdsim
