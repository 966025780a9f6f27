// The settings file reader (an INI file read as the main window reads it). Every key of every section
// must survive the file being written back, and the connection settings written back as they were read
// must read back unchanged (but for line breaks inside a value): the program writes them on every close.
#include "FuzzSupport.h"
#include "app/SettingsFile.h"
#include "platform/IniFile.h"

#include <QStringList>

namespace {

// Every section with its keys and values, in file order, as the reader sees them.
QStringList Contents(const TIniFile& ini, const QStringList& sections) {
    QStringList contents;
    for (const QString& section : sections)
        for (const QString& key : ini.ReadSection(section))
            contents << section + QLatin1Char('\n') + key + QLatin1Char('=') +
                            ini.ReadString(section, key, QString());
    return contents;
}

QStringList SectionNames(const QString& text) {
    QStringList names;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']')))
            names << trimmed.mid(1, trimmed.size() - 2).trimmed();
    }
    return names;
}

TSettingsValues WriteAndRead(const QString& file, const TSettingsValues& values) {
    try {
        WriteSettingsFile(file, values);
    } catch (const EIniFileException&) {
        fuzz::Fail("the settings could not be written back");
    }
    return ReadSettingsFile(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString file = QString::fromStdString(fuzz::WriteFile("daxoconf.Ini", {data, size}));
    const TSettingsValues values = ReadSettingsFile(file);

    const QStringList sections =
        SectionNames(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    const QStringList before = Contents(TIniFile(file), sections);
    try {
        TIniFile(file).UpdateFile();
    } catch (const EIniFileException&) {
        fuzz::Fail("the settings file could not be written back");
    }
    fuzz::Check(Contents(TIniFile(file), sections) == before,
                "the settings file lost or changed a key once written");

    // The writer makes a line break inside a value a blank; beyond that, what is written reads back.
    const TSettingsValues written = WriteAndRead(file, values);
    fuzz::Check(WriteAndRead(file, written) == written, "the settings read back differently once written");
    return 0;
}
