#include "reporter/gui/OListRows.h"

#include "OCallStack.h"
#include "OLogText.h"
#include "OOptions.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace reporter {

std::string ShortVersion(const std::string& version) {
    const size_t first = version.find('.');
    if (first == std::string::npos)
        return version;
    const size_t second = version.find('.', first + 1);
    if (second == std::string::npos)
        return version;
    return version.substr(0, second + 1) + "x";
}

std::string SizeInKb(uint64_t size) {
    return std::to_string((size + 512) / 1024) + " Kb";
}

int ModuleImage(const std::string& fileName, uint8_t moduleKind) {
    const std::string name = ExtractFileName(fileName);
    const size_t dot = name.rfind('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    if (extension == ".BPL" || extension == ".DPL")
        return 1;
    // Programs here carry no extension: the module's kind tells them apart from libraries.
    if (extension == ".EXE" || moduleKind == mkProgram)
        return 2;
    return 0;
}

namespace {

int EntryImage(const TOstrelDebugInfo& entry) {
    if (entry.Kind == dkDebugData)
        return 3;
    switch (entry.Module ? entry.Module->ModuleKind : uint8_t(mkNotExamined)) {
    case mkNotExamined:
    case mkLibrary:
        return 0;
    case mkProgram:
        return 2;
    case mkPackage:
        return 1;
    default:
        return 3;
    }
}

} // namespace

std::vector<TListRowData> BuildCallStackRows(const TOstrelStackList& stack,
                                             const TOstrelModuleOptions& options,
                                             const TThreadFactsLookup& threadFacts) {
    std::vector<TListRowData> rows;
    const TOstrelDebugKinds shown = GetCallStackColumns(options);
    const TOstrelDebugInfo* previous = nullptr;
    for (int i = 0; i < stack.Count(); ++i) {
        const TOstrelDebugInfo& entry = stack.Items(i);
        if (!IsShownEntry(shown, entry))
            continue;
        if (entry.Kind == dkExportUnitName && entry.Module && entry.Module->ModuleKind == mkProgram)
            continue;
        if (previous == nullptr || previous->ThreadID != entry.ThreadID ||
            previous->Running != entry.Running) {
            if (entry.Running && previous != nullptr) {
                TListRowData blank;
                blank.Texts.assign(CallStackColumnCount, std::string());
                rows.push_back(std::move(blank));
            }
            TListRowData header;
            header.Texts.assign(CallStackColumnCount, std::string());
            header.Header = true;
            header.Running = entry.Running;
            const TThreadHeaderFacts facts =
                threadFacts ? threadFacts(entry.ThreadID) : LookupThreadFacts(entry.ThreadID);
            header.Caption = BuildThreadHeader(options, i, entry, false, facts);
            rows.push_back(std::move(header));
        }
        TListRowData row;
        row.Texts = {FormatAddress(entry.Address),
                     entry.Kind == dkNoModule || !entry.Module ? std::string()
                                                               : ExtractFileName(entry.Module->FileName),
                     entry.UnitName,
                     entry.ClassName,
                     entry.ProcedureName,
                     LineText(options, entry)};
        row.Image = EntryImage(entry);
        rows.push_back(std::move(row));
        previous = &entry;
    }
    return rows;
}

std::vector<TListRowData> BuildModuleRows(const TOstrelModulesList& modules) {
    std::vector<TListRowData> rows;
    rows.reserve(size_t(modules.Count()));
    for (int i = 0; i < modules.Count(); ++i) {
        const TOstrelModuleInfoPtr& info = modules.Items(i);
        if (!info)
            continue;
        TListRowData row;
        row.Texts = {FormatAddress(info->Handle), ExtractFileName(info->FileName),
                     info->Description,           ShortVersion(info->Version),
                     SizeInKb(info->Size),        FileTimeText(info->Modified),
                     GetModuleFolder(*info)};
        row.Image = ModuleImage(info->FileName, info->ModuleKind);
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace reporter
