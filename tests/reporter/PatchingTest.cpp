#include "OCodeWrite.h"
#include "OErrors.h"
#include "OHook.h"
#include "OInstructionLength.h"

#include "tests/support/TestTools.h"

#include <cstring>
#include <gtest/gtest.h>
#include <link.h>
#include <sstream>
#include <sys/mman.h>
#include <thread>

using namespace reporter;

extern "C" {
int VdCallLazy(int x);
int VdCallNow(int x);
int VdFixtureJcc(int x);
const void* VdFixtureLea();
int VdFixtureEndbr(int x);
int VdFixtureShort(int x);
int VdFixtureSpin(const volatile int* go);
extern const unsigned long long VdFixtureData;
}

// Small routines with the prologues the hooks must relocate, on pages of their own so that patching them
// never touches the page of the code doing the patching.
asm(R"(
    .pushsection .text.vdhookfixtures,"ax",@progbits
    .balign 4096
    .globl VdFixtureJcc
    .type VdFixtureJcc,@function
VdFixtureJcc:
    test %edi, %edi
    js 1f
    lea (%rdi,%rdi), %eax
    ret
1:  mov $-1, %eax
    ret
    .balign 16
    .globl VdFixtureLea
    .type VdFixtureLea,@function
VdFixtureLea:
    lea VdFixtureData(%rip), %rax
    ret
    .balign 16
    .globl VdFixtureEndbr
    .type VdFixtureEndbr,@function
VdFixtureEndbr:
    endbr64
    mov %edi, %eax
    add $7, %eax
    ret
    .balign 16
    .globl VdFixtureShort
    .type VdFixtureShort,@function
VdFixtureShort:
    ret
    nop
    nop
    nop
    nop
    .balign 16
    .globl VdFixtureSpin
    .type VdFixtureSpin,@function
VdFixtureSpin:
    xor %eax, %eax
2:  add $1, %eax
    cmpl $0, (%rdi)
    jne 2b
    ret
    .balign 4096
    .popsection
    .pushsection .rodata
    .balign 8
    .globl VdFixtureData
VdFixtureData:
    .quad 0x1122334455667788
    .popsection
)");

// Outside the anonymous namespace, so that the compiler cannot prove the dynamic type and skip the table.
struct TVdPatchShape {
    virtual ~TVdPatchShape() = default;
    virtual int Sides() const;
};
int TVdPatchShape::Sides() const {
    return 4;
}

namespace {

int TriangleSides(const TVdPatchShape*) {
    return 3;
}

int VdReplacementTarget(int x) {
    return x + 1000;
}

int (*gJccOriginal)(int) = nullptr;
int JccReplacement(int x) {
    return gJccOriginal(x) + 1000;
}
const void* (*gLeaOriginal)() = nullptr;
const void* LeaReplacement() {
    return gLeaOriginal();
}
int (*gEndbrOriginal)(int) = nullptr;
int EndbrReplacement(int x) {
    return gEndbrOriginal(x) * 2;
}

// Calls go through volatile pointers, so that the compiler cannot fold them.
int (*volatile gCallJcc)(int) = VdFixtureJcc;
const void* (*volatile gCallLea)() = VdFixtureLea;
int (*volatile gCallEndbr)(int) = VdFixtureEndbr;

uintptr_t Address(const void* p) {
    return reinterpret_cast<uintptr_t>(p);
}
template <typename F> uintptr_t FunctionAddress(F* f) {
    return reinterpret_cast<uintptr_t>(f);
}

class THookUnit : public ::testing::Test {
protected:
    void SetUp() override { InitHookUnit(); }
    void TearDown() override { DoneHookUnit(); }
};

} // namespace

