// The configuration writer end to end: the real master over TCP against the module simulator.
#include "BusFixture.h"

using namespace IOClasses;

class SaveConfigThreadTest : public BusFixture {
protected:
    // A found model-0 device at address 1, with settings edited in the model.
    TRemoteIO* FoundDevice() {
        Search(1, 1);
        EXPECT_EQ(network.GetCount(), 1);
        TRemoteIO* d = network.GetItem(0);
        d->Comm()->SetAddress(5);
        d->SetModified(true);
        return d;
    }
    int StoresOf(int address) { return int(Module(address).Counters.Stores); }
};

TEST_F(SaveConfigThreadTest, CompleteSendStoresTheConfigurationAndAdoptsTheNewAddressAndLine) {
    StartSimulator({{1, 0}});
    TRemoteIO* d = FoundDevice();
    const auto before = Module(1);
    hosts.searchEnded = false;

    auto* t = NewWriter(d);
    t->NewBaudRate = 19200;
    t->NewParity = 2;
    AddWrite(t, 6, 1, 513, 2);     // baud rate 19200
    AddWrite(t, 6, 1, 514, 5);     // address
    AddWrite(t, 6, 1, 515, 0);     // even parity, one stop bit
    AddWrite(t, 5, 1, 66, 0xFF00); // input 1 counts
    AddWrite(t, 6, 1, 2, 777);     // its preset
    AddWrite(t, 6, 1, 516, 0x6766);
    EXPECT_EQ(Send(t), 0);

    const auto after = Module(5);
    EXPECT_EQ(after.FlashCounter, before.FlashCounter + 1);
    EXPECT_EQ(after.ActiveAddress, 5);
    EXPECT_EQ(after.Stored.Baudrate, 2);
    EXPECT_EQ(after.Stored.Format, 0);
    EXPECT_TRUE(after.Stored.InputCounts[1]);
    EXPECT_EQ(after.Stored.Preset[1], 777);

    EXPECT_EQ(hosts.saveProgress.size(), 6);
    EXPECT_EQ(hosts.saveProgress.at(2), "Saving 3 of 6");
    EXPECT_EQ(hosts.statusText, "Save config ok.");
    EXPECT_EQ(hosts.progressClosed, 1);
    EXPECT_EQ(d->Comm()->CurrentAddress(), 5);
    EXPECT_EQ(d->Name(), "DAXO_5");
    EXPECT_FALSE(d->Modified());
    EXPECT_EQ(master.SerialPort->BaudRate, 19200);
    EXPECT_EQ(master.SerialPort->Parity, 2);
    EXPECT_EQ(messages->Texts(),
              QStringList({"Baudrate automaticaly changed", "Parity automaticaly changed"}));
    EXPECT_FALSE(master.Connected);
}

TEST_F(SaveConfigThreadTest, FailedWriteStopsAtOnceAndLeavesTheDeviceAsItWas) {
    StartSimulator({{1, 0}});
    TRemoteIO* d = FoundDevice();
    const int stores = StoresOf(1);

    auto* t = NewWriter(d);
    AddWrite(t, 6, 1, 514, 5);
    AddWrite(t, 6, 1, 9999, 1); // outside the map: exception 2
    AddWrite(t, 6, 1, 516, 0x6766);
    FindOptions.UseFactoryDefault = false;
    EXPECT_EQ(Send(t), 2);

    EXPECT_EQ(hosts.statusText, "ERROR EXCEPTION:ILLEGAL DATA ADDRESS");
    EXPECT_EQ(StoresOf(1), stores);
    EXPECT_EQ(Module(1).Pending.Address, 5); // the tasks before the failure are in the module
    EXPECT_EQ(hosts.saveProgress.size(), 1);
    EXPECT_EQ(d->Comm()->CurrentAddress(), 1);
    EXPECT_TRUE(d->Modified());
    EXPECT_TRUE(messages->requests.isEmpty());
    EXPECT_EQ(hosts.progressClosed, 1);
}

TEST_F(SaveConfigThreadTest, UnchangedLineShowsNoMessageAndFactoryModeWritesTo247) {
    StartSimulator({{1, 0}});
    TRemoteIO* d = FoundDevice();
    d->Comm()->SetAddress(1);

    auto* t = NewWriter(d);
    AddWrite(t, 5, 1, 65, 0xFF00);
    AddWrite(t, 6, 1, 516, 0x6766);
    FindOptions.UseFactoryDefault = true;
    EXPECT_EQ(Send(t), 0);

    EXPECT_FALSE(FindOptions.UseFactoryDefault);
    const auto s = Module(1);
    EXPECT_EQ(s.Log.back().Slave, 247);
    EXPECT_TRUE(s.Stored.InputCounts[0]);
    EXPECT_TRUE(messages->requests.isEmpty());
    EXPECT_EQ(hosts.statusText, "Save config ok.");
}

TEST_F(SaveConfigThreadTest, CalibrationSendChangesNothingInTheModelOrTheMaster) {
    StartSimulator({{1, 62}});
    TRemoteIO* d = FoundDevice();
    hosts.calibrationVisible = true;

    auto* t = NewWriter(d);
    t->NewBaudRate = 4800;
    AddWrite(t, 5, 1, 201, 0xFF00); // zero point of C0
    AddWrite(t, 6, 1, 516, 0x6766);
    EXPECT_EQ(Send(t), 0);

    EXPECT_EQ(hosts.statusText, "Save config ok.");
    EXPECT_EQ(Module(1).Calibrations[0], 1u);
    EXPECT_EQ(d->Comm()->CurrentAddress(), 1);
    EXPECT_TRUE(d->Modified());
    EXPECT_EQ(master.SerialPort->BaudRate, 9600);
    EXPECT_TRUE(messages->requests.isEmpty());
}

TEST_F(SaveConfigThreadTest, NoConnectionWritesNothing) {
    StartSimulator({{1, 0}});
    TRemoteIO* d = FoundDevice();
    master.Socket->Port = 1;
    auto* t = NewWriter(d);
    AddWrite(t, 6, 1, 516, 0x6766);
    EXPECT_EQ(Send(t), 1);
    EXPECT_EQ(hosts.statusText, "ERROR CONNECTION");
    EXPECT_TRUE(d->Modified());
}

TEST_F(SaveConfigThreadTest, ThreadThatNeverStartedIsFreedWithoutSending) {
    StartSimulator({{1, 0}});
    auto* t = NewWriter(network.AddRemoteIO());
    AddWrite(t, 6, 1, 516, 0x6766);
    EXPECT_EQ(t->WaitFor(), 0);
    delete t;
    EXPECT_TRUE(Module(1).Log.empty());
    EXPECT_EQ(hosts.progressClosed, 0);
}

TEST_F(SaveConfigThreadTest, ThermocoupleRegisterKeepsTheChosenTypeThroughItsReadBeforeWrite) {
    StartSimulator({{1, 63}});
    TRemoteIO* d = FoundDevice();
    d->Comm()->SetAddress(1);

    auto* t = NewWriter(d);
    TCommunicationTask* task = t->AddTask();
    task->FunctionCode = 6;
    task->Slave = 1;
    task->Number = 530;
    task->ReadBeforeWrite = 1; // with no count, as Send Config builds it
    task->ValueLow = 0x80 | 5; // no cold junction, type R
    AddWrite(t, 6, 1, 516, 0x6766);
    EXPECT_EQ(Send(t), 0);

    EXPECT_EQ(Module(1).Stored.Thermocouple, 0x85);
}
