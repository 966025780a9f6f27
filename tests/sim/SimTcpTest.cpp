// The simulator as the program meets it: hand-built RTU frames through a real TCP connection.
#include "RtuClient.h"

#include "tools/sim/Simulator.h"

#include <gtest/gtest.h>

using namespace simtest;
using vdsim::TSimFault;
using vdsim::TSimFaultKind;

namespace {

struct TModuleAt {
    int Address;
    int Model;
};

// One module of each kind of model, plus a code the model table does not know.
const std::vector<TModuleAt> Modules{{1, 0},  {2, 62},  {3, 63},  {4, 128}, {5, 148},
                                     {6, 99}, {7, 100}, {10, 55}, {11, 77}, {12, 64}};

class SimTcp : public ::testing::Test {
protected:
    void SetUp() override {
        vdsim::TSimOptions options;
        options.Port = 0;
        options.Still = true;
        for (const TModuleAt& module : Modules) {
            options.Modules.push_back({module.Address, module.Model});
        }
        Sim = std::make_unique<vdsim::TSimulator>(options);
        Sim->Start();
        Client = std::make_unique<TRtuClient>(TRtuClient::Tcp(Sim->Port()));
    }

    std::size_t Index(int address) { return Sim->FindModule(address).value(); }
    vdsim::TSimModuleState State(int address) { return Sim->State(Index(address)); }

    TBytes Ask(int slave, int function, int address, int value, int timeoutMs = 2000) {
        return Client->Transact(Request(slave, function, address, value), timeoutMs);
    }
    // A write whose echo must come back unchanged.
    void Write(int slave, int function, int address, int value) {
        const TBytes request = Request(slave, function, address, value);
        EXPECT_EQ(Client->Transact(request), request) << "write " << address << " at " << slave;
    }

    std::unique_ptr<vdsim::TSimulator> Sim;
    std::unique_ptr<TRtuClient> Client;
};

std::string NameOf(const std::vector<std::uint16_t>& block) {
    std::string name;
    for (int i = 6; i <= 13; ++i) {
        name += static_cast<char>(block[i] >> 8);
        name += static_cast<char>(block[i] & 0xFF);
    }
    return name;
}

} // namespace

TEST_F(SimTcp, InformationBlockOfEveryModel) {
    for (const TModuleAt& module : Modules) {
        SCOPED_TRACE("module at " + std::to_string(module.Address));
        const TBytes reply = Ask(module.Address, 3, 512, 17);
        ASSERT_TRUE(vdsim::HasValidCrc(reply));
        EXPECT_EQ(reply[0], module.Address);
        const auto r = RegistersOf(reply);
        ASSERT_EQ(r.size(), 17u);
        EXPECT_EQ(r[0], 1); // 9600 baud
        EXPECT_EQ(r[1], module.Address);
        EXPECT_EQ(r[2], 3);   // 8N1
        EXPECT_EQ(r[3], 0);   // command register reads 0
        EXPECT_EQ(r[4], 215); // firmware 2.15
        EXPECT_EQ(r[5], module.Model);
        EXPECT_EQ(NameOf(r).size(), 16u);
        EXPECT_EQ(r[14], 20);              // 1 s
        EXPECT_EQ(r[15] * 256 + r[16], 0); // never stored
    }
    EXPECT_EQ(NameOf(RegistersOf(Ask(1, 3, 512, 17))), "7610.00 #1      ");
    // The thermocouple register follows the block on model 63 only.
    EXPECT_EQ(RegistersOf(Ask(3, 3, 529, 1)), std::vector<std::uint16_t>{0x80});
    EXPECT_EQ(ExceptionOf(Ask(12, 3, 529, 1)), 2);
    EXPECT_EQ(ExceptionOf(Ask(1, 3, 512, 18)), 2);
}

