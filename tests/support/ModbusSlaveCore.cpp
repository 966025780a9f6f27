#include "tests/support/ModbusSlaveCore.h"

namespace {
constexpr std::size_t kTableSize = 65536;
constexpr std::uint8_t kIllegalFunction = 1;
constexpr std::uint8_t kIllegalAddress = 2;
constexpr std::uint8_t kIllegalValue = 3;
} // namespace

ModbusSlaveCore::ModbusSlaveCore(std::uint8_t address)
    : m_address(address), m_coils(kTableSize), m_inputs(kTableSize), m_holding(kTableSize),
      m_inputRegisters(kTableSize) {}

rtu::Frame ModbusSlaveCore::ReadBits(const std::vector<bool>& table, std::uint8_t function, int address,
                                     int quantity) const {
    if (quantity < 1 || quantity > 2000)
        return rtu::ExceptionReply(m_address, function, kIllegalValue);
    if (address + quantity > int(table.size()))
        return rtu::ExceptionReply(m_address, function, kIllegalAddress);
    rtu::Frame reply{m_address, function, std::uint8_t((quantity + 7) / 8)};
    for (int i = 0; i < quantity; ++i) {
        if (i % 8 == 0)
            reply.push_back(0);
        if (table[std::size_t(address + i)])
            reply.back() |= std::uint8_t(1u << (i % 8));
    }
    rtu::AppendCrc(reply);
    return reply;
}

rtu::Frame ModbusSlaveCore::ReadWords(const std::vector<std::uint16_t>& table, std::uint8_t function,
                                      int address, int quantity) const {
    if (quantity < 1 || quantity > 125)
        return rtu::ExceptionReply(m_address, function, kIllegalValue);
    if (address + quantity > int(table.size()))
        return rtu::ExceptionReply(m_address, function, kIllegalAddress);
    rtu::Frame reply{m_address, function, std::uint8_t(quantity * 2)};
    for (int i = 0; i < quantity; ++i) {
        const std::uint16_t value = table[std::size_t(address + i)];
        reply.push_back(std::uint8_t(value >> 8));
        reply.push_back(std::uint8_t(value & 0xFF));
    }
    rtu::AppendCrc(reply);
    return reply;
}

rtu::Frame ModbusSlaveCore::Answer(std::span<const std::uint8_t> request) {
    if (request.size() < 4 || request[0] != m_address)
        return {};
    const std::uint8_t function = request[1];
    if (request.size() != 8)
        return rtu::ExceptionReply(m_address, function, kIllegalFunction);
    const int address = request[2] * 256 + request[3];
    const int value = request[4] * 256 + request[5];
    switch (function) {
    case 1:
        return ReadBits(m_coils, function, address, value);
    case 2:
        return ReadBits(m_inputs, function, address, value);
    case 3:
        return ReadWords(m_holding, function, address, value);
    case 4:
        return ReadWords(m_inputRegisters, function, address, value);
    case 5:
        if (value != 0xFF00 && value != 0x0000)
            return rtu::ExceptionReply(m_address, function, kIllegalValue);
        m_coils[std::size_t(address)] = value == 0xFF00;
        return rtu::Frame(request.begin(), request.end());
    case 6:
        m_holding[std::size_t(address)] = std::uint16_t(value);
        return rtu::Frame(request.begin(), request.end());
    case 8:
        // Diagnostics: "return query data" echoes the request; no other sub-function is served.
        if (address != 0)
            return rtu::ExceptionReply(m_address, function, kIllegalFunction);
        return rtu::Frame(request.begin(), request.end());
    default:
        return rtu::ExceptionReply(m_address, function, kIllegalFunction);
    }
}
