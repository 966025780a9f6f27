#include "app/CommConfig.h"
#include "app/Globals.h"
#include "app/Main.h"
#include "app/SerialPortCheck.h"
#include "app/StatusBar.h"
#include "app/WindowPlacement.h"
#include "classlib/Dialogs.h"
#include "classlib/Translation.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "platform/Registry.h"
#include "ui_CommConfig.h"
#include <QLineEdit>
#include <QRadioButton>
#include <QShowEvent>
#include <limits>

namespace {

constexpr int kBaudRates[] = {4800, 9600, 19200, 38400, 57600};

int BaudIndex(int baud) {
    for (int i = 0; i < int(std::size(kBaudRates)); ++i)
        if (kBaudRates[i] == baud)
            return i;
    return -1;
}

// Text that is no integer leaves the setting as it was.
template <class T> void AssignInt(T& target, const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (ok)
        target = T(v);
}

// Setup takes what the master can wait: at least 1 ms per attempt (0 would fail every request at once),
// and no value its 32-bit settings cannot hold.
constexpr int kMinTimeoutMs = 1;
constexpr int kMinRetries = 0;
constexpr int kMaxRetries = std::numeric_limits<std::int32_t>::max();

// A number in the edit outside min..max is refused with a message and the edit gets the focus. Text that
// is no number is left to AssignInt.
bool NumberInRange(QLineEdit& edit, int min, int max) {
    bool ok = false;
    const qlonglong v = edit.text().trimmed().toLongLong(&ok);
    if (!ok || (v >= min && v <= max))
        return true;
    MessageDlg(_("Out of range value. Min=") + QString::number(min) + _(", Max=") + QString::number(max),
               TMsgDlgType::mtError, mbOK);
    edit.setFocus();
    edit.selectAll();
    return false;
}

} // namespace