TEST_F(SimTcp, EveryRequestOfTheSearchAndTheDiagnosticsIsAnswered) {
    struct TRead {
        int Slave, Function, Address, Quantity;
    };
    const std::vector<TRead> reads{
        // search steps 0 to 2, the digital inputs of models 0 and 128
        {1, 1, 64, 8},
        {1, 1, 128, 8},
        {1, 3, 0, 8},
        {4, 1, 64, 8},
        {4, 1, 128, 8},
        {4, 3, 0, 8},
        // steps 3 to 8 on model 62, and 4 and 5 doubled as in factory mode, also on model 55
        {2, 1, 202, 2},
        {2, 3, 112, 2},
        {2, 3, 108, 2},
        {2, 4, 116, 2},
        {2, 3, 304, 2},
        {2, 1, 208, 2},
        {2, 3, 112, 4},
        {2, 3, 108, 4},
        {10, 3, 112, 8},
        {10, 3, 108, 8},
        {10, 4, 116, 4},
        // diagnostics polls
        {1, 2, 0, 8},
        {1, 3, 32, 8},
        {1, 1, 0, 4},
        {2, 3, 104, 2},
        {2, 3, 302, 2},
        {3, 3, 500, 4},
        {12, 3, 500, 4},
        {4, 3, 1, 9},
        {5, 3, 9, 1},
        {5, 3, 251, 2},
        {6, 3, 100, 9},
        {7, 3, 1, 12},
        {9, 3, 1, 12}, // the meter's second line, at its address + 2
    };
    for (const TRead& read : reads) {
        const TBytes reply = Ask(read.Slave, read.Function, read.Address, read.Quantity);
        const int bytes = read.Function <= 2 ? (read.Quantity + 7) / 8 : read.Quantity * 2;
        EXPECT_EQ(reply.size(), 5u + bytes) << "slave " << read.Slave << " function " << read.Function
                                            << " address " << read.Address << " x" << read.Quantity;
        EXPECT_TRUE(vdsim::HasValidCrc(reply));
    }
    EXPECT_EQ(RegistersOf(Ask(2, 3, 112, 2)), (std::vector<std::uint16_t>{4000, 4000}));
}

TEST_F(SimTcp, OutsideTheMapIsExceptionTwo) {
    struct TBad {
        int Slave, Function, Address, Value, Exception;
    };
    const std::vector<TBad> bad{
        {1, 1, 202, 1, 2},                       // no analog inputs on model 0
        {1, 3, 8, 1, 2},                         // one past the presets
        {1, 1, 0, 5, 2},                         // past the four outputs
        {1, 3, 600, 1, 2},      {5, 1, 0, 1, 2}, // model 148 has no output coils
        {4, 2, 0, 1, 2},                         // nor model 128 discrete inputs
        {11, 3, 0, 1, 2},                        // an unknown model has the information block only
        {9, 3, 512, 17, 2},                      // the meter's second line is no module
        {1, 6, 517, 5, 2},                       // the model code is read-only
        {2, 5, 250, 0xFF00, 2}, {1, 3, 512, 0, 3},      {1, 1, 64, 2001, 3}, // quantities a module refuses
        {1, 6, 513, 0, 3},      {1, 6, 513, 248, 3},    {1, 6, 0, 65535, 3},
        {1, 5, 64, 0x1234, 3},  {6, 6, 512, 2, 3}, // the CAN gateway runs at 9600 only
        {1, 6, 526, 21, 3},     {1, 6, 515, 0x1234, 3}, {4, 6, 1, 32768, 3},
    };
    for (const TBad& request : bad) {
        const TBytes reply = Ask(request.Slave, request.Function, request.Address, request.Value);
        EXPECT_EQ(ExceptionOf(reply), request.Exception)
            << "slave " << request.Slave << " function " << request.Function << " address "
            << request.Address;
        EXPECT_TRUE(vdsim::HasValidCrc(reply));
    }
    // An unknown function is refused as such, whatever its length.
    TBytes writeMultiple{1, 16, 2, 0, 0, 1, 2, 0, 3};
    vdsim::AppendCrc(writeMultiple);
    EXPECT_EQ(ExceptionOf(Client->Transact(writeMultiple)), 1);
    EXPECT_EQ(State(1).Pending, State(1).Stored); // nothing refused was taken
}

