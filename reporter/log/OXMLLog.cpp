#include "OXMLLog.h"

#include "OLogFile.h"
#include "OTextUtils.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace reporter {

namespace {

std::string Reference(uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "&#%03u;", unsigned(code));
    return text;
}

// The character of a well-formed UTF-8 sequence at text[i] and its length; 0 when there is none.
size_t DecodeUTF8(const std::string& text, size_t i, uint32_t& code) {
    const auto byte = [&](size_t k) { return uint8_t(text[k]); };
    const uint8_t lead = byte(i);
    size_t length;
    uint32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

// Every line but the first and the last indented by two blanks.
std::string IndentInner(const std::string& text) {
    const std::vector<std::string> lines = SplitCRLFLines(text);
    std::string result;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            result += "\r\n";
        if (i > 0 && i + 1 < lines.size())
            result += "  ";
        result += lines[i];
    }
    return result;
}

std::string Substring(const std::string& text, size_t from, size_t count) {
    return from < text.size() ? text.substr(from, count) : std::string();
}

// --- General ---

// "  n.m Label: value"
bool ParseFieldLine(const std::string& line, std::string& number, std::string& label, std::string& value) {
    if (line.compare(0, 2, "  ") != 0)
        return false;
    size_t i = 2;
    const size_t start = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9')
        ++i;
    if (i == start || i >= line.size() || line[i] != '.')
        return false;
    const size_t dot = ++i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9')
        ++i;
    if (i == dot || i >= line.size() || line[i] != ' ')
        return false;
    number = line.substr(start, i - start);
    const std::string rest = line.substr(i + 1);
    const size_t colon = rest.find(": ");
    label = TrimText(colon == std::string::npos ? rest : rest.substr(0, colon));
    value = colon == std::string::npos ? std::string() : TrimText(rest.substr(colon + 2));
    return true;
}

std::string CleanValue(std::vector<std::string> lines) {
    if (lines.size() > 1) {
        // A multi-line value was escaped when written: undo it.
        if (lines.front() == ".")
            lines.erase(lines.begin());
        if (lines.size() > 1 && lines.back() == ".")
            lines.pop_back();
        for (std::string& line : lines) {
            line = ReplaceText(line, ":_", ": ");
            if (line == ".")
                line.clear();
        }
    }
    std::string value;
    for (size_t i = 0; i < lines.size(); ++i)
        value += (i > 0 ? "\r\n" : "") + lines[i];
    return value;
}

void AddGeneral(TXMLItem& log, const std::string& report) {
    TXMLItem& general = log.AddChild("General");
    TXMLItem* group = nullptr;
    std::string groupId;
    std::string header;
    bool inField = false;
    std::string number;
    std::string label;
    std::vector<std::string> value;
    auto flush = [&] {
        if (!inField)
            return;
        const std::string id = number.substr(0, number.find('.'));
        if (group == nullptr || id != groupId) {
            group = &general.AddChild("Group");
            group->AddAttribute("ID", id);
            group->AddAttribute("Label", header);
            groupId = id;
        }
        TXMLItem& line = group->AddChild("Line");
        line.AddAttribute("ID", number);
        line.AddAttribute("Label", label);
        line.AddAttribute("Value", CleanValue(value));
        inField = false;
    };
    for (const std::string& line : SplitCRLFLines(GetReportGeneral(report))) {
        std::string lineNumber;
        std::string lineLabel;
        std::string first;
        if (ParseFieldLine(line, lineNumber, lineLabel, first)) {
            flush();
            number = lineNumber;
            label = lineLabel;
            value.assign(1, first);
            inField = true;
        } else if (TrimText(line).empty()) {
            flush();
        } else if (line.find_first_not_of('-') == std::string::npos) {
            continue; // a group's rule
        } else if (inField && line[0] == ' ') {
            value.push_back(TrimText(line));
        } else {
            flush();
            const std::string trimmed = TrimText(line);
            if (!trimmed.empty() && trimmed.back() == ':') {
                header = trimmed.substr(0, trimmed.size() - 1);
                group = nullptr;
            }
        }
    }
    flush();
}