TEST_F(THookUnit, ImportSlotsRedirectedAndRestored) {
    ASSERT_EQ(VdCallLazy(1), 20);
    ASSERT_EQ(VdCallNow(1), 200);
    uintptr_t routine = 0;
    ASSERT_TRUE(HookImportedProcedure(
        {"libvdhookcaller_lazy.so", "libvdhookcaller_now.so", "libnotloaded.so"}, "libvdhooktarget.so",
        "VdHookTarget", false, routine, FunctionAddress(&VdReplacementTarget)));
    EXPECT_NE(routine, 0u);
    EXPECT_EQ(VdCallLazy(1), 10010);
    EXPECT_EQ(VdCallNow(1), 100100);

    // The RELRO page of the load-time-bound library is read-only again.
    TLoadedModule now;
    EnumerateModules([&](const TLoadedModule& m) {
        if (m.FileName.find("libvdhookcaller_now.so") != std::string::npos)
            now = m;
        return now.Handle == 0;
    });
    ASSERT_NE(now.Handle, 0u);
    const auto* headers = static_cast<const ElfW(Phdr)*>(now.ProgramHeaders);
    for (int i = 0; i < now.ProgramHeaderCount; ++i)
        if (headers[i].p_type == PT_GNU_RELRO) {
            int protection = 0;
            ASSERT_TRUE(QueryProtection(now.LoadBias + headers[i].p_vaddr, protection));
            EXPECT_EQ(protection, PROT_READ);
        }

    // A symbol the module does not import: quiet gives 0, otherwise an error.
    const TModuleHandle lazy = GetModuleHandle("libvdhookcaller_lazy.so");
    EXPECT_EQ(HookImports(lazy, "libvdhooktarget.so", "NoSuchRoutine", routine, false, true, "x", 1), 0u);
    EXPECT_THROW(HookImports(lazy, "libvdhooktarget.so", "NoSuchRoutine", routine, false, false, "x", 1),
                 EHookingError);
    EXPECT_THROW(HookImports(lazy, "libvdhooktarget.so", "VdHookTarget", 0, false, false, "x", 1), EProcNull);

    DoneHookUnit();
    EXPECT_EQ(VdCallLazy(1), 20);
    EXPECT_EQ(VdCallNow(1), 200);
}

TEST_F(THookUnit, PrologueHooksRelocateTheirFirstInstructions) {
    uint8_t before[3][8];
    std::memcpy(before[0], reinterpret_cast<const void*>(&VdFixtureJcc), 8);
    std::memcpy(before[1], reinterpret_cast<const void*>(&VdFixtureLea), 8);
    std::memcpy(before[2], reinterpret_cast<const void*>(&VdFixtureEndbr), 8);

    gJccOriginal = HookProcedure(&VdFixtureJcc, &JccReplacement, "VdFixtureJcc");
    gLeaOriginal = HookProcedure(&VdFixtureLea, &LeaReplacement, "VdFixtureLea");
    gEndbrOriginal = HookProcedure(&VdFixtureEndbr, &EndbrReplacement, "VdFixtureEndbr");

    // The short conditional branch out of the moved bytes still reaches its target.
    EXPECT_EQ(gCallJcc(-5), 999);
    EXPECT_EQ(gCallJcc(4), 1008);
    EXPECT_EQ(gJccOriginal(-5), -1);
    // The RIP-relative address is the same from the trampoline.
    EXPECT_EQ(gCallLea(), &VdFixtureData);
    EXPECT_EQ(*static_cast<const unsigned long long*>(gCallLea()), 0x1122334455667788ull);
    EXPECT_EQ(gCallEndbr(1), 16);

    // The trampoline is executable and never writable at the same time.
    int protection = 0;
    ASSERT_TRUE(QueryProtection(FunctionAddress(gJccOriginal), protection));
    EXPECT_EQ(protection, PROT_READ | PROT_EXEC);
    ASSERT_TRUE(QueryProtection(FunctionAddress(&VdFixtureJcc), protection));
    EXPECT_EQ(protection & PROT_WRITE, 0);

    // A second hook of the same routine returns the same trampoline and writes nothing.
    uint8_t hooked[8];
    std::memcpy(hooked, reinterpret_cast<const void*>(&VdFixtureJcc), 8);
    EXPECT_EQ(HookProcedure(&VdFixtureJcc, &EndbrReplacement, "again"), gJccOriginal);
    EXPECT_EQ(std::memcmp(hooked, reinterpret_cast<const void*>(&VdFixtureJcc), 8), 0);

    // A routine that returns before five bytes cannot be hooked; nothing is written.
    EXPECT_THROW(HookProcedure(FunctionAddress(&VdFixtureShort), FunctionAddress(&JccReplacement), "short"),
                 EHookingError);
    EXPECT_THROW(HookProcedure(0, FunctionAddress(&JccReplacement), "null"), EProcNull);

    EXPECT_TRUE(UnhookCode(FunctionAddress(&VdFixtureLea)));
    EXPECT_FALSE(UnhookCode(FunctionAddress(&VdFixtureLea)));
    EXPECT_EQ(std::memcmp(before[1], reinterpret_cast<const void*>(&VdFixtureLea), 8), 0);
    DoneHookUnit();
    EXPECT_EQ(std::memcmp(before[0], reinterpret_cast<const void*>(&VdFixtureJcc), 8), 0);
    EXPECT_EQ(std::memcmp(before[2], reinterpret_cast<const void*>(&VdFixtureEndbr), 8), 0);
    EXPECT_EQ(gCallJcc(-5), -1);
    EXPECT_EQ(gCallEndbr(1), 8);
    // The trampolines stay usable after the routines are restored.
    EXPECT_EQ(gJccOriginal(3), 6);
}

