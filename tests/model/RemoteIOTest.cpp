// Devices: the communication write routines, the information block values, the timeout register
// map and finding a device by the address it answers at.
#include "ModelFixture.h"

using CommTest = ModelTest;

TEST_F(CommTest, AddressOutsideOneTo247IsRefused) {
    TRemoteIO* device = AddDevice(3, 0);
    for (int bad : {0, 248, -1}) {
        device->Comm()->SetAddress(bad);
        const TMessageRequest r = TakeOnlyMessage();
        EXPECT_EQ(r.kind, TMessageRequest::Kind::MessageDlg);
        EXPECT_EQ(r.type, TMsgDlgType::mtError);
        EXPECT_EQ(r.buttons, TMsgDlgButtons(mbOK));
        EXPECT_EQ(r.text, "Out of range value. Min=1, Max=247");
        EXPECT_EQ(device->Comm()->Address(), 3);
        EXPECT_EQ(device->Node()->Text(), "DAXO_3");
    }
    EXPECT_EQ(link.rebuilds, 3);

    device->Comm()->SetAddress(247);
    EXPECT_EQ(device->Node()->Text(), "DAXO_247");
    device->Comm()->SetAddress(1);
    EXPECT_EQ(device->Name(), "DAXO_1");
    EXPECT_TRUE(messages->requests.isEmpty());
    EXPECT_EQ(link.rebuilds, 3);
    EXPECT_FALSE(device->Modified()) << "the inspector's change event marks, not the routine";
}

TEST_F(CommTest, AddressAlreadyNamingAnotherDeviceGetsANumberedName) {
    TRemoteIO* a = AddDevice(5, 0);
    TRemoteIO* b = AddDevice(6, 0);
    TRemoteIO* c = AddDevice(7, 0);

    b->Comm()->SetAddress(5);
    EXPECT_EQ(b->Comm()->Address(), 5);
    EXPECT_EQ(b->Name(), "DAXO_5_2");
    c->Comm()->SetAddress(5);
    EXPECT_EQ(c->Name(), "DAXO_5_3");
    EXPECT_EQ(ChildTexts(network->Node()), QStringList({"DAXO_5", "DAXO_5_2", "DAXO_5_3"}));
    EXPECT_TRUE(messages->requests.isEmpty());

    // Writing the same address again keeps the name the device has.
    c->Comm()->SetAddress(5);
    EXPECT_EQ(c->Name(), "DAXO_5_3");

    // Once the plain name is free again it is taken.
    a->Comm()->SetAddress(8);
    b->Comm()->SetAddress(5);
    EXPECT_EQ(b->Name(), "DAXO_5");
    EXPECT_EQ(a->Name(), "DAXO_8");
}

TEST_F(CommTest, BaudRateOfTheCanGatewayIs9600Only) {
    TRemoteIO* gateway = AddDevice(1, 99);
    gateway->Comm()->SetBaudrate(TBaudrate::BR_19200);
    const TMessageRequest r = TakeOnlyMessage();
    EXPECT_EQ(r.text, "Invalid value! Only the 9600 rate.");
    EXPECT_EQ(r.type, TMsgDlgType::mtError);
    EXPECT_EQ(gateway->Comm()->Baudrate(), TBaudrate::BR_9600);
    EXPECT_EQ(link.rebuilds, 1);
    gateway->Comm()->SetBaudrate(TBaudrate::BR_9600);
    EXPECT_TRUE(messages->requests.isEmpty());

    TRemoteIO* other = AddDevice(2, 0);
    other->Comm()->SetBaudrate(TBaudrate::BR_57600);
    EXPECT_EQ(other->Comm()->Baudrate(), TBaudrate::BR_57600);
    EXPECT_TRUE(messages->requests.isEmpty());
}

TEST_F(CommTest, ParityAndTwoStopBitsExcludeEachOther) {
    TRemoteIOComm* comm = AddDevice(1, 0)->Comm();
    comm->SetStopbit(TStopbit::SB_2);
    comm->SetParity(TParity::Odd);
    TMessageRequest r = TakeOnlyMessage();
    EXPECT_EQ(r.text, "Can not have parity with 2 stop bits");
    EXPECT_EQ(comm->Parity(), TParity::None);
    EXPECT_EQ(link.rebuilds, 1);
    comm->SetParity(TParity::None);
    EXPECT_TRUE(messages->requests.isEmpty());

    comm->SetStopbit(TStopbit::SB_1);
    comm->SetParity(TParity::Even);
    EXPECT_EQ(comm->Parity(), TParity::Even);
    comm->SetStopbit(TStopbit::SB_2);
    r = TakeOnlyMessage();
    EXPECT_EQ(r.text, "Stop bit can be only one with parity");
    EXPECT_EQ(r.type, TMsgDlgType::mtError);
    EXPECT_EQ(comm->Stopbit(), TStopbit::SB_1);
    EXPECT_EQ(link.rebuilds, 2);
}

using InformationTest = ModelTest;

