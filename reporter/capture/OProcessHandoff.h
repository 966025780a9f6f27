#pragma once
// Where the interception hands an exception that no handler will catch: one entry point that the
// processing sequence installs. Until it does, a short line about the exception goes to standard error.
//
// The entry point is always called on a normal thread, never inside a signal handler: a signal's
// exception comes through the reporter's relay thread while the faulting thread waits, and a frozen
// main thread has been released (its registers and stack copied) before the call.
#include "OModules.h"

#include <cstdint>
#include <ctime>
#include <sys/types.h>
#include <typeinfo>

namespace reporter {

struct TOstrelContext;
struct TThreadStackCopy;

struct TProcessExceptionParams {
    const void* Object = nullptr;                // the exception object (the thrown object)
    const std::type_info* ObjectClass = nullptr; // its type, nullptr when unknown
    uintptr_t Address = 0;                       // where it was raised
    int RaiseKind = 0;   // 1: a language raise, Address is the return address of the raise call
    int HandlerKind = 0; // 2: the thread's own last-chance handler will catch it (stacks only)
    TModuleHandle Module = 0;
    int DialogType = 0;
    uintptr_t StackTop = 0;                  // 0: the thread's own
    uintptr_t Frame = 0;                     // stack pointer of the raising code, 0: the recorded one
    const TOstrelContext* Context = nullptr; // nullptr: the thread's recorded raise context
    pid_t ThreadId = 0;                      // the thread the report is about
    bool FromWatchdog = false;
    int Signal = 0; // for a signal: its number, code and fault address
    int SignalCode = 0;
    uintptr_t FaultAddress = 0;
    // The thread's registers and stack copied while it stood still (signals and freezes), else nullptr.
    const TThreadStackCopy* StackCopy = nullptr;
    // When it happened: taken where it was caught, since the report may start much later (a stopped GUI
    // thread is waited for); 0: when the report starts.
    time_t FaultTime = 0;
};

// Returns 1 when nothing was done for the exception (the caller goes on as usual), 0 when the reporter
// dealt with it.
using TProcessExceptionProc = uint8_t (*)(const TProcessExceptionParams& params);

// Installs the processing sequence (nullptr: the default) and returns the previous one.
TProcessExceptionProc SetExceptionProcessor(TProcessExceptionProc processor);
uint8_t HandOffException(const TProcessExceptionParams& params);
// The default: one line to standard error ("Unhandled exception ..."); nothing for handler kind 2.
uint8_t WriteExceptionLine(const TProcessExceptionParams& params);

} // namespace reporter
