#include "RepsnapTools.h"

#include "OCallStack.h"
#include "OMemory.h"
#include "OModules.h"
#include "OOptions.h"
#include "OProcess.h"

#include <cstring>
#include <gtest/gtest.h>
#include <tuple>
#include <unistd.h>

using namespace reporter;
using repsnap::TPages;

namespace repsnaptest {

// A known chain of calls: Outer calls Middle calls Inner, which walks its own stack and keeps a copy of
// it. The call lines are recorded by the calls themselves.
int gOuterCallLine = 0;
int gMiddleCallLine = 0;
int gTestCallLine = 0;
std::unique_ptr<TOstrelStackList> gLiveWalk;
TThreadStackCopy gCopy;

struct TChain {
    static constexpr int MiddleFirstLine = __LINE__ + 1;
    [[gnu::noipa]] static int Middle(int depth) {
        const int result = (gMiddleCallLine = __LINE__, Inner(depth + 1));
        return result * 2;
    }
    [[gnu::noipa]] static int Outer(int depth) {
        const int result = (gOuterCallLine = __LINE__, Middle(depth + 1));
        return result * 3;
    }
    [[gnu::noipa]] static int Inner(int depth) {
        const uintptr_t sp = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
        // The process's module list; an end of 0 stands for the thread's stack top.
        gLiveWalk = GetCallStack(reinterpret_cast<uintptr_t>(&Inner), sp, 0, uint32_t(gettid()), true, true,
                                 -1, -1, AllDebugKinds);
        // The copy stands for another thread's stack, taken while the thread was parked.
        const uintptr_t top = GetStackTop();
        gCopy.ThreadId = 4242;
        gCopy.InstructionPointer = reinterpret_cast<uintptr_t>(&Inner);
        gCopy.StackPointer = sp;
        // Through the kernel, as the parker copies: a stack holds more than live objects.
        gCopy.Stack.resize(top - sp);
        if (!SafeRead(sp, gCopy.Stack.data(), gCopy.Stack.size()))
            gCopy.Stack.clear();
        return depth + 1;
    }
};

} // namespace repsnaptest

