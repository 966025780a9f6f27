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
};

// Installs the implementation (nullptr: none); the caller keeps it alive while installed.
void SetOstrelDesktop(IOstrelDesktop* desktop);

// "%d x %d, %d bit", empty without a screen.
std::string GetDisplayModeText();
// Class name and text of the foreground window, each at most 256 characters, the text with each run of
// control characters collapsed to one blank; empty without a desktop side.
void GetForegroundWindowInfo(std::string& className, std::string& text);
// A program without windows: no desktop side is installed.
bool IsConsoleProgram();

} // namespace reporter
