#pragma once
// Named data blocks per module ("MODULE" + process id + module handle). Every module of this process
// shares one address space, so the blocks live in an in-process registry instead of named mappings:
// what they carry (the options, passwords included) never leaves the process.
#include "OModules.h"

#include <cstdint>
#include <string>

namespace reporter {

struct TSharedBlock {
    uint64_t Handle = 0;     // 0: no block
    uint8_t* Data = nullptr; // the data, behind the 32-bit total size (data size + 4)
};

// Opens the block of the module under the prefix. Size 0 only opens an existing block. An existing
// block keeps its size unless a larger one is asked for; then a fresh block of that size replaces it
// under the name, while those who hold the old one keep it until they close it.
TSharedBlock OpenSharedBlock(TModuleHandle module, const std::string& prefix, uint32_t size);
void CloseSharedBlock(TSharedBlock& block);
// Bytes of data in an open block (its stored total size minus 4).
uint32_t SharedBlockDataSize(const TSharedBlock& block);
std::string SharedBlockName(TModuleHandle module, const std::string& prefix);

} // namespace reporter
