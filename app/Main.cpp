#include "app/Main.h"
#include "app/ButtonEnter.h"
#include "app/CalibrationPanel.h"
#include "app/CommConfig.h"
#include "app/Diagnostics.h"
#include "app/Find.h"
#include "app/Globals.h"
#include "app/ImageLists.h"
#include "app/InspectorBinding.h"
#include "app/Language.h"
#include "app/Log.h"
#include "app/SettingsFile.h"
#include "app/StatusBar.h"
#include "app/StatusSendConfig.h"
#include "app/UnitAbout.h"
#include "app/WindowPlacement.h"
#include "app/WorkerJobs.h"
#include "classlib/Application.h"
#include "classlib/Dialogs.h"
#include "classlib/RegularFile.h"
#include "classlib/Translation.h"
#include "classlib/TreeNodes.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "inspector/RSObjectInspector.h"
#include "model/ChannelGroups.h"
#include "model/ChannelItems.h"
#include "model/InspectorLink.h"
#include "model/RemoteIO.h"
#include "platform/IniFile.h"
#include "ui_Main.h"
#include "ui_StatusSendConfig.h"
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QThread>
#include <QUrl>

namespace {

// The status panel with the last result of a search, diagnostics or send.
constexpr int LastResultPanel = 3;

void ErrorBox(const QString& text) {
    MessageDlg(text, TMsgDlgType::mtError, mbOK);
}

// The model's requests reach the inspector later, by a queued call: never inside the write routine
// that asks, and safe from a worker thread.
class TMainInspectorLink : public TInspectorLink {
public:
    explicit TMainInspectorLink(TRSObjectInspector* inspector) : m_inspector(inspector) {}
    void RequestRebuildItems() override {
        QMetaObject::invokeMethod(
            m_inspector.data(),
            [inspector = m_inspector] {
                if (inspector)
                    inspector->PostRescan();
            },
            Qt::QueuedConnection);
    }
    void RequestRefreshOrRescan() override {
        QMetaObject::invokeMethod(
            m_inspector.data(),
            [inspector = m_inspector] {
                if (inspector)
                    inspector->RefreshOrRescan();
            },
            Qt::QueuedConnection);
    }

private:
    QPointer<TRSObjectInspector> m_inspector;
};

// Text that is no integer leaves the setting as it was.
template <class T> void AssignInt(T& target, const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (ok)
        target = T(v);
}

} // namespace

TFormMain::TFormMain(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::TFormMain>()) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(696, 542);
    CentreOnEveryShow(*this);
    FormCreate();
}

