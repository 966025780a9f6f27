#include "OLogItem.h"

#include <algorithm>
#include <vector>

namespace reporter {

namespace {

// Splits at CR LF, a lone CR or a lone LF; a final line break gives no empty last line.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(from, i - from));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        from = i + 1;
    }
    if (from < text.size())
        lines.push_back(text.substr(from));
    return lines;
}

// A group header: the line's first ":" stands at its last or second-to-last position.
bool IsGroupHeader(const std::string& line) {
    const size_t colon = line.find(':');
    return colon != std::string::npos && colon + 2 >= line.size();
}

void AlignGroup(std::vector<std::string>& group) {
    size_t column = 0; // 1-based position of the ": " that every field line will share
    for (size_t i = 2; i < group.size(); ++i) {
        const size_t at = group[i].find(": ");
        if (at != std::string::npos)
            column = std::max(column, at + 1);
    }
    size_t longest = group[0].size();
    for (size_t i = 2; i < group.size(); ++i) {
        std::string& line = group[i];
        const size_t at = line.find(": ");
        if (at != std::string::npos)
            line.insert(at, column - (at + 1), ' ');
        else
            line.insert(0, column, ' ');
        longest = std::max(longest, line.size());
    }
    group[1] = std::string(longest, '-');
}

} // namespace

void TLogItem::AddGroup(const std::string& label) {
    ++m_groupNumber;
    m_fieldNumber = 0;
    if (!m_text.empty())
        m_text += "\r\n\r\n";
    m_text += label + ":\r\n-";
}

void TLogItem::AddField(const std::string& label, const std::string& value, bool visible) {
    ++m_fieldNumber;
    if (!visible)
        return;
    m_text += "\r\n  " + std::to_string(m_groupNumber) + "." + std::to_string(m_fieldNumber) + " " + label +
              ": " + FormatFieldValue(value);
}

std::string TLogItem::GetText() const {
    const std::vector<std::string> lines = SplitLines(m_text);
    std::vector<std::string> out;
    size_t i = 0;
    while (i < lines.size()) {
        if (!IsGroupHeader(lines[i])) {
            out.push_back(lines[i++]);
            continue;
        }
        size_t end = i + 1;
        while (end < lines.size() && !lines[end].empty())
            ++end;
        std::vector<std::string> group(lines.begin() + std::ptrdiff_t(i),
                                       lines.begin() + std::ptrdiff_t(end));
        if (group.size() <= 2) {
            // Header and rule alone: every field of the group is hidden, so the group goes, with the empty
            // line that ends it (or, for the last group, the one before it).
            if (end >= lines.size() && !out.empty() && out.back().empty())
                out.pop_back();
        } else {
            AlignGroup(group);
            out.insert(out.end(), group.begin(), group.end());
            if (end < lines.size())
                out.push_back(std::string());
        }
        i = end + 1;
    }
    std::string result;
    for (const std::string& line : out)
        result += line + "\r\n";
    return result;
}

std::string PadRight(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string FormatFieldValue(const std::string& value) {
    if (value.find_first_of("\r\n") == std::string::npos)
        return value;
    std::string result;
    size_t from = 0;
    bool first = true;
    for (;;) {
        size_t end = value.find_first_of("\r\n", from);
        std::string line = value.substr(from, end == std::string::npos ? std::string::npos : end - from);
        size_t at;
        while ((at = line.find(": ")) != std::string::npos)
            line[at + 1] = '_';
        if (line.find_first_not_of(' ') == std::string::npos)
            line = ".";
        if (!first)
            result += "\r\n ";
        result += line;
        first = false;
        if (end == std::string::npos)
            break;
        if (value[end] == '\r' && end + 1 < value.size() && value[end + 1] == '\n')
            ++end;
        from = end + 1;
        if (from >= value.size())
            break; // a final line break adds no empty line
    }
    return result;
}

} // namespace reporter
