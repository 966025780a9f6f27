#pragma once
// Whether the windowing system the program would start on can be reached, asked before the application
// object exists: Qt aborts when it cannot open its display, and the exception reporter would then file
// a crash report for what is a set-up mistake.
#include <string>

// The platforms Qt would try, from a "-platform" argument, else QT_QPA_PLATFORM, else the desktop's
// (X11, or Wayland); then each X11 or Wayland candidate is connected to. Empty when the program can
// start, else the one line that says why not and how to start it. A platform that needs no display
// server (offscreen, minimal, a frame buffer, VNC) is never refused.
std::string DisplayProblem(int argc, char** argv);

// The X connection the check opened. Kept until the application object has connected: an X server
// without other clients resets when its last client leaves and refuses connections meanwhile, so a
// check that let go at once could make the application's own connection fail.
class TDisplayConnection {
public:
    using Disconnect = void (*)(void*);
    TDisplayConnection() = default;
    TDisplayConnection(const TDisplayConnection&) = delete;
    TDisplayConnection& operator=(const TDisplayConnection&) = delete;
    ~TDisplayConnection() { Close(); }
    void Hold(void* library, void* connection, Disconnect disconnect);
    void Close();

private:
    void* m_library = nullptr;
    void* m_connection = nullptr;
    Disconnect m_disconnect = nullptr;
};

// The same, keeping what was connected to in held.
std::string DisplayProblem(int argc, char** argv, TDisplayConnection& held);