// --- tables ---

struct TTable {
    std::vector<size_t> Bars; // positions of the header line's "|"
    std::vector<std::string> Rows;
};

TTable ReadTable(const std::string& section) {
    TTable table;
    bool header = true;
    for (const std::string& line : SplitCRLFLines(section)) {
        if (line.empty() || line[0] != '|')
            continue;
        if (header) {
            for (size_t i = 0; i < line.size(); ++i)
                if (line[i] == '|')
                    table.Bars.push_back(i);
            header = false;
        } else {
            table.Rows.push_back(line);
        }
    }
    return table;
}

// The row's cells when it has a "|" at every column boundary of the header, so that a "|" inside a
// name does not split it.
bool Cells(const TTable& table, const std::string& row, std::vector<std::string>& cells) {
    cells.clear();
    if (table.Bars.size() < 2 || row.size() <= table.Bars.back())
        return false;
    for (const size_t bar : table.Bars)
        if (row[bar] != '|')
            return false;
    for (size_t i = 0; i + 1 < table.Bars.size(); ++i)
        cells.push_back(TrimText(row.substr(table.Bars[i] + 1, table.Bars[i + 1] - table.Bars[i] - 1)));
    return true;
}

void AddStackLine(TXMLItem& parent, const std::vector<std::string>& cells) {
    TXMLItem& line = parent.AddChild("Line");
    static const char* const names[] = {"Address", "Module", "Unit", "Class", "Procedure"};
    for (size_t i = 0; i < 5; ++i)
        line.AddAttribute(names[i], i < cells.size() ? cells[i] : std::string());
    const std::string lineText = cells.size() > 5 ? cells[5] : std::string();
    const size_t open = lineText.find('[');
    std::string offset;
    if (open != std::string::npos) {
        const size_t close = lineText.find(']', open);
        offset = lineText.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
    }
    line.AddAttribute("Number", TrimText(lineText.substr(0, open)));
    line.AddAttribute("Offset", TrimText(offset));
}

void AddThreadAttributes(TXMLItem& thread, const std::string& header) {
    // " <role>: ID=1; Priority=0; Class=C; [Main]"
    const size_t colon = header.find(": ");
    const std::string parts = colon == std::string::npos ? header : header.substr(colon + 2);
    std::vector<std::string> values;
    bool main = false;
    size_t from = 0;
    while (from <= parts.size()) {
        size_t end = parts.find("; ", from);
        const std::string part =
            TrimText(parts.substr(from, end == std::string::npos ? std::string::npos : end - from));
        if (!part.empty() && part[0] == '[')
            main = true;
        else if (const size_t equals = part.find('='); equals != std::string::npos)
            values.push_back(part.substr(equals + 1));
        if (end == std::string::npos)
            break;
        from = end + 2;
    }
    static const char* const names[] = {"ID", "Priority", "Class"};
    for (size_t i = 0; i < 3 && i < values.size(); ++i)
        thread.AddAttribute(names[i], values[i]);
    thread.AddAttribute("MainThread", main ? "True" : "False");
}

void AddCallStack(TXMLItem& log, const std::string& report, bool oldLog) {
    TXMLItem& callStack = log.AddChild("CallStack");
    const TTable table = ReadTable(GetReportCallStack(report));
    std::vector<std::string> cells;
    if (oldLog) {
        TXMLItem* thread = nullptr;
        for (const std::string& row : table.Rows)
            if (Cells(table, row, cells) && cells.size() >= 6) {
                if (thread == nullptr)
                    thread = &callStack.AddChild("ExceptionThread");
                AddStackLine(*thread, cells);
            }
        return;
    }
    TXMLItem* top = nullptr;
    TXMLItem* current = nullptr;
    bool afterEmpty = false;
    for (const std::string& row : table.Rows) {
        if (Cells(table, row, cells)) {
            if (current == nullptr)
                top = current = &callStack.AddChild("ExceptionThread");
            AddStackLine(*current, cells);
            continue;
        }
        const size_t last = row.find_last_of('|');
        const std::string inner =
            TrimText(row.substr(1, last == 0 || last == std::string::npos ? std::string::npos : last - 1));
        if (inner.empty()) {
            afterEmpty = true;
            continue;
        }
        if (inner.find_first_not_of('-') == std::string::npos)
            continue; // a thread separator
        if (top == nullptr)
            top = current = &callStack.AddChild("ExceptionThread");
        else if (afterEmpty)
            top = current = &callStack.AddChild("RunningThread");
        else
            current = &top->AddChild("CallingThread");
        AddThreadAttributes(*current, inner);
        afterEmpty = false;
    }
}

