// The INI file, the registry store and the Windows-folder mapping.
#include "app/SettingsFile.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/WindowsFolder.h"
#include "tests/app/AppTests.h"
#include "tests/app/FileLimit.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// clang-format off
enum TPathKind { Missing, Empty, Fifo, Directory, LinkToFile, LinkToZero, Large, TooLarge, NotUtf8, Unreadable };
// clang-format on

// A settings file carried over from elsewhere: CR LF lines, single-byte text, another program's keys,
// and the registry's language key too (the same table serves both files).
QByteArray UserSettings(int kind) {
    QByteArray user =
        "; configura\xE7\xE3o antiga\r\n[Serial]\r\nBaudrate=9600\r\nstopbit=1\r\nparidade=0\r\n"
        "Channel=COM3\r\n\r\n[Tcp]\r\nip=127.0.0.1\r\nPort=502\r\n[Conexao]\r\nComtype=1\r\n"
        "[Outro]\r\nnome=S\xE3o Paulo\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Korvane Devavuru\\Vexa Daxo Soft]\r\nlang=pt_BR";
    if (kind == Large)
        user += "\r\n; " + QByteArray(1100 * 1024, 'x') + "\r\n";
    return user;
}

void MakePath(TPathKind kind, const QString& path, const QString& target, const QByteArray& user) {
    const QByteArray name = QFile::encodeName(path);
    switch (kind) {
    case Missing:
        break;
    case Fifo:
        QCOMPARE(mkfifo(name.constData(), 0644), 0);
        break;
    case Directory:
        QVERIFY(QDir().mkdir(path));
        break;
    case LinkToFile:
        WriteFile(target, user);
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QVERIFY(QFile::link(target, path));
        break;
    case LinkToZero:
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        break;
    case TooLarge:
        WriteFile(path, user);
        QCOMPARE(truncate(name.constData(), TIniFile::MaxFileSize + 1), 0); // sparse: no disk used
        break;
    case Unreadable:
        WriteFile(path, user);
        QCOMPARE(chmod(name.constData(), 0), 0);
        break;
    case Empty:
    case Large:
    case NotUtf8:
        WriteFile(path, kind == Empty ? QByteArray() : user);
        QCOMPARE(chmod(name.constData(), 0644), 0);
        break;
    }
}

// What stands at the path and at the end of its link: kind, identity, size, time; and the link.
QString Snapshot(const QString& path) {
    QString text = QFileInfo(path).symLinkTarget();
    for (const auto get : {&lstat, &stat}) {
        struct stat info {};
        const int found = get(QFile::encodeName(path).constData(), &info);
        text += QStringLiteral(" %1 %2 %3 %4 %5.%6")
                    .arg(found)
                    .arg(info.st_mode)
                    .arg(info.st_ino)
                    .arg(info.st_size)
                    .arg(info.st_mtim.tv_sec)
                    .arg(info.st_mtim.tv_nsec);
    }
    return text;
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

    // A settings file shared by a group (0660, another member's): a member who saves it must leave it
    // writable by the group, else the next member's save is refused.
    void iniWriteByAGroupMemberKeepsTheGroup() {
        if (::geteuid() != 0)
            QSKIP("needs another user and group");
        QTemporaryDir dir;
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
        const QString path = dir.filePath(QStringLiteral("daxoconf.Ini"));
        WriteFile(path, "[Serial]\nBaudrate=9600\n");
        const QByteArray name = QFile::encodeName(path);
        QCOMPARE(::chown(name.constData(), 4242, 42), 0);
        QCOMPARE(::chmod(name.constData(), 0660), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            const gid_t groups[] = {42};
            if (::setgroups(1, groups) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(2);
            try {
                TIniFile(path).WriteString("Serial", "Baudrate", "57600");
                ::_exit(0);
            } catch (...) {
                ::_exit(1);
            }
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        struct stat info {};
        QCOMPARE(::stat(name.constData(), &info), 0);
        QCOMPARE(info.st_gid, gid_t(42));
        QCOMPARE(info.st_mode & 07777, mode_t(0660));
        QCOMPARE(ReadFile(path), QByteArray("[Serial]\nBaudrate=57600\n"));
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

    // Whatever stands at the settings (and registry) path: read without hanging, written only when it
    // was read whole, the user's other bytes kept, never opened to others.
    void settingsPaths_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("userValues"); // the user's values are read
        QTest::addColumn<bool>("writable");
        QTest::newRow("missing") << int(Missing) << false << true;
        QTest::newRow("empty") << int(Empty) << false << true;
        QTest::newRow("fifo") << int(Fifo) << false << false;
        QTest::newRow("directory") << int(Directory) << false << false;
        QTest::newRow("link to a file") << int(LinkToFile) << true << true;
        QTest::newRow("link to /dev/zero") << int(LinkToZero) << false << false;
        QTest::newRow("over 1 MiB") << int(Large) << true << true;
        QTest::newRow("beyond the read limit") << int(TooLarge) << false << false;
        QTest::newRow("not UTF-8") << int(NotUtf8) << true << true;
        QTest::newRow("unreadable") << int(Unreadable) << false << false;
    }

    void settingsPaths() {
        QFETCH(int, kind);
        QFETCH(bool, userValues);
        QFETCH(bool, writable);
        if (kind == Unreadable && geteuid() == 0)
            QSKIP("root reads a file of mode 000; the directory and FIFO rows cover a failing read");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("daxoconf.Ini"));
        const QString target = dir.filePath(QStringLiteral("target.ini"));
        const QByteArray user = UserSettings(kind);
        MakePath(TPathKind(kind), path, target, user);
        const QString before = Snapshot(path);
        const QByteArray oldRegistry = qgetenv("VEXADAXO_REGISTRY");
        qputenv("VEXADAXO_REGISTRY", QFile::encodeName(path));
        TRegistry registry;
        registry.RootKey = TRootKey::HKEY_LOCAL_MACHINE;
        registry.OpenKeyReadOnly("Software\\Korvane Devavuru\\Vexa Daxo Soft");
        QCOMPARE(registry.ReadString("lang"), userValues ? QStringLiteral("pt_BR") : QString());
        qputenv("VEXADAXO_REGISTRY", oldRegistry);

        TSettingsValues values = ReadSettingsFile(path);
        QCOMPARE(values.Ip, userValues ? QStringLiteral("127.0.0.1") : QStringLiteral("192.168.000.000"));
        QCOMPARE(values.Baudrate, userValues ? QStringLiteral("9600") : QStringLiteral("57600"));
        values.Baudrate = QStringLiteral("19200");
        if (!writable) {
            QVERIFY_THROWS_EXCEPTION(EIniFileException, WriteSettingsFile(path, values));
            QCOMPARE(Snapshot(path), before);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden).size(),
                     qsizetype(kind == LinkToZero || kind == Fifo || kind == TooLarge || kind == Unreadable));
            return;
        }
        WriteSettingsFile(path, values);
        QCOMPARE(ReadSettingsFile(path), values);
        const mode_t mask = umask(0);
        umask(mask);
        struct stat written {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &written), 0);
        QCOMPARE(written.st_mode & 0777, kind == LinkToFile ? 0640
                                         : kind == Missing  ? (0666 & ~mask)
                                                            : mode_t(0644));
        if (kind == LinkToFile)
            QCOMPARE(QFileInfo(path).symLinkTarget(), target);
        if (userValues) {
            QByteArray expected = user;
            expected.replace("Baudrate=9600", "Baudrate=19200");
            QCOMPARE(ReadFile(path), expected);
        }
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
