#pragma once

#include "tools/sim/ModelTable.h"

#include <cstdint>
#include <optional>
#include <span>

namespace vdsim {

// The four Modbus data tables of a module.
enum class TSimTable : std::uint8_t { Coil, DiscreteInput, Holding, InputRegister };

// Who is asked: the module itself, or the second line of an energy meter (answered at address + 2).
enum class TSimUnit : std::uint8_t { Module, MeterLine2 };

// What a coil or register means inside the module; the module's code gives each field its behaviour.
enum class TSimField : std::uint8_t {
    Baudrate,
    Address,
    Format,
    Command,
    Firmware,
    ModelCode,
    Name,
    Timeout,
    FlashCounterHigh,
    FlashCounterLow,
    Thermocouple,
    InputCounts,
    AlarmLink,
    Preset,
    InputState,
    PulseCounter,
    OutputState,
    AnalogEnabled,
    AnalogLimitMax,
    AnalogLimitMin,
    AnalogFunction,
    AnalogValue,
    OutputLimit,
    OutputEnabled,
    OutputValue,
    Calibration,
    Temperature,
    WordInputSpare,
    WordInputValue,
    WordInputStatus,
    OutputMask,
    NamedOutput,
    EngineValue,
    MeterValue,
};

// How many coils or registers a block spans on a given model.
enum class TSimSize : std::uint8_t {
    Fixed,          // the block's Count
    DigitalInputs,  // one per digital input
    DigitalOutputs, // one per digital output
    AnalogInputs,   // one per analog input
    AnalogSlots,    // the analog-input bank: MaxAnalogInputs slots on every model with analog inputs
    AnalogOutputs,  // one per analog output
    Temperatures,   // one per temperature input
};

// A channel group a block needs on the model to exist at all.
enum class TSimNeeds : std::uint8_t {
    Nothing,
    DigitalInputs,
    DigitalOutputs,
    AnalogInputs,
    AnalogOutputs,
    Temperatures
};

enum class TSimAccess : std::uint8_t { Read, ReadWrite };

inline constexpr int AnyModel = -1;

// One block of consecutive coils or registers of the module register map.
struct TRegisterBlock {
    TSimTable Table;
    std::uint16_t Base; // wire (0-based) address of the first entry
    TSimSize SizeBy;
    std::uint16_t Count; // for TSimSize::Fixed
    TSimNeeds Needs;
    int OnlyModel;   // AnyModel or the one model code the block exists on
    int ExceptModel; // AnyModel or a model code the block does not exist on
    TSimUnit Unit;
    TSimAccess Access;
    TSimField Field;
    std::uint16_t Arg; // field-specific (the calibration command number)
    std::uint16_t Min; // accepted register values of a write
    std::uint16_t Max;
    const char* What;
};

struct TRegisterHit {
    const TRegisterBlock* Block;
    std::uint16_t Index; // position within the block (the channel index)
};

std::span<const TRegisterBlock> RegisterMap();

// Number of entries of a block on a model; 0 when the block does not exist there.
int BlockSize(const TRegisterBlock& block, const TSimModel& model);

// The block holding a wire address of a table on a model, if any.
std::optional<TRegisterHit> FindRegister(TSimTable table, std::uint16_t address, const TSimModel& model,
                                         TSimUnit unit);

} // namespace vdsim
