#pragma once
// TIniFile: the class library's INI file on a plain text file. Sections and keys are matched without
// regard to case, as the platform's profile routines did. Lines are kept as the bytes they were: a write
// changes only the lines of the keys written, and every other line (comments, other programs' keys, text
// in another encoding) goes back to the file unchanged.
//
// Every write replaces the file atomically: the new contents go to a temporary file beside it, which is
// then renamed over it, so a crash or a full disk never leaves a truncated file behind. A link stays a
// link: its target is what is replaced, with the target's permissions. A file that could not be read
// whole (something other than a regular file, a read error, beyond MaxFileSize) is never written over,
// nor is one its owner has made read-only.
#include "classlib/SysUtils.h"
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

class EIniFileException : public Exception {
    using Exception::Exception;
};

class TIniFile {
public:
    // Reads the file if it exists; a missing or unreadable file reads as empty.
    explicit TIniFile(QString fileName);

    const QString& FileName() const { return m_fileName; }
    // False when something stands at the path that could not be read whole: the file then reads as
    // empty and is never written.
    bool Readable() const { return m_readable; }
    QString ReadString(const QString& section, const QString& ident, const QString& defaultValue) const;
    int ReadInteger(const QString& section, const QString& ident, int defaultValue) const;
    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& ident) const;
    // Names of the keys of a section, in file order.
    QStringList ReadSection(const QString& section) const;
    // Sets the value and, while AutoUpdate is on, writes the file at once; raises EIniFileException
    // when the file cannot be written (the old file then stays as it was).
    void WriteString(const QString& section, const QString& ident, const QString& value);
    // Writes the whole file (the folder is created when missing); raises EIniFileException.
    void UpdateFile();
    // The file's bytes as they would be written.
    QByteArray Bytes() const;

    // Off: writes only change the contents in memory until UpdateFile, so that several keys reach the
    // file together or not at all.
    bool AutoUpdate = true;

    // Larger files are not read (and so never written): far beyond any real settings file.
    static constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

private:
    struct TEntry {
        QString key;    // empty for a line that holds no key
        QByteArray raw; // the line as it stands in the file, with its line break
    };
    struct TSection {
        QString name;
        QByteArray header; // the header line as it stands, with its line break
        std::vector<TEntry> entries;
    };
    void Parse(const QByteArray& data);
    const TSection* FindSection(const QString& name) const;
    TSection* FindSection(const QString& name);
    static const TEntry* FindEntry(const TSection& section, const QString& ident);
    QByteArray LineBreak() const;

    QString m_fileName;
    bool m_readable = true;
    bool m_existed = false; // a file was read: the one written over must still be it
    quint64 m_device = 0;
    quint64 m_inode = 0;
    std::vector<TSection> m_sections; // the first, unnamed one holds lines before any section header
};
