#include "ORichText.h"

#include "OCharset.h"
#include "OLogText.h"
#include "OTextUtils.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace reporter {

namespace {

// Colours of the pages: 1 dark cyan, 2 black, 3 dark grey, 4 dark blue.
constexpr const char* HTMLColours[] = {"", "#006464", "#000000", "#282828", "#0000A0"};

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

size_t DecodeUTF8(const std::string& text, size_t i, uint32_t& code) {
    const uint8_t lead = uint8_t(text[i]);
    size_t length;
    uint32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const uint8_t next = uint8_t(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

std::string UnicodeWord(uint32_t unit) {
    // RTF takes the code unit as a signed 16-bit number; "?" is what readers without Unicode show.
    return "\\u" + std::to_string(int16_t(uint16_t(unit))) + "?";
}

int EstimatedDashWidth(const TRichTextFont& font) {
    if (font.DashWidth > 0)
        return font.DashWidth;
    // A fixed font's character is about 0.6 of its height; 96 pixels per inch.
    const int pixels = (font.PointSize * 96 * 6 + 360) / 720;
    return pixels > 0 ? pixels : 1;
}

std::string Span(int colour, const std::string& text, bool bold = false) {
    if (text.empty())
        return std::string();
    std::string html = "<span style=\"color:" + std::string(HTMLColours[colour]) + "\">";
    html += bold ? "<b>" + HTMLEscape(text) + "</b>" : HTMLEscape(text);
    return html + "</span>";
}

std::string HTMLPage(const std::string& body, const TRichTextFont& font) {
    return "<html><head><meta charset=\"utf-8\"></head><body style=\"background-color:#FFFFFF\">\r\n"
           "<pre style=\"font-family:'" +
           HTMLEscape(font.Name) + "'; font-size:" + std::to_string(font.PointSize) + "pt; color:#000000\">" +
           body + "</pre>\r\n</body></html>\r\n";
}

bool IsGroupHeader(const std::string& line) {
    const size_t colon = line.find(':');
    return colon != std::string::npos && colon + 1 == line.size();
}

// The register lines of a CPU page: from line 2 to the first empty line.
size_t RegisterLinesEnd(const std::vector<std::string>& lines, const std::string& emptyLine) {
    size_t i = 2;
    while (i < lines.size() && lines[i] != emptyLine)
        ++i;
    return i;
}

} // namespace

std::string RTFEncode(const std::string& text) {
    std::string result;
    result.reserve(text.size() + text.size() / 8);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const uint8_t byte = uint8_t(c);
        if (c == '\\' || c == '{' || c == '}') {
            result += '\\';
            result += c;
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            result += "\\par\r\n";
            ++i;
        } else if (byte < 128) {
            result += c;
        } else {
            uint32_t code = 0;
            const size_t length = DecodeUTF8(text, i, code);
            if (length == 0) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\'%02x", unsigned(byte));
                result += hex;
                continue;
            }
            if (code > 0xFFFF) {
                code -= 0x10000;
                result += UnicodeWord(0xD800 + (code >> 10)) + UnicodeWord(0xDC00 + (code & 0x3FF));
            } else {
                result += UnicodeWord(code);
            }
            i += length - 1;
        }
    }
    return result;
}

std::string RTFPage(const std::string& body, const TRichTextFont& font) {
    const int charset = font.Charset >= 0 ? font.Charset : GetDefaultCharset();
    std::string name = RTFEncode(font.Name);
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1040{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset" +
           std::to_string(charset) + " " + name +
           ";}}\r\n{\\colortbl ;\\red0\\green100\\blue100;\\red0\\green0\\blue0;\\red40\\green40\\blue40;"
           "\\red0\\green0\\blue160;}\r\n\\f0\\fs" +
           std::to_string(2 * font.PointSize) + "\r\n" + body + "}";
}

std::string BuildGeneralRTF(const std::string& text, const TRichTextFont& font) {
    std::vector<std::string> lines = SplitCRLFLines(RTFEncode(text));
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string& line = lines[i];
        if (i == 0) {
            line = "\\cf1\\b " + line + "\\b0";
            continue;
        }
        const size_t colon = line.find(':');
        const size_t value = line.find(": ");
        if (colon != std::string::npos && colon + 5 == line.size())
            line = "\\cf3\\b " + line + "\\b0"; // a group header and its "\par"
        else if (!line.empty() && line[0] == '-')
            line = "\\cf3 " + line;
        else if (value != std::string::npos)
            line = "\\cf2 " + line.substr(0, value + 1) + "\\cf4 " + line.substr(value + 1);
    }
    return RTFPage(JoinLines(lines), font);
}

