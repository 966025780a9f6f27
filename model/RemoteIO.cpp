#include "model/RemoteIO.h"
#include "classlib/Dialogs.h"
#include "classlib/SysUtils.h"
#include "classlib/Translation.h"
#include "model/ChannelGroups.h"
#include "model/DeviceModelTable.h"
#include "model/InspectorLink.h"

namespace {

// Component names may be translated; a translation that is no valid identifier must not make the
// rename raise, so the source name is used then.
QString ComponentName(const QString& translated, const char* source) {
    return IsValidIdent(translated) ? translated : QString::fromLatin1(source);
}

void ShowError(const QString& text) {
    MessageDlg(text, TMsgDlgType::mtError, mbOK);
}

template <class Group> void FreeGroup(Group*& group) {
    delete group;
    group = nullptr;
}

} // namespace

// ---- TRemoteIOInformation ----

TRemoteIOInformation::TRemoteIOInformation(TComponent* owner)
    : TComponent(owner), m_firmwareVersion(QStringLiteral("00.00")) {}

void TRemoteIOInformation::SetModelCode(qint32 code) {
    // Stored first: the channel constructors read it.
    m_modelCode = code;
    m_model = DeviceModelText(code);
    auto* device = qobject_cast<TRemoteIO*>(Owner());
    if (!device)
        return;
    if (const TDeviceModel* row = FindDeviceModel(code))
        device->CreateChannels(row->digitalInputs, row->digitalOutputs, row->temperatureInputs,
                               row->analogOutputs, row->analogInputs);
    if (code == ModelCode::NamedOutputs && device->DigitalOutput())
        device->DigitalOutput()->AddNamedOutputs();
}

void TRemoteIOInformation::SetFirmwareVersion(qint32 value) {
    m_firmwareVersion = QString::asprintf("%.2d.%.2d", value / 100, value % 100);
}

void TRemoteIOInformation::SetDeviceName(const QString& name) {
    if (name.size() > MaxDeviceNameLength) {
        ShowError(_("Max length is 16 chars."));
        return;
    }
    m_deviceName = name;
}

// ---- TRemoteIOComm ----

TRemoteIOComm::TRemoteIOComm(TComponent* owner) : TComponent(owner) {}

TRemoteIO* TRemoteIOComm::Device() const {
    return qobject_cast<TRemoteIO*>(Owner());
}

void TRemoteIOComm::SetAddress(qint32 value) {
    if (value < MinAddress || value > MaxAddress) {
        ShowError(_("Out of range value. Min=") + QString::number(MinAddress) + _(", Max=") +
                  QString::number(MaxAddress));
        RebuildItems();
        return;
    }
    m_address = value;
    RenameDevice();
}

// The device is named after its configured address. When another device of the network already
// carries that name (two modules configured to one address), this one takes the first free
// "DAXO_<address>_<n>" from n = 2 on, so that names stay unique and still show the address.
void TRemoteIOComm::RenameDevice() {
    TRemoteIO* device = Device();
    if (!device)
        return;
    const QString base = QStringLiteral("DAXO_") + QString::number(m_address);
    QString name = base;
    if (const TComponent* network = device->Owner()) {
        for (int n = 2;; ++n) {
            const TComponent* holder = network->FindComponent(name);
            if (!holder || holder == device)
                break;
            name = base + QLatin1Char('_') + QString::number(n);
        }
    }
    device->SetName(name);
}

void TRemoteIOComm::SetBaudrate(TBaudrate value) {
    const TRemoteIO* device = Device();
    if (device && device->Information()->ModelCode() == ModelCode::CanGateway &&
        value != TBaudrate::BR_9600) {
        ShowError(_("Invalid value! Only the 9600 rate."));
        m_baudrate = TBaudrate::BR_9600;
        RebuildItems();
        return;
    }
    m_baudrate = value;
}

void TRemoteIOComm::SetParity(TParity value) {
    if (m_stopbit == TStopbit::SB_2 && value != TParity::None) {
        ShowError(_("Can not have parity with 2 stop bits"));
        m_parity = TParity::None;
        RebuildItems();
        return;
    }
    m_parity = value;
}

void TRemoteIOComm::SetStopbit(TStopbit value) {
    if (m_parity != TParity::None && value == TStopbit::SB_2) {
        ShowError(_("Stop bit can be only one with parity"));
        RebuildItems();
        return;
    }
    m_stopbit = value;
}

// ---- timeout register map ----

namespace {
constexpr qint32 kRegisterNoTimeout = 255;
constexpr qint32 kRegisterOneSecond = 20;
constexpr int kOrdinal950ms = int(TRemoteIOTimeOut::TM__950_MS);
constexpr int kOrdinal1s = int(TRemoteIOTimeOut::TM_001_S);
constexpr int kOrdinal12s = int(TRemoteIOTimeOut::TM_012_S);
} // namespace

TRemoteIOTimeOut TimeoutFromRegister(qint32 value) {
    if (value >= 1 && value <= kOrdinal950ms + 1)
        return TRemoteIOTimeOut(value - 1);
    if (value >= 20 && value <= 240 && value % 20 == 0)
        return TRemoteIOTimeOut(kOrdinal950ms + value / 20);
    switch (value) {
    case 600:
        return TRemoteIOTimeOut::TM_030_S;
    case 1200:
        return TRemoteIOTimeOut::TM_060_S;
    case 2400:
        return TRemoteIOTimeOut::TM_120_S;
    case kRegisterNoTimeout:
        return TRemoteIOTimeOut::TM_Sem_Timeout;
    default:
        return TRemoteIOTimeOut::TM_001_S;
    }
}

