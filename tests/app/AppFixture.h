#pragma once
// A clean program environment for window tests: its own Windows folder, registry store and serial
// ports (ttyS0 = COM1 and ttyS1 = COM2), a recording message presenter, and the program's windows.
#include "app/Startup.h"
#include "platform/Registry.h"
#include "tests/support/RecordingPresenter.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <optional>

class TAppFixture {
public:
    TAppFixture() {
        m_oldTty = TRegistry::TtyClassFolder();
        for (const char* tty : {"ttyS0", "ttyS1"})
            QDir(m_dir.path()).mkpath(QStringLiteral("tty/%1/device").arg(QLatin1String(tty)));
        TRegistry::SetTtyClassFolder(m_dir.filePath(QStringLiteral("tty")));
        qputenv("VEXADAXO_WINDIR", m_dir.filePath(QStringLiteral("windows")).toLocal8Bit());
        qputenv("VEXADAXO_REGISTRY", m_dir.filePath(QStringLiteral("registry.ini")).toLocal8Bit());
    }
    ~TAppFixture() {
        windows.reset();
        TRegistry::SetTtyClassFolder(m_oldTty);
        qunsetenv("VEXADAXO_WINDIR");
        qunsetenv("VEXADAXO_REGISTRY");
    }

    QString SettingsPath() const { return m_dir.filePath(QStringLiteral("windows/daxoconf.Ini")); }
    void WriteSettings(const QByteArray& text) const {
        QDir().mkpath(m_dir.filePath(QStringLiteral("windows")));
        QFile f(SettingsPath());
        if (f.open(QIODevice::WriteOnly))
            f.write(text);
    }
    QByteArray ReadSettings() const {
        QFile f(SettingsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void Start() { windows.emplace(); }
    void Stop() { windows.reset(); }

    ScopedRecordingPresenter presenter;
    std::optional<TProgramWindows> windows;

private:
    QTemporaryDir m_dir;
    QString m_oldTty;
};
