#include "ReportFixture.h"

#include "OCallStack.h"
#include "OLogFile.h"
#include "OLogItem.h"

#include <cstring>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace reporter;
using namespace reptest;

namespace {

std::string CRLF(const std::string& text) {
    std::string result;
    for (const char c : text) {
        if (c == '\n')
            result += '\r';
        result += c;
    }
    return result;
}

// The whole report of the fixed inputs: General with hidden fields (groups 3, 5 and 6 gone, 4.1 keeping
// its number), two threads with the exception thread's creation stack, two modules, the registers and
// the dump of 16 stack words and 256 code bytes.
const char* const ExpectedReport = R"(

Application:
-------------------------------------------------------
  1.1 Start Date      : Tue, 14 Nov 2023 22:00:00 +0000
  1.2 Name/Description: Vexa Daxo Soft
  1.3 Version Number  : 1.2.3.4

Exception:
----------------------------------------------
  2.1 Date   : Tue, 14 Nov 2023 22:13:20 +0000
  2.2 Address: 0000555500001234
  2.3 Module : app
  2.4 Type   : std::runtime_error
  2.5 Message: Something broke.

Computer:
-----------------
  4.1 Name: bench

Call Stack Information:
---------------------------------------------------------------------
|Address         |Module     |Unit    |Class  |Procedure/Method|Line|
---------------------------------------------------------------------
| Exception Thread: ID=100; Priority=0; Class=TWorker; [Main]       |
|-------------------------------------------------------------------|
|0000555500001234|app        |main.cpp|TWorker|Run             |42  |
|00007F0000002000|libfoo.so.1|        |       |bar             |    |
|-------------------------------------------------------------------|
| Calling Thread: ID=100; Priority=0; Class=TWorker; [Main]         |
|-------------------------------------------------------------------|
|0000555500001100|app        |main.cpp|       |Start           |7   |
|-------------------------------------------------------------------|
|                                                                   |
| Running Thread: ID=200; Priority=??; Class=                       |
|-------------------------------------------------------------------|
|0000555500001200|app        |loop.cpp|TLoop  |Loop            |9   |
---------------------------------------------------------------------

Modules Information:
------------------------------------------------------------------------------------------
|Handle          |Name       |Description   |Version|Size  |Modified           |Path     |
------------------------------------------------------------------------------------------
|0000555500000000|app        |Vexa Daxo Soft|1.2.3.4|123456|2023-11-14 22:13:20|/opt/vexa|
|00007F0000000000|libfoo.so.1|              |       |9876  |2023-11-14 22:14:21|/usr/lib |
------------------------------------------------------------------------------------------

Registers:
---------------------------------------------
RAX: 0000000000001111   RDI: 0000000000002222
RBX: 0000000000000000   RSI: 0000000000000000
RCX: 0000000000000000   RSP: 00007FFC12340000
RDX: 0000000000000000   RIP: 0000555500001234
RBP: 0000000000000000   R8 : 0000000000000000
R9 : 0000000000000000   R10: 0000000000000000
R11: 0000000000000000   R12: 0000000000000000
R13: 0000000000000000   R14: 0000000000000000
R15: FFFFFFFFFFFFFFFF   EFL: 0000000000000246

Stack:                               Memory Dump:
----------------------------------   -----------------------------------------------------------------------------------
00007FFC12340000: 0000000000000001   0000555500001234: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  ................
00007FFC12340008: 0000000000000002   0000555500001244: 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F  ................
00007FFC12340010: 0000000000000003   0000555500001254: 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F   !"#$%&'()*+,-./
00007FFC12340018: 0000000000000004   0000555500001264: 30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F  0123456789:;<=>?
00007FFC12340020: 0000000000000005   0000555500001274: 40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F  @ABCDEFGHIJKLMNO
00007FFC12340028: 0000000000000006   0000555500001284: 50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E 5F  PQRSTUVWXYZ[\]^_
00007FFC12340030: 0000000000000007   0000555500001294: 60 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F  `abcdefghijklmno
00007FFC12340038: 0000000000000008   00005555000012A4: 70 71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F  pqrstuvwxyz{|}~.
00007FFC12340040: 0000000000000009   00005555000012B4: 80 81 82 83 84 85 86 87 88 89 8A 8B 8C 8D 8E 8F  ................
00007FFC12340048: 000000000000000A   00005555000012C4: 90 91 92 93 94 95 96 97 98 99 9A 9B 9C 9D 9E 9F  ................
00007FFC12340050: 000000000000000B   00005555000012D4: A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF  ................
00007FFC12340058: 000000000000000C   00005555000012E4: B0 B1 B2 B3 B4 B5 B6 B7 B8 B9 BA BB BC BD BE BF  ................
00007FFC12340060: 000000000000000D   00005555000012F4: C0 C1 C2 C3 C4 C5 C6 C7 C8 C9 CA CB CC CD CE CF  ................
00007FFC12340068: 000000000000000E   0000555500001304: D0 D1 D2 D3 D4 D5 D6 D7 D8 D9 DA DB DC DD DE DF  ................
00007FFC12340070: 000000000000000F   0000555500001314: E0 E1 E2 E3 E4 E5 E6 E7 E8 E9 EA EB EC ED EE EF  ................
00007FFC12340078: 0000000000000010   0000555500001324: F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF  ................
)";

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(ReportText, FixedInputsGiveTheStoredLayout) {
    TFixedReport fixture;
    const TLogTexts texts = fixture.Build();
    EXPECT_EQ(texts.Report, std::string("OstrelLog ") + OstrelLogVersionText + CRLF(ExpectedReport));
    EXPECT_EQ(texts.SendText, texts.Report);
    EXPECT_EQ(texts.Report, texts.General + "\r\n" + texts.CallStackAndModules + texts.CPU);
    EXPECT_EQ(texts.DialogHeader, fixture.Options->GetText(3) + "\r\n\r\n");
    EXPECT_EQ(texts.ExceptionAddress, "0000555500001234");
    EXPECT_EQ(texts.ExceptionModule, "app");
    EXPECT_EQ(texts.ExceptionType, "std::runtime_error");
    EXPECT_EQ(texts.ExceptionMessage, "Something broke.");
    // No bare line feed anywhere: the text is stored and sent as it is.
    EXPECT_EQ(Count(texts.Report, "\n"), Count(texts.Report, "\r\n"));
}

TEST(ReportText, HiddenFieldsKeepTheirNumbers) {
    TFixedReport fixture;
    TGeneralFields fields = fixture.Options->GeneralFields();
    fields[gfExceptionAddress / 8] &= uint8_t(~(1u << (gfExceptionAddress % 8)));
    fixture.Options->SetGeneralFields(fields);
    TGeneralValues values;
    values[gfExceptionAddress] = "0000555500001234";
    values[gfExceptionModule] = "app";
    values[gfComputerName] = "bench";
    const std::string general = FormatGeneralFields(*fixture.Options, values, true);
    EXPECT_EQ(general.find("2.2"), std::string::npos);
    EXPECT_NE(general.find("  2.3 Module : app\r\n"), std::string::npos) << general;
    // Groups 3 (no field shown) and 5 are gone; the computer group keeps its number.
    EXPECT_EQ(general.find("Active Controls"), std::string::npos);
    EXPECT_NE(general.find("  4.1 Name: bench\r\n"), std::string::npos);
    EXPECT_EQ(GetFieldValue("\r\n" + general, "2.3"), "app");
}

TEST(ReportText, CallStackColumnsFollowTheOptions) {
    TFixedReport fixture;
    // Without bit 0x02 the structured export (kind 3) goes; with bit 0x10 lines carry their offset, and a
    // line of 0 still shows nothing.
    fixture.Options->SetCallStackFlags(0x01 | 0x10);
    std::string text = BuildCallStackText(*fixture.Options, &fixture.Stack, fixture.Frame.ThreadFacts);
    EXPECT_EQ(text.find("bar"), std::string::npos);
    EXPECT_EQ(text.find("libfoo"), std::string::npos);
    EXPECT_NE(text.find("|Run             |42[3]|\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("|Loop            |9[1] |\r\n"), std::string::npos) << text;

    // An exception address that is not shown (here: outside any module) still heads the exception
    // thread's block.
    fixture.Options->SetCallStackFlags(0x0F);
    fixture.Stack.Items(0).Kind = dkNoModule;
    text = BuildCallStackText(*fixture.Options, &fixture.Stack, fixture.Frame.ThreadFacts);
    EXPECT_NE(text.find("| Exception Thread: ID=100;"), std::string::npos) << text;
    EXPECT_EQ(text.find("0000555500001234"), std::string::npos);
}

TEST(ReportText, LongThreadHeadersWidenTheTableInsteadOfBeingCut) {
    TFixedReport fixture;
    const std::string longClass(120, 'K');
    const TThreadFactsLookup facts = [&](uint32_t) {
        TThreadHeaderFacts f;
        f.Known = true;
        f.Priority = "-5";
        f.ClassName = longClass;
        return f;
    };
    const std::string text = BuildCallStackText(*fixture.Options, &fixture.Stack, facts);
    EXPECT_NE(text.find("| Exception Thread: ID=100; Priority=-5; Class=" + longClass + "|\r\n"),
              std::string::npos)
        << text;
    // Every line of the table has the same width.
    size_t width = std::string::npos;
    for (size_t at = text.find("\r\n|"); at != std::string::npos; at = text.find("\r\n|", at + 2)) {
        const size_t end = text.find("\r\n", at + 2);
        if (width == std::string::npos)
            width = end - at;
        EXPECT_EQ(end - at, width);
    }
}

TEST(ReportText, EmptyStackAndShortSections) {
    TFixedReport fixture;
    const std::string empty = BuildCallStackText(*fixture.Options, nullptr);
    const std::string rule(16 + 6 + 4 + 5 + 16 + 4 + 7, '-');
    EXPECT_EQ(empty, "Call Stack Information:\r\n" + rule +
                         "\r\n|Address         |Module|Unit|Class|Procedure/Method|Line|\r\n" + rule +
                         "\r\n" + rule + "\r\n\r\n");

    fixture.Options->SetLogFlags(0x00);
    const TLogTexts texts = fixture.Build();
    EXPECT_NE(texts.CallStackAndModules.find("|\r\n" + std::string(69, '-') +
                                             "\r\n\r\nModules Information:\r\n" + std::string(20, '-') +
                                             "\r\n\r\n"),
              std::string::npos);
    EXPECT_EQ(texts.CPU, "Registers:\r\n----------\r\n\r\n");
    EXPECT_EQ(GetReportCPU(texts.Report), std::string());
    EXPECT_EQ(GetReportModules(texts.Report), std::string());
}

TEST(ReportText, RegistersWithoutContextAndUnreadableMemory) {
    TFixedReport fixture;
    fixture.Frame.Context.reset();
    std::string cpu = fixture.Build().CPU;
    const std::string unknown = "????" + std::string(12, ' ');
    EXPECT_NE(cpu.find("\r\nRAX: " + unknown + "   RDI: " + unknown + "\r\n"), std::string::npos) << cpu;
    EXPECT_NE(cpu.find("\r\nR15: " + unknown + "   EFL: " + unknown + "\r\n"), std::string::npos);
    const std::string rules = std::string(34, '-') + "   " + std::string(83, '-') + "\r\n";
    EXPECT_EQ(cpu.substr(cpu.size() - rules.size()), rules); // the dump is empty

    // With a context but memory that cannot be read there is no dump either.
    TFixedReport unreadable;
    unreadable.Frame.ReadMemory = [](uintptr_t, void*, size_t) { return false; };
    cpu = unreadable.Build().CPU;
    EXPECT_NE(cpu.find("RSP: 00007FFC12340000"), std::string::npos);
    EXPECT_EQ(cpu.substr(cpu.size() - rules.size()), rules);
}

TEST(ReportText, DumpOfTheProcessMemory) {
    alignas(16) static const uint8_t code[256] = {'O', 'K', 0x90, 0x7F};
    alignas(16) static const uint64_t stack[16] = {0x0123456789ABCDEF, 2};
    const std::string dump = BuildMemoryDump(uintptr_t(stack), uintptr_t(code));
    ASSERT_EQ(dump.size(), 16 * (DumpLineWidth + 2));
    const std::string first = dump.substr(0, DumpLineWidth);
    EXPECT_EQ(first.substr(DumpStackValueColumn, 16), "0123456789ABCDEF");
    EXPECT_EQ(first.substr(DumpBytesColumn, 12), "4F 4B 90 7F ");
    EXPECT_EQ(first.substr(DumpCharsColumn, 4), "OK..");

    // A page that cannot be read leaves the dump empty instead of faulting.
    const long page = sysconf(_SC_PAGESIZE);
    void* guard = mmap(nullptr, size_t(page), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(guard, MAP_FAILED);
    EXPECT_EQ(BuildMemoryDump(uintptr_t(stack), uintptr_t(guard)), std::string());
    EXPECT_EQ(BuildMemoryDump(uintptr_t(guard), uintptr_t(code)), std::string());
    EXPECT_EQ(BuildMemoryDump(0, uintptr_t(code)), std::string());
    munmap(guard, size_t(page));
}

TEST(ReportText, SignalContextRegisters) {
    ucontext_t context{};
    context.uc_mcontext.gregs[REG_RIP] = 0x401000;
    context.uc_mcontext.gregs[REG_RSP] = 0x7FFF0000;
    context.uc_mcontext.gregs[REG_R8] = 8;
    context.uc_mcontext.gregs[REG_EFL] = 0x202;
    const TOstrelCPUContext c = ContextFromSignal(context);
    EXPECT_EQ(c.RIP, 0x401000u);
    EXPECT_EQ(c.RSP, 0x7FFF0000u);
    EXPECT_EQ(c.R8, 8u);
    EXPECT_EQ(c.EFLAGS, 0x202u);
}

TEST(ReportText, SectionsInsertedAfterTheGeneralPart) {
    TFixedReport fixture;
    const TLogTexts texts = fixture.Build();
    std::string report = texts.Report;
    size_t general = texts.General.size();
    InsertLogSection(report, general, 6, "Other Information", "User: 17\nDocument: a.txt");
    InsertLogSection(report, general, 7, "Request", "  ");
    InsertLogSection(report, general, 7, "Request", "Click twice.");
    const std::string sections = "Other Information:\r\n"
                                 "----------------------------------------\r\n"
                                 "  7.1 Other Information: User:_17\r\n"
                                 "                         Document:_a.txt\r\n"
                                 "\r\n"
                                 "Request:\r\n"
                                 "---------------------------\r\n"
                                 "  8.1 Request: Click twice.\r\n"
                                 "\r\n";
    EXPECT_EQ(report, texts.General + "\r\n" + sections + texts.CallStackAndModules + texts.CPU);
    EXPECT_EQ(report.substr(0, general), texts.General + "\r\n" + sections.substr(0, sections.size() - 2));
    EXPECT_EQ(GetFieldValue(report, "7.1"), "User:_17\r\nDocument:_a.txt");
    EXPECT_EQ(GetFieldValue(report, "8.1"), "Click twice.");
    EXPECT_EQ(GetReportCallStack(report), GetReportCallStack(texts.Report));
}

TEST(ReportText, TableLinesKeepTheirWidth) {
    std::string buffer(10, ' ');
    size_t position = 0;
    AddTableLine(buffer, position, {"abcdef", "x"}, {3, 2});
    AddTableLine(buffer, position, {"", "yy"}, {3, 2});
    buffer.resize(position);
    EXPECT_EQ(buffer, "|abc|x |\r\n|   |yy|\r\n");
    EXPECT_EQ(LineText(TOstrelModuleOptions("", false), TOstrelDebugInfo{}), "");
}
