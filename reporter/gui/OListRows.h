#pragma once
// The rows of the call-stack and modules pages, made from the report's stack and module lists on the
// report's own thread, so that the pages (or a dialog helper process) only show finished texts.
#include "OExceptionInfo.h"
#include "OFiles.h"
#include "OModuleInfo.h"
#include "OStackList.h"
#include "OThreadHeader.h"
#include "reporter/gui/ODialogContent.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace reporter {

class TOstrelModuleOptions;

inline constexpr int CallStackColumnCount = 6;
inline constexpr int ModulesColumnCount = 7;

// "2.4.1.7" gives "2.4.x"; a version with fewer than two points stays whole.
std::string ShortVersion(const std::string& version);
// Kilobytes, rounded, followed by " Kb": 1536 gives "2 Kb".
std::string SizeInKb(uint64_t size);
// 1 package (".BPL", ".DPL"), 2 program (".EXE", or the program's own module), 0 library otherwise.
int ModuleImage(const std::string& fileName, uint8_t moduleKind);

// One group per thread (and per running/calling stack of a thread): a blank row before a running
// thread's group that is not the first, a header row, then one row per shown entry. The threads' facts
// come from the lookup, else from the installed one.
std::vector<TListRowData> BuildCallStackRows(const TOstrelStackList& stack,
                                             const TOstrelModuleOptions& options,
                                             const TThreadFactsLookup& threadFacts = {});
// One row per module, no headers.
std::vector<TListRowData> BuildModuleRows(const TOstrelModulesList& modules);

} // namespace reporter
