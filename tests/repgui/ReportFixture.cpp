#include "ReportFixture.h"

#include "OLogText.h"
#include "reporter/gui/OListRows.h"

#include <cstring>

namespace repgui {

using namespace reporter;

const char* const GeneralText = "An error has occurred during program execution.\r\n"
                                "\r\n"
                                "Application:\r\n"
                                "------------------------------\r\n"
                                "  1.1 Start Date   : Tue, 3 Jun 2008 11:05:30 +0200\r\n"
                                "  1.2 Name/Desc {x}: vexadaxo \\ tool\r\n"
                                "\r\n";

std::unique_ptr<TOstrelDebugInfo> Entry(uint32_t thread, bool running, uint8_t kind,
                                        TOstrelModuleInfoPtr module, uintptr_t address, const char* unit,
                                        const char* procedure, int line) {
    auto entry = std::make_unique<TOstrelDebugInfo>();
    entry->ThreadID = thread;
    entry->Running = running;
    entry->Kind = kind;
    entry->Module = std::move(module);
    entry->Address = address;
    entry->UnitName = unit;
    entry->ProcedureName = procedure;
    entry->Line = line;
    entry->LineOffset = line ? 3 : 0;
    return entry;
}

TFixedReport::TFixedReport() {
    Options.SetCallStackFlags(0x1F); // line offsets shown
    Program = std::make_shared<TOstrelModuleInfo>();
    Program->Handle = 0x400000;
    Program->FileName = "/opt/vexadaxo/vexadaxo";
    Program->ModuleKind = mkProgram;
    Program->Version = "1.2.3.4";
    Program->Size = 1536;
    Library = std::make_shared<TOstrelModuleInfo>();
    Library->Handle = 0x7f0000000000;
    Library->FileName = "/usr/lib/libqt.so.6";
    Library->ModuleKind = mkLibrary;
    Library->Description = "Toolkit";
    Library->Version = "6.4";

    Stack.Add(Entry(MainThread, true, dkDebugData, Program, 0x401234, "Main", "TMain::Click", 120));
    Stack.Add(Entry(MainThread, true, dkExportName, Library, 0x7f0000001000, "", "QWidget::event"));
    // A structured export of the program itself is never shown.
    Stack.Add(Entry(MainThread, true, dkExportUnitName, Program, 0x401500, "Units", "Hidden"));
    Stack.Add(Entry(Worker, true, dkDebugData, Program, 0x402000, "Work", "TWorker::Execute", 40));
    // The stack the worker was created from: same thread, calling.
    Stack.Add(Entry(Worker, false, dkDebugData, Program, 0x403000, "Main", "TMain::StartWorker", 77));

    Lookup = [](uint32_t id) {
        TThreadHeaderFacts facts;
        facts.Known = id == MainThread || id == Worker;
        facts.Priority = id == Worker ? "5" : "0";
        facts.ClassName = id == Worker ? "TWorker" : "";
        facts.MainThread = id == MainThread;
        return facts;
    };
    Content.ExceptionMessage = "Access violation at address 0000000000401234.";
    Content.GeneralText = GeneralText;
    TOstrelCPUContext context;
    context.RAX = 0xFF;
    context.RSP = 0x7FFC00000000;
    context.RIP = 0x401000;
    // Stack words and code bytes counting up from 0x41 ("ABC...").
    Content.CPUText =
        BuildCPUText(Options, &context, 0x401000, [](uintptr_t address, void* target, size_t size) {
            for (size_t i = 0; i < size; ++i)
                static_cast<uint8_t*>(target)[i] = uint8_t(0x41 + (address + i) % 26);
            return true;
        });
    Content.CustomDataText = "Operator: night shift";
    Content.ReportsShown = 1;
    Refresh();
}

void TFixedReport::Refresh() {
    Content.Options = DialogOptionsFrom(Options);
    Content.CallStackRows = BuildCallStackRows(Stack, Options, Lookup);
    Content.ModuleRows.clear();
    for (const auto& module : {Program, Library}) {
        TListRowData row;
        row.Texts = {FormatAddress(module->Handle), ExtractFileName(module->FileName),
                     module->Description,           ShortVersion(module->Version),
                     SizeInKb(module->Size),        FileTimeText(module->Modified),
                     GetModuleFolder(*module)};
        row.Image = ModuleImage(module->FileName, module->ModuleKind);
        Content.ModuleRows.push_back(row);
    }
}

} // namespace repgui
