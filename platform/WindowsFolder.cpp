#include "platform/WindowsFolder.h"
#include <QDir>

QString ConfigFolder() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QLatin1String("/.config");
    return QDir::cleanPath(base + QLatin1String("/vexadaxo"));
}

QString WindowsFolder() {
    const QString folder = qEnvironmentVariable("VEXADAXO_WINDIR");
    return folder.isEmpty() ? ConfigFolder() : QDir::cleanPath(folder);
}

QString WindowsFolderFile(const QString& fileName) {
    return WindowsFolder() + QLatin1Char('/') + fileName;
}
