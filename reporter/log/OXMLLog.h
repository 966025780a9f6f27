#pragma once
// The log as an XML document: every report's General fields, call stacks by thread, modules and
// processor block, read back from the report text, written with a small element writer.
#include <memory>
#include <string>
#include <vector>

namespace reporter {

// Quotes, ampersand, apostrophe, angle brackets, tab, CR, LF and DEL become "&#" + code (at least three
// digits) + ";"; a UTF-8 sequence becomes the reference of its character, any other byte from 128 on the
// reference of its Latin-1 character. Control characters that no XML document may hold become U+FFFD.
std::string XMLEncode(const std::string& text);

// The text as an XML name: letters, digits, "_", "-" and "." (no letter or "_" first gets a "_" in front;
// every other character becomes "_"; an empty text is "_").
std::string XMLName(const std::string& text);

class TXMLItem {
public:
    explicit TXMLItem(std::string name, TXMLItem* parent = nullptr);
    ~TXMLItem();
    TXMLItem(const TXMLItem&) = delete;
    TXMLItem& operator=(const TXMLItem&) = delete;

    TXMLItem& AddChild(const std::string& name);
    // Appends name="value", the value encoded. The name comes from a log file that may be damaged: it is
    // made a valid XML name (XMLName), and a name the element has already is numbered ("RAX_2"), so that
    // the document stays well-formed.
    void AddAttribute(const std::string& name, const std::string& value);
    void SetText(const std::string& text) { m_text = text; }

    const std::string& Name() const { return m_name; }
    const std::string& Text() const { return m_text; }
    const std::string& Attributes() const { return m_attributes; }
    int ChildCount() const { return int(m_children.size()); }
    TXMLItem& Children(int index) const { return *m_children.at(size_t(index)); }
    TXMLItem* Parent() const { return m_parent; }

    // The element and its children, each line ending in CR LF, children indented by two blanks more.
    void WriteTo(std::string& output, const std::string& indentation = std::string()) const;
    std::string SaveToString() const;

private:
    std::string m_name;
    std::string m_text;
    std::string m_attributes; // written: " name=\"value\"" pairs
    std::vector<std::string> m_attributeNames;
    std::vector<std::unique_ptr<TXMLItem>> m_children;
    TXMLItem* m_parent;
};

// One report as a "Log" element with its version.
std::string ReportToXML(const std::string& report);
// Every report in a "Doc" element.
std::string LogToXML(const std::vector<std::string>& reports);
// A log text (or one report's text) as the XML log.
std::string LogTextToXML(const std::string& text);

} // namespace reporter
