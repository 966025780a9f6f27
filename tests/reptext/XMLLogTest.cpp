#include "ReportFixture.h"

#include "OLogFile.h"
#include "OXMLLog.h"

#include <gtest/gtest.h>
#include <random>

using namespace reporter;
using namespace reptest;

namespace {

// Parses the document with the standard library's XML parser and prints what the tests look at.
const char* const Inspect = R"PY(
import sys, xml.dom.minidom
doc = xml.dom.minidom.parse(sys.argv[1])
for log in doc.documentElement.getElementsByTagName('Log'):
    print('Log', log.getAttribute('Version'))
    for line in log.getElementsByTagName('General')[0].getElementsByTagName('Line'):
        group = line.parentNode
        print('Field', group.getAttribute('ID'), group.getAttribute('Label'), line.getAttribute('ID'),
              line.getAttribute('Label'), repr(line.getAttribute('Value')))
    stack = log.getElementsByTagName('CallStack')[0]
    def walk(node, depth):
        for child in node.childNodes:
            if child.nodeType != child.ELEMENT_NODE:
                continue
            if child.tagName == 'Line':
                print('  ' * depth + 'Line', child.getAttribute('Address'), child.getAttribute('Module'),
                      child.getAttribute('Unit'), child.getAttribute('Class'), child.getAttribute('Procedure'),
                      child.getAttribute('Number'), child.getAttribute('Offset'))
            else:
                print('  ' * depth + child.tagName, child.getAttribute('ID'), child.getAttribute('Priority'),
                      child.getAttribute('Class'), child.getAttribute('MainThread'))
                walk(child, depth + 1)
    walk(stack, 0)
    for module in log.getElementsByTagName('Module'):
        print('Module', module.getAttribute('Handle'), module.getAttribute('Name'), module.getAttribute('Size'),
              module.getAttribute('Modified'), module.getAttribute('Path'))
    for registers in log.getElementsByTagName('Registers'):
        print('Registers', ' '.join(registers.getAttribute(n) for n in ('RAX', 'RDI', 'RSP', 'R8', 'EFL')))
    for part in ('Stack', 'MemoryDump'):
        lines = log.getElementsByTagName(part)[0].getElementsByTagName('Line') if log.getElementsByTagName(part) else []
        if lines:
            first = lines[0]
            print(part, len(lines), ' '.join(first.getAttribute(a) for a in ('Address', 'Value', 'Bytes', 'Chars') if first.hasAttribute(a)))
    for other in log.getElementsByTagName('HoToReproduce'):
        print('Reproduce', repr(other.getAttribute('Text')))
)PY";

std::string InspectXML(const std::string& xml, const TTempDir& dir) {
    WriteFile(dir.File("log.xml"), xml);
    WriteFile(dir.File("inspect.py"), Inspect);
    std::string output;
    const int code = Run("/usr/bin/python3 " + dir.File("inspect.py") + " " + dir.File("log.xml"), output);
    EXPECT_EQ(code, 0) << output;
    return output;
}

} // namespace

TEST(XMLLog, Encoding) {
    EXPECT_EQ(XMLEncode("a<b"), "a&#060;b");
    EXPECT_EQ(XMLEncode("&\"'>"), "&#038;&#034;&#039;&#062;");
    EXPECT_EQ(XMLEncode("x\r\ny\t"), "x&#013;&#010;y&#009;");
    EXPECT_EQ(XMLEncode(std::string("\x01\x7F", 2)), "&#65533;&#127;");
    EXPECT_EQ(XMLEncode(std::string(1, '\0')), "&#65533;");
    EXPECT_EQ(XMLEncode("caf\xC3\xA9 \xE2\x82\xAC"), "caf&#233; &#8364;"); // UTF-8 characters
    EXPECT_EQ(XMLEncode("\xE9t\xE9"), "&#233;t&#233;");                    // single bytes: Latin-1
    EXPECT_EQ(XMLEncode("\xEF\xBF\xBF"), "&#65533;");                      // no XML character
    // Overlong forms are no characters: their bytes are Latin-1 (never "&#0;").
    EXPECT_EQ(XMLEncode("\xE0\x80\x80"), "&#224;&#128;&#128;");
    EXPECT_EQ(XMLEncode("\xF0\x80\x80\x80"), "&#240;&#128;&#128;&#128;");
    EXPECT_EQ(XMLEncode("\xE0\xA0\x80"), "&#2048;"); // the shortest three-byte form
}

