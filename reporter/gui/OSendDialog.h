#pragma once
// The send-progress dialog: a status line and a progress bar while a report goes out. The senders reach
// it only through messages (text, bar position, close), which it takes on the GUI thread.
//
// It runs "in a thread of its own": a TSendDialogThread is started for it and lives exactly as long as
// the dialog. The toolkit makes windows only on the GUI thread, so the thread's body hands the modal
// dialog to the GUI thread through the blocking bridge and waits there until the dialog ends; the GUI
// thread keeps painting while the sending thread blocks on the network, which is what the own thread
// was for. The starter waits for the dialog's ready flag, but no longer than a limit. A GUI thread that
// cannot show it (it stands still until the report ends, or does not take the call up) has the same
// dialog shown by a helper process instead (OSendProgressHelper.h); failing that too, the report is sent
// without a dialog.
#include "OSendProgress.h"
#include "reporter/gui/OSendProgressHelper.h"

#include <QDialog>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class QLabel;
class QProgressBar;

namespace reporter {

inline constexpr int SendDialogCloseMessage = 1024 + 1234; // the private closing message

class TSendDialog final : public QDialog {
    Q_OBJECT
public:
    TSendDialog(const QString& caption, uint8_t dialogFlags, QWidget* parent = nullptr);

    QLabel* StatusLine() const { return m_status; }
    // The status line; one too long for the window widens it (within the screen) instead of being cut.
    void SetStatus(const QString& text);
    QProgressBar* ProgressBar() const { return m_progress; }
    // Called once the dialog shows (the starter's ready flag).
    std::function<void()> OnReady;

protected:
    void showEvent(QShowEvent* event) override;
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}

private:
    QLabel* m_status;
    QProgressBar* m_progress;
    bool m_readyTold = false;
};

class TSendDialogThread {
public:
    // Starts the thread, which shows the dialog through the bridge and ends when the dialog ends.
    TSendDialogThread(std::string caption, uint8_t dialogFlags, std::chrono::milliseconds guiStartWait);
    ~TSendDialogThread(); // waits for the end
    TSendDialogThread(const TSendDialogThread&) = delete;
    TSendDialogThread& operator=(const TSendDialogThread&) = delete;

    // Polls every 50 ms until the dialog is ready, the thread gave up, or the limit is over.
    bool WaitReady(std::chrono::milliseconds limit);
    void SetText(const std::string& text);
    void SetPosition(int percent);
    // Posts the closing message; the thread ends with the dialog.
    void Close();
    bool Open() const;
    void Join();
    // The GUI thread did not take the dialog up (known once the thread has ended).
    bool GuiNotStarted() const { return m_guiNotStarted; }

private:
    void Execute(std::string caption, uint8_t dialogFlags, std::chrono::milliseconds guiStartWait);

    mutable std::mutex m_lock;
    TSendDialog* m_dialog = nullptr; // set and cleared on the GUI thread under the lock
    bool m_closeRequested = false;
    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_ended{false};
    std::atomic<bool> m_guiNotStarted{false};
    std::thread m_thread;
};

// The senders' progress interface on the toolkit.
class TQtOstrelSendProgress final : public IOstrelSendProgress {
public:
    // readyLimit: how long the GUI thread may take to show the dialog; helperLimit: how long a helper
    // process may take to show its window when the GUI thread did not.
    explicit TQtOstrelSendProgress(std::chrono::milliseconds readyLimit = std::chrono::seconds(5),
                                   std::chrono::milliseconds helperLimit = std::chrono::seconds(10));
    ~TQtOstrelSendProgress() override;

    bool Show(const std::string& caption, uint8_t dialogFlags) override;
    void SetText(const std::string& text) override;
    void SetPosition(int percent) override;
    void Close() override;
    bool IsOpen() const;
    // The helper process that shows the dialog when the GUI thread cannot (default: the program's own
    // file; useHelper false: none).
    void SetHelper(bool useHelper, std::string program = std::string()) {
        m_useHelper = useHelper;
        m_helperProgram = std::move(program);
    }

private:
    std::chrono::milliseconds m_readyLimit;
    std::chrono::milliseconds m_helperLimit;
    bool m_useHelper = true;
    std::string m_helperProgram;
    mutable std::mutex m_lock;
    std::unique_ptr<TSendDialogThread> m_thread;
    std::unique_ptr<TSendProgressHelper> m_helper;
};

} // namespace reporter
