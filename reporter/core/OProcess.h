#pragma once
// Threads and the process itself: liveness, stack top, debugger detection, and the restart or
// termination that ends a fatal report.
#include <cstdint>
#include <spawn.h>
#include <string>
#include <sys/types.h>

namespace reporter {

// The descriptor is open.
bool IsValidHandle(int descriptor);
// The thread (kernel thread id) of this process still runs. Safe in a signal handler.
bool IsThreadAlive(pid_t threadId);
// The highest address of the calling thread's stack, 0 when unknown.
uintptr_t GetStackTop();
// A tracer is attached to the process. Safe in a signal handler.
bool IsDebuggerPresentEx();

// The folder the program started in; a restart runs there. Recorded at the reporter's start.
void RecordStartFolder();
std::string StartFolder();

// With restart, starts the program again with its arguments, environment and start folder, in a new
// process group and without any of this process's descriptors beyond the standard three; then, in every
// case, ends this process with exit code 1.
[[noreturn]] void RestartOrTerminate(bool restart);
// The restart without the termination: true when the new process was started.
bool RestartProgram();
// Makes a program started with these attributes begin as one started afresh: every signal at its
// default action (none ignored, none handled) and none blocked, whatever the starting thread had.
// False when the attributes cannot take it.
bool SetFreshSignalState(posix_spawnattr_t& attributes, short flags = 0);

} // namespace reporter
