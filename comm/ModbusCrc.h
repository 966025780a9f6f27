#pragma once
// The Modbus CRC-16 of RTU frames.
#include <cstdint>
#include <span>

constexpr std::uint16_t ModbusCrcPolynomial = 0xA001;

// Start $FFFF; each byte is XORed into the low byte, then eight right shifts, XORing the polynomial
// whenever a 1 is shifted out. Sent low byte first.
std::uint16_t ModbusCrc16(std::span<const std::uint8_t> bytes);
