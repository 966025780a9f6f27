#include "ExceptionLog.h"
#include "app/Startup.h"
#include "reporter/gui/ODialogHelper.h"

int main(int argc, char** argv) {
    // Started again by the reporter to show a report dialog for a frozen GUI thread: only that.
    if (const int helper = reporter::RunOstrelDialogHelper(argc, argv); helper >= 0)
        return helper;
    // The exception reporter's hooks are in place before the application object and any window exist,
    // and come off after the last window has gone.
    reporter::StartOstrelLog();
    const int result = RunProgram(argc, argv);
    reporter::StopOstrelLog();
    return result;
}
