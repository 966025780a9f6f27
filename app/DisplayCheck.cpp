#include "app/DisplayCheck.h"
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// "wayland-egl:option" -> "wayland-egl"; "xcb;wayland" -> both.
std::vector<std::string> SplitPlatforms(const std::string& list) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(';', start), list.size());
        std::string name = list.substr(start, end - start);
        if (const auto colon = name.find(':'); colon != std::string::npos)
            name.resize(colon);
        if (!name.empty())
            names.push_back(name);
        start = end + 1;
    }
    return names;
}

std::string RequestedPlatforms(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return argv[i + 1];
    return Environment("QT_QPA_PLATFORM");
}

// The X server named by DISPLAY answers, with the program's credentials. libxcb is what Qt's own X11
// plugin connects with; it is bound at run time, so the program does not link X11 libraries for this.
// Without libxcb the X11 plugin cannot load either: Qt's message then says so. The connection is kept by
// the caller until the application has made its own: an X server whose last client leaves resets, and
// refuses connections while it does.
bool XServerAnswers(TDisplayConnection& held) {
    if (Environment("DISPLAY").empty())
        return false;
    void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (xcb == nullptr)
        return true;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    const auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<TDisplayConnection::Disconnect>(dlsym(xcb, "xcb_disconnect"));
    if (!connect || !hasError || !disconnect) {
        dlclose(xcb);
        return true;
    }
    // xcb_connect never returns null: a failed connection is an error object to be freed too.
    void* connection = connect(nullptr, nullptr);
    const bool answers = hasError(connection) == 0;
    held.Hold(xcb, connection, disconnect);
    if (!answers)
        held.Close();
    return answers;
}

// The Wayland compositor's socket accepts a connection, found as libwayland finds it: WAYLAND_SOCKET
// (an inherited descriptor), else WAYLAND_DISPLAY ("wayland-0" when unset), absolute or below
// XDG_RUNTIME_DIR.
bool WaylandAnswers() {
    if (!Environment("WAYLAND_SOCKET").empty())
        return true;
    std::string name = Environment("WAYLAND_DISPLAY");
    if (name.empty())
        name = "wayland-0";
    std::string path = name;
    if (name.front() != '/') {
        const std::string runtime = Environment("XDG_RUNTIME_DIR");
        if (runtime.empty())
            return false;
        path = runtime + "/" + name;
    }
    sockaddr_un address{};
    if (path.size() >= sizeof(address.sun_path))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool answers = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return answers;
}

bool IsX11(std::string_view platform) {
    return platform == "xcb";
}

bool IsWayland(std::string_view platform) {
    return platform.substr(0, 7) == "wayland";
}

} // namespace

void TDisplayConnection::Hold(void* library, void* connection, Disconnect disconnect) {
    Close();
    m_library = library;
    m_connection = connection;
    m_disconnect = disconnect;
}

void TDisplayConnection::Close() {
    if (m_connection != nullptr)
        m_disconnect(m_connection);
    if (m_library != nullptr)
        dlclose(m_library);
    m_library = nullptr;
    m_connection = nullptr;
    m_disconnect = nullptr;
}

std::string DisplayProblem(int argc, char** argv, TDisplayConnection& held) {
    std::vector<std::string> platforms = SplitPlatforms(RequestedPlatforms(argc, argv));
    // Qt picks X11 or Wayland from the session when nothing is asked for; either one reachable will do.
    if (platforms.empty())
        platforms = {"xcb", "wayland"};
    for (const std::string& platform : platforms) {
        if (!IsX11(platform) && !IsWayland(platform))
            return {};
        if (IsX11(platform) ? XServerAnswers(held) : WaylandAnswers())
            return {};
    }
    return "vexadaxo: cannot open a display (DISPLAY=\"" + Environment("DISPLAY") + "\", WAYLAND_DISPLAY=\"" +
           Environment("WAYLAND_DISPLAY") +
           "\"); start the program in an X or Wayland desktop session, or with QT_QPA_PLATFORM=offscreen to "
           "run it without one (tests)";
}

std::string DisplayProblem(int argc, char** argv) {
    TDisplayConnection held;
    return DisplayProblem(argc, argv, held);
}
