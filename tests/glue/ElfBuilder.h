#pragma once
// Small ELF files for the version-note reader: a header, one note segment, and (optionally) a section
// table with the note section and the section-name table. Either class, either byte order.
#include "platform/VersionInfo.h"
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

struct TElfDescription {
    bool Is64 = true;
    bool BigEndian = false;
    bool WithSections = true;
    QByteArray Notes;                                  // the note section's bytes
    QByteArray SectionName = ".note.vexadaxo.version"; // the note section's name
    quint64 NoteAlign = 4;
};

// One note record: header, owner name and descriptor, each padded to align.
QByteArray NoteRecord(const QByteArray& owner, quint32 type, const QByteArray& descriptor, bool bigEndian,
                      int align = 4);
// The descriptor of a version note.
QByteArray VersionDescriptor(const TFileVersion& file, const TFileVersion& product,
                             const QList<QPair<QByteArray, QByteArray>>& texts, bool bigEndian);
// The version note record itself (owner "VexaDaxo", type 1).
QByteArray VersionNoteRecord(const TFileVersion& version, const QList<QPair<QByteArray, QByteArray>>& texts,
                             bool bigEndian = false);
QByteArray BuildElf(const TElfDescription& elf);

// Where the parts of a built file lie, for tests that damage one field.
struct TElfLayout {
    qsizetype NoteOffset = 0;   // first byte of the note section
    qsizetype SectionTable = 0; // first section header
    qsizetype ShNumField = 0;   // e_shnum in the header
    qsizetype ShOffField = 0;   // e_shoff in the header
    qsizetype ShEntSizeField = 0;
};
TElfLayout LayoutOf(const TElfDescription& elf);
