#pragma once
// The loaded modules of the process (the program and its shared libraries), as far as the core needs
// them: handles, file names and the module that holds an address. A module handle is the address at
// which the module's first loadable segment is mapped.
#include <cstdint>
#include <functional>
#include <string>

namespace reporter {

using TModuleHandle = uintptr_t;

struct TLoadedModule {
    TModuleHandle Handle = 0;
    uintptr_t LoadBias = 0; // added to the module's own virtual addresses
    std::string FileName;   // as the loader knows it; the program's own file for the main module
    const void* ProgramHeaders = nullptr;
    int ProgramHeaderCount = 0;
};

// Calls the visitor for each loaded module, the program first; the visitor returns false to stop.
void EnumerateModules(const std::function<bool(const TLoadedModule&)>& visitor);
// The module called name (full path or file name); an empty name means the program itself. 0: none.
TModuleHandle GetModuleHandle(const std::string& name);
// The module whose loaded segments contain the address, 0 when none does.
TModuleHandle FindModuleOfAddress(uintptr_t address);
// The module that holds the reporter's own code.
TModuleHandle OwnModuleHandle();
// The module's full path, also for a library opened with a relative one; empty for no module.
std::string GetModuleFileName(TModuleHandle module);
// The program's name: the path it was started from, taken when the reporter loads, so that a file
// replaced or deleted on disk later (an upgrade, a rebuild) does not change it.
std::string ProgramFileName();
// A path that opens or executes the program's own file, also after its name on disk went away.
const char* ProgramFileToOpen();
// The path that opens a module's file: the program's name maps to its own file, other names stay.
std::string ModuleFileToOpen(const std::string& fileName);

} // namespace reporter
