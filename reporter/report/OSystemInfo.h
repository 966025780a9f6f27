#pragma once
// What a report tells about the computer and the operating system: name, user, memory, disk, up time,
// processor, system name and version, language, and the program's start time and parameters. Every
// collector answers an empty text (or its fixed fallback) when the system does not tell; none raises.
#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace reporter {

// --- collectors (OSystemInfo_linux.cpp) ---

// The host name.
std::string GetComputerName();
// The login name of the effective user.
std::string GetUserName();
// Physical memory in bytes; nullopt when the system does not tell.
std::optional<uint64_t> GetTotalMemory();
// Memory available for starting new programs without swapping.
std::optional<uint64_t> GetFreeMemory();
// Size and free bytes available to this user of the file system that holds path.
struct TDiskSpace {
    uint64_t Total = 0;
    uint64_t FreeToCaller = 0;
};
std::optional<TDiskSpace> GetDiskSpace(const std::string& path);
// Milliseconds since the system started, time spent suspended included.
std::optional<uint64_t> GetUpTimeMilliseconds();
// The processor's name, "Unknown processor" when the system does not tell.
std::string GetProcessorName();
// The distribution's name and version (e.g. "Debian GNU/Linux 12 (bookworm)"), else the kernel's name.
std::string GetWindowsVersionName();
// The kernel's release ("6.1.0-13-amd64") and its build text ("#1 SMP PREEMPT_DYNAMIC ...").
std::string GetSystemBuildNumber();
std::string GetSystemUpdateText();
// The English name of the system's default language ("German"), empty when it is not known.
std::string GetSystemLanguage();
// The facts above that stay for the program's life, as the reporter's start found them: a report only
// reads them.
struct TSystemFacts {
    std::string UserName;
    std::string ProcessorName;
    std::string SystemName;
    std::string Language;
};
const TSystemFacts& KeptSystemFacts();
void KeepSystemFacts();
// The locale the system is configured with: LANG of the system's locale settings, else of the
// environment (LC_ALL, LC_MESSAGES, LANG in this order).
std::string GetSystemDefaultLocaleName();
// The English language name of an installed locale ("de_DE.UTF-8" gives "German"); empty for a locale
// that is not installed or names no language (C, POSIX).
std::string GetLocaleLanguageName(const std::string& localeName);
// The program's command-line parameters (the program name not included).
std::vector<std::string> GetProgramParameters();
// When the process started (seconds since 1970), 0 when unknown.
time_t GetProcessStartTime();

// --- formats and parsers (OSystemInfo.cpp) ---

// Bytes / 1048576 rounded, + " Mb".
std::string FormatMegabytes(uint64_t bytes);
// Bytes / 1073741824 with at most two decimals and no trailing zeros ("12.5"), + " Gb".
std::string FormatGigabytes(uint64_t bytes);
// "1 day, 2 hours, 0 minute, 5 seconds": days and hours only when not 0, the unit words with "s" from 2.
std::string FormatUpTime(uint64_t milliseconds);
// Each parameter in double quotes, separated by one blank.
std::string FormatParameters(const std::vector<std::string>& parameters);
// The processor's name from the text of /proc/cpuinfo: its first model name, else vendor + " - " +
// family, model and stepping, else "Unknown processor".
std::string ProcessorNameFromCpuInfo(const std::string& cpuInfo);
// The value of the first "key : value" line of /proc/meminfo style text ("kB" values in bytes).
std::optional<uint64_t> MemInfoValue(const std::string& memInfo, const std::string& key);
// KEY=value lines of an os-release or locale file, values unquoted as a shell would.
std::map<std::string, std::string> ParseAssignments(const std::string& text);
// The system's name from os-release text: PRETTY_NAME, else NAME and VERSION; empty when neither.
std::string SystemNameFromOsRelease(const std::string& osRelease);
// Characters below 32 other than CR and LF become one blank each.
std::string RemoveControlChars(const std::string& text);

// Reads a small text file (at most limit bytes) without raising; nullopt when it cannot be read.
std::optional<std::string> ReadTextFile(const std::string& path, size_t limit = 1 << 20);

} // namespace reporter
