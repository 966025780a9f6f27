#pragma once
// Text copied to the clipboard outlives the program: on a window system whose clipboard belongs to a
// process (X11, Wayland), the copy is held by a keeper process of the reporter's own (the program's file
// started again), which serves pastes until another program takes the clipboard over or KeeperLifetime
// has passed. The copy then works also when the GUI thread stands still, and survives a fatal report's
// end of the program.
#include <chrono>
#include <string>
#include <sys/types.h>

namespace reporter {

inline constexpr const char* ClipboardKeeperArgument = "--ostrel-clipboard-keeper";
inline constexpr std::chrono::minutes KeeperLifetime{10};
// The largest text a keeper takes.
inline constexpr size_t KeeperTextLimit = size_t(64) << 20;

// Starts a keeper for the text (program: the program's own file when empty) and returns its process ID
// once it holds the clipboard; -1 when it could not be started or did not take the clipboard in time.
pid_t KeepTextOnClipboard(const std::string& text, const std::string& program = std::string());

// In a keeper process (argv[1] is ClipboardKeeperArgument): takes the text from standard input, leaves
// its starter at once, holds the clipboard and returns the exit code (0 held, 2 no text, 3 no
// clipboard). Returns -1 at once in any other process.
int RunClipboardKeeper(int& argc, char** argv);

} // namespace reporter
