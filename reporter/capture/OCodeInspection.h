#pragma once
// Small tests on machine code that the stack walk and the handler walk use. Each reads only through the
// readability test and answers false (or 0) for memory it cannot read.
#include <cstddef>
#include <cstdint>

namespace reporter {

// The routine at the address begins with a frame set-up: push rbp; mov rbp, rsp (after an optional
// endbr64).
bool IsStackFrameStart(uintptr_t address);
// The routine at the address begins by saving rbx (push rbx, after an optional endbr64).
bool IsRegisterSave(uintptr_t address);
// Bytes before the routine's return instruction (ret, ret n, retf, retf n): for a routine that sets up a
// frame, the first return directly behind pop rbp or leave, else the first return; 1 when none lies
// before the end (exclusive).
uint32_t RoutineLength(uintptr_t start, uintptr_t end);

// The three routines that call-target tests compare with, worked out once at the reporter's start.
void SetCallTargetRoutines(uintptr_t first, uintptr_t second, uintptr_t third);
// For a 5-byte relative call at the address: 1, 2 or 3 when it calls one of those routines, else 0.
int CallTargetClass(uintptr_t address);

} // namespace reporter
