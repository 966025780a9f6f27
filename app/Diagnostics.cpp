#include "app/Diagnostics.h"
#include "app/DiagnosticStringGrid.h"
#include "app/Form7610_24.h"
#include "app/Globals.h"
#include "app/Log.h"
#include "app/Main.h"
#include "app/StatusBar.h"
#include "app/WorkerJobs.h"
#include "classlib/Translation.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "model/DeviceModelTable.h"
#include "model/IOClasses.h"
#include "ui_Main.h"
#include <QFontMetrics>
#include <QVBoxLayout>

namespace {

constexpr int MeterPeriod = 1000;
constexpr int MeterRegisters = 12;
constexpr int CanRowCount = 9;
constexpr int TemperatureRegisters = 4;
// Status bar panels of the last result and of the good and failed counts.
constexpr int StatusPanel = 3;
constexpr int OkPanel = 4;
constexpr int ErrorPanel = 5;
// Outputs of the register-word module's mask; its named outputs follow them.
constexpr int MaskOutputs = 8;
// The widest texts a register value and a temperature (in whole degrees or tenths) take.
const QString WidestRegister = QStringLiteral("65535");
const QString WidestTemperature = QStringLiteral("-32768.0");

int GroupCount(const TChannelIO* group) {
    return group ? group->GetCount() : 0;
}

// Names of a group's channels, as their tree nodes show them.
QStringList ChannelNames(const TChannelIO& group) {
    QStringList names;
    for (int i = 0; i < group.GetCount(); ++i) {
        const auto* channel = qobject_cast<TCollectionItemNode*>(group.Channels()->Items(i));
        names << (channel && channel->Node() ? channel->Node()->Text() : QString());
    }
    return names;
}

bool IsModel(const TRemoteIO& device, int code) {
    return device.Information()->ModelCode() == code;
}

} // namespace