TEST_F(THookUnit, AThreadRunningThroughThePageMeanwhileNeverFaults) {
    // The spinning loop shares the page with the routine hooked and unhooked here: the page must stay
    // executable, and the routine whole, at every moment.
    volatile int go = 1;
    std::thread spinner([&go] { VdFixtureSpin(&go); });
    bool consistent = true;
    for (int i = 0; i < 300; ++i) {
        gEndbrOriginal = HookProcedure(&VdFixtureEndbr, &EndbrReplacement, "VdFixtureEndbr");
        consistent = consistent && gCallEndbr(1) == 16;
        EXPECT_TRUE(UnhookCode(FunctionAddress(&VdFixtureEndbr)));
        consistent = consistent && gCallEndbr(1) == 8;
    }
    go = 0;
    spinner.join();
    EXPECT_TRUE(consistent);
    int protection = 0;
    ASSERT_TRUE(QueryProtection(FunctionAddress(&VdFixtureSpin), protection));
    EXPECT_EQ(protection, PROT_READ | PROT_EXEC);
}

TEST_F(THookUnit, PointerSlots) {
    TVdPatchShape shape;
    const TVdPatchShape* volatile viewed = &shape;
    uintptr_t table;
    std::memcpy(&table, static_cast<const void*>(&shape), sizeof table);
    // Slot 2 follows the two destructor entries of the virtual table.
    const uintptr_t old = HookPointerSlot(table, 2, FunctionAddress(&TriangleSides));
    EXPECT_NE(old, 0u);
    EXPECT_EQ(viewed->Sides(), 3);
    EXPECT_EQ(HookPointerSlot(table, 2, FunctionAddress(&TriangleSides)), old);
    EXPECT_TRUE(UnhookPointerSlot(table, 2));
    EXPECT_FALSE(UnhookPointerSlot(table, 2));
    EXPECT_EQ(viewed->Sides(), 4);

    // A slot outside every module is not written.
    std::vector<uintptr_t> heapTable(4, 0x42);
    EXPECT_EQ(HookPointerSlot(Address(heapTable.data()), 1, 0x99), 0u);
    EXPECT_EQ(heapTable[1], 0x42u);
    EXPECT_FALSE(WritePointerSlot(Address(heapTable.data()), 1, 0x99));

    HookPointerSlot(table, 2, FunctionAddress(&TriangleSides));
    DoneHookUnit();
    EXPECT_EQ(viewed->Sides(), 4);
    EXPECT_EQ(HookPointerSlot(table, 2, FunctionAddress(&TriangleSides)), 0u); // the unit is down
}

