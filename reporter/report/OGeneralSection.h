#pragma once
// The first section of every report, "General": the program, the exception, the active window, the
// computer, the operating system and the network, one numbered field per line, each shown when its bit
// of the options' GeneralFields is set. Labels are the options' report texts.
#include "OExceptionInfo.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace reporter {

class TOstrelModuleOptions;

// The reporter's version, written after "OstrelLog" at the head of every report.
extern const char* const OstrelLogVersionText;

// The fields in report order; the value of each is its bit in GeneralFields.
enum TGeneralField {
    gfStartDate,
    gfNameDescription,
    gfVersionNumber,
    gfParameters,
    gfCompilationDate,
    gfExceptionDate,
    gfExceptionAddress,
    gfExceptionModule,
    gfExceptionType,
    gfExceptionMessage,
    gfFormClass,
    gfFormText,
    gfControlClass,
    gfControlText,
    gfComputerName,
    gfUser,
    gfTotalMemory,
    gfFreeMemory,
    gfTotalDisk,
    gfFreeDisk,
    gfSystemUpTime,
    gfProcessor,
    gfDisplayMode,
    gfSystemType,
    gfBuildNumber,
    gfUpdate,
    gfLanguage,
    gfIPAddress,
    gfSubmask,
    gfGateway,
    gfDNS1,
    gfDNS2,
    gfDHCP,
    GeneralFieldCount
};

using TGeneralValues = std::array<std::string, GeneralFieldCount>;

// The program's own module as its module record describes it.
struct TMainModuleFacts {
    bool HasRecord = false;
    std::string FileName;       // full path; the program file when empty
    std::string Description;    // "FileDescription" of the version note
    std::string Version;        // four numbers joined by "."; empty when none
    time_t CompilationTime = 0; // from the module's debug data; 0 when none
};

// What the processing hands in.
struct TGeneralSectionParams {
    const void* ExceptionObject = nullptr;
    uintptr_t ExceptionAddress = 0;
    time_t ExceptionTime = 0; // 0: now
    std::string ControlClass; // the focused control
    std::string ControlText;
    time_t StartTime = 0; // recorded at start-up; 0: the process's start time as the system tells it
    const TOstrelAccessFault* AccessFault = nullptr;
    // The program's module record; looked up in the module list (or read from the program file) when
    // not given.
    std::optional<TMainModuleFacts> MainModule;
};

struct TGeneralSection {
    std::string Text; // the banner and the formatted fields
    // The exception's fields, kept apart for the dialog and the mails.
    std::string ExceptionModule;
    std::string ExceptionAddress;
    std::string ExceptionType;
    std::string ExceptionMessage;
};

// The value of every field whose bit is set (the others stay empty), and always the four exception
// fields.
TGeneralValues CollectGeneralValues(const TOstrelModuleOptions& options, const TGeneralSectionParams& params);
// The numbered, aligned fields ("group.field" counting hidden ones) under their group headers; the active
// controls group only when showActiveControls. No banner.
std::string FormatGeneralFields(const TOstrelModuleOptions& options, const TGeneralValues& values,
                                bool showActiveControls);
// "OstrelLog <version>" CR LF CR LF and the formatted fields.
TGeneralSection BuildGeneralSection(const TOstrelModuleOptions& options, const TGeneralSectionParams& params);
// The program's module as the module list knows it; without a list or record, the program file's version
// note (HasRecord stays false).
TMainModuleFacts GetMainModuleFacts();
// The program file's version, four numbers joined by "."; empty when it has none.
std::string GetMainModuleVersion();
// The report text index of the field's label and of its group's header.
int GeneralFieldTextIndex(TGeneralField field);
int GeneralGroupTextIndex(TGeneralField field);

} // namespace reporter
