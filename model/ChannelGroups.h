#pragma once
// Channel groups of a device: one tree node per group with one child node per channel. A group's
// owner is its device; its channels live in the group's collection.
#include "model/IOEnums.h"
#include "model/ModelNodes.h"
#include <memory>

class TChannelDigitalInput;
class TChannelDigitalOutput;
class TChannelAnalogicInput;
class TChannelAnalogicOutput;
class TChannelTemperature;

class TChannelIO : public TComponentNode {
    Q_OBJECT

public:
    // Frees the channels one at a time (each removing its node), then the collection.
    ~TChannelIO() override;

    TCollection* Channels() const { return m_channels.get(); }
    int GetCount() const { return m_channels->Count(); }
    // Drops every channel, then creates n fresh ones with default settings, named by position.
    void SetCount(int count);

protected:
    // The group sits below parentNode with the given node image; itemClass is its channel class.
    TChannelIO(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode, int nodeImage,
               const QMetaObject* itemClass);
    // A new channel appended to Channels, below the group's node.
    virtual TCollectionItemNode* NewChannel() = 0;
    // Gives a channel just appended by SetCount its name or node text.
    virtual void NameChannel(TCollectionItemNode* channel) = 0;

    // Digital channels: prefix + 0-based position of the channel's node among the group's children.
    void NameByPosition(TCollectionItemNode* channel, const QString& prefix) const;
    // Analog and temperature channels: only the node text, word + 1-based count of the group's children.
    void NameNodeByCount(TCollectionItemNode* channel, const QString& word) const;

private:
    std::unique_ptr<TCollection> m_channels;
};

class TDigitalInput : public TChannelIO {
    Q_OBJECT

public:
    TDigitalInput(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode);
    // An index outside the group shows "Index out of range" and gives nullptr.
    TChannelDigitalInput* GetChannel(int index) const;

protected:
    TCollectionItemNode* NewChannel() override;
    void NameChannel(TCollectionItemNode* channel) override;
};

class TDigitalOutput : public TChannelIO {
    Q_OBJECT

public:
    TDigitalOutput(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode);
    // An index outside the group raises the list index error.
    TChannelDigitalOutput* GetChannel(int index) const;
    // Appends the outputs "Inverter" and "Alarmes" after the numbered ones.
    void AddNamedOutputs();

protected:
    TCollectionItemNode* NewChannel() override;
    void NameChannel(TCollectionItemNode* channel) override;
};

class TAnalogicInput : public TChannelIO {
    Q_OBJECT

public:
    TAnalogicInput(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode);
    // An index outside the group raises the list index error.
    TChannelAnalogicInput* GetChannel(int index) const;

protected:
    TCollectionItemNode* NewChannel() override;
    void NameChannel(TCollectionItemNode* channel) override;
};

class TAnalogicOutput : public TChannelIO {
    Q_OBJECT

public:
    TAnalogicOutput(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode);
    // An index outside the group raises the list index error.
    TChannelAnalogicOutput* GetChannel(int index) const;

protected:
    TCollectionItemNode* NewChannel() override;
    void NameChannel(TCollectionItemNode* channel) override;
};

// Temperature inputs; the thermocouple settings apply to every channel and matter for model 63 only.
class TTemperatureInput : public TChannelIO {
    Q_OBJECT
    Q_PROPERTY(IOClasses::TRemoteTermopar Termopar READ Termopar WRITE SetTermopar)
    Q_PROPERTY(IOClasses::TRemoteJunta TermoparJunta READ TermoparJunta WRITE SetTermoparJunta)
    Q_CLASSINFO("default:Termopar", "Tipo_J")
    Q_CLASSINFO("default:TermoparJunta", "Sem_Junta_Fria")

public:
    TTemperatureInput(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode);
    // An index outside the group raises the list index error.
    TChannelTemperature* GetChannel(int index) const;

    TRemoteTermopar Termopar() const { return m_termopar; }
    void SetTermopar(TRemoteTermopar value) { m_termopar = value; }
    TRemoteJunta TermoparJunta() const { return m_termoparJunta; }
    void SetTermoparJunta(TRemoteJunta value) { m_termoparJunta = value; }

protected:
    TCollectionItemNode* NewChannel() override;
    void NameChannel(TCollectionItemNode* channel) override;

private:
    TRemoteTermopar m_termopar = TRemoteTermopar::Tipo_J;
    TRemoteJunta m_termoparJunta = TRemoteJunta::Sem_Junta_Fria;
};