TEST(XMLLog, Elements) {
    TXMLItem root("Doc");
    EXPECT_EQ(root.SaveToString(), "<Doc/>\r\n");
    TXMLItem& child = root.AddChild("Line");
    child.AddAttribute("Value", "<a & b>");
    child.AddChild("Empty");
    TXMLItem& text = root.AddChild("Note");
    text.SetText("x<y");
    EXPECT_EQ(child.Parent(), &root);
    EXPECT_EQ(root.SaveToString(), "<Doc>\r\n"
                                   "  <Line Value=\"&#060;a &#038; b&#062;\">\r\n"
                                   "    <Empty/>\r\n"
                                   "  </Line>\r\n"
                                   "  <Note>x&#060;y</Note>\r\n"
                                   "</Doc>\r\n");
}

TEST(XMLLog, LogConvertsToAWellFormedDocument) {
    TTempDir dir;
    TFixedReport fixture;
    fixture.Options->SetCallStackFlags(0x0F | 0x10);
    fixture.SetGeneral("0000555500001234", "app", "std::runtime_error",
                       "Line <one>: & \"quoted\"\r\n\r\ncaf\xC3\xA9 {x}\\");
    TLogFile log(dir.File("app.olf"), false);
    log.AddReport(fixture.Build().Report, 32);
    fixture.Frame.Context.reset();
    fixture.Options->SetLogFlags(0x20);
    fixture.SetGeneral("", "libfoo.so.1", "Unknown exception type.", "Second.");
    log.AddReport(fixture.Build().Report, 32);
    log.Save();

    const std::string xml = LogTextToXML(ReadFile(dir.File("app.olf")));
    EXPECT_EQ(xml, log.LogToXML());
    EXPECT_EQ(xml.substr(0, 9), "<Doc>\r\n  ");
    EXPECT_EQ(xml.substr(xml.size() - 6), "</Doc>");
    const std::string version = OstrelLogVersionText;
    const std::string unknown = "????" + std::string(12, ' ');
    const std::string expected =
        "Log " + version +
        "\n"
        "Field 1 Application 1.1 Start Date 'Tue, 14 Nov 2023 22:00:00 +0000'\n"
        "Field 1 Application 1.2 Name/Description 'Vexa Daxo Soft'\n"
        "Field 1 Application 1.3 Version Number '1.2.3.4'\n"
        "Field 2 Exception 2.1 Date 'Tue, 14 Nov 2023 22:13:20 +0000'\n"
        "Field 2 Exception 2.2 Address '0000555500001234'\n"
        "Field 2 Exception 2.3 Module 'app'\n"
        "Field 2 Exception 2.4 Type 'std::runtime_error'\n"
        "Field 2 Exception 2.5 Message 'Line <one>: & \"quoted\"\\r\\n\\r\\ncafé {x}\\\\'\n"
        "Field 4 Computer 4.1 Name 'bench'\n"
        "ExceptionThread 100 0 TWorker True\n"
        "  Line 0000555500001234 app main.cpp TWorker Run 42 3\n"
        "  Line 00007F0000002000 libfoo.so.1   bar  \n"
        "  CallingThread 100 0 TWorker True\n"
        "    Line 0000555500001100 app main.cpp  Start 7 0\n"
        "RunningThread 200 ??  False\n"
        "  Line 0000555500001200 app loop.cpp TLoop Loop 9 1\n"
        "Module 0000555500000000 app 123456 2023-11-14 22:13:20 /opt/vexa\n"
        "Module 00007F0000000000 libfoo.so.1 9876 2023-11-14 22:14:21 /usr/lib\n"
        "Registers 0000000000001111 0000000000002222 00007FFC12340000 0000000000000000 0000000000000246\n"
        "Stack 16 00007FFC12340000 0000000000000001\n"
        "MemoryDump 16 0000555500001234 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ................\n"
        "Log " +
        version + "\n";
    const std::string output = InspectXML(xml, dir);
    EXPECT_EQ(output.substr(0, expected.size()), expected) << output;
    // The second report: its own exception fields, no modules listed, registers unknown, no dump.
    const std::string second = output.substr(std::min(output.size(), expected.size()));
    EXPECT_NE(second.find("Field 2 Exception 2.2 Address ''\n"
                          "Field 2 Exception 2.3 Module 'libfoo.so.1'\n"
                          "Field 2 Exception 2.4 Type 'Unknown exception type.'\n"
                          "Field 2 Exception 2.5 Message 'Second.'\n"),
              std::string::npos)
        << second;
    EXPECT_EQ(second.find("\nModule "), std::string::npos) << second;
    EXPECT_NE(second.find("Registers " + unknown + " " + unknown), std::string::npos) << second;
    EXPECT_EQ(second.find("Stack "), std::string::npos) << second;
}

