#include "platform/VersionInfo.h"
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ELF constants (elf.h names).
constexpr quint8 ELFCLASS32 = 1;
constexpr quint8 ELFCLASS64 = 2;
constexpr quint8 ELFDATA2LSB = 1;
constexpr quint8 ELFDATA2MSB = 2;
constexpr quint32 SHT_NOTE = 7;
constexpr quint32 PT_NOTE = 4;
constexpr quint32 SHN_XINDEX = 0xFFFF;
constexpr quint32 SHN_UNDEF = 0;
// Section and segment tables larger than this are not believed.
constexpr quint64 MaxTableEntries = 65536;
// The note's section name; other note sections are scanned too (a linker may merge them).
constexpr char NoteSectionName[] = ".note.vexadaxo.version";
// Only the texts of a sane note are taken.
constexpr int MaxTexts = 64;

class EReason : public EVersionInfoError {
    using EVersionInfoError::EVersionInfoError;
};

[[noreturn]] void Fail(const char* reason) {
    throw EReason(QString::fromLatin1(reason));
}

// A read-only file read at offsets, every range checked against the file's size.
class TElfFile {
public:
    explicit TElfFile(const QString& fileName) {
        const QByteArray path = fileName.toLocal8Bit();
        m_fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0)
            throw EReason(QString::fromLocal8Bit(std::strerror(errno)));
        struct stat st {};
        if (::fstat(m_fd, &st) != 0) {
            const int err = errno;
            ::close(m_fd);
            throw EReason(QString::fromLocal8Bit(std::strerror(err)));
        }
        if (!S_ISREG(st.st_mode)) {
            ::close(m_fd);
            Fail("not a regular file");
        }
        m_size = quint64(st.st_size);
    }
    ~TElfFile() { ::close(m_fd); }
    TElfFile(const TElfFile&) = delete;
    TElfFile& operator=(const TElfFile&) = delete;

    quint64 Size() const { return m_size; }

    // Exactly count bytes at offset; a range past the end is a truncated file.
    QByteArray Read(quint64 offset, quint64 count) const {
        if (offset > m_size || count > m_size - offset)
            Fail("the file is truncated");
        QByteArray data(qsizetype(count), Qt::Uninitialized);
        quint64 done = 0;
        while (done < count) {
            const ssize_t n = ::pread(m_fd, data.data() + done, count - done, off_t(offset + done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw EReason(QString::fromLocal8Bit(std::strerror(errno)));
            }
            if (n == 0)
                Fail("the file is truncated");
            done += quint64(n);
        }
        return data;
    }

private:
    int m_fd = -1;
    quint64 m_size = 0;
};

// Integer fields in the file's byte order.
class TFields {
public:
    TFields(const QByteArray& data, bool bigEndian) : m_data(data), m_big(bigEndian) {}

    quint16 U16(qsizetype at) const { return Get<quint16>(at); }
    quint32 U32(qsizetype at) const { return Get<quint32>(at); }
    quint64 U64(qsizetype at) const { return Get<quint64>(at); }
    // A 32-bit field in ELF32 and a 64-bit one in ELF64.
    quint64 Word(qsizetype at, bool is64) const { return is64 ? U64(at) : U32(at); }

private:
    template <class T> T Get(qsizetype at) const {
        if (at < 0 || at + qsizetype(sizeof(T)) > m_data.size())
            Fail("a header is cut short");
        const uchar* p = reinterpret_cast<const uchar*>(m_data.constData()) + at;
        return m_big ? qFromBigEndian<T>(p) : qFromLittleEndian<T>(p);
    }

    const QByteArray& m_data;
    bool m_big;
};

struct TElfHeader {
    bool Is64 = false;
    bool BigEndian = false;
    quint64 PhOff = 0;
    quint64 ShOff = 0;
    quint32 PhEntSize = 0;
    quint32 PhNum = 0;
    quint32 ShEntSize = 0;
    quint32 ShNum = 0;
    quint32 ShStrNdx = 0;
};

struct TSection {
    quint32 Name = 0;
    quint32 Type = 0;
    quint64 Offset = 0;
    quint64 Size = 0;
    quint32 Link = 0;
    quint64 Align = 0;
};

