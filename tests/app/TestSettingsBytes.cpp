// The settings file under the writer, byte for byte: a write changes the lines of the keys it writes and
// nothing else, reads a file up to the size bound, and never puts its stale copy over a file the user
// saved meanwhile.
#include "app/SettingsFile.h"
#include "platform/IniFile.h"
#include "tests/app/AppTests.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <unistd.h>

namespace {

void WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), data.size());
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What an editor does on save: the new text goes to a file beside the old one, renamed over it.
void SaveAsAnEditorDoes(const QString& path, const QByteArray& text) {
    const QString saved = path + QLatin1String("~new");
    WriteFile(saved, text);
    QCOMPARE(std::rename(QFile::encodeName(saved).constData(), QFile::encodeName(path).constData()), 0);
}

} // namespace

class TestSettingsBytes : public QObject {
    Q_OBJECT

private slots:
    // One key written into a file as a user left it: the expected bytes in full.
    void aWriteChangesOnlyItsOwnLine_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("an LF line in a CR LF file keeps its LF")
            << QByteArray("[Serial]\r\nBaudrate=9600\nstopbit=1\r\n") << "Serial"
            << "Baudrate" << QByteArray("[Serial]\r\nBaudrate=NEW\nstopbit=1\r\n");
        QTest::newRow("a CR LF line in an LF file keeps its CR LF")
            << QByteArray("[Serial]\nBaudrate=9600\r\nstopbit=1\n") << "Serial"
            << "Baudrate" << QByteArray("[Serial]\nBaudrate=NEW\r\nstopbit=1\n");
        QTest::newRow("a new key right after its section's last key, before its blank line and comment")
            << QByteArray("[Serial]\nBaudrate=9600\n\n; the bus\n[Tcp]\nip=10.0.0.1\n") << "Serial"
            << "Channel"
            << QByteArray("[Serial]\nBaudrate=9600\nChannel=NEW\n\n; the bus\n[Tcp]\nip=10.0.0.1\n");
        QTest::newRow("a new key in a section of no keys right after its header")
            << QByteArray("[Serial]\n; nothing yet\n\n[Tcp]\nip=10.0.0.1\n") << "Serial"
            << "Channel" << QByteArray("[Serial]\nChannel=NEW\n; nothing yet\n\n[Tcp]\nip=10.0.0.1\n");
        QTest::newRow("a new key after a last line without a line break")
            << QByteArray("[Tcp]\r\nip=10.0.0.1") << "Tcp"
            << "Port" << QByteArray("[Tcp]\r\nip=10.0.0.1\r\nPort=NEW\r\n");
        QTest::newRow("a new section at the end, with the file's line ending")
            << QByteArray("; mine\r\n[Serial]\r\nBaudrate=9600\r\n\r\n") << "Conexao"
            << "Comtype"
            << QByteArray("; mine\r\n[Serial]\r\nBaudrate=9600\r\n\r\n[Conexao]\r\nComtype=NEW\r\n");
    }

    void aWriteChangesOnlyItsOwnLine() {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("daxoconf.Ini"));
        WriteFile(path, before);
        TIniFile(path).WriteString(section, key, QStringLiteral("NEW"));
        QCOMPARE(ReadFile(path), after);
    }

    // The program's own write at its close, into a file edited by hand on two systems: the one changed
    // value differs, every other byte stays.
    void theProgramsCloseKeepsAMixedFileByteForByte() {
        const QByteArray user = "; written by hand\r\n[Serial]\r\nBaudrate=9600\nstopbit=1\r\nparidade=0\n"
                                "Channel=COM3\r\n\r\n; the gateway\n[Tcp]\nip=127.0.0.1\r\nPort=502\n"
                                "[Conexao]\r\nComtype=1\n";
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("daxoconf.Ini"));
        WriteFile(path, user);
        TSettingsValues values = ReadSettingsFile(path);
        values.Baudrate = QStringLiteral("19200");
        values.Port = QStringLiteral("9001");
        WriteSettingsFile(path, values);
        QByteArray expected = user;
        expected.replace("Baudrate=9600\n", "Baudrate=19200\n").replace("Port=502\n", "Port=9001\n");
        QCOMPARE(ReadFile(path), expected);
    }

    // A user who saves the settings from an editor while the program runs: the program's copy, read
    // before, must not replace the user's file; the write is refused, and a fresh read writes it as usual.
    void aFileTheUserSavedMeanwhileIsNotReplaced() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("daxoconf.Ini"));
        WriteFile(path, "[Serial]\nBaudrate=9600\n");
        TIniFile program(path);
        const QByteArray users = "[Serial]\nBaudrate=19200\n; set by hand\n";
        SaveAsAnEditorDoes(path, users);

        QVERIFY_THROWS_EXCEPTION(EIniFileException, program.WriteString("Serial", "stopbit", "2"));
        QCOMPARE(ReadFile(path), users);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"daxoconf.Ini"});

        TIniFile(path).WriteString("Serial", "stopbit", "2");
        QCOMPARE(ReadFile(path), QByteArray("[Serial]\nBaudrate=19200\nstopbit=2\n; set by hand\n"));
    }

    // Both sides of the size bound: a file of exactly the bound is read (and its keys seen), one byte more
    // is refused and never written.
    void theSizeBoundItselfIsRead_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("read");
        QTest::newRow("exactly the bound") << TIniFile::MaxFileSize << true;
        QTest::newRow("one byte over") << TIniFile::MaxFileSize + 1 << false;
    }

    void theSizeBoundItselfIsRead() {
        QFETCH(qint64, size);
        QFETCH(bool, read);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("daxoconf.Ini"));
        // The keys, then a comment line padded with zero bytes up to the size (sparse: no disk used).
        WriteFile(path, "[Serial]\nBaudrate=9600\n; ");
        QCOMPARE(::truncate(QFile::encodeName(path).constData(), off_t(size)), 0);
        const TIniFile ini(path);
        QCOMPARE(ini.Readable(), read);
        QCOMPARE(ini.ReadString("Serial", "Baudrate", "57600"), read ? QStringLiteral("9600") : "57600");
        if (read)
            return;
        QVERIFY_THROWS_EXCEPTION(EIniFileException, TIniFile(path).WriteString("Serial", "Baudrate", "1"));
        QCOMPARE(QFileInfo(path).size(), size);
    }
};

static TAppTestRegistration<TestSettingsBytes> registration;
#include "TestSettingsBytes.moc"
