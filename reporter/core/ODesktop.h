#pragma once
// What a report tells about the screen and the window in front: the core links no toolkit, so the
// reporter's GUI part installs an implementation; until it does, every question is answered "none"
// (an empty value) and the program counts as a console program.
#include <string>

namespace reporter {

struct TDisplayMode {
    int Width = 0;
    int Height = 0;
    int BitsPerPixel = 0;
};

class IOstrelDesktop {
public:
    virtual ~IOstrelDesktop() = default;
    // The primary screen's size in pixels and colour depth; false when there is no screen.
    virtual bool GetDisplayMode(TDisplayMode& mode) = 0;
    // Class name and text of the foreground window of the process; false when there is none.
    virtual bool GetForegroundWindow(std::string& className, std::string& text) = 0;
    // Class name and text of the control that has the keyboard focus; password tells a field whose
    // text is hidden from view. False when no control has the focus.
    virtual bool GetFocusedControl(std::string& className, std::string& text, bool& password) {
        return false;
    }
};

// Installs the implementation (nullptr: none); the caller keeps it alive while installed.
void SetOstrelDesktop(IOstrelDesktop* desktop);

// "%d x %d, %d bit", empty without a screen.
std::string GetDisplayModeText();
// Class name and text of the foreground window, each at most 256 characters, the text with each run of
// control characters collapsed to one blank; empty without a desktop side.
void GetForegroundWindowInfo(std::string& className, std::string& text);
// Class name and text of the control with the focus, limited and collapsed like the foreground window's;
// a password field's text has every character replaced by "*". Empty without a desktop side.
void GetFocusedControlInfo(std::string& className, std::string& text);
// One "*" per character of a UTF-8 text.
std::string MaskedText(const std::string& text);
// A program without windows: no desktop side is installed.
bool IsConsoleProgram();

} // namespace reporter
