#pragma once
// The program's exported entry points: other modules of the process that carry a copy of the reporter
// reach the one that owns the process through them (events, raises, thread events, whole exceptions).
// They are plain C symbols with default visibility; the program's link exports them (see CMakeLists).
#include "OEvents.h"
#include "OModules.h"
#include "OThreadState.h"
#include "OThreadsList.h"

#include <csignal>
#include <cstdint>
#include <exception>
#include <typeinfo>

#define OSTREL_EXPORT extern "C" __attribute__((visibility("default"), used))

OSTREL_EXPORT void OstrelLog_PasswordRequestEvent(char* buffer, int size);
OSTREL_EXPORT void OstrelLog_PasswordRequestEventEx(const reporter::TOstrelExceptionRecord* record,
                                                    char* buffer, int size);
OSTREL_EXPORT void OstrelLog_ExceptionNotifyEvent(const reporter::TOstrelExceptionRecord* record,
                                                  uint8_t* continueFlag);
OSTREL_EXPORT void OstrelLog_ExceptionActionNotifyEvent(const reporter::TOstrelExceptionRecord* record,
                                                        int action, uint8_t* executeFlag);
OSTREL_EXPORT void OstrelLog_ExceptionErrorNotifyEvent(const reporter::TOstrelExceptionRecord* record,
                                                       int errorCode, uint8_t* retryFlag);
// The text returned points into this module's copy, valid until the next call.
OSTREL_EXPORT void OstrelLog_CustomDataRequestEvent(const reporter::TOstrelExceptionRecord* record,
                                                    const char** text);
OSTREL_EXPORT void OstrelLog_AttachedFilesRequestEvent(const reporter::TOstrelExceptionRecord* record,
                                                       reporter::TStrings* files);
OSTREL_EXPORT void OstrelLog_CustomFieldsRequestEvent(const reporter::TOstrelExceptionRecord* record,
                                                      reporter::TStrings* names, reporter::TStrings* values);
// A library's raise: recorded as the calling thread's current exception, without notification.
OSTREL_EXPORT void OstrelLog_CallGeneralRaise(const void* object, const std::type_info* type,
                                              uintptr_t address, int raiseKind,
                                              const reporter::TOstrelContext* context);
// A library's signal: its context is kept as the calling thread's raise context.
OSTREL_EXPORT void OstrelLog_CallExceptObject(int signal, const siginfo_t* info,
                                              const reporter::TOstrelContext* context);
OSTREL_EXPORT void OstrelLog_CallCreateThread(const reporter::TOstrelThreadRecord* record);
OSTREL_EXPORT void OstrelLog_CallResumeThread(pthread_t handle, const reporter::TOstrelThreadRecord* record);
OSTREL_EXPORT void OstrelLog_CallExitThread();
// Processes one exception; 0 when the reporter dealt with it (the caller's own handling is skipped).
// Dialog types: 1 the application's exception handling, 2 the application's exception event, 0 threads.
OSTREL_EXPORT uint8_t ExceptionManager(void* object, uintptr_t address, int dialogType, uintptr_t module);

namespace reporter {

// The routine the module exports under the name (nullptr when it exports none, or the name leads
// elsewhere).
void* ModuleExport(TModuleHandle module, const char* name);
// The program's export, when the program is not this module.
void* MainModuleExport(const char* name);

// A library's forwarding of its thread events to the main module.
void ForwardCreateThread(const TOstrelThreadRecord& record);
void ForwardExitThread();

// ExceptionManager for an exception held in an exception_ptr (the application's exception boundary).
uint8_t ExceptionManagerFor(const std::exception_ptr& error, int dialogType);

} // namespace reporter
