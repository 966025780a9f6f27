// A settings file the program cannot read or write back, from start to close: a plain warning once the
// main window shows, the write's own message at close as a plain box, no exception report, and one line
// on standard error for the whole run.
#include "app/SettingsFile.h"
#include "classlib/Application.h"
#include "platform/IniFile.h"
#include "tests/ui/UiFixture.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Standard error goes to a file for the guard's life.
class TStderrCapture {
public:
    TStderrCapture() {
        std::fflush(stderr);
        m_saved = ::dup(2);
        if (m_file.open())
            ::dup2(m_file.handle(), 2);
    }
    ~TStderrCapture() { Restore(); }
    // The lines written meanwhile that name path.
    int LinesNaming(const QString& path) {
        Restore();
        m_file.seek(0);
        int lines = 0;
        for (const QByteArray& line : m_file.readAll().split('\n'))
            lines += line.contains(QFile::encodeName(path)) ? 1 : 0;
        return lines;
    }

private:
    void Restore() {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

// Counts what reaches the application's exception handling: a report would start there.
class TExceptionCount {
public:
    TExceptionCount() {
        m_previous = SetHandleExceptionHook([this](const std::exception_ptr&, QObject*) {
            ++count;
            return true;
        });
    }
    ~TExceptionCount() { SetHandleExceptionHook(m_previous); }
    int count = 0;

private:
    TExceptionHook m_previous;
};

// The seven keys as the program writes them from its defaults: written back, the file keeps its size.
const QByteArray DefaultKeys = "[Serial]\nBaudrate=57600\nstopbit=1\nparidade=0\nChannel=COM1\n[Tcp]\n"
                               "ip=192.168.000.000\nPort=9001\n[Conexao]\nComtype=0\n";

enum TPathKind {
    Missing,
    AtTheLimit,
    ReadOnlyFolder,
    FileInReadOnlyFolder,
    ReadOnlyFile,
    FolderIsAFile,
    FolderLinksToNothing,
    Fifo,
    Folder,
    LinkToZero,
    DanglingLink,
    Unreadable,
    BeyondTheLimit,
};

void Make(TPathKind kind, const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    const QByteArray name = QFile::encodeName(path);
    if (kind == FolderIsAFile) {
        QFile blocker(folder);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        // Open to everyone, so that only its being no folder stands in the way.
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
        return;
    }
    if (kind == FolderLinksToNothing) { // a drive not mounted
        ASSERT_TRUE(QFile::link(folder + QStringLiteral("-unmounted"), folder));
        return;
    }
    ASSERT_TRUE(QDir().mkpath(folder));
    switch (kind) {
    case Missing:
    case FolderIsAFile:
    case FolderLinksToNothing:
        break;
    case ReadOnlyFolder:
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
        break;
    case Fifo:
        ASSERT_EQ(::mkfifo(name.constData(), 0644), 0);
        break;
    case Folder:
        ASSERT_TRUE(QDir().mkdir(path));
        break;
    case LinkToZero:
        ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path));
        break;
    case DanglingLink:
        ASSERT_TRUE(QFile::link(folder + QStringLiteral("/nothing.ini"), path));
        break;
    case Unreadable:
    case AtTheLimit:
    case BeyondTheLimit:
    case ReadOnlyFile:
    case FileInReadOnlyFolder: {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(DefaultKeys);
        file.close();
        // Sparse: no disk used for the rest.
        const qint64 size = kind == AtTheLimit       ? TIniFile::MaxFileSize
                            : kind == BeyondTheLimit ? TIniFile::MaxFileSize + 1
                                                     : DefaultKeys.size();
        ASSERT_EQ(::truncate(name.constData(), size), 0);
        if (kind == Unreadable) {
            ASSERT_EQ(::chmod(name.constData(), 0), 0);
        }
        if (kind == ReadOnlyFile) { // its owner has locked it; the folder would let a new one replace it
            ASSERT_EQ(::chmod(name.constData(), 0444), 0);
        }
        if (kind == FileInReadOnlyFolder) { // the new file that would replace it cannot be made
            ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
        }
        break;
    }
    }
}

