#pragma once
// Runs work on the GUI thread from any thread and waits for its end: the reporter's dialogs are made on
// report and sending threads, but the toolkit's windows live on the GUI thread. The GUI thread gets
// startWait to take the call up; once it has, the caller waits without limit (a modal dialog takes as
// long as its user). A GUI thread that does not start the work in time (frozen, or itself waiting for
// the caller) makes the call fail without the work ever running later.
#include <chrono>
#include <functional>

namespace reporter {

enum class TGuiCallStatus {
    Done,          // the work ran to its end
    NoApplication, // no application object, or it is shutting down
    NotStarted,    // the GUI thread did not take the call up within startWait; the work will never run
    Raised,        // the work ran and raised; the exception does not cross threads
};

// A report that waits here waits for others (the GUI thread, a dialog's user): it does not stand still.
// A call that only shows something beside the report (the send-progress window, up until the sender
// closes it) passes reportWaits false, so that it never hides a report that does.
TGuiCallStatus RunOnGuiThread(std::function<void()> work,
                              std::chrono::milliseconds startWait = std::chrono::seconds(2),
                              bool reportWaits = true);

// The caller is the GUI thread of a running application.
bool IsGuiThread();

} // namespace reporter