TEST_F(InformationTest, FirmwareVersionAndDeviceName) {
    TRemoteIOInformation* info = network->AddRemoteIO()->Information();
    EXPECT_EQ(info->FirmwareVersion(), "00.00");
    EXPECT_EQ(info->Model(), "");
    EXPECT_EQ(info->ModelCode(), 0);
    info->SetFirmwareVersion(307);
    EXPECT_EQ(info->FirmwareVersion(), "03.07");
    info->SetFirmwareVersion(0);
    EXPECT_EQ(info->FirmwareVersion(), "00.00");
    info->SetFirmwareVersion(12345);
    EXPECT_EQ(info->FirmwareVersion(), "123.45");

    info->SetDeviceName("ABCDEFGHIJKLMNOP");
    EXPECT_EQ(info->DeviceName(), "ABCDEFGHIJKLMNOP");
    EXPECT_TRUE(messages->requests.isEmpty());
    info->SetDeviceName("ABCDEFGHIJKLMNOPQ");
    const TMessageRequest r = TakeOnlyMessage();
    EXPECT_EQ(r.text, "Max length is 16 chars.");
    EXPECT_EQ(r.type, TMsgDlgType::mtError);
    EXPECT_EQ(info->DeviceName(), "ABCDEFGHIJKLMNOP");
}

using TimeoutMapTest = ModelTest;

TEST_F(TimeoutMapTest, RegisterToTimeout) {
    TRemoteIO* device = network->AddRemoteIO();
    EXPECT_EQ(device->Timeout(), TRemoteIOTimeOut::TM__050_MS);
    const std::pair<int, TRemoteIOTimeOut> cases[] = {
        {1, TRemoteIOTimeOut::TM__050_MS},
        {2, TRemoteIOTimeOut::TM__100_MS},
        {19, TRemoteIOTimeOut::TM__950_MS},
        {20, TRemoteIOTimeOut::TM_001_S},
        {40, TRemoteIOTimeOut::TM_002_S},
        {100, TRemoteIOTimeOut::TM_005_S},
        {240, TRemoteIOTimeOut::TM_012_S},
        {600, TRemoteIOTimeOut::TM_030_S},
        {1200, TRemoteIOTimeOut::TM_060_S},
        {2400, TRemoteIOTimeOut::TM_120_S},
        {255, TRemoteIOTimeOut::TM_Sem_Timeout},
        // Anything the map does not name reads as one second.
        {0, TRemoteIOTimeOut::TM_001_S},
        {21, TRemoteIOTimeOut::TM_001_S},
        {250, TRemoteIOTimeOut::TM_001_S},
        {260, TRemoteIOTimeOut::TM_001_S},
        {-20, TRemoteIOTimeOut::TM_001_S},
        {65535, TRemoteIOTimeOut::TM_001_S},
    };
    for (const auto& [value, expected] : cases) {
        device->SetTimeoutFromDevice(value);
        EXPECT_EQ(device->Timeout(), expected) << "register " << value;
    }
}

TEST_F(TimeoutMapTest, TimeoutToRegisterIsTheInverse) {
    TRemoteIO* device = network->AddRemoteIO();
    device->SetTimeout(TRemoteIOTimeOut::TM_012_S);
    EXPECT_EQ(device->GetDeviceTimeout(), 240);
    device->SetTimeout(TRemoteIOTimeOut::TM__050_MS);
    EXPECT_EQ(device->GetDeviceTimeout(), 1);
    device->SetTimeout(TRemoteIOTimeOut::TM_001_S);
    EXPECT_EQ(device->GetDeviceTimeout(), 20);
    device->SetTimeout(TRemoteIOTimeOut::TM_Sem_Timeout);
    EXPECT_EQ(device->GetDeviceTimeout(), 255);
    EXPECT_EQ(RegisterFromTimeout(TRemoteIOTimeOut(99)), 20);

    const int count = QMetaEnum::fromType<TRemoteIOTimeOut>().keyCount();
    ASSERT_EQ(count, 35);
    for (int ordinal = 0; ordinal < count; ++ordinal) {
        const auto timeout = TRemoteIOTimeOut(ordinal);
        EXPECT_EQ(TimeoutFromRegister(RegisterFromTimeout(timeout)), timeout) << "ordinal " << ordinal;
    }
}

using FindByAddressTest = ModelTest;

TEST_F(FindByAddressTest, MatchesTheAddressTheDeviceAnswersAtNow) {
    EXPECT_EQ(network->FindByAddress(3), nullptr);
    TRemoteIO* a = AddDevice(3, 0);
    TRemoteIO* b = AddDevice(4, 0);
    a->Comm()->SetAddress(9);
    EXPECT_EQ(network->FindByAddress(3), a);
    EXPECT_EQ(network->FindByAddress(9), nullptr);
    EXPECT_EQ(network->FindByAddress(4), b);

    // After a send the configured address becomes the current one.
    a->Comm()->SetCurrentAddress(a->Comm()->Address());
    EXPECT_EQ(network->FindByAddress(9), a);
    EXPECT_EQ(network->FindByAddress(3), nullptr);
}