TEST(XMLLog, OlderLogsKeepTheirReproduceText) {
    TTempDir dir;
    TFixedReport fixture;
    std::string report = fixture.Build().Report;
    report.replace(report.find(OstrelLogVersionText), std::string(OstrelLogVersionText).size(), "4.6.1");
    report += "\r\nRequest:\r\n--------\r\nClick <twice>.\r\n";
    const std::string xml = ReportToXML(report);
    EXPECT_EQ(xml.substr(0, 26), "<Log Version=\"4.6.1\">\r\n  <");
    const std::string output = InspectXML("<Doc>" + xml + "</Doc>", dir);
    // One thread element with every line of the table, headers left out.
    EXPECT_NE(output.find("ExceptionThread    \n"
                          "  Line 0000555500001234 app main.cpp TWorker Run 42 \n"
                          "  Line 00007F0000002000 libfoo.so.1   bar  \n"
                          "  Line 0000555500001100 app main.cpp  Start 7 \n"
                          "  Line 0000555500001200 app loop.cpp TLoop Loop 9 \n"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("Reproduce 'Click <twice>.'"), std::string::npos) << output;
}

TEST(XMLLog, DamagedReportsStillGiveWellFormedXML) {
    TTempDir dir;
    TFixedReport fixture;
    const std::string report = fixture.Build().Report;
    // Cut at many places, and with bytes that no XML document may hold.
    std::string doc = "<Doc>";
    for (size_t cut = 40; cut < report.size(); cut += 97)
        doc += ReportToXML(report.substr(0, cut) + std::string("\x01\x02\xFF\"<", 5) + "\r\n");
    doc += "</Doc>";
    std::string output = InspectXML(doc, dir);
    EXPECT_NE(output.find("Log "), std::string::npos);
}

TEST(XMLLog, NamesFromTheLogAreMadeValidAndUnique) {
    EXPECT_EQ(XMLName("RAX"), "RAX");
    EXPECT_EQ(XMLName("R8-x.y_z"), "R8-x.y_z");
    EXPECT_EQ(XMLName(""), "_");
    EXPECT_EQ(XMLName("8R"), "_8R");
    EXPECT_EQ(XMLName("-a"), "_-a");
    EXPECT_EQ(XMLName("a b<\"=:\xC3\xA9"), "a_b______");
    EXPECT_EQ(XMLName("xmlns"), "_xmlns");
    EXPECT_EQ(XMLName("XmLfoo"), "_XmLfoo");
    EXPECT_EQ(XMLName("xm"), "xm");
    TXMLItem item("Registers");
    item.AddAttribute("RAX", "1");
    item.AddAttribute("RAX", "2");
    item.AddAttribute("RAX", "3");
    item.AddAttribute("a=\"b", "4");
    EXPECT_EQ(item.Attributes(), " RAX=\"1\" RAX_2=\"2\" RAX_3=\"3\" a__b=\"4\"");
}

// A log file can hold anything: damaged copies of a real log, with the characters that the readers look
// for, must all give documents that an XML parser takes.
TEST(XMLLog, FuzzedLogsGiveWellFormedXML) {
    TTempDir dir;
    TFixedReport fixture;
    const std::string report = fixture.Build().Report;
    const std::string log = report + "\r\n\r\n\r\n\r\n" + report + "\r\n\r\n\r\n";
    static const char* const pieces[] = {": ",           "|", "\r\n", "-\r\n|", "<",    ">",    "&",
                                         "\"",           "=", "'",    " ",      "\x01", "\xFF", "\xC3\xA9",
                                         "\xEF\xBF\xBE", "[", "]",    "; ",     ".",    "x:"};
    std::mt19937 random(20261207);
    const int documents = 1500;
    for (int n = 0; n < documents; ++n) {
        std::string text = log;
        const int edits = 1 + int(random() % 8);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const size_t at = random() % text.size();
            switch (random() % 4) {
            case 0:
                text[at] = char(random() % 256);
                break;
            case 1:
                text.insert(at, pieces[random() % std::size(pieces)]);
                break;
            case 2:
                text.erase(at, random() % 64);
                break;
            default: {
                // A line of the processor block or a table copied elsewhere.
                const size_t from = text.rfind("\r\n", at);
                const size_t to = text.find("\r\n", at);
                if (from != std::string::npos && to != std::string::npos)
                    text.insert(random() % text.size(), text.substr(from, to - from));
            }
            }
        }
        WriteFile(dir.File(std::to_string(n) + ".xml"), LogTextToXML(text));
    }
    WriteFile(dir.File("parse.py"), R"PY(
import sys, xml.dom.minidom
bad = 0
for n in range(int(sys.argv[2])):
    try:
        xml.dom.minidom.parse('%s/%d.xml' % (sys.argv[1], n))
    except Exception as error:
        bad += 1
        if bad <= 3:
            print(n, error)
print('rejected', bad)
)PY");
    std::string output;
    EXPECT_EQ(reptest::Run("/usr/bin/python3 " + dir.File("parse.py") + " " + dir.Path() + " " +
                               std::to_string(documents),
                           output),
              0);
    EXPECT_NE(output.find("rejected 0\n"), std::string::npos) << output;
}
