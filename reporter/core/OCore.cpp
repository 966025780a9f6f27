#include "OCore.h"

#include "OConsoleOutput.h"
#include "OFiles.h"
#include "OModules.h"
#include "OOptions.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace reporter {

time_t GetFileDateTime(const std::string& path) {
    const time_t t = FileModificationTime(path);
    return t < 0 ? 0 : t;
}

int GetTimeZoneMinutes(time_t at) {
    if (at == 0)
        at = time(nullptr);
    tm local{};
    if (localtime_r(&at, &local) == nullptr)
        return 0;
    return int(local.tm_gmtoff / 60);
}

int GetTimeZoneHours(time_t at) {
    const int minutes = GetTimeZoneMinutes(at);
    return minutes >= 0 ? (minutes + 30) / 60 : -((-minutes + 30) / 60);
}

bool CanWriteFile(const std::string& path) {
    int fd = OpenRegularFile(path, O_RDWR);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno != ENOENT)
        return false;
    // The trial file is made where a link leads (a new file is never made through a link), and removed
    // there, so that the link stays.
    const std::string target = LinkTarget(path);
    fd = OpenRegularFile(target, O_RDWR | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(target.c_str());
    return true;
}

bool CanReadFile(const std::string& path) {
    const int fd = OpenRegularFile(path, O_RDONLY);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::string GetEnvVariable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr)
        return std::string();
    return std::string(value, strnlen(value, 1024));
}

std::string GetUserProfileFolder() {
    const std::string home = GetEnvVariable("HOME");
    return home.empty() ? "/" : home;
}

bool IsDirectory(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string IncludeTrailingBackslashEx(const std::string& folder) {
    if (folder.empty())
        return "/";
    return folder.back() == '/' ? folder : folder + "/";
}

namespace {

bool EnsureFolder(const std::string& folder, mode_t mode = 0755) {
    if (IsDirectory(folder))
        return true;
    return ::mkdir(folder.c_str(), mode) == 0 || (errno == EEXIST && IsDirectory(folder));
}

// A log is saved as a new file renamed over the old one: writing needs a folder that takes new files,
// and for a log reached through a link that is the folder of the file it leads to.
bool CanUse(const std::string& path, bool readOnly, TLogPathTest accepts) {
    if (accepts != nullptr && !accepts(path))
        return false;
    if (readOnly)
        return CanReadFile(path);
    const std::string folder = ExtractFilePath(LinkTarget(path));
    return CanWriteFile(path) && ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

// The user's state folder: $XDG_STATE_HOME when it is an absolute path, else ~/.local/state.
std::string StateFolder() {
    const std::string state = GetEnvVariable("XDG_STATE_HOME");
    if (!state.empty() && state[0] == '/')
        return state;
    const std::string local = IncludeTrailingBackslashEx(GetUserProfileFolder()) + ".local";
    if (!EnsureFolder(local, 0700) || !EnsureFolder(local + "/state", 0700))
        return std::string();
    return local + "/state";
}

// A folder of this user's alone under the temporary folder: made 0700, and refused when someone else's
// or open to others (another user may have made it first).
std::string PrivateTempFolder() {
    std::string temp = GetEnvVariable("TMPDIR");
    if (temp.empty() || temp[0] != '/')
        temp = "/tmp";
    const std::string folder = IncludeTrailingBackslashEx(temp) + "OstrelLog-" + std::to_string(::geteuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return std::string();
    struct stat info;
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() ||
        (info.st_mode & 077) != 0)
        return std::string();
    return folder;
}

// The log's file name in the folder (and the program's subfolder), when the folder takes it.
bool TryLogFolder(std::string folder, const std::string& path, bool readOnly, bool perProgramFolder,
                  TLogPathTest accepts, std::string& found) {
    if (folder.empty() || !EnsureFolder(folder))
        return false;
    if (perProgramFolder) {
        folder += "/" + ChangeFileExt(ExtractFileName(ProgramFileName()), "");
        if (!EnsureFolder(folder))
            return false;
    }
    found = IncludeTrailingBackslashEx(folder) + ExtractFileName(path);
    return CanUse(found, readOnly, accepts);
}

// Says once per place where a file that could not be written at its own place goes instead.
void TellMovedLog(const std::string& from, const std::string& to) {
    static std::mutex lock;
    static std::set<std::string> told;
    std::lock_guard guard(lock);
    if (told.size() < 64 && told.insert(from + '\n' + to).second)
        WriteToConsole(stderr,
                       "OstrelLog: \"" + from + "\" cannot be written; \"" + to + "\" is used instead.\n");
}

} // namespace

bool CheckLogPath(std::string& path, bool readOnly, bool perProgramFolder, TLogPathTest accepts) {
    if (CanUse(path, readOnly, accepts))
        return true;
    // The user's home, then the user's state folder, then a private temporary folder: a report is
    // never lost for want of a place while one of them takes it.
    std::string found;
    const auto take = [&](const std::string& folder) {
        if (!TryLogFolder(folder, path, readOnly, perProgramFolder, accepts, found))
            return false;
        if (!readOnly)
            TellMovedLog(path, found);
        path = found;
        return true;
    };
    if (take(IncludeTrailingBackslashEx(GetUserProfileFolder()) + "OstrelLog"))
        return true;
    const std::string state = StateFolder();
    if (!state.empty() && take(state + "/OstrelLog"))
        return true;
    return take(PrivateTempFolder());
}

std::string GetLogFileName(const TOstrelModuleOptions& options, const std::string& name) {
    const std::string& location = options.LogFileLocation();
    if (location.size() >= 4 && strcasecmp(location.c_str() + location.size() - 4, ".olf") == 0)
        return location;
    const std::string folder = location.empty() ? ExtractFilePath(name) : location;
    return IncludeTrailingBackslashEx(folder) + ExtractFileName(name);
}

std::string ValidComputerName() {
    char buffer[HOST_NAME_MAX + 1] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0)
        return std::string();
    return ValidComputerName(std::string(buffer));
}

std::string ValidComputerName(std::string name) {
    for (char& c : name)
        if (std::strchr("\"*/:<>?\\|", c) != nullptr)
            c = '_';
    return name;
}

std::string GetLogFileNameEx(const TOstrelModuleOptions& options, const std::string& name) {
    std::string module = name.empty() ? options.ModuleName() : name;
    if (module.empty())
        module = ProgramFileName();
    std::string result = GetLogFileName(options, ChangeFileExt(module, ".olf"));
    if (options.LogFlags() & 0x08)
        result = ChangeFileExt(result, "") + "_" + ValidComputerName() + ".olf";
    return result;
}

} // namespace reporter
