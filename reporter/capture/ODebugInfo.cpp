#include "ODebugInfo.h"

#include "OErrors.h"

#include <atomic>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <string_view>
#include <vector>

namespace reporter {

namespace {

std::atomic<TDebugPasswordRequest> gPasswordRequest{nullptr};
const std::string_view AnonymousNamespace = "(anonymous namespace)";

bool IsIdentifierChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Where the keyword "operator" starts as a word, npos when the name has none.
size_t OperatorKeyword(const std::string& text) {
    for (size_t at = text.find("operator"); at != std::string::npos; at = text.find("operator", at + 1)) {
        const size_t end = at + 8;
        if ((at == 0 || !IsIdentifierChar(text[at - 1])) &&
            (end >= text.size() || !IsIdentifierChar(text[end])))
            return at;
    }
    return std::string::npos;
}

int DepthChange(char c) {
    switch (c) {
    case '<':
    case '(':
    case '{':
    case '[':
        return 1;
    case '>':
    case ')':
    case '}':
    case ']':
        return -1;
    default:
        return 0;
    }
}

// The qualified name split at "::" outside brackets; an operator's own symbol is never split.
std::vector<std::string> SplitQualified(const std::string& name) {
    std::vector<std::string> parts;
    const size_t keyword = OperatorKeyword(name);
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (i == keyword)
            break;
        depth += DepthChange(name[i]);
        if (depth == 0 && name.compare(i, 2, "::") == 0) {
            parts.push_back(name.substr(start, i - start));
            start = i + 2;
            ++i;
        }
    }
    parts.push_back(name.substr(start));
    return parts;
}

std::string Demangle(const std::string& name) {
    int status = -1;
    std::unique_ptr<char, decltype(&std::free)> text(
        abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status), &std::free);
    return status == 0 && text ? std::string(text.get()) : std::string();
}

} // namespace

void SetDebugPasswordRequest(TDebugPasswordRequest request) {
    gPasswordRequest = request;
}

std::string StripSignature(const std::string& demangled) {
    std::string text = demangled;
    const size_t clone = text.find(" [clone");
    if (clone != std::string::npos)
        text.resize(clone);
    // The parameter list opens at the first "(" outside brackets, past an operator's own symbol.
    const size_t keyword = OperatorKeyword(text);
    size_t from = 0;
    if (keyword != std::string::npos) {
        from = keyword + 8;
        if (text.compare(from, 2, "()") == 0)
            from += 2;
    }
    int depth = 0;
    size_t open = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, AnonymousNamespace.size(), AnonymousNamespace) == 0) {
            i += AnonymousNamespace.size() - 1;
            continue;
        }
        if (i >= from && depth == 0 && text[i] == '(') {
            open = i;
            break;
        }
        if (i < keyword || keyword == std::string::npos)
            depth += DepthChange(text[i]);
    }
    if (open != std::string::npos)
        text.resize(open);
    // A template routine's name comes after its return type.
    const size_t limit = keyword == std::string::npos ? text.size() : keyword;
    depth = 0;
    size_t space = std::string::npos;
    for (size_t i = 0; i < limit; ++i) {
        depth += DepthChange(text[i]);
        if (depth == 0 && text[i] == ' ')
            space = i;
    }
    if (space != std::string::npos)
        text.erase(0, space + 1);
    return text;
}

void SplitFunctionName(const std::string& name, TOstrelDebugInfo& info) {
    info.UnitName.clear();
    info.ClassName.clear();
    info.ProcedureName.clear();
    const std::string demangled = name.compare(0, 2, "_Z") == 0 ? Demangle(name) : std::string();
    if (demangled.empty()) {
        info.Kind = dkExportName;
        info.ProcedureName = name;
        return;
    }
    const std::vector<std::string> parts = SplitQualified(StripSignature(demangled));
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
            const size_t dot = location->Routine.find('.');
            if (dot == std::string::npos) {
                info.ProcedureName = location->Routine;
            } else {
                info.ClassName = location->Routine.substr(0, dot);
                info.ProcedureName = location->Routine.substr(dot + 1);
            }
            info.Line = location->Line;
            if (location->RoutineFound && location->Line > 0 &&
                uint32_t(location->Line) >= location->FirstLine && location->FirstLine > 0)
                info.LineOffset = int32_t(uint32_t(location->Line) - location->FirstLine);
            return;
        }
    }
    if (const TOstrelFunctionInfo* function = module->Functions.FindByAddress(address))
        SplitFunctionName(function->Name, info);
}

} // namespace reporter