namespace {

using repsnaptest::TChain;

// The index of the first resolved entry at or after from with the procedure and line, -1 when none.
int FindEntry(const TOstrelStackList& list, int from, const std::string& procedure, int line) {
    for (int i = from; i < list.Count(); ++i) {
        const TOstrelDebugInfo& e = list.Items(i);
        if (e.Kind == dkDebugData && e.ProcedureName == procedure && e.Line == line)
            return i;
    }
    return -1;
}

void ExpectChainInOrder(const TOstrelStackList& list, const std::string& testProcedure) {
    const int middle = FindEntry(list, 0, "Middle", repsnaptest::gMiddleCallLine);
    ASSERT_GE(middle, 0) << "the call in Middle is missing";
    const int outer = FindEntry(list, middle + 1, "Outer", repsnaptest::gOuterCallLine);
    ASSERT_GT(outer, middle) << "the call in Outer is missing or out of order";
    const int test = FindEntry(list, outer + 1, testProcedure, repsnaptest::gTestCallLine);
    EXPECT_GT(test, outer) << "the call in the test body is missing or out of order";

    const TOstrelDebugInfo& m = list.Items(middle);
    EXPECT_EQ(m.UnitName, "CallStackTest.cpp");
    EXPECT_EQ(m.ClassName, "repsnaptest::TChain");
    EXPECT_EQ(m.LineOffset, repsnaptest::gMiddleCallLine - TChain::MiddleFirstLine);
    ASSERT_TRUE(m.Module);
    EXPECT_EQ(m.Module->FileName, ProgramFileName());
    // The entry's address is the call instruction itself, inside Middle.
    uint8_t call;
    std::memcpy(&call, reinterpret_cast<const void*>(m.Address), 1);
    EXPECT_EQ(call, 0xE8);
}

class CallStackWalk : public ::testing::Test {
protected:
    void SetUp() override {
        SetModulesList(std::make_unique<TOstrelModulesList>());
        ModulesList()->GetProcessModules();
    }
    void TearDown() override { SetModulesList(nullptr); }
};

TEST_F(CallStackWalk, NamesTheNestedCallsInOrderWithUnitAndLine) {
    const int result = (repsnaptest::gTestCallLine = __LINE__, TChain::Outer(0));
    EXPECT_EQ(result, 18);
    const TOstrelStackList& live = *repsnaptest::gLiveWalk;
    ASSERT_GT(live.Count(), 3);
    // The first address is Inner itself; the call in Middle names Inner again as the routine it called,
    // so the first entry is hidden in favour of that later one.
    const TOstrelDebugInfo& first = live.Items(0);
    EXPECT_EQ(first.Kind, dkNoModule);
    EXPECT_EQ(first.ProcedureName, "Inner");
    EXPECT_EQ(live.Items(1).Kind, dkDebugData);
    EXPECT_EQ(live.Items(1).ProcedureName, "Inner");
    EXPECT_EQ(live.Items(1).Address, first.Address);
    EXPECT_EQ(first.Address, reinterpret_cast<uintptr_t>(&TChain::Inner));
    EXPECT_TRUE(first.Running);
    EXPECT_EQ(first.ThreadID, uint32_t(gettid()));
    ExpectChainInOrder(live, "TestBody");

    // The copied stack gives the same chain after the calls have returned, marked with its thread.
    TOstrelStackList copied;
    TStackWalkParams params;
    params.Running = false;
    WalkThreadCopy(copied, repsnaptest::gCopy, params);
    ExpectChainInOrder(copied, "TestBody");
    for (int i = 0; i < copied.Count(); ++i) {
        EXPECT_EQ(copied.Items(i).ThreadID, 4242u);
        EXPECT_FALSE(copied.Items(i).Running);
    }
    // Walks that share a cache (the threads of one report) give the same entries, each its own thread's.
    // Compared in the modules' code only: a stale stack word that points into the heap may look like a
    // return address in one walk and not in the next, as the walks' own allocations change those bytes.
    using TRow = std::tuple<uintptr_t, int, std::string>;
    const auto codeRows = [](const TOstrelStackList& list) {
        std::vector<TRow> rows;
        for (int i = 0; i < list.Count(); ++i)
            if (list.Items(i).Kind != dkNoModule)
                rows.emplace_back(list.Items(i).Address, int(list.Items(i).Kind),
                                  list.Items(i).ProcedureName);
        return rows;
    };
    TStackWalkCache cache;
    params.Cache = &cache;
    for (const uint32_t thread : {7u, 8u}) {
        TOstrelStackList shared;
        TThreadStackCopy copy = repsnaptest::gCopy;
        copy.ThreadId = thread;
        WalkThreadCopy(shared, copy, params);
        EXPECT_EQ(codeRows(shared), codeRows(copied));
        for (int i = 0; i < shared.Count(); ++i)
            EXPECT_EQ(shared.Items(i).ThreadID, thread);
    }
    params.Cache = nullptr;
    // A thread whose context was not read has no stack to walk.
    TThreadStackCopy empty = repsnaptest::gCopy;
    empty.InstructionPointer = 0;
    TOstrelStackList none;
    WalkThreadCopy(none, empty, params);
    EXPECT_EQ(none.Count(), 0);
}

// Hand-made code and stacks in pages of their own; nothing here lies in a module, so every entry has
// kind 0 and the walk is told to keep that kind.
class CraftedStack : public ::testing::Test {
protected:
    CraftedStack() : m_code(3) { m_code.Seal(2); }

    // Writes a relative call at the offset of code page 0 to the target; returns the return address.
    uintptr_t CallAt(size_t offset, uintptr_t target) {
        uint8_t* at = m_code.Page(0) + offset;
        at[0] = 0xE8;
        const int32_t rel = int32_t(intptr_t(target) - intptr_t(uintptr_t(at) + 5));
        std::memcpy(at + 1, &rel, 4);
        return uintptr_t(at) + 5;
    }
    uintptr_t BytesAt(size_t offset, std::initializer_list<uint8_t> bytes) {
        uint8_t* at = m_code.Page(0) + offset;
        std::copy(bytes.begin(), bytes.end(), at);
        return uintptr_t(at) + bytes.size();
    }
    std::vector<uintptr_t> Walk(const std::vector<uintptr_t>& slots, bool follow = true, int32_t skip = -1,
                                int32_t max = -1, uintptr_t first = 0) {
        TStackWalkParams params;
        params.Modules = &m_modules;
        params.FollowCalls = follow;
        params.SkipCount = skip;
        params.MaxCount = max;
        const uintptr_t base = uintptr_t(slots.data());
        TOstrelStackList list;
        WalkStack(list, first,
                  TStackMemory{base, base + slots.size() * sizeof(uintptr_t) - 1,
                               reinterpret_cast<const uint8_t*>(slots.data())},
                  params);
        std::vector<uintptr_t> addresses;
        for (int i = 0; i < list.Count(); ++i)
            addresses.push_back(list.Items(i).Address);
        return addresses;
    }