void TFormMain::FormCreate() {
    initInternationalization();
    ProgramFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');

    ModbusMaster = new TModbusSerialTCPMaster(nullptr);
    ModbusMaster->setParent(this); // the window owns the master for the program's life

    m_nodes = new TTreeNodes(this);
    QList<QIcon> icons;
    for (const QPixmap& pm : ImageListSimulation())
        icons << QIcon(pm);
    m_nodes->SetImages(icons);
    m_ui->tvNetwork->setModel(m_nodes->Model());
    connect(m_nodes, &TTreeNodes::expandRequested, this, [this](const QModelIndex& index, bool expand, bool) {
        m_ui->tvNetwork->setExpanded(index, expand);
    });
    Network = new TRemoteIONetwork(nullptr, m_nodes, nullptr);
    AttachTreeChange();

    // The white icon panel with the tool bar and the logo.
    QPalette white = m_ui->pIcon->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_ui->pIcon->setPalette(white);
    m_ui->ImageDaxo->setPixmap(LogoPicture());
    const std::pair<QToolButton*, int> buttons[] = {{m_ui->toolbtnSearch, IconIndex::Search},
                                                    {m_ui->toolbtnSetup, IconIndex::Setup},
                                                    {m_ui->toolbtnSendConfig, IconIndex::SendConfig},
                                                    {m_ui->toolbtnHelp, IconIndex::Help},
                                                    {m_ui->toolbtnLanguage, IconIndex::Language},
                                                    {m_ui->toolbtnExit, IconIndex::Exit},
                                                    {m_ui->toolbtnLog, IconIndex::Log},
                                                    {m_ui->toolbtnAbout, IconIndex::About}};
    for (const auto& [button, image] : buttons) {
        button->setIcon(QIcon(ImageListIcones().at(image)));
        button->setToolTip(QString());
    }
    connect(m_ui->toolbtnSearch, &QToolButton::clicked, this, &TFormMain::OutlookBtn_FindClick);
    connect(m_ui->toolbtnSetup, &QToolButton::clicked, this, &TFormMain::OutlookBtn_SetupClick);
    connect(m_ui->toolbtnSendConfig, &QToolButton::clicked, this, &TFormMain::OutlookBtn_SendConfigClick);
    connect(m_ui->toolbtnHelp, &QToolButton::clicked, this, &TFormMain::OutlookBtn_HelpClick);
    connect(m_ui->toolbtnExit, &QToolButton::clicked, this, &TFormMain::OutlookBtn_ExitClick);
    connect(m_ui->toolbtnLog, &QToolButton::clicked, this, &TFormMain::toolbtnLogClick);
    connect(m_ui->toolbtnLanguage, &QToolButton::clicked, this, &TFormMain::Image1Click);
    connect(m_ui->toolbtnAbout, &QToolButton::clicked, this, &TFormMain::toolbtnAboutClick);
    connect(m_ui->cbDiagnostic, &QComboBox::activated, this, &TFormMain::cbDiagnosticChange);

    m_ui->StatusBarDaxo->SetPanels({{50, TStatusPanelStyle::psOwnerDraw, {}},
                                    {110, TStatusPanelStyle::psOwnerDraw, {}},
                                    {150, TStatusPanelStyle::psOwnerDraw, {}},
                                    // wide enough for the master's longest error text
                                    {262, TStatusPanelStyle::psText, {}},
                                    {70, TStatusPanelStyle::psText, {}},
                                    {50, TStatusPanelStyle::psText, {}}});
    m_ui->StatusBarDaxo->OnDrawPanel = [this](TStatusBar* bar, QPainter& p, int panel, const QRect& rect) {
        StatusBarDaxoDrawPanel(bar, p, panel, rect);
    };

    m_ui->SplitterDaxo->setSizes({284, 696 - 284 - 4});
    m_ui->SplitterDaxo->setStretchFactor(0, 0);
    m_ui->SplitterDaxo->setStretchFactor(1, 1);
    SetupInspector();
    m_diagnostics = new TDiagnosticsView(this);
    m_calibrationPanel = new TCalibrationPanel(this);
    setWindowTitle(_(ApplicationTitle));
    m_ui->gbDigitalInput->setFixedWidth(m_ui->gbDiagnostics->contentsRect().width() / 2 - 10);
    m_ui->cbDiagnostic->setEnabled(false);
    m_ui->lbDiagnostic->setEnabled(false);
    for (QWidget* box :
         {static_cast<QWidget*>(m_ui->gbDigitalInput), static_cast<QWidget*>(m_ui->gbDigitalOutput)}) {
        QPalette pal = box->palette();
        pal.setColor(QPalette::WindowText, QColor(0x80, 0x80, 0x80));
        box->setPalette(pal);
    }
    DiagnosticRunning = false;
    Calibration.Calibrating = false;
    CalibrationBoxRestore = false;
    // Enter presses a focused button, as Space does; outside a dialog Qt leaves that to default buttons.
    for (QPushButton* button : findChildren<QPushButton*>())
        if (button->window() == this)
            button->setAutoDefault(true);
    for (QToolButton* button : m_ui->tbDaxoConfig->findChildren<QToolButton*>())
        PressOnEnter(button);
}

