#pragma once
// The version information of a program file: the ELF note (owner "VexaDaxo", type 1) that the build
// writes into the program, read back from the named file. The note holds the fixed file and product
// versions (four 16-bit parts each) and the version texts ("FileVersion", "ProductName", ...).
//
// Only the headers and the note sections are read, never the whole file; every offset and length taken
// from the file is checked against the file's size and against fixed limits before it is used.
#include "classlib/SysUtils.h"
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// A file that cannot be read, is no ELF file, or has no valid version note. The message names the file
// and the reason.
class EVersionInfoError : public Exception {
    using Exception::Exception;
};

struct TFileVersion {
    quint16 Major = 0;
    quint16 Minor = 0;
    quint16 Release = 0;
    quint16 Build = 0;

    // From the two 32-bit halves: high and low word of the most significant one, then of the other.
    static TFileVersion FromWords(quint32 ms, quint32 ls);
    // "major.minor.release.build" in decimal.
    QString Text() const;
    bool operator==(const TFileVersion&) const = default;
};

struct TVersionInfo {
    TFileVersion FileVersion;
    TFileVersion ProductVersion;
    // The texts in note order.
    QList<QPair<QString, QString>> Texts;

    // The text of a key ("" when absent).
    QString Value(const QString& key) const;
};

namespace VersionNote {
// The note's owner name and type.
inline constexpr char Owner[] = "VexaDaxo";
inline constexpr quint32 Type = 1;
inline constexpr quint32 Signature = 0xFEEF04BD;
// Size of the fixed block before the texts.
inline constexpr int FixedSize = 24;
// Notes larger than this are not read: the real one is a few hundred bytes.
inline constexpr qint64 MaxNoteSectionSize = 64 * 1024;
} // namespace VersionNote

// Reads the version note of the named file; raises EVersionInfoError.
TVersionInfo ReadVersionInfo(const QString& fileName);
// The same without raising: false with the reason in *error (when given).
bool TryReadVersionInfo(const QString& fileName, TVersionInfo& info, QString* error = nullptr);
// Decodes the descriptor of a version note (the bytes after the owner name; its words in the file's byte
// order); raises EVersionInfoError with the reason alone.
TVersionInfo ParseVersionNoteDescriptor(const QByteArray& descriptor, bool bigEndian = false);
