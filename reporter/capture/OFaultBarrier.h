#pragma once
// Code of the program that a report runs (its event handlers) may itself fault. Such a fault ends the
// call as an exception from it would: the report goes on without that call's work.
#include <csignal>
#include <functional>

namespace reporter {

// Runs the call on this thread; false when it raised an exception or faulted (SIGSEGV, SIGBUS, SIGFPE,
// SIGILL raised by its own code).
bool RunFaultContained(const std::function<void()>& call);
// From the fault handler: when the fault is the calling thread's own and a contained call runs, leaves
// for its end and does not return.
void LeaveContainedCall(int signal, const siginfo_t* info);

} // namespace reporter
