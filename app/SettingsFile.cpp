#include "app/SettingsFile.h"
#include "platform/IniFile.h"
#include "platform/WindowsFolder.h"

namespace {

struct TKey {
    const char* section;
    const char* ident;
    const char* defaultValue;
    QString TSettingsValues::*field;
};

// In the order read and written.
const TKey kKeys[] = {
    {"Serial", "Baudrate", "57600", &TSettingsValues::Baudrate},
    {"Serial", "stopbit", "1", &TSettingsValues::Stopbit},
    {"Serial", "paridade", "0", &TSettingsValues::Parity},
    {"Serial", "Channel", "COM1", &TSettingsValues::Channel},
    {"Tcp", "ip", "192.168.000.000", &TSettingsValues::Ip},
    {"Tcp", "Port", "9001", &TSettingsValues::Port},
    {"Conexao", "Comtype", "0", &TSettingsValues::Comtype},
};

} // namespace

bool TSettingsValues::AllNonEmpty() const {
    for (const TKey& k : kKeys)
        if ((this->*k.field).isEmpty())
            return false;
    return true;
}

QString SettingsFileName() {
    return WindowsFolderFile(QStringLiteral("daxoconf.Ini"));
}

TSettingsValues ReadSettingsFile(const QString& fileName) {
    const TIniFile ini(fileName);
    TSettingsValues values;
    for (const TKey& k : kKeys)
        values.*k.field =
            ini.ReadString(QLatin1String(k.section), QLatin1String(k.ident), QLatin1String(k.defaultValue));
    return values;
}

void WriteSettingsFile(const QString& fileName, const TSettingsValues& values) {
    TIniFile ini(fileName);
    ini.AutoUpdate = false;
    for (const TKey& k : kKeys)
        ini.WriteString(QLatin1String(k.section), QLatin1String(k.ident), values.*k.field);
    ini.UpdateFile();
}
