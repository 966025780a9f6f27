#include "comm/ModbusCrc.h"

std::uint16_t ModbusCrc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) {
            const bool out = crc & 1;
            crc >>= 1;
            if (out)
                crc ^= ModbusCrcPolynomial;
        }
    }
    return crc;
}