TEST_F(SimTcp, WritesWaitForTheStoreCommandThenTheNewAddressAnswers) {
    Write(2, 6, 513, 40);
    Write(2, 6, 514, 2); // no parity, 2 stop bits
    Write(2, 6, 512, 3); // 38400
    Write(2, 6, 518, 'A' << 8 | 'B');
    Write(2, 5, 203, 0);    // analog input 2 off
    Write(2, 6, 305, 1234); // analog output 2 limit

    // Not stored yet: the module still answers at 2 and reports what was written.
    EXPECT_TRUE(Ask(40, 3, 512, 17, 200).empty());
    auto r = RegistersOf(Ask(2, 3, 512, 17));
    ASSERT_EQ(r.size(), 17u);
    EXPECT_EQ(r[1], 40);
    auto state = State(2);
    EXPECT_EQ(state.ActiveAddress, 2);
    EXPECT_EQ(state.Stored.Address, 2);
    EXPECT_FALSE(state.Pending == state.Stored);

    // The store command is answered from the old address; the new one takes over at once.
    Write(2, 6, 515, 0x6766);
    EXPECT_TRUE(Ask(2, 3, 512, 17, 200).empty());
    r = RegistersOf(Ask(40, 3, 512, 17));
    ASSERT_EQ(r.size(), 17u);
    EXPECT_EQ(r[0], 3);
    EXPECT_EQ(r[1], 40);
    EXPECT_EQ(r[2], 2);
    EXPECT_EQ(r[6], 'A' << 8 | 'B');
    EXPECT_EQ(r[15] * 256 + r[16], 1);
    EXPECT_EQ(BitsOf(Ask(40, 1, 202, 2), 2), (std::vector<int>{1, 0}));
    state = Sim->State(Index(40));
    EXPECT_EQ(state.Pending, state.Stored);
    EXPECT_EQ(state.ActiveBaudrate, 3);
    EXPECT_EQ(state.ActiveFormat, 2);
    EXPECT_EQ(state.Stored.OutputLimit[1], 1234);
    EXPECT_EQ(state.Counters.Stores, 1u);

    // A second store counts again (527 * 256 + 528).
    Sim->WithModule(Index(40), [](vdsim::TSimModule& module) { module.State().FlashCounter = 0x1FF; });
    Write(40, 6, 515, 0x6766);
    r = RegistersOf(Ask(40, 3, 527, 2));
    EXPECT_EQ(r, (std::vector<std::uint16_t>{2, 0}));
}

TEST_F(SimTcp, FactoryAddressIsAnsweredByTheFirstModuleThatListensThere) {
    TBytes reply = Ask(247, 3, 512, 17);
    ASSERT_EQ(RegistersOf(reply).size(), 17u);
    EXPECT_EQ(reply[0], 247);
    EXPECT_EQ(RegistersOf(reply)[1], 1);

    Sim->SetFactoryAnswer(Index(1), false);
    EXPECT_EQ(RegistersOf(Ask(247, 3, 512, 17))[1], 2);
    // The doubled analog reads of the factory-mode search stay inside the module's bank.
    EXPECT_EQ(RegistersOf(Ask(247, 3, 108, 4)).size(), 4u);

    // A configuration sent to 247 and stored moves that module to its new address.
    Write(247, 6, 513, 30);
    Write(247, 6, 515, 0x6766);
    EXPECT_EQ(State(30).Model.Code, 62);

    for (std::size_t i = 0; i < Sim->ModuleCount(); ++i) {
        Sim->SetFactoryAnswer(i, false);
    }
    EXPECT_TRUE(Ask(247, 3, 512, 17, 200).empty());
}

TEST_F(SimTcp, FaultsAreSwitchedPerModule) {
    const std::size_t two = Index(2);
    Sim->SetFault(two, TSimFault{TSimFaultKind::Silent});
    EXPECT_TRUE(Ask(2, 6, 513, 50, 200).empty());
    EXPECT_EQ(State(2).Pending.Address, 2); // a silent module did not hear the write
    EXPECT_EQ(RegistersOf(Ask(1, 3, 513, 1)), std::vector<std::uint16_t>{1});

    Sim->SetFault(two, TSimFault{TSimFaultKind::BadCrc});
    TBytes reply = Ask(2, 3, 513, 1);
    EXPECT_EQ(reply.size(), 7u);
    EXPECT_FALSE(vdsim::HasValidCrc(reply));

    Sim->SetFault(two, TSimFault{TSimFaultKind::WrongSlave});
    reply = Ask(2, 3, 513, 1);
    EXPECT_TRUE(vdsim::HasValidCrc(reply));
    EXPECT_NE(reply[0], 2);

    // A fault for one request only.
    Sim->SetFault(two, TSimFault{TSimFaultKind::Exception, 6, 1});
    EXPECT_EQ(ExceptionOf(Ask(2, 3, 513, 1)), 6);
    EXPECT_EQ(RegistersOf(Ask(2, 3, 513, 1)), std::vector<std::uint16_t>{2});
    EXPECT_EQ(State(2).Fault.Kind, TSimFaultKind::None);

    Sim->SetFault(two, TSimFault{TSimFaultKind::Late, 700});
    EXPECT_TRUE(Client->Transact(Request(2, 3, 513, 1), 100).empty());
    EXPECT_EQ(RegistersOf(Client->Receive(5000)), std::vector<std::uint16_t>{2});

    Sim->SetFault(two, TSimFault{TSimFaultKind::Drop, 0, 1});
    Client->Send(Request(2, 3, 513, 1));
    EXPECT_TRUE(Client->PeerClosed(2000));
    Client = std::make_unique<TRtuClient>(TRtuClient::Tcp(Sim->Port()));
    EXPECT_EQ(RegistersOf(Ask(2, 3, 513, 1)), std::vector<std::uint16_t>{2});
}

