// How a module's live values move with time: inputs that change, counters that count, analog and
// temperature values that drift, the engine gateway's and the energy meter's values.
#include "tools/sim/SimModule.h"

#include <cmath>

namespace vdsim {

namespace {

constexpr auto StepTime = std::chrono::milliseconds(100);
constexpr std::int64_t MaxStepsPerAdvance = 600;

// A triangle wave from 0 up to amplitude and back in `period` steps.
int Triangle(std::uint64_t x, int period, int amplitude) {
    const int phase = static_cast<int>(x % static_cast<std::uint64_t>(period));
    const int half = period / 2;
    return phase < half ? phase * amplitude / half : (period - phase) * amplitude / half;
}

bool InWholeDegrees(const TSimModuleState& s) {
    const int type = s.Pending.Thermocouple & 0x07;
    return s.Model.Code == ModelThermocouple && (type == 4 || type == 5 || type == 6); // S, R, B
}

} // namespace

void TSimModule::Advance(std::chrono::steady_clock::time_point now) {
    if (Still) {
        LastAdvance = now; // a still module resumes from where it was, without a jump
        return;
    }
    if (now <= LastAdvance) {
        return;
    }
    std::int64_t steps = (now - LastAdvance) / StepTime;
    if (steps > MaxStepsPerAdvance) {
        steps = MaxStepsPerAdvance;
        LastAdvance = now;
    } else {
        LastAdvance += steps * StepTime;
    }
    for (std::int64_t n = 0; n < steps; ++n) {
        Step();
    }
}

void TSimModule::Step() {
    const std::uint64_t k = Steps++;
    TSimLive& l = S.Live;
    const TSimConfig& c = S.Pending;

    if (S.Model.Code == ModelWordInputs) {
        for (int i = 0; i < S.Model.DigitalInputs && i < static_cast<int>(l.WordInput.size()); ++i) {
            if (k % static_cast<std::uint64_t>(2 + i) == 0) {
                const std::uint16_t value = (l.WordInput[i] + 1) & 0x7FFF;
                l.WordInput[i] = static_cast<std::uint16_t>((l.WordInput[i] & 0x8000) | value);
            }
        }
    } else {
        for (int i = 0; i < S.Model.DigitalInputs; ++i) {
            if (k == 0 || k % static_cast<std::uint64_t>(3 + i) != 0) {
                continue;
            }
            l.InputState[i] = !l.InputState[i];
            if (!l.InputState[i]) {
                continue;
            }
            // A rising edge is a pulse; a counting input that reaches its preset starts again and,
            // when linked, switches the output of the same index.
            l.PulseCounter[i] = static_cast<std::uint16_t>((l.PulseCounter[i] + 1) % 65535);
            if (c.InputCounts[i] && c.Preset[i] > 0 && l.PulseCounter[i] >= c.Preset[i]) {
                l.PulseCounter[i] = 0;
                if (c.AlarmLink[i] && i < S.Model.DigitalOutputs) {
                    l.OutputState[i] = !l.OutputState[i];
                }
            }
        }
    }

    for (int i = 0; i < S.Model.AnalogInputs; ++i) {
        l.AnalogValue[i] =
            static_cast<std::uint16_t>(c.AnalogEnabled[i] ? Triangle(k + 25 * i, 100, 4000) : 0);
    }

    UpdateTemperatures();

    if (S.Model.Code == ModelEngineGateway) {
        const int celsius = 85 + Triangle(k, 300, 6);
        const int litres = 12 + Triangle(k, 80, 3);
        const int kgf = 4;
        l.Engine = {static_cast<std::uint16_t>(1500 + Triangle(k, 40, 60)),
                    static_cast<std::uint16_t>(celsius),
                    kgf,
                    24,
                    static_cast<std::uint16_t>(litres),
                    static_cast<std::uint16_t>(celsius * 9 / 5 + 32),
                    static_cast<std::uint16_t>(std::lround(kgf * 14.223)),
                    static_cast<std::uint16_t>(std::lround(litres / 3.785)),
                    0};
    }

    if (S.Model.Code == ModelEnergyMeter) {
        for (std::size_t line = 0; line < l.Meter.size(); ++line) {
            auto& m = l.Meter[line];
            if (k % 10 == 0) {
                ++m[0]; // seconds in the current range
            }
            m[8] = static_cast<std::uint16_t>(m[8] + 3 - line); // active energy pulses
            m[9] = static_cast<std::uint16_t>(m[9] + 1);        // reactive energy pulses
        }
    }
}

void TSimModule::UpdateTemperatures() {
    // Tenths of a degree; the last input sits in a freezer to show negative values.
    static constexpr std::array<int, MaxTemperatures> Base{253, 218, 1200, -200};
    const bool whole = InWholeDegrees(S);
    for (int i = 0; i < S.Model.Temperatures; ++i) {
        const int tenths = Base[i] + Triangle(Steps + 15 * i, 60, 20) - 10;
        const int value = whole ? tenths / 10 : tenths;
        S.Live.Temperature[i] = static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
    }
}

} // namespace vdsim