TElfHeader ReadHeader(const TElfFile& file) {
    if (file.Size() < 16)
        Fail("not an ELF file");
    const QByteArray ident = file.Read(0, 16);
    if (!ident.startsWith("\x7f"
                          "ELF"))
        Fail("not an ELF file");
    TElfHeader h;
    const auto cls = quint8(ident[4]);
    const auto data = quint8(ident[5]);
    if ((cls != ELFCLASS32 && cls != ELFCLASS64) || (data != ELFDATA2LSB && data != ELFDATA2MSB) ||
        ident[6] != 1)
        Fail("an unknown ELF class, byte order or version");
    h.Is64 = cls == ELFCLASS64;
    h.BigEndian = data == ELFDATA2MSB;
    const QByteArray raw = file.Read(0, h.Is64 ? 64 : 52);
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
    return h;
}

TSection SectionAt(const TFields& f, qsizetype at, bool is64) {
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

QList<TSection> ReadSections(const TElfFile& file, TElfHeader& h) {
    if (h.ShOff == 0)
        return {};
    const quint32 minEntry = h.Is64 ? 64 : 40;
    if (h.ShEntSize < minEntry)
        Fail("the section header size is wrong");
    quint64 count = h.ShNum;
    if (count == 0 || h.ShStrNdx == SHN_XINDEX) {
        // Extended numbering: the real count and string-table index are in section 0.
        const QByteArray first = file.Read(h.ShOff, h.ShEntSize);
        const TSection s0 = SectionAt(TFields(first, h.BigEndian), 0, h.Is64);
        if (count == 0)
            count = s0.Size;
        if (h.ShStrNdx == SHN_XINDEX)
            h.ShStrNdx = s0.Link;
    }
    if (count > MaxTableEntries)
        Fail("too many sections");
    const QByteArray table = file.Read(h.ShOff, count * h.ShEntSize);
    const TFields f(table, h.BigEndian);
    QList<TSection> sections;
    sections.reserve(qsizetype(count));
    for (quint64 i = 0; i < count; ++i)
        sections << SectionAt(f, qsizetype(i * h.ShEntSize), h.Is64);
    return sections;
}

QByteArray SectionName(const TElfFile& file, const TSection& strings, quint32 offset) {
    // Section names are short; read a bounded piece and stop at the NUL.
    if (offset >= strings.Size)
        Fail("a section name lies outside the string table");
    const quint64 length = qMin<quint64>(strings.Size - offset, sizeof(NoteSectionName) + 1);
    const QByteArray piece = file.Read(strings.Offset + offset, length);
    const qsizetype end = piece.indexOf('\0');
    return end < 0 ? piece : piece.left(end);
}

quint64 AlignUp(quint64 value, quint64 align) {
    return (value + align - 1) & ~(align - 1);
}

// Finds the version note among the notes of one note section or segment; false when it is not there.
bool FindNote(const QByteArray& notes, bool bigEndian, quint64 align, TVersionInfo& info) {
    const TFields f(notes, bigEndian);
    const quint64 size = quint64(notes.size());
    quint64 at = 0;
    while (size - at >= 12) {
        const quint64 nameSize = f.U32(qsizetype(at));
        const quint64 descSize = f.U32(qsizetype(at + 4));
        const quint32 type = f.U32(qsizetype(at + 8));
        const quint64 nameAt = at + 12;
        const quint64 descAt = AlignUp(nameAt + nameSize, align);
        const quint64 next = AlignUp(descAt + descSize, align);
        if (nameSize > size || descSize > size || descAt > size || descSize > size - descAt)
            Fail("a note runs past its section");
        const QByteArray name = notes.mid(qsizetype(nameAt), qsizetype(nameSize));
        if (type == VersionNote::Type && name == QByteArray(VersionNote::Owner, sizeof(VersionNote::Owner))) {
            info = ParseVersionNoteDescriptor(notes.mid(qsizetype(descAt), qsizetype(descSize)), bigEndian);
            return true;
        }
        if (next >= size)
            break;
        at = next;
    }
    return false;
}

QByteArray ReadNotes(const TElfFile& file, quint64 offset, quint64 size) {
    if (size > quint64(VersionNote::MaxNoteSectionSize))
        return {}; // another program's large note: not ours
    return file.Read(offset, size);
}

TVersionInfo ReadFromFile(const TElfFile& file) {
    TElfHeader h = ReadHeader(file);
    TVersionInfo info;
    const QList<TSection> sections = ReadSections(file, h);
    if (!sections.isEmpty()) {
        const TSection* strings = h.ShStrNdx != SHN_UNDEF && h.ShStrNdx < quint32(sections.size())
                                      ? &sections[h.ShStrNdx]
                                      : nullptr;
        // The named section first, then every other note section.
        for (int pass = 0; pass < 2; ++pass) {
            for (const TSection& s : sections) {
                if (s.Type != SHT_NOTE)
                    continue;
                const bool named = strings && SectionName(file, *strings, s.Name) == NoteSectionName;
                if (named != (pass == 0))
                    continue;
                if (FindNote(ReadNotes(file, s.Offset, s.Size), h.BigEndian, s.Align == 8 ? 8 : 4, info))
                    return info;
            }
        }
        Fail("no version note");
    }
    // No section table (a stripped-down file): the note segments.
    if (h.PhOff == 0 || h.PhNum == 0)
        Fail("no version note");
    if (h.PhEntSize < (h.Is64 ? 56u : 32u))
        Fail("the program header size is wrong");
    const QByteArray table = file.Read(h.PhOff, quint64(h.PhNum) * h.PhEntSize);
    const TFields f(table, h.BigEndian);
    for (quint32 i = 0; i < h.PhNum; ++i) {
        const qsizetype at = qsizetype(i) * h.PhEntSize;
        if (f.U32(at) != PT_NOTE)
            continue;
        const quint64 offset = h.Is64 ? f.U64(at + 8) : f.U32(at + 4);
        const quint64 size = h.Is64 ? f.U64(at + 32) : f.U32(at + 16);
        const quint64 align = h.Is64 ? f.U64(at + 48) : f.U32(at + 28);
        if (FindNote(ReadNotes(file, offset, size), h.BigEndian, align == 8 ? 8 : 4, info))
            return info;
    }
    Fail("no version note");
}

} // namespace