ino_t Inode(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

class SettingsProblem : public UiFixture {};

TEST_F(SettingsProblem, IsSaidPlainlyAtStartAndCloseOnceOnStandardErrorAndNeverReported) {
    const struct {
        const char* name;
        TPathKind kind;
        const char* says; // the start warning's first line, after the file's name; empty for none
        bool root;        // the case holds for root too (root reads and writes past permissions)
    } cases[] = {
        {"missing", Missing, "", true},
        {"exactly at the size limit", AtTheLimit, "", true},
        {"a read-only folder", ReadOnlyFolder, "cannot be written in its folder.", false},
        {"a file in a read-only folder", FileInReadOnlyFolder, "cannot be written in its folder.", false},
        {"a read-only file in a folder that can be written", ReadOnlyFile, "cannot be written.", false},
        {"a file in place of the folder", FolderIsAFile, "cannot be written in its folder.", true},
        {"a folder that is a link to nothing", FolderLinksToNothing, "cannot be written in its folder.",
         true},
        {"a FIFO", Fifo, "is not a regular file.", true},
        {"a folder", Folder, "is a folder.", true},
        {"a link to /dev/zero", LinkToZero, "is not a regular file.", true},
        {"a dangling link", DanglingLink, "is a link to a file that does not exist.", true},
        {"unreadable", Unreadable, "cannot be read.", false},
        {"a byte over the size limit", BeyondTheLimit, "is larger than 64 MiB.", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.root && ::geteuid() == 0)
            continue; // root writes to a read-only folder and reads a file of mode 000
        // A Windows folder of its own: standard error names each file once a run.
        QTemporaryDir windows;
        ASSERT_TRUE(windows.isValid());
        qputenv("VEXADAXO_WINDIR", QFile::encodeName(windows.filePath(QStringLiteral("windows"))));
        const QString path = SettingsFileName();
        const bool refused = *c.says != '\0';
        TExceptionCount reports;
        TStderrCapture standardError;
        Make(c.kind, path);
        const ino_t made = Inode(path);
        app.Start();
        app.presenter->requests.clear();
        FormMain->show();
        if (refused) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !app.presenter->requests.isEmpty(); }, 10000));
            const TMessageRequest& warning = app.presenter->requests.at(0);
            EXPECT_EQ(warning.type, TMsgDlgType::mtWarning);
            EXPECT_EQ(warning.text.toStdString(),
                      QStringLiteral("The settings file %1 %2\nThe settings of this run will not be kept.")
                          .arg(path, QLatin1String(c.says))
                          .toStdString());
        } else {
            QTest::qWait(50); // a warning would be posted
            EXPECT_TRUE(app.presenter->requests.isEmpty()) << app.presenter->Texts().join('\n').toStdString();
        }
        // The close request and the close each save; the user hears once why it failed.
        ASSERT_TRUE(FormMain->close());
        const int atClose = app.presenter->requests.size() - (refused ? 1 : 0);
        ASSERT_EQ(atClose, refused ? 1 : 0);
        if (refused) {
            const TMessageRequest& failure = app.presenter->requests.last();
            EXPECT_EQ(failure.kind, TMessageRequest::Kind::MessageBox);
            EXPECT_EQ(failure.flags & 0xF0u, unsigned(MB_ICONERROR));
            EXPECT_EQ(failure.text.toStdString(),
                      QStringLiteral("Unable to write to %1.").arg(path).toStdString());
        }
        app.Stop();
        EXPECT_EQ(reports.count, 0);
        EXPECT_EQ(standardError.LinesNaming(path), refused ? 1 : 0);
        if (c.kind == AtTheLimit) {
            EXPECT_EQ(QFileInfo(path).size(), TIniFile::MaxFileSize);
        }
        if (c.kind == ReadOnlyFile) { // the locked file is still the one made, not a new one in its place
            EXPECT_EQ(Inode(path), made);
        }
        if (c.kind == Missing) {
            EXPECT_EQ(ReadSettingsFile(path).Baudrate, QStringLiteral("57600"));
        }
        // The folders are made writable again for their removal.
        ::chmod(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), 0755);
    }
}

// The warning in both languages names the file and says that nothing of this run is kept.
TEST_F(SettingsProblem, TheWarningIsTranslated) {
    WriteRegistryLanguage(QStringLiteral("pt_BR"));
    Make(Fifo, app.SettingsPath());
    app.Start();
    FormMain->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !app.presenter->requests.isEmpty(); }, 10000));
    EXPECT_EQ(app.presenter->requests.at(0).text,
              QStringLiteral("O arquivo de configurações %1 não é um arquivo comum.\nAs configurações desta "
                             "execução não serão guardadas.")
                  .arg(app.SettingsPath()));
}

} // namespace
