#include "OLogText.h"

#include "OCallStack.h"
#include "OFiles.h"
#include "OLogItem.h"
#include "OMemory.h"
#include "OOptions.h"
#include "OReportProgress.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace reporter {

namespace {

std::string Hex(uint64_t value, size_t digits = HexDigits) {
    char text[40];
    std::snprintf(text, sizeof text, "%0*" PRIX64, int(std::min<size_t>(digits, 32)), value);
    return text;
}

std::string Dashes(size_t count) {
    return std::string(count, '-');
}

bool ReadWith(const TMemoryReader& reader, uintptr_t address, void* target, size_t size) {
    if (reader)
        return reader(address, target, size);
    return address != 0 && SafeRead(address, target, size);
}

bool IsShown(TOstrelDebugKinds kinds, const TOstrelDebugInfo& entry) {
    return IsShownEntry(kinds, entry);
}

std::string ModuleFileName(const TOstrelDebugInfo& entry) {
    if (entry.Kind == dkNoModule || !entry.Module)
        return std::string();
    return ExtractFileName(entry.Module->FileName);
}

std::vector<std::string> EntryCells(const TOstrelModuleOptions& options, const TOstrelDebugInfo& entry) {
    return {Hex(entry.Address), ModuleFileName(entry), entry.UnitName,
            entry.ClassName,    entry.ProcedureName,   LineText(options, entry)};
}

std::string HeaderLine(const std::vector<std::string>& labels, const std::vector<size_t>& widths) {
    std::string line = "|";
    for (size_t i = 0; i < labels.size(); ++i)
        line += PadRight(labels[i], widths[i]) + "|";
    return line;
}

size_t Sum(const std::vector<size_t>& widths) {
    size_t sum = 0;
    for (const size_t w : widths)
        sum += w;
    return sum;
}

// One thread's entries (or the creation stack of a thread) in list order.
struct TBlock {
    size_t First = 0; // index of its first shown entry
    std::string Header;
    std::vector<size_t> Entries;
};

} // namespace

TOstrelCPUContext ContextFromSignal(const ucontext_t& context) {
    const greg_t* r = context.uc_mcontext.gregs;
    TOstrelCPUContext c;
    c.RAX = uint64_t(r[REG_RAX]);
    c.RBX = uint64_t(r[REG_RBX]);
    c.RCX = uint64_t(r[REG_RCX]);
    c.RDX = uint64_t(r[REG_RDX]);
    c.RSI = uint64_t(r[REG_RSI]);
    c.RDI = uint64_t(r[REG_RDI]);
    c.RBP = uint64_t(r[REG_RBP]);
    c.RSP = uint64_t(r[REG_RSP]);
    c.R8 = uint64_t(r[REG_R8]);
    c.R9 = uint64_t(r[REG_R9]);
    c.R10 = uint64_t(r[REG_R10]);
    c.R11 = uint64_t(r[REG_R11]);
    c.R12 = uint64_t(r[REG_R12]);
    c.R13 = uint64_t(r[REG_R13]);
    c.R14 = uint64_t(r[REG_R14]);
    c.R15 = uint64_t(r[REG_R15]);
    c.RIP = uint64_t(r[REG_RIP]);
    c.EFLAGS = uint64_t(r[REG_EFL]);
    return c;
}

const std::array<const char*, 2 * RegisterLineCount>& RegisterNames() {
    static const std::array<const char*, 2 * RegisterLineCount> names = {
        "RAX", "RDI", "RBX", "RSI", "RCX", "RSP", "RDX", "RIP", "RBP",
        "R8",  "R9",  "R10", "R11", "R12", "R13", "R14", "R15", "EFL"};
    return names;
}

std::vector<TOstrelModuleInfoPtr> ModuleRecords(const TOstrelModulesList& list) {
    std::vector<TOstrelModuleInfoPtr> records;
    records.reserve(size_t(list.Count()));
    for (int i = 0; i < list.Count(); ++i)
        records.push_back(list.Items(i));
    return records;
}

