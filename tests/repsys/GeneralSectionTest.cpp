#include "ODesktop.h"
#include "OExceptionInfo.h"
#include "OFiles.h"
#include "OGeneralSection.h"
#include "OModules.h"
#include "OOptions.h"
#include "OSystemInfo.h"
#include "OTextUtils.h"
#include "OTexts.h"

#include <gtest/gtest.h>
#include <regex>
#include <stdexcept>

using namespace reporter;

namespace {

// Every value names its field, so the tests see which value went to which label.
TGeneralValues NamedValues() {
    TGeneralValues values;
    for (int i = 0; i < GeneralFieldCount; ++i)
        values[size_t(i)] = "v" + std::to_string(i);
    return values;
}

void SetBit(TOstrelModuleOptions& options, int bit, bool on) {
    TGeneralFields fields = options.GeneralFields();
    if (on)
        fields[size_t(bit / 8)] |= uint8_t(1u << (bit % 8));
    else
        fields[size_t(bit / 8)] &= uint8_t(~(1u << (bit % 8)));
    options.SetGeneralFields(fields);
}

// The line of the field "n.m", with the alignment blanks before ": " removed; empty when absent.
std::string FieldLine(const std::string& text, const std::string& number) {
    const size_t at = text.find("  " + number + " ");
    if (at == std::string::npos)
        return std::string();
    std::string line = text.substr(at, text.find("\r\n", at) - at);
    const size_t colon = line.find(": ");
    const size_t labelEnd = line.find_last_not_of(' ', colon - 1);
    return line.erase(labelEnd + 1, colon - labelEnd - 1);
}

std::string FieldValue(const std::string& text, const std::string& number) {
    const std::string line = FieldLine(text, number);
    const size_t colon = line.find(": ");
    return colon == std::string::npos ? std::string() : line.substr(colon + 2);
}

class TFakeDesktop : public IOstrelDesktop {
public:
    bool GetDisplayMode(TDisplayMode& mode) override {
        mode = {1920, 1080, 24};
        return true;
    }
    bool GetForegroundWindow(std::string& className, std::string& text) override {
        className = std::string(300, 'C');
        text = "Main\r\n\twindow" + std::string(300, 'x');
        return true;
    }
};

class TDesktopScope {
public:
    explicit TDesktopScope(IOstrelDesktop* desktop) { SetOstrelDesktop(desktop); }
    ~TDesktopScope() { SetOstrelDesktop(nullptr); }
};

const std::regex MailDate(R"([A-Z][a-z]{2}, \d{1,2} [A-Z][a-z]{2} \d{4} \d{2}:\d{2}:\d{2} [+-]\d{4})");

} // namespace

namespace repsystest {

struct TPlainObject {
    virtual ~TPlainObject() = default;
};
struct TOtherBase {
    virtual ~TOtherBase() = default;
    int padding = 7;
};
// The standard exception is not the first base: its address differs from the object's.
struct TLateException : TOtherBase, std::runtime_error {
    TLateException() : std::runtime_error("second base") {}
};
struct EAccessViolation : std::runtime_error {
    EAccessViolation() : std::runtime_error("raw fault") {}
};

} // namespace repsystest

using namespace repsystest;

TEST(GeneralSection, EveryFieldWithItsNumberAndLabel) {
    TOstrelModuleOptions options("", false);
    const std::string text = FormatGeneralFields(options, NamedValues(), true);
    const std::vector<std::pair<const char*, const char*>> expected = {
        {"1.1", "Start Date: v0"},     {"1.2", "Name/Description: v1"}, {"1.3", "Version Number: v2"},
        {"1.4", "Parameters: v3"},     {"1.5", "Compilation Date: v4"}, {"2.1", "Date: v5"},
        {"2.2", "Address: v6"},        {"2.3", "Module: v7"},           {"2.4", "Type: v8"},
        {"2.5", "Message: v9"},        {"3.1", "Form Class: v10"},      {"3.2", "Form Text: v11"},
        {"3.3", "Control Class: v12"}, {"3.4", "Control Text: v13"},    {"4.1", "Name: v14"},
        {"4.2", "User: v15"},          {"4.3", "Total Memory: v16"},    {"4.4", "Free Memory: v17"},
        {"4.5", "Total Disk: v18"},    {"4.6", "Free Disk: v19"},       {"4.7", "System Up Time: v20"},
        {"4.8", "Processor: v21"},     {"4.9", "Display Mode: v22"},    {"5.1", "Type: v23"},
        {"5.2", "Build #: v24"},       {"5.3", "Update: v25"},          {"5.4", "Language: v26"},
        {"6.1", "IP Address: v27"},    {"6.2", "Submask: v28"},         {"6.3", "Gateway: v29"},
        {"6.4", "DNS 1: v30"},         {"6.5", "DNS 2: v31"},           {"6.6", "DHCP: v32"},
    };
    for (const auto& [number, line] : expected)
        EXPECT_EQ(FieldLine(text, number), std::string("  ") + number + " " + line);
    // The groups in order, each header followed by its rule.
    size_t at = 0;
    for (const char* header : {"Application:\r\n-", "Exception:\r\n-", "Active Controls:\r\n-",
                               "Computer:\r\n-", "Operating System:\r\n-", "Network:\r\n-"}) {
        const size_t found = text.find(header, at);
        ASSERT_NE(found, std::string::npos) << header;
        at = found;
    }
    // The field-key table names the same fields by bit.
    for (int bit = 0; bit < GeneralFieldCount; ++bit) {
        const std::string key = GeneralFieldKeys[size_t(bit)];
        EXPECT_EQ(key.substr(0, key.find('|')), options.GetText(GeneralGroupTextIndex(TGeneralField(bit))));
    }
}