    TPages m_code;
    TOstrelModulesList m_modules;
};

TEST_F(CraftedStack, RecognisesEachCallFormBehindAReturnAddress) {
    using V = std::vector<uintptr_t>;
    const uintptr_t p = m_code.Address(0);
    // call rax; call r11 (REX prefix); call [rbx]; call [rbp + 8]; call [rax + disp32]; call [rsp];
    // call [rsp + 8]; call [rsp + disp32]
    EXPECT_EQ(Walk({BytesAt(0x100, {0x90, 0xFF, 0xD0})}), V{p + 0x101});
    EXPECT_EQ(Walk({BytesAt(0x110, {0x41, 0xFF, 0xD3})}), V{p + 0x110});
    EXPECT_EQ(Walk({BytesAt(0x120, {0x90, 0xFF, 0x13})}), V{p + 0x121});
    EXPECT_EQ(Walk({BytesAt(0x130, {0x90, 0xFF, 0x55, 0x08})}), V{p + 0x131});
    EXPECT_EQ(Walk({BytesAt(0x140, {0x90, 0xFF, 0x90, 1, 0, 0, 0})}), V{p + 0x141});
    EXPECT_EQ(Walk({BytesAt(0x150, {0x90, 0xFF, 0x14, 0x24})}), V{p + 0x151});
    EXPECT_EQ(Walk({BytesAt(0x160, {0x90, 0xFF, 0x54, 0x24, 0x08})}), V{p + 0x161});
    EXPECT_EQ(Walk({BytesAt(0x170, {0xFF, 0x94, 0x24, 0, 1, 0, 0})}), V{p + 0x170});
    // call [rip + disp32] counts only when its pointer slot can be read.
    const auto ripCall = [&](size_t at, uintptr_t slot) {
        const int32_t disp = int32_t(intptr_t(slot) - intptr_t(p + at + 6));
        uint8_t d[4];
        std::memcpy(d, &disp, 4);
        return BytesAt(at, {0xFF, 0x15, d[0], d[1], d[2], d[3]});
    };
    EXPECT_EQ(Walk({ripCall(0x180, p + 0x800)}), V{p + 0x180});
    EXPECT_EQ(Walk({ripCall(0x190, m_code.Address(2))}), V{});
    // Values that point nowhere near a call, or into unreadable memory, add nothing.
    EXPECT_EQ(Walk({0, 1, p + 0x900, m_code.Address(2, 16), UINTPTR_MAX}), V{});
}

TEST_F(CraftedStack, ARelativeCallAddsTheRoutineReachedThroughAnImportJump) {
    using V = std::vector<uintptr_t>;
    const uintptr_t routine = BytesAt(0x000, {0x55, 0x48, 0x89, 0xE5, 0xC3}) - 5;
    // An import jump at 0x40 through the slot at 0x80, which holds the routine.
    BytesAt(0x40, {0xFF, 0x25, 0x3A, 0x00, 0x00, 0x00});
    std::memcpy(m_code.Page(0) + 0x80, &routine, sizeof routine);
    const uintptr_t viaThunk = CallAt(0x20, m_code.Address(0, 0x40));
    EXPECT_EQ(Walk({viaThunk}), (V{routine, viaThunk - 5}));
    EXPECT_EQ(Walk({viaThunk}, false), V{viaThunk - 5});
    // A called routine that itself starts with a call is not recorded; the call site still is.
    const uintptr_t toCall = CallAt(0x60, CallAt(0x200, routine) - 5);
    EXPECT_EQ(Walk({toCall}), V{toCall - 5});
    // A call into unreadable memory is no call at all.
    EXPECT_EQ(Walk({CallAt(0x300, m_code.Address(2, 8))}), V{});
}

TEST_F(CraftedStack, SkipAndMaximumCountSelectTheCandidates) {
    using V = std::vector<uintptr_t>;
    std::vector<uintptr_t> slots;
    for (size_t i = 0; i < 7; ++i)
        slots.push_back(BytesAt(0x400 + 16 * i, {0xFF, 0xD0}));
    const auto site = [&](size_t i) { return slots[i] - 2; };
    EXPECT_EQ(Walk(slots, true, 2, 3), (V{site(2), site(3), site(4)}));
    EXPECT_EQ(Walk(slots).size(), 7u);
    // The first address is a candidate like the others.
    EXPECT_EQ(Walk(slots, true, 0, 2, 0x1234), (V{0x1234, site(0)}));
}

TEST_F(CraftedStack, TheWindowAndTheRangeBoundTheWalk) {
    using V = std::vector<uintptr_t>;
    const uintptr_t value = BytesAt(0x500, {0xFF, 0xD1});
    std::vector<uintptr_t> slots((StackWalkWindow + 4096) / sizeof(uintptr_t), 0);
    slots[StackWalkWindow / sizeof(uintptr_t)] = value; // just past the window: not seen
    EXPECT_EQ(Walk(slots), V{});
    slots[StackWalkWindow / sizeof(uintptr_t) - 1] = value; // the window's last slot
    EXPECT_EQ(Walk(slots), V{value - 2});

    // A range whose start lies above its end gives the first address alone.
    TOstrelStackList list;
    TStackWalkParams params;
    params.Modules = &m_modules;
    WalkStack(list, 0x4321, TStackMemory{uintptr_t(slots.data()) + 64, uintptr_t(slots.data())}, params);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0).Address, 0x4321u);
    EXPECT_EQ(list.Items(0).Kind, dkNoModule);
}