std::string LineText(const TOstrelModuleOptions& options, const TOstrelDebugInfo& entry) {
    // An entry without a line has nothing to offset from: the column stays empty.
    if (entry.Line == 0)
        return std::string();
    std::string text = std::to_string(entry.Line);
    if (options.CallStackFlags() & 0x10)
        text += "[" + std::to_string(entry.LineOffset) + "]";
    return text;
}

std::string FileTimeText(time_t time) {
    if (time == 0)
        return std::string();
    tm local{};
    if (localtime_r(&time, &local) == nullptr)
        return std::string();
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

void AddTableLine(std::string& buffer, size_t& position, const std::vector<std::string>& cells,
                  const std::vector<size_t>& widths) {
    const size_t length = Sum(widths) + widths.size() + 3;
    if (buffer.size() < position + length)
        buffer.resize(position + length, ' ');
    size_t at = position;
    buffer[at++] = '|';
    for (size_t i = 0; i < widths.size(); ++i) {
        if (i < cells.size())
            buffer.replace(at, std::min(cells[i].size(), widths[i]), cells[i], 0, widths[i]);
        at += widths[i];
        buffer[at++] = '|';
    }
    buffer[at++] = '\r';
    buffer[at++] = '\n';
    position = at;
}

std::string BuildCallStackText(const TOstrelModuleOptions& options, const TOstrelStackList* list,
                               const TThreadFactsLookup& threadFacts) {
    const std::vector<std::string> labels = {options.GetText(62), options.GetText(63), options.GetText(64),
                                             options.GetText(65), options.GetText(66), options.GetText(67)};
    std::vector<size_t> widths;
    for (const std::string& label : labels)
        widths.push_back(label.size());
    widths[0] = std::max(widths[0], HexDigits);

    const TOstrelDebugKinds kinds = GetCallStackColumns(options);
    std::vector<TBlock> blocks;
    if (list != nullptr) {
        const TOstrelDebugInfo* previous = nullptr;
        for (int i = 0; i < list->Count(); ++i) {
            const TOstrelDebugInfo& entry = list->Items(i);
            if (!IsShown(kinds, entry))
                continue;
            const std::vector<std::string> cells = EntryCells(options, entry);
            for (size_t c = 1; c < cells.size(); ++c)
                widths[c] = std::max(widths[c], cells[c].size());
            if (previous == nullptr || previous->ThreadID != entry.ThreadID ||
                previous->Running != entry.Running)
                blocks.push_back(TBlock{size_t(i), std::string(), {}});
            blocks.back().Entries.push_back(size_t(i));
            previous = &entry;
        }
        // The first block is the exception thread's even when the exception address itself is not shown
        // (an address outside any module with debug data).
        const TOstrelDebugInfo* exceptionEntry = list->Count() > 0 ? &list->Items(0) : nullptr;
        for (size_t b = 0; b < blocks.size(); ++b) {
            const TOstrelDebugInfo& entry = list->Items(int(blocks[b].First));
            const bool exceptionThread = b == 0 && exceptionEntry != nullptr &&
                                         entry.ThreadID == exceptionEntry->ThreadID &&
                                         entry.Running == exceptionEntry->Running;
            const TThreadHeaderFacts facts =
                threadFacts ? threadFacts(entry.ThreadID) : LookupThreadFacts(entry.ThreadID);
            blocks[b].Header =
                BuildThreadHeader(options, exceptionThread ? 0 : int(blocks[b].First), entry, true, facts);
            NoteReportProgress(); // a thread told: a faulting thread waiting for the report sees it move
        }
    }
    // A thread header wider than the table widens the procedure column, so that it is never cut.
    for (const TBlock& block : blocks) {
        const size_t cell = Sum(widths) + 5;
        if (block.Header.size() > cell)
            widths[4] += block.Header.size() - cell;
    }

    const std::string rule = Dashes(Sum(widths) + 7);
    std::string text =
        options.GetText(7) + ":\r\n" + rule + "\r\n" + HeaderLine(labels, widths) + "\r\n" + rule + "\r\n";

    const size_t lineWidth = Sum(widths) + 9;
    const std::vector<size_t> wide = {lineWidth - 4};
    const std::string separator = Dashes(lineWidth - 4);
    size_t lines = 0;
    for (const TBlock& block : blocks)
        lines += block.Entries.size() + 4;
    std::string buffer(lines * lineWidth, ' ');
    size_t position = 0;
    for (size_t b = 0; b < blocks.size(); ++b) {
        const TBlock& block = blocks[b];
        const TOstrelDebugInfo& first = list->Items(int(block.First));
        if (b > 0) {
            AddTableLine(buffer, position, {separator}, wide);
            if (first.Running)
                AddTableLine(buffer, position, {std::string()}, wide);
        }
        AddTableLine(buffer, position, {block.Header}, wide);
        AddTableLine(buffer, position, {separator}, wide);
        for (const size_t i : block.Entries)
            AddTableLine(buffer, position, EntryCells(options, list->Items(int(i))), widths);
        NoteReportProgress();
    }
    buffer.resize(position);
    return text + buffer + rule + "\r\n\r\n";
}

std::string BuildModulesText(const TOstrelModuleOptions& options,
                             const std::vector<TOstrelModuleInfoPtr>& modules) {
    const std::string title = options.GetText(9);
    if (!(options.LogFlags() & 0x10))
        return title + ":\r\n" + Dashes(title.size() + 1) + "\r\n\r\n";

    const std::vector<std::string> labels = {options.GetText(84), options.GetText(85), options.GetText(86),
                                             options.GetText(87), options.GetText(88), options.GetText(89),
                                             options.GetText(90)};
    std::vector<size_t> widths;
    for (const std::string& label : labels)
        widths.push_back(label.size());
    widths[0] = std::max(widths[0], HexDigits);

    std::vector<std::vector<std::string>> rows;
    for (const TOstrelModuleInfoPtr& info : modules) {
        if (!info)
            continue;
        rows.push_back({std::string(), ExtractFileName(info->FileName), info->Description, info->Version,
                        std::to_string(info->Size), FileTimeText(info->Modified), GetModuleFolder(*info)});
        for (size_t c = 1; c < widths.size(); ++c)
            widths[c] = std::max(widths[c], rows.back()[c].size());
        NoteReportProgress();
    }
    size_t row = 0;
    for (const TOstrelModuleInfoPtr& info : modules)
        if (info)
            rows[row++][0] = Hex(info->Handle, widths[0]);

    const std::string rule = Dashes(Sum(widths) + 8);
    std::string text = title + ":\r\n" + rule + "\r\n" + HeaderLine(labels, widths) + "\r\n" + rule + "\r\n";
    const size_t lineWidth = Sum(widths) + 10;
    std::string buffer(rows.size() * lineWidth, ' ');
    size_t position = 0;
    for (const std::vector<std::string>& cells : rows)
        AddTableLine(buffer, position, cells, widths);
    buffer.resize(position);
    return text + buffer + rule + "\r\n\r\n";
}

std::string BuildMemoryDump(uintptr_t stackPointer, uintptr_t address, const TMemoryReader& reader) {
    uint8_t stack[DumpLineCount * DumpStackWord];
    uint8_t memory[DumpLineCount * DumpBytesPerLine];
    if (!ReadWith(reader, stackPointer, stack, sizeof stack) ||
        !ReadWith(reader, address, memory, sizeof memory))
        return std::string();
    std::string dump;
    dump.reserve(DumpLineCount * (DumpLineWidth + 2));
    for (size_t i = 0; i < DumpLineCount; ++i) {
        uint64_t word = 0;
        for (size_t b = DumpStackWord; b-- > 0;)
            word = (word << 8) | stack[i * DumpStackWord + b];
        dump += Hex(stackPointer + i * DumpStackWord) + ": " + Hex(word) + "   " +
                Hex(address + i * DumpBytesPerLine) + ": ";
        const uint8_t* bytes = memory + i * DumpBytesPerLine;
        for (size_t b = 0; b < DumpBytesPerLine; ++b)
            dump += Hex(bytes[b], 2) + " ";
        dump += ' ';
        for (size_t b = 0; b < DumpBytesPerLine; ++b)
            dump += (bytes[b] >= 32 && bytes[b] <= 126) ? char(bytes[b]) : '.';
        dump += "\r\n";
    }
    return dump;
}

std::string BuildCPUText(const TOstrelModuleOptions& options, const TOstrelCPUContext* context,
                         uintptr_t exceptionAddress, const TMemoryReader& reader) {
    const std::string title = options.GetText(91);
    if (!(options.LogFlags() & 0x20))
        return title + ":\r\n" + Dashes(title.size() + 1) + "\r\n\r\n";

    std::array<uint64_t, 2 * RegisterLineCount> values{};
    if (context != nullptr) {
        const TOstrelCPUContext& c = *context;
        values = {c.RAX, c.RDI, c.RBX, c.RSI, c.RCX, c.RSP, c.RDX, c.RIP, c.RBP,
                  c.R8,  c.R9,  c.R10, c.R11, c.R12, c.R13, c.R14, c.R15, c.EFLAGS};
    }
    auto value = [&](size_t i) {
        return context != nullptr ? Hex(values[i]) : "????" + std::string(HexDigits - 4, ' ');
    };
    std::string text = title + ":\r\n" + Dashes(RegisterLineWidth) + "\r\n";
    for (size_t line = 0; line < RegisterLineCount; ++line) {
        const size_t left = 2 * line;
        text += PadRight(RegisterNames()[left], RegisterNameWidth) + ": " + value(left) + "   " +
                PadRight(RegisterNames()[left + 1], RegisterNameWidth) + ": " + value(left + 1) + "\r\n";
    }
    text += "\r\n" + PadRight(options.GetText(92) + ":", DumpStackTitleWidth) + options.GetText(93) +
            ":\r\n" + Dashes(DumpGapColumn) + "   " + Dashes(DumpLineWidth - DumpMemoryColumn) + "\r\n";
    if (context != nullptr)
        text += BuildMemoryDump(uintptr_t(context->RSP), exceptionAddress, reader);
    return text;
}

TLogTexts BuildLogText(const TLogTextFrame& frame) {
    const TOstrelModuleOptions& options = *frame.Options;
    TLogTexts texts;
    texts.DialogHeader = options.GetText(3) + "\r\n\r\n";

    const TGeneralSection general =
        frame.General ? *frame.General : BuildGeneralSection(options, frame.GeneralParams);
    texts.General = general.Text;
    texts.CPU = BuildCPUText(options, frame.Context ? &*frame.Context : nullptr, frame.ExceptionAddress,
                             frame.ReadMemory);
    texts.ExceptionModule = general.ExceptionModule;
    texts.ExceptionAddress = general.ExceptionAddress;
    texts.ExceptionType = general.ExceptionType;
    texts.ExceptionMessage = general.ExceptionMessage;

    texts.CallStackAndModules = BuildCallStackText(options, frame.StackList, frame.ThreadFacts) +
                                BuildModulesText(options, frame.Modules);
    texts.Report = texts.General + "\r\n" + texts.CallStackAndModules + texts.CPU;
    texts.SendText = texts.Report;
    return texts;
}

std::string BuildLogSection(int32_t id, const std::string& label, const std::string& text) {
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        return std::string();
    TLogItem item(id);
    item.AddGroup(label);
    item.AddField(label, text);
    return item.GetText();
}

void InsertLogSection(std::string& report, size_t& generalLength, int32_t id, const std::string& label,
                      const std::string& text) {
    const std::string section = BuildLogSection(id, label, text);
    if (section.empty())
        return;
    // The General part is followed by one CR LF (the empty line before the call stacks); the section
    // goes behind it and brings its own empty line.
    const size_t at = std::min(generalLength + 2, report.size());
    report.insert(at, section + "\r\n");
    generalLength += section.size() + 2;
}

} // namespace reporter
