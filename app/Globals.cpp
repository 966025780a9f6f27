#include "app/Globals.h"
#include "platform/VersionInfo.h"
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

namespace {

// The system's long time format without the time-zone field, which the program's date line never shows.
QString LongTimeFormatWithoutZone() {
    const QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        result += c;
    }
    return result.trimmed();
}

} // namespace

QString ProgramFileName() {
    const QFileInfo link(QString::fromLatin1(ProgramFileLink));
    const QString target = link.symLinkTarget();
    return target.isEmpty() ? link.absoluteFilePath() : target;
}

QString GetFileVersionString(const QString& FileName) {
    TVersionInfo info;
    return TryReadVersionInfo(FileName, info) ? info.FileVersion.Text() : QString();
}

void GetAppVersion(int& Major, int& Minor, int& Release, int& Build) {
    TVersionInfo info;
    TryReadVersionInfo(QString::fromLatin1(ProgramFileLink), info);
    Major = info.FileVersion.Major;
    Minor = info.FileVersion.Minor;
    Release = info.FileVersion.Release;
    Build = info.FileVersion.Build;
}

QString GetAppVersionText() {
    int major = 0, minor = 0, release = 0, build = 0;
    GetAppVersion(major, minor, release, build);
    return QStringLiteral("%1.%2.%3.%4").arg(major).arg(minor).arg(release).arg(build);
}

QString GetAppVersionShort() {
    int major = 0, minor = 0, release = 0, build = 0;
    GetAppVersion(major, minor, release, build);
    return QStringLiteral("%1.%2").arg(major).arg(minor);
}

QString GetAppFileDateText() {
    const QDateTime written = QFileInfo(ProgramFileName()).lastModified();
    if (!written.isValid())
        return {};
    const QLocale locale = QLocale::system();
    return locale.toString(written.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(written.time(), LongTimeFormatWithoutZone());
}