std::string BuildCPURTF(const std::string& text, const TRichTextFont& font) {
    std::vector<std::string> lines = SplitCRLFLines(RTFEncode(text));
    const size_t registersEnd = RegisterLinesEnd(lines, "\\par");
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string& line = lines[i];
        if (i == 0) {
            line = "\\cf3\\b " + line + "\\cf2\\b0";
        } else if (i == 1) {
            line = "\\cf3 " + line + "\\cf2";
        } else if (i < registersEnd) {
            // Both values dark blue; inserted from the right so that the columns stay where they are.
            const size_t first = RegisterNameWidth + 2;
            const size_t second = RegisterLineWidth - HexDigits;
            if (line.size() >= RegisterLineWidth) {
                line.insert(RegisterLineWidth, "\\cf2 ");
                line.insert(second, "\\cf4 ");
                line.insert(first + HexDigits, "\\cf2 ");
                line.insert(first, "\\cf4 ");
            }
        } else if (i == registersEnd + 1) {
            const long twips = long(EstimatedDashWidth(font)) * long(DumpStackTitleWidth) * 15;
            line = "\\pard\\tx" + std::to_string(twips) + "\\cf3\\b " +
                   Trim(line.substr(0, DumpStackTitleWidth)) + "\\tab " +
                   Trim(line.size() > DumpStackTitleWidth ? line.substr(DumpStackTitleWidth) : "") +
                   "\\cf2\\b0";
        } else if (i == registersEnd + 2) {
            if (line.size() >= DumpMemoryColumn)
                line.replace(DumpGapColumn, 3, "\\tab ");
            line = "\\cf3 " + line + "\\cf2";
        } else if (i > registersEnd + 2 && line.size() >= DumpLineWidth) {
            // The stack value and the bytes dark blue, the characters black, a tab between the columns.
            line.insert(DumpCharsColumn - 2, "\\cf2 ");
            line.insert(DumpBytesColumn, "\\cf4 ");
            line.replace(DumpGapColumn, 3, "\\tab ");
            line.insert(DumpGapColumn, "\\cf2 ");
            line.insert(DumpStackValueColumn, "\\cf4 ");
        }
    }
    return RTFPage(JoinLines(lines), font);
}

std::string HTMLEscape(const std::string& text) {
    std::string result;
    result.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        switch (c) {
        case '&':
            result += "&amp;";
            break;
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        case '"':
            result += "&quot;";
            break;
        case '\'':
            result += "&#039;";
            break;
        default:
            result += c;
        }
    }
    return result;
}

std::string BuildGeneralHTML(const std::string& text, const TRichTextFont& font) {
    const std::vector<std::string> lines = SplitCRLFLines(text);
    std::string body;
    bool inValue = false; // continuation lines carry on in the value's colour
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const size_t value = line.find(": ");
        if (i == 0) {
            body += Span(1, line, true);
            inValue = false;
        } else if (IsGroupHeader(line)) {
            body += Span(3, line, true);
            inValue = false;
        } else if (!line.empty() && line[0] == '-') {
            body += Span(3, line);
            inValue = false;
        } else if (value != std::string::npos) {
            body += Span(2, line.substr(0, value + 1)) + Span(4, line.substr(value + 1));
            inValue = true;
        } else if (inValue && !line.empty()) {
            body += Span(4, line);
        } else {
            body += HTMLEscape(line);
            inValue = false;
        }
        body += "\r\n";
    }
    return HTMLPage(body, font);
}

std::string BuildCPUHTML(const std::string& text, const TRichTextFont& font) {
    const std::vector<std::string> lines = SplitCRLFLines(text);
    const size_t registersEnd = RegisterLinesEnd(lines, std::string());
    std::string body;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (i == 0 || i == registersEnd + 1) {
            body += Span(3, line, true);
        } else if (i == 1 || i == registersEnd + 2) {
            body += Span(3, line);
        } else if (i < registersEnd && line.size() >= RegisterLineWidth) {
            const size_t first = RegisterNameWidth + 2;
            const size_t second = RegisterLineWidth - HexDigits;
            body += HTMLEscape(line.substr(0, first)) + Span(4, line.substr(first, HexDigits)) +
                    HTMLEscape(line.substr(first + HexDigits, second - first - HexDigits)) +
                    Span(4, line.substr(second, HexDigits)) + HTMLEscape(line.substr(RegisterLineWidth));
        } else if (i > registersEnd + 2 && line.size() >= DumpLineWidth) {
            body += HTMLEscape(line.substr(0, DumpStackValueColumn)) +
                    Span(4, line.substr(DumpStackValueColumn, HexDigits)) +
                    HTMLEscape(line.substr(DumpGapColumn, DumpBytesColumn - DumpGapColumn)) +
                    Span(4, line.substr(DumpBytesColumn, DumpCharsColumn - 2 - DumpBytesColumn)) +
                    HTMLEscape(line.substr(DumpCharsColumn - 2));
        } else {
            body += HTMLEscape(line);
        }
        body += "\r\n";
    }
    return HTMLPage(body, font);
}

} // namespace reporter
