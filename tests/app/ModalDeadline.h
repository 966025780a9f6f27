#pragma once
// Modal dialogs in window tests: a dialog that no step of the test ends (a refused input keeps it open)
// is closed at the deadline, so that the test fails with a message instead of waiting for the test
// runner's timeout.
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>

// Runs open(), which returns once its modal dialog has ended; false when the deadline had to end it.
[[nodiscard]] inline bool EndsBeforeDeadline(const std::function<void()>& open, int deadlineMs = 30000) {
    bool late = false;
    QTimer deadline;
    QObject::connect(&deadline, &QTimer::timeout, [&late] {
        late = true;
        // One dialog per tick: a message box over the dialog goes first.
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->done(QDialog::Rejected);
        else if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    deadline.start(deadlineMs);
    open();
    return !late;
}
