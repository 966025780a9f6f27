#pragma once
// One object per physical channel, kept in its group's collection and shown below the group's node.
// The write routines of the published settings check the value, keep the node image, the linked
// output and the device's modified mark in step, and answer a refused value with a message box.
#include "model/IOEnums.h"
#include "model/ModelNodes.h"

class TChannelDigitalOutput;

class TChannelDigitalInput : public TCollectionItemNode {
    Q_OBJECT
    Q_PROPERTY(IOClasses::TDigitalInputFunction InputFunction READ InputFunction WRITE SetInputFunction)
    Q_PROPERTY(qint32 Preset READ Preset WRITE SetPreset)
    Q_PROPERTY(bool EnabledAlarmOutput READ EnabledAlarmOutput WRITE SetEnabledAlarmOutput)

public:
    // Normal, or Mixed on a model-128 device.
    TChannelDigitalInput(TCollection* collection, TChannelIO* ownerGroup, TTreeNodes* treeNodes,
                         TTreeNode* parentNode);

    TDigitalInputFunction InputFunction() const { return m_inputFunction; }
    // Model 128 is always Mixed; elsewhere Mixed is refused and Normal stored.
    void SetInputFunction(TDigitalInputFunction value);
    // The input's state, or on model 128 the channel's error flag; written by the live display.
    quint8 InputState() const { return m_inputState; }
    void SetInputState(quint8 value) { m_inputState = value; }
    qint32 Preset() const { return m_preset; }
    // Counter inputs only.
    void SetPreset(qint32 value);
    bool EnabledAlarmOutput() const { return m_enabledAlarmOutput; }
    // Counter inputs only; links the digital output of the same index.
    void SetEnabledAlarmOutput(bool value);

    // Node image of the function; Normal drops the counter settings.
    void UpdateInputFunctionView();

private:
    // The output of the same index, or nullptr when the device has none.
    TChannelDigitalOutput* SameIndexOutput() const;

    TDigitalInputFunction m_inputFunction = TDigitalInputFunction::Normal;
    quint8 m_inputState = 0;
    qint32 m_preset = 0;
    bool m_enabledAlarmOutput = false;
};

class TChannelDigitalOutput : public TCollectionItemNode {
    Q_OBJECT

public:
    TChannelDigitalOutput(TCollection* collection, TChannelIO* ownerGroup, TTreeNodes* treeNodes,
                          TTreeNode* parentNode);

    // Written by the live display.
    quint8 OutputState() const { return m_outputState; }
    void SetState(quint8 value) { m_outputState = value; }
    // Mirrors EnabledAlarmOutput of the input of the same index.
    bool AlarmLinked() const { return m_alarmLinked; }
    void SetAlarmLinked(bool value);

private:
    quint8 m_outputState = 0;
    bool m_alarmLinked = false;
};

class TChannelAnalogicInput : public TCollectionItemNode {
    Q_OBJECT
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(IOClasses::TAnalogicInputFunction InputFunction READ InputFunction WRITE SetInputFunction)
    Q_PROPERTY(qint32 LimitMax READ LimitMax WRITE SetLimitMax)
    Q_PROPERTY(qint32 LimitMin READ LimitMin WRITE SetLimitMin)

public:
    static constexpr qint32 LimitLow = 0;
    static constexpr qint32 LimitHigh = 65535;

    TChannelAnalogicInput(TCollection* collection, TChannelIO* ownerGroup, TTreeNodes* treeNodes,
                          TTreeNode* parentNode);

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool value);
    TAnalogicInputFunction InputFunction() const { return m_inputFunction; }
    void SetInputFunction(TAnalogicInputFunction value);
    qint32 LimitMax() const { return m_limitMax; }
    // 0 to 65535.
    void SetLimitMax(qint32 value);
    qint32 LimitMin() const { return m_limitMin; }
    // 0 to 65535.
    void SetLimitMin(qint32 value);

private:
    bool m_enabled = true;
    TAnalogicInputFunction m_inputFunction = TAnalogicInputFunction::ifTensao10v;
    qint32 m_limitMax = 1000;
    qint32 m_limitMin = 0;
};

class TChannelAnalogicOutput : public TCollectionItemNode {
    Q_OBJECT
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(qint32 LimitMax READ LimitMax WRITE SetLimitMax)

public:
    TChannelAnalogicOutput(TCollection* collection, TChannelIO* ownerGroup, TTreeNodes* treeNodes,
                           TTreeNode* parentNode);

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool value);
    qint32 LimitMax() const { return m_limitMax; }
    // Checked against 1..4000 only when the configuration is sent.
    void SetLimitMax(qint32 value);

private:
    bool m_enabled = true;
    qint32 m_limitMax = 1000;
};

// A temperature input; its settings belong to its group.
class TChannelTemperature : public TCollectionItemNode {
    Q_OBJECT

public:
    TChannelTemperature(TCollection* collection, TChannelIO* ownerGroup, TTreeNodes* treeNodes,
                        TTreeNode* parentNode);
};
