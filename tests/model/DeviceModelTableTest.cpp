// The device model table as the device builds it: model texts, groups, channel names and images.
#include "ModelFixture.h"

using DeviceModelTableTest = ModelTest;

TEST_F(DeviceModelTableTest, Code0HasEightInputsAndFourRelayOutputs) {
    TRemoteIO* device = AddDevice(1, 0);
    EXPECT_EQ(device->Information()->Model(), QString::fromUtf8("7610.00 - 8E N/P 24Vcc + 4S REL\xC3\x89"));
    EXPECT_EQ(device->Information()->Model().back(), QChar(0x00C9));
    EXPECT_EQ(ChildTexts(device->Node()), QStringList({"Digital_Input", "Digital_Output"}));
    EXPECT_EQ(ChildImages(device->Node()), QList<int>({1, 1}));
    EXPECT_EQ(device->DigitalInput()->Name(), "Digital_Input");
    EXPECT_EQ(ChildTexts(device->DigitalInput()->Node()),
              QStringList({"E0", "E1", "E2", "E3", "E4", "E5", "E6", "E7"}));
    EXPECT_EQ(ChildImages(device->DigitalInput()->Node()), QList<int>(8, 11));
    EXPECT_EQ(ChildTexts(device->DigitalOutput()->Node()), QStringList({"S0", "S1", "S2", "S3"}));
    EXPECT_EQ(ChildImages(device->DigitalOutput()->Node()), QList<int>(4, 12));
    EXPECT_EQ(device->DigitalOutput()->GetChannel(2)->ItemName(), "S2");
    EXPECT_EQ(device->AnalogicInput(), nullptr);
    EXPECT_EQ(device->AnalogicOutput(), nullptr);
    EXPECT_EQ(device->TemperatureInput(), nullptr);
}

TEST_F(DeviceModelTableTest, Code148AddsInverterAndAlarmesOutputs) {
    TRemoteIO* device = AddDevice(1, 148);
    EXPECT_EQ(device->Information()->Model(), "PLUVAS08");
    EXPECT_EQ(device->DigitalInput(), nullptr);
    ASSERT_EQ(device->DigitalOutput()->GetCount(), 10);
    EXPECT_EQ(ChildTexts(device->DigitalOutput()->Node()),
              QStringList({"S0", "S1", "S2", "S3", "S4", "S5", "S6", "S7", "Inverter", "Alarmes"}));
    EXPECT_EQ(device->DigitalOutput()->GetChannel(9)->ItemName(), "Alarmes");
}

TEST_F(DeviceModelTableTest, AnalogAndTemperatureGroups) {
    TRemoteIO* device = AddDevice(1, 62);
    EXPECT_EQ(device->Information()->Model(), QString::fromUtf8("7610.62 - 2E/2S Anal\xC3\xB3gicas"));
    EXPECT_EQ(ChildTexts(device->Node()), QStringList({"Analogic_Input", "Analogic_Output"}));
    EXPECT_EQ(ChildImages(device->Node()), QList<int>({0, 0}));
    EXPECT_EQ(ChildTexts(device->AnalogicInput()->Node()), QStringList({"Input1", "Input2"}));
    EXPECT_EQ(ChildTexts(device->AnalogicOutput()->Node()), QStringList({"Output1", "Output2"}));
    EXPECT_EQ(ChildImages(device->AnalogicOutput()->Node()), QList<int>({0, 0}));
    EXPECT_EQ(device->AnalogicInput()->GetChannel(1)->ItemName(), "") << "analog channels keep no item name";

    EXPECT_EQ(ChildTexts(AddDevice(2, 57)->Node()), QStringList({"Analogic_Output"}));
    EXPECT_EQ(AddDevice(3, 55)->AnalogicInput()->GetCount(), 4);

    TRemoteIO* thermo = AddDevice(4, 63);
    EXPECT_EQ(thermo->Information()->Model(), "7610.65 - 4E Temperaturas(Termopar)");
    EXPECT_EQ(ChildTexts(thermo->Node()), QStringList({"Temperature"}));
    EXPECT_EQ(ChildTexts(thermo->TemperatureInput()->Node()),
              QStringList({"Temperature 1", "Temperature 2", "Temperature 3", "Temperature 4"}));
    EXPECT_EQ(ChildImages(thermo->TemperatureInput()->Node()), QList<int>(4, 0));
    EXPECT_EQ(thermo->TemperatureInput()->Termopar(), TRemoteTermopar::Tipo_J);
    EXPECT_EQ(thermo->TemperatureInput()->TermoparJunta(), TRemoteJunta::Sem_Junta_Fria);
}

