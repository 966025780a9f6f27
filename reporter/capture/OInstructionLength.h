#pragma once
// Length decoding of x86-64 instructions, with what a relocated copy needs to know: where a relative
// branch keeps its displacement and whether a memory operand is relative to the instruction pointer.
#include <cstddef>
#include <cstdint>

namespace reporter {

enum class TBranchKind : uint8_t { None, Short, Near };

struct TInstructionInfo {
    uint8_t Length = 0;
    TBranchKind Branch = TBranchKind::None; // Short: 8-bit displacement; Near: 32-bit
    uint8_t BranchOffset = 0;               // where the branch displacement starts
    bool RipRelative = false;               // a memory operand addressed from the next instruction
    uint8_t RipOffset = 0;                  // where its 32-bit displacement starts
    bool EndsFlow = false;                  // return or unconditional jump: what follows may be data
};

// Decodes the instruction at code, of which available bytes may be read; false for an opcode it does
// not classify or an instruction longer than the bytes available.
bool DecodeInstruction(const uint8_t* code, size_t available, TInstructionInfo& info);
// The same for code in memory, read through the readability test.
bool GetInstructionLength(uintptr_t address, int& length);

} // namespace reporter
