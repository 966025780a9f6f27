#pragma once
// The small routines every part of the reporter leans on: file and folder tests, the log folder with its
// fall-back under the user's home, the log file name, the environment and the time zone.
#include <ctime>
#include <string>

namespace reporter {

class TOstrelModuleOptions;

// Last-write time of the file (seconds since 1970), 0 when there is none.
time_t GetFileDateTime(const std::string& path);
// Local time minus UTC at the given moment (now when 0), in minutes: zones such as +05:30 keep their
// half hour.
int GetTimeZoneMinutes(time_t at = 0);
// The same in whole hours, rounded.
int GetTimeZoneHours(time_t at = 0);
// The program never runs inside a development environment that hosts it; kept for the callers' tests.
inline bool IsInsideIDE() {
    return false;
}

// Opens (creating when missing) for reading and writing; a file created only for this test is removed.
bool CanWriteFile(const std::string& path);
bool CanReadFile(const std::string& path);
// The variable's value (at most 1024 characters), empty when unset.
std::string GetEnvVariable(const std::string& name);
// The user's home folder, "/" when unknown.
std::string GetUserProfileFolder();
bool IsDirectory(const std::string& path);
// Adds the platform's path delimiter; an empty folder gives "/".
std::string IncludeTrailingBackslashEx(const std::string& folder);
// True when the log file can be used (read, or written unless readOnly). Otherwise the same file name is
// tried in "OstrelLog" under the user's home, then under the user's state folder ($XDG_STATE_HOME or
// ~/.local/state), then in a private "OstrelLog-<user id>" under $TMPDIR (each with perProgramFolder in
// its subfolder named after the program), created when missing; when one works, path is changed to it
// and, when writing, standard error says so. With accepts, a file it refuses counts as one that cannot
// be used.
using TLogPathTest = bool (*)(const std::string& path);
bool CheckLogPath(std::string& path, bool readOnly, bool perProgramFolder, TLogPathTest accepts = nullptr);
// The log file for name: LogFileLocation when it ends in ".olf", else the file name of name in
// LogFileLocation or, when that is empty, in name's own folder.
std::string GetLogFileName(const TOstrelModuleOptions& options, const std::string& name);
// The computer's name with the characters that no file name may hold replaced by "_".
std::string ValidComputerName();
std::string ValidComputerName(std::string name);
// name (default: the options' module, else the program) with the extension ".olf", through
// GetLogFileName; with LogFlags bit 0x08 "_" and the computer name go before the extension.
std::string GetLogFileNameEx(const TOstrelModuleOptions& options, const std::string& name = std::string());

} // namespace reporter
