#include "OCore.h"

#include "OFiles.h"
#include "OModules.h"
#include "OOptions.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno != ENOENT)
        return false;
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(path.c_str());
    return true;
}

bool CanReadFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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

bool EnsureFolder(const std::string& folder) {
    if (IsDirectory(folder))
        return true;
    return ::mkdir(folder.c_str(), 0755) == 0 || (errno == EEXIST && IsDirectory(folder));
}

// A log is saved as a new file renamed over the old one: writing needs a folder that takes new files.
bool CanUse(const std::string& path, bool readOnly) {
    if (readOnly)
        return CanReadFile(path);
    const std::string folder = ExtractFilePath(path);
    return CanWriteFile(path) && ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

} // namespace

bool CheckLogPath(std::string& path, bool readOnly, bool perProgramFolder) {
    if (CanUse(path, readOnly))
        return true;
    std::string folder = IncludeTrailingBackslashEx(GetUserProfileFolder()) + "OstrelLog";
    if (!EnsureFolder(folder))
        return false;
    if (perProgramFolder) {
        folder += "/" + ChangeFileExt(ExtractFileName(ProgramFileName()), "");
        if (!EnsureFolder(folder))
            return false;
    }
    const std::string fallback = IncludeTrailingBackslashEx(folder) + ExtractFileName(path);
    if (!CanUse(fallback, readOnly))
        return false;
    path = fallback;
    return true;
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
