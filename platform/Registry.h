#pragma once
// TRegistry: the registry of the original platform as an INI-backed store. The store is the file named by
// $VEXADAXO_REGISTRY, else <config folder>/registry.ini; each key is a section named by its full path
// ("HKEY_LOCAL_MACHINE\Software\..."), compared without regard to case. The program only reads it.
// The key "HKEY_LOCAL_MACHINE\Hardware\DeviceMap\SerialComm" is not stored but made from the serial
// ports present under /sys/class/tty: one value per port, its data the port name the serial layer
// opens ("COM1" for ttyS0, "ttyUSB0" for ttyUSB0).
#include <QString>
#include <QStringList>
#include <memory>

class TIniFile;

enum class TRootKey { HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS };

class TRegistry {
public:
    TRegistry();
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    TRootKey RootKey = TRootKey::HKEY_CURRENT_USER;

    // Opens an existing key for reading; false when the key does not exist.
    bool OpenKeyReadOnly(const QString& key);
    void CloseKey();
    bool KeyExists(const QString& key) const;
    // The names of the open key's values (empty when no key is open).
    QStringList GetValueNames() const;
    bool ValueExists(const QString& name) const;
    // The value's data; empty when the value (or an open key) is missing.
    QString ReadString(const QString& name) const;

    // The file that holds the store.
    static QString StoreFileName();
    // The folder whose entries list the serial ports (tests point it elsewhere).
    static void SetTtyClassFolder(const QString& folder);
    static QString TtyClassFolder();
    // The serial ports present, as (value name, port name) pairs in a stable order.
    static QList<QPair<QString, QString>> SerialPortsPresent();

private:
    QString FullPath(const QString& key) const;
    bool IsSerialCommKey(const QString& fullPath) const;

    std::unique_ptr<TIniFile> m_store;
    QString m_openKey; // full path of the open key; empty when none
    bool m_openIsSerialComm = false;
};
