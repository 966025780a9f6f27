#include "OSystemInfo.h"

#include "OCore.h"
#include "OFiles.h"
#include "OTextUtils.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <pwd.h>
#include <sstream>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace reporter {

namespace {

std::optional<utsname> SystemName() {
    utsname name{};
    if (::uname(&name) != 0)
        return std::nullopt;
    return name;
}

std::optional<uint64_t> MemInfo(const char* key) {
    const std::optional<std::string> text = ReadTextFile("/proc/meminfo", 64 * 1024);
    return text ? MemInfoValue(*text, key) : std::nullopt;
}

std::optional<struct sysinfo> SystemInfo() {
    struct sysinfo info {};
    if (::sysinfo(&info) != 0)
        return std::nullopt;
    return info;
}

} // namespace

std::optional<std::string> ReadTextFile(const std::string& path, size_t limit) {
    const int fd = OpenRegularFile(path, O_RDONLY);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char buffer[4096];
    bool failed = false;
    while (text.size() < limit) {
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - text.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failed = true;
        if (n <= 0)
            break;
        text.append(buffer, size_t(n));
    }
    ::close(fd);
    if (failed)
        return std::nullopt;
    return text;
}

std::string GetComputerName() {
    char buffer[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buffer, sizeof buffer - 1) == 0)
        return buffer;
    const std::optional<utsname> name = SystemName();
    return name ? name->nodename : std::string();
}

std::string GetUserName() {
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(suggested > 0 && suggested < 1 << 20 ? size_t(suggested) : 16384, '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr)
        return found->pw_name;
    // A user without a password-file entry (a container's arbitrary uid) still has its login variables.
    for (const char* variable : {"USER", "LOGNAME"}) {
        const std::string value = GetEnvVariable(variable);
        if (!value.empty())
            return value;
    }
    return std::string();
}

std::optional<uint64_t> GetTotalMemory() {
    if (const std::optional<uint64_t> total = MemInfo("MemTotal"))
        return total;
    if (const std::optional<struct sysinfo> info = SystemInfo())
        return uint64_t(info->totalram) * info->mem_unit;
    return std::nullopt;
}

std::optional<uint64_t> GetFreeMemory() {
    // Free memory alone leaves out the caches the system gives back at once; the kernel's own estimate
    // counts them.
    if (const std::optional<uint64_t> available = MemInfo("MemAvailable"))
        return available;
    if (const std::optional<struct sysinfo> info = SystemInfo())
        return (uint64_t(info->freeram) + info->bufferram) * info->mem_unit;
    return std::nullopt;
}

std::optional<TDiskSpace> GetDiskSpace(const std::string& path) {
    struct statvfs info {};
    if (path.empty() || ::statvfs(path.c_str(), &info) != 0)
        return std::nullopt;
    const uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    return TDiskSpace{uint64_t(info.f_blocks) * unit, uint64_t(info.f_bavail) * unit};
}

std::optional<uint64_t> GetUpTimeMilliseconds() {
    timespec now{};
    if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return std::nullopt;
    return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
}

std::string GetProcessorName() {
    // The first processor's block is all that is read; a machine with many processors has a long file.
    const std::optional<std::string> text = ReadTextFile("/proc/cpuinfo", 64 * 1024);
    return ProcessorNameFromCpuInfo(text ? *text : std::string());
}

std::string GetWindowsVersionName() {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        if (const std::optional<std::string> text = ReadTextFile(path, 64 * 1024)) {
            const std::string name = SystemNameFromOsRelease(*text);
            if (!name.empty())
                return name;
        }
    }
    const std::optional<utsname> name = SystemName();
    return name ? name->sysname : std::string();
}

std::string GetSystemBuildNumber() {
    const std::optional<utsname> name = SystemName();
    return name ? TrimText(name->release) : std::string();
}

std::string GetSystemUpdateText() {
    const std::optional<utsname> name = SystemName();
    return name ? TrimText(name->version) : std::string();
}

std::string GetSystemDefaultLocaleName() {
    for (const char* path : {"/etc/locale.conf", "/etc/default/locale"}) {
        if (const std::optional<std::string> text = ReadTextFile(path, 64 * 1024)) {
            const std::map<std::string, std::string> values = ParseAssignments(*text);
            const auto it = values.find("LANG");
            if (it != values.end() && !it->second.empty())
                return it->second;
        }
    }
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string value = GetEnvVariable(variable);
        if (!value.empty())
            return value;
    }
    return std::string();
}

std::string GetLocaleLanguageName(const std::string& localeName) {
    if (localeName.empty())
        return std::string();
    // Only an installed locale can be opened; its identification names its language in English.
    const locale_t locale = ::newlocale(LC_IDENTIFICATION_MASK, localeName.c_str(), locale_t(nullptr));
    if (locale == locale_t(nullptr))
        return std::string();
    const char* language = ::nl_langinfo_l(_NL_IDENTIFICATION_LANGUAGE, locale);
    std::string result = language != nullptr ? TrimText(language) : std::string();
    ::freelocale(locale);
    return result;
}

std::string GetSystemLanguage() {
    return GetLocaleLanguageName(GetSystemDefaultLocaleName());
}

std::vector<std::string> GetProgramParameters() {
    std::vector<std::string> parameters;
    const std::optional<std::string> text = ReadTextFile("/proc/self/cmdline", 4 << 20);
    if (!text)
        return parameters;
    bool first = true;
    for (size_t at = 0; at < text->size();) {
        size_t end = text->find('\0', at);
        if (end == std::string::npos)
            end = text->size();
        if (!first)
            parameters.push_back(text->substr(at, end - at));
        first = false;
        at = end + 1;
    }
    return parameters;
}

time_t GetProcessStartTime() {
    const std::optional<std::string> stat = ReadTextFile("/proc/self/stat", 4096);
    const std::optional<std::string> system = ReadTextFile("/proc/stat", 1 << 20);
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (!stat || !system || ticksPerSecond <= 0)
        return 0;
    // The command name in parentheses may hold blanks and parentheses: the fields follow the last ")".
    const size_t close = stat->rfind(')');
    if (close == std::string::npos)
        return 0;
    // After the command name: state (field 3), ..., start time in clock ticks since boot (field 22).
    std::istringstream fields(stat->substr(close + 1));
    std::string field;
    int number = 2;
    while (number < 22 && fields >> field)
        ++number;
    char* end = nullptr;
    const unsigned long long startTicks = std::strtoull(field.c_str(), &end, 10);
    if (number != 22 || field.empty() || *end != '\0')
        return 0;
    const size_t at = system->find("\nbtime ");
    if (at == std::string::npos)
        return 0;
    const unsigned long long bootTime = std::strtoull(system->c_str() + at + 7, nullptr, 10);
    if (bootTime == 0)
        return 0;
    return time_t(bootTime + startTicks / (unsigned long long)ticksPerSecond);
}

} // namespace reporter
