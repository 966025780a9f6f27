#pragma once
// Size and position of the report dialog's details form and the column widths of its list pages, kept
// in "OstrelLog.ini" in the Windows folder, section "Coordinates". A missing, unreadable or damaged file
// gives the defaults; a file that cannot be written is ignored.
#include <QSize>
#include <QString>

#include <array>

namespace reporter {

inline constexpr int WindowsStateNormal = 1;
inline constexpr int WindowsStateMaximized = 3;
inline constexpr int WindowsStateMinimized = 6;

struct TDialogLayout {
    int Left = 0;
    int Top = 0;
    int Width = 745;
    int Height = 468; // without the band under the buttons
    int WindowsState = WindowsStateNormal;
    bool WidthRecorded = false; // the details form recorded its size in this run
    // Call-stack columns "Col0".."Col5" and module columns by key "ColMod0".."ColMod6".
    std::array<int, 6> Col{89, 92, 126, 126, 200, 61};
    std::array<int, 7> ColMod{80, 96, 175, 50, 54, 712, 80};
};

// <Windows folder>/OstrelLog.ini
QString DialogLayoutFileName();

// Reads the keys with their defaults and fits the form on a screen of that size: a form reaching past
// the bottom or right edge is moved back, negative edges become 0. Values that no screen could use (not
// numbers, sizes below 1 or beyond the screen, unknown states, negative or absurd column widths) are
// replaced by their defaults.
TDialogLayout LoadDialogLayout(const QString& fileName, QSize screen, int bottomHeight);
// Only after a width was recorded: Width, Height, Left, Top while the state is normal; the state always.
void SaveDialogLayout(const QString& fileName, const TDialogLayout& layout);
// The list pages' widths, written back when a page closes.
void SaveColumnWidths(const QString& fileName, const TDialogLayout& layout);

} // namespace reporter
