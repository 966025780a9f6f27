#include "ODebugInfo.h"

#include "OErrors.h"

#include <atomic>
#include <cstdio>
#include <vector>

namespace reporter {

namespace {

std::atomic<TDebugPasswordRequest> gPasswordRequest{nullptr};

std::string HexOffset(uintptr_t offset) {
    char text[24];
    std::snprintf(text, sizeof text, "+0x%llx", static_cast<unsigned long long>(offset));
    return text;
}

} // namespace

void SetDebugPasswordRequest(TDebugPasswordRequest request) {
    gPasswordRequest = request;
}

void SplitFunctionName(const std::string& name, TOstrelDebugInfo& info) {
    info.UnitName.clear();
    info.ClassName.clear();
    info.ProcedureName.clear();
    const std::string demangled = Demangle(name);
    if (demangled.empty()) {
        info.Kind = dkExportName;
        info.ProcedureName = name;
        return;
    }
    const std::vector<std::string> parts = RoutineParts(demangled);
    switch (parts.size()) {
    case 1:
        info.Kind = dkExportName;
        info.ProcedureName = parts[0];
        break;
    case 2:
        info.Kind = dkExportUnitName;
        info.UnitName = parts[0] + SourceFileExtension;
        info.ProcedureName = parts[1];
        break;
    case 3:
        info.Kind = dkExportUnitName;
        info.UnitName = parts[0] + SourceFileExtension;
        info.ClassName = parts[1];
        info.ProcedureName = parts[2];
        break;
    default:
        info.Kind = dkModule;
        break;
    }
}

void GetDebugInfo(uintptr_t address, uint32_t threadId, bool running, TOstrelDebugInfo& info,
                  TOstrelModulesList* modules) {
    info = TOstrelDebugInfo();
    info.Address = address;
    info.ThreadID = threadId;
    info.Running = running;
    if (modules == nullptr)
        modules = ModulesList();
    if (modules == nullptr)
        return;
    TOstrelModuleInfoPtr module = modules->FindModuleInfoByAddr(address);
    if (!module)
        return;
    info.Module = module;
    info.Kind = dkModule;
    if (module->DebugStream && module->DebugDataValid && address >= module->Handle &&
        address - module->Handle <= UINT32_MAX) {
        const TOstrelModuleInfo& m = *module;
        const auto password = [&m]() -> std::string {
            const TDebugPasswordRequest request = gPasswordRequest;
            return request ? request(m) : std::string();
        };
        std::optional<TDebugLocation> location;
        try {
            location = module->DebugStream->Find(uint32_t(address - module->Handle), password);
        } catch (const Exception&) {
            // The block was checked when it was loaded; a name that still fails leaves the export path.
        }
        if (location) {
            info.Kind = dkDebugData;
            info.UnitName = location->Unit;
            info.ClassName = location->Class;
            info.ProcedureName = location->Procedure;
            info.Line = location->Line;
            if (location->RoutineFound && location->Line > 0 &&
                uint32_t(location->Line) >= location->FirstLine && location->FirstLine > 0)
                info.LineOffset = int32_t(uint32_t(location->Line) - location->FirstLine);
            return;
        }
    }
    // Past the end of the nearest exported routine (its size from the symbol table) lies code that
    // exports nothing, however near: like code below every export it is named by its module and its
    // offset in it only, never after a routine it is not part of.
    const TOstrelFunctionInfo* function = module->Functions.FindByAddress(address);
    if (function != nullptr &&
        (address - function->Address < function->Size || address == function->Address)) {
        SplitFunctionName(function->Name, info);
        return;
    }
    if (address >= module->Handle)
        info.ProcedureName = HexOffset(address - module->Handle);
}

} // namespace reporter