TDiagnosticsView::TDiagnosticsView(TFormMain* form) : QObject(form), m_form(form), m_ui(form->ui()) {
    const std::pair<QGroupBox*, TDiagnosticStringGrid**> grids[] = {
        {m_ui.gbAnalogicInput, &sgAnalogicInput}, {m_ui.gbAnalogicOutput, &sgAnalogicOutput},
        {m_ui.gbDigitalInput, &sgDigitalInput},   {m_ui.gbDigitalOutput, &sgDigitalOutput},
        {m_ui.gbAnalogicCanJ, &sgCanJ},           {m_ui.gbTemperature, &sgTemperature}};
    for (const auto& [box, grid] : grids) {
        auto* layout = new QVBoxLayout(box);
        layout->setContentsMargins(2, 2, 2, 2);
        *grid = new TDiagnosticStringGrid(box);
        (*grid)->SetOptions((*grid)->Options() & ~goRangeSelect);
        layout->addWidget(*grid);
    }
    sgAnalogicInput->setObjectName(QStringLiteral("sgAnalogicInput"));
    sgAnalogicOutput->setObjectName(QStringLiteral("sgAnalogicOutput"));
    sgDigitalInput->setObjectName(QStringLiteral("sgDigitalInput"));
    sgDigitalOutput->setObjectName(QStringLiteral("sgDigitalOutput"));
    sgCanJ->setObjectName(QStringLiteral("sgCanJ"));
    sgTemperature->setObjectName(QStringLiteral("sgTemperature"));

    sgDigitalInput->OnDrawCell = [this](TCustomDrawGrid*, int col, int row, const QRect& rect, TGridDrawState,
                                        QPainter& canvas) { sgDigitalInputDrawCell(col, row, rect, canvas); };
    sgDigitalOutput->OnDrawCell = [this](TCustomDrawGrid*, int col, int row, const QRect& rect,
                                         TGridDrawState, QPainter& canvas) {
        sgDigitalOutputDrawCell(col, row, rect, canvas);
    };
    sgCanJ->OnDrawCell = [this](TCustomDrawGrid*, int col, int row, const QRect& rect, TGridDrawState,
                                QPainter& canvas) { sgCanJDrawCell(col, row, rect, canvas); };

    sgAnalogicOutput->OnGetEditText = [this](TCustomDrawGrid*, int, int row, QString&) {
        sgAnalogicOutputGetEditText(row);
    };
    sgAnalogicOutput->OnSelectCell = [this](TCustomDrawGrid*, int col, int row, bool& canSelect) {
        sgAnalogicOutputSelectCell(col, row, canSelect);
    };
    sgAnalogicOutput->OnKeyPress = [this](TCustomDrawGrid*, QChar& key) { sgAnalogicOutputKeyPress(key); };
    sgDigitalInput->OnGetEditText = [this](TCustomDrawGrid*, int, int row, QString&) {
        sgDigitalInputGetEditText(row);
    };
    sgDigitalInput->OnSelectCell = [this](TCustomDrawGrid*, int col, int row, bool& canSelect) {
        sgDigitalInputSelectCell(col, row, canSelect);
    };
    sgDigitalInput->OnKeyDown = [this](TCustomDrawGrid*, int& key, Qt::KeyboardModifiers) {
        sgDigitalInputKeyDown(key);
    };
    sgDigitalOutput->OnMouseDown = [this](TCustomDrawGrid*, Qt::MouseButton button, Qt::KeyboardModifiers,
                                          int, int) {
        if (button == Qt::LeftButton)
            sgDigitalOutputMouseDown();
    };
    sgDigitalOutput->OnMouseUp = [this](TCustomDrawGrid*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        sgDigitalOutputMouseUp();
    };
    sgDigitalOutput->OnKeyDown = [this](TCustomDrawGrid*, int& key, Qt::KeyboardModifiers) {
        sgDigitalOutputKeyDown(key);
    };
    sgDigitalOutput->OnKeyUp = [this](TCustomDrawGrid*, int, Qt::KeyboardModifiers) {
        sgDigitalOutputKeyUp();
    };

    // Every grid shares its width out among its columns whenever it changes.
    for (TDiagnosticStringGrid* grid : Grids())
        grid->OnResize = [grid](TCustomDrawGrid*) { grid->FitColumns(); };

    // The bar above the grids keeps room for the device combo and the start button.
    m_ui.pDiagnostic->setMinimumWidth(m_ui.btDiagnostic->geometry().right() + 1 + m_ui.cbDiagnostic->x());

    // The diagnostics area changes size with the window and the splitter: the digital boxes follow.
    m_ui.gbDiagnostics->installEventFilter(this);

    connect(m_ui.btDiagnostic, &QPushButton::clicked, this, [this] { btDiagnosticClick(); });
}

TDiagnosticsView::~TDiagnosticsView() {
    if (SupervisionThread && WorkerJobs.StopSupervision)
        WorkerJobs.StopSupervision();
}

bool TDiagnosticsView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_ui.gbDiagnostics && event->type() == QEvent::Resize)
        m_form->Splitter1Moved();
    return false;
}

TRemoteIO* TDiagnosticsView::SelectedDevice() const {
    const QComboBox* combo = m_ui.cbDiagnostic;
    if (combo->currentIndex() < 0)
        return nullptr;
    return qobject_cast<TRemoteIO*>(combo->itemData(combo->currentIndex()).value<QObject*>());
}

QList<QGroupBox*> TDiagnosticsView::GroupBoxes() const {
    return {m_ui.gbAnalogicInput, m_ui.gbAnalogicOutput, m_ui.gbAnalogicCanJ,
            m_ui.gbTemperature,   m_ui.gbDigitalInput,   m_ui.gbDigitalOutput};
}

void TDiagnosticsView::HideGroupBoxes() {
    for (QGroupBox* box : GroupBoxes())
        box->hide();
}

// Start and stop ----------------------------------------------------------------------------------------