qint32 RegisterFromTimeout(TRemoteIOTimeOut timeout) {
    const int ordinal = int(timeout);
    if (ordinal >= 0 && ordinal <= kOrdinal950ms)
        return ordinal + 1;
    if (ordinal >= kOrdinal1s && ordinal <= kOrdinal12s)
        return (ordinal - kOrdinal950ms) * 20;
    switch (timeout) {
    case TRemoteIOTimeOut::TM_030_S:
        return 600;
    case TRemoteIOTimeOut::TM_060_S:
        return 1200;
    case TRemoteIOTimeOut::TM_120_S:
        return 2400;
    case TRemoteIOTimeOut::TM_Sem_Timeout:
        return kRegisterNoTimeout;
    default:
        return kRegisterOneSecond;
    }
}

// ---- TRemoteIO ----

TRemoteIO::TRemoteIO(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode)
    : TComponentNode(owner, treeNodes, parentNode) {
    SetNodeImage(NodeImage::Device);
    m_information = new TRemoteIOInformation(this);
    m_information->SetName(QStringLiteral("Information"));
    m_comm = new TRemoteIOComm(this);
    m_comm->SetName(QStringLiteral("Communication"));
}

TRemoteIO::~TRemoteIO() {
    FreeGroup(m_digitalInput);
    FreeGroup(m_digitalOutput);
    FreeGroup(m_analogicInput);
    FreeGroup(m_analogicOutput);
    FreeGroup(m_temperatureInput);
    delete m_comm;
    m_comm = nullptr;
    delete m_information;
    m_information = nullptr;
    // A device freed by anyone but its network must not stay in the network's list.
    if (auto* network = qobject_cast<TRemoteIONetwork*>(Owner()))
        network->m_devices.removeOne(this);
}

void TRemoteIO::SetModified(bool value) {
    m_modified = value;
    ShowState();
}

void TRemoteIO::SetNotFullyRead(bool value) {
    m_notFullyRead = value;
    ShowState();
}

void TRemoteIO::ShowState() {
    if (m_notFullyRead)
        SetNodeImage(m_modified ? NodeImage::DeviceModifiedNotFullyRead : NodeImage::DeviceNotFullyRead);
    else
        SetNodeImage(m_modified ? NodeImage::DeviceModified : NodeImage::Device);
}

void TRemoteIO::SetTimeoutFromDevice(qint32 value) {
    m_timeout = TimeoutFromRegister(value);
}

qint32 TRemoteIO::GetDeviceTimeout() const {
    return RegisterFromTimeout(m_timeout);
}

template <class Group> Group* TRemoteIO::EnsureGroup(Group*& field, const QString& name) {
    if (!field) {
        field = new Group(this, TreeNodes(), Node());
        field->SetName(name);
    }
    return field;
}

void TRemoteIO::CreateChannels(int digitalInputs, int digitalOutputs, int temperatureInputs,
                               int analogOutputs, int analogInputs) {
    if (digitalInputs > 0)
        EnsureGroup(m_digitalInput, ComponentName(_("Digital_Input"), "Digital_Input"))
            ->SetCount(digitalInputs);
    if (digitalOutputs > 0)
        EnsureGroup(m_digitalOutput, ComponentName(_("Digital_Output"), "Digital_Output"))
            ->SetCount(digitalOutputs);
    if (analogInputs > 0)
        EnsureGroup(m_analogicInput, ComponentName(_("Analogic_Input"), "Analogic_Input"))
            ->SetCount(analogInputs);
    if (analogOutputs > 0)
        EnsureGroup(m_analogicOutput, ComponentName(_("Analogic_Output"), "Analogic_Output"))
            ->SetCount(analogOutputs);
    if (temperatureInputs > 0)
        EnsureGroup(m_temperatureInput, ComponentName(_("Temperature"), "Temperature"))
            ->SetCount(temperatureInputs);
}

// ---- TRemoteIONetwork ----

TRemoteIONetwork::TRemoteIONetwork(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode)
    : TComponentNode(owner, treeNodes, parentNode) {
    SetNodeImage(NodeImage::Network);
    SetName(ComponentName(_("Network"), "Network"));
}

TRemoteIONetwork::~TRemoteIONetwork() {
    Clear();
}

TRemoteIO* TRemoteIONetwork::AddRemoteIO() {
    auto* device = new TRemoteIO(this, TreeNodes(), Node());
    m_devices.append(device);
    if (TTreeNode* node = Node())
        node->Expand(false);
    return device;
}

TRemoteIO* TRemoteIONetwork::FindByAddress(qint32 address) const {
    for (TRemoteIO* device : m_devices)
        if (device->Comm()->CurrentAddress() == address)
            return device;
    return nullptr;
}

void TRemoteIONetwork::Clear() {
    while (!m_devices.isEmpty())
        delete m_devices.takeFirst();
}

TRemoteIO* TRemoteIONetwork::GetItem(int index) const {
    if (index < 0 || index >= m_devices.size())
        RaiseListIndexError(index);
    return m_devices.at(index);
}
