#include "model/ChannelItems.h"
#include "classlib/Dialogs.h"
#include "classlib/Translation.h"
#include "model/ChannelGroups.h"
#include "model/DeviceModelTable.h"
#include "model/InspectorLink.h"
#include "model/RemoteIO.h"

namespace {

void ShowError(const QString& text) {
    MessageDlg(text, TMsgDlgType::mtError, mbOK);
}

void ShowCounterFunctionNeeded() {
    MessageDlg(_("Set \"InputFunction\" to \"Counter\""), TMsgDlgType::mtInformation, mbOK);
}

} // namespace

// ---- TChannelDigitalInput ----

TChannelDigitalInput::TChannelDigitalInput(TCollection* collection, TChannelIO* ownerGroup,
                                           TTreeNodes* treeNodes, TTreeNode* parentNode)
    : TCollectionItemNode(collection, ownerGroup, treeNodes, parentNode) {
    if (DeviceModelCode() == ModelCode::MixedInputs) {
        m_inputFunction = TDigitalInputFunction::Mixed;
        SetNodeImage(NodeImage::InputMixed);
    } else {
        SetNodeImage(NodeImage::InputNormal);
    }
}

void TChannelDigitalInput::SetInputFunction(TDigitalInputFunction value) {
    if (DeviceModelCode() == ModelCode::MixedInputs) {
        m_inputFunction = TDigitalInputFunction::Mixed;
    } else if (value == TDigitalInputFunction::Mixed) {
        ShowError(_("Error! Invalid option."));
        m_inputFunction = TDigitalInputFunction::Normal;
    } else {
        m_inputFunction = value;
    }
    UpdateInputFunctionView();
    MarkDevice();
}

void TChannelDigitalInput::UpdateInputFunctionView() {
    switch (m_inputFunction) {
    case TDigitalInputFunction::Normal:
        // An output linked to this counter would otherwise keep showing a link nobody holds.
        if (m_enabledAlarmOutput)
            if (TChannelDigitalOutput* output = SameIndexOutput())
                output->SetAlarmLinked(false);
        m_preset = 0;
        m_enabledAlarmOutput = false;
        SetNodeImage(NodeImage::InputNormal);
        break;
    case TDigitalInputFunction::Counter:
        SetNodeImage(NodeImage::InputCounter);
        break;
    case TDigitalInputFunction::Mixed:
        SetNodeImage(NodeImage::InputMixed);
        break;
    }
}

void TChannelDigitalInput::SetPreset(qint32 value) {
    if (m_inputFunction != TDigitalInputFunction::Counter) {
        ShowCounterFunctionNeeded();
        m_preset = 0;
        return;
    }
    m_preset = value;
    MarkDevice();
}

void TChannelDigitalInput::SetEnabledAlarmOutput(bool value) {
    if (m_inputFunction != TDigitalInputFunction::Counter) {
        ShowCounterFunctionNeeded();
        m_enabledAlarmOutput = false;
        RebuildItems();
        return;
    }
    const TRemoteIO* device = Device();
    const TDigitalOutput* outputs = device ? device->DigitalOutput() : nullptr;
    if (!outputs)
        return;
    m_enabledAlarmOutput = value;
    const int index = Index();
    if (index >= 0 && index < outputs->GetCount()) {
        outputs->GetChannel(index)->SetAlarmLinked(value);
        MarkDevice();
    } else if (value) {
        ApplicationMessageBox(_("Output ") + QString::number(index + 1) + _(" oes not exist physicaly."),
                              ApplicationCaption(), MB_OK | MB_ICONERROR);
        m_enabledAlarmOutput = false;
        RebuildItems();
    }
}

TChannelDigitalOutput* TChannelDigitalInput::SameIndexOutput() const {
    const TRemoteIO* device = Device();
    const TDigitalOutput* outputs = device ? device->DigitalOutput() : nullptr;
    const int index = Index();
    if (!outputs || index < 0 || index >= outputs->GetCount())
        return nullptr;
    return outputs->GetChannel(index);
}

// ---- TChannelDigitalOutput ----

TChannelDigitalOutput::TChannelDigitalOutput(TCollection* collection, TChannelIO* ownerGroup,
                                             TTreeNodes* treeNodes, TTreeNode* parentNode)
    : TCollectionItemNode(collection, ownerGroup, treeNodes, parentNode) {
    SetNodeImage(NodeImage::Output);
}

void TChannelDigitalOutput::SetAlarmLinked(bool value) {
    m_alarmLinked = value;
    SetNodeImage(value ? NodeImage::OutputAlarmLinked : NodeImage::Output);
}

// ---- TChannelAnalogicInput ----

TChannelAnalogicInput::TChannelAnalogicInput(TCollection* collection, TChannelIO* ownerGroup,
                                             TTreeNodes* treeNodes, TTreeNode* parentNode)
    : TCollectionItemNode(collection, ownerGroup, treeNodes, parentNode) {
    SetNodeImage(NodeImage::Analog);
}

void TChannelAnalogicInput::SetEnabled(bool value) {
    m_enabled = value;
    if (Node()) {
        SetNodeImage(value ? NodeImage::Analog : NodeImage::None);
        MarkDevice();
    }
}

void TChannelAnalogicInput::SetInputFunction(TAnalogicInputFunction value) {
    if (value != m_inputFunction)
        MarkDevice();
    m_inputFunction = value;
}

void TChannelAnalogicInput::SetLimitMax(qint32 value) {
    if (value < LimitLow || value > LimitHigh) {
        ApplicationMessageBox(_("Capping off the range: 0-65535."), _("Error limit"), MB_OK | MB_ICONERROR);
        return;
    }
    m_limitMax = value;
    MarkDevice();
}

void TChannelAnalogicInput::SetLimitMin(qint32 value) {
    if (value < LimitLow || value > LimitHigh) {
        ApplicationMessageBox(_("Minimum threshold out of range: 0-65535"), _("Error threshold"),
                              MB_OK | MB_ICONERROR);
        return;
    }
    m_limitMin = value;
    MarkDevice();
}

// ---- TChannelAnalogicOutput ----

TChannelAnalogicOutput::TChannelAnalogicOutput(TCollection* collection, TChannelIO* ownerGroup,
                                               TTreeNodes* treeNodes, TTreeNode* parentNode)
    : TCollectionItemNode(collection, ownerGroup, treeNodes, parentNode) {
    SetNodeImage(NodeImage::Analog);
}

void TChannelAnalogicOutput::SetEnabled(bool value) {
    m_enabled = value;
    if (Node()) {
        SetNodeImage(value ? NodeImage::Analog : NodeImage::None);
        MarkDevice();
    }
}

void TChannelAnalogicOutput::SetLimitMax(qint32 value) {
    if (value != m_limitMax)
        MarkDevice();
    m_limitMax = value;
}

// ---- TChannelTemperature ----

TChannelTemperature::TChannelTemperature(TCollection* collection, TChannelIO* ownerGroup,
                                         TTreeNodes* treeNodes, TTreeNode* parentNode)
    : TCollectionItemNode(collection, ownerGroup, treeNodes, parentNode) {
    SetNodeImage(NodeImage::Analog);
}