void TDiagnosticsView::btDiagnosticClick() {
    if (btDiagnosticTag == 1)
        StopDiagnostics();
    else if (m_ui.cbDiagnostic->count() > 0)
        StartDiagnostics();
}

void TDiagnosticsView::StartDiagnostics() {
    CalibrationBoxRestore = m_ui.gbCalibration->isVisible();
    m_ui.gbCalibration->hide();
    btDiagnosticTag = 1;
    m_ui.btDiagnostic->setText(QLatin1String(N_("Stop diagnostic")));
    m_ui.lbDiagnostic->setEnabled(false);
    m_ui.cbDiagnostic->setEnabled(false);
    m_ui.tvNetwork->setEnabled(false);
    TRemoteIO* device = SelectedDevice();
    HideGroupBoxes();
    m_outputWrites.Clear();
    m_ui.pDataTypeLayout->setStretchFactor(m_ui.digitalLayout, 0);
    if (device && ModbusMaster) {
        CurrentDevice = device;
        // A supervision that ended by itself is freed before the next one starts.
        if (SupervisionThread && WorkerJobs.StopSupervision)
            WorkerJobs.StopSupervision();
        SupervisionThread = TThread::Create<TSupervisionThread>(true, ModbusMaster, this);
        SetAnalogicInput(device);
        SetAnalogicOutput(device);
        SetDigitalInput(device);
        SetDigitalOutput(device);
        SetCanJ(device);
        SetTemperature(device);
        SetCODI(device);
        // The panels show this device's supervision only, also when it has nothing to poll.
        SetStatusPanel(StatusPanel, SupervisionThread->TaskCount() == 0
                                        ? _("This device has no values to show.")
                                        : QString());
        SetStatusPanel(OkPanel, QStringLiteral("OK:0"));
        SetStatusPanel(ErrorPanel, QStringLiteral("ER:0"));
        m_form->DiagnosticRunning = true;
        SupervisionThread->Resume();
    }
    // The columns, and the digital input box's width, which keeps room for them.
    m_form->Splitter1Moved();
    RetranslateComponent(m_form);
}

void TDiagnosticsView::StopDiagnostics() {
    if (WorkerJobs.StopSupervision)
        WorkerJobs.StopSupervision();
    m_ui.tvNetwork->setEnabled(true);
    btDiagnosticTag = 0;
    m_ui.btDiagnostic->setText(QLatin1String(N_("Start diagnostic")));
    m_ui.lbDiagnostic->setEnabled(true);
    m_ui.cbDiagnostic->setEnabled(true);
    HideGroupBoxes();
    m_ui.gbCalibration->setVisible(CalibrationBoxRestore);
    HideEnergyMeterView();
    Relayout();
    RetranslateComponent(m_form);
}

QList<TDiagnosticStringGrid*> TDiagnosticsView::Grids() const {
    return {sgAnalogicInput, sgAnalogicOutput, sgDigitalInput, sgDigitalOutput, sgCanJ, sgTemperature};
}

int TDiagnosticsView::DigitalInputMinimumWidth() const {
    const QMargins frame = m_ui.gbDigitalInput->contentsMargins();
    const QMargins inner = m_ui.gbDigitalInput->layout()->contentsMargins();
    return sgDigitalInput->minimumWidth() + frame.left() + frame.right() + inner.left() + inner.right();
}

void TDiagnosticsView::Relayout() {
    for (TDiagnosticStringGrid* grid : Grids())
        grid->FitColumns();
}

// Builders ----------------------------------------------------------------------------------------------

