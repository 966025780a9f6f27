#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vdsim {

using TBytes = std::vector<std::uint8_t>;

// Modbus exception codes the modules answer with.
inline constexpr std::uint8_t IllegalFunction = 1;
inline constexpr std::uint8_t IllegalDataAddress = 2;
inline constexpr std::uint8_t IllegalDataValue = 3;

// The Modbus CRC-16 (start $FFFF, polynomial $A001, reflected).
std::uint16_t Crc16(std::span<const std::uint8_t> bytes);

// Appends the CRC, low byte first.
void AppendCrc(TBytes& frame);

// A frame of at least 3 bytes whose last two bytes are the CRC of the others.
bool HasValidCrc(std::span<const std::uint8_t> frame);

// An exception reply: slave, function + $80, code, CRC.
TBytes ExceptionReply(std::uint8_t slave, std::uint8_t function, std::uint8_t code);

// An 8-byte request (functions 1 to 6): slave, function, address, quantity or value, CRC.
TBytes BuildRequest(std::uint8_t slave, std::uint8_t function, std::uint16_t address, std::uint16_t value);

} // namespace vdsim