TEST(GeneralSection, HiddenFieldsKeepTheNumbersOfTheOthers) {
    TOstrelModuleOptions options("", false);
    SetBit(options, gfExceptionAddress, false);
    SetBit(options, gfStartDate, false);
    const std::string text = FormatGeneralFields(options, NamedValues(), true);
    EXPECT_EQ(FieldLine(text, "2.2"), "");
    EXPECT_EQ(text.find("v6"), std::string::npos);
    EXPECT_EQ(FieldLine(text, "2.3"), "  2.3 Module: v7");
    EXPECT_EQ(FieldLine(text, "1.1"), "");
    EXPECT_EQ(FieldLine(text, "1.2"), "  1.2 Name/Description: v1");
}

TEST(GeneralSection, AGroupWithAllFieldsHiddenDisappears) {
    TOstrelModuleOptions options("", false);
    for (int bit = gfSystemType; bit <= gfLanguage; ++bit)
        SetBit(options, bit, false);
    const std::string text = FormatGeneralFields(options, NamedValues(), true);
    EXPECT_EQ(text.find("Operating System"), std::string::npos);
    EXPECT_NE(text.find("Computer:"), std::string::npos);
    EXPECT_EQ(FieldLine(text, "6.1"), "  6.1 IP Address: v27"); // the network group stays group 6
    EXPECT_EQ(text.find("\r\n\r\n\r\n"), std::string::npos);
}

TEST(GeneralSection, ActiveControlsOnlyInAWindowedProgram) {
    TOstrelModuleOptions options("", false);
    const std::string text = FormatGeneralFields(options, NamedValues(), false);
    EXPECT_EQ(text.find("Active Controls"), std::string::npos);
    EXPECT_EQ(FieldLine(text, "4.1"), "  4.1 Name: v14");
}

TEST(GeneralSection, LabelsComeFromTheOptionsTexts) {
    TOstrelModuleOptions options("", false);
    options.SetText(28, "Ausnahme");
    options.SetText(33, "Meldung");
    const std::string text = FormatGeneralFields(options, NamedValues(), true);
    EXPECT_NE(text.find("Ausnahme:\r\n-"), std::string::npos);
    EXPECT_EQ(FieldLine(text, "2.5"), "  2.5 Meldung: v9");
}