void TDiagnosticsView::PrepareGrid(QGroupBox* box, TDiagnosticStringGrid* grid, const QStringList& headers,
                                   const QStringList& names) {
    box->show();
    grid->show();
    grid->Tag = 0;
    grid->SetColCount(int(headers.size()) + 1);
    grid->SetRowCount(int(names.size()) + 1);
    grid->SetFixedRows(1);
    grid->SetFixedCols(1);
    for (int r = 0; r < grid->RowCount(); ++r)
        for (int c = 0; c < grid->ColCount(); ++c)
            grid->SetCells(c, r, QString());
    for (int c = 0; c < headers.size(); ++c)
        grid->SetCells(c + 1, 0, headers.at(c));
    for (int r = 0; r < names.size(); ++r)
        grid->SetCells(0, r + 1, names.at(r));
    grid->SetCol(1);
    grid->SetRow(1);
    grid->MarkAllCurrent();
}

void TDiagnosticsView::FitBoxHeight(QGroupBox* box, TDiagnosticStringGrid* grid) {
    int height = 2 * grid->RowHeights(0) + 10;
    for (int r = 1; r < grid->RowCount(); ++r)
        height += grid->RowHeights(r);
    box->setFixedHeight(height);
}

int TDiagnosticsView::BoxHeightForRows(QGroupBox* box, TDiagnosticStringGrid* grid, int dataRows) {
    const QMargins frame = box->contentsMargins();
    const QMargins inner = box->layout() ? box->layout()->contentsMargins() : QMargins();
    return frame.top() + frame.bottom() + inner.top() + inner.bottom() + grid->HeightForRows(dataRows);
}

void TDiagnosticsView::FitDigitalBox(QGroupBox* box, TDiagnosticStringGrid* grid) {
    // A short grid shows all its rows; a long one at least RowsShownWhole of them, more when there is
    // room, and scrolls.
    const int rows = grid->RowCount() - grid->FixedRows();
    box->setMinimumHeight(BoxHeightForRows(box, grid, std::min(rows, RowsShownWhole)));
    box->setMaximumHeight(BoxHeightForRows(box, grid, rows));
    box->setSizePolicy(box->sizePolicy().horizontalPolicy(),
                       rows > RowsShownWhole ? QSizePolicy::Expanding : QSizePolicy::Fixed);
    // A short box stands at the top; a long one takes the height the boxes above it leave.
    const bool longGrid = rows > RowsShownWhole;
    m_ui.digitalLayout->setAlignment(box, longGrid ? Qt::Alignment() : Qt::AlignTop);
    if (longGrid)
        m_ui.pDataTypeLayout->setStretchFactor(m_ui.digitalLayout, 1);
}

TCommunicationTask* TDiagnosticsView::AddPoll(TRemoteIO* device, int function, int number, int count,
                                              int column, int kind, int period, int slave) {
    TCommunicationTask* task = SupervisionThread->AddTask();
    task->FunctionCode = quint8(function);
    task->Slave = quint8(slave >= 0 ? slave : device->Comm()->CurrentAddress());
    task->Number = quint16(number);
    task->Count = quint16(count);
    task->Period = period;
    task->Column = column;
    task->DisplayKind = kind;
    task->Target = device;
    return task;
}

TCommunicationTask* TDiagnosticsView::SetAnalogicInput(TRemoteIO* device) {
    TAnalogicInput* group = device->AnalogicInput();
    if (!group)
        return nullptr;
    HideEnergyMeterView();
    PrepareGrid(m_ui.gbAnalogicInput, sgAnalogicInput, {_("Value"), _("Min"), _("Max")},
                ChannelNames(*group));
    FitBoxHeight(m_ui.gbAnalogicInput, sgAnalogicInput);
    sgAnalogicInput->WidestValue = WidestRegister;
    const int n = group->GetCount();
    AddPoll(device, 3, 105, n, 1, DisplayKind::AnalogicInput);
    AddPoll(device, 3, 109, n, 2, DisplayKind::AnalogicInput);
    return AddPoll(device, 3, 113, n, 3, DisplayKind::AnalogicInput);
}

