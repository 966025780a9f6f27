#include "platform/Registry.h"
#include "classlib/RegularFile.h"
#include "platform/IniFile.h"
#include "platform/WindowsFolder.h"
#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace {

const char* const kSerialCommKey = "HKEY_LOCAL_MACHINE\\Hardware\\DeviceMap\\SerialComm";

QString& ttyFolder() {
    static QString folder = QStringLiteral("/sys/class/tty");
    return folder;
}

QString RootName(TRootKey root) {
    switch (root) {
    case TRootKey::HKEY_CLASSES_ROOT:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case TRootKey::HKEY_CURRENT_USER:
        return QStringLiteral("HKEY_CURRENT_USER");
    case TRootKey::HKEY_LOCAL_MACHINE:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case TRootKey::HKEY_USERS:
        return QStringLiteral("HKEY_USERS");
    }
    return QString();
}

// A legacy UART slot without hardware reports port type 0 (unknown); such slots are not ports.
bool IsPresentPort(const QString& entry) {
    const QString base = ttyFolder() + QLatin1Char('/') + entry;
    if (!QFileInfo::exists(base + QLatin1String("/device")))
        return false;
    // A sysfs attribute says it is one page long, whatever it holds.
    const TRegularFileContents type = ReadRegularFile(base + QLatin1String("/type"), 4096);
    if (type.Status == TFileReadStatus::Read) {
        bool ok = false;
        const int t = QString::fromLatin1(type.Data.left(16)).trimmed().toInt(&ok);
        if (ok && t == 0)
            return false;
    }
    return true;
}

} // namespace

TRegistry::TRegistry() : m_store(std::make_unique<TIniFile>(StoreFileName())) {}

TRegistry::~TRegistry() = default;

QString TRegistry::StoreFileName() {
    const QString file = qEnvironmentVariable("VEXADAXO_REGISTRY");
    return file.isEmpty() ? ConfigFolder() + QLatin1String("/registry.ini") : file;
}

void TRegistry::SetTtyClassFolder(const QString& folder) {
    ttyFolder() = folder;
}

QString TRegistry::TtyClassFolder() {
    return ttyFolder();
}

QList<QPair<QString, QString>> TRegistry::SerialPortsPresent() {
    static const QRegularExpression serialName(QStringLiteral("^tty(S|USB|ACM|AMA|XRUSB|mxc|O)\\d+$"));
    QStringList entries = QDir(ttyFolder()).entryList(QDir::Dirs | QDir::System | QDir::NoDotAndDotDot);
    entries.erase(
        std::remove_if(entries.begin(), entries.end(),
                       [](const QString& e) { return !serialName.match(e).hasMatch() || !IsPresentPort(e); }),
        entries.end());
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(entries.begin(), entries.end(),
              [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    QList<QPair<QString, QString>> ports;
    for (const QString& e : entries) {
        QString port = e;
        if (e.startsWith(QLatin1String("ttyS")))
            port = QStringLiteral("COM%1").arg(e.mid(4).toInt() + 1);
        ports.append({QLatin1String("/dev/") + e, port});
    }
    return ports;
}

QString TRegistry::FullPath(const QString& key) const {
    QString k = key;
    k.replace(QLatin1Char('/'), QLatin1Char('\\'));
    while (k.startsWith(QLatin1Char('\\')))
        k.remove(0, 1);
    while (k.endsWith(QLatin1Char('\\')))
        k.chop(1);
    return RootName(RootKey) + QLatin1Char('\\') + k;
}

bool TRegistry::IsSerialCommKey(const QString& fullPath) const {
    return fullPath.compare(QLatin1String(kSerialCommKey), Qt::CaseInsensitive) == 0;
}

bool TRegistry::KeyExists(const QString& key) const {
    const QString path = FullPath(key);
    return IsSerialCommKey(path) || m_store->SectionExists(path);
}

bool TRegistry::OpenKeyReadOnly(const QString& key) {
    CloseKey();
    const QString path = FullPath(key);
    if (!KeyExists(key))
        return false;
    m_openKey = path;
    m_openIsSerialComm = IsSerialCommKey(path);
    return true;
}

void TRegistry::CloseKey() {
    m_openKey.clear();
    m_openIsSerialComm = false;
}

QStringList TRegistry::GetValueNames() const {
    if (m_openKey.isEmpty())
        return {};
    if (m_openIsSerialComm) {
        QStringList names;
        for (const auto& p : SerialPortsPresent())
            names << p.first;
        return names;
    }
    return m_store->ReadSection(m_openKey);
}

bool TRegistry::ValueExists(const QString& name) const {
    return GetValueNames().contains(name, Qt::CaseInsensitive);
}

QString TRegistry::ReadString(const QString& name) const {
    if (m_openKey.isEmpty())
        return QString();
    if (m_openIsSerialComm) {
        for (const auto& p : SerialPortsPresent())
            if (p.first.compare(name, Qt::CaseInsensitive) == 0)
                return p.second;
        return QString();
    }
    return m_store->ReadString(m_openKey, name, QString());
}
