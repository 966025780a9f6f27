#pragma once
// What the helper process needs of the program's windows so that its own dialogs belong to them: the
// program's main window (the helper's dialogs are transient for it and stay above it, whichever window
// is active), the class and icon the program's windows carry, and where its active window and focused
// control lie (the helper's screenshot takes the one and frames the other). The program hands them over in
// the helper's environment; both sides are here.
#include <QIcon>
#include <QRect>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;
class QWindow;

namespace reporter {

// --- the program's side (GUI thread) ---
struct TProgramWindowClass {
    std::string Instance; // what the window system's class hint names first
    std::string Class;
};
TProgramWindowClass CurrentWindowClass();
// The icon as PNG, at most 64 pixels a side; empty for a null icon.
std::string IconAsPng(const QIcon& icon);

// --- the program's side (any thread): "NAME=value" lines for the helper's environment, taken from the
// desktop facts the GUI thread keeps; none when the program has no GUI.
std::vector<std::string> ProgramWindowEnvironment();
// The names those lines set (a helper's environment holds no other value of them).
bool IsProgramWindowVariable(const char* entry);

// --- the helper's side ---
struct TProgramWindow {
    uint64_t Parent = 0;         // the program's main window, 0 when none is known
    std::optional<QRect> Window; // the frame of the program's window a picture takes, on the desktop
    std::optional<QRect> Focus;  // the focused control on the desktop
    QString Class;
    QIcon Icon;
};
TProgramWindow ProgramWindowFromEnvironment();
// Gives the helper's application the program's class and icon; call before the first window is made.
void TakeProgramLook(const TProgramWindow& program);
// Makes the dialog transient for the program's window, where the platform knows foreign windows (X11);
// the returned stand-in for that window must outlive the dialog.
std::unique_ptr<QWindow> BelongToProgram(QWidget& dialog, const TProgramWindow& program);

} // namespace reporter
