#include "comm/CommunicationThread.h"
#include "classlib/Dialogs.h"
#include "classlib/Translation.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "model/DeviceModelTable.h"
#include "model/IOClasses.h"
#include <QThread>
#include <algorithm>

namespace {

// Wire addresses of the information block and the read-back steps.
constexpr int InfoBlockAddress = 512;
constexpr int InfoBlockCount = 17;

enum class TStepGroup { DigitalInputs, AnalogInputs, AnalogOutputs, Thermocouple };

struct TReadStep {
    int function;
    int address;
    TStepGroup group;
    bool timesFactor;
};

// Steps 0 to 9 of the read-back, in the order they are sent.
constexpr TReadStep ReadSteps[] = {
    {1, 64, TStepGroup::DigitalInputs, false},  {1, 128, TStepGroup::DigitalInputs, false},
    {3, 0, TStepGroup::DigitalInputs, false},   {1, 202, TStepGroup::AnalogInputs, false},
    {3, 112, TStepGroup::AnalogInputs, true},   {3, 108, TStepGroup::AnalogInputs, true},
    {4, 116, TStepGroup::AnalogInputs, false},  {3, 304, TStepGroup::AnalogOutputs, false},
    {1, 208, TStepGroup::AnalogOutputs, false}, {3, 529, TStepGroup::Thermocouple, false},
};

constexpr int ThermocoupleModel = 63;

// Channel count of the step's group on the device, or 0 when the step does not apply.
int StepQuantity(const TReadStep& step, const TRemoteIO& device) {
    switch (step.group) {
    case TStepGroup::DigitalInputs:
        return device.DigitalInput() ? device.DigitalInput()->GetCount() : 0;
    case TStepGroup::AnalogInputs:
        return device.AnalogicInput() ? device.AnalogicInput()->GetCount() : 0;
    case TStepGroup::AnalogOutputs:
        return device.AnalogicOutput() ? device.AnalogicOutput()->GetCount() : 0;
    case TStepGroup::Thermocouple:
        return device.Information()->ModelCode() == ThermocoupleModel ? 1 : 0;
    }
    return 0;
}

bool SendRead(TModbusSerialTCPMaster& master, int function, int slave, int address, int quantity) {
    switch (function) {
    case 1:
        return master.ReadCoils(slave, address, quantity);
    case 2:
        return master.ReadDiscreteInputs(slave, address, quantity);
    case 3:
        return master.ReadHoldingRegisters(slave, address, quantity);
    case 4:
        return master.ReadInputRegisters(slave, address, quantity);
    default:
        return false;
    }
}

// Serial format register: parity, then stop bits. A code the module does not define reads as 0.
void ApplySerialFormat(TRemoteIOComm& comm, int format) {
    using IOClasses::TParity;
    using IOClasses::TStopbit;
    switch (format) {
    case 1:
        comm.SetParity(TParity::Odd);
        comm.SetStopbit(TStopbit::SB_1);
        break;
    case 2:
        comm.SetParity(TParity::None);
        comm.SetStopbit(TStopbit::SB_2);
        break;
    case 3:
        comm.SetParity(TParity::None);
        comm.SetStopbit(TStopbit::SB_1);
        break;
    default:
        comm.SetParity(TParity::Even);
        comm.SetStopbit(TStopbit::SB_1);
        break;
    }
}

constexpr int BaudrateOrdinals = 5; // BR_4800 to BR_57600
constexpr int InputFunctionVoltage = 1;
// The thermocouple type is read from bits 0 to 2, which always name one of the eight types.
constexpr int ThermocoupleTypeBits = 0x07;

// The traffic log line for a register value the search did not store.
QString RefusedLine(int wireAddress, int value, const char* what) {
    return QStringLiteral("Register %1 held %2: %3; the default is kept.")
        .arg(wireAddress)
        .arg(value)
        .arg(QLatin1String(what));
}

// Two name characters per register, the first in the high byte; anything unprintable becomes a blank.
QString DecodeDeviceName(const std::vector<int>& info) {
    QString name;
    for (int k = 6; k <= 13; ++k)
        for (int ch : {(info[size_t(k)] >> 8) & 0xFF, info[size_t(k)] & 0xFF})
            name += (ch < 32 || ch >= 128) ? QChar(u' ') : QChar(char16_t(ch));
    return name;
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Device search

TFindSlaveThread::TFindSlaveThread(bool createSuspended, TModbusSerialTCPMaster* master, TFindSlaveHost* host)
    : TThread(createSuspended), m_master(master), m_host(host) {
    FindOptions.Reset();
    OnTerminate = [this](TThread*) { OnThreadTerminate(); };
    SetFreeOnTerminate(true);
}

void TFindSlaveThread::Execute() {
    if (FindOptions.UseFactoryDefault) {
        // The factory settings of every module; they stay after the search.
        m_master->SerialPort->BaudRate = 9600;
        m_master->SerialPort->DataBits = 8;
        m_master->SerialPort->StopBits = 1;
        m_master->SerialPort->Parity = 0;
    }
    if (!m_master->Connect()) {
        m_result = 1;
        return;
    }
    const int savedTimeout = m_master->Timeout;
    m_master->Timeout = SearchTimeoutMs;
    if (FindOptions.UseFactoryDefault) {
        ReadDevice(FactoryAddress, 2);
    } else {
        for (int address = FindOptions.BeginAddress; address <= FindOptions.EndAddress; ++address) {
            if (Terminated())
                break;
            Synchronize([this] { ShowProgress(); });
            ReadDevice(address, 1);
        }
    }
    m_master->Timeout = savedTimeout;
    m_result = 0;
}

void TFindSlaveThread::TerminateRequested() {
    m_master->Abort();
}

void TFindSlaveThread::ReadDevice(int address, int factor) {
    // No answer: no module at this address.
    if (!m_master->ReadHoldingRegisters(address, InfoBlockAddress, InfoBlockCount))
        return;
    m_answeredAt = address;
    m_info.assign(InfoBlockCount, 0);
    for (int k = 0; k < InfoBlockCount; ++k)
        m_info[size_t(k)] = m_master->Registers.GetValue(k);
    Synchronize([this] { ApplyInfo(); });
    if (!m_device)
        return;
    for (int step = 0; step < int(std::size(ReadSteps)); ++step) {
        const TReadStep& s = ReadSteps[step];
        const int n = StepQuantity(s, *m_device);
        if (n <= 0)
            continue;
        // A cancelled search reads nothing more; the steps it left keep their defaults, and the device
        // says so.
        if (Terminated()) {
            ++m_unreadSteps;
            Synchronize([this] { m_device->SetNotFullyRead(true); });
            return;
        }
        m_step = step;
        if (SendRead(*m_master, s.function, address, s.address, s.timesFactor ? n * factor : n)) {
            Synchronize([this] { ApplyStep(); });
            continue;
        }
        // That part of the device keeps its defaults; the log says which read failed and why, and the
        // device and the search's end say that not everything was read.
        ++m_unreadSteps;
        const QString line =
            QStringLiteral("Address %1, step %2: %3").arg(address).arg(step).arg(m_master->ErrorText());
        Synchronize([this, &line] {
            m_host->AddLogLine(line);
            m_device->SetNotFullyRead(true);
        });
    }
}

void TFindSlaveThread::ApplyInfo() {
    const std::vector<int>& r = m_info;
    TRemoteIONetwork* network = m_host->Network();
    // Requests go to where the module answered, whatever its address register says: a module whose
    // register names another module's address, or one that never answers, must stay a device of its own.
    TRemoteIO* device = network->FindByAddress(m_answeredAt);
    if (!device) {
        device = network->AddRemoteIO();
        device->Comm()->SetCurrentAddress(m_answeredAt);
        // Until the register is taken, the device is configured to stay where it is; a register value
        // the model refuses then leaves it so.
        device->Comm()->SetAddress(m_answeredAt);
    }
    TRemoteIOComm* comm = device->Comm();
    // The model's own refusal would not say which of the modules found holds the value.
    if (r[1] < TRemoteIOComm::MinAddress || r[1] > TRemoteIOComm::MaxAddress)
        MessageDlg(_("The remote I/O at address %1 (model %2) holds the address %3.")
                           .arg(QString::number(m_answeredAt), DeviceModelText(r[5]), QString::number(r[1])) +
                       QLatin1Char('\n') + _("Out of range value. Min=") +
                       QString::number(TRemoteIOComm::MinAddress) + _(", Max=") +
                       QString::number(TRemoteIOComm::MaxAddress),
                   TMsgDlgType::mtError, mbOK);
    else
        comm->SetAddress(r[1]);
    // A rate beyond the table names no setting at all: the device keeps its default and the log says
    // what the module held. Every other value goes through the model's write routines, which show
    // their own message for a value they refuse.
    if (r[0] < 0 || r[0] >= BaudrateOrdinals)
        m_host->AddLogLine(RefusedLine(InfoBlockAddress, r[0], "no baud rate"));
    else
        comm->SetBaudrate(IOClasses::TBaudrate(r[0]));
    device->Information()->SetFirmwareVersion(r[4]);
    ApplySerialFormat(*comm, r[2]);
    // A code the module does not define reads as 1 s.
    device->SetTimeoutFromDevice(r[14]);
    device->Information()->SetDeviceName(DecodeDeviceName(r));
    device->Information()->SetModelCode(r[5]);
    device->Information()->SetRecordFlashCounter(r[15] * 256 + r[16]);
    m_device = device;
    RefreshOrRescan();
    device->SetNotFullyRead(false);
    device->SetModified(false);
}

void TFindSlaveThread::ApplyStep() {
    TRemoteIO* device = m_device;
    const TCoilArray& coils = m_master->Coils;
    const TRegisterArray& regs = m_master->Registers;
    using IOClasses::TAnalogicInputFunction;
    using IOClasses::TDigitalInputFunction;
    auto eachInput = [&](auto&& apply) {
        if (TDigitalInput* g = device->DigitalInput())
            for (int i = 0; i < g->GetCount(); ++i)
                apply(*g->GetChannel(i), i);
    };
    auto eachAnalogIn = [&](auto&& apply) {
        if (TAnalogicInput* g = device->AnalogicInput())
            for (int i = 0; i < g->GetCount(); ++i)
                apply(*g->GetChannel(i), i);
    };
    auto eachAnalogOut = [&](auto&& apply) {
        if (TAnalogicOutput* g = device->AnalogicOutput())
            for (int i = 0; i < g->GetCount(); ++i)
                apply(*g->GetChannel(i), i);
    };
    const auto isCounter = [](const TChannelDigitalInput& c) {
        return c.InputFunction() == TDigitalInputFunction::Counter;
    };
    switch (m_step) {
    case 0:
        eachInput([&](TChannelDigitalInput& c, int i) {
            c.SetInputFunction(coils.GetValue(i) == 1 ? TDigitalInputFunction::Counter
                                                      : TDigitalInputFunction::Normal);
        });
        break;
    case 1:
        eachInput([&](TChannelDigitalInput& c, int i) {
            if (isCounter(c))
                c.SetEnabledAlarmOutput(coils.GetValue(i) != 0);
        });
        break;
    case 2:
        eachInput([&](TChannelDigitalInput& c, int i) {
            if (isCounter(c))
                c.SetPreset(regs.GetValue(i));
        });
        break;
    case 3:
        eachAnalogIn([&](TChannelAnalogicInput& c, int i) { c.SetEnabled(coils.GetValue(i) != 0); });
        break;
    case 4:
        eachAnalogIn([&](TChannelAnalogicInput& c, int i) { c.SetLimitMax(regs.GetValue(i)); });
        break;
    case 5:
        eachAnalogIn([&](TChannelAnalogicInput& c, int i) { c.SetLimitMin(regs.GetValue(i)); });
        break;
    case 6:
        eachAnalogIn([&](TChannelAnalogicInput& c, int i) {
            c.SetInputFunction(regs.GetValue(i) == InputFunctionVoltage
                                   ? TAnalogicInputFunction::ifTensao10v
                                   : TAnalogicInputFunction::ifCorrente0to20ma);
        });
        break;
    case 7:
        eachAnalogOut([&](TChannelAnalogicOutput& c, int i) { c.SetLimitMax(regs.GetValue(i)); });
        break;
    case 8:
        eachAnalogOut([&](TChannelAnalogicOutput& c, int i) { c.SetEnabled(coils.GetValue(i) != 0); });
        break;
    case 9:
        if (TTemperatureInput* t = device->TemperatureInput();
            t && device->Information()->ModelCode() == ThermocoupleModel) {
            const int v = regs.GetValue(0);
            t->SetTermoparJunta((v & 0x80) ? IOClasses::TRemoteJunta::Sem_Junta_Fria
                                           : IOClasses::TRemoteJunta::Com_Junta_Fria);
            t->SetTermopar(IOClasses::TRemoteTermopar(v & ThermocoupleTypeBits));
        }
        break;
    default:
        break;
    }
    RefreshOrRescan();
    device->SetModified(false);
}

void TFindSlaveThread::ShowProgress() {
    m_host->ShowSearchProgress();
}

void TFindSlaveThread::OnThreadTerminate() {
    QString text;
    if (m_result == 1) {
        text = m_master->ErrorText();
    } else {
        m_master->Disconnect();
        m_host->RefreshStatusBar();
        text = m_unreadSteps == 0 ? _("Find ok") : _("Find ended, some settings not read.");
    }
    m_host->SetStatusText(text);
    m_host->SearchEnded();
}

// ---------------------------------------------------------------------------------------------------
// Configuration writer

TSaveConfigThread::TSaveConfigThread(bool createSuspended, TModbusSerialTCPMaster* master,
                                     TSaveConfigHost* host)
    : TThread(createSuspended), m_master(master), m_host(host) {
    OnTerminate = [this](TThread*) { OnThreadTerminate(); };
}

TSaveConfigThread::~TSaveConfigThread() = default;

TCommunicationTask* TSaveConfigThread::AddTask() {
    m_tasks.push_back(std::make_unique<TCommunicationTask>());
    return m_tasks.back().get();
}

bool TSaveConfigThread::SendTask(const TCommunicationTask& task) {
    const int slave = FindOptions.UseFactoryDefault ? TFindSlaveThread::FactoryAddress : task.Slave;
    const int address = task.Number - 1;
    int value = task.Value();
    switch (task.FunctionCode) {
    case 5:
        return m_master->WriteSingleCoil(slave, address, value);
    case 6:
        if (task.ReadBeforeWrite) {
            // What is read is not used; it only tells which value the module takes. A read of no
            // register is no valid request (every module refuses it), so at least one is asked for;
            // otherwise the failed read would always replace the value by its high byte.
            if (m_master->ReadHoldingRegisters(slave, address, std::max<int>(task.Count, 1)))
                value = value == 1 ? (value | 0x100) : (value & ~0x100);
            else
                value = task.ValueHigh;
        }
        return m_master->WriteSingleRegister(slave, address, value);
    default:
        return false;
    }
}

void TSaveConfigThread::Execute() {
    if (!m_master->Connect()) {
        m_result = 1;
        return;
    }
    for (size_t i = 0; i < m_tasks.size(); ++i) {
        m_index = int(i);
        m_current = m_tasks[i].get();
        m_lastOk = SendTask(*m_current);
        if (!m_lastOk) {
            m_result = 2;
            return;
        }
        if (m_master->Pause > 0)
            QThread::msleep(ulong(m_master->Pause));
        Synchronize([this] { ShowProgress(); });
    }
    FindOptions.UseFactoryDefault = false;
    m_result = 0;
}

void TSaveConfigThread::ShowProgress() {
    m_host->ShowSaveProgress(_("Saving ") + QString::number(m_index + 1) + _(" of ") +
                             QString::number(GetTaskCount()));
}

void TSaveConfigThread::OnThreadTerminate() {
    QString text;
    if (m_result == 1) {
        text = m_master->ErrorText();
    } else if (m_result == 2) {
        m_master->Disconnect();
        text = m_master->ErrorText();
    } else {
        m_master->Disconnect();
        if (!m_host->CalibrationVisible() && Device) {
            Device->Comm()->SetCurrentAddress(NewAddress);
            Device->Comm()->SetAddress(NewAddress);
            Device->SetModified(false);
            // The module now holds everything the device shows.
            Device->SetNotFullyRead(false);
            TSerialComm& port = *m_master->SerialPort;
            const auto adopt = [&](auto& setting, auto value, const char* message) {
                if (setting != value) {
                    MessageDlg(_(message), TMsgDlgType::mtInformation, mbOK);
                    setting = value;
                    m_host->RefreshStatusBar();
                }
            };
            adopt(port.BaudRate, NewBaudRate, N_("Baudrate automaticaly changed"));
            adopt(port.StopBits, NewStopBits, N_("Stopbit automaticaly changed"));
            adopt(port.Parity, NewParity, N_("Parity automaticaly changed"));
        }
        text = _("Save config ok.");
    }
    m_host->SetStatusText(text);
    m_tasks.clear();
    m_host->CloseSaveProgress();
}
