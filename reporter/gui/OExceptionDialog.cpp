#include "reporter/gui/OExceptionDialog.h"

#include "ODesktop.h"
#include "OLastError.h"
#include "OWebApplication.h"
#include "OWindows.h"
#include "reporter/gui/ODialogHelper.h"
#include "reporter/gui/ODialogLayout.h"
#include "reporter/gui/OGuiBridge.h"
#include "reporter/gui/OPlainCaption.h"
#include "reporter/gui/OReportDialog.h"
#include "reporter/gui/ORequestDialog.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <optional>

namespace reporter {

namespace {

// One run of the dialog: on the GUI thread, else in a helper process; none when neither could show it.
std::optional<bool> RunReportDialog(const TReportDialogContent& content, TReportDialogState& state,
                                    const TShowDialogOptions& options) {
    const QString layoutFile =
        options.LayoutFile.empty() ? DialogLayoutFileName() : QString::fromStdString(options.LayoutFile);
    bool painted = false;
    TReportDialogState working = state;
    const TGuiCallStatus status = RunOnGuiThread(
        [&] {
            const QPointer<QWidget> foreground = QApplication::activeWindow();
            QApplication::beep();
            {
                const TPlainCaptionScope caption;
                TReportDialog dialog(content, working, layoutFile);
                dialog.exec();
                painted = dialog.Painted();
            }
            if (foreground)
                foreground->activateWindow();
        },
        options.GuiStartWait);
    if (status == TGuiCallStatus::Done) {
        state = working;
        return painted;
    }
    if (status == TGuiCallStatus::Raised || !options.UseHelperProcess)
        return std::nullopt;
    THelperRequest request;
    request.Content = content;
    request.State = state;
    request.LayoutFile = layoutFile.toStdString();
    const std::optional<THelperAnswer> answer = ShowDialogInHelper(request, options.HelperProgram);
    if (!answer)
        return std::nullopt;
    state = answer->State;
    return answer->Painted;
}

} // namespace

bool ShowExceptionDialog(const TReportDialogContent& content, TReportDialogState& state,
                         const TShowDialogOptions& options) {
    bool painted = false;
    for (;;) {
        painted = RunReportDialog(content, state, options).value_or(false);
        if (!painted)
            ShowErrorBox(content.ExceptionMessage, content.Options.GetText(2));
        if (!state.TerminateRequested || !options.TerminateNotify)
            break;
        ClearLastErrorCode();
        options.TerminateNotify(state.TerminateRequested);
        if (state.TerminateRequested)
            break;
    }
    if (!painted)
        SetLastErrorCode(TOstrelLogErrorCode::eeShowError, "Cannot show the DialogBox window.");
    return painted;
}

std::string ShowReproduceDialog(const TDialogOptions& options, const TReportDialogState& state,
                                bool duplicate, TReportTextParts& parts,
                                std::chrono::milliseconds guiStartWait) {
    TShowDialogOptions showOptions;
    showOptions.GuiStartWait = guiStartWait;
    return ShowReproduceDialog(options, state, duplicate, parts, showOptions);
}

std::string ShowReproduceDialog(const TDialogOptions& options, const TReportDialogState& state,
                                bool duplicate, TReportTextParts& parts,
                                const TShowDialogOptions& showOptions) {
    if ((options.LogFlags & 0x02) == 0 || IsConsoleProgram() || IsWebApplication() || duplicate ||
        !(state.SendChecked || options.LogToFile))
        return std::string();
    std::string answer;
    const TGuiCallStatus status = RunOnGuiThread(
        [&] {
            const TPlainCaptionScope caption;
            TRequestDialog dialog(options);
            dialog.exec();
            answer = dialog.ReproduceText();
        },
        showOptions.GuiStartWait);
    if (status == TGuiCallStatus::NotStarted && showOptions.UseHelperProcess) {
        THelperRequest request;
        request.Dialog = THelperDialog::Reproduce;
        request.Content.Options = options;
        request.State = state;
        if (const std::optional<THelperAnswer> helped =
                ShowDialogInHelper(request, showOptions.HelperProgram))
            answer = helped->ReproduceText;
    }
    InsertLogSection(parts, 7, options.GetText(81), answer);
    return answer;
}

void BringAppToFront() {
    RunOnGuiThread(
        [] {
            QWidget* main = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->isWindow() && !w->isHidden() && w->windowType() != Qt::Popup &&
                    w->windowType() != Qt::ToolTip) {
                    main = w;
                    break;
                }
            }
            if (main == nullptr)
                return;
            if (main->isMinimized()) {
                main->showNormal();
                main->raise();
                main->activateWindow();
                return;
            }
            QWidget* popup = QApplication::activeModalWidget();
            QWidget* target = popup ? popup : main;
            if (!target->isActiveWindow()) {
                target->raise();
                target->activateWindow();
            }
        },
        std::chrono::milliseconds(500));
}

} // namespace reporter
