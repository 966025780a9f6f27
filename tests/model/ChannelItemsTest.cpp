// Channel write routines: checks, messages, node images, the input/output alarm coupling and the
// device's modified mark.
#include "ModelFixture.h"
#include <QGuiApplication>

using DigitalInputTest = ModelTest;

TEST_F(DigitalInputTest, MixedIsForModel128Only) {
    TRemoteIO* device = AddDevice(1, 0);
    TChannelDigitalInput* input = device->DigitalInput()->GetChannel(0);
    input->SetInputFunction(TDigitalInputFunction::Mixed);
    const TMessageRequest r = TakeOnlyMessage();
    EXPECT_EQ(r.text, "Error! Invalid option.");
    EXPECT_EQ(r.type, TMsgDlgType::mtError);
    EXPECT_EQ(input->InputFunction(), TDigitalInputFunction::Normal);
    EXPECT_EQ(input->Node()->ImageIndex(), 11);
    EXPECT_TRUE(device->Modified());

    TRemoteIO* mixed = AddDevice(2, 128);
    TChannelDigitalInput* fixed = mixed->DigitalInput()->GetChannel(0);
    for (auto choice :
         {TDigitalInputFunction::Normal, TDigitalInputFunction::Counter, TDigitalInputFunction::Mixed}) {
        fixed->SetInputFunction(choice);
        EXPECT_EQ(fixed->InputFunction(), TDigitalInputFunction::Mixed);
        EXPECT_EQ(fixed->Node()->ImageIndex(), 18);
        EXPECT_EQ(fixed->Node()->SelectedIndex(), 18);
    }
    EXPECT_TRUE(messages->requests.isEmpty());
    EXPECT_TRUE(mixed->Modified());
}

TEST_F(DigitalInputTest, CounterSettingsLiveOnlyInCounter) {
    TRemoteIO* device = AddDevice(1, 0);
    TChannelDigitalInput* input = device->DigitalInput()->GetChannel(1);

    input->SetPreset(500);
    TMessageRequest r = TakeOnlyMessage();
    EXPECT_EQ(r.text, "Set \"InputFunction\" to \"Counter\"");
    EXPECT_EQ(r.type, TMsgDlgType::mtInformation);
    EXPECT_EQ(input->Preset(), 0);
    EXPECT_EQ(link.rebuilds, 0);
    EXPECT_FALSE(device->Modified());

    input->SetEnabledAlarmOutput(true);
    r = TakeOnlyMessage();
    EXPECT_EQ(r.text, "Set \"InputFunction\" to \"Counter\"");
    EXPECT_FALSE(input->EnabledAlarmOutput());
    EXPECT_EQ(link.rebuilds, 1);

    input->SetInputFunction(TDigitalInputFunction::Counter);
    EXPECT_EQ(input->Node()->ImageIndex(), 13);
    EXPECT_EQ(input->Node()->SelectedIndex(), 13);
    device->SetModified(false);
    input->SetPreset(500);
    EXPECT_EQ(input->Preset(), 500);
    EXPECT_TRUE(device->Modified());
    input->SetEnabledAlarmOutput(true);
    EXPECT_TRUE(input->EnabledAlarmOutput());

    input->SetInputFunction(TDigitalInputFunction::Normal);
    EXPECT_EQ(input->Preset(), 0);
    EXPECT_FALSE(input->EnabledAlarmOutput());
    EXPECT_EQ(input->Node()->ImageIndex(), 11);
    EXPECT_TRUE(messages->requests.isEmpty());
}

using AlarmOutputTest = ModelTest;

TEST_F(AlarmOutputTest, CounterDrivesTheOutputOfTheSameIndex) {
    TRemoteIO* device = AddDevice(1, 0);
    TChannelDigitalInput* input = device->DigitalInput()->GetChannel(2);
    TChannelDigitalOutput* output = device->DigitalOutput()->GetChannel(2);
    input->SetInputFunction(TDigitalInputFunction::Counter);
    device->SetModified(false);

    input->SetEnabledAlarmOutput(true);
    EXPECT_TRUE(output->AlarmLinked());
    EXPECT_EQ(output->Node()->ImageIndex(), 14);
    EXPECT_EQ(output->Node()->SelectedIndex(), 14);
    EXPECT_TRUE(device->Modified());
    EXPECT_FALSE(device->DigitalOutput()->GetChannel(1)->AlarmLinked());

    input->SetEnabledAlarmOutput(false);
    EXPECT_FALSE(output->AlarmLinked());
    EXPECT_EQ(output->Node()->ImageIndex(), 12);

    // Leaving the counter function releases the output it drove.
    input->SetEnabledAlarmOutput(true);
    input->SetInputFunction(TDigitalInputFunction::Normal);
    EXPECT_FALSE(output->AlarmLinked());
    EXPECT_EQ(output->Node()->ImageIndex(), 12);
    EXPECT_TRUE(messages->requests.isEmpty());
}

