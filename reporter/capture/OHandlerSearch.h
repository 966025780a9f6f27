#pragma once
// Will a handler catch the exception being raised? The reporter's own search phase: it walks the frames
// above the raise with the unwinder, asks each frame's personality routine in search mode, and reads the
// frame's language-specific data to tell a real catch from a noexcept boundary, a dynamic throw() list
// the object breaks, or a catch-all that only terminates the program.
#include <cstdint>
#include <typeinfo>
#include <unwind.h>

namespace reporter {

struct THandlerSearchResult {
    bool Handled = false;
    // The first handler's kind while handled (1: catch-all, 2: typed clause). While not handled: 2 when the
    // first handler is a thread's last-chance handler (the thread's own wrapper reports the exception),
    // else 0.
    int Kind = 0;
    int Count = 0; // handlers that would catch it, up to the first terminating boundary
};

// Where the raise happened: the first frame above the runtime's raise routine that lies outside the
// runtime's module.
struct TRaiseSite {
    uintptr_t Address = 0;      // the return address of the raising call
    uintptr_t StackPointer = 0; // the raising code's stack pointer at the call
    uintptr_t FramePointer = 0;
    uintptr_t Rbx = 0;
};

// Both walks start at the frame whose instruction pointer is raiseReturnAddress (the runtime routine that
// called the unwinder); frames below it (the reporter's own) are skipped.
bool FindRaiseSite(uintptr_t raiseReturnAddress, TRaiseSite& site);
THandlerSearchResult SearchHandlers(_Unwind_Exception* exception, uintptr_t raiseReturnAddress);

// The thrown object and its type, read from the C++ ABI header in front of the unwinder's record
// (a rethrown exception_ptr points to its primary exception); nullptr for a foreign exception.
const void* ThrownObject(const _Unwind_Exception* exception, const std::type_info** type);

// Routines whose catch-all is a thread's last resort (the reporter's start wrapper registers itself).
void RegisterLastChanceHandler(uintptr_t routine);
void UnregisterLastChanceHandler(uintptr_t routine);

// The landing pad only calls the runtime's terminate routine (directly or through one small routine).
bool LandingPadTerminates(uintptr_t landingPad);

} // namespace reporter
