#pragma once
// Naming a code address for a call-stack entry: unit, class, routine and line from the module's packed
// debug information, or, for modules without it, the nearest exported routine with its mangled name
// taken apart.
#include "ORoutineName.h"
#include "OStackList.h"

#include <cstdint>
#include <string>

namespace reporter {

// The extension that unit names taken from exported names carry.
inline constexpr char SourceFileExtension[] = ".cpp";

// Fills the entry (cleared first) for the address, looking modules up in the list (the process's list
// when none is given; without any list only the address is kept).
void GetDebugInfo(uintptr_t address, uint32_t threadId, bool running, TOstrelDebugInfo& info,
                  TOstrelModulesList* modules = nullptr);
// Sets kind, unit, class and procedure from an exported name: a plain name gives kind 2 with the
// procedure alone; a mangled C++ name is demangled, its parameters dropped and its qualified name split
// at "::": two parts give unit (with the extension) and procedure, three give unit, class and
// procedure (kind 3); four or more name nothing (kind 1). A lambda counts as part of the routine that
// holds it.
void SplitFunctionName(const std::string& name, TOstrelDebugInfo& info);

// Asked for the password of a module whose debug names are protected; empty when none is known.
using TDebugPasswordRequest = std::string (*)(const TOstrelModuleInfo& module);
void SetDebugPasswordRequest(TDebugPasswordRequest request);

} // namespace reporter
