// Which code of an ELF file without DWARF data the packer names: function symbols with a size, a name
// and a place inside an executable loadable segment, counted from the page of the lowest loadable one.
#include "tests/support/TestTools.h"
#include "tools/debugpack/DwarfTable.h"

#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

struct TSegment {
    uint32_t Type;
    uint32_t Flags;
    uint64_t Address;
    uint64_t Size;
};

struct TSymbol {
    std::string Name;
    unsigned char Type;
    uint16_t Section; // 1: the code section; SHN_UNDEF: defined elsewhere
    uint64_t Address;
    uint64_t Size;
};

template <class T> void Append(std::vector<uint8_t>& out, const T& value) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

// A 64-bit file with these program headers and a symbol table (sections: none, code, symbols, their
// names, the section names); returns its path.
std::string WriteElf(const testtools::TTempDir& dir, const std::vector<TSegment>& segments,
                     const std::vector<TSymbol>& symbols) {
    std::vector<uint8_t> symtab(sizeof(Elf64_Sym), 0); // entry 0 is the null symbol
    std::string strtab(1, '\0');
    for (const TSymbol& s : symbols) {
        Elf64_Sym sym{};
        sym.st_name = uint32_t(strtab.size());
        sym.st_info = ELF64_ST_INFO(STB_GLOBAL, s.Type);
        sym.st_shndx = s.Section;
        sym.st_value = s.Address;
        sym.st_size = s.Size;
        Append(symtab, sym);
        strtab += s.Name + '\0';
    }
    const std::string shstrtab = std::string("\0.text\0.symtab\0.strtab\0.shstrtab\0", 34);

    Elf64_Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_DYN;
    header.e_machine = EM_X86_64;
    header.e_version = EV_CURRENT;
    header.e_phoff = sizeof(Elf64_Ehdr);
    header.e_ehsize = sizeof(Elf64_Ehdr);
    header.e_phentsize = sizeof(Elf64_Phdr);
    header.e_phnum = uint16_t(segments.size());
    header.e_shentsize = sizeof(Elf64_Shdr);
    header.e_shnum = 5;
    header.e_shstrndx = 4;
    const uint64_t symtabAt = header.e_phoff + segments.size() * sizeof(Elf64_Phdr);
    const uint64_t strtabAt = symtabAt + symtab.size();
    const uint64_t shstrtabAt = strtabAt + strtab.size();
    header.e_shoff = (shstrtabAt + shstrtab.size() + 7) & ~uint64_t(7);

    std::vector<uint8_t> file;
    Append(file, header);
    for (const TSegment& s : segments) {
        Elf64_Phdr program{};
        program.p_type = s.Type;
        program.p_flags = s.Flags;
        program.p_vaddr = program.p_paddr = s.Address;
        program.p_memsz = s.Size;
        program.p_align = 4096;
        Append(file, program);
    }
    file.insert(file.end(), symtab.begin(), symtab.end());
    file.insert(file.end(), strtab.begin(), strtab.end());
    file.insert(file.end(), shstrtab.begin(), shstrtab.end());
    file.resize(header.e_shoff, 0);
    const auto section = [&](uint32_t name, uint32_t type, uint64_t offset, uint64_t size, uint32_t link,
                             uint64_t entry) {
        Elf64_Shdr s{};
        s.sh_name = name;
        s.sh_type = type;
        s.sh_offset = offset;
        s.sh_size = size;
        s.sh_link = link;
        s.sh_entsize = entry;
        s.sh_addralign = 1;
        if (type == SHT_SYMTAB)
            s.sh_info = 1; // the first global symbol
        Append(file, s);
    };
    section(0, SHT_NULL, 0, 0, 0, 0);
    section(1, SHT_NOBITS, 0, 0x1000, 0, 0);
    section(7, SHT_SYMTAB, symtabAt, symtab.size(), 3, sizeof(Elf64_Sym));
    section(15, SHT_STRTAB, strtabAt, strtab.size(), 0, 0);
    section(23, SHT_STRTAB, shstrtabAt, shstrtab.size(), 0, 0);
    const std::string path = dir.File("module.so");
    testtools::WriteFile(path, file);
    return path;
}

} // namespace

