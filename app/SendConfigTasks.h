#pragma once
// Send Config without a window: the checks before a send and the ordered list of write tasks that
// turns a device model into the module's configuration (or, during calibration, into the calibration
// commands), always ending with the store-to-flash command.
#include "comm/CommunicationTask.h"
#include <QtGlobal>
#include <optional>
#include <vector>

class TRemoteIO;

// One Modbus write as the configuration writer sends it.
using TSendConfigTask = TCommunicationTask;

// The calibration panel's state as Send Config reads it.
struct TCalibrationState {
    bool Calibrating = false;
    int CalibrationStep = 2;    // 0 maximum, 1 zero, 2 none
    int CalibrationMode = 0;    // 0 analog inputs only, 1 inputs with outputs, 2 output calibration
    int CalibrationChannel = 0; // 0 channel C0, 1 channel C1
    int CalibrationOutput = 3;  // 0 output 1, 1 output 2, other no output command
};

// The line settings the module runs at after the send.
struct TLineSettings {
    int BaudRate = 9600;
    int StopBits = 1;
    int Parity = 0; // 0 none, 1 odd, 2 even

    bool operator==(const TLineSettings&) const = default;
};

struct TSendConfigPlan {
    std::vector<TSendConfigTask> Tasks;
    // Set outside calibration only.
    std::optional<TLineSettings> LineSettings;
};

namespace SendConfigNumbers {
constexpr quint16 StoreCommand = 516;
constexpr int StoreValue = 0x6766; // "g", "f": store the configuration in flash
constexpr int MaxPreset = 65534;
constexpr int MinOutputLimit = 1;
constexpr int MaxOutputLimit = 4000;
} // namespace SendConfigNumbers

// The value checks, in order, each failure shown as an error box; false when anything failed, and
// then nothing may be sent.
bool CheckSendConfig(const TRemoteIO& device);

// The task list for the device. An analog-output limit outside 1..4000 shows "Out of range value."
// and leaves out that one register.
TSendConfigPlan BuildSendConfigTasks(TRemoteIO& device, const TCalibrationState& calibration);

// The line settings written to the module (baud rate from the Baudrate ordinal, stop bits, parity).
TLineSettings DeviceLineSettings(const TRemoteIO& device);
