#include "DwarfTable.h"

#include "ODebugInfo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cxxabi.h>
#include <deque>
#include <dwarf.h>
#include <elfutils/libdw.h>
#include <fcntl.h>
#include <gelf.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace debugpack {

namespace {

using reporter::TDebugRoutine;
using reporter::TDebugSpan;
using reporter::TRoutineName;

constexpr uint64_t PageSize = 4096;
// The routine of a span that no DWARF routine covers, until the symbols name it.
constexpr uint32_t NoRoutine = UINT32_MAX;
// Chains of declaration references longer than this are broken data.
constexpr int MaxReferenceHops = 8;

struct TRange {
    uint64_t Low;
    uint64_t High; // exclusive
};

struct TInline {
    TRange Range;
    std::string File;
    int32_t Line;
};

// One level of the scope a declaration sits in.
struct TScopeEntry {
    enum TKind { Namespace, Class, Lambda, Routine } Kind;
    std::string Name;
    Dwarf_Die Die{}; // the routine, for Kind Routine
};
using TScope = std::vector<TScopeEntry>;

struct TPendingRoutine {
    Dwarf_Die Die;
    TScope Scope;
    std::vector<TRange> Ranges;
    std::vector<TInline> Inlines;
};

struct TRoutineRange {
    TRange Range;
    uint32_t Routine;
    size_t Pending; // index into the CU's pending routines
};

std::string BaseName(const char* path) {
    if (path == nullptr)
        return std::string();
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// Class and procedure of a symbol's name; a name that is no mangled one stands as it is.
TRoutineName SymbolRoutineName(const char* name) {
    if (name == nullptr)
        return TRoutineName();
    const std::string demangled = reporter::Demangle(name);
    return demangled.empty() ? TRoutineName{std::string(), name} : reporter::SplitRoutineName(demangled);
}

std::string JoinScope(const TScope& scope, size_t from, size_t to) {
    std::string text;
    for (size_t i = from; i < to; ++i)
        text += (i > from ? "::" : "") + scope[i].Name;
    return text;
}

const char* StringAttribute(Dwarf_Die* die, unsigned name) {
    Dwarf_Attribute attribute;
    return dwarf_attr_integrate(die, name, &attribute) ? dwarf_formstring(&attribute) : nullptr;
}

bool UnsignedAttribute(Dwarf_Die* die, unsigned name, Dwarf_Word& value) {
    Dwarf_Attribute attribute;
    return dwarf_attr_integrate(die, name, &attribute) && dwarf_formudata(&attribute, &value) == 0;
}

std::vector<TRange> Ranges(Dwarf_Die* die) {
    std::vector<TRange> ranges;
    Dwarf_Addr base, start, end;
    for (ptrdiff_t offset = 0; (offset = dwarf_ranges(die, offset, &base, &start, &end)) > 0;)
        if (end > start)
            ranges.push_back({start, end});
    return ranges;
}

struct TSegments {
    uint64_t Base = 0;
    std::vector<TRange> Code;
    bool Contains(uint64_t address) const {
        for (const TRange& r : Code)
            if (address >= r.Low && address < r.High)
                return true;
        return false;
    }
};

struct TSymbol {
    uint64_t Low; // offsets from the base
    uint64_t High;
    const char* Name;
};

// The defined, sized function symbols inside the code segments, by address.
std::vector<TSymbol> ReadFunctionSymbols(Elf* elf, const TSegments& segments) {
    std::vector<TSymbol> symbols;
    Elf_Scn* section = nullptr;
    while ((section = elf_nextscn(elf, section)) != nullptr) {
        GElf_Shdr header;
        if (gelf_getshdr(section, &header) == nullptr || header.sh_type != SHT_SYMTAB ||
            header.sh_entsize == 0)
            continue;
        Elf_Data* data = elf_getdata(section, nullptr);
        if (data == nullptr)
            continue;
        const size_t count = header.sh_size / header.sh_entsize;
        for (size_t i = 0; i < count; ++i) {
            GElf_Sym symbol;
            if (gelf_getsym(data, int(i), &symbol) == nullptr || GELF_ST_TYPE(symbol.st_info) != STT_FUNC ||
                symbol.st_shndx == SHN_UNDEF || symbol.st_size == 0 || !segments.Contains(symbol.st_value) ||
                symbol.st_value < segments.Base ||
                symbol.st_value + symbol.st_size - segments.Base > UINT32_MAX)
                continue;
            const char* name = elf_strptr(elf, header.sh_link, symbol.st_name);
            if (name == nullptr || *name == '\0')
                continue;
            const uint64_t low = symbol.st_value - segments.Base;
            symbols.push_back({low, low + symbol.st_size, name});
        }
    }
    std::stable_sort(symbols.begin(), symbols.end(),
                     [](const TSymbol& a, const TSymbol& b) { return a.Low < b.Low; });
    return symbols;
}

// The symbol that contains the offset, none when no symbol does.
std::optional<size_t> SymbolAt(const std::vector<TSymbol>& symbols, uint64_t offset) {
    auto it = std::upper_bound(symbols.begin(), symbols.end(), offset,
                               [](uint64_t a, const TSymbol& s) { return a < s.Low; });
    while (it != symbols.begin()) {
        --it;
        if (offset < it->High)
            return size_t(it - symbols.begin());
        if (offset - it->Low > (uint64_t(1) << 24))
            break;
    }
    return std::nullopt;
}

class TCompileUnitReader {
public:
    TCompileUnitReader(Dwarf_Die* cu, std::vector<TDebugRoutine>& routines, std::vector<TDebugSpan>& spans,
                       uint64_t base, const std::vector<TSymbol>& symbols)
        : m_cu(cu), m_routines(routines), m_spans(spans), m_base(base), m_symbols(symbols) {
        if (dwarf_getsrcfiles(cu, &m_files, &m_fileCount) != 0)
            m_files = nullptr, m_fileCount = 0;
    }

    void Read() {
        TScope scope;
        VisitChildren(m_cu, scope, nullptr);
        NameRoutines();
        ReadLines();
    }

private:
    std::string FileName(Dwarf_Word index) const {
        if (m_files == nullptr || index >= m_fileCount)
            return std::string();
        return BaseName(dwarf_filesrc(m_files, index, nullptr, nullptr));
    }

    void VisitChildren(Dwarf_Die* parent, TScope& scope, TPendingRoutine* routine) {
        Dwarf_Die child;
        if (dwarf_child(parent, &child) != 0)
            return;
        do
            Visit(&child, scope, routine);
        while (dwarf_siblingof(&child, &child) == 0);
    }

    void Visit(Dwarf_Die* die, TScope& scope, TPendingRoutine* routine) {
        switch (dwarf_tag(die)) {
        case DW_TAG_namespace:
        case DW_TAG_class_type:
        case DW_TAG_structure_type:
        case DW_TAG_union_type: {
            const char* name = dwarf_diename(die);
            TScopeEntry entry;
            if (dwarf_tag(die) == DW_TAG_namespace)
                entry = {TScopeEntry::Namespace, name ? name : "(anonymous namespace)"};
            else if (name == nullptr || std::strncmp(name, "<lambda", 7) == 0)
                entry = {TScopeEntry::Lambda, "<lambda>"};
            else
                entry = {TScopeEntry::Class, name};
            scope.push_back(std::move(entry));
            VisitChildren(die, scope, routine);
            scope.pop_back();
            break;
        }
        case DW_TAG_subprogram: {
            m_declarations[dwarf_dieoffset(die)] = scope;
            // What is declared inside a routine (lambdas, local classes) is named after that routine,
            // also when the routine has no code of its own here (inline, or defined elsewhere).
            TScope inner{TScopeEntry{TScopeEntry::Routine, std::string(), *die}};
            std::vector<TRange> ranges = Ranges(die);
            if (ranges.empty()) {
                VisitChildren(die, inner, nullptr);
                break;
            }
            m_pending.push_back({*die, scope, std::move(ranges), {}});
            VisitChildren(die, inner, &m_pending.back());
            break;
        }
        case DW_TAG_inlined_subroutine: {
            // Only the outermost inlined call matters: its call site is a line of the routine itself.
            if (routine == nullptr)
                break;
            Dwarf_Word file = 0, line = 0;
            if (!UnsignedAttribute(die, DW_AT_call_file, file) ||
                !UnsignedAttribute(die, DW_AT_call_line, line))
                break;
            for (const TRange& r : Ranges(die))
                routine->Inlines.push_back({r, FileName(file), int32_t(line)});
            break;
        }
        case DW_TAG_lexical_block:
            VisitChildren(die, scope, routine);
            break;
        default:
            break;
        }
    }

    // The name of a routine in the scope of its declaration.
    TRoutineName NameIn(const TScope& scope, const std::string& name, int depth) {
        size_t routine = scope.size();
        while (routine > 0 && scope[routine - 1].Kind != TScopeEntry::Routine)
            --routine;
        const bool callOperator =
            name == "operator()" && !scope.empty() && scope.back().Kind == TScopeEntry::Lambda;
        TRoutineName result;
        if (routine > 0) {
            // Inside a routine: the enclosing routine's name, then what lies between (a lambda).
            Dwarf_Die enclosing = scope[routine - 1].Die;
            result = RoutineNameOf(&enclosing, depth + 1);
            for (size_t i = routine; i < scope.size(); ++i)
                result.Procedure += "::" + scope[i].Name;
            if (!callOperator)
                result.Procedure += "::" + name;
        } else if (callOperator) {
            result.Class = JoinScope(scope, 0, scope.size() - 1);
            result.Procedure = scope.back().Name;
        } else if (!scope.empty() && scope.back().Kind != TScopeEntry::Namespace) {
            result.Class = JoinScope(scope, 0, scope.size());
            result.Procedure = name;
        } else {
            result.Procedure = scope.empty() ? name : JoinScope(scope, 0, scope.size()) + "::" + name;
        }
        return result;
    }

    TRoutineName RoutineNameOf(Dwarf_Die* die, int depth = 0) {
        const Dwarf_Off offset = dwarf_dieoffset(die);
        if (const auto known = m_names.find(offset); known != m_names.end())
            return known->second;
        if (depth > MaxReferenceHops)
            return TRoutineName();
        Dwarf_Die declaration = *die;
        for (int hop = 0; hop < MaxReferenceHops; ++hop) {
            Dwarf_Attribute attribute;
            Dwarf_Die target;
            if ((dwarf_attr(&declaration, DW_AT_specification, &attribute) == nullptr &&
                 dwarf_attr(&declaration, DW_AT_abstract_origin, &attribute) == nullptr) ||
                dwarf_formref_die(&attribute, &target) == nullptr)
                break;
            declaration = target;
        }
        TRoutineName result;
        if (const char* name = StringAttribute(die, DW_AT_name)) {
            auto found = m_declarations.find(dwarf_dieoffset(&declaration));
            if (found == m_declarations.end())
                found = m_declarations.find(offset);
            result = NameIn(found != m_declarations.end() ? found->second : TScope(), name, depth);
        } else {
            result = SymbolRoutineName(StringAttribute(die, DW_AT_linkage_name));
        }
        m_names[offset] = result;
        return result;
    }

    void NameRoutines() {
        for (size_t i = 0; i < m_pending.size(); ++i) {
            TPendingRoutine& pending = m_pending[i];
            TDebugRoutine routine;
            TRoutineName name = RoutineNameOf(&pending.Die);
            routine.Class = std::move(name.Class);
            routine.Name = std::move(name.Procedure);
            Dwarf_Word line = 0;
            if (UnsignedAttribute(&pending.Die, DW_AT_decl_line, line))
                routine.FirstLine = uint32_t(line);
            Dwarf_Addr entry = 0;
            if (dwarf_entrypc(&pending.Die, &entry) != 0)
                entry = pending.Ranges.front().Low;
            routine.Start = entry >= m_base ? uint32_t(entry - m_base) : 0;
            const uint32_t index = uint32_t(m_routines.size());
            m_routines.push_back(std::move(routine));
            for (const TRange& r : pending.Ranges)
                m_routineRanges.push_back({r, index, i});
            std::sort(pending.Inlines.begin(), pending.Inlines.end(),
                      [](const TInline& a, const TInline& b) { return a.Range.Low < b.Range.Low; });
        }
        std::sort(m_routineRanges.begin(), m_routineRanges.end(),
                  [](const TRoutineRange& a, const TRoutineRange& b) { return a.Range.Low < b.Range.Low; });
    }

    const TRoutineRange* RoutineAt(uint64_t address) const {
        auto it = std::upper_bound(m_routineRanges.begin(), m_routineRanges.end(), address,
                                   [](uint64_t a, const TRoutineRange& r) { return a < r.Range.Low; });
        while (it != m_routineRanges.begin()) {
            --it;
            if (address < it->Range.High)
                return &*it;
            if (address - it->Range.Low > (uint64_t(1) << 24))
                break;
        }
        return nullptr;
    }

    static const TInline* InlineAt(const std::vector<TInline>& inlines, uint64_t address) {
        auto it = std::upper_bound(inlines.begin(), inlines.end(), address,
                                   [](uint64_t a, const TInline& r) { return a < r.Range.Low; });
        while (it != inlines.begin()) {
            --it;
            if (address < it->Range.High)
                return &*it;
        }
        return nullptr;
    }

    // The lowest start of an inlined call above the address; UINT64_MAX when none.
    static uint64_t NextInlineStart(const std::vector<TInline>& inlines, uint64_t address) {
        auto it = std::upper_bound(inlines.begin(), inlines.end(), address,
                                   [](uint64_t a, const TInline& r) { return a < r.Range.Low; });
        return it == inlines.end() ? UINT64_MAX : it->Range.Low;
    }

    // The lowest start of a routine range above the address; UINT64_MAX when none.
    uint64_t NextRoutineStart(uint64_t address) const {
        auto it = std::upper_bound(m_routineRanges.begin(), m_routineRanges.end(), address,
                                   [](uint64_t a, const TRoutineRange& r) { return a < r.Range.Low; });
        return it == m_routineRanges.end() ? UINT64_MAX : it->Range.Low;
    }

    // Every row is kept: a stretch that runs across routine boundaries is cut there, and code that no
    // routine of the DWARF data covers keeps its line and gets its routine from the symbols later. Such
    // a stretch ends with its symbol: rows sorted from several sequences do not say where one without a
    // routine ends, and code that no symbol holds either is no routine's.
    void AddSpan(uint64_t start, uint64_t end, const std::string& file, int32_t line) {
        if (start < m_base || end - m_base > UINT32_MAX)
            return;
        while (start < end) {
            const TRoutineRange* routine = RoutineAt(start);
            uint64_t pieceEnd = end;
            if (routine != nullptr) {
                pieceEnd = std::min(end, routine->Range.High);
            } else {
                const std::optional<size_t> symbol = SymbolAt(m_symbols, start - m_base);
                if (!symbol) {
                    start = std::min(end, NextRoutineStart(start));
                    continue;
                }
                pieceEnd = std::min({end, NextRoutineStart(start), m_symbols[*symbol].High + m_base});
            }
            TDebugSpan span;
            span.Routine = routine ? routine->Routine : NoRoutine;
            span.Unit = file;
            span.Line = line;
            if (routine != nullptr) {
                // Scheduled code interleaves inlined calls inside one row: cut where a call site changes.
                const std::vector<TInline>& inlines = m_pending[routine->Pending].Inlines;
                if (const TInline* inlined = InlineAt(inlines, start)) {
                    span.Unit = inlined->File;
                    span.Line = inlined->Line;
                    pieceEnd = std::min(pieceEnd, inlined->Range.High);
                } else {
                    pieceEnd = std::min(pieceEnd, NextInlineStart(inlines, start));
                }
            }
            span.Start = uint32_t(start - m_base);
            span.End = uint32_t(pieceEnd - m_base);
            m_spans.push_back(std::move(span));
            start = pieceEnd;
        }
    }

    // libdw hands the rows sorted by address, and rows of different sequences that share an address
    // come in no reliable order. At such an address a sequence that ends there may leave a trailing row
    // (the line it ended on); when another sequence starts there, its rows are the ones that apply.
    void ReadLines() {
        Dwarf_Lines* lines = nullptr;
        size_t count = 0;
        if (dwarf_getsrclines(m_cu, &lines, &count) != 0)
            return;
        struct TRow {
            Dwarf_Addr Address;
            std::string File;
            int Line;
            bool End;
        };
        std::vector<TRow> rows;
        rows.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            Dwarf_Line* line = dwarf_onesrcline(lines, i);
            TRow row{0, {}, 0, false};
            if (line == nullptr || dwarf_lineaddr(line, &row.Address) != 0 ||
                dwarf_lineno(line, &row.Line) != 0 || dwarf_lineendsequence(line, &row.End) != 0)
                continue;
            row.File = BaseName(dwarf_linesrc(line, nullptr, nullptr));
            rows.push_back(std::move(row));
        }
        const TRow* previous = nullptr;
        for (size_t group = 0; group < rows.size();) {
            size_t next = group;
            bool ends = false;
            std::vector<const TRow*> candidates;
            while (next < rows.size() && rows[next].Address == rows[group].Address) {
                if (rows[next].End)
                    ends = true;
                else
                    candidates.push_back(&rows[next]);
                ++next;
            }
            if (ends && candidates.size() > 1 && previous != nullptr) {
                std::vector<const TRow*> starting;
                for (const TRow* r : candidates)
                    if (r->File != previous->File || r->Line != previous->Line)
                        starting.push_back(r);
                if (!starting.empty())
                    candidates = std::move(starting);
            }
            const TRow* chosen = candidates.empty() ? nullptr : candidates.back();
            if (chosen != nullptr && next < rows.size())
                AddSpan(chosen->Address, rows[next].Address, chosen->File, chosen->Line);
            previous = chosen;
            group = next;
        }
    }

    Dwarf_Die* m_cu;
    std::vector<TDebugRoutine>& m_routines;
    std::vector<TDebugSpan>& m_spans;
    uint64_t m_base;
    const std::vector<TSymbol>& m_symbols;
    Dwarf_Files* m_files = nullptr;
    size_t m_fileCount = 0;
    std::unordered_map<Dwarf_Off, TScope> m_declarations;
    std::unordered_map<Dwarf_Off, TRoutineName> m_names;
    std::deque<TPendingRoutine> m_pending;
    std::vector<TRoutineRange> m_routineRanges;
};

class TElfFile {
public:
    explicit TElfFile(const std::string& fileName) {
        elf_version(EV_CURRENT);
        m_fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0)
            throw std::runtime_error("Cannot open \"" + fileName + "\": " + std::strerror(errno));
        m_elf = elf_begin(m_fd, ELF_C_READ_MMAP, nullptr);
        if (m_elf == nullptr || elf_kind(m_elf) != ELF_K_ELF) {
            Close(); // no destructor runs for an object whose constructor raised
            throw std::runtime_error("\"" + fileName + "\" is no ELF file");
        }
    }
    ~TElfFile() { Close(); }
    TElfFile(const TElfFile&) = delete;
    TElfFile& operator=(const TElfFile&) = delete;

