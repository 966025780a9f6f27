#pragma once
// The plain text of a report: the General section, the call stacks of the threads as one ruled table,
// the modules table and the processor block with its stack and memory dump. The layout is a stored
// format: the log file reader, the XML conversion and the rich-text pages parse it back, so the column
// constants below are shared with them.
#include "OGeneralSection.h"
#include "OModuleInfo.h"
#include "OStackList.h"
#include "OThreadHeader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <ucontext.h>
#include <vector>

namespace reporter {

class TOstrelModuleOptions;

// The registers of the thread the exception happened on.
struct TOstrelCPUContext {
    uint64_t RAX = 0, RBX = 0, RCX = 0, RDX = 0, RSI = 0, RDI = 0, RBP = 0, RSP = 0;
    uint64_t R8 = 0, R9 = 0, R10 = 0, R11 = 0, R12 = 0, R13 = 0, R14 = 0, R15 = 0;
    uint64_t RIP = 0, EFLAGS = 0;
};

TOstrelCPUContext ContextFromSignal(const ucontext_t& context);

// --- layout of the processor block ---

// An address, a register or a stack word: 16 upper-case hexadecimal digits.
inline constexpr size_t HexDigits = 16;
// Register lines hold two registers each: "RAX: <16 digits>   RDI: <16 digits>".
inline constexpr size_t RegisterNameWidth = 3;
inline constexpr size_t RegisterLineCount = 9;
inline constexpr size_t RegisterLineWidth = 2 * (RegisterNameWidth + 2 + HexDigits) + 3;
// The dump: 16 lines, each one stack word and 16 bytes of memory at the exception address.
inline constexpr size_t DumpLineCount = 16;
inline constexpr size_t DumpStackWord = 8;
inline constexpr size_t DumpBytesPerLine = 16;
// 0-based columns of a dump line.
inline constexpr size_t DumpStackValueColumn = HexDigits + 2;
inline constexpr size_t DumpGapColumn = DumpStackValueColumn + HexDigits;   // three blanks
inline constexpr size_t DumpMemoryColumn = DumpGapColumn + 3;               // memory address
inline constexpr size_t DumpBytesColumn = DumpMemoryColumn + HexDigits + 2; // "XX " x 16
inline constexpr size_t DumpCharsColumn = DumpBytesColumn + 3 * DumpBytesPerLine + 1;
inline constexpr size_t DumpLineWidth = DumpCharsColumn + DumpBytesPerLine;
// The stack part of the titles and rules (address, ": ", value, and the gap).
inline constexpr size_t DumpStackTitleWidth = DumpMemoryColumn;

// The registers in the order of the text, two per line.
const std::array<const char*, 2 * RegisterLineCount>& RegisterNames();

// Reads size bytes at address into target; false when any of them is unreadable.
using TMemoryReader = std::function<bool(uintptr_t address, void* target, size_t size)>;

// What the report text is built from.
struct TLogTextFrame {
    const TOstrelModuleOptions* Options = nullptr;
    // A General section built beforehand; when absent it is built from GeneralParams.
    std::optional<TGeneralSection> General;
    TGeneralSectionParams GeneralParams;
    const TOstrelStackList* StackList = nullptr;
    std::vector<TOstrelModuleInfoPtr> Modules; // in the module list's order
    std::optional<TOstrelCPUContext> Context;  // none: the registers read "????"
    uintptr_t ExceptionAddress = 0;            // the memory dump starts here
    TMemoryReader ReadMemory;                  // empty: the process's own memory, read safely
    TThreadFactsLookup ThreadFacts;            // empty: LookupThreadFacts
};

struct TLogTexts {
    std::string DialogHeader;        // text 3 + CR LF CR LF
    std::string General;             // banner and fields
    std::string CallStackAndModules; // call-stack table, then the modules table
    std::string CPU;                 // registers, stack and memory dump
    std::string Report;              // General + CR LF + call stacks and modules + CPU
    std::string SendText;            // what the senders use; the report unless the log replaces it
    // Kept apart for the dialog and the mails.
    std::string ExceptionModule;
    std::string ExceptionAddress;
    std::string ExceptionType;
    std::string ExceptionMessage;
};

TLogTexts BuildLogText(const TLogTextFrame& frame);

// The records of a module list, in its order.
std::vector<TOstrelModuleInfoPtr> ModuleRecords(const TOstrelModulesList& list);

// "Call Stack Information" with the table of every shown entry, one block per thread (and per creation
// stack of a thread), closed by its rule and an empty line. Without a list the table has no rows.
std::string BuildCallStackText(const TOstrelModuleOptions& options, const TOstrelStackList* list,
                               const TThreadFactsLookup& threadFacts = {});
// "Modules Information" with one row per module when LogFlags bit 0x10 is set, else the title alone.
std::string BuildModulesText(const TOstrelModuleOptions& options,
                             const std::vector<TOstrelModuleInfoPtr>& modules);
// "Registers" with the register lines, the stack and the memory dump when LogFlags bit 0x20 is set,
// else the title alone.
std::string BuildCPUText(const TOstrelModuleOptions& options, const TOstrelCPUContext* context,
                         uintptr_t exceptionAddress, const TMemoryReader& reader = {});
// 16 lines of stack words from stackPointer and bytes from address; empty when either range is unreadable.
std::string BuildMemoryDump(uintptr_t stackPointer, uintptr_t address, const TMemoryReader& reader = {});

// Writes one table line of fixed width at position into a buffer of blanks: "|" + each cell in its
// column + "|" + CR LF; a cell wider than its column is cut. The position advances past the line; the
// buffer grows when it is too short.
void AddTableLine(std::string& buffer, size_t& position, const std::vector<std::string>& cells,
                  const std::vector<size_t>& widths);
// The call-stack column text of a line number: empty for 0, with "[offset]" when bit 0x10 of
// CallStackFlags is set.
std::string LineText(const TOstrelModuleOptions& options, const TOstrelDebugInfo& entry);
// Local time as "yyyy-mm-dd hh:nn:ss"; empty for 0.
std::string FileTimeText(time_t time);

// A section of its own (custom data, the steps to reproduce): group id + 1 headed by label, whose one
// field, labelled the same, holds the text. Empty for a blank text.
std::string BuildLogSection(int32_t id, const std::string& label, const std::string& text);
// Puts the section after the General part of a report (the General text being its first generalLength
// characters) and widens the General part over it, so that a later section follows this one.
// Nothing happens for a blank text.
void InsertLogSection(std::string& report, size_t& generalLength, int32_t id, const std::string& label,
                      const std::string& text);

} // namespace reporter
