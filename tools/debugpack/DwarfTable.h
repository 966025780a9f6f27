#pragma once
// Reads what the reporter's debug information needs from an ELF file: the line tables and routines of
// its DWARF data (through libdw) and, for code without DWARF data, its function symbols. Code offsets are
// counted from the page of the file's lowest loadable segment, as the reporter counts them at run time.
#include "ODebugData.h"

#include <string>

namespace debugpack {

struct TDwarfStats {
    size_t CompileUnits = 0;
    size_t Routines = 0;
    size_t SymbolRoutines = 0; // routines known from the symbol table alone
};

// Raises std::runtime_error when the file cannot be read as an ELF file.
reporter::TDebugTable ReadDebugTable(const std::string& fileName, TDwarfStats* stats = nullptr);

} // namespace debugpack
