#pragma once
// What the search and writer threads reach on the main thread: the network, the search and progress
// dialogs and the main window's status bar. The main window implements these; tests do too. Every call
// runs on the main thread.
#include <QString>

class TRemoteIONetwork;

class TFindSlaveHost {
public:
    virtual ~TFindSlaveHost() = default;
    virtual TRemoteIONetwork* Network() = 0;
    // The search dialog shows "Find slave " with its bar position, then steps the bar.
    virtual void ShowSearchProgress() = 0;
    // Status bar panel 3.
    virtual void SetStatusText(const QString& text) = 0;
    // Status bar connection panels from the master's settings.
    virtual void RefreshStatusBar() = 0;
    // One line of the traffic log (a register value the search did not store).
    virtual void AddLogLine(const QString& line) = 0;
    // The search dialog returns to its idle state (and closes when the search ran to its end).
    virtual void SearchEnded() = 0;
};

class TSaveConfigHost {
public:
    virtual ~TSaveConfigHost() = default;
    // The send-progress dialog shows text and steps its bar.
    virtual void ShowSaveProgress(const QString& text) = 0;
    // The calibration box is shown: a send then changes nothing in the model or the master.
    virtual bool CalibrationVisible() = 0;
    virtual void SetStatusText(const QString& text) = 0;
    virtual void RefreshStatusBar() = 0;
    // Closes the send-progress dialog, which ends its modal show.
    virtual void CloseSaveProgress() = 0;
};
