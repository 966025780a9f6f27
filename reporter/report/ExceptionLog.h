#pragma once
// The exception reporter's start and end. The program never calls the reporter otherwise: it starts it
// before the application object exists and stops it after the last window, and the reporter's units
// start and stop in a fixed order, each through ProtectedSectionCall ("OCore.Init", "OHook.Init",
// "ExceptionLog.Init", and at the end "ExceptionLog.Done", "OHook.Done", "OCore.Done"). A failing section
// never stops the program's start; everything the start installed is put back at the end.
#include "OExports.h"
#include "OFreezeWatch.h"
#include "OOptions.h"
#include "OSections.h"

namespace reporter {

// Runs the unit initialisations (only the first call acts); false when a section failed.
bool StartOstrelLog();
// Runs the unit finalisations (only the call that balances the first start acts).
void StopOstrelLog();

// The current options of the program's module, for a program that changes them while it runs. Raises
// Exception when the reporter is not started.
TOstrelModuleOptionsEx& CurrentOstrelLogOptions();

// The main unit's own start and end (the "ExceptionLog.Init" and "ExceptionLog.Done" sections).
void ExceptionLogInit();
void ExceptionLogDone();

} // namespace reporter
