#include "reporter/gui/ODialogLayout.h"

#include "platform/IniFile.h"
#include "platform/WindowsFolder.h"

#include <algorithm>

namespace reporter {

namespace {

const QString Section = QStringLiteral("Coordinates");
// No column is wider than this; a bigger stored width is damage, not a user's choice.
constexpr int MaxColumnWidth = 10000;
constexpr int MaxFormSize = 100000;

int ReadBounded(const TIniFile& ini, const QString& key, int defaultValue, int low, int high) {
    const int value = ini.ReadInteger(Section, key, defaultValue);
    return value < low || value > high ? defaultValue : value;
}

QString ColKey(int i) {
    return QStringLiteral("Col%1").arg(i);
}

QString ColModKey(int i) {
    return QStringLiteral("ColMod%1").arg(i);
}

// A file that cannot be written changes nothing and raises nothing: the dialog must close regardless.
void WriteAll(TIniFile& ini) {
    try {
        ini.UpdateFile();
    } catch (const ::Exception&) {
    }
}

} // namespace

QString DialogLayoutFileName() {
    return WindowsFolderFile(QStringLiteral("OstrelLog.ini"));
}

TDialogLayout LoadDialogLayout(const QString& fileName, QSize screen, int bottomHeight) {
    const TIniFile ini(fileName);
    TDialogLayout layout;
    const int screenWidth = screen.width() > 0 ? screen.width() : MaxFormSize;
    const int screenHeight = screen.height() > 0 ? screen.height() : MaxFormSize;
    layout.Width = ReadBounded(ini, QStringLiteral("Width"), layout.Width, 1, MaxFormSize);
    layout.Height = ReadBounded(ini, QStringLiteral("Height"), layout.Height, 1, MaxFormSize);
    // A form larger than the screen could never be seen whole: it is cut to the screen.
    layout.Width = std::min(layout.Width, screenWidth);
    layout.Height = std::min(layout.Height, std::max(1, screenHeight - bottomHeight));
    layout.Left =
        ReadBounded(ini, QStringLiteral("Left"), (screenWidth - layout.Width) / 2, -MaxFormSize, MaxFormSize);
    layout.Top = ReadBounded(ini, QStringLiteral("Top"), (screenHeight - layout.Height) / 2, -MaxFormSize,
                             MaxFormSize);
    layout.WindowsState = ini.ReadInteger(Section, QStringLiteral("WindowsState"), WindowsStateNormal);
    if (layout.WindowsState != WindowsStateNormal && layout.WindowsState != WindowsStateMaximized &&
        layout.WindowsState != WindowsStateMinimized)
        layout.WindowsState = WindowsStateNormal;
    if (layout.Top + layout.Height + bottomHeight > screenHeight)
        layout.Top = screenHeight - (layout.Height + bottomHeight);
    if (layout.Left + layout.Width > screenWidth)
        layout.Left = screenWidth - layout.Width;
    layout.Left = std::max(layout.Left, 0);
    layout.Top = std::max(layout.Top, 0);
    for (int i = 0; i < int(layout.Col.size()); ++i)
        layout.Col[size_t(i)] = ReadBounded(ini, ColKey(i), layout.Col[size_t(i)], 0, MaxColumnWidth);
    for (int i = 0; i < int(layout.ColMod.size()); ++i)
        layout.ColMod[size_t(i)] =
            ReadBounded(ini, ColModKey(i), layout.ColMod[size_t(i)], 0, MaxColumnWidth);
    return layout;
}

void SaveDialogLayout(const QString& fileName, const TDialogLayout& layout) {
    if (!layout.WidthRecorded)
        return;
    TIniFile ini(fileName);
    ini.AutoUpdate = false;
    if (layout.WindowsState == WindowsStateNormal) {
        ini.WriteString(Section, QStringLiteral("Width"), QString::number(layout.Width));
        ini.WriteString(Section, QStringLiteral("Height"), QString::number(layout.Height));
        ini.WriteString(Section, QStringLiteral("Left"), QString::number(layout.Left));
        ini.WriteString(Section, QStringLiteral("Top"), QString::number(layout.Top));
    }
    ini.WriteString(Section, QStringLiteral("WindowsState"), QString::number(layout.WindowsState));
    WriteAll(ini);
}

void SaveColumnWidths(const QString& fileName, const TDialogLayout& layout) {
    TIniFile ini(fileName);
    ini.AutoUpdate = false;
    for (int i = 0; i < int(layout.Col.size()); ++i)
        ini.WriteString(Section, ColKey(i), QString::number(layout.Col[size_t(i)]));
    for (int i = 0; i < int(layout.ColMod.size()); ++i)
        ini.WriteString(Section, ColModKey(i), QString::number(layout.ColMod[size_t(i)]));
    WriteAll(ini);
}

} // namespace reporter