TFileVersion TFileVersion::FromWords(quint32 ms, quint32 ls) {
    return {quint16(ms >> 16), quint16(ms & 0xFFFF), quint16(ls >> 16), quint16(ls & 0xFFFF)};
}

QString TFileVersion::Text() const {
    return QStringLiteral("%1.%2.%3.%4").arg(Major).arg(Minor).arg(Release).arg(Build);
}

QString TVersionInfo::Value(const QString& key) const {
    for (const auto& [k, v] : Texts)
        if (k == key)
            return v;
    return {};
}

TVersionInfo ParseVersionNoteDescriptor(const QByteArray& descriptor, bool bigEndian) {
    if (descriptor.size() < VersionNote::FixedSize)
        Fail("the version note is cut short");
    const TFields f(descriptor, bigEndian);
    if (f.U32(0) != VersionNote::Signature)
        Fail("the version note has a wrong signature");
    TVersionInfo info;
    info.FileVersion = TFileVersion::FromWords(f.U32(8), f.U32(12));
    info.ProductVersion = TFileVersion::FromWords(f.U32(16), f.U32(20));
    // Key and value pairs, each NUL-terminated; NUL padding ends the list.
    qsizetype at = VersionNote::FixedSize;
    const qsizetype size = descriptor.size();
    while (at < size && descriptor[at] != '\0') {
        if (info.Texts.size() >= MaxTexts)
            Fail("the version note has too many texts");
        const qsizetype keyEnd = descriptor.indexOf('\0', at);
        const qsizetype valueEnd = keyEnd < 0 ? -1 : descriptor.indexOf('\0', keyEnd + 1);
        if (valueEnd < 0)
            Fail("a version text is not terminated");
        info.Texts.append({QString::fromUtf8(descriptor.mid(at, keyEnd - at)),
                           QString::fromUtf8(descriptor.mid(keyEnd + 1, valueEnd - keyEnd - 1))});
        at = valueEnd + 1;
    }
    return info;
}

TVersionInfo ReadVersionInfo(const QString& fileName) {
    try {
        const TElfFile file(fileName);
        return ReadFromFile(file);
    } catch (const EReason& e) {
        throw EVersionInfoError(QStringLiteral("%1: %2").arg(fileName, e.Message()));
    }
}

bool TryReadVersionInfo(const QString& fileName, TVersionInfo& info, QString* error) {
    try {
        info = ReadVersionInfo(fileName);
        return true;
    } catch (const EVersionInfoError& e) {
        if (error)
            *error = e.Message();
        return false;
    }
}