TEST(GeneralSection, BuiltFromTheSystemAndTheException) {
    TOstrelModuleOptions options("", false);
    const std::runtime_error error("Device not found");
    TGeneralSectionParams params;
    params.ExceptionObject = &error;
    params.ExceptionAddress = reinterpret_cast<uintptr_t>(&FormatAddress); // an address in this program
    params.ExceptionTime = 1700000000;
    params.StartTime = 1699990000;
    params.ControlClass = "TEdit";
    params.ControlText = "abc";
    TMainModuleFacts main;
    main.HasRecord = true;
    main.Description = "Vexa Daxo Soft - Config Tools";
    main.Version = "1.2.3.4";
    main.CompilationTime = 1690000000;
    params.MainModule = main;

    const TGeneralSection section = BuildGeneralSection(options, params);
    const std::string banner = std::string("OstrelLog ") + OstrelLogVersionText + "\r\n\r\n";
    ASSERT_EQ(section.Text.substr(0, banner.size()), banner);
    EXPECT_EQ(section.Text.substr(banner.size(), 14), "Application:\r\n");
    const std::string& text = section.Text;

    EXPECT_EQ(FieldValue(text, "1.1"), GetMailDate(1699990000));
    EXPECT_EQ(FieldValue(text, "1.2"), "Vexa Daxo Soft - Config Tools");
    EXPECT_EQ(FieldValue(text, "1.3"), "1.2.3.4");
    EXPECT_EQ(FieldValue(text, "1.4"), FormatParameters(GetProgramParameters()));
    EXPECT_EQ(FieldValue(text, "1.5"), GetMailDate(1690000000));
    EXPECT_TRUE(std::regex_match(FieldValue(text, "1.5"), MailDate));
    EXPECT_EQ(FieldValue(text, "2.1"), GetMailDate(1700000000));
    EXPECT_EQ(FieldValue(text, "2.2"), FormatAddress(params.ExceptionAddress));
    EXPECT_EQ(FieldValue(text, "2.2").size(), 16u);
    EXPECT_EQ(FieldValue(text, "2.3"), ExtractFileName(ProgramFileName()));
    EXPECT_EQ(FieldValue(text, "2.4"), "std::runtime_error");
    EXPECT_EQ(FieldValue(text, "2.5"), "Device not found.");
    // No windowing side: a console program, so no active controls.
    EXPECT_EQ(text.find("Active Controls"), std::string::npos);
    EXPECT_EQ(FieldValue(text, "4.1"), GetComputerName());
    EXPECT_EQ(FieldValue(text, "4.2"), GetUserName());
    EXPECT_EQ(FieldValue(text, "4.3"), FormatMegabytes(*GetTotalMemory()));
    EXPECT_TRUE(std::regex_match(FieldValue(text, "4.4"), std::regex(R"(\d+ Mb)")));
    EXPECT_TRUE(std::regex_match(FieldValue(text, "4.5"), std::regex(R"(\d+(\.\d\d?)? Gb)")));
    EXPECT_TRUE(std::regex_match(FieldValue(text, "4.7"),
                                 std::regex(R"((\d+ days?, )?(\d+ hours?, )?\d+ minutes?, \d+ seconds?)")));
    EXPECT_EQ(FieldValue(text, "4.8"), GetProcessorName());
    EXPECT_EQ(FieldLine(text, "4.9"), "  4.9 Display Mode: ");
    EXPECT_EQ(FieldValue(text, "5.1"), GetWindowsVersionName());
    EXPECT_EQ(FieldValue(text, "5.2"), GetSystemBuildNumber());
    EXPECT_NE(FieldLine(text, "6.6"), "");
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");

    EXPECT_EQ(section.ExceptionModule, ExtractFileName(ProgramFileName()));
    EXPECT_EQ(section.ExceptionAddress, FormatAddress(params.ExceptionAddress));
    EXPECT_EQ(section.ExceptionType, "std::runtime_error");
    EXPECT_EQ(section.ExceptionMessage, "Device not found.");
}

TEST(GeneralSection, ExceptionFieldsStayApartWhenHidden) {
    TOstrelModuleOptions options("", false);
    options.SetGeneralFields(TGeneralFields{});
    const std::logic_error error("Bad value.");
    TGeneralSectionParams params;
    params.ExceptionObject = &error;
    params.MainModule = TMainModuleFacts{};
    const TGeneralSection section = BuildGeneralSection(options, params);
    EXPECT_EQ(section.Text, std::string("OstrelLog ") + OstrelLogVersionText + "\r\n\r\n");
    EXPECT_EQ(section.ExceptionType, "std::logic_error");
    EXPECT_EQ(section.ExceptionMessage, "Bad value.");
    EXPECT_EQ(section.ExceptionAddress, ""); // an address of 0 shows nothing
    EXPECT_EQ(section.ExceptionModule, "");
}

TEST(GeneralSection, WithoutModuleRecordNoCompilationDate) {
    TOstrelModuleOptions options("", false);
    TGeneralSectionParams params;
    TMainModuleFacts main;
    main.CompilationTime = 1690000000; // no record: not shown
    params.MainModule = main;
    const std::string text = BuildGeneralSection(options, params).Text;
    EXPECT_EQ(FieldLine(text, "1.5"), "  1.5 Compilation Date: ");
    // Without a description the program's file name stands in.
    EXPECT_EQ(FieldValue(text, "1.2"), ExtractFileName(ProgramFileName()));
    EXPECT_EQ(FieldValue(text, "2.4"), "Unknown exception type.");
    EXPECT_EQ(FieldValue(text, "2.5"), "Unknown error message.");
    EXPECT_TRUE(std::regex_match(FieldValue(text, "1.1"), MailDate));
    EXPECT_TRUE(std::regex_match(FieldValue(text, "2.1"), MailDate));
}