TEST(InstructionLength, KnownEncodings) {
    struct TCase {
        std::vector<uint8_t> Bytes;
        int Length;
        TBranchKind Branch;
        bool Rip;
    };
    const TCase cases[] = {
        {{0x55}, 1, TBranchKind::None, false},                                     // push rbp
        {{0x48, 0x89, 0xE5}, 3, TBranchKind::None, false},                         // mov rbp, rsp
        {{0x48, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8}, 10, TBranchKind::None, false},      // movabs rax, imm64
        {{0xB8, 1, 2, 3, 4}, 5, TBranchKind::None, false},                         // mov eax, imm32
        {{0x66, 0xB8, 1, 2}, 4, TBranchKind::None, false},                         // mov ax, imm16
        {{0x48, 0x8D, 0x05, 1, 2, 3, 4}, 7, TBranchKind::None, true},              // lea rax, [rip+x]
        {{0x48, 0x83, 0xEC, 0x28}, 4, TBranchKind::None, false},                   // sub rsp, 0x28
        {{0x48, 0x81, 0xEC, 0, 1, 0, 0}, 7, TBranchKind::None, false},             // sub rsp, 0x100
        {{0x8B, 0x44, 0x24, 0x08}, 4, TBranchKind::None, false},                   // mov eax, [rsp+8]
        {{0x8B, 0x04, 0x25, 0, 0, 0, 0}, 7, TBranchKind::None, false},             // mov eax, [abs]
        {{0xF6, 0x05, 1, 2, 3, 4, 0x80}, 7, TBranchKind::None, true},              // test byte [rip+x], 0x80
        {{0xF7, 0xD8}, 2, TBranchKind::None, false},                               // neg eax
        {{0x74, 0x05}, 2, TBranchKind::Short, false},                              // je
        {{0xE3, 0x05}, 2, TBranchKind::Short, false},                              // jrcxz
        {{0x0F, 0x84, 1, 2, 3, 4}, 6, TBranchKind::Near, false},                   // je rel32
        {{0xE8, 1, 2, 3, 4}, 5, TBranchKind::Near, false},                         // call
        {{0xF3, 0x0F, 0x1E, 0xFA}, 4, TBranchKind::None, false},                   // endbr64
        {{0xC5, 0xF8, 0x77}, 3, TBranchKind::None, false},                         // vzeroupper
        {{0xC5, 0xFD, 0x6F, 0x06}, 4, TBranchKind::None, false},                   // vmovdqa ymm0, [rsi]
        {{0xC4, 0xE3, 0x7D, 0x18, 0xC1, 0x01}, 6, TBranchKind::None, false},       // vinsertf128
        {{0x62, 0xF1, 0x7C, 0x48, 0x10, 0x46, 0x01}, 7, TBranchKind::None, false}, // vmovups zmm0, [rsi+64]
        {{0x66, 0x0F, 0x3A, 0x0F, 0xC1, 0x08}, 6, TBranchKind::None, false},       // palignr
        {{0x66, 0x0F, 0x38, 0x00, 0xC1}, 5, TBranchKind::None, false},             // pshufb
        {{0xF0, 0x48, 0x0F, 0xB1, 0x0F}, 5, TBranchKind::None, false},             // lock cmpxchg
        {{0x64, 0x48, 0x8B, 0x04, 0x25, 0x28, 0, 0, 0}, 9, TBranchKind::None, false}, // mov rax, fs:[0x28]
        {{0xC8, 0x10, 0x00, 0x01}, 4, TBranchKind::None, false},                      // enter
        {{0xA1, 1, 2, 3, 4, 5, 6, 7, 8}, 9, TBranchKind::None, false},                // mov eax, [moffs64]
    };
    for (const TCase& c : cases) {
        TInstructionInfo info;
        ASSERT_TRUE(DecodeInstruction(c.Bytes.data(), c.Bytes.size(), info))
            << testtools::Hex(c.Bytes.data(), c.Bytes.size());
        EXPECT_EQ(info.Length, c.Length) << testtools::Hex(c.Bytes.data(), c.Bytes.size());
        EXPECT_EQ(info.Branch, c.Branch) << testtools::Hex(c.Bytes.data(), c.Bytes.size());
        EXPECT_EQ(info.RipRelative, c.Rip) << testtools::Hex(c.Bytes.data(), c.Bytes.size());
    }
    TInstructionInfo info;
    const uint8_t invalid[] = {0x06};
    EXPECT_FALSE(DecodeInstruction(invalid, 1, info));
    const uint8_t truncated[] = {0x48, 0xB8, 1, 2};
    EXPECT_FALSE(DecodeInstruction(truncated, sizeof truncated, info));
}

// The disassembler of the system's binary tools is the oracle for real compiled code.
TEST(InstructionLength, AgreesWithObjdump) {
    const auto result =
        testtools::Run("objdump -d --insn-width=15 /lib/x86_64-linux-gnu/libz.so.1 && "
                       "objdump -d --insn-width=15 --disassemble=__memmove_evex_unaligned_erms "
                       "--disassemble=__strlen_avx2 --disassemble=__memcpy_avx512_unaligned_erms "
                       "/lib/x86_64-linux-gnu/libc.so.6");
    if (result.ExitCode != 0)
        GTEST_SKIP() << "objdump unavailable: " << result.Output.substr(0, 200);
    std::istringstream lines(result.Output);
    std::string line;
    int checked = 0, mismatches = 0;
    while (std::getline(lines, line)) {
        const size_t tab1 = line.find('\t');
        const size_t tab2 = tab1 == std::string::npos ? std::string::npos : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos || line.find("(bad)") != std::string::npos ||
            line.compare(tab2 + 1, 4, "data") == 0)
            continue;
        std::vector<uint8_t> bytes;
        std::istringstream hex(line.substr(tab1 + 1, tab2 - tab1 - 1));
        std::string byte;
        while (hex >> byte)
            bytes.push_back(uint8_t(std::stoul(byte, nullptr, 16)));
        if (bytes.empty())
            continue;
        TInstructionInfo info;
        std::vector<uint8_t> padded = bytes;
        padded.resize(15, 0x90);
        if (!DecodeInstruction(padded.data(), padded.size(), info) || info.Length != bytes.size()) {
            if (++mismatches <= 10)
                ADD_FAILURE() << line;
        }
        ++checked;
    }
    EXPECT_GT(checked, 10000);
    EXPECT_EQ(mismatches, 0);
}
