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
#include <stdexcept>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace debugpack {

namespace {

using reporter::TDebugRoutine;
using reporter::TDebugSpan;

constexpr uint64_t PageSize = 4096;
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

struct TScopeName {
    std::string Prefix; // enclosing namespaces and classes joined by "::"
    bool InClass = false;
};

struct TPendingRoutine {
    Dwarf_Die Die;
    TScopeName Scope;
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

std::string Demangled(const char* name) {
    if (name == nullptr)
        return std::string();
    int status = -1;
    std::unique_ptr<char, decltype(&std::free)> text(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                                     &std::free);
    return reporter::StripSignature(status == 0 && text ? text.get() : name);
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

class TCompileUnitReader {
public:
    TCompileUnitReader(Dwarf_Die* cu, std::vector<TDebugRoutine>& routines, std::vector<TDebugSpan>& spans,
                       uint64_t base)
        : m_cu(cu), m_routines(routines), m_spans(spans), m_base(base) {
        if (dwarf_getsrcfiles(cu, &m_files, &m_fileCount) != 0)
            m_files = nullptr, m_fileCount = 0;
    }

    void Read() {
        std::vector<std::string> scope;
        std::vector<bool> classes;
        VisitChildren(m_cu, scope, classes, nullptr);
        NameRoutines();
        ReadLines();
    }

private:
    std::string FileName(Dwarf_Word index) const {
        if (m_files == nullptr || index >= m_fileCount)
            return std::string();
        return BaseName(dwarf_filesrc(m_files, index, nullptr, nullptr));
    }

    static TScopeName ScopeOf(const std::vector<std::string>& scope, const std::vector<bool>& classes) {
        TScopeName name;
        for (size_t i = 0; i < scope.size(); ++i)
            name.Prefix += (i ? "::" : "") + scope[i];
        name.InClass = !classes.empty() && classes.back();
        return name;
    }

    void VisitChildren(Dwarf_Die* parent, std::vector<std::string>& scope, std::vector<bool>& classes,
                       TPendingRoutine* routine) {
        Dwarf_Die child;
        if (dwarf_child(parent, &child) != 0)
            return;
        do
            Visit(&child, scope, classes, routine);
        while (dwarf_siblingof(&child, &child) == 0);
    }

    void Visit(Dwarf_Die* die, std::vector<std::string>& scope, std::vector<bool>& classes,
               TPendingRoutine* routine) {
        switch (dwarf_tag(die)) {
        case DW_TAG_namespace:
        case DW_TAG_class_type:
        case DW_TAG_structure_type:
        case DW_TAG_union_type: {
            const bool isClass = dwarf_tag(die) != DW_TAG_namespace;
            const char* name = dwarf_diename(die);
            scope.push_back(name ? name : isClass ? "<lambda>" : "(anonymous namespace)");
            classes.push_back(isClass);
            VisitChildren(die, scope, classes, routine);
            scope.pop_back();
            classes.pop_back();
            break;
        }
        case DW_TAG_subprogram: {
            m_declarations[dwarf_dieoffset(die)] = ScopeOf(scope, classes);
            std::vector<TRange> ranges = Ranges(die);
            if (ranges.empty())
                break;
            m_pending.push_back({*die, ScopeOf(scope, classes), std::move(ranges), {}});
            const size_t index = m_pending.size() - 1;
            // Local classes (lambdas) and inlined calls live below the routine.
            std::vector<std::string> inner = scope;
            std::vector<bool> innerClasses = classes;
            VisitChildren(die, inner, innerClasses, &m_pending[index]);
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
            TPendingRoutine& owner = *routine;
            for (const TRange& r : Ranges(die))
                owner.Inlines.push_back({r, FileName(file), int32_t(line)});
            break;
        }
        case DW_TAG_lexical_block:
            VisitChildren(die, scope, classes, routine);
            break;
        default:
            break;
        }
    }

    std::string RoutineName(TPendingRoutine& pending) {
        Dwarf_Die declaration = pending.Die;
        for (int hop = 0; hop < MaxReferenceHops; ++hop) {
            Dwarf_Attribute attribute;
            Dwarf_Die target;
            if ((dwarf_attr(&declaration, DW_AT_specification, &attribute) == nullptr &&
                 dwarf_attr(&declaration, DW_AT_abstract_origin, &attribute) == nullptr) ||
                dwarf_formref_die(&attribute, &target) == nullptr)
                break;
            declaration = target;
        }
        const char* name = StringAttribute(&pending.Die, DW_AT_name);
        if (name == nullptr) {
            const char* linkage = StringAttribute(&pending.Die, DW_AT_linkage_name);
            return Demangled(linkage);
        }
        const auto found = m_declarations.find(dwarf_dieoffset(&declaration));
        const TScopeName& scope = found != m_declarations.end() ? found->second : pending.Scope;
        if (scope.Prefix.empty())
            return name;
        return scope.Prefix + (scope.InClass ? "." : "::") + name;
    }

    void NameRoutines() {
        for (size_t i = 0; i < m_pending.size(); ++i) {
            TPendingRoutine& pending = m_pending[i];
            TDebugRoutine routine;
            routine.Name = RoutineName(pending);
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

    void AddSpan(uint64_t start, uint64_t end, const std::string& file, int32_t line) {
        const TRoutineRange* routine = RoutineAt(start);
        if (routine == nullptr || start < m_base || end - m_base > UINT32_MAX)
            return;
        end = std::min(end, routine->Range.High);
        TDebugSpan span;
        span.Start = uint32_t(start - m_base);
        span.End = uint32_t(end - m_base);
        span.Routine = routine->Routine;
        if (const TInline* inlined = InlineAt(m_pending[routine->Pending].Inlines, start)) {
            span.Unit = inlined->File;
            span.Line = inlined->Line;
        } else {
            span.Unit = file;
            span.Line = line;
        }
        m_spans.push_back(std::move(span));
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
    Dwarf_Files* m_files = nullptr;
    size_t m_fileCount = 0;
    std::unordered_map<Dwarf_Off, TScopeName> m_declarations;
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
        if (m_elf == nullptr || elf_kind(m_elf) != ELF_K_ELF)
            throw std::runtime_error("\"" + fileName + "\" is no ELF file");
    }
    ~TElfFile() {
        if (m_dwarf)
            dwarf_end(m_dwarf);
        if (m_elf)
            elf_end(m_elf);
        if (m_fd >= 0)
            ::close(m_fd);
    }
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
    int m_fd = -1;
    Elf* m_elf = nullptr;
    Dwarf* m_dwarf = nullptr;
};

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

// Function symbols for the code that no DWARF span covers.
void AddSymbolRoutines(Elf* elf, const TSegments& segments, std::vector<TDebugRoutine>& routines,
                       std::vector<TDebugSpan>& spans, size_t& added) {
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
    const auto touches = [&](uint64_t low, uint64_t high) {
        auto it = std::upper_bound(merged.begin(), merged.end(), low,
                                   [](uint64_t a, const TRange& r) { return a < r.Low; });
        if (it != merged.begin() && (it - 1)->High > low)
            return true;
        return it != merged.end() && it->Low < high;
    };
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
            const uint64_t low = symbol.st_value - segments.Base;
            const uint64_t high = low + symbol.st_size;
            if (touches(low, high))
                continue;
            const char* name = elf_strptr(elf, header.sh_link, symbol.st_name);
            if (name == nullptr || *name == '\0')
                continue;
            TDebugRoutine routine;
            routine.Name = Demangled(name);
            routine.Start = uint32_t(low);
            TDebugSpan span;
            span.Start = uint32_t(low);
            span.End = uint32_t(high);
            span.Routine = uint32_t(routines.size());
            routines.push_back(std::move(routine));
            spans.push_back(std::move(span));
            ++added;
        }
    }
}

} // namespace

reporter::TDebugTable ReadDebugTable(const std::string& fileName, TDwarfStats* stats) {
    TElfFile file(fileName);
    const TSegments segments = ReadSegments(file.Handle());
    TDwarfStats local;
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
            TCompileUnitReader(&cu, table.Routines, spans, segments.Base).Read();
            ++local.CompileUnits;
        }
    }
    // Code that the linker discarded keeps its DWARF data at address 0 or a tombstone: only spans inside
    // the code segments count.
    std::erase_if(spans, [&](const TDebugSpan& s) { return !segments.Contains(segments.Base + s.Start); });
    local.Routines = table.Routines.size();
    AddSymbolRoutines(file.Handle(), segments, table.Routines, spans, local.SymbolRoutines);
    table.Units = reporter::BuildDebugUnits(std::move(spans));
    if (stats)
        *stats = local;
    return table;
}

} // namespace debugpack
