// A settings file that changed after it was read is not written over: the write is refused and what now
// stands at the path stays as it is.
#include "platform/IniFile.h"
#include "tests/app/AppTests.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

namespace {

QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool Put(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

} // namespace

class TestSettingsChanged : public QObject {
    Q_OBJECT

private slots:
    void changedSinceRead_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("written");
        // What another program did between the read and the write.
        QTest::newRow("replaced by another file") << "replace" << false;
        QTest::newRow("replaced by a FIFO") << "fifo" << false;
        QTest::newRow("replaced by a folder") << "folder" << false;
        QTest::newRow("a link put in its place") << "link" << false;
        // The same file, or no file at all: nothing unread is lost by writing.
        QTest::newRow("edited in place") << "edit" << true;
        QTest::newRow("removed") << "remove" << true;
    }

    void changedSinceRead() {
        QFETCH(QString, change);
        QFETCH(bool, written);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("daxoconf.Ini"));
        const QString other = dir.filePath(QStringLiteral("other.ini"));
        QVERIFY(Put(path, "[Serial]\nBaudrate=9600\n"));
        TIniFile ini(path);
        ini.AutoUpdate = false;
        ini.WriteString(QStringLiteral("Serial"), QStringLiteral("Baudrate"), QStringLiteral("19200"));

        const QByteArray theirs = "[Serial]\nBaudrate=4800\n; another program's\n";
        if (change == QLatin1String("replace")) {
            QVERIFY(Put(other, theirs));
            QVERIFY(QFile::remove(path));
            QVERIFY(QFile::rename(other, path));
        } else if (change == QLatin1String("fifo")) {
            QVERIFY(QFile::remove(path));
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        } else if (change == QLatin1String("folder")) {
            QVERIFY(QFile::remove(path));
            QVERIFY(QDir().mkdir(path));
        } else if (change == QLatin1String("link")) {
            QVERIFY(Put(other, theirs));
            QVERIFY(QFile::remove(path));
            QVERIFY(QFile::link(other, path));
        } else if (change == QLatin1String("edit")) {
            QVERIFY(Put(path, theirs)); // truncated and rewritten: the same file
        } else {
            QVERIFY(QFile::remove(path));
        }
        const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden);

        if (!written) {
            QVERIFY_THROWS_EXCEPTION(EIniFileException, ini.UpdateFile());
            QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden), before);
            if (change == QLatin1String("replace") || change == QLatin1String("link"))
                QCOMPARE(Contents(path), theirs);
            if (change == QLatin1String("link"))
                QVERIFY(QFileInfo(path).isSymLink());
            return;
        }
        ini.UpdateFile();
        QCOMPARE(Contents(path), QByteArray("[Serial]\nBaudrate=19200\n"));
        // Written once, the file is the one it knows: the next write goes through.
        ini.WriteString(QStringLiteral("Serial"), QStringLiteral("Baudrate"), QStringLiteral("38400"));
        ini.UpdateFile();
        QCOMPARE(Contents(path), QByteArray("[Serial]\nBaudrate=38400\n"));
    }
};

static TAppTestRegistration<TestSettingsChanged> registration;
#include "TestSettingsChanged.moc"
