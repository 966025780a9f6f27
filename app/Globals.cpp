#include "app/Globals.h"

void GetAppVersion(int& Major, int& Minor, int& Release, int& Build) {
    Major = VD_VERSION_MAJOR;
    Minor = VD_VERSION_MINOR;
    Release = VD_VERSION_PATCH;
    Build = VD_VERSION_TWEAK;
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