void AddModules(TXMLItem& log, const std::string& report) {
    TXMLItem& modules = log.AddChild("Modules");
    const TTable table = ReadTable(GetReportModules(report));
    std::vector<std::string> cells;
    for (const std::string& row : table.Rows) {
        if (!Cells(table, row, cells) || cells.size() < 6)
            continue;
        TXMLItem& module = modules.AddChild("Module");
        static const char* const names[] = {"Handle", "Name", "Description", "Version", "Size"};
        for (size_t i = 0; i < 5; ++i)
            module.AddAttribute(names[i], cells[i]);
        if (cells.size() >= 7)
            module.AddAttribute("Modified", cells[5]);
        module.AddAttribute("Path", cells.back());
    }
}

// "RAX: <value>   RDI: <value>" (names three characters wide, either width of value).
void AddRegisters(TXMLItem& registers, const std::string& line) {
    const size_t first = line.find(": ");
    if (first == std::string::npos)
        return;
    const size_t second = line.find(": ", first + 2);
    if (second == std::string::npos || second < first + 2 + 6) {
        registers.AddAttribute(TrimText(line.substr(0, first)), line.substr(first + 2));
        return;
    }
    const size_t width = second - 6 - (first + 2);
    registers.AddAttribute(TrimText(line.substr(0, first)), line.substr(first + 2, width));
    registers.AddAttribute(TrimText(line.substr(second - 3, 3)), Substring(line, second + 2, width));
}

void AddCPU(TXMLItem& log, const std::string& report) {
    TXMLItem& cpu = log.AddChild("CPU");
    const std::vector<std::string> lines = SplitCRLFLines(GetReportCPU(report));
    if (lines.size() < 2)
        return;
    TXMLItem& registers = cpu.AddChild("Registers");
    size_t i = 2;
    for (; i < lines.size() && !TrimText(lines[i]).empty(); ++i)
        AddRegisters(registers, lines[i]);
    i += 3; // the empty line, the titles and their rules
    TXMLItem& stack = cpu.AddChild("Stack");
    TXMLItem& dump = cpu.AddChild("MemoryDump");
    for (; i < lines.size() && !TrimText(lines[i]).empty(); ++i) {
        // "<address>: <value>   <address>: XX XX .. XX  <chars>"
        const std::string& line = lines[i];
        const size_t p1 = line.find(": ");
        const size_t p2 = p1 == std::string::npos ? p1 : line.find("   ", p1 + 2);
        const size_t p3 = p2 == std::string::npos ? p2 : line.find(": ", p2 + 3);
        if (p3 == std::string::npos)
            continue;
        TXMLItem& stackLine = stack.AddChild("Line");
        stackLine.AddAttribute("Address", line.substr(0, p1));
        stackLine.AddAttribute("Value", line.substr(p1 + 2, p2 - p1 - 2));
        TXMLItem& dumpLine = dump.AddChild("Line");
        dumpLine.AddAttribute("Address", line.substr(p2 + 3, p3 - p2 - 3));
        dumpLine.AddAttribute("Bytes", Substring(line, p3 + 2, 47));
        dumpLine.AddAttribute("Chars", Substring(line, p3 + 2 + 49, 16));
    }
}

} // namespace

