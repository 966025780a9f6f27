#pragma once
// Every modal value-editor window of the inspector (font, file and picture dialogs, the string-list,
// date, items and tree-nodes editors) runs through one replaceable executor: the program runs the dialog's
// own event loop, tests fill the dialog in and answer at once.
#include <QDialog>
#include <functional>

// Returns the dialog's result (QDialog::Accepted = mrOk, QDialog::Rejected = mrCancel, or a done() code).
using TModalExecutor = std::function<int(QDialog* dialog)>;

int ExecuteModal(QDialog* dialog);
// Installs an executor and returns the previous one (an empty one restores QDialog::exec).
TModalExecutor SetModalExecutor(TModalExecutor executor);

// The Help buttons of the editors ask the application to show a help context; the program installs the
// handler (none: the request is dropped).
using THelpContextHandler = std::function<void(int context)>;
void ShowHelpContext(int context);
THelpContextHandler SetHelpContextHandler(THelpContextHandler handler);