TFormMain::~TFormMain() {
    // FormDestroy.
    StopSupervision();
    // The diagnostics view watches the window's widgets: it goes before they are torn down, or their
    // last events would reach a window that is half destroyed.
    delete m_diagnostics;
    m_diagnostics = nullptr;
    DetachTreeChange();
    ShowInspected(nullptr);
    delete Network;
    Network = nullptr;
    CurrentDevice = nullptr;
    SetInspectorLink(m_previousInspectorLink);
    if (FormMain == this)
        FormMain = nullptr;
    ModbusMaster = nullptr; // freed with the window's children
}

void TFormMain::SetupInspector() {
    TRSObjectInspector* inspector = m_ui->RSObjectInspector1;
    const QColor navy(0x00, 0x00, 0x80);
    inspector->setVisible(false);
    inspector->SetColor(palette().color(QPalette::Button));
    inspector->SetDisplayKinds({tkInteger, tkChar, tkEnumeration, tkFloat, tkString, tkSet, tkClass, tkWChar,
                                tkLString, tkWString, tkVariant, tkInterface, tkInt64});
    inspector->ValueFont()->SetColor(navy);
    inspector->CategoryFont()->SetColor(QColor(0x80, 0x00, 0x80));
    inspector->CategoryFont()->SetBold(true);
    inspector->ValueChangedFont()->SetColor(navy);
    inspector->ValueChangedFont()->SetBold(true);
    inspector->HintWindow()->SetColor(QColor(0xFF, 0xFF, 0xE1)); // the tool-tip yellow
    inspector->HintWindow()->SetInterval(0);
    inspector->SetIndent(11);
    inspector->SetPathDelimiter(QStringLiteral("."));
    inspector->SetCollectionItemFormat(QStringLiteral("Items[%d]"));
    inspector->SetStringsItemFormat(QStringLiteral("Items[%d]"));
    inspector->SetFilters({QStringLiteral("Name"), QStringLiteral("Tag")});
    inspector->SetColWidths(0, 150);
    inspector->SetColWidths(1, 124);
    inspector->SetColWidths(0, width() / 4 / 2 + 8);
    inspector->AddRegisteredPresets();
    inspector->OnPropertyChanged = [this](QObject* sender, TRSItemProperty* item) {
        RSObjectInspector1PropertyChanged(sender, item);
    };
    inspector->OnGetPickList = [this](QObject* sender, const QString& propName, QStringList& values) {
        RSObjectInspector1GetPickList(sender, propName, values);
    };
    inspector->OnAfterScan = [this](QObject* sender, TRSItemProperty*) {
        RSObjectInspector1AfterScan(sender);
    };
    m_inspectorLink = std::make_unique<TMainInspectorLink>(inspector);
    m_previousInspectorLink = SetInspectorLink(m_inspectorLink.get());
}

void TFormMain::RSObjectInspector1PropertyChanged(QObject* sender, TRSItemProperty* item) {
    auto* inspector = qobject_cast<TRSObjectInspector*>(sender);
    QObject* inspected =
        inspector && inspector->Objects()->Count() > 0 ? inspector->Objects()->Items(0)->Object() : nullptr;
    if (auto* group = qobject_cast<TChannelIO*>(inspected)) {
        if (auto* device = qobject_cast<TRemoteIO*>(group->Owner()))
            device->SetModified(true);
    } else if (auto* device = qobject_cast<TRemoteIO*>(inspected)) {
        device->SetModified(true);
    }
}

void TFormMain::RSObjectInspector1GetPickList(QObject*, const QString&, QStringList& Values) {
    FilterDigitalInputPickList(SelectedItem, Values);
}

void TFormMain::RSObjectInspector1AfterScan(QObject*) {
    ApplyAfterScanRules(*m_ui->RSObjectInspector1);
}

TStatusBar* TFormMain::StatusBarDaxo() const {
    return m_ui->StatusBarDaxo;
}

QObject* TFormMain::SelectedObject() const {
    const TTreeNode* node = m_nodes->NodeFromIndex(m_ui->tvNetwork->currentIndex());
    return node ? node->Data() : nullptr;
}

