#include "app/SendConfigTasks.h"
#include "classlib/Dialogs.h"
#include "classlib/Translation.h"
#include "model/ChannelGroups.h"
#include "model/ChannelItems.h"
#include "model/RemoteIO.h"

using namespace SendConfigNumbers;

namespace {

constexpr quint16 kBaudRegister = 513;
constexpr quint16 kAddressRegister = 514;
constexpr quint16 kFormatRegister = 515;
constexpr quint16 kTimeoutRegister = 527;
constexpr quint16 kNameRegister = 519;
constexpr int kNameRegisters = 8;
constexpr quint16 kInputCounterCoil = 65;
constexpr quint16 kAlarmOutputCoil = 129;
constexpr quint16 kPresetRegister = 1;
constexpr quint16 kAnalogInputEnableCoil = 203;
constexpr quint16 kAnalogInputMaxRegister = 113;
constexpr quint16 kAnalogInputMinRegister = 109;
constexpr quint16 kAnalogInputFunctionRegister = 117;
constexpr quint16 kAnalogOutputEnableCoil = 209;
constexpr quint16 kAnalogOutputMaxRegister = 305;
constexpr quint16 kThermocoupleRegister = 530;
constexpr int kThermocoupleModel = 63;
constexpr int kMixedInputModel = 128;
// Limits of an analog input's upper limit, with and without analog outputs on the module.
constexpr int kInputMaxWithOutputs = 4001;
constexpr int kInputMaxAlone = 65536;

void Error(const char* text) {
    MessageDlg(_(text), TMsgDlgType::mtError, mbOK);
}

class TTaskList {
public:
    explicit TTaskList(const TRemoteIO& device) : m_slave(quint8(device.Comm()->CurrentAddress())) {}

    void Coil(quint16 number, bool on) { Add(5, number, on ? 0xFF : 0x00, 0x00); }
    void Register(quint16 number, int value) {
        Add(6, number, quint8((value >> 8) & 0xFF), quint8(value & 0xFF));
    }
    TSendConfigTask& Last() { return m_tasks.back(); }
    std::vector<TSendConfigTask> Take() { return std::move(m_tasks); }

private:
    void Add(quint8 function, quint16 number, quint8 high, quint8 low) {
        TSendConfigTask task;
        task.FunctionCode = function;
        task.Slave = m_slave;
        task.Number = number;
        task.ValueHigh = high;
        task.ValueLow = low;
        m_tasks.push_back(task);
    }

