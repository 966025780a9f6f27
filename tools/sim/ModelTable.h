#pragma once

#include <cstdint>
#include <span>

namespace vdsim {

// Channel counts of one module model, as the module's firmware knows them. Kept apart from the
// program's own model table on purpose: a wrong count on either side must show up in a test.
struct TSimModel {
    int Code;
    const char* Label;
    int DigitalInputs;
    int DigitalOutputs;
    int Temperatures;
    int AnalogOutputs;
    int AnalogInputs;
};

// Largest channel counts of any model; the module state is sized for them.
inline constexpr int MaxDigitalChannels = 16;
inline constexpr int MaxAnalogInputs = 4;
inline constexpr int MaxAnalogOutputs = 2;
inline constexpr int MaxTemperatures = 4;

// Model codes with a behaviour of their own.
inline constexpr int ModelEngineGateway = 99;
inline constexpr int ModelEnergyMeter = 100;
inline constexpr int ModelWordInputs = 128;
inline constexpr int ModelWordOutputs = 148;
inline constexpr int ModelThermocouple = 63;

// The model of a code; an unknown code gives a model without channels (only the information block).
TSimModel FindSimModel(int code);
std::span<const TSimModel> SimModels();

} // namespace vdsim
