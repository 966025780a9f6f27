#include "ReportFixture.h"

#include "OGeneralSection.h"
#include "OLogItem.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>

using namespace reporter;

namespace reptest {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), std::streamsize(data.size()));
}

int Run(const std::string& command, std::string& output) {
    const testtools::TCommandResult result = testtools::Run(command);
    output = result.Output;
    return result.ExitCode;
}

void UseUTC() {
    setenv("TZ", "UTC", 1);
    tzset();
}

namespace {

TOstrelModuleInfoPtr Module(TModuleHandle handle, const std::string& file, const std::string& description,
                            const std::string& version, uint64_t size, time_t modified, uint8_t kind) {
    auto info = std::make_shared<TOstrelModuleInfo>();
    info->Handle = handle;
    info->FileName = file;
    info->Description = description;
    info->Version = version;
    info->Size = size;
    info->Modified = modified;
    info->ModuleKind = kind;
    return info;
}

void AddEntry(TOstrelStackList& list, uint8_t kind, const TOstrelModuleInfoPtr& module, uint32_t thread,
              bool running, uintptr_t address, const std::string& unit, const std::string& className,
              const std::string& procedure, int32_t line, int32_t offset) {
    auto entry = std::make_unique<TOstrelDebugInfo>();
    entry->Kind = kind;
    entry->Module = module;
    entry->ThreadID = thread;
    entry->Running = running;
    entry->Address = address;
    entry->UnitName = unit;
    entry->ClassName = className;
    entry->ProcedureName = procedure;
    entry->Line = line;
    entry->LineOffset = offset;
    list.Add(std::move(entry));
}

} // namespace

TFixedReport::TFixedReport() : Options(std::make_unique<TOstrelModuleOptions>("", false)) {
    UseUTC();
    const time_t modified = 1700000000; // 2023-11-14 22:13:20 UTC
    const TOstrelModuleInfoPtr app =
        Module(0x555500000000, "/opt/vexa/app", "Vexa Daxo Soft", "1.2.3.4", 123456, modified, mkProgram);
    const TOstrelModuleInfoPtr lib =
        Module(0x7F0000000000, "/usr/lib/libfoo.so.1", "", "", 9876, modified + 61, mkLibrary);

    AddEntry(Stack, dkDebugData, app, 100, true, FixedExceptionAddress, "main.cpp", "TWorker", "Run", 42, 3);
    AddEntry(Stack, dkModule, lib, 100, true, 0x7F0000001000, "", "", "", 0, 0); // never shown
    AddEntry(Stack, dkExportUnitName, lib, 100, true, 0x7F0000002000, "", "", "bar", 0, 0);
    AddEntry(Stack, dkDebugData, app, 100, false, 0x555500001100, "main.cpp", "", "Start", 7, 0);
    AddEntry(Stack, dkDebugData, app, 200, true, 0x555500001200, "loop.cpp", "TLoop", "Loop", 9, 1);

    Frame.Options = Options.get();
    Frame.StackList = &Stack;
    Frame.Modules = {app, lib};
    TOstrelCPUContext context;
    context.RAX = 0x1111;
    context.RDI = 0x2222;
    context.RSP = FixedStackPointer;
    context.RIP = FixedExceptionAddress;
    context.R15 = 0xFFFFFFFFFFFFFFFF;
    context.EFLAGS = 0x246;
    Frame.Context = context;
    Frame.ExceptionAddress = FixedExceptionAddress;
    // Stack words count up from 1; the code bytes are 0x00..0xFF.
    Frame.ReadMemory = [](uintptr_t address, void* target, size_t size) {
        auto* out = static_cast<uint8_t*>(target);
        if (address == FixedStackPointer && size == DumpLineCount * DumpStackWord) {
            std::memset(out, 0, size);
            for (size_t i = 0; i < DumpLineCount; ++i)
                out[i * 8] = uint8_t(i + 1);
            return true;
        }
        if (address == FixedExceptionAddress && size == DumpLineCount * DumpBytesPerLine) {
            for (size_t i = 0; i < size; ++i)
                out[i] = uint8_t(i);
            return true;
        }
        return false;
    };
    Frame.ThreadFacts = [](uint32_t thread) {
        TThreadHeaderFacts facts;
        if (thread == 100) {
            facts.Known = true;
            facts.Priority = "0";
            facts.ClassName = "TWorker";
            facts.MainThread = true;
        }
        return facts;
    };
    SetGeneral("0000555500001234", "app", "std::runtime_error", "Something broke.");
}

void TFixedReport::SetGeneral(const std::string& address, const std::string& module, const std::string& type,
                              const std::string& message) {
    TGeneralValues values;
    values[gfStartDate] = "Tue, 14 Nov 2023 22:00:00 +0000";
    values[gfNameDescription] = "Vexa Daxo Soft";
    values[gfVersionNumber] = "1.2.3.4";
    values[gfExceptionDate] = "Tue, 14 Nov 2023 22:13:20 +0000";
    values[gfExceptionAddress] = address;
    values[gfExceptionModule] = module;
    values[gfExceptionType] = type;
    values[gfExceptionMessage] = message;
    values[gfComputerName] = "bench";
    TGeneralFields fields{};
    // Start date, name, version; the four exception fields and the date; the computer's name.
    for (const int bit :
         {gfStartDate, gfNameDescription, gfVersionNumber, gfExceptionDate, gfExceptionAddress,
          gfExceptionModule, gfExceptionType, gfExceptionMessage, gfComputerName})
        fields[size_t(bit / 8)] |= uint8_t(1u << (bit % 8));
    Options->SetGeneralFields(fields);
    TGeneralSection general;
    general.Text = std::string("OstrelLog ") + OstrelLogVersionText + "\r\n\r\n" +
                   FormatGeneralFields(*Options, values, true);
    general.ExceptionAddress = address;
    general.ExceptionModule = module;
    general.ExceptionType = type;
    general.ExceptionMessage = message;
    Frame.General = general;
}

} // namespace reptest
