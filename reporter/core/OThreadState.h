#pragma once
// What the reporter keeps per thread: the registers and stack pointer of the last raise, the exception
// that raise threw, and the guard bytes that keep a thread from re-entering the reporter. The record is
// plain data in thread-local storage, so signal handlers may read and write it.
#include <cstdint>
#include <sys/types.h>
#include <typeinfo>

namespace reporter {

// The x86-64 integer and control registers of a thread at one moment.
struct TOstrelContext {
    static constexpr uint32_t FullContext = 0x10007; // integer, control and segment registers
    uint32_t ContextFlags = 0;
    uintptr_t Rip = 0, Rsp = 0, Rbp = 0, EFlags = 0;
    uintptr_t Rax = 0, Rbx = 0, Rcx = 0, Rdx = 0, Rsi = 0, Rdi = 0;
    uintptr_t R8 = 0, R9 = 0, R10 = 0, R11 = 0, R12 = 0, R13 = 0, R14 = 0, R15 = 0;
};

// The registers of a signal's user context.
void ContextFromSignal(const void* userContext, TOstrelContext& context);

struct TOstrelThreadState {
    uintptr_t RaiseStackPointer; // stack pointer of the code that raised, 0 when unknown
    uintptr_t RaiseFrame;        // frame pointer of that code
    TOstrelContext Context;      // registers of the raise
    uintptr_t StackTop;          // highest address of the thread's stack, 0 until known
    // The exception of the last raise on this thread (the current exception context).
    const void* ExceptionObject;
    const std::type_info* ExceptionClass;
    uintptr_t ExceptionAddress;
    int RaiseKind; // 1: a language raise (the address is the return address of the raise call)
    int Signal;    // the signal of the last raise, 0 for a thrown exception
    // Guard bytes, changed atomically (GuardEnter/GuardLeave).
    uint8_t Processing; // a report about this thread runs
    uint8_t Frozen;     // this thread parks others for a report: their releases are no thread starts
    uint8_t Notifying;  // re-entry guard of the raise notification
    uint8_t Reported;   // an exception of this thread was reported as unhandled; its abort is not
    void* AltStack;     // the alternate signal stack this thread was given, nullptr when none
    // Where a fault of this thread's innermost contained call leaves to (a sigjmp_buf), nullptr outside
    // one (RunFaultContained).
    void* FaultBarrier;
};

// The calling thread's record (zeroed when the thread starts).
TOstrelThreadState& CurrentThreadState();
// The kernel's id of the calling thread. Safe in a signal handler.
pid_t CurrentThreadId();
// The calling thread's stack top, worked out once per thread (not in a signal handler: the first call
// may allocate).
uintptr_t CurrentStackTop();

// Sets the byte from 0 to 1; false when it was set already.
bool GuardEnter(uint8_t& guard);
void GuardLeave(uint8_t& guard);

} // namespace reporter