std::string XMLEncode(const std::string& text) {
    std::string result;
    result.reserve(text.size() + text.size() / 8);
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t c = uint8_t(text[i]);
        if (c == 9 || c == 10 || c == 13 || c == 34 || c == 38 || c == 39 || c == 60 || c == 62 || c == 127) {
            result += Reference(c);
        } else if (c < 32) {
            result += Reference(0xFFFD);
        } else if (c < 128) {
            result += char(c);
        } else {
            uint32_t code = 0;
            const size_t length = DecodeUTF8(text, i, code);
            if (length == 0) {
                result += Reference(c);
            } else {
                result += (code == 0xFFFE || code == 0xFFFF) ? Reference(0xFFFD) : Reference(code);
                i += length - 1;
            }
        }
    }
    return result;
}

std::string XMLName(const std::string& text) {
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::string name;
    name.reserve(text.size() + 1);
    if (text.empty() || !letter(text[0]))
        name += '_';
    for (const char c : text)
        name += letter(c) || digit(c) || c == '-' || c == '.' ? c : '_';
    // "xml" in any case starts the names XML keeps for itself.
    if (name.size() >= 3 && (name[0] | 0x20) == 'x' && (name[1] | 0x20) == 'm' && (name[2] | 0x20) == 'l')
        name.insert(0, "_");
    return name;
}

TXMLItem::TXMLItem(std::string name, TXMLItem* parent) : m_name(XMLName(name)), m_parent(parent) {}

TXMLItem::~TXMLItem() {
    while (!m_children.empty())
        m_children.pop_back(); // the last child goes first
}

TXMLItem& TXMLItem::AddChild(const std::string& name) {
    m_children.push_back(std::make_unique<TXMLItem>(name, this));
    return *m_children.back();
}

void TXMLItem::AddAttribute(const std::string& name, const std::string& value) {
    const std::string base = XMLName(name);
    std::string unique = base;
    for (int n = 2;
         std::find(m_attributeNames.begin(), m_attributeNames.end(), unique) != m_attributeNames.end(); ++n)
        unique = base + "_" + std::to_string(n);
    m_attributeNames.push_back(unique);
    m_attributes += " " + unique + "=\"" + XMLEncode(value) + "\"";
}

void TXMLItem::WriteTo(std::string& output, const std::string& indentation) const {
    output += indentation + "<" + m_name + m_attributes;
    if (m_text.empty() && m_children.empty()) {
        output += "/>\r\n";
        return;
    }
    output += ">" + XMLEncode(m_text);
    if (!m_children.empty()) {
        output += "\r\n";
        for (const auto& child : m_children)
            child->WriteTo(output, indentation + "  ");
        output += indentation;
    }
    output += "</" + m_name + ">\r\n";
}

std::string TXMLItem::SaveToString() const {
    std::string output;
    WriteTo(output);
    return output;
}

std::string ReportToXML(const std::string& report) {
    const std::string version = ReportLogVersion(report);
    const bool oldLog = CompareVersions(version, "5.0.0") < 0;
    // The elements are written one after the other at the top level; IndentInner puts them inside Log.
    TXMLItem log("Log");
    AddGeneral(log, report);
    AddCallStack(log, report, oldLog);
    AddModules(log, report);
    AddCPU(log, report);
    if (oldLog)
        log.AddChild("HoToReproduce").AddAttribute("Text", GetReportOther(report));
    std::string text = "<Log Version=\"" + XMLEncode(version) + "\">\r\n";
    for (int i = 0; i < log.ChildCount(); ++i)
        text += log.Children(i).SaveToString();
    return IndentInner(text + "</Log>");
}

std::string LogToXML(const std::vector<std::string>& reports) {
    std::string text = "<Doc>\r\n";
    for (const std::string& report : reports)
        text += ReportToXML(report) + "\r\n";
    return IndentInner(text + "</Doc>");
}

std::string LogTextToXML(const std::string& text) {
    return LogToXML(SplitLogReports(text));
}

} // namespace reporter