void TFormMain::AttachTreeChange() {
    if (m_treeChange)
        return;
    m_treeChange =
        connect(m_ui->tvNetwork->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this](const QModelIndex& current) { tvNetworkChange(m_nodes->NodeFromIndex(current)); });
}

void TFormMain::DetachTreeChange() {
    disconnect(m_treeChange);
    m_treeChange = {};
}

void TFormMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_shown && !event->spontaneous()) {
        m_shown = true;
        FormShow();
    }
}

void TFormMain::FormShow() {
    LoadParameters();
    WarnOfSettingsProblem();
    if (FormCommunicationConfig) {
        FormCommunicationConfig->LoadFromMaster();
        FormCommunicationConfig->RefreshStatusBar();
    }
}

void TFormMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Splitter1Moved();
}

void TFormMain::Splitter1Moved() {
    // Half the diagnostics area, but never narrower than the input grid needs to show its values.
    if (m_diagnostics)
        m_diagnostics->Relayout();
    m_ui->gbDigitalInput->setFixedWidth(qMax(m_diagnostics ? m_diagnostics->DigitalInputMinimumWidth() : 0,
                                             m_ui->gbDiagnostics->contentsRect().width() / 2 - 10));
}

void TFormMain::btDiagnosticClick() {
    m_diagnostics->btDiagnosticClick();
}

void TFormMain::StatusBarDaxoDrawPanel(TStatusBar* statusBar, QPainter& canvas, int panel,
                                       const QRect& rect) {
    if (panel > 2)
        return;
    canvas.fillRect(rect, Qt::yellow);
    QFont bold = statusBar->font();
    bold.setBold(true);
    canvas.setFont(bold);
    canvas.setPen(Qt::black);
    const QFontMetrics fm(bold);
    canvas.drawText(rect.left() + 3, rect.top() + 1 + fm.ascent(), statusBar->PanelText(panel));
}

// Closing ---------------------------------------------------------------------------------------------

void TFormMain::StopSupervision() {
    if (DiagnosticRunning && WorkerJobs.StopSupervision)
        WorkerJobs.StopSupervision();
}

bool TFormMain::FormCloseQuery() {
    StopSupervision();
    m_closeSaveFailed = !SaveParameters(true);
    return true;
}

void TFormMain::FormClose() {
    StopSupervision();
    // The close request has just said that the settings could not be written: once is enough.
    SaveParameters(!m_closeSaveFailed);
}

void TFormMain::closeEvent(QCloseEvent* event) {
    m_closeSaveFailed = false;
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    m_closeSaveFailed = false;
    QWidget::closeEvent(event);
}

void TFormMain::OutlookBtn_ExitClick() {
    SaveParameters();
    QCoreApplication::exit(0);
}

// Tool bar --------------------------------------------------------------------------------------------

void TFormMain::OutlookBtn_SetupClick() {
    if (DiagnosticRunning) {
        ErrorBox(_("Can not config comm while connected !"));
        return;
    }
    if (FormCommunicationConfig)
        FormCommunicationConfig->exec();
}

void TFormMain::OutlookBtn_HelpClick() {
    // A missing page shows nothing (nor does something other than a file there); without a browser
    // to open it, the user is told where the page is, to open it by other means.
    const QString page = ProgramFolder + QLatin1String(HelpFile);
    if (!QFileInfo::exists(page) || !IsReadableRegularFile(page))
        return;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page)))
        MessageDlg(_("No web browser could open the help page. It is here:\n%1").arg(page),
                   TMsgDlgType::mtInformation, mbOK);
}

void TFormMain::toolbtnLogClick() {
    if (FormLog) {
        FormLog->show();
        FormLog->raise();
    }
}

void TFormMain::initInternationalization() {
    InitLanguage();
    TranslateComponent(this);
    TranslateInspectorTitles();
}

void TFormMain::TranslateInspectorTitles() {
    // The inspector's column titles are a list the window walk does not reach.
    m_ui->RSObjectInspector1->SetTitleCaptions({_("Property"), _("Value")});
}