TEST_F(AlarmOutputTest, InputWithoutAnOutputOfItsIndex) {
    TRemoteIO* device = AddDevice(1, 0);
    TChannelDigitalInput* input = device->DigitalInput()->GetChannel(6);
    input->SetInputFunction(TDigitalInputFunction::Counter);
    device->SetModified(false);

    input->SetEnabledAlarmOutput(true);
    const TMessageRequest r = TakeOnlyMessage();
    EXPECT_EQ(r.kind, TMessageRequest::Kind::MessageBox);
    EXPECT_EQ(r.text, "Output 7 oes not exist physicaly.");
    EXPECT_EQ(r.caption, QGuiApplication::applicationDisplayName());
    EXPECT_EQ(r.flags & 0xF0u, unsigned(MB_ICONERROR));
    EXPECT_FALSE(input->EnabledAlarmOutput());
    EXPECT_EQ(link.rebuilds, 1);
    EXPECT_FALSE(device->Modified());

    input->SetEnabledAlarmOutput(false);
    EXPECT_TRUE(messages->requests.isEmpty());
    EXPECT_FALSE(input->EnabledAlarmOutput());
    EXPECT_EQ(link.rebuilds, 1);
}

TEST_F(AlarmOutputTest, DeviceWithoutOutputsIgnoresTheLink) {
    TRemoteIO* device = AddDevice(1, 20);
    TChannelDigitalInput* input = device->DigitalInput()->GetChannel(0);
    input->SetInputFunction(TDigitalInputFunction::Counter);
    device->SetModified(false);
    input->SetEnabledAlarmOutput(true);
    EXPECT_FALSE(input->EnabledAlarmOutput());
    EXPECT_TRUE(messages->requests.isEmpty());
    EXPECT_FALSE(device->Modified());
    EXPECT_EQ(link.rebuilds, 0);
}

using AnalogChannelTest = ModelTest;

TEST_F(AnalogChannelTest, InputLimitsAreChecked) {
    TRemoteIO* device = AddDevice(1, 62);
    TChannelAnalogicInput* input = device->AnalogicInput()->GetChannel(0);
    EXPECT_EQ(input->LimitMax(), 1000);
    EXPECT_EQ(input->LimitMin(), 0);

    input->SetLimitMax(65535);
    EXPECT_EQ(input->LimitMax(), 65535);
    EXPECT_TRUE(device->Modified());
    device->SetModified(false);
    for (int bad : {65536, -1}) {
        input->SetLimitMax(bad);
        const TMessageRequest r = TakeOnlyMessage();
        EXPECT_EQ(r.kind, TMessageRequest::Kind::MessageBox);
        EXPECT_EQ(r.text, "Capping off the range: 0-65535.");
        EXPECT_EQ(r.caption, "Error limit");
        EXPECT_EQ(r.flags & 0xF0u, unsigned(MB_ICONERROR));
        EXPECT_EQ(input->LimitMax(), 65535);
    }

    input->SetLimitMin(65536);
    const TMessageRequest r = TakeOnlyMessage();
    EXPECT_EQ(r.text, "Minimum threshold out of range: 0-65535");
    EXPECT_EQ(r.caption, "Error threshold");
    EXPECT_EQ(input->LimitMin(), 0);
    EXPECT_FALSE(device->Modified());
    EXPECT_EQ(link.rebuilds, 0);

    input->SetLimitMin(65535);
    EXPECT_EQ(input->LimitMin(), 65535);
    EXPECT_TRUE(device->Modified());
}

TEST_F(AnalogChannelTest, OnlyRealChangesMarkTheDevice) {
    TRemoteIO* device = AddDevice(1, 62);
    TChannelAnalogicInput* input = device->AnalogicInput()->GetChannel(1);
    TChannelAnalogicOutput* output = device->AnalogicOutput()->GetChannel(1);

    input->SetInputFunction(TAnalogicInputFunction::ifTensao10v);
    output->SetLimitMax(1000);
    EXPECT_FALSE(device->Modified());

    input->SetInputFunction(TAnalogicInputFunction::ifCorrente0to20ma);
    EXPECT_EQ(input->InputFunction(), TAnalogicInputFunction::ifCorrente0to20ma);
    EXPECT_TRUE(device->Modified());
    device->SetModified(false);
    output->SetLimitMax(5000);
    EXPECT_EQ(output->LimitMax(), 5000);
    EXPECT_TRUE(device->Modified());
    EXPECT_TRUE(messages->requests.isEmpty());
}

TEST_F(AnalogChannelTest, DisabledChannelsLoseTheirImage) {
    TRemoteIO* device = AddDevice(1, 62);
    TChannelAnalogicInput* input = device->AnalogicInput()->GetChannel(0);
    TChannelAnalogicOutput* output = device->AnalogicOutput()->GetChannel(0);
    for (TCollectionItemNode* channel : std::initializer_list<TCollectionItemNode*>{input, output}) {
        device->SetModified(false);
        WriteProperty(channel, "Enabled", false);
        EXPECT_EQ(channel->Node()->ImageIndex(), -1);
        EXPECT_EQ(channel->Node()->SelectedIndex(), -1);
        EXPECT_TRUE(device->Modified());
        device->SetModified(false);
        WriteProperty(channel, "Enabled", true);
        EXPECT_EQ(channel->Node()->ImageIndex(), 0);
        EXPECT_EQ(channel->Node()->SelectedIndex(), 0);
        EXPECT_TRUE(device->Modified());
    }
    EXPECT_TRUE(input->Enabled());
    EXPECT_TRUE(output->Enabled());
}
