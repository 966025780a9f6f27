#include "tools/sim/StateText.h"

#include "tools/sim/SimBus.h"

#include <sstream>

namespace vdsim {

namespace {

template <class Array> std::string Bits(const Array& values, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += values[i] ? '1' : '0';
    }
    return text;
}

template <class Array> std::string Numbers(const Array& values, int count, bool isSigned = false) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += (i ? " " : "") +
                (isSigned ? std::to_string(static_cast<std::int16_t>(values[i])) : std::to_string(values[i]));
    }
    return text;
}

std::string Name(const TSimConfig& config) {
    std::string text;
    for (const char c : config.Name) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte >= 32 && byte < 127 ? c : '.';
    }
    return '"' + text + '"';
}

// "value" when the flash holds the same, else "pending -> stored".
template <class T> std::string Both(const T& pending, const T& stored) {
    std::ostringstream out;
    out << pending;
    if (!(pending == stored)) {
        out << " (stored " << stored << ")";
    }
    return out.str();
}

} // namespace

std::string DescribeModule(std::size_t index, const TSimModuleState& s) {
    const TSimModel& m = s.Model;
    const TSimConfig& p = s.Pending;
    const TSimConfig& st = s.Stored;
    const TSimLive& l = s.Live;
    std::ostringstream out;
    out << "module " << index << " at " << s.ActiveAddress << ": model " << m.Code << " (" << m.Label
        << ") DI " << m.DigitalInputs << " DO " << m.DigitalOutputs << " AI " << m.AnalogInputs << " AO "
        << m.AnalogOutputs << " TEMP " << m.Temperatures << "\n";
    out << "  line " << LineText(ModuleLine(s)) << ", factory answer " << (s.FactoryAnswer ? "on" : "off")
        << ", firmware " << s.Firmware << ", flash counter " << s.FlashCounter << ", fault "
        << FaultText(s.Fault) << "\n";
    out << "  config" << (p == st ? " (stored)" : " (not stored)") << ": address "
        << Both(p.Address, st.Address) << ", baud " << Both(p.Baudrate, st.Baudrate) << ", format "
        << Both(p.Format, st.Format) << ", timeout " << Both(p.Timeout, st.Timeout) << ", name "
        << Both(Name(p), Name(st)) << "\n";
    const int di = m.DigitalInputs;
    if (di > 0) {
        out << "  inputs: counts " << Both(Bits(p.InputCounts, di), Bits(st.InputCounts, di)) << ", link "
            << Both(Bits(p.AlarmLink, di), Bits(st.AlarmLink, di)) << ", preset "
            << Both(Numbers(p.Preset, di), Numbers(st.Preset, di)) << "\n";
        if (m.Code == ModelWordInputs) {
            out << "  input words " << Numbers(l.WordInput, di) << ", status " << l.WordStatus
                << ", register 0 " << Both(p.WordInputSpare, st.WordInputSpare) << "\n";
        } else {
            out << "  input state " << Bits(l.InputState, di) << ", pulse counters "
                << Numbers(l.PulseCounter, di) << "\n";
        }
    }
    if (m.DigitalOutputs > 0) {
        out << "  outputs " << Bits(l.OutputState, m.DigitalOutputs);
        if (m.Code == ModelWordOutputs) {
            out << ", Inverter " << (l.NamedOutput[0] == 0 ? "on" : "off") << ", Alarmes "
                << (l.NamedOutput[1] == 0 ? "on" : "off");
        }
        out << "\n";
    }
    const int ai = m.AnalogInputs;
    if (ai > 0) {
        out << "  analog inputs: enabled " << Both(Bits(p.AnalogEnabled, ai), Bits(st.AnalogEnabled, ai))
            << ", min " << Both(Numbers(p.LimitMin, ai), Numbers(st.LimitMin, ai)) << ", max "
            << Both(Numbers(p.LimitMax, ai), Numbers(st.LimitMax, ai)) << ", function "
            << Both(Numbers(p.Function, ai), Numbers(st.Function, ai)) << ", value "
            << Numbers(l.AnalogValue, ai) << "\n";
    }
    const int ao = m.AnalogOutputs;
    if (ao > 0) {
        out << "  analog outputs: enabled " << Both(Bits(p.OutputEnabled, ao), Bits(st.OutputEnabled, ao))
            << ", limit " << Both(Numbers(p.OutputLimit, ao), Numbers(st.OutputLimit, ao)) << ", value "
            << Numbers(l.OutputValue, ao) << "\n";
    }
    if (m.Temperatures > 0) {
        out << "  temperatures " << Numbers(l.Temperature, m.Temperatures, true);
        if (m.Code == ModelThermocouple) {
            out << ", thermocouple " << Both(p.Thermocouple, st.Thermocouple);
        }
        out << "\n";
    }
    if (m.Code == ModelEngineGateway) {
        out << "  engine " << Numbers(l.Engine, 9) << "\n";
    }
    if (m.Code == ModelEnergyMeter) {
        out << "  meter line 1: " << Numbers(l.Meter[0], 12) << "; line 2 (at " << s.ActiveAddress + 2
            << "): " << Numbers(l.Meter[1], 12) << "\n";
    }
    bool anyCalibration = false;
    std::ostringstream calibrations;
    for (int i = 0; i < CalibrationCommands; ++i) {
        if (s.Calibrations[i] > 0) {
            calibrations << (anyCalibration ? ", " : "") << CalibrationNames[i] << " x" << s.Calibrations[i];
            anyCalibration = true;
        }
    }
    if (anyCalibration) {
        out << "  calibrations: " << calibrations.str() << "\n";
    }
    out << "  requests " << s.Counters.Requests << ", exceptions " << s.Counters.Exceptions << ", stores "
        << s.Counters.Stores << ", line mismatches " << s.Counters.LineMismatches << "\n";
    return out.str();
}

} // namespace vdsim
