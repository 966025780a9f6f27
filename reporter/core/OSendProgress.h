#pragma once
// The send-progress dialog as the senders see it. The dialog runs in a thread of its own so that it keeps
// painting while a sender blocks on the network; the senders only post it a status line, a bar position
// and the request to close, through the implementation that the reporter's GUI part installs.
#include <cstdint>
#include <string>

namespace reporter {

class TOstrelModuleOptions;

class IOstrelSendProgress {
public:
    virtual ~IOstrelSendProgress() = default;
    // Shows the dialog with the caption (in the caption style of the options' DialogFlags) and returns once
    // it takes messages; false when it cannot be shown.
    virtual bool Show(const std::string& caption, uint8_t dialogFlags) = 0;
    virtual void SetText(const std::string& text) = 0;
    virtual void SetPosition(int percent) = 0;
    virtual void Close() = 0;
};

// Installs the implementation (nullptr: none); the caller keeps it alive while installed.
void SetOstrelSendProgress(IOstrelSendProgress* progress);

// Clears the progress state; shows the dialog when SendFlags bit 0x0001 is set, a mail or upload mode is
// chosen and a dialog can be shown. The options' texts serve every later step line.
void StartSendDialog(const TOstrelModuleOptions& options);
// The message being sent and the number of messages (the recipients of an e-mail).
void SetSendMessageNumber(int current, int count);
// Status line: text 76, " %d/%d: " with the message number and count, then the step text (77 to 80).
void SendDialogStep(int textIndex);
void SendDialogPosition(int percent);
void CloseSendDialog();
bool SendDialogShown();

} // namespace reporter