TEST_F(CraftedStack, ALiveWalkSkipsUnreadableStackPagesWithoutFaulting) {
    TPages stack(3);
    const uintptr_t a = BytesAt(0x600, {0xFF, 0xD2});
    const uintptr_t b = BytesAt(0x610, {0xFF, 0xD3});
    std::memcpy(stack.Page(0) + 4000, &a, sizeof a);
    std::memcpy(stack.Page(2) + 8, &b, sizeof b);
    stack.Seal(1);
    TOstrelStackList list;
    TStackWalkParams params;
    params.Modules = &m_modules;
    WalkStack(list, 0, TStackMemory{stack.Address(0), stack.Address(2, TPages::PageSize - 1)}, params);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0).Address, a - 2);
    EXPECT_EQ(list.Items(1).Address, b - 2);
}

TEST_F(CraftedStack, KindsOutsideTheSetAreDropped) {
    const uintptr_t value = BytesAt(0x700, {0xFF, 0xD0});
    TOstrelStackList list;
    TStackWalkParams params;
    params.Modules = &m_modules;
    params.Kinds = DebugKinds({dkDebugData});
    WalkStack(list, value, TStackMemory{uintptr_t(&value), uintptr_t(&value) + 7}, params);
    EXPECT_EQ(list.Count(), 0);
    // The frame where the exception happened stays whatever its kind, and is shown.
    params.FaultingFirst = true;
    WalkStack(list, value, TStackMemory{1, 0}, params);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_TRUE(list.Items(0).Faulting);
    EXPECT_NE(list.Items(0).Kind, dkDebugData);
    EXPECT_TRUE(IsShownEntry(params.Kinds, list.Items(0)));
    list.Clear();
    params.FaultingFirst = false;
    // Without the lookup every entry is kind 1 with the module of its address.
    params.DebugLookup = false;
    params.Kinds = AllDebugKinds;
    WalkStack(list, reinterpret_cast<uintptr_t>(&TChain::Outer), TStackMemory{1, 0}, params);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0).Kind, dkModule);
    ASSERT_TRUE(list.Items(0).Module);
    EXPECT_EQ(list.Items(0).Module->FileName, ProgramFileName());
}

