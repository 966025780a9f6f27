#include "model/ChannelGroups.h"
#include "classlib/Dialogs.h"
#include "classlib/Translation.h"
#include "model/ChannelItems.h"

// ---- TChannelIO ----

TChannelIO::TChannelIO(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode, int nodeImage,
                       const QMetaObject* itemClass)
    : TComponentNode(owner, treeNodes, parentNode),
      m_channels(
          std::make_unique<TCollection>(itemClass, this, [this](TCollection*) { return NewChannel(); })) {
    SetNodeImage(nodeImage);
}

TChannelIO::~TChannelIO() {
    while (m_channels->Count() > 0)
        delete m_channels->Items(0);
    m_channels.reset();
}

void TChannelIO::SetCount(int count) {
    m_channels->Clear();
    while (m_channels->Count() < count)
        NameChannel(static_cast<TCollectionItemNode*>(m_channels->Add()));
}

void TChannelIO::NameByPosition(TCollectionItemNode* channel, const QString& prefix) const {
    const int position = channel->Node() ? channel->Node()->Index() : channel->Index();
    channel->SetName(prefix + QString::number(position));
}

void TChannelIO::NameNodeByCount(TCollectionItemNode* channel, const QString& word) const {
    if (channel->Node() && Node())
        channel->Node()->SetText(word + QString::number(Node()->Count()));
}

// ---- TDigitalInput ----

TDigitalInput::TDigitalInput(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode)
    : TChannelIO(owner, treeNodes, parentNode, NodeImage::DigitalGroup,
                 &TChannelDigitalInput::staticMetaObject) {}

TChannelDigitalInput* TDigitalInput::GetChannel(int index) const {
    if (index < 0 || index >= GetCount()) {
        MessageDlg(_("Index out of range"), TMsgDlgType::mtError, mbOK);
        return nullptr;
    }
    return Channels()->ItemAs<TChannelDigitalInput>(index);
}

TCollectionItemNode* TDigitalInput::NewChannel() {
    return new TChannelDigitalInput(Channels(), this, TreeNodes(), Node());
}

void TDigitalInput::NameChannel(TCollectionItemNode* channel) {
    NameByPosition(channel, QStringLiteral("E"));
}

// ---- TDigitalOutput ----

TDigitalOutput::TDigitalOutput(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode)
    : TChannelIO(owner, treeNodes, parentNode, NodeImage::DigitalGroup,
                 &TChannelDigitalOutput::staticMetaObject) {}

TChannelDigitalOutput* TDigitalOutput::GetChannel(int index) const {
    return Channels()->ItemAs<TChannelDigitalOutput>(index);
}

void TDigitalOutput::AddNamedOutputs() {
    for (const char* name : {"Inverter", "Alarmes"})
        static_cast<TCollectionItemNode*>(Channels()->Add())->SetName(QString::fromLatin1(name));
}

TCollectionItemNode* TDigitalOutput::NewChannel() {
    return new TChannelDigitalOutput(Channels(), this, TreeNodes(), Node());
}

void TDigitalOutput::NameChannel(TCollectionItemNode* channel) {
    NameByPosition(channel, QStringLiteral("S"));
}

// ---- TAnalogicInput ----

TAnalogicInput::TAnalogicInput(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode)
    : TChannelIO(owner, treeNodes, parentNode, NodeImage::Analog, &TChannelAnalogicInput::staticMetaObject) {}

TChannelAnalogicInput* TAnalogicInput::GetChannel(int index) const {
    return Channels()->ItemAs<TChannelAnalogicInput>(index);
}

TCollectionItemNode* TAnalogicInput::NewChannel() {
    return new TChannelAnalogicInput(Channels(), this, TreeNodes(), Node());
}

void TAnalogicInput::NameChannel(TCollectionItemNode* channel) {
    NameNodeByCount(channel, _("Input"));
}

// ---- TAnalogicOutput ----

TAnalogicOutput::TAnalogicOutput(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode)
    : TChannelIO(owner, treeNodes, parentNode, NodeImage::Analog, &TChannelAnalogicOutput::staticMetaObject) {
}

TChannelAnalogicOutput* TAnalogicOutput::GetChannel(int index) const {
    return Channels()->ItemAs<TChannelAnalogicOutput>(index);
}

TCollectionItemNode* TAnalogicOutput::NewChannel() {
    return new TChannelAnalogicOutput(Channels(), this, TreeNodes(), Node());
}

void TAnalogicOutput::NameChannel(TCollectionItemNode* channel) {
    NameNodeByCount(channel, _("Output"));
}

// ---- TTemperatureInput ----

TTemperatureInput::TTemperatureInput(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode)
    : TChannelIO(owner, treeNodes, parentNode, NodeImage::Analog, &TChannelTemperature::staticMetaObject) {}

TChannelTemperature* TTemperatureInput::GetChannel(int index) const {
    return Channels()->ItemAs<TChannelTemperature>(index);
}

TCollectionItemNode* TTemperatureInput::NewChannel() {
    return new TChannelTemperature(Channels(), this, TreeNodes(), Node());
}

void TTemperatureInput::NameChannel(TCollectionItemNode* channel) {
    NameNodeByCount(channel, _("Temperature "));
}
