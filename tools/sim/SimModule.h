#pragma once

#include "tools/sim/ModelTable.h"
#include "tools/sim/RegisterMap.h"
#include "tools/sim/Rtu.h"
#include "tools/sim/SimFault.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

namespace vdsim {

// What a store command writes into flash. Writes change the working copy at once; the address and the
// line settings in it take effect only when it is stored.
struct TSimConfig {
    std::uint16_t Baudrate = 1; // ordinal: 0 = 4800 .. 4 = 57600
    std::uint16_t Address = 1;
    std::uint16_t Format = 3;   // 0 = 8E1, 1 = 8O1, 2 = 8N2, 3 = 8N1
    std::uint16_t Timeout = 20; // units of 50 ms
    std::uint16_t Thermocouple = 0x80;
    std::array<char, 16> Name{};
    std::array<bool, MaxDigitalChannels> InputCounts{};
    std::array<bool, MaxDigitalChannels> AlarmLink{};
    std::array<std::uint16_t, MaxDigitalChannels> Preset{};
    std::array<bool, MaxAnalogInputs> AnalogEnabled{true, true, true, true};
    std::array<std::uint16_t, MaxAnalogInputs> LimitMin{};
    std::array<std::uint16_t, MaxAnalogInputs> LimitMax{4000, 4000, 4000, 4000};
    std::array<std::uint16_t, MaxAnalogInputs> Function{1, 1, 1, 1}; // 1 = 0-10 V, 2 = 0-20 mA
    std::array<std::uint16_t, MaxAnalogOutputs> OutputLimit{4000, 4000};
    std::array<bool, MaxAnalogOutputs> OutputEnabled{true, true};
    std::uint16_t WordInputSpare = 0;

    bool operator==(const TSimConfig&) const = default;
};

// Values that move or that live writes change at once.
struct TSimLive {
    std::array<bool, MaxDigitalChannels> InputState{};
    std::array<std::uint16_t, MaxDigitalChannels> PulseCounter{};
    std::array<bool, MaxDigitalChannels> OutputState{};
    std::array<std::uint16_t, MaxAnalogInputs> AnalogValue{};
    std::array<std::uint16_t, MaxAnalogOutputs> OutputValue{};
    std::array<std::uint16_t, MaxTemperatures> Temperature{}; // signed 16-bit register values
    std::array<std::uint16_t, 8> WordInput{};                 // model 128: bit 15 = error flag
    std::uint16_t WordStatus = 0;                             // model 128: status bit per input
    std::array<std::uint16_t, 2> NamedOutput{1, 1};           // model 148: 0 = on
    std::array<std::uint16_t, 9> Engine{};                    // model 99
    std::array<std::array<std::uint16_t, 12>, 2> Meter{};     // model 100: line 1, line 2
};

// The six calibration commands, in the order of the map's calibration coils.
inline constexpr int CalibrationCommands = 6;
inline constexpr std::array<const char*, CalibrationCommands> CalibrationNames{
    "C0 zero", "C0 maximum", "C1 zero", "C1 maximum", "output 1", "output 2"};

struct TSimRequestRecord {
    std::uint8_t Slave;
    std::uint8_t Function;
    std::uint16_t Address;  // wire address
    std::uint16_t Value;    // quantity of a read, value of a write
    std::uint8_t Exception; // 0 = normal reply
};

struct TSimCounters {
    std::uint64_t Requests = 0;
    std::uint64_t Exceptions = 0;
    std::uint64_t Stores = 0;
    std::uint64_t LineMismatches = 0; // requests heard at other line settings (pseudo-terminal)
};

struct TSimModuleState {
    TSimModel Model{};
    std::uint16_t Firmware = 215;
    std::uint32_t FlashCounter = 0;
    // The address and line settings the module works with now (from flash).
    std::uint16_t ActiveAddress = 1;
    std::uint16_t ActiveBaudrate = 1;
    std::uint16_t ActiveFormat = 3;
    bool FactoryAnswer = true; // also answers at the factory address 247
    TSimConfig Pending;        // the working copy, what reads return
    TSimConfig Stored;         // the flash copy
    TSimLive Live;
    std::array<std::uint32_t, CalibrationCommands> Calibrations{};
    TSimFault Fault;
    // How the module answers a diagnostics request, whatever fault spoils the others: DiagException
    // (an exception) or DiagSilent (nothing); None answers as a module does.
    TSimFault Diagnostics;
    TSimCounters Counters;
    std::deque<TSimRequestRecord> Log; // the latest requests, oldest first
};

inline constexpr std::uint16_t FactoryAddress = 247;
inline constexpr std::uint16_t StoreCommand = 0x6766;
inline constexpr std::size_t MaxLogRecords = 4096;

// One remote I/O module: its register map, configuration, flash and live values.
class TSimModule {
public:
    TSimModule(int address, int modelCode);

    TSimModuleState& State() { return S; }
    const TSimModuleState& State() const { return S; }

    // Answers a request frame (CRC already checked) addressed to this module; empty = no reply.
    TBytes Handle(std::span<const std::uint8_t> frame, TSimUnit unit);

    // Sets a coil or register as the module's own firmware would, past access and range checks
    // (read-only values and live inputs too). Returns a Modbus exception code, 0 when done.
    std::uint8_t Poke(TSimTable table, std::uint16_t address, std::uint16_t value,
                      TSimUnit unit = TSimUnit::Module);

    // Moves the live values on to the given time; a still module keeps them.
    void Advance(std::chrono::steady_clock::time_point now);
    void SetStill(bool still) { Still = still; }
    bool IsStill() const { return Still; }
    // One movement step (100 ms of module time).
    void Step();

private:
    std::uint16_t ReadValue(const TRegisterHit& hit, TSimUnit unit) const;
    std::uint8_t WriteValue(const TRegisterHit& hit, std::uint16_t value, bool force);
    TBytes ReadBits(std::uint8_t slave, std::uint8_t function, TSimTable table, std::uint16_t address,
                    std::uint16_t quantity, TSimUnit unit);
    TBytes ReadRegisters(std::uint8_t slave, std::uint8_t function, TSimTable table, std::uint16_t address,
                         std::uint16_t quantity, TSimUnit unit);
    TBytes Write(std::span<const std::uint8_t> frame, TSimTable table, TSimUnit unit);
    void StoreConfig();
    void Record(const TSimRequestRecord& record);
    void UpdateTemperatures();

    TSimModuleState S;
    bool Still = false;
    std::uint64_t Steps = 0;
    std::chrono::steady_clock::time_point LastAdvance;
};

// Line settings of a format code: parity 'N', 'O' or 'E', and stop bits.
char FormatParity(std::uint16_t format);
int FormatStopBits(std::uint16_t format);
int BaudOfOrdinal(std::uint16_t ordinal);

} // namespace vdsim
