#pragma once
// The settings file "daxoconf.Ini" in the Windows folder: the connection settings of the Modbus master,
// read when the main window first shows and written when it closes.
#include <QString>

struct TSettingsValues {
    QString Baudrate;
    QString Stopbit;
    QString Parity;
    QString Channel;
    QString Ip;
    QString Port;
    QString Comtype;

    // The values are applied only when all seven are non-empty.
    bool AllNonEmpty() const;
    bool operator==(const TSettingsValues&) const = default;
};

// Where the settings file lives.
QString SettingsFileName();
// Reads the seven keys with their defaults.
TSettingsValues ReadSettingsFile(const QString& fileName);
// What keeps the settings file from being read or written back.
enum class TSettingsFileProblem {
    None,
    Folder,
    NotAFile,
    TooLarge,
    Unreadable,
    ReadOnly,
    DanglingLink,
    FolderNotWritable
};
// Looks at what stands at the path, and at the folder a write would go to, without reading the file;
// a problem is said on standard error (once a run for each file).
TSettingsFileProblem SettingsFileProblem(const QString& fileName);
// The translated warning for a problem: what is wrong with which file, and that the settings of this
// run will not be kept. Empty for None.
QString SettingsProblemText(TSettingsFileProblem problem, const QString& fileName);
// Writes the seven keys; raises EIniFileException when the file cannot be written (it then stays as
// it was).
void WriteSettingsFile(const QString& fileName, const TSettingsValues& values);