    Elf* Handle() const { return m_elf; }
    // None when the file carries no DWARF data.
    Dwarf* Debug() {
        if (m_dwarf == nullptr)
            m_dwarf = dwarf_begin_elf(m_elf, DWARF_C_READ, nullptr);
        return m_dwarf;
    }

private:
    void Close() {
        if (m_dwarf)
            dwarf_end(m_dwarf);
        if (m_elf)
            elf_end(m_elf);
        if (m_fd >= 0)
            ::close(m_fd);
    }

    int m_fd = -1;
    Elf* m_elf = nullptr;
    Dwarf* m_dwarf = nullptr;
};

TSegments ReadSegments(Elf* elf) {
    size_t count = 0;
    if (elf_getphdrnum(elf, &count) != 0)
        throw std::runtime_error("The file has no program headers");
    TSegments segments;
    uint64_t lowest = UINT64_MAX;
    for (size_t i = 0; i < count; ++i) {
        GElf_Phdr header;
        if (gelf_getphdr(elf, int(i), &header) == nullptr || header.p_type != PT_LOAD)
            continue;
        lowest = std::min<uint64_t>(lowest, header.p_vaddr);
        if (header.p_flags & PF_X)
            segments.Code.push_back({header.p_vaddr, header.p_vaddr + header.p_memsz});
    }
    if (lowest == UINT64_MAX)
        throw std::runtime_error("The file has no loadable segment");
    segments.Base = lowest & ~(PageSize - 1);
    return segments;
}

