#pragma once
// TIniFile: the class library's INI file on a plain text file. Sections and keys are matched without
// regard to case, as the platform's profile routines did. Every write replaces the file atomically: the
// new contents go to a temporary file in the same folder, which is then renamed over the old one, so a
// crash or a full disk never leaves a truncated file behind.
#include "classlib/SysUtils.h"
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
    void UpdateFile() const;
    // The file's text as it would be written.
    QString Text() const;

    // Files larger than this are treated as unreadable: a settings file is a few hundred bytes.
    // Off: writes only change the contents in memory until UpdateFile, so that several keys reach the
    // file together or not at all.
    bool AutoUpdate = true;

    static constexpr qint64 MaxFileSize = 1024 * 1024;

private:
    struct TEntry {
        QString key;   // empty for a comment or blank line kept as it was
        QString value; // the raw line for comments
    };
    struct TSection {
        QString name;
        std::vector<TEntry> entries;
    };
    void Parse(const QString& text);
    const TSection* FindSection(const QString& name) const;
    TSection* FindSection(const QString& name);
    static const TEntry* FindEntry(const TSection& section, const QString& ident);

    QString m_fileName;
    std::vector<TSection> m_sections; // the first, unnamed one holds lines before any section header
};
