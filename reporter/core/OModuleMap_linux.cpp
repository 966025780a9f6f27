#include "OModuleMap.h"

#include "OMemory.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/auxv.h>
#include <unistd.h>
#include <unordered_map>

namespace reporter {

namespace {

constexpr size_t MapsLimit = size_t(16) << 20;
constexpr int ProgramHeaderLimit = 256;
constexpr std::string_view DeletedMark = " (deleted)";

std::string ReadMapsText() {
    std::string text;
    const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || text.size() > MapsLimit)
            break;
        text.append(buffer, size_t(n));
    }
    ::close(fd);
    return text;
}

// What the loader's walks told about each module: its name and when it was first seen.
struct TLoaderEntry {
    const void* Headers = nullptr;
    std::string Name;
    uint64_t Order = 0;
};
std::mutex gLoaderLock; // never held around a loader call by the map's side
uint64_t gLoaderOrder = 0;

// Built at its first use: the loader's list may be walked by other initialisers before this file's.
std::unordered_map<TModuleHandle, TLoaderEntry>& LoaderEntries() {
    static std::unordered_map<TModuleHandle, TLoaderEntry> entries;
    return entries;
}

std::mutex gActiveLock;
std::shared_ptr<const TModuleMap> gActive;
int gScopes = 0;

struct TCandidate {
    TLoadedModule Module;
    uint64_t Order = UINT64_MAX;
};

// An ELF image mapped from its first byte at the line's start: its headers, and every loadable segment
// in a mapping of the same file. false for anything else (a data file that happens to be mapped).
bool ReadImage(const TMapsLine& line, const std::vector<TMapsLine>& lines, TLoadedModule& module) {
    ElfW(Ehdr) header;
    if (!SafeRead(line.Start, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(ElfW(Phdr)) ||
        header.e_phnum == 0 || header.e_phnum > ProgramHeaderLimit)
        return false;
    const uintptr_t headersAt = line.Start + header.e_phoff;
    ElfW(Phdr) headers[ProgramHeaderLimit];
    if (!SafeRead(headersAt, headers, header.e_phnum * sizeof(ElfW(Phdr))))
        return false;
    uintptr_t lowest = UINTPTR_MAX;
    for (int i = 0; i < header.e_phnum; ++i)
        if (headers[i].p_type == PT_LOAD)
            lowest = std::min<uintptr_t>(lowest, headers[i].p_vaddr);
    if (lowest == UINTPTR_MAX)
        return false;
    const uintptr_t pageMask = ~uintptr_t(sysconf(_SC_PAGESIZE) - 1);
    const uintptr_t bias = line.Start - (lowest & pageMask);
    const bool anonymous = line.Inode == 0;
    for (int i = 0; i < header.e_phnum && !anonymous; ++i) {
        if (headers[i].p_type != PT_LOAD || headers[i].p_filesz == 0)
            continue;
        const uintptr_t at = bias + headers[i].p_vaddr;
        const auto holder = std::find_if(lines.begin(), lines.end(), [&](const TMapsLine& l) {
            return at >= l.Start && at < l.End && l.Inode == line.Inode && l.Device == line.Device;
        });
        if (holder == lines.end())
            return false;
    }
    module.Handle = line.Start;
    module.LoadBias = bias;
    module.ProgramHeaders = reinterpret_cast<const void*>(headersAt);
    module.ProgramHeaderCount = header.e_phnum;
    return true;
}

void AddSegments(TModuleMap& map, size_t index) {
    const TLoadedModule& module = map.Modules[index];
    const auto* headers = static_cast<const ElfW(Phdr)*>(module.ProgramHeaders);
    for (int i = 0; i < module.ProgramHeaderCount; ++i) {
        ElfW(Phdr) ph;
        if (!SafeRead(reinterpret_cast<uintptr_t>(headers + i), &ph, sizeof ph))
            break;
        if (ph.p_type == PT_LOAD && ph.p_memsz > 0) {
            const uintptr_t start = module.LoadBias + ph.p_vaddr;
            map.Segments.push_back({start, start + ph.p_memsz, index});
        }
    }
}

} // namespace

namespace {

// A number of at most maxDigits digits in the base at pos, followed by pos moved past it; false when
// there is none or it has more digits.
bool TakeNumber(std::string_view text, size_t& pos, int base, size_t maxDigits, uint64_t& value) {
    value = 0;
    size_t digits = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        if (++digits > maxDigits)
            return false;
        value = value * uint64_t(base) + uint64_t(digit);
        ++pos;
    }
    return digits > 0;
}

bool TakeChar(std::string_view text, size_t& pos, char expected) {
    if (pos >= text.size() || text[pos] != expected)
        return false;
    ++pos;
    return true;
}

} // namespace

bool ParseMapsLine(std::string_view line, TMapsLine& out) {
    size_t pos = 0;
    uint64_t start = 0, end = 0;
    if (!TakeNumber(line, pos, 16, 16, start) || !TakeChar(line, pos, '-') ||
        !TakeNumber(line, pos, 16, 16, end) || !TakeChar(line, pos, ' ') || end <= start)
        return false;
    out.Start = uintptr_t(start);
    out.End = uintptr_t(end);
    // The four permission letters and a blank.
    if (line.size() - pos < 5 || line[pos + 4] != ' ')
        return false;
    out.Readable = line[pos] == 'r';
    pos += 5;
    if (!TakeNumber(line, pos, 16, 16, out.Offset) || !TakeChar(line, pos, ' '))
        return false;
    const size_t device = pos;
    while (pos < line.size() && line[pos] != ' ')
        ++pos;
    if (pos == device || !TakeChar(line, pos, ' '))
        return false;
    out.Device = line.substr(device, pos - 1 - device);
    if (!TakeNumber(line, pos, 10, 20, out.Inode) || (pos < line.size() && line[pos] != ' '))
        return false;
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    out.Path = line.substr(pos);
    return true;
}