TEST(CallStackTrim, AResolvedCallSiteIsShownOnlyAtItsDeeperOccurrence) {
    auto module = std::make_shared<TOstrelModuleInfo>();
    module->Handle = 0x400000;
    auto other = std::make_shared<TOstrelModuleInfo>();
    other->Handle = 0x800000;
    const auto make = [](uint8_t kind, uintptr_t address, TOstrelModuleInfoPtr m) {
        auto e = std::make_unique<TOstrelDebugInfo>();
        e->Kind = kind;
        e->Address = address;
        e->Module = std::move(m);
        return e;
    };
    TOstrelStackList list;
    list.Add(make(dkExportName, 0x999, other)); // before the walk: untouched
    list.Add(make(dkDebugData, 0x10, module));  // same address next: hidden
    list.Add(make(dkDebugData, 0x10, module));
    list.Add(make(dkDebugData, 0x20, module)); // same address two resolved entries on: hidden
    list.Add(make(dkModule, 0x20, module));    // unresolved entries do not count
    list.Add(make(dkDebugData, 0x30, other));  // another module does not count
    list.Add(make(dkDebugData, 0x40, module));
    list.Add(make(dkDebugData, 0x20, module));
    list.Add(make(dkDebugData, 0x50, module)); // three resolved entries on: kept
    list.Add(make(dkDebugData, 0x60, module));
    list.Add(make(dkDebugData, 0x70, module));
    list.Add(make(dkDebugData, 0x50, module));
    list.Add(make(dkDebugData, 0x999, other));
    TrimStackToHandler(list, 1, true);
    const std::vector<uint8_t> expected = {dkExportName, dkNoModule,  dkDebugData, dkNoModule,  dkModule,
                                           dkDebugData,  dkDebugData, dkDebugData, dkDebugData, dkDebugData,
                                           dkDebugData,  dkDebugData, dkDebugData};
    ASSERT_EQ(list.Count(), int(expected.size()));
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.Items(i).Kind, expected[size_t(i)]) << "entry " << i;
}

TEST(CallStackColumns, FollowTheCallStackFlags) {
    TOstrelModuleOptions options("", false);
    options.SetCallStackFlags(0x00);
    EXPECT_EQ(GetCallStackColumns(options), DebugKinds({4}));
    options.SetCallStackFlags(0x01);
    EXPECT_EQ(GetCallStackColumns(options), DebugKinds({2, 4}));
    options.SetCallStackFlags(0x1E);
    EXPECT_EQ(GetCallStackColumns(options), DebugKinds({3, 4}));
    options.SetDefaults();
    EXPECT_EQ(GetCallStackColumns(options), DebugKinds({2, 3, 4}));
    // A module's code that no export covers shows as module and offset beside exported names only.
    TOstrelDebugInfo offset;
    offset.Kind = dkModule;
    offset.ProcedureName = "+0x1f0";
    const struct {
        uint8_t Flags;
        bool Shown;
    } cases[] = {{0x00, false}, {0x01, true}, {0x02, true}, {0x0C, false}};
    for (const auto& c : cases) {
        options.SetCallStackFlags(c.Flags);
        EXPECT_EQ(IsShownEntry(GetCallStackColumns(options), offset), c.Shown) << int(c.Flags);
    }
    offset.ProcedureName.clear(); // no offset known: not shown
    EXPECT_FALSE(IsShownEntry(DebugKinds({2, 3, 4}), offset));
    // The report's list holds every kind: a call site the trim hid (kind 0, its names kept) and an
    // address of no module stay hidden whatever the columns; the faulting frame is always shown.
    TOstrelDebugInfo hidden;
    hidden.Kind = dkNoModule;
    hidden.ProcedureName = "TFormMain::Search";
    hidden.UnitName = "Main.cpp";
    for (const TOstrelDebugKinds columns : {DebugKinds({4}), DebugKinds({2, 3, 4})})
        EXPECT_FALSE(IsShownEntry(columns, hidden)) << int(columns);
    hidden.Faulting = true;
    EXPECT_TRUE(IsShownEntry(DebugKinds({4}), hidden));
}

} // namespace

namespace repsnaptest {

// Many windows in one read: an unreadable one, or one that runs into an unreadable page, fails alone
// and the windows after it are still read.
TEST(CodeWindows, AnUnreadableWindowFailsAloneAndTheRestAreRead) {
    TPages pages(3);
    for (size_t i = 0; i < 3 * TPages::PageSize; ++i)
        pages.Page(0)[i] = uint8_t(i * 7);
    pages.Seal(1);
    const uintptr_t starts[] = {
        pages.Address(0, 16),   pages.Address(1, 16),   pages.Address(0, 4092), pages.Address(2, 0), 0,
        pages.Address(1, 4092), pages.Address(2, 4088), pages.Address(0, 4088)};
    const bool expected[] = {true, false, false, true, false, false, true, true};
    constexpr size_t Count = std::size(starts);
    uint8_t bytes[Count * 8] = {};
    bool ok[Count] = {};
    ReadWindows(starts, Count, 8, bytes, ok);
    for (size_t i = 0; i < Count; ++i) {
        ASSERT_EQ(ok[i], expected[i]) << "window " << i;
        if (ok[i]) {
            EXPECT_EQ(std::memcmp(bytes + i * 8, reinterpret_cast<const void*>(starts[i]), 8), 0) << i;
        }
    }
}

} // namespace repsnaptest
