#include "ElfBuilder.h"
#include <QtEndian>

namespace {

class TWriter {
public:
    explicit TWriter(bool bigEndian) : m_big(bigEndian) {}
    QByteArray Data;

    template <class T> void Put(qsizetype at, T value) {
        if (Data.size() < at + qsizetype(sizeof(T)))
            Data.resize(at + qsizetype(sizeof(T)), '\0');
        uchar* p = reinterpret_cast<uchar*>(Data.data()) + at;
        if (m_big)
            qToBigEndian<T>(value, p);
        else
            qToLittleEndian<T>(value, p);
    }
    template <class T> void Append(T value) { Put<T>(Data.size(), value); }
    void Append(const QByteArray& bytes) { Data += bytes; }
    void Pad(int align) {
        while (Data.size() % align)
            Data += '\0';
    }
    // A word: 64 bits in ELF64, 32 bits in ELF32.
    void PutWord(qsizetype at, quint64 value, bool is64) {
        if (is64)
            Put<quint64>(at, value);
        else
            Put<quint32>(at, quint32(value));
    }

private:
    bool m_big;
};

constexpr qsizetype HeaderSize(bool is64) {
    return is64 ? 64 : 52;
}
constexpr qsizetype PhEntSize(bool is64) {
    return is64 ? 56 : 32;
}
constexpr qsizetype ShEntSize(bool is64) {
    return is64 ? 64 : 40;
}

} // namespace

QByteArray NoteRecord(const QByteArray& owner, quint32 type, const QByteArray& descriptor, bool bigEndian,
                      int align) {
    TWriter w(bigEndian);
    const QByteArray name = owner + '\0';
    w.Append<quint32>(quint32(name.size()));
    w.Append<quint32>(quint32(descriptor.size()));
    w.Append<quint32>(type);
    w.Append(name);
    w.Pad(align);
    w.Append(descriptor);
    w.Pad(align);
    return w.Data;
}

QByteArray VersionDescriptor(const TFileVersion& file, const TFileVersion& product,
                             const QList<QPair<QByteArray, QByteArray>>& texts, bool bigEndian) {
    TWriter w(bigEndian);
    w.Append<quint32>(VersionNote::Signature);
    w.Append<quint32>(0x00010000);
    w.Append<quint32>(quint32(file.Major) << 16 | file.Minor);
    w.Append<quint32>(quint32(file.Release) << 16 | file.Build);
    w.Append<quint32>(quint32(product.Major) << 16 | product.Minor);
    w.Append<quint32>(quint32(product.Release) << 16 | product.Build);
    for (const auto& [key, value] : texts)
        w.Append(key + '\0' + value + '\0');
    w.Pad(4);
    return w.Data;
}

QByteArray VersionNoteRecord(const TFileVersion& version, const QList<QPair<QByteArray, QByteArray>>& texts,
                             bool bigEndian) {
    return NoteRecord(VersionNote::Owner, VersionNote::Type,
                      VersionDescriptor(version, version, texts, bigEndian), bigEndian);
}

TElfLayout LayoutOf(const TElfDescription& elf) {
    TElfLayout l;
    l.NoteOffset = HeaderSize(elf.Is64) + PhEntSize(elf.Is64);
    const QByteArray names = QByteArray("\0", 1) + elf.SectionName + '\0' + ".shstrtab" + '\0';
    qsizetype end = l.NoteOffset + elf.Notes.size() + names.size();
    end = (end + 7) & ~qsizetype(7);
    l.SectionTable = elf.WithSections ? end : 0;
    l.ShOffField = elf.Is64 ? 40 : 32;
    l.ShEntSizeField = elf.Is64 ? 58 : 46;
    l.ShNumField = elf.Is64 ? 60 : 48;
    return l;
}

QByteArray BuildElf(const TElfDescription& elf) {
    const bool is64 = elf.Is64;
    const TElfLayout layout = LayoutOf(elf);
    const QByteArray names = QByteArray("\0", 1) + elf.SectionName + '\0' + ".shstrtab" + '\0';
    const qsizetype namesOffset = layout.NoteOffset + elf.Notes.size();

    TWriter w(elf.BigEndian);
    w.Append(QByteArray("\x7f"
                        "ELF"));
    w.Append(QByteArray(1, char(is64 ? 2 : 1)));
    w.Append(QByteArray(1, char(elf.BigEndian ? 2 : 1)));
    w.Append(QByteArray(1, char(1)));
    w.Data.resize(16, '\0');
    w.Put<quint16>(16, 2);             // e_type: executable
    w.Put<quint16>(18, is64 ? 62 : 3); // e_machine
    w.Put<quint32>(20, 1);             // e_version
    const qsizetype phoffAt = is64 ? 32 : 28;
    w.PutWord(phoffAt, quint64(HeaderSize(is64)), is64);
    w.PutWord(layout.ShOffField, quint64(layout.SectionTable), is64);
    const qsizetype small = is64 ? 52 : 40; // e_ehsize, then the table sizes
    w.Put<quint16>(small, quint16(HeaderSize(is64)));
    w.Put<quint16>(small + 2, quint16(PhEntSize(is64)));
    w.Put<quint16>(small + 4, 1);
    w.Put<quint16>(small + 6, quint16(ShEntSize(is64)));
    w.Put<quint16>(small + 8, elf.WithSections ? 3 : 0);
    w.Put<quint16>(small + 10, elf.WithSections ? 2 : 0);

    // The note segment.
    const qsizetype ph = HeaderSize(is64);
    w.Put<quint32>(ph, 4); // PT_NOTE
    if (is64) {
        w.Put<quint32>(ph + 4, 4);
        w.Put<quint64>(ph + 8, quint64(layout.NoteOffset));
        w.Put<quint64>(ph + 32, quint64(elf.Notes.size()));
        w.Put<quint64>(ph + 40, quint64(elf.Notes.size()));
        w.Put<quint64>(ph + 48, elf.NoteAlign);
    } else {
        w.Put<quint32>(ph + 4, quint32(layout.NoteOffset));
        w.Put<quint32>(ph + 16, quint32(elf.Notes.size()));
        w.Put<quint32>(ph + 20, quint32(elf.Notes.size()));
        w.Put<quint32>(ph + 24, 4);
        w.Put<quint32>(ph + 28, quint32(elf.NoteAlign));
    }
    w.Append(elf.Notes);
    w.Append(names);
    if (!elf.WithSections)
        return w.Data;
    w.Data.resize(layout.SectionTable, '\0');

    // Sections: the null one, the note, the section names.
    auto section = [&](int index, quint32 name, quint32 type, quint64 offset, quint64 size, quint64 align) {
        const qsizetype at = layout.SectionTable + index * ShEntSize(is64);
        w.Data.resize(qMax(w.Data.size(), at + ShEntSize(is64)), '\0');
        w.Put<quint32>(at, name);
        w.Put<quint32>(at + 4, type);
        if (is64) {
            w.Put<quint64>(at + 24, offset);
            w.Put<quint64>(at + 32, size);
            w.Put<quint64>(at + 48, align);
        } else {
            w.Put<quint32>(at + 16, quint32(offset));
            w.Put<quint32>(at + 20, quint32(size));
            w.Put<quint32>(at + 32, quint32(align));
        }
    };
    section(0, 0, 0, 0, 0, 0);
    section(1, 1, 7, quint64(layout.NoteOffset), quint64(elf.Notes.size()), elf.NoteAlign);
    section(2, quint32(1 + elf.SectionName.size() + 1), 3, quint64(namesOffset), quint64(names.size()), 1);
    return w.Data;
}