// Names from the symbols: the routine of line rows that no DWARF routine covers, and code that has no
// line at all (line 0: none), so that every address inside a function symbol has a name.
void AddSymbolRoutines(const std::vector<TSymbol>& symbols, std::vector<TDebugRoutine>& routines,
                       std::vector<TDebugSpan>& spans, size_t& added) {
    std::unordered_map<size_t, uint32_t> routineOfSymbol;
    const auto routineFor = [&](size_t index) {
        const auto known = routineOfSymbol.find(index);
        if (known != routineOfSymbol.end())
            return known->second;
        const TRoutineName name = SymbolRoutineName(symbols[index].Name);
        routines.push_back({name.Class, name.Procedure, 0, uint32_t(symbols[index].Low)});
        ++added;
        return routineOfSymbol[index] = uint32_t(routines.size() - 1);
    };
    std::optional<uint32_t> nameless;
    for (TDebugSpan& span : spans) {
        if (span.Routine != NoRoutine)
            continue;
        if (const std::optional<size_t> symbol = SymbolAt(symbols, span.Start)) {
            span.Routine = routineFor(*symbol);
        } else {
            if (!nameless) {
                routines.push_back({std::string(), std::string(), 0, span.Start});
                nameless = uint32_t(routines.size() - 1);
            }
            span.Routine = *nameless;
        }
    }

    std::vector<TRange> covered;
    for (const TDebugSpan& s : spans)
        covered.push_back({s.Start, s.End});
    std::sort(covered.begin(), covered.end(), [](const TRange& a, const TRange& b) { return a.Low < b.Low; });
    // Merged, so that one search answers whether a range touches covered code.
    std::vector<TRange> merged;
    for (const TRange& r : covered) {
        if (!merged.empty() && r.Low <= merged.back().High)
            merged.back().High = std::max(merged.back().High, r.High);
        else
            merged.push_back(r);
    }
    // The stretches of each symbol that no line covers.
    for (size_t i = 0; i < symbols.size(); ++i) {
        uint64_t from = symbols[i].Low;
        auto it = std::upper_bound(merged.begin(), merged.end(), from,
                                   [](uint64_t a, const TRange& r) { return a < r.Low; });
        if (it != merged.begin() && (it - 1)->High > from)
            --it;
        for (; from < symbols[i].High; ++it) {
            const uint64_t gapEnd = it != merged.end() ? std::min(it->Low, symbols[i].High) : symbols[i].High;
            if (gapEnd > from) {
                TDebugSpan span;
                span.Start = uint32_t(from);
                span.End = uint32_t(gapEnd);
                span.Routine = routineFor(i);
                spans.push_back(std::move(span));
            }
            if (it == merged.end())
                break;
            from = std::max(from, it->High);
        }
    }
}

} // namespace

