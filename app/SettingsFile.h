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
// Writes the seven keys; raises EIniFileException when the file cannot be written (it then stays as
// it was).
void WriteSettingsFile(const QString& fileName, const TSettingsValues& values);
