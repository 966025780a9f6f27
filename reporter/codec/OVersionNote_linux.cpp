#include "OVersionNote.h"

#include "OFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace reporter {

namespace {

// ELF constants (elf.h names; the file's class and byte order need not be the host's).
constexpr uint8_t ElfClass32 = 1;
constexpr uint8_t ElfClass64 = 2;
constexpr uint8_t ElfData2Lsb = 1;
constexpr uint8_t ElfData2Msb = 2;
constexpr uint32_t ShtNote = 7;
constexpr uint32_t PtNote = 4;
constexpr uint32_t ShnXIndex = 0xFFFF;
constexpr uint32_t ShnUndef = 0;
// Section and segment tables larger than this are not believed.
constexpr uint64_t MaxTableEntries = 65536;
// The note's section name; other note sections are scanned too (a linker may merge them).
constexpr char NoteSectionName[] = ".note.vexadaxo.version";
// Only the texts of a sane note are taken.
constexpr size_t MaxTexts = 64;

using TBytes = std::vector<uint8_t>;

// The reader raises nothing: it runs inside the reporter, whose hooks take every raise for a fault worth
// recording. A step that fails keeps the reason and returns false.
class TFailure {
public:
    bool Fail(const char* reason) {
        m_reason = std::string(reason);
        return false;
    }
    bool FailWithErrno(int error) { return Fail(std::strerror(error)); }
    const std::string& Reason() const { return m_reason; }

private:
    std::string m_reason;
};

// A read-only file read at offsets, every range checked against the file's size.
class TElfFile {
public:
    explicit TElfFile(TFailure& failure) : m_failure(failure) {}
    ~TElfFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TElfFile(const TElfFile&) = delete;
    TElfFile& operator=(const TElfFile&) = delete;

    bool Open(const std::string& fileName) {
        m_fd = OpenRegularFile(fileName, O_RDONLY);
        if (m_fd < 0)
            return errno == EISDIR || errno == EINVAL ? m_failure.Fail("not a regular file")
                                                      : m_failure.FailWithErrno(errno);
        struct stat st {};
        if (::fstat(m_fd, &st) != 0)
            return m_failure.FailWithErrno(errno);
        m_size = uint64_t(st.st_size);
        return true;
    }

    uint64_t Size() const { return m_size; }

    // Exactly count bytes at offset; a range past the end is a truncated file.
    bool Read(uint64_t offset, uint64_t count, TBytes& data) const {
        if (offset > m_size || count > m_size - offset)
            return m_failure.Fail("the file is truncated");
        data.assign(count, 0);
        uint64_t done = 0;
        while (done < count) {
            const ssize_t n = ::pread(m_fd, data.data() + done, count - done, off_t(offset + done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return m_failure.FailWithErrno(errno);
            }
            if (n == 0)
                return m_failure.Fail("the file is truncated");
            done += uint64_t(n);
        }
        return true;
    }

private:
    TFailure& m_failure;
    int m_fd = -1;
    uint64_t m_size = 0;
};

// Integer fields in the file's byte order. A field past the end reads as 0 and marks the fields cut
// short; callers look at Cut() once they have read what they need.
class TFields {
public:
    TFields(const uint8_t* data, size_t size, bool bigEndian)
        : m_data(data), m_size(size), m_big(bigEndian) {}
    TFields(const TBytes& data, bool bigEndian) : TFields(data.data(), data.size(), bigEndian) {}

    uint16_t U16(uint64_t at) const { return uint16_t(Get(at, 2)); }
    uint32_t U32(uint64_t at) const { return uint32_t(Get(at, 4)); }
    uint64_t U64(uint64_t at) const { return Get(at, 8); }
    bool Cut() const { return m_cut; }

private:
    uint64_t Get(uint64_t at, size_t width) const {
        if (at > m_size || width > m_size - at) {
            m_cut = true;
            return 0;
        }
        uint64_t value = 0;
        for (size_t i = 0; i < width; ++i)
            value = (value << 8) | m_data[at + (m_big ? i : width - 1 - i)];
        return value;
    }

