// The module register map: every coil and register a module answers, in one table. Addresses are wire
// (0-based) addresses. A change of the map is a change of this file only.
#include "tools/sim/RegisterMap.h"

#include <array>

namespace vdsim {

namespace {

constexpr auto CO = TSimTable::Coil;
constexpr auto DI = TSimTable::DiscreteInput;
constexpr auto HR = TSimTable::Holding;
constexpr auto IR = TSimTable::InputRegister;

constexpr auto One = TSimSize::Fixed;
constexpr auto PerDI = TSimSize::DigitalInputs;
constexpr auto PerDO = TSimSize::DigitalOutputs;
constexpr auto PerAI = TSimSize::AnalogInputs;
constexpr auto AISlots = TSimSize::AnalogSlots;
constexpr auto PerAO = TSimSize::AnalogOutputs;
constexpr auto PerTemp = TSimSize::Temperatures;

constexpr auto Always = TSimNeeds::Nothing;
constexpr auto NeedsAI = TSimNeeds::AnalogInputs;
constexpr auto NeedsAO = TSimNeeds::AnalogOutputs;
constexpr auto NeedsDI = TSimNeeds::DigitalInputs;
constexpr auto NeedsDO = TSimNeeds::DigitalOutputs;
constexpr auto NeedsTemp = TSimNeeds::Temperatures;

constexpr auto Main = TSimUnit::Module;
constexpr auto Line2 = TSimUnit::MeterLine2;
constexpr auto R = TSimAccess::Read;
constexpr auto RW = TSimAccess::ReadWrite;
constexpr int Any = AnyModel;
constexpr std::uint16_t Top = 0xFFFF;

using F = TSimField;

// clang-format off
constexpr auto Map = std::to_array<TRegisterBlock>({
    // table, base, size, count, needs, only model, except model, unit, access, field, arg, min, max, what
    // Information block (the search reads 512..528 as one request).
    {HR, 512, One, 1, Always, Any, ModelEngineGateway, Main, RW, F::Baudrate, 0, 0, 4, "baud rate ordinal"},
    {HR, 512, One, 1, Always, ModelEngineGateway, Any, Main, RW, F::Baudrate, 0, 1, 1, "baud rate (9600 only)"},
    {HR, 513, One, 1, Always, Any, Any, Main, RW, F::Address, 0, 1, 247, "slave address"},
    {HR, 514, One, 1, Always, Any, Any, Main, RW, F::Format, 0, 0, 3, "serial format"},
    {HR, 515, One, 1, Always, Any, Any, Main, RW, F::Command, 0, 0x6766, 0x6766, "command (store)"},
    {HR, 516, One, 1, Always, Any, Any, Main, R, F::Firmware, 0, 0, Top, "firmware version x100"},
    {HR, 517, One, 1, Always, Any, Any, Main, R, F::ModelCode, 0, 0, Top, "model code"},
    {HR, 518, One, 8, Always, Any, Any, Main, RW, F::Name, 0, 0, Top, "device name"},
    {HR, 526, One, 1, Always, Any, Any, Main, RW, F::Timeout, 0, 1, 2400, "reply timeout code"},
    {HR, 527, One, 1, Always, Any, Any, Main, R, F::FlashCounterHigh, 0, 0, Top, "flash counter / 256"},
    {HR, 528, One, 1, Always, Any, Any, Main, R, F::FlashCounterLow, 0, 0, Top, "flash counter mod 256"},
    {HR, 529, One, 1, Always, ModelThermocouple, Any, Main, RW, F::Thermocouple, 0, 0, Top, "thermocouple"},

    // Digital inputs.
    {CO, 64, PerDI, 0, NeedsDI, Any, Any, Main, RW, F::InputCounts, 0, 0, 1, "input counts pulses"},
    {CO, 128, PerDI, 0, NeedsDI, Any, Any, Main, RW, F::AlarmLink, 0, 0, 1, "counter drives output"},
    {HR, 0, PerDI, 0, NeedsDI, Any, ModelWordInputs, Main, RW, F::Preset, 0, 0, 65534, "counter preset"},
    {DI, 0, PerDI, 0, NeedsDI, Any, ModelWordInputs, Main, R, F::InputState, 0, 0, 1, "input state"},
    {HR, 32, PerDI, 0, NeedsDI, Any, ModelWordInputs, Main, RW, F::PulseCounter, 0, 0, 65534, "pulse counter"},
    {HR, 0, One, 1, NeedsDI, ModelWordInputs, Any, Main, RW, F::WordInputSpare, 0, 0, Top, "register 0"},
    {HR, 1, PerDI, 0, NeedsDI, ModelWordInputs, Any, Main, RW, F::WordInputValue, 0, 0, 32767, "input word"},
    {HR, 9, One, 1, NeedsDI, ModelWordInputs, Any, Main, R, F::WordInputStatus, 0, 0, Top, "input status bits"},

    // Digital outputs.
    {CO, 0, PerDO, 0, NeedsDO, Any, ModelWordOutputs, Main, RW, F::OutputState, 0, 0, 1, "output state"},
    {HR, 9, One, 1, NeedsDO, ModelWordOutputs, Any, Main, RW, F::OutputMask, 0, 0, 255, "output bit mask"},
    {HR, 251, One, 2, NeedsDO, ModelWordOutputs, Any, Main, RW, F::NamedOutput, 0, 0, 1, "Inverter, Alarmes"},

    // Analog inputs: the firmware keeps a bank of MaxAnalogInputs slots, so the doubled reads of the
    // factory-mode search stay inside it on two-input models too.
    {CO, 202, PerAI, 0, NeedsAI, Any, Any, Main, RW, F::AnalogEnabled, 0, 0, 1, "analog input enabled"},
    {HR, 104, AISlots, 0, NeedsAI, Any, Any, Main, R, F::AnalogValue, 0, 0, Top, "analog input value"},
    {HR, 108, AISlots, 0, NeedsAI, Any, Any, Main, RW, F::AnalogLimitMin, 0, 0, Top, "analog lower limit"},
    {HR, 112, AISlots, 0, NeedsAI, Any, Any, Main, RW, F::AnalogLimitMax, 0, 0, Top, "analog upper limit"},
    {HR, 116, AISlots, 0, NeedsAI, Any, Any, Main, RW, F::AnalogFunction, 0, 1, 2, "analog function"},
    {IR, 116, AISlots, 0, NeedsAI, Any, Any, Main, R, F::AnalogFunction, 0, 1, 2, "analog function"},
    {CO, 200, One, 1, NeedsAI, Any, Any, Main, RW, F::Calibration, 0, 0, 1, "calibrate C0 zero"},
    {CO, 201, One, 1, NeedsAI, Any, Any, Main, RW, F::Calibration, 1, 0, 1, "calibrate C0 maximum"},
    {CO, 206, One, 1, NeedsAI, Any, Any, Main, RW, F::Calibration, 2, 0, 1, "calibrate C1 zero"},
    {CO, 207, One, 1, NeedsAI, Any, Any, Main, RW, F::Calibration, 3, 0, 1, "calibrate C1 maximum"},

    // Analog outputs.
    {HR, 302, PerAO, 0, NeedsAO, Any, Any, Main, RW, F::OutputValue, 0, 0, 4095, "analog output value"},
    {HR, 304, PerAO, 0, NeedsAO, Any, Any, Main, RW, F::OutputLimit, 0, 1, 4000, "analog output limit"},
    {CO, 208, PerAO, 0, NeedsAO, Any, Any, Main, RW, F::OutputEnabled, 0, 0, 1, "analog output enabled"},
    {CO, 210, One, 1, NeedsAO, Any, Any, Main, RW, F::Calibration, 4, 0, 1, "calibrate output 1"},
    {CO, 211, One, 1, NeedsAO, Any, Any, Main, RW, F::Calibration, 5, 0, 1, "calibrate output 2"},

    // Temperatures, the engine gateway and the energy meter.
    {HR, 500, PerTemp, 0, NeedsTemp, Any, Any, Main, R, F::Temperature, 0, 0, Top, "temperature"},
    {HR, 100, One, 9, Always, ModelEngineGateway, Any, Main, R, F::EngineValue, 0, 0, Top, "engine values"},
    // The energy meter's lines are apart: line 1 at the module's address, line 2 at address + 2.
    {HR, 1, One, 12, Always, ModelEnergyMeter, Any, Main, R, F::MeterValue, 0, 0, Top, "meter line 1"},
    {HR, 1, One, 12, Always, ModelEnergyMeter, Any, Line2, R, F::MeterValue, 1, 0, Top, "meter line 2"},
});
// clang-format on

bool HasGroup(TSimNeeds needs, const TSimModel& model) {
    switch (needs) {
    case TSimNeeds::Nothing:
        return true;
    case TSimNeeds::DigitalInputs:
        return model.DigitalInputs > 0;
    case TSimNeeds::DigitalOutputs:
        return model.DigitalOutputs > 0;
    case TSimNeeds::AnalogInputs:
        return model.AnalogInputs > 0;
    case TSimNeeds::AnalogOutputs:
        return model.AnalogOutputs > 0;
    case TSimNeeds::Temperatures:
        return model.Temperatures > 0;
    }
    return false;
}

} // namespace

std::span<const TRegisterBlock> RegisterMap() {
    return Map;
}

int BlockSize(const TRegisterBlock& block, const TSimModel& model) {
    if (block.OnlyModel != AnyModel && block.OnlyModel != model.Code) {
        return 0;
    }
    if (block.ExceptModel != AnyModel && block.ExceptModel == model.Code) {
        return 0;
    }
    if (!HasGroup(block.Needs, model)) {
        return 0;
    }
    switch (block.SizeBy) {
    case TSimSize::Fixed:
        return block.Count;
    case TSimSize::DigitalInputs:
        return model.DigitalInputs;
    case TSimSize::DigitalOutputs:
        return model.DigitalOutputs;
    case TSimSize::AnalogInputs:
        return model.AnalogInputs;
    case TSimSize::AnalogSlots:
        return model.AnalogInputs > 0 ? MaxAnalogInputs : 0;
    case TSimSize::AnalogOutputs:
        return model.AnalogOutputs;
    case TSimSize::Temperatures:
        return model.Temperatures;
    }
    return 0;
}

std::optional<TRegisterHit> FindRegister(TSimTable table, std::uint16_t address, const TSimModel& model,
                                         TSimUnit unit) {
    for (const TRegisterBlock& block : Map) {
        if (block.Table != table || block.Unit != unit || address < block.Base) {
            continue;
        }
        const int size = BlockSize(block, model);
        if (address - block.Base < size) {
            return TRegisterHit{&block, static_cast<std::uint16_t>(address - block.Base)};
        }
    }
    return std::nullopt;
}

} // namespace vdsim
