#include "tools/sim/SimModule.h"

#include <algorithm>
#include <cstdio>

namespace vdsim {

namespace {

constexpr std::uint16_t CoilOn = 0xFF00;
constexpr std::uint8_t Diagnostics = 0x08;
constexpr std::uint16_t MaxReadBits = 2000;
constexpr std::uint16_t MaxReadRegisters = 125;

bool IsTimeoutCode(std::uint16_t code) {
    return (code >= 1 && code <= 20) || (code % 20 == 0 && code >= 40 && code <= 240) || code == 255 ||
           code == 600 || code == 1200 || code == 2400;
}

std::uint16_t Word(std::span<const std::uint8_t> frame, std::size_t at) {
    return static_cast<std::uint16_t>(frame[at] << 8 | frame[at + 1]);
}

} // namespace

char FormatParity(std::uint16_t format) {
    switch (format) {
    case 0:
        return 'E';
    case 1:
        return 'O';
    default:
        return 'N';
    }
}

int FormatStopBits(std::uint16_t format) {
    return format == 2 ? 2 : 1;
}

int BaudOfOrdinal(std::uint16_t ordinal) {
    static constexpr std::array<int, 5> Rates{4800, 9600, 19200, 38400, 57600};
    return ordinal < Rates.size() ? Rates[ordinal] : 0;
}

TSimModule::TSimModule(int address, int modelCode) : LastAdvance(std::chrono::steady_clock::now()) {
    S.Model = FindSimModel(modelCode);
    S.ActiveAddress = static_cast<std::uint16_t>(address);
    S.Pending.Address = S.ActiveAddress;
    S.Pending.Baudrate = S.ActiveBaudrate;
    S.Pending.Format = S.ActiveFormat;
    char name[32];
    std::snprintf(name, sizeof name, "%.12s #%d", S.Model.Label, address);
    S.Pending.Name.fill(' ');
    std::copy_n(name, std::min<std::size_t>(std::char_traits<char>::length(name), 16),
                S.Pending.Name.begin());
    S.Stored = S.Pending;
    S.Live.Engine = {1500, 85, 4, 24, 12, 185, 57, 3, 0};
    S.Live.Meter[0] = {0, 0, 0, 1, 0, 1, 2, 0, 0, 0, 1200, 340};
    S.Live.Meter[1] = {0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 800, 210};
    Step();
}

TBytes TSimModule::Handle(std::span<const std::uint8_t> frame, TSimUnit unit) {
    const std::uint8_t slave = frame[0];
    const std::uint8_t function = frame[1];
    ++S.Counters.Requests;
    if (function == Diagnostics && frame.size() == 8) {
        // Sub-function 0, "return query data", echoes the request; the module serves no other.
        const std::uint16_t sub = Word(frame, 2);
        Record({slave, function, sub, Word(frame, 4), sub == 0 ? std::uint8_t(0) : IllegalFunction});
        if (sub != 0) {
            ++S.Counters.Exceptions;
            return ExceptionReply(slave, function, IllegalFunction);
        }
        return TBytes(frame.begin(), frame.end());
    }
    if (function < 1 || function > 6) {
        Record({slave, function, 0, 0, IllegalFunction});
        ++S.Counters.Exceptions;
        return ExceptionReply(slave, function, IllegalFunction);
    }
    if (frame.size() != 8) {
        return {}; // a garbled request: a module does not answer it
    }
    const std::uint16_t address = Word(frame, 2);
    const std::uint16_t value = Word(frame, 4);
    TBytes reply;
    switch (function) {
    case 1:
        reply = ReadBits(slave, function, TSimTable::Coil, address, value, unit);
        break;
    case 2:
        reply = ReadBits(slave, function, TSimTable::DiscreteInput, address, value, unit);
        break;
    case 3:
        reply = ReadRegisters(slave, function, TSimTable::Holding, address, value, unit);
        break;
    case 4:
        reply = ReadRegisters(slave, function, TSimTable::InputRegister, address, value, unit);
        break;
    case 5:
        reply = Write(frame, TSimTable::Coil, unit);
        break;
    default:
        reply = Write(frame, TSimTable::Holding, unit);
        break;
    }
    const std::uint8_t exception = (reply.size() > 2 && (reply[1] & 0x80) != 0) ? reply[2] : 0;
    if (exception != 0) {
        ++S.Counters.Exceptions;
    }
    Record({slave, function, address, value, exception});
    return reply;
}

TBytes TSimModule::ReadBits(std::uint8_t slave, std::uint8_t function, TSimTable table, std::uint16_t address,
                            std::uint16_t quantity, TSimUnit unit) {
    if (quantity < 1 || quantity > MaxReadBits) {
        return ExceptionReply(slave, function, IllegalDataValue);
    }
    if (address + quantity > 0x10000) {
        return ExceptionReply(slave, function, IllegalDataAddress);
    }
    TBytes reply{slave, function, static_cast<std::uint8_t>((quantity + 7) / 8)};
    reply.resize(3 + reply[2], 0);
    for (int k = 0; k < quantity; ++k) {
        const auto hit = FindRegister(table, static_cast<std::uint16_t>(address + k), S.Model, unit);
        if (!hit) {
            return ExceptionReply(slave, function, IllegalDataAddress);
        }
        if (ReadValue(*hit, unit) != 0) {
            reply[3 + k / 8] |= static_cast<std::uint8_t>(1 << (k % 8));
        }
    }
    AppendCrc(reply);
    return reply;
}

TBytes TSimModule::ReadRegisters(std::uint8_t slave, std::uint8_t function, TSimTable table,
                                 std::uint16_t address, std::uint16_t quantity, TSimUnit unit) {
    if (quantity < 1 || quantity > MaxReadRegisters) {
        return ExceptionReply(slave, function, IllegalDataValue);
    }
    if (address + quantity > 0x10000) {
        return ExceptionReply(slave, function, IllegalDataAddress);
    }
    TBytes reply{slave, function, static_cast<std::uint8_t>(quantity * 2)};
    for (int k = 0; k < quantity; ++k) {
        const auto hit = FindRegister(table, static_cast<std::uint16_t>(address + k), S.Model, unit);
        if (!hit) {
            return ExceptionReply(slave, function, IllegalDataAddress);
        }
        const std::uint16_t value = ReadValue(*hit, unit);
        reply.push_back(static_cast<std::uint8_t>(value >> 8));
        reply.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
    AppendCrc(reply);
    return reply;
}

TBytes TSimModule::Write(std::span<const std::uint8_t> frame, TSimTable table, TSimUnit unit) {
    const std::uint8_t slave = frame[0];
    const std::uint8_t function = frame[1];
    const std::uint16_t address = Word(frame, 2);
    std::uint16_t value = Word(frame, 4);
    if (table == TSimTable::Coil) {
        if (value != CoilOn && value != 0) {
            return ExceptionReply(slave, function, IllegalDataValue);
        }
        value = value == CoilOn ? 1 : 0;
    }
    const auto hit = FindRegister(table, address, S.Model, unit);
    if (!hit) {
        return ExceptionReply(slave, function, IllegalDataAddress);
    }
    if (const std::uint8_t code = WriteValue(*hit, value, false); code != 0) {
        return ExceptionReply(slave, function, code);
    }
    // A write is answered with the request's echo, from the address it was sent to.
    return TBytes(frame.begin(), frame.end());
}

std::uint16_t TSimModule::ReadValue(const TRegisterHit& hit, TSimUnit unit) const {
    const std::uint16_t i = hit.Index;
    const TSimConfig& c = S.Pending;
    const TSimLive& l = S.Live;
    switch (hit.Block->Field) {
    case TSimField::Baudrate:
        return c.Baudrate;
    case TSimField::Address:
        return c.Address;
    case TSimField::Format:
        return c.Format;
    case TSimField::Command:
        return 0;
    case TSimField::Firmware:
        return S.Firmware;
    case TSimField::ModelCode:
        return static_cast<std::uint16_t>(S.Model.Code);
    case TSimField::Name:
        return static_cast<std::uint16_t>(static_cast<std::uint8_t>(c.Name[2 * i]) << 8 |
                                          static_cast<std::uint8_t>(c.Name[2 * i + 1]));
    case TSimField::Timeout:
        return c.Timeout;
    case TSimField::FlashCounterHigh:
        return static_cast<std::uint16_t>(S.FlashCounter / 256);
    case TSimField::FlashCounterLow:
        return static_cast<std::uint16_t>(S.FlashCounter % 256);
    case TSimField::Thermocouple:
        return c.Thermocouple;
    case TSimField::InputCounts:
        return c.InputCounts[i];
    case TSimField::AlarmLink:
        return c.AlarmLink[i];
    case TSimField::Preset:
        return c.Preset[i];
    case TSimField::InputState:
        return l.InputState[i];
    case TSimField::PulseCounter:
        return l.PulseCounter[i];
    case TSimField::OutputState:
        return l.OutputState[i];
    case TSimField::AnalogEnabled:
        return c.AnalogEnabled[i];
    case TSimField::AnalogLimitMax:
        return c.LimitMax[i];
    case TSimField::AnalogLimitMin:
        return c.LimitMin[i];
    case TSimField::AnalogFunction:
        return c.Function[i];
    case TSimField::AnalogValue:
        return l.AnalogValue[i];
    case TSimField::OutputLimit:
        return c.OutputLimit[i];
    case TSimField::OutputEnabled:
        return c.OutputEnabled[i];
    case TSimField::OutputValue:
        return l.OutputValue[i];
    case TSimField::Calibration:
        return 0; // commands act on the write and do not stay on
    case TSimField::Temperature:
        return l.Temperature[i];
    case TSimField::WordInputSpare:
        return c.WordInputSpare;
    case TSimField::WordInputValue:
        return l.WordInput[i];
    case TSimField::WordInputStatus:
        return l.WordStatus;
    case TSimField::OutputMask: {
        std::uint16_t mask = 0;
        for (int bit = 0; bit < 8; ++bit) {
            mask |= static_cast<std::uint16_t>(l.OutputState[bit] ? 1 << bit : 0);
        }
        return mask;
    }
    case TSimField::NamedOutput:
        return l.NamedOutput[i];
    case TSimField::EngineValue:
        return l.Engine[i];
    case TSimField::MeterValue:
        return l.Meter[unit == TSimUnit::MeterLine2 ? 1 : 0][i];
    }
    return 0;
}

std::uint8_t TSimModule::WriteValue(const TRegisterHit& hit, std::uint16_t value, bool force) {
    const TRegisterBlock& block = *hit.Block;
    const std::uint16_t i = hit.Index;
    if (!force && (block.Access == TSimAccess::Read || value < block.Min || value > block.Max)) {
        return block.Access == TSimAccess::Read ? IllegalDataAddress : IllegalDataValue;
    }
    TSimConfig& c = S.Pending;
    TSimLive& l = S.Live;
    const bool on = value != 0;
    switch (block.Field) {
    case TSimField::Baudrate:
        c.Baudrate = value;
        break;
    case TSimField::Address:
        c.Address = value;
        break;
    case TSimField::Format:
        c.Format = value;
        break;
    case TSimField::Command:
        if (value == StoreCommand) {
            StoreConfig();
        }
        break;
    case TSimField::Firmware:
        S.Firmware = value;
        break;
    case TSimField::ModelCode:
        S.Model = FindSimModel(value);
        break;
    case TSimField::Name:
        c.Name[2 * i] = static_cast<char>(value >> 8);
        c.Name[2 * i + 1] = static_cast<char>(value & 0xFF);
        break;
    case TSimField::Timeout:
        if (!force && !IsTimeoutCode(value)) {
            return IllegalDataValue;
        }
        c.Timeout = value;
        break;
    case TSimField::FlashCounterHigh:
        S.FlashCounter = value * 256u + S.FlashCounter % 256;
        break;
    case TSimField::FlashCounterLow:
        S.FlashCounter = S.FlashCounter / 256 * 256 + value;
        break;
    case TSimField::Thermocouple:
        c.Thermocouple = value;
        UpdateTemperatures();
        break;
    case TSimField::InputCounts:
        c.InputCounts[i] = on;
        break;
    case TSimField::AlarmLink:
        c.AlarmLink[i] = on;
        break;
    case TSimField::Preset:
        c.Preset[i] = value;
        break;
    case TSimField::InputState:
        l.InputState[i] = on;
        break;
    case TSimField::PulseCounter:
        l.PulseCounter[i] = value;
        break;
    case TSimField::OutputState:
        l.OutputState[i] = on;
        break;
    case TSimField::AnalogEnabled:
        c.AnalogEnabled[i] = on;
        break;
    case TSimField::AnalogLimitMax:
        c.LimitMax[i] = value;
        break;
    case TSimField::AnalogLimitMin:
        c.LimitMin[i] = value;
        break;
    case TSimField::AnalogFunction:
        c.Function[i] = value;
        break;
    case TSimField::AnalogValue:
        l.AnalogValue[i] = value;
        break;
    case TSimField::OutputLimit:
        c.OutputLimit[i] = value;
        break;
    case TSimField::OutputEnabled:
        c.OutputEnabled[i] = on;
        break;
    case TSimField::OutputValue:
        if (!force && value > c.OutputLimit[i]) {
            return IllegalDataValue; // above the output's configured limit
        }
        l.OutputValue[i] = value;
        break;
    case TSimField::Calibration:
        if (on) {
            ++S.Calibrations[block.Arg];
        }
        break;
    case TSimField::Temperature:
        l.Temperature[i] = value;
        break;
    case TSimField::WordInputSpare:
        c.WordInputSpare = value;
        break;
    case TSimField::WordInputValue:
        // The error flag in bit 15 is the module's own; a live write sets the value only.
        l.WordInput[i] = force ? value : static_cast<std::uint16_t>((l.WordInput[i] & 0x8000) | value);
        break;
    case TSimField::WordInputStatus:
        l.WordStatus = value;
        break;
    case TSimField::OutputMask:
        for (int bit = 0; bit < 8; ++bit) {
            l.OutputState[bit] = (value >> bit & 1) != 0;
        }
        break;
    case TSimField::NamedOutput:
        l.NamedOutput[i] = value;
        break;
    case TSimField::EngineValue:
        l.Engine[i] = value;
        break;
    case TSimField::MeterValue:
        l.Meter[block.Unit == TSimUnit::MeterLine2 ? 1 : 0][i] = value;
        break;
    }
    return 0;
}

std::uint8_t TSimModule::Poke(TSimTable table, std::uint16_t address, std::uint16_t value, TSimUnit unit) {
    const auto hit = FindRegister(table, address, S.Model, unit);
    return hit ? WriteValue(*hit, value, true) : IllegalDataAddress;
}

void TSimModule::StoreConfig() {
    S.Stored = S.Pending;
    ++S.FlashCounter;
    ++S.Counters.Stores;
    S.ActiveAddress = S.Pending.Address;
    S.ActiveBaudrate = S.Pending.Baudrate;
    S.ActiveFormat = S.Pending.Format;
}

void TSimModule::Record(const TSimRequestRecord& record) {
    S.Log.push_back(record);
    if (S.Log.size() > MaxLogRecords) {
        S.Log.pop_front();
    }
}

} // namespace vdsim
