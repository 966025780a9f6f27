// What a recovery costs, counted in frames sent and waits made: a fence sent too often, a wait skipped
// or doubled, or a module left doubtful shows in the counts, whatever the machine's speed. The module is
// on a scripted line, where the test sets every frame's arrival time: what a case counts is decided by
// its script, not by how long a busy machine keeps a slave thread from answering.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>

#include "comm/ModbusErrors.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "comm/SlaveOrder.h"
#include "tests/commorder/InOrderPeer.h"
#include "tests/commorder/ScriptedModule.h"

namespace {

using namespace std::chrono_literals;

constexpr int kTimeout = 50;

// The traffic of one read: frames sent, fences among them, waits that ran out, quiet waits.
struct TCost {
    bool Ok = false;
    std::uint64_t Sent = 0;
    std::uint64_t Fences = 0;
    std::uint64_t Expired = 0;
    std::uint64_t QuietWaits = 0;
    bool operator==(const TCost&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TCost& c) {
    return out << (c.Ok ? "ok" : "failed") << ", sent " << c.Sent << ", fences " << c.Fences << ", expired "
               << c.Expired << ", quiet waits " << c.QuietWaits;
}

class RecoveryCost : public ::testing::Test {
protected:
    RecoveryCost() {
        auto owned = std::make_unique<TScriptedModule>();
        module = owned.get();
        module->Turn = 2ms;
        master.SetSerialTransport(std::move(owned));
    }
    void Start(int retries) {
        master.ConnectionType = 0;
        master.SerialPort->BaudRate = 57600;
        master.Timeout = kTimeout;
        master.Retries = retries;
        ASSERT_TRUE(master.Connect());
    }
    // Reads registers 10 and 11, then 20 and 21, and so on in turn (register r holds 1000 + r); a success
    // with other values fails the test.
    TCost Read() {
        const TBusCounts before = master.Counts();
        TCost cost;
        const int address = 10 * (1 + m_reads++ % 4);
        cost.Ok = master.ReadHoldingRegisters(1, address, 2);
        if (cost.Ok) {
            EXPECT_EQ(master.Registers.GetValue(0), 1000 + address);
            EXPECT_EQ(master.Registers.GetValue(1), 1001 + address);
        }
        const TBusCounts& after = master.Counts();
        cost.Sent = after.Sent - before.Sent;
        cost.Fences = after.Fences - before.Fences;
        cost.Expired = after.Expired - before.Expired;
        cost.QuietWaits = after.QuietWaits - before.QuietWaits;
        return cost;
    }
    // Reads that each cost exactly one request and nothing else.
    void ExpectClean(int reads, const std::string& what) {
        for (int i = 0; i < reads; ++i)
            EXPECT_EQ(Read(), (TCost{true, 1, 0, 0, 0})) << what << ", read " << i;
    }
    // Requests from `first` on (fences included) are lost until `until`.
    void LoseFrom(std::size_t first, std::size_t until = std::size_t(-1)) {
        module->SetScript(
            [=](std::size_t n, const rtu::Frame&) { return TScriptStep{.Lose = n >= first && n < until}; });
    }