TEST(DebugTable, OnlySizedNamedFunctionsInsideCodeSegmentsBecomeRoutines) {
    testtools::TTempDir dir;
    // Base: the page of the lowest loadable segment (0x1200 -> 0x1000); the note below it does not count.
    const std::vector<TSegment> segments = {{PT_NOTE, PF_R, 0x200, 0x20},
                                            {PT_LOAD, PF_R, 0x1200, 0x100},
                                            {PT_LOAD, PF_R | PF_X, 0x2000, 0x1000},
                                            {PT_LOAD, PF_R | PF_W, 0x4000, 0x100}};
    const std::vector<TSymbol> symbols = {
        {"edge", STT_FUNC, 1, 0x2FF0, 0x10}, // ends exactly at the segment's end
        {"first", STT_FUNC, 1, 0x2000, 0x40},      {"_ZN4Pump5StartEv", STT_FUNC, 1, 0x2100, 0x20},
        {"sizeless", STT_FUNC, 1, 0x2200, 0},      {"elsewhere", STT_FUNC, SHN_UNDEF, 0x2300, 0x10},
        {"table", STT_OBJECT, 1, 0x2400, 0x10},    {"", STT_FUNC, 1, 0x2500, 0x10},
        {"inData", STT_FUNC, 1, 0x4000, 0x10},     {"readOnly", STT_FUNC, 1, 0x1200, 0x10},
        {"pastTheEnd", STT_FUNC, 1, 0x3000, 0x10},
    };
    debugpack::TDwarfStats stats;
    const reporter::TDebugTable table = debugpack::ReadDebugTable(WriteElf(dir, segments, symbols), &stats);
    EXPECT_EQ(stats.CompileUnits, 0u);
    EXPECT_EQ(stats.SymbolRoutines, 3u);
    ASSERT_EQ(table.Routines.size(), 3u);
    const std::pair<const char*, uint32_t> expected[] = {
        {"first", 0x1000}, {"Pump.Start", 0x1100}, {"edge", 0x1FF0}};
    for (size_t i = 0; i < table.Routines.size(); ++i) {
        EXPECT_EQ(table.Routines[i].FullName(), expected[i].first);
        EXPECT_EQ(table.Routines[i].Start, expected[i].second);
    }
    // Every byte of each routine is named, nothing between them (routine -1).
    ASSERT_EQ(table.Units.size(), 1u);
    EXPECT_EQ(table.Units[0].Low, 0x1000u);
    EXPECT_EQ(table.Units[0].High, 0x2000u);
    std::vector<std::pair<uint32_t, int64_t>> rows;
    for (const reporter::TDebugRow& row : table.Units[0].Rows)
        rows.emplace_back(row.Offset, row.Routine);
    EXPECT_EQ(rows, (std::vector<std::pair<uint32_t, int64_t>>{
                        {0x1000, 0}, {0x1040, -1}, {0x1100, 1}, {0x1120, -1}, {0x1FF0, 2}}));
}

TEST(DebugTable, FilesThatAreNoModuleAreRefused) {
    testtools::TTempDir dir;
    const std::string text = dir.File("text");
    testtools::WriteFile(text, {'n', 'o', ' ', 'E', 'L', 'F'});
    EXPECT_THROW(debugpack::ReadDebugTable(text), std::runtime_error);
    EXPECT_THROW(debugpack::ReadDebugTable(dir.File("missing")), std::runtime_error);
    // Without a loadable segment there is nothing to count from.
    EXPECT_THROW(debugpack::ReadDebugTable(WriteElf(dir, {{PT_NOTE, PF_R, 0x200, 0x20}}, {})),
                 std::runtime_error);
}