TEST(GeneralSection, ActiveControlsAndDisplayFromTheDesktopSide) {
    TFakeDesktop desktop;
    TDesktopScope scope(&desktop);
    EXPECT_FALSE(IsConsoleProgram());
    EXPECT_EQ(GetDisplayModeText(), "1920 x 1080, 24 bit");
    TOstrelModuleOptions options("", false);
    TGeneralSectionParams params;
    params.ControlClass = "TEdit";
    params.ControlText = "one\r\n\r\ntwo";
    params.MainModule = TMainModuleFacts{};
    const std::string text = BuildGeneralSection(options, params).Text;
    EXPECT_EQ(FieldValue(text, "3.1"), std::string(256, 'C'));
    EXPECT_EQ(FieldValue(text, "3.2"), "Main window" + std::string(256 - 13, 'x'));
    EXPECT_EQ(FieldValue(text, "3.3"), "TEdit");
    EXPECT_EQ(FieldValue(text, "3.4"), "one two");
    EXPECT_EQ(FieldValue(text, "4.9"), "1920 x 1080, 24 bit");
}

TEST(ExceptionInfo, Messages) {
    const std::runtime_error plain("No reply");
    EXPECT_EQ(GetExceptionMessage(&plain), "No reply.");
    const std::runtime_error stopped("Stopped.");
    EXPECT_EQ(GetExceptionMessage(&stopped), "Stopped.");
    const std::runtime_error newline("Line one\n");
    EXPECT_EQ(GetExceptionMessage(&newline), "Line one.");
    const TLateException late;
    EXPECT_EQ(GetExceptionMessage(&late), "second base.");
    const TPlainObject object;
    EXPECT_EQ(GetExceptionMessage(&object), "Unknown error message.");
    EXPECT_EQ(GetExceptionMessage(nullptr), "Unknown error message.");
    int notAnObject[4] = {};
    EXPECT_EQ(GetExceptionMessage(notAnObject), "Unknown error message.");
    EXPECT_EQ(GetExceptionClassName(notAnObject), "Unknown exception type.");
    EXPECT_EQ(GetExceptionClassName(&late), "repsystest::TLateException");
}

TEST(ExceptionInfo, AccessViolationsAreToldFromTheirRecord) {
    const EAccessViolation violation;
    TOstrelAccessFault fault;
    fault.Address = reinterpret_cast<uintptr_t>(&GetExceptionMessage);
    fault.Write = true;
    fault.AccessedAddress = 0x10;
    EXPECT_EQ(GetExceptionMessage(&violation, &fault),
              "Access violation at address " + FormatAddress(fault.Address) + " in module '" +
                  ExtractFileName(ProgramFileName()) + "'. Write of address 0000000000000010.");
    fault.Address = 0x8;
    fault.Write = false;
    EXPECT_EQ(GetExceptionMessage(&violation, &fault),
              "Access violation at address 0000000000000008. Read of address 0000000000000010.");
    EXPECT_EQ(GetExceptionMessage(&violation), "raw fault.");
    const std::runtime_error other("other");
    EXPECT_EQ(GetExceptionMessage(&other, &fault), "other."); // only an access violation is formed again
}

TEST(ExceptionInfo, Addresses) {
    EXPECT_EQ(FormatAddress(0x1234abcd), "000000001234ABCD");
    EXPECT_EQ(GetAddressModuleName(0), "");
    EXPECT_EQ(GetAddressModuleName(reinterpret_cast<uintptr_t>(&FormatAddress)),
              ExtractFileName(ProgramFileName()));
}

TEST(GeneralSection, MainModuleFromTheProgramFileWithoutAModuleList) {
    const TMainModuleFacts facts = GetMainModuleFacts();
    EXPECT_FALSE(facts.HasRecord);
    EXPECT_EQ(facts.FileName, ProgramFileName());
    EXPECT_EQ(facts.Version, GetMainModuleVersion());
    TOstrelModuleOptions options("", false);
    const std::string text = BuildGeneralSection(options, TGeneralSectionParams{}).Text;
    EXPECT_EQ(FieldValue(text, "1.3"), facts.Version);
    EXPECT_EQ(FieldValue(text, "1.2"),
              facts.Description.empty() ? ExtractFileName(ProgramFileName()) : facts.Description);
}
