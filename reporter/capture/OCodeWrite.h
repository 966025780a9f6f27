#pragma once
// Writing into code and protected tables. A protected table's page is made writable for the store and
// gets its previous protection back at once. Code pages keep their execute right throughout: a copy
// takes the new bytes and replaces them whole. No page is ever writable and executable together.
#include <cstddef>
#include <cstdint>

namespace reporter {

// The protection (PROT_* bits) of the page holding the address; false when it is not mapped.
bool QueryProtection(uintptr_t address, int& protection);
// Copies the bytes over the range and flushes the instruction cache; executable pages are replaced in one
// step by copies that hold the bytes. Raises EHookError when a page cannot be unprotected, its protection
// restored, or its copy put in place.
void WriteCode(uintptr_t address, const void* bytes, size_t count);
// A 5-byte jump (E9 rel32) from at to target; the distance must fit 32 bits.
void WriteJump(uintptr_t at, uintptr_t target);
// Memory for code within +-2 GB of near, writable and not executable until SealCode; never freed, as a
// thread may still run through code that was placed there. 0 when no room is left near the address.
uintptr_t AllocateCodeNear(uintptr_t near, size_t size);
// Makes the code allocated by AllocateCodeNear executable and read-only.
void SealCode(uintptr_t address, size_t size);
// The 32-bit displacement from the end of an instruction to the target, when it fits.
bool RelativeDisplacement(uintptr_t instructionEnd, uintptr_t target, int32_t& displacement);

} // namespace reporter
