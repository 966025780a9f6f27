#include "app/SettingsFile.h"
#include "classlib/RegularFile.h"
#include "classlib/Translation.h"
#include "platform/IniFile.h"
#include "platform/WindowsFolder.h"
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

// Whether a file can be made in folder: the folder itself or, when it does not exist yet, the nearest
// folder above it that does (the write makes the ones missing).
bool CanCreateIn(QString folder) {
    for (;;) {
        struct stat info {};
        const QByteArray name = QFile::encodeName(folder);
        if (::stat(name.constData(), &info) == 0)
            return S_ISDIR(info.st_mode) && ::access(name.constData(), W_OK | X_OK) == 0;
        // A link to nothing (a drive not mounted) cannot be made into a folder.
        if (errno != ENOENT || ::lstat(name.constData(), &info) == 0)
            return false;
        const QString above = QFileInfo(folder).absolutePath();
        if (above == folder)
            return false;
        folder = above;
    }
}

TSettingsFileProblem FindProblem(const QString& fileName) {
    const QByteArray name = QFile::encodeName(fileName);
    struct stat link {};
    if (::lstat(name.constData(), &link) != 0)
        // ENOTDIR: something other than a folder stands where the folder should be.
        return errno != ENOENT && errno != ENOTDIR               ? TSettingsFileProblem::Unreadable
               : CanCreateIn(QFileInfo(fileName).absolutePath()) ? TSettingsFileProblem::None
                                                                 : TSettingsFileProblem::FolderNotWritable;
    struct stat info {};
    if (::stat(name.constData(), &info) != 0)
        return errno == ENOENT ? TSettingsFileProblem::DanglingLink : TSettingsFileProblem::Unreadable;
    if (S_ISDIR(info.st_mode))
        return TSettingsFileProblem::Folder;
    if (!S_ISREG(info.st_mode))
        return TSettingsFileProblem::NotAFile;
    if (info.st_size > TIniFile::MaxFileSize)
        return TSettingsFileProblem::TooLarge;
    if (::access(name.constData(), R_OK) != 0)
        return TSettingsFileProblem::Unreadable;
    if (::access(name.constData(), W_OK) != 0)
        return TSettingsFileProblem::ReadOnly;
    // A write replaces the file (the end of its link) by a new one in the same folder.
    char resolved[PATH_MAX];
    if (::realpath(name.constData(), resolved) == nullptr)
        return TSettingsFileProblem::Unreadable;
    return CanCreateIn(QFileInfo(QFile::decodeName(resolved)).absolutePath())
               ? TSettingsFileProblem::None
               : TSettingsFileProblem::FolderNotWritable;
}

// The standard error line's reason, untranslated as the other lines there.
const char* ProblemReason(TSettingsFileProblem problem) {
    switch (problem) {
    case TSettingsFileProblem::None:
        break;
    case TSettingsFileProblem::Folder:
        return "a folder";
    case TSettingsFileProblem::NotAFile:
        return "not a regular file";
    case TSettingsFileProblem::TooLarge:
        return "larger than the settings file limit";
    case TSettingsFileProblem::Unreadable:
        return "cannot be read";
    case TSettingsFileProblem::ReadOnly:
        return "cannot be written";
    case TSettingsFileProblem::DanglingLink:
        return "a link to nothing";
    case TSettingsFileProblem::FolderNotWritable:
        return "its folder cannot be written";
    }
    return "";
}

} // namespace

TSettingsFileProblem SettingsFileProblem(const QString& fileName) {
    const TSettingsFileProblem problem = FindProblem(fileName);
    if (problem != TSettingsFileProblem::None)
        ReportUnusableFile(fileName, QLatin1String(ProblemReason(problem)));
    return problem;
}

QString SettingsProblemText(TSettingsFileProblem problem, const QString& fileName) {
    QString what;
    switch (problem) {
    case TSettingsFileProblem::None:
        return QString();
    case TSettingsFileProblem::Folder:
        what = _("The settings file %1 is a folder.");
        break;
    case TSettingsFileProblem::NotAFile:
        what = _("The settings file %1 is not a regular file.");
        break;
    case TSettingsFileProblem::TooLarge:
        // Both at once, so that a "%2" in the file's name stays as it is.
        what = _("The settings file %1 is larger than %2 MiB.")
                   .arg(fileName, QString::number(TIniFile::MaxFileSize / (1024 * 1024)));
        break;
    case TSettingsFileProblem::Unreadable:
        what = _("The settings file %1 cannot be read.");
        break;
    case TSettingsFileProblem::ReadOnly:
        what = _("The settings file %1 cannot be written.");
        break;
    case TSettingsFileProblem::DanglingLink:
        what = _("The settings file %1 is a link to a file that does not exist.");
        break;
    case TSettingsFileProblem::FolderNotWritable:
        what = _("The settings file %1 cannot be written in its folder.");
        break;
    }
    if (problem != TSettingsFileProblem::TooLarge)
        what = what.arg(fileName);
    return what + QLatin1Char('\n') + _("The settings of this run will not be kept.");
}

void WriteSettingsFile(const QString& fileName, const TSettingsValues& values) {
    TIniFile ini(fileName);
    ini.AutoUpdate = false;
    for (const TKey& k : kKeys)
        ini.WriteString(QLatin1String(k.section), QLatin1String(k.ident), values.*k.field);
    ini.UpdateFile();
}