    const uint8_t* m_data;
    size_t m_size;
    bool m_big;
    mutable bool m_cut = false;
};

struct TElfHeader {
    bool Is64 = false;
    bool BigEndian = false;
    uint64_t PhOff = 0;
    uint64_t ShOff = 0;
    uint32_t PhEntSize = 0;
    uint32_t PhNum = 0;
    uint32_t ShEntSize = 0;
    uint32_t ShNum = 0;
    uint32_t ShStrNdx = 0;
};

struct TSection {
    uint32_t Name = 0;
    uint32_t Type = 0;
    uint64_t Offset = 0;
    uint64_t Size = 0;
    uint32_t Link = 0;
    uint64_t Align = 0;
};

void SetVersion(uint16_t (&version)[4], uint32_t high, uint32_t low) {
    version[0] = uint16_t(high >> 16);
    version[1] = uint16_t(high);
    version[2] = uint16_t(low >> 16);
    version[3] = uint16_t(low);
}

bool ParseDescriptor(const uint8_t* descriptor, size_t size, bool bigEndian, TVersionNote& note,
                     std::string& reason) {
    if (size < VersionNoteFixedSize) {
        reason = "the version note is cut short";
        return false;
    }
    const TFields f(descriptor, size, bigEndian);
    if (f.U32(0) != VersionNoteSignature) {
        reason = "the version note has a wrong signature";
        return false;
    }
    note = TVersionNote();
    SetVersion(note.FileVersion, f.U32(8), f.U32(12));
    SetVersion(note.ProductVersion, f.U32(16), f.U32(20));
    // Key and value pairs, each NUL-terminated; NUL padding ends the list.
    const auto* text = reinterpret_cast<const char*>(descriptor);
    size_t at = VersionNoteFixedSize;
    while (at < size && text[at] != '\0') {
        if (note.Texts.size() >= MaxTexts) {
            reason = "the version note has too many texts";
            return false;
        }
        const size_t keyLength = strnlen(text + at, size - at);
        const size_t valueAt = at + keyLength + 1;
        const size_t valueLength = valueAt < size ? strnlen(text + valueAt, size - valueAt) : 0;
        if (valueAt >= size || valueAt + valueLength >= size) {
            reason = "a version text is not terminated";
            return false;
        }
        note.Texts.emplace_back(std::string(text + at, keyLength), std::string(text + valueAt, valueLength));
        at = valueAt + valueLength + 1;
    }
    return true;
}

class TNoteReader {
public:
    TNoteReader(const TElfFile& file, TFailure& failure) : m_file(file), m_failure(failure) {}

    bool Read(TVersionNote& note) {
        if (!ReadHeader() || !ReadSections())
            return false;
        if (!m_sections.empty())
            return FindInSections(note);
        return FindInSegments(note);
    }

private:
    bool ReadHeader() {
        TBytes ident;
        if (m_file.Size() < 16)
            return m_failure.Fail("not an ELF file");
        if (!m_file.Read(0, 16, ident))
            return false;
        if (std::memcmp(ident.data(),
                        "\x7f"
                        "ELF",
                        4) != 0)
            return m_failure.Fail("not an ELF file");
        const uint8_t cls = ident[4];
        const uint8_t data = ident[5];
        if ((cls != ElfClass32 && cls != ElfClass64) || (data != ElfData2Lsb && data != ElfData2Msb) ||
            ident[6] != 1)
            return m_failure.Fail("an unknown ELF class, byte order or version");
        TElfHeader& h = m_header;
        h.Is64 = cls == ElfClass64;
        h.BigEndian = data == ElfData2Msb;
        TBytes raw;
        if (!m_file.Read(0, h.Is64 ? 64 : 52, raw))
            return false;
        const TFields f(raw, h.BigEndian);
        if (h.Is64) {
            h.PhOff = f.U64(32);
            h.ShOff = f.U64(40);
            h.PhEntSize = f.U16(54);
            h.PhNum = f.U16(56);
            h.ShEntSize = f.U16(58);
            h.ShNum = f.U16(60);
            h.ShStrNdx = f.U16(62);
        } else {
            h.PhOff = f.U32(28);
            h.ShOff = f.U32(32);
            h.PhEntSize = f.U16(42);
            h.PhNum = f.U16(44);
            h.ShEntSize = f.U16(46);
            h.ShNum = f.U16(48);
            h.ShStrNdx = f.U16(50);
        }
        return !f.Cut() || m_failure.Fail("a header is cut short");
    }