    quint8 m_slave;
    std::vector<TSendConfigTask> m_tasks;
};

int BaudFromOrdinal(TBaudrate baud) {
    switch (baud) {
    case TBaudrate::BR_4800:
        return 4800;
    case TBaudrate::BR_9600:
        return 9600;
    case TBaudrate::BR_19200:
        return 19200;
    case TBaudrate::BR_38400:
        return 38400;
    case TBaudrate::BR_57600:
        return 57600;
    }
    return 9600;
}

int SerialFormatCode(TParity parity, TStopbit stopbit) {
    if (parity == TParity::Even && stopbit == TStopbit::SB_1)
        return 0;
    if (parity == TParity::Odd && stopbit == TStopbit::SB_1)
        return 1;
    if (parity == TParity::None && stopbit == TStopbit::SB_2)
        return 2;
    if (parity == TParity::None && stopbit == TStopbit::SB_1)
        return 3;
    return 0;
}

// The name in Latin-1, padded with blanks to the sixteen characters of the eight name registers.
QByteArray PaddedName(const QString& name) {
    QByteArray bytes = name.left(kNameRegisters * 2).toLatin1();
    bytes.append(QByteArray(kNameRegisters * 2 - bytes.size(), ' '));
    return bytes;
}

void AddCalibrationTasks(TTaskList& list, const TCalibrationState& c) {
    const bool inputMode = c.CalibrationMode == 0 || c.CalibrationMode == 1;
    if (c.CalibrationStep == 1 && inputMode && c.CalibrationChannel == 0)
        list.Coil(201, true);
    if (c.CalibrationStep == 0 && inputMode && c.CalibrationChannel == 0)
        list.Coil(202, true);
    if (c.CalibrationStep == 1 && c.CalibrationMode == 1 && c.CalibrationChannel == 1)
        list.Coil(207, true);
    if (c.CalibrationStep == 0 && c.CalibrationMode == 1 && c.CalibrationChannel == 1)
        list.Coil(208, true);
    if (c.CalibrationOutput == 0)
        list.Coil(211, true);
    if (c.CalibrationOutput == 1)
        list.Coil(212, true);
}

void AddConfigurationTasks(TTaskList& list, TRemoteIO& device) {
    const TRemoteIOComm& comm = *device.Comm();
    list.Register(kBaudRegister, int(comm.Baudrate()));
    list.Register(kAddressRegister, comm.Address());
    list.Register(kFormatRegister, SerialFormatCode(comm.Parity(), comm.Stopbit()));
    list.Register(kTimeoutRegister, device.GetDeviceTimeout());
    const QByteArray name = PaddedName(device.Information()->DeviceName());
    for (int r = 0; r < kNameRegisters; ++r)
        list.Register(quint16(kNameRegister + r), quint8(name[2 * r]) * 256 + quint8(name[2 * r + 1]));

    const int model = device.Information()->ModelCode();
    if (TDigitalInput* inputs = device.DigitalInput()) {
        const int n = inputs->GetCount();
        if (model != kMixedInputModel)
            for (int i = 0; i < n; ++i)
                list.Coil(quint16(kInputCounterCoil + i),
                          inputs->Channels()->ItemAs<TChannelDigitalInput>(i)->InputFunction() !=
                              TDigitalInputFunction::Normal);
        if (TDigitalOutput* outputs = device.DigitalOutput())
            // Every model with both groups has at least as many inputs as outputs.
            for (int i = 0; i < outputs->GetCount() && i < n; ++i)
                list.Coil(quint16(kAlarmOutputCoil + i),
                          inputs->Channels()->ItemAs<TChannelDigitalInput>(i)->EnabledAlarmOutput());
        for (int i = 0; i < n; ++i)
            list.Register(quint16(kPresetRegister + i),
                          inputs->Channels()->ItemAs<TChannelDigitalInput>(i)->Preset());
    }
    if (TAnalogicInput* inputs = device.AnalogicInput()) {
        const int n = inputs->GetCount();
        for (int i = 0; i < n; ++i)
            list.Coil(quint16(kAnalogInputEnableCoil + i), inputs->GetChannel(i)->Enabled());
        for (int i = 0; i < n; ++i) {
            const TChannelAnalogicInput* ch = inputs->GetChannel(i);
            list.Register(quint16(kAnalogInputMaxRegister + i), ch->LimitMax());
            list.Register(quint16(kAnalogInputMinRegister + i), ch->LimitMin());
            if (!device.AnalogicOutput())
                list.Register(quint16(kAnalogInputFunctionRegister + i),
                              ch->InputFunction() == TAnalogicInputFunction::ifTensao10v ? 1 : 2);
        }
    }
    if (TAnalogicOutput* outputs = device.AnalogicOutput()) {
        const int n = outputs->GetCount();
        for (int i = 0; i < n; ++i)
            list.Coil(quint16(kAnalogOutputEnableCoil + i), outputs->GetChannel(i)->Enabled());
        for (int i = 0; i < n; ++i) {
            const int limit = outputs->GetChannel(i)->LimitMax();
            if (limit >= MinOutputLimit && limit <= MaxOutputLimit)
                list.Register(quint16(kAnalogOutputMaxRegister + i), limit);
            else
                Error(N_("Out of range value."));
        }
    }
    if (model == kThermocoupleModel)
        if (TTemperatureInput* temperature = device.TemperatureInput()) {
            const int junction = temperature->TermoparJunta() == TRemoteJunta::Sem_Junta_Fria ? 0x80 : 0x00;
            list.Register(kThermocoupleRegister, junction | int(temperature->Termopar()));
            list.Last().ReadBeforeWrite = 1;
        }
}

} // namespace

TLineSettings DeviceLineSettings(const TRemoteIO& device) {
    const TRemoteIOComm& comm = *device.Comm();
    TLineSettings s;
    s.BaudRate = BaudFromOrdinal(comm.Baudrate());
    s.StopBits = comm.Stopbit() == TStopbit::SB_2 ? 2 : 1;
    s.Parity = comm.Parity() == TParity::Odd ? 1 : comm.Parity() == TParity::Even ? 2 : 0;
    return s;
}

bool CheckSendConfig(const TRemoteIO& device) {
    bool ok = true;
    if (const TDigitalInput* inputs = device.DigitalInput())
        for (int i = 0; i < inputs->GetCount(); ++i) {
            const qint32 preset = inputs->Channels()->ItemAs<TChannelDigitalInput>(i)->Preset();
            if (preset < 0 || preset > MaxPreset) {
                Error(N_("Out of range."));
                ok = false;
            }
        }
    if (const TAnalogicInput* inputs = device.AnalogicInput()) {
        const int maxLimit = device.AnalogicOutput() ? kInputMaxWithOutputs : kInputMaxAlone;
        for (int i = 0; i < inputs->GetCount(); ++i) {
            const TChannelAnalogicInput* ch = inputs->GetChannel(i);
            bool channelOk = true;
            if (ch->LimitMax() <= ch->LimitMin()) {
                Error(N_("Min is greater that max "));
                channelOk = false;
            }
            if (ch->LimitMax() > maxLimit || ch->LimitMin() < 0) {
                Error(N_("Out of range"));
                channelOk = false;
            }
            if (!channelOk) {
                ok = false;
                break;
            }
        }
    }
    return ok;
}

TSendConfigPlan BuildSendConfigTasks(TRemoteIO& device, const TCalibrationState& calibration) {
    TSendConfigPlan plan;
    TTaskList list(device);
    if (calibration.Calibrating) {
        AddCalibrationTasks(list, calibration);
    } else {
        plan.LineSettings = DeviceLineSettings(device);
        AddConfigurationTasks(list, device);
    }
    list.Register(StoreCommand, StoreValue);
    plan.Tasks = list.Take();
    return plan;
}