TCommunicationTask* TDiagnosticsView::SetAnalogicOutput(TRemoteIO* device) {
    TAnalogicOutput* group = device->AnalogicOutput();
    if (!group)
        return nullptr;
    HideEnergyMeterView();
    PrepareGrid(m_ui.gbAnalogicOutput, sgAnalogicOutput, {_("Value"), _("Max")}, ChannelNames(*group));
    FitBoxHeight(m_ui.gbAnalogicOutput, sgAnalogicOutput);
    sgAnalogicOutput->WidestValue = WidestRegister;
    sgAnalogicOutput->SetEditing(true);
    const int n = group->GetCount();
    AddPoll(device, 3, 303, n, 1, DisplayKind::AnalogicOutput);
    return AddPoll(device, 3, 305, n, 2, DisplayKind::AnalogicOutput);
}

TCommunicationTask* TDiagnosticsView::SetDigitalInput(TRemoteIO* device) {
    TDigitalInput* group = device->DigitalInput();
    if (!group)
        return nullptr;
    HideEnergyMeterView();
    const bool mixed = IsModel(*device, ModelCode::MixedInputs);
    const QStringList headers =
        mixed ? QStringList{_("Value"), _("Acc")} : QStringList{_("Value"), _("Acc"), _("Preset")};
    const QStringList names = ChannelNames(*group);
    PrepareGrid(m_ui.gbDigitalInput, sgDigitalInput, headers, names);
    sgDigitalInput->WidestValue = WidestRegister;
    // The display may add either error mark to a name of model 128.
    const QFontMetrics metrics(sgDigitalInput->font());
    sgDigitalInput->WidestName.clear();
    for (const QString& name : names)
        for (const QString& shown :
             mixed ? QStringList{name + _("- Erro"), name + _("Erro")} : QStringList{name})
            if (metrics.horizontalAdvance(shown) > metrics.horizontalAdvance(sgDigitalInput->WidestName))
                sgDigitalInput->WidestName = shown;
    FitDigitalBox(m_ui.gbDigitalInput, sgDigitalInput);
    sgDigitalInput->SetEditing(false);
    const int n = group->GetCount();
    for (int i = 0; i < n; ++i)
        group->GetChannel(i)->SetInputState(0);
    if (mixed)
        return AddPoll(device, 3, 2, n + 1, 2, DisplayKind::MixedInputs);
    AddPoll(device, 2, 1, n, 0, DisplayKind::Digital);
    AddPoll(device, 3, 33, n, 2, DisplayKind::Digital);
    return AddPoll(device, 3, 1, n, 3, DisplayKind::Digital);
}

TCommunicationTask* TDiagnosticsView::SetDigitalOutput(TRemoteIO* device) {
    TDigitalOutput* group = device->DigitalOutput();
    if (!group)
        return nullptr;
    HideEnergyMeterView();
    PrepareGrid(m_ui.gbDigitalOutput, sgDigitalOutput, {_("Value")}, ChannelNames(*group));
    FitDigitalBox(m_ui.gbDigitalOutput, sgDigitalOutput);
    const int n = group->GetCount();
    for (int i = 0; i < n; ++i)
        group->GetChannel(i)->SetState(0);
    if (IsModel(*device, ModelCode::NamedOutputs)) {
        AddPoll(device, 3, 10, 1, 0, DisplayKind::OutputMask);
        return AddPoll(device, 3, 252, 2, 0, DisplayKind::NamedOutputs);
    }
    return AddPoll(device, 1, 1, n, 0, DisplayKind::Digital);
}

