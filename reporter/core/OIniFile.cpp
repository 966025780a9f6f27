#include "OIniFile.h"

#include "OCore.h"
#include "OErrors.h"
#include "OFiles.h"
#include "OTextUtils.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace reporter {

namespace {

constexpr size_t MaxValueLength = 2047; // the profile routine's buffer of 2048 bytes
constexpr size_t MaxIniFileSize = 1024 * 1024;

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// "[name]" gives name; anything else is no section header.
bool SectionHeader(const std::string& line, std::string& name) {
    const std::string trimmed = TrimText(line);
    if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']')
        return false;
    name = TrimText(trimmed.substr(1, trimmed.size() - 2));
    return true;
}

bool KeyLine(const std::string& line, std::string& key, std::string& value) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos)
        return false;
    key = TrimText(line.substr(0, equals));
    value = TrimText(line.substr(equals + 1));
    return !key.empty() && key[0] != ';';
}

// Whether the reader above finds the section and the key of the line "key=value" under "[section]":
// a line break or a "=" in the key would change the file's structure, blanks at the ends are trimmed
// away, a ";" starts a comment, and a key starting with "[" whose line ends in "]" reads as a header.
bool ReadsBackAsWritten(const std::string& section, const std::string& key, const std::string& value) {
    if (section.find_first_of("]\r\n") != std::string::npos || TrimText(section) != section)
        return false;
    if (key.empty() || key.find_first_of("=\r\n") != std::string::npos || TrimText(key) != key ||
        key.front() == ';' || value.find_first_of("\r\n") != std::string::npos)
        return false;
    std::string name;
    return !SectionHeader(key + "=" + value, name);
}

enum class TIniRead { Missing, Read, Refused };

// The file's text. Refused when it exists but cannot be read whole: unreadable, larger than any settings
// file, or no regular file (a FIFO would never end).
TIniRead ReadIni(const std::string& path, std::string& text) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0)
        return errno == ENOENT ? TIniRead::Missing : TIniRead::Refused;
    try {
        const std::vector<uint8_t> data = ReadWholeFile(path, MaxIniFileSize);
        text.assign(data.begin(), data.end());
    } catch (const EFileError&) {
        return TIniRead::Refused;
    }
    return TIniRead::Read;
}

std::string IniPath(const std::string& file) {
    return file.find('/') == std::string::npos ? GetWindowsFolder() + file : file;
}

bool EnsureFolder(const std::string& folder) {
    struct stat info;
    if (::stat(folder.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    const size_t slash = folder.rfind('/', folder.size() > 1 ? folder.size() - 2 : 0);
    if (slash != std::string::npos && slash > 0 && !EnsureFolder(folder.substr(0, slash)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// Writes a new file beside the old one and renames it over it, so that no reader sees half a file.
bool ReplaceFile(const std::string& path, const std::string& text) {
    std::string temporary = path + ".XXXXXX";
    const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0)
        return false;
    struct stat old;
    if (::stat(path.c_str(), &old) == 0)
        ::fchmod(descriptor, old.st_mode & 0666);
    size_t done = 0;
    bool ok = true;
    while (ok && done < text.size()) {
        const ssize_t n = ::write(descriptor, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += size_t(n);
    }
    ok = ::close(descriptor) == 0 && ok;
    if (ok && ::rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
}

} // namespace

std::string GetWindowsFolder() {
    std::string folder = GetEnvVariable("VEXADAXO_WINDIR");
    if (folder.empty()) {
        const std::string config = GetEnvVariable("XDG_CONFIG_HOME");
        folder = (config.empty() ? IncludeTrailingBackslashEx(GetUserProfileFolder()) + ".config" : config) +
                 "/vexadaxo";
    }
    return IncludeTrailingBackslashEx(folder);
}

std::string IniReadString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& defaultValue) {
    std::string path = IniPath(file);
    std::string text;
    // Reading needs no write access: a request file of the web server may well be read-only.
    if (!CheckLogPath(path, true, false) || ReadIni(path, text) != TIniRead::Read)
        return defaultValue;
    bool inSection = false;
    for (const std::string& line : SplitLines(text)) {
        std::string name, value;
        if (SectionHeader(line, name)) {
            inSection = SameName(name, section);
        } else if (inSection && KeyLine(line, name, value) && SameName(name, key)) {
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            return value.substr(0, MaxValueLength);
        }
    }
    return defaultValue;
}

bool IniWriteString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
    if (!ReadsBackAsWritten(section, key, value))
        return false;
    std::string path = IniPath(file);
    std::string text;
    // A file that cannot be read whole is never written over, nor replaced by a stand-in elsewhere.
    if (ReadIni(path, text) == TIniRead::Refused)
        return false;
    if (!EnsureFolder(path.substr(0, path.rfind('/') + 1)) || !CheckLogPath(path, false, false))
        return false;
    text.clear(); // the stand-in in the fall-back folder, when the file moved there, has a text of its own
    if (ReadIni(path, text) == TIniRead::Refused)
        return false;
    // A link stays a link: the new file goes beside the file it points at.
    path = LinkTarget(path);
    std::vector<std::string> lines = SplitLines(text);
    const std::string entry = key + "=" + value;
    bool inSection = false;
    size_t sectionEnd = std::string::npos; // after the last line of the section
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name, old;
        if (SectionHeader(lines[i], name)) {
            inSection = SameName(name, section);
            if (inSection)
                sectionEnd = i + 1;
            continue;
        }
        if (!inSection)
            continue;
        if (KeyLine(lines[i], name, old) && SameName(name, key)) {
            lines[i] = entry;
            sectionEnd = std::string::npos;
            inSection = false;
            text.clear();
            for (const std::string& line : lines)
                text += line + "\r\n";
            return ReplaceFile(path, text);
        }
        if (!TrimText(lines[i]).empty())
            sectionEnd = i + 1;
    }
    if (sectionEnd == std::string::npos) {
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    } else {
        lines.insert(lines.begin() + long(sectionEnd), entry);
    }
    text.clear();
    for (const std::string& line : lines)
        text += line + "\r\n";
    return ReplaceFile(path, text);
}

} // namespace reporter
