#include "reporter/gui/ODialogLayout.h"

#include "OIniFile.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace reporter {

namespace {

const QString Section = QStringLiteral("Coordinates");
// No column is wider than this; a bigger stored width is damage, not a user's choice.
constexpr int MaxColumnWidth = 10000;
constexpr int MaxFormSize = 100000;

// The stored decimal value; the default when it is missing or not a number.
int ReadInteger(const std::string& file, const QString& key, int defaultValue) {
    bool ok = false;
    const int value =
        QString::fromStdString(IniReadString(file, Section.toStdString(), key.toStdString(), ""))
            .trimmed()
            .toInt(&ok, 10);
    return ok ? value : defaultValue;
}

int ReadBounded(const std::string& file, const QString& key, int defaultValue, int low, int high) {
    const int value = ReadInteger(file, key, defaultValue);
    return value < low || value > high ? defaultValue : value;
}

QString ColKey(int i) {
    return QStringLiteral("Col%1").arg(i);
}

QString ColModKey(int i) {
    return QStringLiteral("ColMod%1").arg(i);
}

// A file that cannot be written changes nothing and raises nothing: the dialog must close regardless.
void WriteAll(const QString& fileName, const std::vector<std::pair<QString, int>>& values) {
    const std::string file = fileName.toStdString();
    for (const auto& [key, value] : values)
        if (!IniWriteString(file, Section.toStdString(), key.toStdString(), std::to_string(value)))
            return;
}

} // namespace

QString DialogLayoutFileName() {
    return QString::fromStdString(GetWindowsFolder() + "OstrelLog.ini");
}

TDialogLayout LoadDialogLayout(const QString& fileName, QSize screen, int bottomHeight) {
    const std::string ini = fileName.toStdString();
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
    layout.WindowsState = ReadInteger(ini, QStringLiteral("WindowsState"), WindowsStateNormal);
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
    std::vector<std::pair<QString, int>> values;
    if (layout.WindowsState == WindowsStateNormal)
        values = {{QStringLiteral("Width"), layout.Width},
                  {QStringLiteral("Height"), layout.Height},
                  {QStringLiteral("Left"), layout.Left},
                  {QStringLiteral("Top"), layout.Top}};
    values.emplace_back(QStringLiteral("WindowsState"), layout.WindowsState);
    WriteAll(fileName, values);
}

void SaveColumnWidths(const QString& fileName, const TDialogLayout& layout) {
    std::vector<std::pair<QString, int>> values;
    for (int i = 0; i < int(layout.Col.size()); ++i)
        values.emplace_back(ColKey(i), layout.Col[size_t(i)]);
    for (int i = 0; i < int(layout.ColMod.size()); ++i)
        values.emplace_back(ColModKey(i), layout.ColMod[size_t(i)]);
    WriteAll(fileName, values);
}

} // namespace reporter
