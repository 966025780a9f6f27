// The device search end to end: the real master over TCP against the module simulator.
#include "BusFixture.h"
#include "classlib/ThreadClasses.h"
#include <QDir>
#include <QThread>
#include <thread>

using namespace IOClasses;

namespace {

int CountRequests(const vdsim::TSimModuleState& s, int function, int address, int quantity = -1) {
    int n = 0;
    for (const auto& r : s.Log)
        if (r.Function == function && r.Address == address && (quantity < 0 || r.Value == quantity))
            ++n;
    return n;
}

} // namespace

class FindSlaveThreadTest : public BusFixture {};

TEST_F(FindSlaveThreadTest, RangeSearchBuildsEveryModelAndReadsItsConfigurationBack) {
    StartSimulator({{1, 0}, {2, 62}, {3, 63}, {4, 99}, {5, 100}, {6, 128}, {7, 148}});
    // Settings that differ from the model's defaults, so the read-back shows.
    sim->WithModule(*sim->FindModule(1), [](vdsim::TSimModule& m) {
        auto& c = m.State().Pending;
        c.InputCounts[2] = true;
        c.AlarmLink[2] = true;
        c.Preset[2] = 1234;
        c.Baudrate = 3;
        c.Format = 1;
        c.Timeout = 40;
        const char name[] = "Pump\x01house";
        std::fill(c.Name.begin(), c.Name.end(), ' ');
        std::copy(name, name + sizeof(name) - 1, c.Name.begin());
    });
    sim->WithModule(*sim->FindModule(2), [](vdsim::TSimModule& m) {
        auto& c = m.State().Pending;
        c.AnalogEnabled[1] = false;
        c.LimitMax[0] = 3000;
        c.LimitMin[0] = 100;
        c.Function[1] = 2;
        c.OutputLimit[1] = 2500;
        c.OutputEnabled[0] = false;
    });
    sim->WithModule(*sim->FindModule(3), [](vdsim::TSimModule& m) { m.State().Pending.Thermocouple = 0x05; });

    Search(1, 8);

    EXPECT_EQ(hosts.statusText, "Find ok");
    EXPECT_EQ(hosts.progressCalls, 8);
    EXPECT_EQ(hosts.statusBarRefreshes, 1);
    EXPECT_FALSE(master.Connected);
    ASSERT_EQ(network.GetCount(), 7);

    TRemoteIO* d0 = network.FindByAddress(1);
    ASSERT_NE(d0, nullptr);
    EXPECT_EQ(d0->Name(), "DAXO_1");
    EXPECT_EQ(d0->Information()->ModelCode(), 0);
    EXPECT_EQ(d0->Comm()->Baudrate(), TBaudrate::BR_38400);
    EXPECT_EQ(d0->Comm()->Parity(), TParity::Odd);
    EXPECT_EQ(d0->Comm()->Stopbit(), TStopbit::SB_1);
    EXPECT_EQ(d0->Timeout(), TRemoteIOTimeOut::TM_002_S);
    EXPECT_EQ(d0->Information()->DeviceName(), "Pump house      ");
    ASSERT_EQ(d0->DigitalInput()->GetCount(), 8);
    EXPECT_EQ(d0->DigitalInput()->GetChannel(2)->InputFunction(), TDigitalInputFunction::Counter);
    EXPECT_TRUE(d0->DigitalInput()->GetChannel(2)->EnabledAlarmOutput());
    EXPECT_TRUE(d0->DigitalOutput()->GetChannel(2)->AlarmLinked());
    EXPECT_EQ(d0->DigitalInput()->GetChannel(2)->Preset(), 1234);
    EXPECT_EQ(d0->DigitalInput()->GetChannel(1)->InputFunction(), TDigitalInputFunction::Normal);
    EXPECT_FALSE(d0->Modified());
    // Model 0: eight-entry reads for the digital steps, no analog step.
    const auto s0 = Module(1);
    EXPECT_EQ(CountRequests(s0, 1, 64, 8), 1);
    EXPECT_EQ(CountRequests(s0, 1, 128, 8), 1);
    EXPECT_EQ(CountRequests(s0, 3, 0, 8), 1);
    EXPECT_EQ(CountRequests(s0, 1, 202), 0);

    TRemoteIO* d62 = network.FindByAddress(2);
    ASSERT_NE(d62, nullptr);
    ASSERT_NE(d62->AnalogicInput(), nullptr);
    ASSERT_NE(d62->AnalogicOutput(), nullptr);
    EXPECT_TRUE(d62->AnalogicInput()->GetChannel(0)->Enabled());
    EXPECT_FALSE(d62->AnalogicInput()->GetChannel(1)->Enabled());
    EXPECT_EQ(d62->AnalogicInput()->GetChannel(0)->LimitMax(), 3000);
    EXPECT_EQ(d62->AnalogicInput()->GetChannel(0)->LimitMin(), 100);
    EXPECT_EQ(d62->AnalogicInput()->GetChannel(0)->InputFunction(), TAnalogicInputFunction::ifTensao10v);
    EXPECT_EQ(d62->AnalogicInput()->GetChannel(1)->InputFunction(),
              TAnalogicInputFunction::ifCorrente0to20ma);
    EXPECT_EQ(d62->AnalogicOutput()->GetChannel(1)->LimitMax(), 2500);
    EXPECT_FALSE(d62->AnalogicOutput()->GetChannel(0)->Enabled());

    TRemoteIO* d63 = network.FindByAddress(3);
    ASSERT_NE(d63->TemperatureInput(), nullptr);
    EXPECT_EQ(d63->TemperatureInput()->Termopar(), TRemoteTermopar::Tipo_R);
    EXPECT_EQ(d63->TemperatureInput()->TermoparJunta(), TRemoteJunta::Com_Junta_Fria);
    EXPECT_EQ(CountRequests(Module(3), 3, 529, 1), 1);

    // The gateway and the meter are read with the information block only.
    for (int address : {4, 5}) {
        const auto s = Module(address);
        EXPECT_EQ(s.Log.size(), 1u) << address;
        TRemoteIO* d = network.FindByAddress(address);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->DigitalInput(), nullptr);
        EXPECT_EQ(d->AnalogicInput(), nullptr);
    }
    EXPECT_EQ(network.FindByAddress(6)->DigitalInput()->GetChannel(0)->InputFunction(),
              TDigitalInputFunction::Mixed);
    EXPECT_EQ(network.FindByAddress(7)->DigitalOutput()->GetCount(), 10);
    // Nothing refused a value read from a module.
    EXPECT_TRUE(messages->requests.isEmpty()) << messages->Texts().join('|').toStdString();
}

