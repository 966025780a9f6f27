#include "OSystemInfo.h"

#include "OTextUtils.h"

#include <cstdio>
#include <cstdlib>

namespace reporter {

namespace {

// Calls visit(key, value) for each "key : value" line, both trimmed.
template <typename F> void ForEachKeyValueLine(const std::string& text, F visit) {
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(from, end - from);
        const size_t colon = line.find(':');
        if (colon != std::string::npos &&
            !visit(TrimText(line.substr(0, colon)), TrimText(line.substr(colon + 1))))
            return;
        from = end + 1;
    }
}

// The values of the keys in the first block (the first processor) of /proc/cpuinfo.
std::map<std::string, std::string> FirstCpuBlock(const std::string& cpuInfo) {
    std::map<std::string, std::string> values;
    ForEachKeyValueLine(cpuInfo, [&](const std::string& key, const std::string& value) {
        values.emplace(key, value); // the first occurrence wins
        return true;
    });
    return values;
}

std::string UnitText(uint64_t count, const char* unit) {
    return std::to_string(count) + " " + unit + (count >= 2 ? "s" : "");
}

// A shell-quoted value: double quotes with backslash escapes, single quotes taken literally.
std::string Unquote(const std::string& raw) {
    std::string value;
    size_t i = 0;
    while (i < raw.size()) {
        const char c = raw[i];
        if (c == '"') {
            for (++i; i < raw.size() && raw[i] != '"'; ++i) {
                if (raw[i] == '\\' && i + 1 < raw.size() &&
                    std::string("\"\\$`").find(raw[i + 1]) != std::string::npos)
                    ++i;
                value += raw[i];
            }
            ++i;
        } else if (c == '\'') {
            const size_t end = raw.find('\'', i + 1);
            value += raw.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            i = end == std::string::npos ? raw.size() : end + 1;
        } else if (c == ' ' || c == '\t') {
            break; // an unquoted blank ends the value
        } else {
            if (c == '\\' && i + 1 < raw.size())
                ++i;
            value += raw[i++];
        }
    }
    return value;
}

} // namespace

std::string FormatMegabytes(uint64_t bytes) {
    constexpr uint64_t unit = 1048576;
    uint64_t whole = bytes / unit;
    const uint64_t rest = bytes % unit;
    // Half-way values round to the even neighbour.
    if (rest > unit / 2 || (rest == unit / 2 && (whole & 1) != 0))
        ++whole;
    return std::to_string(whole) + " Mb";
}

std::string FormatGigabytes(uint64_t bytes) {
    constexpr unsigned shift = 30;
    const unsigned __int128 scaled = static_cast<unsigned __int128>(bytes) * 100;
    uint64_t hundredths = uint64_t(scaled >> shift);
    const unsigned __int128 unit = static_cast<unsigned __int128>(1) << shift;
    if (((scaled & (unit - 1)) << 1) >= unit) // half-way and above round up
        ++hundredths;
    const uint64_t whole = hundredths / 100;
    const unsigned fraction = unsigned(hundredths % 100);
    char text[48];
    if (fraction == 0)
        std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(whole));
    else if (fraction % 10 == 0)
        std::snprintf(text, sizeof text, "%llu.%u", static_cast<unsigned long long>(whole), fraction / 10);
    else
        std::snprintf(text, sizeof text, "%llu.%02u", static_cast<unsigned long long>(whole), fraction);
    return std::string(text) + " Gb";
}

std::string FormatUpTime(uint64_t milliseconds) {
    const uint64_t seconds = milliseconds / 1000;
    const uint64_t days = seconds / 86400;
    const uint64_t hours = seconds / 3600 % 24;
    const uint64_t minutes = seconds / 60 % 60;
    std::string text;
    if (days > 0)
        text += UnitText(days, "day") + ", ";
    if (hours > 0)
        text += UnitText(hours, "hour") + ", ";
    return text + UnitText(minutes, "minute") + ", " + UnitText(seconds % 60, "second");
}

std::string FormatParameters(const std::vector<std::string>& parameters) {
    std::string text;
    for (const std::string& parameter : parameters)
        text += (text.empty() ? "\"" : " \"") + parameter + "\"";
    return text;
}

std::string ProcessorNameFromCpuInfo(const std::string& cpuInfo) {
    const std::map<std::string, std::string> values = FirstCpuBlock(cpuInfo);
    auto value = [&](const char* key) {
        const auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    };
    // x86 and most others name it "model name"; older ARM, MIPS and PowerPC kernels use other keys.
    for (const char* key : {"model name", "Processor", "cpu model", "cpu"})
        if (!value(key).empty())
            return value(key);
    const std::string vendor = value("vendor_id");
    std::string identifier;
    if (!value("cpu family").empty())
        identifier =
            "Family " + value("cpu family") + " Model " + value("model") + " Stepping " + value("stepping");
    if (!vendor.empty() && !identifier.empty())
        return vendor + " - " + identifier;
    return "Unknown processor";
}

std::optional<uint64_t> MemInfoValue(const std::string& memInfo, const std::string& key) {
    std::optional<uint64_t> result;
    ForEachKeyValueLine(memInfo, [&](const std::string& name, const std::string& value) {
        if (name != key)
            return true;
        char* end = nullptr;
        const unsigned long long number = std::strtoull(value.c_str(), &end, 10);
        if (end == value.c_str())
            return false;
        const std::string unit = TrimText(end);
        if (unit == "kB")
            result = uint64_t(number) * 1024;
        else if (unit.empty())
            result = uint64_t(number);
        return false;
    });
    return result;
}

std::map<std::string, std::string> ParseAssignments(const std::string& text) {
    std::map<std::string, std::string> values;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = TrimText(text.substr(from, end - from));
        from = end + 1;
        const size_t equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos || equals == 0)
            continue;
        std::string key = TrimText(line.substr(0, equals));
        if (key.rfind("export ", 0) == 0)
            key = TrimText(key.substr(7));
        values[key] = Unquote(TrimText(line.substr(equals + 1)));
    }
    return values;
}

std::string SystemNameFromOsRelease(const std::string& osRelease) {
    const std::map<std::string, std::string> values = ParseAssignments(osRelease);
    auto value = [&](const char* key) {
        const auto it = values.find(key);
        return it == values.end() ? std::string() : TrimText(it->second);
    };
    if (!value("PRETTY_NAME").empty())
        return value("PRETTY_NAME");
    std::string name = value("NAME");
    if (!name.empty() && !value("VERSION").empty())
        name += " " + value("VERSION");
    return name;
}

std::string RemoveControlChars(const std::string& text) {
    std::string result = text;
    for (char& c : result)
        if (static_cast<unsigned char>(c) < 32 && c != '\r' && c != '\n')
            c = ' ';
    return result;
}

} // namespace reporter
