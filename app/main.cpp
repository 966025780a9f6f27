#include "app/Startup.h"
#include "reporter/ExceptionLog.h"

int main(int argc, char** argv) {
    // The exception reporter's hooks are in place before the application object and any window exist,
    // and come off after the last window has gone.
    reporter::StartOstrelLog();
    const int result = RunProgram(argc, argv);
    reporter::StopOstrelLog();
    return result;
}