    static TSection SectionAt(const TFields& f, uint64_t at, bool is64) {
        TSection s;
        s.Name = f.U32(at);
        s.Type = f.U32(at + 4);
        if (is64) {
            s.Offset = f.U64(at + 24);
            s.Size = f.U64(at + 32);
            s.Link = f.U32(at + 40);
            s.Align = f.U64(at + 48);
        } else {
            s.Offset = f.U32(at + 16);
            s.Size = f.U32(at + 20);
            s.Link = f.U32(at + 24);
            s.Align = f.U32(at + 32);
        }
        return s;
    }

    bool ReadSections() {
        TElfHeader& h = m_header;
        if (h.ShOff == 0)
            return true;
        const uint32_t minEntry = h.Is64 ? 64 : 40;
        if (h.ShEntSize < minEntry)
            return m_failure.Fail("the section header size is wrong");
        uint64_t count = h.ShNum;
        if (count == 0 || h.ShStrNdx == ShnXIndex) {
            // Extended numbering: the real count and string-table index are in section 0.
            TBytes first;
            if (!m_file.Read(h.ShOff, h.ShEntSize, first))
                return false;
            const TSection s0 = SectionAt(TFields(first, h.BigEndian), 0, h.Is64);
            if (count == 0)
                count = s0.Size;
            if (h.ShStrNdx == ShnXIndex)
                h.ShStrNdx = s0.Link;
        }
        if (count > MaxTableEntries)
            return m_failure.Fail("too many sections");
        TBytes table;
        if (!m_file.Read(h.ShOff, count * h.ShEntSize, table))
            return false;
        const TFields f(table, h.BigEndian);
        m_sections.reserve(size_t(count));
        for (uint64_t i = 0; i < count; ++i)
            m_sections.push_back(SectionAt(f, i * h.ShEntSize, h.Is64));
        return true;
    }

    bool SectionName(const TSection& strings, uint32_t offset, std::string& name) {
        // Section names are short; read a bounded piece and stop at the NUL.
        if (offset >= strings.Size)
            return m_failure.Fail("a section name lies outside the string table");
        const uint64_t length = std::min<uint64_t>(strings.Size - offset, sizeof(NoteSectionName) + 1);
        TBytes piece;
        if (!m_file.Read(strings.Offset + offset, length, piece))
            return false;
        const auto* begin = reinterpret_cast<const char*>(piece.data());
        name = std::string(begin, strnlen(begin, piece.size()));
        return true;
    }

    // Looks for the version note among the notes of one note section or segment; found tells whether it
    // was there.
    bool FindNote(uint64_t offset, uint64_t size, uint64_t align, TVersionNote& note, bool& found) {
        found = false;
        if (size > VersionNoteMaxSectionSize)
            return true; // another program's large note: not ours
        TBytes notes;
        if (!m_file.Read(offset, size, notes))
            return false;
        align = align == 8 ? 8 : 4;
        const TFields f(notes, m_header.BigEndian);
        uint64_t at = 0;
        while (size - at >= 12) {
            const uint64_t nameSize = f.U32(at);
            const uint64_t descSize = f.U32(at + 4);
            const uint32_t type = f.U32(at + 8);
            const uint64_t nameAt = at + 12;
            const uint64_t descAt = AlignUp(nameAt + nameSize, align);
            const uint64_t next = AlignUp(descAt + descSize, align);
            if (nameSize > size || descSize > size || descAt > size || descSize > size - descAt)
                return m_failure.Fail("a note runs past its section");
            if (type == VersionNoteType && nameSize == sizeof VersionNoteOwner &&
                std::memcmp(notes.data() + nameAt, VersionNoteOwner, sizeof VersionNoteOwner) == 0) {
                std::string reason;
                if (!ParseDescriptor(notes.data() + descAt, size_t(descSize), m_header.BigEndian, note,
                                     reason))
                    return m_failure.Fail(reason.c_str());
                found = true;
                return true;
            }
            if (next >= size)
                break;
            at = next;
        }
        return true;
    }

