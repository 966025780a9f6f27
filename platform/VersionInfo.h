#pragma once
// The version information of a program file: the ELF note (owner "VexaDaxo", type 1) that the build
// writes into the program, read back from the named file. The note holds the fixed file and product
// versions (four 16-bit parts each) and the version texts ("FileVersion", "ProductName", ...).
//
// The reading itself is the reporter's plain reader (OVersionNote.h); this is its face for the toolkit side.
#include "OVersionNote.h"
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
inline constexpr const auto& Owner = reporter::VersionNoteOwner;
inline constexpr quint32 Type = reporter::VersionNoteType;
inline constexpr quint32 Signature = reporter::VersionNoteSignature;
} // namespace VersionNote

// Reads the version note of the named file; raises EVersionInfoError.
TVersionInfo ReadVersionInfo(const QString& fileName);
// The same without raising: false with the reason in *error (when given).
bool TryReadVersionInfo(const QString& fileName, TVersionInfo& info, QString* error = nullptr);