TEST_F(FindSlaveThreadTest, SilentAddressesAddNothingAndFormatTwoIsTakenQuietly) {
    StartSimulator({{2, 0}});
    master.Timeout = 50;
    sim->WithModule(0, [](vdsim::TSimModule& m) { m.State().Pending.Format = 2; });

    Search(1, 3);

    ASSERT_EQ(network.GetCount(), 1);
    TRemoteIO* d = network.GetItem(0);
    EXPECT_EQ(d->Name(), "DAXO_2");
    EXPECT_EQ(d->Comm()->CurrentAddress(), 2);
    EXPECT_EQ(d->Comm()->Parity(), TParity::None);
    EXPECT_EQ(d->Comm()->Stopbit(), TStopbit::SB_2);
    EXPECT_TRUE(messages->requests.isEmpty());
    // The search timeout was put back.
    EXPECT_EQ(master.Timeout, 50);
}

// A cancel ends the read in flight at once: the address being asked is dropped, and the devices
// found before it stay.
TEST_F(FindSlaveThreadTest, CancelStopsBeforeTheNextAddressAndKeepsWhatWasFound) {
    StartSimulator({{1, 20}, {2, 24}, {3, 28}, {4, 40}});
    hosts.onProgress = [this](int call) {
        if (call == 2)
            searchThread.load()->Terminate();
    };

    Search(1, 4);

    EXPECT_EQ(hosts.progressCalls, 2);
    ASSERT_EQ(network.GetCount(), 1);
    EXPECT_EQ(network.GetItem(0)->Comm()->CurrentAddress(), 1);
    EXPECT_FALSE(network.GetItem(0)->NotFullyRead());
    EXPECT_TRUE(Module(2).Log.empty());
    EXPECT_TRUE(Module(3).Log.empty());
    EXPECT_EQ(hosts.statusText, "Find ok");
}