TFormCommunicationConfig::TFormCommunicationConfig(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TFormCommunicationConfig>()) {
    m_ui->setupUi(this);
    setWindowFlags(DialogWindowFlags | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(410, 225);
    CentreOnEveryShow(*this);
    connect(m_ui->btOk, &QPushButton::clicked, this, &TFormCommunicationConfig::btOkClick);
    connect(m_ui->btCancel, &QPushButton::clicked, this, &TFormCommunicationConfig::btCancelClick);
    connect(m_ui->rgConnection, &TRadioGroup::itemClicked, this,
            &TFormCommunicationConfig::rgConnectionClick);
    connect(m_ui->rgStopbit, &TRadioGroup::itemClicked, this, &TFormCommunicationConfig::rgStopbitClick);
    FormCreate();
}

TFormCommunicationConfig::~TFormCommunicationConfig() = default;

TModbusSerialTCPMaster* TFormCommunicationConfig::Master() const {
    return ModbusMaster;
}

TStatusBar* TFormCommunicationConfig::StatusBar() const {
    return FormMain ? FormMain->StatusBarDaxo() : nullptr;
}

void TFormCommunicationConfig::FormCreate() {
    TranslateComponent(this);
    rgConnectionClick();
    RelistPorts();
}

void TFormCommunicationConfig::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TFormCommunicationConfig::FormShow() {
    RetranslateComponent(this);
    RelistPorts();
    LoadFromMaster();
}

void TFormCommunicationConfig::ListSerialPorts(QStringList& items) {
    items.clear();
    TRegistry reg;
    reg.RootKey = TRootKey::HKEY_LOCAL_MACHINE;
    if (!reg.OpenKeyReadOnly(QStringLiteral("Hardware\\DeviceMap\\SerialComm")))
        return;
    for (const QString& name : reg.GetValueNames())
        items << reg.ReadString(name);
    reg.CloseKey();
}

void TFormCommunicationConfig::RelistPorts() {
    QStringList ports;
    ListSerialPorts(ports);
    m_ui->cbSerialComm->clear();
    m_ui->cbSerialComm->addItems(ports);
    m_ui->cbSerialComm->setCurrentIndex(-1);
}

void TFormCommunicationConfig::LoadFromMaster() {
    const TModbusSerialTCPMaster* master = Master();
    if (!master)
        return;
    const TSerialComm& port = *master->SerialPort;
    if (master->ConnectionType == 0 || master->ConnectionType == 1) {
        m_ui->rgConnection->SetItemIndex(master->ConnectionType);
        ConnectionType = master->ConnectionType;
    } else {
        m_ui->rgConnection->SetItemIndex(-1);
    }
    // A name that is not in the list (one typed earlier, or a udev name from the settings file) stays
    // in the box: pressing OK again must not lose it.
    const int entry = m_ui->cbSerialComm->findText(port.PortName, Qt::MatchExactly);
    m_ui->cbSerialComm->setCurrentIndex(entry);
    if (entry < 0)
        m_ui->cbSerialComm->setEditText(port.PortName);
    m_ui->edTimeout->setText(QString::number(master->Timeout));
    m_ui->edRetry->setText(QString::number(master->Retries));
    m_ui->rgDatabit->SetItemIndex(int(port.DataBits) - 7);
    m_ui->rgStopbit->SetItemIndex(int(port.StopBits) - 1);
    m_ui->rgParity->SetItemIndex(int(port.Parity));
    m_ui->rgBaudrate->SetItemIndex(BaudIndex(port.BaudRate));
    m_ui->edIP->setText(master->Socket->Host);
    m_ui->edPort->setText(QString::number(master->Socket->Port));
    // Choosing an item runs the item's rule, as a click does.
    rgConnectionClick();
}

void TFormCommunicationConfig::rgConnectionClick() {
    const bool serial = m_ui->rgConnection->ItemIndex() != 1;
    for (QWidget* w : std::initializer_list<QWidget*>{m_ui->lbSerialComm, m_ui->cbSerialComm, m_ui->lbTimeout,
                                                      m_ui->edTimeout, m_ui->lbRetry, m_ui->edRetry,
                                                      m_ui->rgBaudrate, m_ui->rgDatabit, m_ui->rgStopbit})
        w->setEnabled(serial);
    for (QWidget* w : std::initializer_list<QWidget*>{m_ui->lbIP, m_ui->edIP, m_ui->lbPort, m_ui->edPort})
        w->setEnabled(!serial);
    rgStopbitClick();
}

void TFormCommunicationConfig::rgStopbitClick() {
    // Two stop bits leave no room for a parity bit. The parity group stays off in TCP mode as well.
    if (m_ui->rgStopbit->ItemIndex() == 1) {
        m_ui->rgParity->SetItemIndex(0);
        m_ui->rgParity->setEnabled(false);
    } else {
        m_ui->rgParity->setEnabled(m_ui->rgConnection->ItemIndex() != 1);
    }
}

bool TFormCommunicationConfig::TypedPortAccepted(QString& portName) const {
    portName = m_ui->cbSerialComm->currentText().trimmed();
    // The list's entries, the port the master already has (its device may be unplugged just now) and an
    // empty box are taken as they are; any other name must open as a serial port.
    if (portName.isEmpty() || m_ui->cbSerialComm->findText(portName, Qt::MatchExactly) >= 0)
        return true;
    if (const TModbusSerialTCPMaster* master = Master(); master && master->SerialPort->PortName == portName)
        return true;
    return SerialPortOpens(portName);
}

void TFormCommunicationConfig::btOkClick() {
    QString portName;
    if (!TypedPortAccepted(portName)) {
        MessageDlg(_("No such serial port: %1").arg(portName), TMsgDlgType::mtError, mbOK);
        m_ui->cbSerialComm->setFocus();
        return; // the dialog stays open and nothing is copied
    }
    // A timeout or retry count the master cannot wait is refused in the same way.
    if (!NumberInRange(*m_ui->edTimeout, kMinTimeoutMs, MaxTimeoutMs) ||
        !NumberInRange(*m_ui->edRetry, kMinRetries, kMaxRetries))
        return;
    TModbusSerialTCPMaster* master = Master();
    if (master) {
        TSerialComm& port = *master->SerialPort;
        const int connection = m_ui->rgConnection->ItemIndex();
        if (connection == 0 || connection == 1)
            master->ConnectionType = quint8(connection);
        port.PortName = portName;
        AssignInt(master->Timeout, m_ui->edTimeout->text());
        AssignInt(master->Retries, m_ui->edRetry->text());
        if (m_ui->rgDatabit->ItemIndex() >= 0)
            port.DataBits = quint8(m_ui->rgDatabit->ItemIndex() + 7);
        if (m_ui->rgStopbit->ItemIndex() >= 0)
            port.StopBits = quint8(m_ui->rgStopbit->ItemIndex() + 1);
        if (m_ui->rgParity->ItemIndex() >= 0)
            port.Parity = quint8(m_ui->rgParity->ItemIndex());
        const int baud = m_ui->rgBaudrate->ItemIndex();
        port.BaudRate = baud >= 0 && baud != 1 ? kBaudRates[baud] : 9600;
        master->Socket->Host = m_ui->edIP->text();
        AssignInt(master->Socket->Port, m_ui->edPort->text());
    }
    RefreshStatusBar();
    accept();
}

void TFormCommunicationConfig::btCancelClick() {
    reject();
}

void TFormCommunicationConfig::RefreshStatusBar() {
    LoadFromMaster();
    TStatusBar* bar = StatusBar();
    if (!bar)
        return;
    const int connection = m_ui->rgConnection->ItemIndex();
    bar->SetPanelText(0, _(m_ui->rgConnection->ItemText(connection)));
    if (connection != 1) {
        // The master's port name, as LoadFromMaster put it into the box (an entry or a typed name).
        bar->SetPanelText(1, m_ui->cbSerialComm->currentText());
        const QStringList parts{_(m_ui->rgBaudrate->ItemText(m_ui->rgBaudrate->ItemIndex())),
                                _(m_ui->rgDatabit->ItemText(m_ui->rgDatabit->ItemIndex())),
                                _(m_ui->rgStopbit->ItemText(m_ui->rgStopbit->ItemIndex())),
                                _(m_ui->rgParity->ItemText(m_ui->rgParity->ItemIndex()))};
        bar->SetPanelText(2, parts.join(QLatin1Char(',')));
    } else {
        bar->SetPanelText(1, m_ui->edIP->text());
        bar->SetPanelText(2, m_ui->edPort->text());
    }
}
