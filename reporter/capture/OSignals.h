#pragma once
// Operating-system exceptions: handlers for the fault and abort signals on an alternate stack per thread,
// chained to the actions that were there before and put back at shut-down. A signal's exception is
// reported by the reporter's relay thread while the faulting thread waits in its handler, so the handler
// itself allocates nothing and takes no lock another thread could hold.
#include <csignal>

namespace reporter {

// The signals the reporter handles: SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT.
inline constexpr int ReportedSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Gives the calling thread an alternate signal stack unless it has one; a stack overflow can then still
// be reported.
void InstallAlternateStack();
// Takes back the stack InstallAlternateStack gave the calling thread (only that one).
void RemoveAlternateStack();

// Installs the handlers (keeping the previous actions) and starts the relay thread; false when the relay
// thread could not be started (nothing is installed then).
bool InstallSignalHandlers();
// Puts the previous actions back (a handler installed since then by someone else stays) and stops the
// relay thread.
void RemoveSignalHandlers();
bool SignalHandlersInstalled();
// The calling thread is the relay that reports signals (it may run a signal's report itself: the
// faulting thread waits meanwhile).
bool OnSignalRelay();

} // namespace reporter