// A cancel while a step's read waits for a module that went silent: the read ends at once, no further
// step is sent, and the device says that some of its settings were not read.
TEST_F(FindSlaveThreadTest, CancelDuringTheStepsLeavesTheDeviceMarkedAsNotFullyRead) {
    StartSimulator({{2, 62}});
    vdsim::TSimFault silent{vdsim::TSimFaultKind::Silent, 0, 1};
    silent.Skip = 1; // the information block is answered
    sim->SetFault(0, silent);
    TFindSlaveThread::SearchTimeoutMs = 60000;
    std::thread cancel([this] {
        // The information block and the first step's request have gone out.
        for (int i = 0; i < 2000 && sim->Bus().Counters().Frames < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        // Cancel is pressed on the main thread, which also frees the worker when it ends.
        TFindSlaveThread* const thread = searchThread.load();
        QMetaObject::invokeMethod(
            thread, [thread] { thread->Terminate(); }, Qt::QueuedConnection);
    });
    Search(2, 2);
    cancel.join();
    ASSERT_EQ(network.GetCount(), 1);
    EXPECT_TRUE(network.GetItem(0)->NotFullyRead());
    EXPECT_EQ(sim->Bus().Counters().Frames, 2u);
    EXPECT_TRUE(hosts.searchEnded);
}

TEST_F(FindSlaveThreadTest, FactoryModeReadsAddress247OnceWithDoubledAnalogQuantities) {
    StartSimulator({{9, 62}});
    master.SerialPort->BaudRate = 57600;
    master.SerialPort->StopBits = 2;

    Search(1, 10, true);

    EXPECT_EQ(hosts.progressCalls, 0);
    ASSERT_EQ(network.GetCount(), 1);
    // Filed where it answered, at the factory address and line; configured to its own address.
    EXPECT_EQ(network.GetItem(0)->Comm()->CurrentAddress(), 247);
    EXPECT_EQ(network.GetItem(0)->Comm()->Address(), 9);
    const auto s = Module(9);
    for (const auto& r : s.Log)
        EXPECT_EQ(r.Slave, 247);
    EXPECT_EQ(CountRequests(s, 3, 512, 17), 1);
    EXPECT_EQ(CountRequests(s, 3, 112, 4), 1);
    EXPECT_EQ(CountRequests(s, 3, 108, 4), 1);
    EXPECT_EQ(CountRequests(s, 1, 202, 2), 1);
    // The factory line settings stay.
    EXPECT_EQ(master.SerialPort->BaudRate, 9600);
    EXPECT_EQ(master.SerialPort->DataBits, 8);
    EXPECT_EQ(master.SerialPort->StopBits, 1);
    EXPECT_EQ(master.SerialPort->Parity, 0);
}

TEST_F(FindSlaveThreadTest, NoConnectionReadsNothing) {
    StartSimulator({{1, 0}});
    master.Socket->Port = 1; // nothing listens there
    Search(1, 2);
    EXPECT_EQ(hosts.statusText, "ERROR CONNECTION");
    EXPECT_EQ(network.GetCount(), 0);
    EXPECT_EQ(hosts.statusBarRefreshes, 0);
    EXPECT_TRUE(hosts.searchEnded);
}

TEST_F(FindSlaveThreadTest, SearchOverAPseudoTerminal) {
    vdsim::TSimOptions options;
    options.Modules = {{3, 64}};
    options.Tcp = false;
    options.Pty = true;
    options.Still = true;
    sim = std::make_unique<vdsim::TSimulator>(options);
    sim->Start();
    master.ConnectionType = 0;
    master.SerialPort->PortName = QString::fromStdString(sim->PtyPath());
    master.SerialPort->BaudRate = 9600;

    Search(2, 3);

    ASSERT_EQ(network.GetCount(), 1);
    TRemoteIO* d = network.GetItem(0);
    EXPECT_EQ(d->Name(), "DAXO_3");
    ASSERT_NE(d->TemperatureInput(), nullptr);
    EXPECT_EQ(d->TemperatureInput()->GetCount(), 4);
    EXPECT_EQ(hosts.statusText, "Find ok");
}

namespace {

// The classes of the process's threads as the registry names them.
std::vector<std::string> RunningThreadClasses() {
    std::vector<std::string> classes;
    QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& entry : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const std::string name = ThreadClassName(entry.toLongLong());
        if (!name.empty())
            classes.push_back(name);
    }
    return classes;
}

// Workers leave the registry as their threads end, a moment after their end handlers; an earlier test's
// worker may still be on its way out.
bool WaitUntilNoThreadClassIsRegistered() {
    QElapsedTimer guard;
    guard.start();
    while (!RunningThreadClasses().empty() && guard.elapsed() < 10000)
        QThread::msleep(1);
    return RunningThreadClasses().empty();
}

} // namespace

TEST_F(FindSlaveThreadTest, TheSearchWorkerIsKnownByItsClassWhileItRuns) {
    ASSERT_TRUE(WaitUntilNoThreadClassIsRegistered());
    StartSimulator({{1, 0}});
    std::vector<std::string> during;
    hosts.onProgress = [&](int) {
        if (during.empty())
            during = RunningThreadClasses();
    };
    Search(1, 2);
    ASSERT_EQ(during.size(), 1u);
    EXPECT_EQ(during[0], "TFindSlaveThread");
    EXPECT_TRUE(WaitUntilNoThreadClassIsRegistered());
}