    bool FindInSections(TVersionNote& note) {
        const uint32_t index = m_header.ShStrNdx;
        const TSection* strings =
            index != ShnUndef && index < m_sections.size() ? &m_sections[index] : nullptr;
        // The named section first, then every other note section.
        for (int pass = 0; pass < 2; ++pass) {
            for (const TSection& s : m_sections) {
                if (s.Type != ShtNote)
                    continue;
                std::string name;
                if (strings && !SectionName(*strings, s.Name, name))
                    return false;
                if ((strings && name == NoteSectionName) != (pass == 0))
                    continue;
                bool found = false;
                if (!FindNote(s.Offset, s.Size, s.Align, note, found))
                    return false;
                if (found)
                    return true;
            }
        }
        return m_failure.Fail("no version note");
    }

    // No section table (a stripped-down file): the note segments.
    bool FindInSegments(TVersionNote& note) {
        const TElfHeader& h = m_header;
        if (h.PhOff == 0 || h.PhNum == 0)
            return m_failure.Fail("no version note");
        if (h.PhEntSize < (h.Is64 ? 56u : 32u))
            return m_failure.Fail("the program header size is wrong");
        TBytes table;
        if (!m_file.Read(h.PhOff, uint64_t(h.PhNum) * h.PhEntSize, table))
            return false;
        const TFields f(table, h.BigEndian);
        for (uint32_t i = 0; i < h.PhNum; ++i) {
            const uint64_t at = uint64_t(i) * h.PhEntSize;
            if (f.U32(at) != PtNote)
                continue;
            const uint64_t offset = h.Is64 ? f.U64(at + 8) : f.U32(at + 4);
            const uint64_t size = h.Is64 ? f.U64(at + 32) : f.U32(at + 16);
            const uint64_t align = h.Is64 ? f.U64(at + 48) : f.U32(at + 28);
            bool found = false;
            if (!FindNote(offset, size, align, note, found))
                return false;
            if (found)
                return true;
        }
        return m_failure.Fail("no version note");
    }

    static uint64_t AlignUp(uint64_t value, uint64_t align) { return (value + align - 1) & ~(align - 1); }

    const TElfFile& m_file;
    TFailure& m_failure;
    TElfHeader m_header;
    std::vector<TSection> m_sections;
};

} // namespace

std::string TVersionNote::Text(const std::string& key) const {
    for (const auto& [k, v] : Texts)
        if (k == key)
            return v;
    return {};
}

bool ReadVersionNote(const std::string& fileName, TVersionNote& note, std::string* reason) {
    TFailure failure;
    TElfFile file(failure);
    if (file.Open(fileName) && TNoteReader(file, failure).Read(note))
        return true;
    if (reason)
        *reason = failure.Reason();
    return false;
}

std::optional<TVersionNote> ReadVersionNote(const std::string& fileName) {
    TVersionNote note;
    if (!ReadVersionNote(fileName, note, nullptr))
        return std::nullopt;
    return note;
}

void GetModuleVersion(const std::string& fileName, std::string& description, std::string& version) {
    description.clear();
    version.clear();
    const std::optional<TVersionNote> note = ReadVersionNote(fileName);
    if (!note)
        return;
    const std::string text = note->Text("FileDescription");
    if (text.size() >= 2)
        description = text;
    const uint16_t* v = note->FileVersion;
    if (v[0] != 0 || v[1] != 0 || v[2] != 0 || v[3] != 0)
        version = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
                  std::to_string(v[3]);
}

} // namespace reporter