void RememberLoaderModule(const TLoadedModule& module, const char* name) {
    std::lock_guard guard(gLoaderLock);
    TLoaderEntry& entry = LoaderEntries()[module.Handle];
    if (entry.Order == 0 || entry.Headers != module.ProgramHeaders) {
        entry.Order = ++gLoaderOrder;
        entry.Headers = module.ProgramHeaders;
    }
    if (entry.Name != name)
        entry.Name = name;
}

std::shared_ptr<const TModuleMap> ReadModuleMap() {
    auto map = std::make_shared<TModuleMap>();
    const std::string text = ReadMapsText();
    std::vector<TMapsLine> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        TMapsLine line;
        if (ParseMapsLine(std::string_view(text).substr(at, end - at), line)) {
            lines.push_back(line);
            if (line.Readable) {
                if (!map->Readable.empty() && map->Readable.back().End == line.Start)
                    map->Readable.back().End = line.End;
                else
                    map->Readable.push_back({line.Start, line.End});
            }
        }
        at = end + 1;
    }
    const uintptr_t programHeaders = getauxval(AT_PHDR);
    const uintptr_t vdso = getauxval(AT_SYSINFO_EHDR);
    std::vector<TCandidate> found;
    for (const TMapsLine& line : lines) {
        const bool vdsoLine = line.Start == vdso && vdso != 0;
        if (!line.Readable || line.Offset != 0 || (line.Inode == 0 && !vdsoLine))
            continue;
        TCandidate candidate;
        if (!ReadImage(line, lines, candidate.Module))
            continue;
        std::string path(line.Path);
        if (path.ends_with(DeletedMark))
            path.resize(path.size() - DeletedMark.size());
        candidate.Module.FileName = vdsoLine ? std::string("linux-vdso.so.1") : path;
        {
            std::lock_guard guard(gLoaderLock);
            const auto known = LoaderEntries().find(candidate.Module.Handle);
            if (known != LoaderEntries().end() && known->second.Headers == candidate.Module.ProgramHeaders) {
                candidate.Order = known->second.Order;
                if (!known->second.Name.empty() && known->second.Name[0] == '/')
                    candidate.Module.FileName = known->second.Name;
            }
        }
        found.push_back(std::move(candidate));
    }
    // The program first (its headers are where the kernel said), the others as the loader listed them.
    for (TCandidate& c : found) {
        const auto* headers = static_cast<const ElfW(Phdr)*>(c.Module.ProgramHeaders);
        const uintptr_t at = reinterpret_cast<uintptr_t>(headers);
        if (programHeaders != 0 && at == programHeaders) {
            c.Order = 0;
            c.Module.FileName = ProgramFileName();
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const TCandidate& a, const TCandidate& b) { return a.Order < b.Order; });
    for (TCandidate& c : found) {
        map->Modules.push_back(std::move(c.Module));
        AddSegments(*map, map->Modules.size() - 1);
    }
    std::sort(map->Segments.begin(), map->Segments.end(),
              [](const TModuleMap::TSegment& a, const TModuleMap::TSegment& b) { return a.Start < b.Start; });
    return map;
}

const TLoadedModule* TModuleMap::ModuleOf(uintptr_t address) const {
    auto it = std::upper_bound(Segments.begin(), Segments.end(), address,
                               [](uintptr_t a, const TSegment& s) { return a < s.Start; });
    if (it == Segments.begin())
        return nullptr;
    --it;
    return address < it->End ? &Modules[it->Module] : nullptr;
}

const TLoadedModule* TModuleMap::Find(TModuleHandle handle) const {
    for (const TLoadedModule& m : Modules)
        if (m.Handle == handle)
            return &m;
    return nullptr;
}

bool TModuleMap::IsReadable(uintptr_t start, uintptr_t end) const {
    if (Readable.empty())
        return true;
    auto it = std::upper_bound(Readable.begin(), Readable.end(), start,
                               [](uintptr_t a, const TRange& r) { return a < r.Start; });
    if (it == Readable.begin())
        return false;
    --it;
    return start >= it->Start && end <= it->End;
}

std::shared_ptr<const TModuleMap> ActiveModuleMap() {
    std::lock_guard guard(gActiveLock);
    return gActive;
}

TModuleMapScope::TModuleMapScope() {
    {
        std::lock_guard guard(gActiveLock);
        if (gScopes++ > 0)
            return;
    }
    // Read outside the lock: lookups meanwhile still go to the loader, as before any report.
    std::shared_ptr<const TModuleMap> map = ReadModuleMap();
    std::lock_guard guard(gActiveLock);
    if (gScopes > 0 && !gActive)
        gActive = std::move(map);
}

TModuleMapScope::~TModuleMapScope() {
    std::lock_guard guard(gActiveLock);
    if (--gScopes == 0)
        gActive.reset();
}

} // namespace reporter
