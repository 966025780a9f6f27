#include "comm/SupervisionThread.h"
#include "classlib/StringGrid.h"
#include "classlib/Translation.h"
#include "comm/ModbusErrors.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "model/DeviceModelTable.h"
#include "model/IOClasses.h"
#include <QLocale>
#include <QThread>
#include <chrono>

namespace {

constexpr int StatusPanel = 3;
constexpr int OkPanel = 4;
constexpr int ErrorPanel = 5;
constexpr int CanRows = 9;
constexpr int TemperatureRows = 4;

// Millisecond tick count; differences are taken unsigned, so the wrap after 49 days does no harm.
quint32 TickCount() {
    using namespace std::chrono;
    return quint32(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool Due(const TCommunicationTask& task, quint32 now) {
    // A task that was never polled is due at once.
    return task.LastTick == 0 || quint32(now - task.LastTick) > quint32(std::max(task.Period, 0));
}

bool SendRead(TModbusSerialTCPMaster& master, const TCommunicationTask& task) {
    const int address = task.Number - 1;
    switch (task.FunctionCode) {
    case 1:
        return master.ReadCoils(task.Slave, address, task.Count);
    case 2:
        return master.ReadDiscreteInputs(task.Slave, address, task.Count);
    case 3:
        return master.ReadHoldingRegisters(task.Slave, address, task.Count);
    case 4:
        return master.ReadInputRegisters(task.Slave, address, task.Count);
    default:
        return false;
    }
}

int GroupCount(const TChannelIO* group) {
    return group ? group->GetCount() : 0;
}

// Writes a cell of a data row unless that row is being edited or lies outside the grid.
class TCellWriter {
public:
    TCellWriter(TSupervisionHost& host, TDiagnosticGrid which)
        : m_grid(host.Grid(which)), m_editingRow(host.EditingRow(which)) {}
    explicit operator bool() const { return m_grid != nullptr; }
    TStringGrid* Grid() const { return m_grid; }
    bool Writable(int col, int row) const {
        return m_grid && row != m_editingRow && col >= 0 && col < m_grid->ColCount() && row >= 0 &&
               row < m_grid->RowCount();
    }
    void Set(int col, int row, const QString& text) const {
        if (Writable(col, row) && m_grid->Cells(col, row) != text)
            m_grid->SetCells(col, row, text);
    }

private:
    TStringGrid* m_grid;
    int m_editingRow;
};

void Repaint(TSupervisionHost& host, TDiagnosticGrid which) {
    if (TStringGrid* grid = host.Grid(which))
        grid->InvalidateGrid();
}

// Temperatures of a model-63 module set to S, R or B come in whole degrees, all others in tenths.
bool WholeDegrees(const TRemoteIO& device) {
    using IOClasses::TRemoteTermopar;
    const TTemperatureInput* t = device.TemperatureInput();
    if (!t || device.Information()->ModelCode() != ModelCode::Thermocouple)
        return false;
    const TRemoteTermopar type = t->Termopar();
    return type == TRemoteTermopar::Tipo_S || type == TRemoteTermopar::Tipo_R ||
           type == TRemoteTermopar::Tipo_B;
}

QString TemperatureText(int registerValue, bool wholeDegrees) {
    const int v = qint16(quint16(registerValue));
    const double x = wholeDegrees ? double(v) : v / 10.0;
    // One decimal with the locale's separator and no thousands grouping.
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(x, 'f', 1);
}

// The number shown in a cell; a cell that holds no number counts as -1.
int CellNumber(const TStringGrid& grid, int col, int row) {
    bool ok = false;
    const int v = grid.Cells(col, row).trimmed().toInt(&ok);
    return ok ? v : -1;
}

QString NodeText(const TCollectionItemNode& channel) {
    return channel.Node() ? channel.Node()->Text() : channel.ItemName();
}

} // namespace

TSupervisionThread::TSupervisionThread(bool createSuspended, TModbusSerialTCPMaster* master,
                                       TSupervisionHost* host)
    : TThread(createSuspended), m_master(master), m_host(host) {
    OnTerminate = [this](TThread*) { OnThreadTerminate(); };
}

TSupervisionThread::~TSupervisionThread() = default;

TCommunicationTask* TSupervisionThread::AddTask() {
    m_tasks.push_back(std::make_unique<TCommunicationTask>());
    return m_tasks.back().get();
}

TCommunicationTask* TSupervisionThread::NewWriteTask() {
    m_pendingWrite = std::make_unique<TCommunicationTask>();
    return m_pendingWrite.get();
}

void TSupervisionThread::CommitWriteTask() {
    if (!m_pendingWrite)
        return;
    std::lock_guard lock(m_writeLock);
    m_writes.push_back(std::move(m_pendingWrite));
}

int TSupervisionThread::WritesWaiting() const {
    std::lock_guard lock(m_writeLock);
    return int(m_writes.size());
}

std::unique_ptr<TCommunicationTask> TSupervisionThread::TakeWrite() {
    std::lock_guard lock(m_writeLock);
    if (m_writes.empty())
        return nullptr;
    std::unique_ptr<TCommunicationTask> task = std::move(m_writes.front());
    m_writes.pop_front();
    return task;
}

void TSupervisionThread::Execute() {
    if (!m_master->Connect()) {
        m_result = 1;
        return;
    }
    size_t i = 0;
    while (!Terminated()) {
        if (std::unique_ptr<TCommunicationTask> write = TakeWrite())
            SendWrite(*write); // shown, then released here
        if (!m_tasks.empty() && !Terminated()) {
            if (i >= m_tasks.size())
                i = 0;
            Poll(*m_tasks[i]);
            ++i;
        }
        AwaitLine();
        QThread::msleep(PollPause);
    }
    m_result = 0;
}

bool TSupervisionThread::Cancelled() const {
    // A request the stop ended is no result of the module.
    return Terminated() && !m_lastOk && m_master->LastError == modbus::ErrorCancelled;
}

void TSupervisionThread::TerminateRequested() {
    m_master->Abort();
}

void TSupervisionThread::AwaitLine() {
    if (m_master->LineLost())
        m_master->WaitForConnectTurn();
}

void TSupervisionThread::SendWrite(TCommunicationTask& task) {
    m_current = &task;
    const int address = task.Number - 1;
    switch (task.FunctionCode) {
    case 5:
        m_lastOk = m_master->WriteSingleCoil(task.Slave, address, task.Value());
        break;
    case 6:
        m_lastOk = m_master->WriteSingleRegister(task.Slave, address, task.Value());
        break;
    default:
        m_lastOk = false;
        break;
    }
    if (!Cancelled())
        Synchronize([this] { ShowResult(); });
    m_current = nullptr;
}

void TSupervisionThread::Poll(TCommunicationTask& task) {
    const quint32 now = TickCount();
    if (!Due(task, now))
        return;
    task.LastTick = now == 0 ? 1 : now;
    m_current = &task;
    m_lastOk = SendRead(*m_master, task);
    if (!Cancelled())
        Synchronize([this] { ShowResult(); });
    m_current = nullptr;
}

void TSupervisionThread::ShowResult() {
    const TCommunicationTask* task = m_current;
    TRemoteIO* device = task ? task->Target : nullptr;
    if (device) {
        if (!m_lastOk) {
            m_host->SetStatusPanel(StatusPanel, m_master->ErrorText());
            ++m_errorCount;
        } else {
            const TCoilArray& coils = m_master->Coils;
            switch (task->FunctionCode) {
            case 1:
                if (TDigitalOutput* outputs = device->DigitalOutput()) {
                    bool changed = false;
                    for (int r = 0; r < outputs->GetCount(); ++r) {
                        TChannelDigitalOutput* out = outputs->GetChannel(r);
                        if (out->OutputState() != coils.GetValue(r)) {
                            out->SetState(coils.GetValue(r));
                            changed = true;
                        }
                    }
                    if (changed)
                        Repaint(*m_host, TDiagnosticGrid::DigitalOutput);
                }
                break;
            case 2:
                if (TDigitalInput* inputs = device->DigitalInput()) {
                    bool changed = false;
                    for (int r = 0; r < inputs->GetCount(); ++r) {
                        TChannelDigitalInput* in = inputs->GetChannel(r);
                        if (in->InputState() != coils.GetValue(r)) {
                            in->SetInputState(coils.GetValue(r));
                            changed = true;
                        }
                    }
                    if (changed)
                        Repaint(*m_host, TDiagnosticGrid::DigitalInput);
                }
                break;
            case 3:
                ShowRegisters(*task, *device);
                break;
            case 4:
                if (const TCellWriter grid{*m_host, TDiagnosticGrid::AnalogicInput})
                    for (int r = 0; r < GroupCount(device->AnalogicInput()); ++r)
                        grid.Set(task->Column, r + 1, QString::number(m_master->Registers.GetValue(r)));
                break;
            default:
                break;
            }
            m_host->SetStatusPanel(StatusPanel, _("COMMUNICATION OK !"));
            ++m_okCount;
        }
    }
    m_host->SetStatusPanel(OkPanel, QStringLiteral("OK:") + QString::number(m_okCount));
    m_host->SetStatusPanel(ErrorPanel, QStringLiteral("ER:") + QString::number(m_errorCount));
    m_host->AddLogLine(QStringLiteral("TX:") + m_master->TxText);
    m_host->AddLogLine(QStringLiteral("RX:") + m_master->RxText + QLatin1Char(':') + m_master->ErrorText());
    m_host->AddLogLine(QString());
    if (task)
        m_host->ResultShown(*task, m_lastOk);
}

void TSupervisionThread::ShowRegisters(const TCommunicationTask& task, TRemoteIO& device) {
    const TRegisterArray& regs = m_master->Registers;
    const auto value = [&](int i) { return regs.GetValue(i); };
    const int kind = task.DisplayKind;
    TDigitalInput* inputs = device.DigitalInput();
    if (inputs && kind < DisplayKind::MixedInputs) {
        // Counters and presets.
        if (const TCellWriter grid{*m_host, TDiagnosticGrid::DigitalInput})
            for (int r = 0; r < inputs->GetCount(); ++r)
                grid.Set(task.Column, r + 1, QString::number(value(r)));
    }
    switch (kind) {
    case DisplayKind::AnalogicOutput:
        if (const TCellWriter grid{*m_host, TDiagnosticGrid::AnalogicOutput})
            for (int r = 0; r < GroupCount(device.AnalogicOutput()); ++r)
                grid.Set(task.Column, r + 1, QString::number(value(r)));
        break;
    case DisplayKind::AnalogicInput:
        if (const TCellWriter grid{*m_host, TDiagnosticGrid::AnalogicInput})
            for (int r = 0; r < GroupCount(device.AnalogicInput()); ++r)
                grid.Set(task.Column, r + 1, QString::number(value(r)));
        break;
    case DisplayKind::MixedInputs: {
        if (!inputs)
            break;
        const TCellWriter grid{*m_host, TDiagnosticGrid::DigitalInput};
        const int n = inputs->GetCount();
        const int status = value(n);
        bool changed = false;
        for (int r = 0; r < n; ++r) {
            TChannelDigitalInput* in = inputs->GetChannel(r);
            grid.Set(task.Column, r + 1, QString::number(value(r) & 0x7FFF));
            const quint8 err = (value(r) >> 15) & 1;
            if (in->InputState() != err) {
                in->SetInputState(err);
                changed = true;
            }
            const bool flagged = (status >> r) & 1;
            QString name = NodeText(*in);
            if (err && !flagged)
                name += _("- Erro");
            else if (flagged && !err)
                name += _("Erro");
            grid.Set(0, r + 1, name);
        }
        if (changed)
            Repaint(*m_host, TDiagnosticGrid::DigitalInput);
        break;
    }
    case DisplayKind::OutputMask:
        if (TDigitalOutput* outputs = device.DigitalOutput()) {
            bool changed = false;
            for (int r = 0; r < 8 && r < outputs->GetCount(); ++r) {
                const quint8 state = (value(0) >> r) & 1;
                if (outputs->GetChannel(r)->OutputState() != state) {
                    outputs->GetChannel(r)->SetState(state);
                    changed = true;
                }
            }
            if (changed)
                Repaint(*m_host, TDiagnosticGrid::DigitalOutput);
        }
        break;
    case DisplayKind::NamedOutputs:
        if (TDigitalOutput* outputs = device.DigitalOutput()) {
            bool changed = false;
            // These two registers read 0 while their output is on.
            for (int j = 0; j < 2 && 8 + j < outputs->GetCount(); ++j) {
                const quint8 state = value(j) == 0 ? 1 : 0;
                if (outputs->GetChannel(8 + j)->OutputState() != state) {
                    outputs->GetChannel(8 + j)->SetState(state);
                    changed = true;
                }
            }
            if (changed)
                Repaint(*m_host, TDiagnosticGrid::DigitalOutput);
        }
        break;
    case DisplayKind::CanJ:
        if (TStringGrid* grid = m_host->Grid(TDiagnosticGrid::CanJ)) {
            bool changed = false;
            for (int r = 1; r <= CanRows && r < grid->RowCount() && grid->ColCount() > 1; ++r) {
                if (value(r - 1) != CellNumber(*grid, 1, r)) {
                    grid->SetCells(1, r, QString::number(value(r - 1)));
                    changed = true;
                }
            }
            if (changed)
                grid->InvalidateGrid();
        }
        break;
    case DisplayKind::EnergyMeterLine1:
    case DisplayKind::EnergyMeterLine2:
        m_host->UpdateEnergyMeter(regs, kind);
        break;
    case DisplayKind::Temperature:
        if (TStringGrid* grid = m_host->Grid(TDiagnosticGrid::Temperature)) {
            const bool whole = WholeDegrees(device);
            bool changed = false;
            for (int r = 1; r <= TemperatureRows && r < grid->RowCount() && grid->ColCount() > 1; ++r) {
                const QString text = TemperatureText(value(r - 1), whole);
                if (grid->Cells(1, r) != text) {
                    grid->SetCells(1, r, text);
                    changed = true;
                }
            }
            if (changed)
                grid->InvalidateGrid();
        }
        break;
    default:
        break;
    }
}

void TSupervisionThread::OnThreadTerminate() {
    if (m_result == 1) {
        m_host->SetStatusPanel(StatusPanel, m_master->ErrorText());
    } else {
        m_master->Disconnect();
        m_host->SetStatusPanel(StatusPanel, _("End diagnostics"));
    }
    m_tasks.clear();
    m_pendingWrite.reset();
    {
        std::lock_guard lock(m_writeLock);
        m_writes.clear();
    }
    m_host->SupervisionEnded();
}