reporter::TDebugTable ReadDebugTable(const std::string& fileName, TDwarfStats* stats) {
    TElfFile file(fileName);
    const TSegments segments = ReadSegments(file.Handle());
    TDwarfStats local;
    const std::vector<TSymbol> symbols = ReadFunctionSymbols(file.Handle(), segments);
    reporter::TDebugTable table;
    std::vector<TDebugSpan> spans;
    if (Dwarf* dwarf = file.Debug()) {
        Dwarf_CU* unit = nullptr;
        Dwarf_Die cu;
        uint8_t unitType = 0;
        Dwarf_Half version = 0;
        while (dwarf_get_units(dwarf, unit, &unit, &version, &unitType, &cu, nullptr) == 0) {
            if (unitType != DW_UT_compile && unitType != DW_UT_skeleton && unitType != DW_UT_partial)
                continue;
            TCompileUnitReader(&cu, table.Routines, spans, segments.Base, symbols).Read();
            ++local.CompileUnits;
        }
    }
    // Code that the linker discarded keeps its DWARF data at address 0 or a tombstone: only spans inside
    // the code segments count.
    std::erase_if(spans, [&](const TDebugSpan& s) { return !segments.Contains(segments.Base + s.Start); });
    local.Routines = table.Routines.size();
    AddSymbolRoutines(symbols, table.Routines, spans, local.SymbolRoutines);
    table.Units = reporter::BuildDebugUnits(std::move(spans));
    if (stats)
        *stats = local;
    return table;
}

} // namespace debugpack
