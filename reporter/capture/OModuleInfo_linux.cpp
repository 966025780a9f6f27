// The ELF side of the module records: headers and the dynamic symbol table read from the loaded image
// (through the readability test), the container read from the module's file.
#include "OCodeInspection.h"
#include "OErrors.h"
#include "OKeptOLData.h"
#include "OLData.h"
#include "OMemory.h"
#include "OModuleInfo.h"
#include "OSharedBlock.h"
#include "OStream.h"

#include <cstring>
#include <elf.h>
#include <link.h>
#include <optional>
#include <sys/stat.h>

namespace reporter {

namespace {

// Bounds on what a damaged image may make the reader copy.
constexpr size_t DynamicEntryLimit = 4096;
constexpr uint64_t SymbolLimit = 1 << 20;
constexpr uint64_t StringTableLimit = 64 << 20;

struct TImage {
    uintptr_t Bias = 0;
    const ElfW(Phdr) * Headers = nullptr;
    int HeaderCount = 0;
    bool Main = false;
};

std::optional<TImage> FindImage(TModuleHandle handle) {
    std::optional<TImage> image;
    bool first = true;
    EnumerateModules([&](const TLoadedModule& module) {
        if (module.Handle == handle)
            image = TImage{module.LoadBias, static_cast<const ElfW(Phdr)*>(module.ProgramHeaders),
                           module.ProgramHeaderCount, first};
        first = false;
        return !image;
    });
    return image;
}

bool ReadHeader(TModuleHandle handle, ElfW(Ehdr) & header) {
    return SafeRead(handle, &header, sizeof header) && std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
           header.e_ident[EI_CLASS] == ELFCLASS64;
}

// The loader relocates the pointers of most dynamic sections in place, but not those of read-only ones
// (the kernel's vDSO): a pointer below the load bias is still a virtual address of the module.
uintptr_t DynamicPointer(const TImage& image, uintptr_t value) {
    return image.Bias != 0 && value < image.Bias ? value + image.Bias : value;
}

std::vector<ElfW(Dyn)> ReadDynamic(const TImage& image) {
    std::vector<ElfW(Dyn)> entries;
    for (int i = 0; i < image.HeaderCount; ++i) {
        const ElfW(Phdr)& ph = image.Headers[i];
        if (ph.p_type != PT_DYNAMIC)
            continue;
        const uintptr_t at = image.Bias + ph.p_vaddr;
        // In one read: the segment's size bounds the table.
        std::vector<ElfW(Dyn)> table(std::min<size_t>(ph.p_memsz / sizeof(ElfW(Dyn)), DynamicEntryLimit));
        const size_t readable =
            ReadPrefix(at, table.data(), table.size() * sizeof(ElfW(Dyn))) / sizeof(ElfW(Dyn));
        for (size_t k = 0; k < readable && table[k].d_tag != DT_NULL; ++k)
            entries.push_back(table[k]);
    }
    return entries;
}

std::optional<uintptr_t> DynamicValue(const std::vector<ElfW(Dyn)>& entries, ElfW(Sxword) tag) {
    for (const ElfW(Dyn) & e : entries)
        if (e.d_tag == tag)
            return e.d_un.d_val;
    return std::nullopt;
}

// Symbols in the table: DT_HASH states it; DT_GNU_HASH gives it through the last chain.
uint64_t SymbolCount(const std::vector<ElfW(Dyn)>& dynamic, const TImage& image) {
    if (auto hash = DynamicValue(dynamic, DT_HASH)) {
        uint32_t words[2];
        if (SafeRead(DynamicPointer(image, *hash), words, sizeof words))
            return words[1];
    }
    auto gnu = DynamicValue(dynamic, DT_GNU_HASH);
    if (!gnu)
        return 0;
    const uintptr_t table = DynamicPointer(image, *gnu);
    uint32_t head[4]; // bucket count, first hashed symbol, bloom size, bloom shift
    if (!SafeRead(table, head, sizeof head) || head[0] == 0 || head[0] > SymbolLimit || head[2] > SymbolLimit)
        return 0;
    const uintptr_t buckets = table + sizeof head + uintptr_t(head[2]) * sizeof(ElfW(Addr));
    std::vector<uint32_t> bucket(head[0]);
    if (!SafeRead(buckets, bucket.data(), bucket.size() * 4))
        return 0;
    uint32_t last = 0;
    for (uint32_t b : bucket)
        last = std::max(last, b);
    if (last < head[1])
        return head[1];
    const uintptr_t chains = buckets + uintptr_t(head[0]) * 4;
    for (uint64_t index = last; index < SymbolLimit; ++index) {
        uint32_t hash;
        if (!SafeRead(chains + (index - head[1]) * 4, &hash, 4))
            return 0;
        if (hash & 1)
            return index + 1;
    }
    return 0;
}

// The end (exclusive) of the executable segment that holds the address, 0 when none does.
uintptr_t CodeEnd(const TImage& image, uintptr_t address) {
    for (int i = 0; i < image.HeaderCount; ++i) {
        const ElfW(Phdr)& ph = image.Headers[i];
        const uintptr_t start = image.Bias + ph.p_vaddr;
        if (ph.p_type == PT_LOAD && (ph.p_flags & PF_X) && address >= start && address - start < ph.p_memsz)
            return start + ph.p_memsz;
    }
    return 0;
}

} // namespace

std::string GetModuleFileNameEx(TModuleHandle handle) {
    return handle == 0 ? std::string() : GetModuleFileName(handle);
}

uint64_t GetFileSizeByName(const std::string& fileName) {
    struct stat info;
    if (fileName.empty() || ::stat(fileName.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return 0;
    return uint64_t(info.st_size);
}

bool IsDLLModule(TModuleHandle handle) {
    const std::optional<TImage> image = FindImage(handle);
    ElfW(Ehdr) header;
    if (!image || !ReadHeader(handle, header))
        return OwnModuleHandle() != GetModuleHandle(std::string());
    if (image->Main || header.e_type == ET_EXEC)
        return false;
    // A position-independent executable is ET_DYN too; its dynamic flags tell it apart.
    const auto flags = DynamicValue(ReadDynamic(*image), DT_FLAGS_1);
    return !(flags && (*flags & DF_1_PIE));
}

uint8_t IsPackageModule(TModuleHandle handle) {
    ElfW(Ehdr) header;
    if (!FindImage(handle) || !ReadHeader(handle, header))
        return mkNotExamined;
    return IsDLLModule(handle) ? mkLibrary : mkProgram;
}

namespace {

// The module's dynamic symbols and their names, read from its image in memory (no loader call); the
// names end with a zero of their own.
struct TDynamicSymbols {
    std::vector<ElfW(Sym)> Symbols;
    std::vector<char> Strings;
};

std::optional<TDynamicSymbols> ReadDynamicSymbols(const TImage& image) {
    const std::vector<ElfW(Dyn)> dynamic = ReadDynamic(image);
    const auto symtab = DynamicValue(dynamic, DT_SYMTAB);
    const auto strtab = DynamicValue(dynamic, DT_STRTAB);
    const auto strsz = DynamicValue(dynamic, DT_STRSZ);
    const uint64_t count = SymbolCount(dynamic, image);
    if (!symtab || !strtab || !strsz || count == 0 || count > SymbolLimit || *strsz > StringTableLimit)
        return std::nullopt;
    TDynamicSymbols table{std::vector<ElfW(Sym)>(count), std::vector<char>(*strsz + 1, '\0')};
    if (!SafeRead(DynamicPointer(image, *symtab), table.Symbols.data(), count * sizeof(ElfW(Sym))) ||
        !SafeRead(DynamicPointer(image, *strtab), table.Strings.data(), *strsz))
        return std::nullopt;
    return table;
}

} // namespace

bool ReadModuleExports(TModuleHandle handle, TOstrelFunctionsList& functions) {
    const std::optional<TImage> image = FindImage(handle);
    if (!image)
        return false;
    std::optional<TDynamicSymbols> table = ReadDynamicSymbols(*image);
    if (!table)
        return false;
    const std::vector<ElfW(Sym)>& symbols = table->Symbols;
    const std::vector<char>& strings = table->Strings;
    const uint64_t strsz = strings.size() - 1;
    // Sorted by address before any name is copied: moving names around was most of the time.
    struct TFound {
        uintptr_t Address;
        uint32_t Size;
        uint32_t Name;
    };
    std::vector<TFound> found;
    found.reserve(symbols.size());
    for (const ElfW(Sym) & s : symbols) {
        const int type = ELF64_ST_TYPE(s.st_info);
        const int bind = ELF64_ST_BIND(s.st_info);
        const int visibility = ELF64_ST_VISIBILITY(s.st_other);
        if ((type != STT_FUNC && type != STT_GNU_IFUNC) || s.st_shndx == SHN_UNDEF || s.st_value == 0 ||
            (bind != STB_GLOBAL && bind != STB_WEAK) ||
            (visibility != STV_DEFAULT && visibility != STV_PROTECTED) || s.st_name >= strsz ||
            strings[s.st_name] == '\0')
            continue;
        found.push_back({image->Bias + s.st_value, uint32_t(s.st_size), uint32_t(s.st_name)});
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const TFound& a, const TFound& b) { return a.Address < b.Address; });
    for (const TFound& f : found) {
        TOstrelFunctionInfo info;
        info.Name = &strings[f.Name];
        info.Address = f.Address;
        info.Size = f.Size != 0 ? f.Size : RoutineLength(info.Address, CodeEnd(*image, info.Address));
        functions.Add(std::move(info));
    }
    if (functions.Count() > int(found.size()))
        functions.Sort(); // the list held entries before
    return !found.empty();
}

uintptr_t DynamicSymbolAddress(TModuleHandle handle, const char* name) {
    const std::optional<TImage> image = FindImage(handle);
    if (!image || name == nullptr || *name == '\0')
        return 0;
    std::optional<TDynamicSymbols> table = ReadDynamicSymbols(*image);
    if (!table)
        return 0;
    const std::vector<ElfW(Sym)>& symbols = table->Symbols;
    const std::vector<char>& strings = table->Strings;
    const uint64_t strsz = strings.size() - 1;
    for (const ElfW(Sym) & s : symbols) {
        const int type = ELF64_ST_TYPE(s.st_info);
        const int bind = ELF64_ST_BIND(s.st_info);
        const int visibility = ELF64_ST_VISIBILITY(s.st_other);
        if (s.st_shndx == SHN_UNDEF || s.st_value == 0 || s.st_name >= strsz ||
            (type != STT_FUNC && type != STT_OBJECT && type != STT_NOTYPE) ||
            (bind != STB_GLOBAL && bind != STB_WEAK) ||
            (visibility != STV_DEFAULT && visibility != STV_PROTECTED))
            continue;
        if (std::strcmp(&strings[s.st_name], name) == 0)
            return image->Bias + s.st_value;
    }
    return 0;
}

bool HasAppendedDebugData(TModuleHandle handle) {
    const std::string fileName = GetModuleFileNameEx(handle);
    bool damaged = false;
    return !fileName.empty() && (KeptOLData(fileName, damaged) != nullptr || damaged);
}

bool ReadModuleDebugData(TOstrelModuleInfo& info) {
    bool damaged = false;
    const std::shared_ptr<const TKeptOLData> kept = KeptOLData(info.FileName, damaged);
    if (!kept && !damaged)
        return false;
    try {
        if (damaged)
            throw EReadError("Damaged debug data");
        info.DebugDataVersion = kept->Data().Version;
        info.CompilationTime = time_t(kept->Data().CompilationTime);
        if (info.Options)
            LoadOptionsFromOLData(kept->Data(), *info.Options);
        if (!LightScan()) {
            info.DebugStream = kept->DebugData(damaged);
            if (damaged)
                throw EReadError("Damaged debug data");
        }
    } catch (const Exception&) {
        // A damaged container counts as found, but nothing of it is trusted.
        info.DebugDataValid = false;
        info.DebugStream.reset();
        return true;
    }
    // A library's options give way to those the program published for it.
    if (info.Options && info.Handle != GetModuleHandle(std::string())) {
        TSharedBlock block = OpenSharedBlock(info.Handle, "MODULE", 0);
        if (block.Handle != 0 && SharedBlockDataSize(block) > 1 && block.Data[0] != 0) {
            TOstrelStream stream(block.Data + 1, SharedBlockDataSize(block) - 1);
            try {
                info.Options->LoadFromStream(stream);
            } catch (const Exception&) {
                // A damaged block leaves the options from the file.
            }
        }
        CloseSharedBlock(block);
    }
    return true;
}

} // namespace reporter