void TFormMain::Image1Click() {
    // The last result (search, diagnostics, send) is shown again in the new language.
    const QString lastResult = SourceOfShownText(StatusBarDaxo()->PanelText(LastResultPanel));
    if (UseNextLanguage()) {
        RetranslateComponent(this);
        TranslateInspectorTitles();
        StatusBarDaxo()->SetPanelText(LastResultPanel, _(lastResult));
        // The connection panels are composed in the language in use.
        if (FormCommunicationConfig)
            FormCommunicationConfig->RefreshStatusBar();
    }
}

void TFormMain::toolbtnAboutClick() {
    if (FormAbout)
        FormAbout->exec();
}

void TFormMain::OutlookBtn_FindClick() {
    if (DiagnosticRunning) {
        ErrorBox(_("Can not find while connected!"));
        return;
    }
    if (FormFindSlave)
        FormFindSlave->exec();
    RefillDeviceCombo(0);
    m_ui->cbDiagnostic->setEnabled(true);
    m_ui->lbDiagnostic->setEnabled(true);
    for (QWidget* box :
         {static_cast<QWidget*>(m_ui->gbDigitalInput), static_cast<QWidget*>(m_ui->gbDigitalOutput)}) {
        QPalette pal = box->palette();
        pal.setColor(QPalette::WindowText, palette().color(QPalette::WindowText));
        box->setPalette(pal);
    }
}

void TFormMain::OutlookBtn_SendConfigClick() {
    auto* device = qobject_cast<TRemoteIO*>(SelectedObject());
    if (!device) {
        ErrorBox(_("Select a remote I/O."));
        return;
    }
    const int index = m_ui->cbDiagnostic->currentIndex();
    Calibration.CalibrationStep = 2;
    SendConfig(device);
    RefillDeviceCombo(index);
}

// Tree and device combo -------------------------------------------------------------------------------

void TFormMain::ShowInspected(QObject* object) {
    m_ui->RSObjectInspector1->SetComponent(object);
}

void TFormMain::tvNetworkChange(TTreeNode* node) {
    QObject* object = node ? node->Data() : nullptr;
    SelectedItem = qobject_cast<TCollectionItem*>(object);
    ShowInspected(object);
    const bool isAccepted = IsInspectableObject(object);
    bool showInspector = isAccepted;
    if (!isAccepted) {
        if (m_ui->gbCalibration->isVisible()) {
            m_ui->gbCalibration->setVisible(false);
            CalibrationBoxRestore = true;
        }
    } else if (auto* device = qobject_cast<TRemoteIO*>(object)) {
        if (device->AnalogicInput() || device->AnalogicOutput()) {
            if (CalibrationBoxRestore && m_ui->gbCalibration->isHidden())
                m_ui->gbCalibration->setVisible(true);
        } else if (m_ui->gbCalibration->isVisible()) {
            m_ui->gbCalibration->setVisible(false);
            CalibrationBoxRestore = true;
        }
    } else if (qobject_cast<TTemperatureInput*>(object)) {
        // The thermocouple settings exist on model 63 only.
        const TTreeNode* above = node->Parent();
        const auto* device = above ? qobject_cast<TRemoteIO*>(above->Data()) : nullptr;
        showInspector = device && device->Information()->ModelCode() == 63;
    }
    m_ui->lbInvalid->setVisible(!showInspector);
    m_ui->RSObjectInspector1->setVisible(showInspector);
    if (const auto* input = qobject_cast<const TChannelDigitalInput*>(object))
        ApplyDigitalInputFilters(*m_ui->RSObjectInspector1, *input);
    if (node) {
        const int index = m_ui->cbDiagnostic->findText(node->Text(), Qt::MatchExactly);
        if (index >= 0) {
            const QSignalBlocker block(m_ui->cbDiagnostic);
            m_ui->cbDiagnostic->setCurrentIndex(index);
        }
    }
}