    TModbusSerialTCPMaster master;
    TScriptedModule* module = nullptr; // owned by the master
    int m_reads = 0;
};

TEST_F(RecoveryCost, AHealthyLineCarriesOnlyTheRequests) {
    Start(2);
    ExpectClean(50, "healthy");
    // Bytes that trail a reply and frames of another slave that follow it put this slave out of step.
    // Eight of them look like a frame of this slave's address, but their CRC is no CRC.
    module->SetScript([](std::size_t, const rtu::Frame&) { return TScriptStep{.TrailingBytes = 8}; });
    ExpectClean(20, "trailing bytes");
    module->SetScript([](std::size_t, const rtu::Frame&) { return TScriptStep{.OtherAddressAfter = true}; });
    ExpectClean(20, "another slave's frames");
    EXPECT_FALSE(master.InStep(2));
    EXPECT_TRUE(master.InStep(1));
    EXPECT_EQ(module->Fences(), 0u);
}

// One Timeout, then at most two round trips more than the healthy reads: the retry (or the next read)
// and one fence.
TEST_F(RecoveryCost, ALostRequestCostsOneTimeoutAndOneFence) {
    for (int retries : {0, 2}) {
        SCOPED_TRACE(retries);
        Start(retries);
        ExpectClean(3, "before");
        LoseFrom(module->Requests(), module->Requests() + 1);
        if (retries == 0) {
            EXPECT_EQ(Read(), (TCost{false, 1, 0, 1, 0}));
            EXPECT_FALSE(master.InStep(1));
            EXPECT_EQ(Read(), (TCost{true, 2, 1, 0, 0}));
        } else {
            // The retry's answer is right whichever attempt it answers; the other is still owed.
            EXPECT_EQ(Read(), (TCost{true, 2, 0, 1, 0}));
            EXPECT_FALSE(master.InStep(1));
            EXPECT_EQ(Read(), (TCost{true, 2, 1, 0, 0}));
        }
        EXPECT_TRUE(master.InStep(1));
        ExpectClean(5, "after");
        master.Disconnect();
    }
}

// A module that stopped answering costs all its attempts once, then one fence and one Timeout per
// request; the first request after it answers again brings it back with one fence.
TEST_F(RecoveryCost, ADeadModuleCostsOneFencePerRequestUntilItAnswers) {
    Start(2);
    ExpectClean(2, "before");
    const std::size_t from = module->Requests();
    LoseFrom(from, from + 6);
    EXPECT_EQ(Read(), (TCost{false, 3, 0, 3, 0}));
    EXPECT_EQ(Read(), (TCost{false, 1, 1, 1, 0}));
    EXPECT_EQ(Read(), (TCost{false, 1, 1, 1, 0}));
    EXPECT_EQ(Read(), (TCost{false, 1, 1, 1, 0}));
    EXPECT_EQ(master.ErrorText(), "ERROR TIMEOUT");
    EXPECT_EQ(Read(), (TCost{true, 2, 1, 0, 0}));
    ExpectClean(5, "after");
}

// A stalled module: every request meanwhile sends one fence and waits once; the fence that comes back
// ends it, and the module is read at once.
TEST_F(RecoveryCost, AStallCostsOneFenceAndOneWaitPerRequest) {
    Start(0);
    ExpectClean(2, "before");
    const std::size_t from = module->Requests();
    module->SetScript([=](std::size_t n, const rtu::Frame&) {
        TScriptStep a;
        if (n == from || n == from + 1)
            a.Turn = 5 * std::chrono::milliseconds(kTimeout);
        return a;
    });
    EXPECT_EQ(Read(), (TCost{false, 1, 0, 1, 0}));
    int failed = 0;
    TCost cost;
    while (!(cost = Read()).Ok && failed < 40) {
        EXPECT_EQ(cost, (TCost{false, 1, 1, 1, 0})) << failed;
        ++failed;
    }
    EXPECT_EQ(cost, (TCost{true, 2, 1, 0, 0}));
    // Two stalls of five Timeouts each: the requests meanwhile each waited one Timeout.
    EXPECT_GE(failed, 5);
    ExpectClean(5, "after");
}

// A copy of an answer, while the slave takes 12 ms for each answer. Met by the next read sooner than the
// slave ever answered, one fence shows that the read's own answer came before the fence's, and the retry
// takes the right one (never the copy's values). Found before the read went, it costs the fence before
// the read; read in one piece with the answer, it is the answer's own twin and costs nothing.
TEST_F(RecoveryCost, AReplySoonerThanTheSlaveEverAnsweredCostsOneFence) {
    enum class TCopy { MeetsTheNextRead, FoundBeforeTheNextRead, ReadWithTheAnswer };
    for (const TCopy copy :
         {TCopy::MeetsTheNextRead, TCopy::FoundBeforeTheNextRead, TCopy::ReadWithTheAnswer})
        for (int retries : {0, 2}) {
            SCOPED_TRACE(int(copy) * 10 + retries);
            Start(retries);
            const std::size_t copied = module->Requests() + 6;
            module->SetScript([=](std::size_t n, const rtu::Frame&) {
                TScriptStep a{.Turn = 12ms};
                if (copy == TCopy::MeetsTheNextRead && n == copied + 1)
                    a.OldAnswer = 1ms;
                if (copy == TCopy::FoundBeforeTheNextRead && n == copied)
                    a.CopyAfter = 0ms;
                a.CopyWith = copy == TCopy::ReadWithTheAnswer && n == copied;
                return a;
            });
            ExpectClean(copy == TCopy::ReadWithTheAnswer ? 6 : 7, "before");
            const TCost meets = retries == 0 ? TCost{false, 2, 1, 0, 0} : TCost{true, 3, 1, 0, 0};
            const TCost found{true, 2, 1, 0, 0};
            const TCost twin{true, 1, 0, 0, 0};
            EXPECT_EQ(Read(), copy == TCopy::MeetsTheNextRead         ? meets
                              : copy == TCopy::FoundBeforeTheNextRead ? found
                                                                      : twin);
            EXPECT_TRUE(master.InStep(1));
            ExpectClean(3, "after");
            master.Disconnect();
        }
}

// A gateway that forwards the slave's whole frame once the serial line falls silent: a short answer
// reaches the master sooner than a long one ever did. A write after reads of the information block
// is no reply on its way before its request, whether the module answers fences or not.
TEST_F(RecoveryCost, AShortAnswerAfterLongOnesIsNoEarlyReply) {
    struct TCase {
        TFenceAnswer Fence;
        int Retries;
    };
    for (const TCase c :
         {TCase{TFenceAnswer::Echo, 0}, TCase{TFenceAnswer::Silent, 0}, TCase{TFenceAnswer::Silent, 2}}) {
        SCOPED_TRACE(int(c.Fence) * 10 + c.Retries);
        module->SetFenceAnswer(c.Fence);
        // About a millisecond a byte of the answer (9600 baud) and 2 ms of the slave's own.
        module->SetScript([](std::size_t, const rtu::Frame& request) {
            const int bytes = request[1] <= 4 ? 5 + 2 * (request[4] * 256 + request[5]) : 8;
            return TScriptStep{.Turn = std::chrono::milliseconds(bytes + 2)};
        });
        Start(c.Retries);
        // Room for a busy machine: the longest answer takes 41 ms.
        master.Timeout = 1000;
        for (int i = 0; i < 6; ++i) {
            const TBusCounts before = master.Counts();
            ASSERT_TRUE(master.ReadHoldingRegisters(1, 0, 17)) << i;
            EXPECT_EQ(master.Registers.GetValue(16), 1016);
            EXPECT_EQ(master.Counts().Sent - before.Sent, 1u);
        }
        for (int i = 0; i < 3; ++i) {
            const TBusCounts before = master.Counts();
            EXPECT_TRUE(master.WriteSingleRegister(1, 20 + i, 7))
                << i << ": " << master.ErrorText().toStdString();
            EXPECT_EQ(master.Counts().Sent - before.Sent, 1u) << i;
            EXPECT_EQ(master.Counts().Fences - before.Fences, 0u) << i;
        }
        EXPECT_TRUE(master.InStep(1));
        master.Disconnect();
        master.Timeout = kTimeout;
    }
}

// A gateway that repeats an answer on its own: the copy of the last read's answer comes right after
// the echo of the fence that followed a lost request, a millisecond after the read that follows the
// echo went. It is sooner than the slave ever answered, so that read is no more taken for it than any
// other.
TEST_F(RecoveryCost, ACopyRightAfterTheFenceIsNoAnswer) {
    for (int retries : {0, 2}) {
        SCOPED_TRACE(retries);
        Start(retries);
        const std::size_t lost = module->Requests() + 6;
        module->SetScript(
            [=, fenced = false, copied = false](std::size_t n, const rtu::Frame& request) mutable {
                TScriptStep a{.Lose = n == lost, .Turn = 12ms};
                // The read after the first fence after the lost request.
                if (fenced && !copied) {
                    a.OldAnswer = 1ms;
                    copied = true;
                }
                fenced = fenced || (n > lost && request[1] == 8);
                return a;
            });
        ExpectClean(6, "before");
        // With retries, the retry's answer is right whichever attempt it answers.
        EXPECT_EQ(Read().Ok, retries > 0);
        // The read after the fence: never the copy's values (Read checks them), and once the copy is
        // known for what it is, the module is read again.
        const TCost cost = Read();
        EXPECT_EQ(cost.Fences, 2u) << cost;
        EXPECT_EQ(cost.Ok, retries > 0) << cost;
        ExpectClean(3, "after");
        master.Disconnect();
    }
}

// A gateway that retries on its own sends a copy of an answer more than a Timeout after it, while the
// next read's first attempt went unanswered: the copy meets the retry sooner than the slave ever
// answered, and the retry does not take it for the answer it still waits for.
TEST_F(RecoveryCost, ACopyMeetingARetryIsNoAnswer) {
    Start(2);
    const std::size_t copied = module->Requests() + 6;
    module->SetScript([=](std::size_t n, const rtu::Frame&) {
        TScriptStep a{.Lose = n == copied + 1, .Turn = 30ms};
        if (n == copied + 2)
            a.OldAnswer = 15ms; // after the lost attempt's Timeout, before the retry's answer
        return a;
    });
    ExpectClean(7, "before");
    // The read whose first attempt is lost: never the copy's values (Read checks them).
    // The lost attempt, the retry that met the copy, the fence that found the retry's own answer
    // behind it, and the last attempt.
    EXPECT_EQ(Read(), (TCost{true, 4, 1, 1, 0}));
    EXPECT_TRUE(master.InStep(1));
    ExpectClean(3, "after");
}

// A retry whose own request is lost takes the first attempt's late answer, which then comes very soon
// after the retry went: that says nothing of how soon the slave answers, and a gateway's copy that
// meets a later retry is still known for what it is.
TEST_F(RecoveryCost, ALateAnswerTakenByARetryLeavesTheSlavesPaceAsItWas) {
    Start(2);
    const std::size_t late = module->Requests() + 6;
    const std::size_t copied = late + 12;
    module->SetScript([=](std::size_t n, const rtu::Frame&) {
        TScriptStep a{.Lose = n == late + 1 || n == copied + 1, .Withhold = n == late, .Turn = 30ms};
        if (n == late + 1)
            a.Owed = 3ms; // the first attempt's answer comes just after the retry went
        if (n == copied + 2)
            a.OldAnswer = 15ms; // after the lost attempt's Timeout, before the retry's answer
        return a;
    });
    ExpectClean(6, "before");
    EXPECT_TRUE(Read().Ok);
    while (module->Requests() < copied)
        EXPECT_TRUE(Read().Ok);
    // The read whose first attempt is lost and whose retry meets the copy: never the copy's values
    // (Read checks them).
    EXPECT_TRUE(Read().Ok);
    EXPECT_TRUE(Read().Ok);
    EXPECT_TRUE(master.InStep(1));
}

// Another slave's frame just before the answer: the attempt fails with that slave's address, the other
// slave is out of step, and this one owes the answer that followed.
TEST_F(RecoveryCost, AnotherSlavesFrameBeforeTheAnswerDoubtsThatSlave) {
    for (int retries : {0, 2}) {
        SCOPED_TRACE(retries);
        Start(retries);
        ExpectClean(2, "before");
        const std::size_t at = module->Requests();
        module->SetScript(
            [=](std::size_t n, const rtu::Frame&) { return TScriptStep{.OtherAddressBefore = n == at}; });
        if (retries == 0) {
            EXPECT_EQ(Read(), (TCost{false, 1, 0, 0, 0}));
            EXPECT_EQ(master.ErrorText(), "ERROR SLAVE ID");
            EXPECT_FALSE(master.InStep(2));
            // The asked slave's frame came behind the other one and was read with it: nothing tells
            // whose request it answers, so its slave is fenced before the next read.
            EXPECT_FALSE(master.InStep(1));
            EXPECT_EQ(Read(), (TCost{true, 2, 1, 0, 0}));
        } else {
            // The retry fences the slave first, then its answer is its own.
            EXPECT_EQ(Read(), (TCost{true, 3, 1, 0, 0}));
            EXPECT_FALSE(master.InStep(2));
            EXPECT_TRUE(master.InStep(1));
        }
        ExpectClean(2, "after");
        master.Disconnect();
    }
}

// A module that refuses the fence with an exception: the refusal marks the fence as well.
TEST_F(RecoveryCost, AFenceRefusedWithAnExceptionStillBringsTheModuleBack) {
    module->SetFenceAnswer(TFenceAnswer::Exception);
    Start(0);
    ExpectClean(2, "before");
    LoseFrom(module->Requests(), module->Requests() + 1);
    EXPECT_EQ(Read(), (TCost{false, 1, 0, 1, 0}));
    EXPECT_EQ(Read(), (TCost{true, 2, 1, 0, 0}));
    ExpectClean(3, "after");
    // A stall with fences refused: the stalled answers are dropped all the same.
    const std::size_t from = module->Requests();
    module->SetScript([=](std::size_t n, const rtu::Frame&) {
        TScriptStep a;
        if (n == from || n == from + 1)
            a.Turn = 3 * std::chrono::milliseconds(kTimeout);
        return a;
    });
    int reads = 0;
    while (!Read().Ok && reads < 40)
        ++reads;
    ExpectClean(3, "after the stall");
}

// A fence lost on the way to a module that refuses fences: its refusal never comes, and after a few
// fences refused one each (which a module that far behind would send as well) the master connects again:
// a new connection owes nothing, and the module is read again.
TEST_F(RecoveryCost, ALostFenceOfAModuleThatRefusesThemEndsAfterAFewRefusals) {
    module->SetFenceAnswer(TFenceAnswer::Exception);
    Start(0);
    ExpectClean(2, "before");
    const std::uint64_t connects = master.Counts().Connects;
    const std::size_t from = module->Requests();
    // The next read and the fence after it never reach the module.
    LoseFrom(from, from + 2);
    EXPECT_EQ(Read(), (TCost{false, 1, 0, 1, 0}));
    EXPECT_EQ(Read(), (TCost{false, 1, 1, 1, 0}));
    EXPECT_EQ(Read(), (TCost{false, 1, 1, 1, 0}));
    EXPECT_EQ(Read(), (TCost{false, 1, 1, 1, 0}));
    EXPECT_EQ(master.Counts().Connects, connects);
    EXPECT_EQ(Read(), (TCost{true, 2, 1, 1, 0}));
    EXPECT_EQ(master.Counts().Connects, connects + 1);
    ExpectClean(3, "after");
}

// A module that never answers the fence: after enough fences in silence it gets a quiet Timeout before
// and after its reply instead, and is read again; a module that once answered a fence never does.
TEST_F(RecoveryCost, AModuleThatNeverAnswersTheFenceFallsBackToAQuietWait) {
    module->SetFenceAnswer(TFenceAnswer::Silent);
    Start(0);
    ExpectClean(2, "before");
    LoseFrom(module->Requests(), module->Requests() + 1);
    EXPECT_EQ(Read(), (TCost{false, 1, 0, 1, 0}));
    for (int i = 0; i < TSlaveOrder::FencesBeforeQuiet; ++i)
        EXPECT_EQ(Read(), (TCost{false, 1, 1, 1, 0})) << i;
    EXPECT_EQ(Read(), (TCost{true, 1, 0, 0, 2}));
    ExpectClean(3, "after");
    // Remembered: the next disorder goes straight to the quiet wait.
    LoseFrom(module->Requests(), module->Requests() + 1);
    EXPECT_EQ(Read(), (TCost{false, 1, 0, 1, 0}));
    EXPECT_EQ(Read(), (TCost{true, 1, 0, 0, 2}));
    ExpectClean(2, "after again");
}

// Another slave's frames keep coming on the line, closer together than the Timeout, while a module
// that ignores fences is read after a lost request: they are no answer of that module, and its quiet
// wait does not wait for them to stop.
TEST_F(RecoveryCost, AnotherSlavesTrafficDoesNotHoldTheQuietWait) {
    module->SetFenceAnswer(TFenceAnswer::Silent);
    Start(0);
    LoseFrom(module->Requests(), module->Requests() + 1);
    EXPECT_FALSE(Read().Ok);
    for (int i = 0; i < TSlaveOrder::FencesBeforeQuiet; ++i)
        EXPECT_FALSE(Read().Ok) << i;
    EXPECT_EQ(Read(), (TCost{true, 1, 0, 0, 2}));
    master.Timeout = 400;
    module->InterleaveOtherAddress(40ms, 150ms);
    ASSERT_TRUE(master.ReadHoldingRegisters(1, 0, 2)) << master.ErrorText().toStdString();
    LoseFrom(module->Requests(), module->Requests() + 1);
    // The lost read waits its Timeout, or meets another slave's frame meanwhile.
    const TCost lost = Read();
    EXPECT_FALSE(lost.Ok);
    EXPECT_EQ(lost.Sent, 1u);
    // A read whose answer meets another slave's frame fails on it (Retries 0), as on a busy machine,
    // where the master is slower than the other traffic; the quiet wait itself never fails on it.
    TCost next = Read();
    for (int i = 0; i < 5 && !next.Ok && master.ErrorText() == "ERROR SLAVE ID"; ++i)
        next = Read();
    EXPECT_EQ(next, (TCost{true, 1, 0, 0, 2})) << master.ErrorText().toStdString();
    EXPECT_FALSE(master.InStep(2));
    module->InterleaveOtherAddress(0ms, 0ms);
}

TEST_F(RecoveryCost, AModuleThatAnsweredAFenceIsNeverTakenForOneThatIgnoresIt) {
    Start(0);
    LoseFrom(0, 1);
    EXPECT_FALSE(Read().Ok);
    EXPECT_TRUE(Read().Ok); // its fence answered
    // Silent far longer than the fallback's count of fences: still fenced every time.
    LoseFrom(module->Requests(), module->Requests() + TSlaveOrder::FencesBeforeQuiet + 6);
    EXPECT_EQ(Read(), (TCost{false, 1, 0, 1, 0}));
    for (int i = 0; i < TSlaveOrder::FencesBeforeQuiet + 5; ++i)
        EXPECT_EQ(Read(), (TCost{false, 1, 1, 1, 0})) << i;
    EXPECT_EQ(Read(), (TCost{true, 2, 1, 0, 0}));
}

// Timeout 60 s and 10 retries against a silent module: an abort from another thread ends the request
// at once, and no further attempt goes out. The wait to be woken is the socket's own: this case runs
// against a slave on a loopback socket.
TEST_F(RecoveryCost, AnAbortEndsTheRequestInFlight) {
    InOrderPeer peer;
    const auto loseFrom = [&](std::size_t first, std::size_t until) {
        peer.SetScript([=](std::size_t n, const rtu::Frame&) {
            TPeerAction a;
            a.Lose = n >= first && n < until;
            return a;
        });
    };
    Start(10);
    master.ConnectionType = 1;
    master.Socket->Host = QStringLiteral("127.0.0.1");
    master.Socket->Port = peer.Port();
    ASSERT_TRUE(master.Connect());
    master.Timeout = 60000;
    loseFrom(0, std::size_t(-1));
    auto read = std::async(std::launch::async, [&] { return master.ReadHoldingRegisters(1, 10, 2); });
    ASSERT_TRUE(peer.WaitForRequests(1, 10000));
    master.Abort();
    // Far below one Timeout; a request that did not wake would hold 660 s.
    ASSERT_EQ(read.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_FALSE(read.get());
    EXPECT_EQ(master.LastError, modbus::ErrorCancelled);
    EXPECT_EQ(master.Counts().Sent, 1u);
    // Aborted until the next connect: nothing more is sent.
    EXPECT_FALSE(master.ReadHoldingRegisters(1, 10, 2));
    EXPECT_EQ(master.Counts().Sent, 1u);
    master.Timeout = kTimeout;
    loseFrom(1, 1);
    ASSERT_TRUE(master.Connect());
    EXPECT_TRUE(Read().Ok);
}

} // namespace
