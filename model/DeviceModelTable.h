#pragma once
// The one place that ties a module's model code to its model text and channel counts.
#include <QString>
#include <span>

struct TDeviceModel {
    int code;
    const char* model; // UTF-8; shown as it stands, never translated
    int digitalInputs;
    int digitalOutputs;
    int temperatureInputs;
    int analogOutputs;
    int analogInputs;
};

std::span<const TDeviceModel> DeviceModels();
// nullptr for a code that is not in the table.
const TDeviceModel* FindDeviceModel(int code);
// The model text of a code; an unknown code gives the translated "Not Identified".
QString DeviceModelText(int code);

// Model codes that other parts of the program treat specially.
namespace ModelCode {
constexpr int Thermocouple = 63;
constexpr int CanGateway = 99;
constexpr int EnergyMeter = 100;
constexpr int MixedInputs = 128;
constexpr int NamedOutputs = 148;
} // namespace ModelCode
