#pragma once
// Enumerations of the device model. Their value names are what the property inspector lists and
// what the settings are called on screen, so they keep the module's own spelling.
#include <QObject>

namespace IOClasses {
Q_NAMESPACE

// Ordinal = the module's baud-rate register value.
enum class TBaudrate { BR_4800, BR_9600, BR_19200, BR_38400, BR_57600 };
Q_ENUM_NS(TBaudrate)

enum class TParity { None, Odd, Even };
Q_ENUM_NS(TParity)

enum class TStopbit { SB_1, SB_2 };
Q_ENUM_NS(TStopbit)

// Reply timeout of a module; TM_Sem_Timeout means none.
enum class TRemoteIOTimeOut {
    TM__050_MS,
    TM__100_MS,
    TM__150_MS,
    TM__200_MS,
    TM__250_MS,
    TM__300_MS,
    TM__350_MS,
    TM__400_MS,
    TM__450_MS,
    TM__500_MS,
    TM__550_MS,
    TM__600_MS,
    TM__650_MS,
    TM__700_MS,
    TM__750_MS,
    TM__800_MS,
    TM__850_MS,
    TM__900_MS,
    TM__950_MS,
    TM_001_S,
    TM_002_S,
    TM_003_S,
    TM_004_S,
    TM_005_S,
    TM_006_S,
    TM_007_S,
    TM_008_S,
    TM_009_S,
    TM_010_S,
    TM_011_S,
    TM_012_S,
    TM_030_S,
    TM_060_S,
    TM_120_S,
    TM_Sem_Timeout
};
Q_ENUM_NS(TRemoteIOTimeOut)

// Thermocouple type of a temperature module (model 63).
enum class TRemoteTermopar { Tipo_J, Tipo_K, Tipo_T, Tipo_E, Tipo_S, Tipo_R, Tipo_B, Tipo_N };
Q_ENUM_NS(TRemoteTermopar)

// Cold-junction compensation of a temperature module.
enum class TRemoteJunta { Com_Junta_Fria, Sem_Junta_Fria };
Q_ENUM_NS(TRemoteJunta)

enum class TDigitalInputFunction { Normal, Counter, Mixed };
Q_ENUM_NS(TDigitalInputFunction)

// 0 to 10 V, or 0 to 20 mA.
enum class TAnalogicInputFunction { ifTensao10v, ifCorrente0to20ma };
Q_ENUM_NS(TAnalogicInputFunction)

} // namespace IOClasses

using IOClasses::TAnalogicInputFunction;
using IOClasses::TBaudrate;
using IOClasses::TDigitalInputFunction;
using IOClasses::TParity;
using IOClasses::TRemoteIOTimeOut;
using IOClasses::TRemoteJunta;
using IOClasses::TRemoteTermopar;
using IOClasses::TStopbit;
