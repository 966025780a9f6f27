#include "ODesktop.h"

#include "OTextUtils.h"

#include <atomic>
#include <cstdio>

namespace reporter {

namespace {

std::atomic<IOstrelDesktop*> gDesktop{nullptr};
constexpr size_t WindowTextLimit = 256;

} // namespace

void SetOstrelDesktop(IOstrelDesktop* desktop) {
    gDesktop.store(desktop);
}

std::string GetDisplayModeText() {
    IOstrelDesktop* desktop = gDesktop.load();
    TDisplayMode mode;
    if (desktop == nullptr || !desktop->GetDisplayMode(mode))
        return std::string();
    char text[64];
    std::snprintf(text, sizeof text, "%d x %d, %d bit", mode.Width, mode.Height, mode.BitsPerPixel);
    return text;
}

void GetForegroundWindowInfo(std::string& className, std::string& text) {
    className.clear();
    text.clear();
    IOstrelDesktop* desktop = gDesktop.load();
    if (desktop == nullptr || !desktop->GetForegroundWindow(className, text)) {
        className.clear();
        text.clear();
        return;
    }
    className = className.substr(0, WindowTextLimit);
    text = CollapseControlChars(text.substr(0, WindowTextLimit));
}

void GetFocusedControlInfo(std::string& className, std::string& text) {
    className.clear();
    text.clear();
    IOstrelDesktop* desktop = gDesktop.load();
    bool password = false;
    if (desktop == nullptr || !desktop->GetFocusedControl(className, text, password)) {
        className.clear();
        text.clear();
        return;
    }
    className = className.substr(0, WindowTextLimit);
    text = CollapseControlChars(text.substr(0, WindowTextLimit));
    if (password)
        text = MaskedText(text);
}

std::string MaskedText(const std::string& text) {
    // One star per character, not per byte of its UTF-8 form.
    size_t characters = 0;
    for (const char c : text)
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return std::string(characters, '*');
}

bool IsConsoleProgram() {
    return gDesktop.load() == nullptr;
}

} // namespace reporter