TEST_F(DeviceModelTableTest, ModelsWithoutChannelsAndUnknownCodes) {
    const std::pair<int, const char*> cases[] = {{99, "7610.70 - CANJ"},
                                                 {100, "PLUVERAM"},
                                                 {7, "Not Identified"},
                                                 {-1, "Not Identified"},
                                                 {65535, "Not Identified"}};
    for (const auto& [code, model] : cases) {
        TRemoteIO* device = AddDevice(code == 99 ? 1 : 2, code);
        EXPECT_EQ(device->Information()->Model(), model) << code;
        EXPECT_EQ(device->Information()->ModelCode(), code);
        EXPECT_EQ(device->Node()->Count(), 0) << code;
        EXPECT_EQ(device->DigitalInput(), nullptr);
        EXPECT_EQ(device->DigitalOutput(), nullptr);
        network->Clear();
    }
}

TEST_F(DeviceModelTableTest, Code128InputsAreMixed) {
    TRemoteIO* device = AddDevice(1, 128);
    ASSERT_EQ(device->DigitalInput()->GetCount(), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(device->DigitalInput()->GetChannel(i)->InputFunction(), TDigitalInputFunction::Mixed);
    EXPECT_EQ(ChildImages(device->DigitalInput()->Node()), QList<int>(8, 18));
}

TEST_F(DeviceModelTableTest, SecondModelCodeKeepsGroupsAndRenewsChannels) {
    TRemoteIO* device = AddDevice(1, 148);
    TDigitalOutput* outputs = device->DigitalOutput();
    device->Information()->SetModelCode(0);
    EXPECT_EQ(device->DigitalOutput(), outputs);
    EXPECT_EQ(ChildTexts(outputs->Node()), QStringList({"S0", "S1", "S2", "S3"}));

    TChannelDigitalInput* input = device->DigitalInput()->GetChannel(1);
    input->SetInputFunction(TDigitalInputFunction::Counter);
    input->SetPreset(77);
    TDigitalInput* inputs = device->DigitalInput();

    device->Information()->SetModelCode(0);
    // The output group stays where it was; the input group joined after it.
    EXPECT_EQ(ChildTexts(device->Node()), QStringList({"Digital_Output", "Digital_Input"}));
    EXPECT_EQ(device->DigitalInput(), inputs);
    EXPECT_EQ(inputs->GetCount(), 8);
    EXPECT_EQ(outputs->GetCount(), 4);
    EXPECT_EQ(ChildTexts(inputs->Node()).first(), "E0");
    EXPECT_EQ(inputs->GetChannel(1)->InputFunction(), TDigitalInputFunction::Normal);
    EXPECT_EQ(inputs->GetChannel(1)->Preset(), 0);
    EXPECT_EQ(inputs->GetChannel(1)->Node()->ImageIndex(), 11);
}

TEST_F(DeviceModelTableTest, ChannelLookupOutsideTheGroup) {
    TRemoteIO* device = AddDevice(1, 0);
    EXPECT_EQ(device->DigitalInput()->GetChannel(8), nullptr);
    const TMessageRequest r = TakeOnlyMessage();
    EXPECT_EQ(r.text, "Index out of range");
    EXPECT_EQ(r.type, TMsgDlgType::mtError);
    EXPECT_EQ(device->DigitalInput()->GetChannel(-1), nullptr);
    TakeOnlyMessage();

    EXPECT_THROW(device->DigitalOutput()->GetChannel(4), EListError);
}

TEST(DeviceModelTable, EveryCodeAppearsOnce) {
    QList<int> codes;
    for (const TDeviceModel& row : DeviceModels()) {
        EXPECT_FALSE(codes.contains(row.code)) << row.code;
        codes << row.code;
    }
    EXPECT_EQ(codes.size(), 19);
}
