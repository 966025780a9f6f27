#include "OVersionNote.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace reporter {

namespace {

// Note areas larger than this are not version notes worth reading.
constexpr uint64_t NoteAreaLimit = 1 << 20;

class TFile {
public:
    explicit TFile(const std::string& name) : m_fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~TFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    bool IsOpen() const { return m_fd >= 0; }
    bool ReadAt(void* buffer, size_t size, uint64_t offset) const {
        auto* p = static_cast<uint8_t*>(buffer);
        while (size > 0) {
            const ssize_t n = ::pread(m_fd, p, size, off_t(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            size -= size_t(n);
            offset += uint64_t(n);
        }
        return true;
    }

private:
    int m_fd;
};

uint32_t Align4(uint32_t v) {
    return (v + 3) & ~uint32_t(3);
}

std::optional<TVersionNote> ParseDescriptor(const uint8_t* desc, size_t size) {
    if (size < VersionNoteFixedSize)
        return std::nullopt;
    uint32_t words[6];
    std::memcpy(words, desc, sizeof words);
    if (words[0] != VersionNoteSignature)
        return std::nullopt;
    TVersionNote note;
    note.Version[0] = uint16_t(words[2] >> 16);
    note.Version[1] = uint16_t(words[2]);
    note.Version[2] = uint16_t(words[3] >> 16);
    note.Version[3] = uint16_t(words[3]);
    size_t at = VersionNoteFixedSize;
    const auto nextText = [&](std::string& text) {
        const void* end = std::memchr(desc + at, 0, size - at);
        if (end == nullptr)
            return false;
        const size_t length = size_t(static_cast<const uint8_t*>(end) - (desc + at));
        text.assign(reinterpret_cast<const char*>(desc + at), length);
        at += length + 1;
        return true;
    };
    while (at < size) {
        std::string key, value;
        if (!nextText(key) || !nextText(value))
            break;
        if (!key.empty())
            note.Texts[key] = value;
    }
    return note;
}

std::optional<TVersionNote> FindInNotes(const std::vector<uint8_t>& area) {
    const size_t ownerSize = sizeof VersionNoteOwner; // with its terminating zero
    size_t at = 0;
    while (area.size() - at >= 12) {
        uint32_t nameSize, descSize, type;
        std::memcpy(&nameSize, area.data() + at, 4);
        std::memcpy(&descSize, area.data() + at + 4, 4);
        std::memcpy(&type, area.data() + at + 8, 4);
        at += 12;
        if (Align4(nameSize) < nameSize || Align4(nameSize) > area.size() - at)
            return std::nullopt;
        const uint8_t* name = area.data() + at;
        at += Align4(nameSize);
        if (Align4(descSize) < descSize || descSize > area.size() - at)
            return std::nullopt;
        const uint8_t* desc = area.data() + at;
        at += std::min<size_t>(Align4(descSize), area.size() - at);
        if (type == VersionNoteType && nameSize == ownerSize &&
            std::memcmp(name, VersionNoteOwner, ownerSize) == 0)
            return ParseDescriptor(desc, descSize);
    }
    return std::nullopt;
}

std::optional<TVersionNote> ReadArea(const TFile& file, uint64_t offset, uint64_t size) {
    if (size == 0 || size > NoteAreaLimit)
        return std::nullopt;
    std::vector<uint8_t> area(size);
    if (!file.ReadAt(area.data(), area.size(), offset))
        return std::nullopt;
    return FindInNotes(area);
}

} // namespace

std::optional<TVersionNote> ReadVersionNote(const std::string& fileName) {
    TFile file(fileName);
    Elf64_Ehdr header;
    if (!file.IsOpen() || !file.ReadAt(&header, sizeof header, 0) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
        return std::nullopt;
    // Sections first; a file stripped of its section table may still carry the note segments.
    if (header.e_shoff != 0 && header.e_shentsize == sizeof(Elf64_Shdr)) {
        for (unsigned i = 0; i < header.e_shnum; ++i) {
            Elf64_Shdr section;
            if (!file.ReadAt(&section, sizeof section, header.e_shoff + uint64_t(i) * sizeof section))
                break;
            if (section.sh_type == SHT_NOTE)
                if (auto note = ReadArea(file, section.sh_offset, section.sh_size))
                    return note;
        }
    }
    if (header.e_phoff != 0 && header.e_phentsize == sizeof(Elf64_Phdr)) {
        for (unsigned i = 0; i < header.e_phnum; ++i) {
            Elf64_Phdr segment;
            if (!file.ReadAt(&segment, sizeof segment, header.e_phoff + uint64_t(i) * sizeof segment))
                break;
            if (segment.p_type == PT_NOTE)
                if (auto note = ReadArea(file, segment.p_offset, segment.p_filesz))
                    return note;
        }
    }
    return std::nullopt;
}

void GetModuleVersion(const std::string& fileName, std::string& description, std::string& version) {
    description.clear();
    version.clear();
    const std::optional<TVersionNote> note = ReadVersionNote(fileName);
    if (!note)
        return;
    const auto it = note->Texts.find("FileDescription");
    if (it != note->Texts.end() && it->second.size() >= 2)
        description = it->second;
    const uint16_t* v = note->Version;
    if (v[0] != 0 || v[1] != 0 || v[2] != 0 || v[3] != 0)
        version = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
                  std::to_string(v[3]);
}

} // namespace reporter
