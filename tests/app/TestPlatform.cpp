// The INI file, the registry store and the Windows-folder mapping.
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/WindowsFolder.h"
#include "tests/app/AppTests.h"
#include "tests/app/FileLimit.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

void WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A fake /sys/class/tty: a port with a device link is present unless its UART type is 0.
void AddTty(const QString& root, const QString& name, bool device, int type = -1) {
    QDir(root).mkpath(name);
    if (device)
        QDir(root).mkpath(name + QLatin1String("/device"));
    if (type >= 0)
        WriteFile(root + QLatin1Char('/') + name + QLatin1String("/type"), QByteArray::number(type) + '\n');
}

} // namespace

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    void iniReadsCaseInsensitivelyWithDefaults() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.ini"));
        WriteFile(path, "; note\r\n[Serial]\r\nBaudrate = 9600\r\nChannel=\r\n[Tcp]\r\nip=10.0.0.1\r\n");
        TIniFile ini(path);
        QCOMPARE(ini.ReadString("serial", "BAUDRATE", "x"), QStringLiteral("9600"));
        QCOMPARE(ini.ReadString("Serial", "Channel", "COM1"), QString()); // present but empty
        QCOMPARE(ini.ReadString("Serial", "stopbit", "1"), QStringLiteral("1"));
        QCOMPARE(ini.ReadString("Conexao", "Comtype", "0"), QStringLiteral("0"));
        QCOMPARE(ini.ReadSection("tcp"), QStringList{QStringLiteral("ip")});
    }

    void iniWriteKeepsOtherLinesAndCreatesFolder() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub/dir/a.ini"));
        {
            TIniFile ini(path);
            ini.WriteString("Serial", "Baudrate", "57600");
            ini.WriteString("Tcp", "ip", "127.0.0.1");
            ini.WriteString("serial", "BAUDRATE", "9600"); // replaces, keeps the stored key's case
        }
        QCOMPARE(ReadFile(path), QByteArray("[Serial]\nBaudrate=9600\n[Tcp]\nip=127.0.0.1\n"));
        WriteFile(path, "; keep me\n[Serial]\nBaudrate=1\n\n[Other]\nx=y\n");
        TIniFile ini(path);
        ini.WriteString("Serial", "Baudrate", "2");
        QCOMPARE(ReadFile(path), QByteArray("; keep me\n[Serial]\nBaudrate=2\n\n[Other]\nx=y\n"));
    }

    void iniWriteFailureLeavesOldFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.ini"));
        const QByteArray old = "[S]\nk=v\n";
        WriteFile(path, old);
        TIniFile ini(path);
        {
            TFileSizeLimit limit(4); // the disk is "full" after 4 bytes
            QVERIFY_THROWS_EXCEPTION(EIniFileException, ini.WriteString("S", "k", "a much longer value"));
        }
        QCOMPARE(ReadFile(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("a.ini")});
        // A folder that cannot be made (a file stands in its place).
        TIniFile blocked(path + QLatin1String("/x.ini"));
        QVERIFY_THROWS_EXCEPTION(EIniFileException, blocked.WriteString("S", "k", "v"));
    }

    void iniIgnoresOversizedFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.ini"));
        WriteFile(path, "[S]\nk=v\n" + QByteArray(TIniFile::MaxFileSize, 'x'));
        QCOMPARE(TIniFile(path).ReadString("S", "k", "default"), QStringLiteral("default"));
    }

    void windowsFolderFollowsEnvironment() {
        const QByteArray oldWin = qgetenv("VEXADAXO_WINDIR"), oldXdg = qgetenv("XDG_CONFIG_HOME");
        qputenv("VEXADAXO_WINDIR", "/tmp/win/");
        QCOMPARE(WindowsFolderFile("daxoconf.Ini"), QStringLiteral("/tmp/win/daxoconf.Ini"));
        qunsetenv("VEXADAXO_WINDIR");
        qputenv("XDG_CONFIG_HOME", "/tmp/cfg");
        QCOMPARE(WindowsFolder(), QStringLiteral("/tmp/cfg/vexadaxo"));
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(WindowsFolder(), QDir::homePath() + QLatin1String("/.config/vexadaxo"));
        qputenv("VEXADAXO_WINDIR", oldWin);
        qputenv("XDG_CONFIG_HOME", oldXdg);
        if (oldWin.isEmpty())
            qunsetenv("VEXADAXO_WINDIR");
        if (oldXdg.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
    }

    void registryReadsStoreAndSynthesisesSerialPorts() {
        QTemporaryDir dir;
        const QString store = dir.filePath(QStringLiteral("registry.ini"));
        WriteFile(store, "[HKEY_LOCAL_MACHINE\\Software\\Korvane Devavuru\\Vexa Daxo Soft]\nlang=pt_BR\n");
        const QString tty = dir.filePath(QStringLiteral("tty"));
        AddTty(tty, "ttyS10", true, 4);
        AddTty(tty, "ttyS1", true, 0); // empty UART slot
        AddTty(tty, "ttyS0", true, 4);
        AddTty(tty, "ttyUSB0", true);
        AddTty(tty, "tty5", false);
        AddTty(tty, "ttyS2", false); // no device behind it
        const QByteArray oldStore = qgetenv("VEXADAXO_REGISTRY");
        const QString oldTty = TRegistry::TtyClassFolder();
        qputenv("VEXADAXO_REGISTRY", store.toLocal8Bit());
        TRegistry::SetTtyClassFolder(tty);

        TRegistry reg;
        reg.RootKey = TRootKey::HKEY_LOCAL_MACHINE;
        QVERIFY(reg.OpenKeyReadOnly("\\Software\\Korvane Devavuru\\Vexa Daxo Soft"));
        QCOMPARE(reg.ReadString("lang"), QStringLiteral("pt_BR"));
        QCOMPARE(reg.ReadString("missing"), QString());
        QVERIFY(!reg.OpenKeyReadOnly("Software\\Nobody"));
        QCOMPARE(reg.ReadString("lang"), QString());

        QVERIFY(reg.OpenKeyReadOnly("Hardware\\DeviceMap\\SerialComm"));
        QStringList ports;
        for (const QString& name : reg.GetValueNames())
            ports << reg.ReadString(name);
        QCOMPARE(ports, (QStringList{"COM1", "COM11", "ttyUSB0"}));
        reg.RootKey = TRootKey::HKEY_CURRENT_USER;
        QVERIFY(!reg.OpenKeyReadOnly("Hardware\\DeviceMap\\SerialComm"));

        TRegistry::SetTtyClassFolder(oldTty);
        if (oldStore.isEmpty())
            qunsetenv("VEXADAXO_REGISTRY");
        else
            qputenv("VEXADAXO_REGISTRY", oldStore);
    }
};

static TAppTestRegistration<TestPlatform> registration;
#include "TestPlatform.moc"