TEST_F(SimTcp, ABadCrcRequestIsIgnored) {
    TBytes request = Request(1, 3, 512, 17);
    request[7] ^= 0x01;
    EXPECT_TRUE(Client->Transact(request, 200).empty());
    EXPECT_EQ(RegistersOf(Ask(1, 3, 512, 17)).size(), 17u);
    EXPECT_EQ(Sim->Bus().Counters().Ignored, 1u);
}

TEST_F(SimTcp, LiveWritesActAtOnceAndLiveValuesMove) {
    Write(1, 5, 1, 0xFF00);
    EXPECT_EQ(BitsOf(Ask(1, 1, 0, 4), 4), (std::vector<int>{0, 1, 0, 0}));

    // Input 0 counts to its preset of 2, starts again and toggles output 0 each time.
    Write(1, 5, 64, 0xFF00);
    Write(1, 5, 128, 0xFF00);
    Write(1, 6, 0, 2);
    int toggles = 0;
    bool inputChanged = false;
    Sim->WithModule(Index(1), [&](vdsim::TSimModule& module) {
        auto& live = module.State().Live;
        for (int step = 0; step < 40; ++step) {
            const bool output = live.OutputState[0];
            const bool input = live.InputState[0];
            module.Step();
            toggles += output != live.OutputState[0];
            inputChanged |= input != live.InputState[0];
            EXPECT_LT(live.PulseCounter[0], 2);
        }
        EXPECT_GT(live.PulseCounter[1], 0); // a normal input's pulses are counted too
    });
    EXPECT_TRUE(inputChanged);
    EXPECT_GE(toggles, 2);

    // Model 148: the mask and the two named outputs (0 = on).
    Write(5, 6, 9, 0b101);
    EXPECT_EQ(RegistersOf(Ask(5, 3, 9, 1)), std::vector<std::uint16_t>{5});
    Write(5, 6, 251, 0);
    EXPECT_EQ(RegistersOf(Ask(5, 3, 251, 2)), (std::vector<std::uint16_t>{0, 1}));

    // Model 128: a written value keeps the channel's error flag.
    Sim->WithModule(Index(4), [](vdsim::TSimModule& module) { module.State().Live.WordInput[0] = 0x8005; });
    Write(4, 6, 1, 100);
    EXPECT_EQ(RegistersOf(Ask(4, 3, 1, 1)), std::vector<std::uint16_t>{0x8064});

    // An analog output value may reach its limit but not pass it.
    Write(2, 6, 304, 1000);
    EXPECT_EQ(ExceptionOf(Ask(2, 6, 302, 1001)), 3);
    Write(2, 6, 302, 1000);
    EXPECT_EQ(State(2).Live.OutputValue[0], 1000);

    // Calibration commands act on the write and read back off.
    Write(2, 5, 200, 0xFF00);
    Write(2, 5, 210, 0xFF00);
    EXPECT_EQ(BitsOf(Ask(2, 1, 200, 1), 1), std::vector<int>{0});
    EXPECT_EQ(State(2).Calibrations[0], 1u);
    EXPECT_EQ(State(2).Calibrations[4], 1u);

    // Temperatures in tenths, or whole degrees for thermocouple types S, R and B on model 63.
    const auto tenths = RegistersOf(Ask(3, 3, 500, 4));
    Write(3, 6, 529, 0x84);
    const auto whole = RegistersOf(Ask(3, 3, 500, 4));
    ASSERT_EQ(whole.size(), 4u);
    EXPECT_GT(tenths[0], 200);
    EXPECT_LT(whole[0], 100);
    EXPECT_LT(static_cast<std::int16_t>(whole[3]), 0);

    // The meter's line 2 answers at its address + 2.
    const auto line2 = State(7).Live.Meter[1];
    EXPECT_EQ(RegistersOf(Ask(9, 3, 1, 12)), std::vector<std::uint16_t>(line2.begin(), line2.end()));
}
