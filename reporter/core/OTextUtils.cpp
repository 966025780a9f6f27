#include "OTextUtils.h"

#include "OCore.h"

#include <cstdio>
#include <cstdlib>

namespace reporter {

size_t PosFrom(const std::string& substring, const std::string& text, size_t start) {
    if (start == 0)
        start = 1;
    if (substring.empty() || start > text.size())
        return 0;
    const size_t at = text.find(substring, start - 1);
    return at == std::string::npos ? 0 : at + 1;
}

std::string ReplaceText(const std::string& text, const std::string& oldText, const std::string& newText) {
    if (oldText.empty())
        return text;
    std::string result;
    size_t from = 0;
    for (size_t at; (at = text.find(oldText, from)) != std::string::npos; from = at + oldText.size())
        result.append(text, from, at - from).append(newText);
    return result.append(text, from, std::string::npos);
}

void SplitText(const std::string& characterSet, const std::string& text, std::vector<std::string>& list) {
    size_t from = 0;
    for (;;) {
        const size_t at = text.find_first_of(characterSet, from);
        std::string piece = text.substr(from, at == std::string::npos ? std::string::npos : at - from);
        const size_t first = piece.find_first_not_of(" \t\r\n");
        if (first != std::string::npos)
            list.push_back(piece.substr(first, piece.find_last_not_of(" \t\r\n") - first + 1));
        if (at == std::string::npos)
            break;
        from = at + 1;
    }
}

std::string FormatMailZone(int minutes) {
    const char sign = minutes < 0 ? '-' : '+';
    const int absolute = minutes < 0 ? -minutes : minutes;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d%02d", sign, (absolute / 60) % 100, absolute % 60);
    return zone;
}

std::string GetMailDate(time_t time) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    tm local{};
    if (localtime_r(&time, &local) == nullptr)
        return std::string();
    char text[96];
    std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %s", days[local.tm_wday % 7], local.tm_mday,
                  months[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                  FormatMailZone(int(local.tm_gmtoff / 60)).c_str());
    return text;
}

std::string ChooseText(bool flag, const std::string& a, const std::string& b) {
    return flag ? a : b;
}

std::string CollapseControlChars(const std::string& text) {
    std::string result;
    bool inRun = false;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 32) {
            if (!inRun)
                result += ' ';
            inRun = true;
        } else {
            result += c;
            inRun = false;
        }
    }
    return result;
}

std::string HTMLEncode(const std::string& text) {
    std::string result = ReplaceText(text, "&", "&amp;");
    result = ReplaceText(result, "\"", "&quot;");
    result = ReplaceText(result, "'", "&#039;");
    result = ReplaceText(result, "<", "&lt;");
    result = ReplaceText(result, ">", "&gt;");
    result = ReplaceText(result, "  ", "&nbsp;&nbsp;");
    return ReplaceText(result, "\r\n", "<br>\r\n");
}

std::string GetTempFolder() {
    const std::string folder = GetEnvVariable("TMPDIR");
    return IncludeTrailingBackslashEx(folder.empty() ? "/tmp" : folder);
}

std::vector<std::string> SplitCRLFLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        const size_t end = text.find("\r\n", from);
        if (end == std::string::npos) {
            lines.push_back(text.substr(from));
            break;
        }
        lines.push_back(text.substr(from, end - from));
        from = end + 2;
    }
    return lines;
}

std::string TrimText(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace reporter
