// A module that refuses the fence, on a line whose every arrival time the test sets: what the time of a
// refusal tells is checked exactly, however busy the machine keeps the master.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "comm/ModbusSerialTCPMaster.h"
#include "comm/ModbusTransport.h"
#include "tests/support/ModbusRtuFraming.h"
#include "tests/support/ModbusSlaveCore.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The module's time for any answer.
constexpr Clock::duration kTurn = 12ms;
constexpr int kTimeout = 30;

// What the module does with the next frame sent; by default it answers in turn.
struct TStep {
    bool Lose = false;                           // never answers it
    bool Withhold = false;                       // answers it only with the next step's Owed
    std::optional<Clock::duration> Owed{};       // the answer withheld, this long after this frame went
    std::optional<Clock::duration> OldRefusal{}; // a copy of a refusal, this long after this frame went
};

// Answers in order: each answer a turn after the frame went or after the answer before it. An arrival
// time before the frame went is one the master's last look before its send missed.
class TScriptedModule final : public TModbusTransport {
public:
    std::deque<TStep> Steps;

    TScriptedModule() {
        for (int r = 0; r < 256; ++r)
            m_core.SetHoldingRegister(r, std::uint16_t(1000 + r));
    }
    bool Open(int) override { return true; }
    // A new connection owes nothing.
    void Close() override { m_due.clear(); }
    void Discard() override {}
    bool Send(const std::uint8_t* data, int count) override {
        const Clock::time_point now = Clock::now();
        const rtu::Frame sent(data, data + count);
        const TStep step = Steps.empty() ? TStep{} : Steps.front();
        if (!Steps.empty())
            Steps.pop_front();
        if (step.OldRefusal)
            m_due.emplace(now + *step.OldRefusal, Refusal());
        if (step.Owed) {
            m_due.emplace(now + *step.Owed, m_withheld);
            m_free = std::max(m_free, now + *step.Owed);
        }
        if (step.Lose)
            return true;
        m_free = std::max(m_free, now) + kTurn;
        const rtu::Frame answer = sent[1] == 0x08 ? Refusal() : m_core.Answer(sent);
        if (step.Withhold)
            m_withheld = answer;
        else
            m_due.emplace(m_free, answer);
        return true;
    }
    int ReadUnasked(std::uint8_t*, int) override { return 0; }
    int ReadWaiting(std::uint8_t* data, int max) override {
        if (m_due.empty() || m_due.begin()->first > Clock::now() || max <= 0)
            return 0;
        rtu::Frame& frame = m_due.begin()->second;
        const int n = std::min(max, int(frame.size()));
        std::copy_n(frame.begin(), n, data);
        m_arrival = m_due.begin()->first;
        frame.erase(frame.begin(), frame.begin() + n);
        if (frame.empty())
            m_due.erase(m_due.begin());
        return n;
    }
    std::optional<Clock::time_point> LastArrival() const override { return m_arrival; }
    platform::TWaitResult WaitForData(int timeoutMs) override {
        // The line's own time passing: the next arrival, or the end of the wait.
        Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        if (!m_due.empty())
            until = std::min(until, m_due.begin()->first);
        std::this_thread::sleep_until(until);
        return !m_due.empty() && m_due.begin()->first <= Clock::now() ? platform::TWaitResult::Ready
                                                                      : platform::TWaitResult::TimedOut;
    }
    bool CarriesOldAnswers() const override { return false; }

private:
    rtu::Frame Refusal() const { return rtu::ExceptionReply(1, 0x08, 1); }

    ModbusSlaveCore m_core{1};
    std::multimap<Clock::time_point, rtu::Frame> m_due;
    Clock::time_point m_free{};
    rtu::Frame m_withheld;
    std::optional<Clock::time_point> m_arrival;
};

// Whether a read of registers `address` and the next succeeded; a success must carry their values
// (register r holds 1000 + r).
bool ReadsItsOwn(TModbusSerialTCPMaster& master, int address) {
    if (!master.ReadHoldingRegisters(1, address, 2))
        return false;
    EXPECT_EQ(master.Registers.GetValue(0), 1000 + address);
    EXPECT_EQ(master.Registers.GetValue(1), 1001 + address);
    return true;
}

// A copy of a refusal comes just before or just after a fence went, sooner than the module ever refused
// one: it is no mark of that fence. Taken for one, the fence would end before the answer the module still
// owed, and the next read would take that answer.
TEST(MasterAgainstAModuleThatRefusesFences, ACopyOfARefusalSoonerThanTheModuleRefusesMarksNoFence) {
    for (const Clock::duration copyAt : {Clock::duration(-500us), Clock::duration(1ms)}) {
        SCOPED_TRACE(std::chrono::duration_cast<std::chrono::microseconds>(copyAt).count());
        TModbusSerialTCPMaster master;
        auto owned = std::make_unique<TScriptedModule>();
        TScriptedModule& module = *owned;
        master.SetSerialTransport(std::move(owned));
        master.Timeout = kTimeout;
        master.Retries = 0;
        ASSERT_TRUE(master.Connect());
        // The module's pace for answers and for refusals: each lost read costs a fence.
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(ReadsItsOwn(master, 10)) << i;
        for (int i = 0; i < 4; ++i) {
            module.Steps = {TStep{.Lose = true}};
            EXPECT_FALSE(master.ReadHoldingRegisters(1, 20, 2));
            ASSERT_TRUE(ReadsItsOwn(master, 30)) << i;
        }
        module.Steps = {TStep{.Lose = true}};
        EXPECT_FALSE(master.ReadHoldingRegisters(1, 20, 2));
        // The fence is refused; the read's answer comes only after its Timeout.
        module.Steps = {TStep{}, TStep{.Withhold = true}};
        EXPECT_FALSE(master.ReadHoldingRegisters(1, 40, 2));
        // The next fence meets the copy, then the late answer, then its own refusal.
        module.Steps = {TStep{.Owed = 3ms, .OldRefusal = copyAt}};
        EXPECT_TRUE(ReadsItsOwn(master, 0)) << master.ErrorText().toStdString();
        EXPECT_TRUE(ReadsItsOwn(master, 10));
        EXPECT_TRUE(master.InStep(1));
    }
}

} // namespace