void TFormMain::cbDiagnosticChange() {
    const int index = m_ui->cbDiagnostic->currentIndex();
    if (index < 0) {
        m_ui->btDiagnostic->setEnabled(false);
        return;
    }
    m_ui->btDiagnostic->setEnabled(true);
    CurrentDevice = qobject_cast<TRemoteIO*>(m_ui->cbDiagnostic->itemData(index).value<QObject*>());
    if (CurrentDevice && CurrentDevice->Node())
        m_ui->tvNetwork->setCurrentIndex(CurrentDevice->Node()->index());
    ShowInspected(CurrentDevice);
    AttachTreeChange();
}

void TFormMain::RefillDeviceCombo(int keepIndex) {
    QComboBox* combo = m_ui->cbDiagnostic;
    {
        const QSignalBlocker block(combo);
        combo->clear();
        ForgetDeviceNames();
        if (Network)
            for (TRemoteIO* device : Network->Devices())
                if (device) {
                    combo->addItem(device->Name(), QVariant::fromValue<QObject*>(device));
                    FollowDeviceName(device);
                }
        if (combo->count() == 0)
            return;
        combo->setCurrentIndex(keepIndex < combo->count() ? keepIndex : 0);
    }
    cbDiagnosticChange();
}

void TFormMain::FollowDeviceName(TRemoteIO* device) {
    // A new address renames the device: its entry shows the name the tree shows.
    m_deviceNames << connect(device, &QObject::objectNameChanged, this, [this, device](const QString& name) {
        QComboBox* combo = m_ui->cbDiagnostic;
        const int index = combo->findData(QVariant::fromValue<QObject*>(device));
        if (index >= 0)
            combo->setItemText(index, name);
    });
}

void TFormMain::ForgetDeviceNames() {
    for (const QMetaObject::Connection& connection : std::as_const(m_deviceNames))
        disconnect(connection);
    m_deviceNames.clear();
}

void TFormMain::ClearNetwork() {
    DetachTreeChange();
    ShowInspected(nullptr);
    SelectedItem = nullptr;
    CurrentDevice = nullptr;
    {
        // The combo's entries point at the devices about to go.
        const QSignalBlocker block(m_ui->cbDiagnostic);
        m_ui->cbDiagnostic->clear();
        ForgetDeviceNames();
    }
    m_ui->btDiagnostic->setEnabled(false);
    Network->Clear();
    AttachTreeChange();
}

// Send Config -----------------------------------------------------------------------------------------

TFormMain::TSendOutcome TFormMain::SendConfig(TRemoteIO* Device) {
    if (DiagnosticRunning) {
        ErrorBox(_("Can not send config while diagnostic."));
        return TSendOutcome::Refused;
    }
    // The job (and its worker) goes when this call returns, also when a check fails.
    std::unique_ptr<TSaveConfigJob> job;
    if (WorkerJobs.NewSaveConfig && ModbusMaster)
        job = WorkerJobs.NewSaveConfig(*ModbusMaster);
    CurrentDevice = Device;
    if (job)
        job->SetDevice(Device, Device->Comm()->Address());
    if (!CheckSendConfig(*Device))
        return TSendOutcome::Refused;
    // What the search could not read shows defaults; written back, they would replace the module's own
    // values, so only when the user says so: Enter alone keeps the module's values.
    if (!Calibration.Calibrating && Device->NotFullyRead() &&
        MessageDlg(_("Some settings of this remote I/O were not read and show their defaults.\n"
                     "Write these defaults to the module?"),
                   TMsgDlgType::mtConfirmation, mbYes | mbNo, 0, mbNo) != mrYes)
        return TSendOutcome::Refused;
    bool failed = false;
    const TSendConfigPlan plan = BuildSendConfigTasks(*Device, Calibration);
    if (job) {
        if (plan.LineSettings)
            job->SetLineSettings(*plan.LineSettings);
        for (const TSendConfigTask& task : plan.Tasks)
            job->AddTask(task);
        job->Start();
        if (FormSaveConfigStatus) {
            FormSaveConfigStatus->ui().ProgressBar1->setMaximum(job->TaskCount());
            FormSaveConfigStatus->exec();
        }
        job->WaitFor();
        failed = !job->Succeeded();
        job.reset();
    }
    // A module that did not take the command has nothing to settle.
    if (failed)
        return TSendOutcome::Failed;
    if (!Device->AnalogicOutput()) {
        if (Calibration.CalibrationStep == 0)
            CalibrationSettling(60);
        else if (Calibration.CalibrationStep == 1)
            CalibrationSettling(3);
    }
    return TSendOutcome::Sent;
}