TCommunicationTask* TDiagnosticsView::SetCanJ(TRemoteIO* device) {
    if (!IsModel(*device, ModelCode::CanGateway))
        return nullptr;
    HideEnergyMeterView();
    const QStringList rows{_("Rotation(RPM)"),
                           _("Temperature in degrees Celsius"),
                           _("Oil pressure in kgf/cm2"),
                           _("Battery voltage in Volts"),
                           _("Fuel consumption in liters/hour"),
                           _("Temperature in Fahrenheit"),
                           _("Oil pressure in PSI"),
                           _("Fuel consumption in gal/hour"),
                           _("Sensor failure")};
    PrepareGrid(m_ui.gbAnalogicCanJ, sgCanJ, {_("Value")}, rows);
    sgCanJ->SetCells(0, 0, _("Description"));
    // The columns fit the descriptions and the values, and the box all nine rows.
    sgCanJ->WidestValue = WidestRegister;
    sgCanJ->FitColumns();
    m_ui.gbAnalogicCanJ->setFixedHeight(BoxHeightForRows(m_ui.gbAnalogicCanJ, sgCanJ, CanRowCount));
    return AddPoll(device, 3, 101, CanRowCount, 0, DisplayKind::CanJ);
}

TCommunicationTask* TDiagnosticsView::SetTemperature(TRemoteIO* device) {
    TTemperatureInput* group = device->TemperatureInput();
    if (!group)
        return nullptr;
    HideEnergyMeterView();
    PrepareGrid(m_ui.gbTemperature, sgTemperature, {_("Value")}, ChannelNames(*group));
    FitBoxHeight(m_ui.gbTemperature, sgTemperature);
    sgTemperature->WidestValue = WidestTemperature;
    return AddPoll(device, 3, 501, TemperatureRegisters, 1, DisplayKind::Temperature);
}

TCommunicationTask* TDiagnosticsView::SetCODI(TRemoteIO* device) {
    if (!IsModel(*device, ModelCode::EnergyMeter))
        return nullptr;
    ShowEnergyMeterView();
    const int address = device->Comm()->CurrentAddress();
    AddPoll(device, 3, 2, MeterRegisters, 0, DisplayKind::EnergyMeterLine1, MeterPeriod, address);
    return AddPoll(device, 3, 2, MeterRegisters, 0, DisplayKind::EnergyMeterLine2, MeterPeriod, address + 2);
}

// Energy-meter view --------------------------------------------------------------------------------------

