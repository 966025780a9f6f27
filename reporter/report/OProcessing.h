#pragma once
// The processing sequence: an exception that no handler will catch becomes one report. Reports run one
// at a time for the whole process, each on a thread of the reporter's own while the raising thread
// waits (the main thread pumping its messages and running the requests other threads hand it); the
// steps apply the options and call the collectors, the dialog, the log and the senders in a fixed order,
// then end or restart the program when that was asked for.
#include "OProcessHandoff.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace reporter {

class TOstrelModuleOptions;

// The processor installed at the reporter's start (SetExceptionProcessor). Returns 1 when nothing was
// done for the exception, 0 when the reporter dealt with it.
uint8_t ProcessException(const TProcessExceptionParams& params);
// The start of the message of an exception that a safe-call handler reported: it is not reported again.
inline constexpr const char* SafeCallPrefix = "[SafeCall Exception]: ";

// Installs ProcessException as the processor, the send host and the duplicate test; Remove puts the
// defaults back and drops the kept log file.
void InstallExceptionProcessing();
void RemoveExceptionProcessing();

// Runs the main thread's pending messages while it waits for a report; installed by the program's
// toolkit side (nothing to pump without one).
using TMessagePump = std::function<void()>;
void SetMessagePump(TMessagePump pump);

// 0 automatic: 2 a web application, 1 a console program, else 0; 1 stays 1 only in a console program;
// 2 stays 2; anything else gives 0.
int GetDialogType(int requested);
// Asks for the end (action 1: a restart first) of the program after the report that runs.
void RequestTermination(uint8_t action);
bool TerminationRequested(uint8_t& action);

// The decisions of a report: whether it may be shown or sent, and whether it is worth bringing the
// program to the front for.
struct TReportDecision {
    bool SendState = false; // sending is wanted (the options, or the dialog's check box)
    bool Duplicate = false;
    int DialogType = 0;
};
bool CanShowOrSend(const TOstrelModuleOptions& options, const TReportDecision& decision);
bool ShouldSave(const TOstrelModuleOptions& options, const TReportDecision& decision);

// Control characters other than CR and LF become blanks.
std::string CleanExceptionMessage(std::string message);

// Reports shown in this run, and the times of the latest ones for the error-rate check.
int ReportsShownCount();
std::vector<time_t> ReportTimesList();
// The number of the step the running report is at (0 when none runs).
int CurrentReportStep();

} // namespace reporter