void TFormMain::CalibrationSettling(int seconds) {
    // The module settles its calibration meanwhile; the bar shows the seconds go by.
    QProgressBar* bar = m_ui->pbCalibration;
    bar->setMaximum(seconds);
    for (int s = 0; s < seconds; ++s) {
        bar->setValue(s);
        bar->repaint();
        QThread::sleep(1);
    }
    // The last second has gone by too.
    bar->setValue(seconds);
    bar->repaint();
}

// Settings file ---------------------------------------------------------------------------------------

void TFormMain::lini(QString& Baudrate, QString& Stopbit, QString& Parity, QString& Channel, QString& Ip,
                     QString& Port, QString& Comtype) {
    const TSettingsValues v = ReadSettingsFile(SettingsFileName());
    Baudrate = v.Baudrate;
    Stopbit = v.Stopbit;
    Parity = v.Parity;
    Channel = v.Channel;
    Ip = v.Ip;
    Port = v.Port;
    Comtype = v.Comtype;
}

void TFormMain::gini(const QString& Baudrate, const QString& Stopbit, const QString& Parity,
                     const QString& Channel, const QString& Ip, const QString& Port, const QString& Comtype) {
    WriteSettingsFile(SettingsFileName(), {Baudrate, Stopbit, Parity, Channel, Ip, Port, Comtype});
}

void TFormMain::LoadParameters() {
    TSettingsValues v;
    lini(v.Baudrate, v.Stopbit, v.Parity, v.Channel, v.Ip, v.Port, v.Comtype);
    if (!v.AllNonEmpty() || !ModbusMaster)
        return;
    TSerialComm& port = *ModbusMaster->SerialPort;
    AssignInt(port.BaudRate, v.Baudrate);
    AssignInt(port.StopBits, v.Stopbit);
    AssignInt(port.Parity, v.Parity);
    port.PortName = v.Channel;
    ModbusMaster->Socket->Host = v.Ip;
    AssignInt(ModbusMaster->Socket->Port, v.Port);
    ModbusMaster->ConnectionType = v.Comtype == QLatin1String("0") ? 0 : 1;
}

void TFormMain::WarnOfSettingsProblem() {
    const QString fileName = SettingsFileName();
    const QString text = SettingsProblemText(SettingsFileProblem(fileName), fileName);
    if (text.isEmpty())
        return;
    // Once the window stands on the screen, so that the box is seen over it.
    QMetaObject::invokeMethod(
        this, [text] { MessageDlg(text, TMsgDlgType::mtWarning, mbOK); }, Qt::QueuedConnection);
}

bool TFormMain::SaveParameters(bool reportFailure) {
    if (!ModbusMaster)
        return true;
    const TSerialComm& port = *ModbusMaster->SerialPort;
    const int connection =
        FormCommunicationConfig ? FormCommunicationConfig->ConnectionType : ModbusMaster->ConnectionType;
    try {
        gini(QString::number(port.BaudRate), QString::number(port.StopBits), QString::number(port.Parity),
             port.PortName, ModbusMaster->Socket->Host, QString::number(ModbusMaster->Socket->Port),
             QString::number(connection));
    } catch (const EIniFileException& error) {
        // A settings problem the user can mend, not a fault of the program: a plain box, never a crash
        // report.
        if (reportFailure) {
            QString text = error.Message();
            if (!text.isEmpty() && text.back() > u'.')
                text += u'.';
            ApplicationMessageBox(text, ApplicationCaption(), MB_OK | MB_ICONERROR);
        }
        return false;
    }
    return true;
}
