#pragma once
// What the GUI showed last, kept as plain copies for a report made while the GUI thread stands still: a
// thread that faulted or froze may be in the middle of changing a window, so nobody reads its widgets
// then. The GUI thread writes; any thread reads, and a reader never waits long for a writer that stopped
// while holding the lock.
#include "ODesktop.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace reporter {

struct TDesktopFacts {
    bool HasWindow = false; // the active window
    std::string WindowClass;
    std::string WindowText;
    bool HasControl = false; // the control with the focus
    std::string ControlClass;
    std::string ControlText; // one "*" per character for a password field
    bool Password = false;
    bool HasScreen = false; // the primary screen
    TDisplayMode Mode;
    // For the helper process's windows and screenshot: the native ids of the active window and of the
    // program's main window (0: none), the frame of the program's window a picture takes (the active one,
    // else the one last active or the main window) and the focused control's rectangle on the desktop,
    // and the class and icon the program's windows carry.
    uint64_t WindowId = 0;
    uint64_t MainWindowId = 0;
    bool HasWindowRect = false;
    int32_t WindowX = 0, WindowY = 0, WindowWidth = 0, WindowHeight = 0;
    bool HasControlRect = false;
    int32_t ControlX = 0, ControlY = 0, ControlWidth = 0, ControlHeight = 0;
    std::string WindowInstance, WindowClassName;
    std::string IconPng;
};

class TDesktopFactsStore {
public:
    explicit TDesktopFactsStore(std::chrono::milliseconds readBound = std::chrono::milliseconds(50))
        : m_readBound(readBound) {}

    // Replaces what is kept; the copies are made by the caller, the lock only swaps them in.
    void Publish(TDesktopFacts facts);
    // A copy of what is kept; nothing when the lock was not free within the read bound.
    std::optional<TDesktopFacts> Read() const;
    // The writer's lock, as Publish holds it.
    std::unique_lock<std::timed_mutex> Hold() { return std::unique_lock(m_lock); }

    // The store of the running program's GUI (none before it is made and after it is gone): the helper
    // processes take their window facts from it.
    static void SetProgramStore(const TDesktopFactsStore* store);
    static const TDesktopFactsStore* ProgramStore();

private:
    const std::chrono::milliseconds m_readBound;
    mutable std::timed_mutex m_lock;
    TDesktopFacts m_facts;
};

} // namespace reporter
