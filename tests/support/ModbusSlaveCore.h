#pragma once
// The data tables of a Modbus slave and its answer to one request of functions 1 to 6.
#include <cstdint>
#include <span>
#include <vector>

#include "tests/support/ModbusRtuFraming.h"

class ModbusSlaveCore {
public:
    explicit ModbusSlaveCore(std::uint8_t address);

    std::uint8_t Address() const { return m_address; }
    bool Coil(int index) const { return m_coils.at(std::size_t(index)); }
    void SetCoil(int index, bool on) { m_coils.at(std::size_t(index)) = on; }
    bool DiscreteInput(int index) const { return m_inputs.at(std::size_t(index)); }
    void SetDiscreteInput(int index, bool on) { m_inputs.at(std::size_t(index)) = on; }
    std::uint16_t HoldingRegister(int index) const { return m_holding.at(std::size_t(index)); }
    void SetHoldingRegister(int index, std::uint16_t value) { m_holding.at(std::size_t(index)) = value; }
    std::uint16_t InputRegister(int index) const { return m_inputRegisters.at(std::size_t(index)); }
    void SetInputRegister(int index, std::uint16_t value) { m_inputRegisters.at(std::size_t(index)) = value; }

    // The reply to a request frame with a valid CRC (the reply has its CRC too), or an empty frame when
    // the request is for another slave or is a broadcast.
    rtu::Frame Answer(std::span<const std::uint8_t> request);

private:
    rtu::Frame ReadBits(const std::vector<bool>& table, std::uint8_t function, int address,
                        int quantity) const;
    rtu::Frame ReadWords(const std::vector<std::uint16_t>& table, std::uint8_t function, int address,
                         int quantity) const;

    std::uint8_t m_address;
    std::vector<bool> m_coils;
    std::vector<bool> m_inputs;
    std::vector<std::uint16_t> m_holding;
    std::vector<std::uint16_t> m_inputRegisters;
};
