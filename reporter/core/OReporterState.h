#pragma once
// The reporter's process-wide state: whether its hooks act, where it is in the program's life, the main
// thread, and the threads that are never reported. Every flag may be read from any thread and from a
// signal handler.
#include <cstdint>
#include <pthread.h>
#include <sys/types.h>

namespace reporter {

bool HooksEnabled();
void SetHooksEnabled(bool value);
bool ReporterStarted();
void SetReporterStarted(bool value);
// Set at start-up until the program's own start is over; reports of exceptions that only the start-up's
// own guard would catch are made anyway.
bool StillInitialising();
void SetStillInitialising(bool value);
// Set from the start of the shut-down.
bool AlreadyFinalising();
void SetAlreadyFinalising(bool value);
// This module is a library whose main module carries a reporter of its own, which decides.
bool LibraryMode();
void SetLibraryMode(bool value);
// This module installs the platform hooks.
bool OwnHooks();
void SetOwnHooks(bool value);

pid_t MainThreadId();
pthread_t MainThreadHandle();
uintptr_t MainStackTop();
// Records the calling thread as the main thread.
void RecordMainThread();

// The thread a running report is about, when that thread stands still until the report ends (it faulted
// and waits in its signal handler, or it stopped answering): nothing may wait for it meanwhile. 0 when
// there is none.
pid_t StoppedThreadId();
void SetStoppedThreadId(pid_t threadId);
// The thread that runs the toolkit's event loop (the main thread until the toolkit side says otherwise).
pid_t GuiThreadId();
void SetGuiThreadId(pid_t threadId);

// The reporter is started and the current options have it active.
bool IsReporterActive();

// Threads whose exceptions are never reported (none in this program).
void ExcludeThread(pid_t threadId);
void IncludeThread(pid_t threadId);
bool IsThreadReported(pid_t threadId);
void ClearExcludedThreads();

} // namespace reporter
