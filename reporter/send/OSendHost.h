#pragma once
// What the send driver needs from the report being processed and from the program: the report's files and
// texts, the program's events around sending, the XML form of a report, the result message box and the
// termination requests. The report sequence installs an implementation; without one, every event is left
// unanswered and nothing is converted or shown.
#include "OReportFolder.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace reporter {

// The report a send is about.
struct TSendReportData {
    std::string ReportText;
    std::string LogFileName;    // the report log file; its name (and folder) names the report's files
    time_t ReportTime = 0;      // the report's date and time, for time-stamped attachment names
    std::string ScreenshotFile; // the saved screenshot, empty when none was taken
    // The report's private folder for its temporary files; the sender makes one when none is given.
    TReportFolderPtr Folder;
    bool HTMLPageCaptured = false;
    std::string HTMLPage; // the page a web program wrote last
};

// Action numbers of the action event around each channel, and the channel numbers of the error event.
enum TSendAction : int {
    saBeforeEmail = 4,
    saAfterEmail = 5,
    saBeforeUpload = 6,
    saAfterUpload = 7,
};

// Message box styles of the result box: information or error, task-modal, topmost, service notification.
inline constexpr uint32_t SendSuccessBoxStyle = 0x242040;
inline constexpr uint32_t SendFailureBoxStyle = 0x242010;

class IOstrelSendHost {
public:
    virtual ~IOstrelSendHost() = default;
    // The events run on the program's main thread; the implementation takes them there.
    // The program may add files to the list or remove them.
    virtual void AttachedFilesRequest(std::vector<std::string>& /*files*/) {}
    // Before and after each channel; clearing result before a channel cancels it.
    virtual void ActionNotify(int /*action*/, bool& /*result*/) {}
    // A channel failed (5 e-mail, 7 upload); setting retry sends again.
    virtual void ErrorNotify(int /*channel*/, bool& /*retry*/) {}
    // Form fields added to an HTTP upload.
    virtual void CustomWebFieldsRequest(std::vector<std::string>& /*names*/,
                                        std::vector<std::string>& /*values*/) {}
    // The XML log of a report text; empty when the text holds no report. May raise.
    virtual std::string ReportToXML(const std::string& /*reportText*/) { return std::string(); }
    virtual void ShowMessageBox(const std::string& /*text*/, const std::string& /*caption*/,
                                uint32_t /*style*/) {}
    virtual bool IsCGIProgram() { return false; }
    // The times of the latest reports, oldest first, for the error-rate check.
    virtual std::vector<time_t> ReportTimes() { return {}; }
    virtual void RequestTermination(uint8_t /*action*/) {}
    // A termination is pending; action 1 asks for a restart first.
    virtual bool TerminationPending(uint8_t& /*action*/) { return false; }
    // Frees the report's snapshot of the thread list.
    virtual void FreeThreadSnapshot() {}
};

// Installs the implementation (nullptr: none); the caller keeps it alive while installed.
void SetOstrelSendHost(IOstrelSendHost* host);
// The installed implementation, or one that does nothing.
IOstrelSendHost& SendHost();

} // namespace reporter