void TDiagnosticsView::ShowEnergyMeterView() {
    for (QWidget* child : m_ui.pDataType->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        child->hide();
    if (!FormDev7610BR) {
        FormDev7610BR = new TFormDev7610BR(m_form);
        FormDev7610BR->setWindowFlags(Qt::Widget);
    }
    m_ui.pDataTypeLayout->insertWidget(0, FormDev7610BR, 1);
    for (const int line : {TFormDev7610BR::KindLine1, TFormDev7610BR::KindLine2})
        FormDev7610BR->SetLineCurrent(line, true);
    FormDev7610BR->show();
}

void TDiagnosticsView::HideEnergyMeterView() {
    if (!FormDev7610BR)
        return;
    FormDev7610BR->hide();
    if (FormDev7610BR->parentWidget() == m_ui.pDataType) {
        m_ui.pDataTypeLayout->removeWidget(FormDev7610BR);
        FormDev7610BR->setParent(m_form); // still owned by the main window
        FormDev7610BR->hide();
    }
}

// The live display's way in ------------------------------------------------------------------------------

TStringGrid* TDiagnosticsView::Grid(TDiagnosticGrid grid) {
    switch (grid) {
    case TDiagnosticGrid::AnalogicInput:
        return sgAnalogicInput;
    case TDiagnosticGrid::AnalogicOutput:
        return sgAnalogicOutput;
    case TDiagnosticGrid::DigitalInput:
        return sgDigitalInput;
    case TDiagnosticGrid::DigitalOutput:
        return sgDigitalOutput;
    case TDiagnosticGrid::CanJ:
        return sgCanJ;
    case TDiagnosticGrid::Temperature:
        return sgTemperature;
    }
    return nullptr;
}

int TDiagnosticsView::EditingRow(TDiagnosticGrid grid) {
    // The output grid's Tag is its pressed state, not an edited row.
    switch (grid) {
    case TDiagnosticGrid::AnalogicOutput:
        return sgAnalogicOutput->Tag;
    case TDiagnosticGrid::DigitalInput:
        return sgDigitalInput->Tag;
    default:
        return 0;
    }
}

void TDiagnosticsView::SetStatusPanel(int panel, const QString& text) {
    m_form->StatusBarDaxo()->SetPanelText(panel, text);
}

void TDiagnosticsView::AddLogLine(const QString& line) {
    if (FormLog)
        FormLog->AddLine(line);
}

void TDiagnosticsView::UpdateEnergyMeter(const TRegisterArray& registers, int kind) {
    if (FormDev7610BR)
        FormDev7610BR->UpdateLine(registers, kind);
}

void TDiagnosticsView::SupervisionEnded() {
    m_form->DiagnosticRunning = false;
    m_outputWrites.Clear();
}

void TDiagnosticsView::ResultShown(const TCommunicationTask& task, bool ok) {
    if (!task.Target) {
        m_outputWrites.Sent(&task, ok);
        return;
    }
    MarkFedCells(task, ok);
    if (!ok)
        return;
    // The polls that read the outputs back confirm the writes sent before them.
    if (task.FunctionCode == 1)
        m_outputWrites.Polled(0, task.Count);
    else if (task.DisplayKind == DisplayKind::OutputMask)
        m_outputWrites.Polled(0, MaskOutputs);
    else if (task.DisplayKind == DisplayKind::NamedOutputs)
        m_outputWrites.Polled(MaskOutputs, task.Count);
}

void TDiagnosticsView::MarkFedCells(const TCommunicationTask& task, bool current) {
    const TRemoteIO& device = *task.Target;
    const auto mark = [current](TDiagnosticStringGrid* grid, int col, int firstRow, int lastRow) {
        if (grid && lastRow >= firstRow)
            grid->MarkCurrent(col, firstRow, lastRow, current);
    };
    // The cells each reply feeds, as the supervision's display writes them.
    const int inputs = GroupCount(device.DigitalInput());
    const int outputs = GroupCount(device.DigitalOutput());
    const int kind = task.DisplayKind;
    switch (task.FunctionCode) {
    case 1:
        mark(sgDigitalOutput, 1, 1, outputs);
        return;
    case 2:
        mark(sgDigitalInput, 1, 1, inputs);
        return;
    case 4:
        mark(sgAnalogicInput, task.Column, 1, GroupCount(device.AnalogicInput()));
        return;
    case 3:
        break;
    default:
        return;
    }
    if (kind < DisplayKind::MixedInputs)
        mark(sgDigitalInput, task.Column, 1, inputs);
    switch (kind) {
    case DisplayKind::AnalogicOutput:
        mark(sgAnalogicOutput, task.Column, 1, GroupCount(device.AnalogicOutput()));
        break;
    case DisplayKind::AnalogicInput:
        mark(sgAnalogicInput, task.Column, 1, GroupCount(device.AnalogicInput()));
        break;
    case DisplayKind::MixedInputs:
        // The values and, through their error bits, the lamps.
        mark(sgDigitalInput, task.Column, 1, inputs);
        mark(sgDigitalInput, 1, 1, inputs);
        break;
    case DisplayKind::OutputMask:
        mark(sgDigitalOutput, 1, 1, std::min(outputs, MaskOutputs));
        break;
    case DisplayKind::NamedOutputs:
        mark(sgDigitalOutput, 1, MaskOutputs + 1, std::min(outputs, MaskOutputs + 2));
        break;
    case DisplayKind::CanJ:
        mark(sgCanJ, 1, 1, CanRowCount);
        break;
    case DisplayKind::Temperature:
        mark(sgTemperature, 1, 1, TemperatureRegisters);
        break;
    case DisplayKind::EnergyMeterLine1:
    case DisplayKind::EnergyMeterLine2:
        if (FormDev7610BR)
            FormDev7610BR->SetLineCurrent(kind, current);
        break;
    default:
        break;
    }
}
