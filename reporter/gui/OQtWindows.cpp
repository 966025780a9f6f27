#include "reporter/gui/OQtWindows.h"

#include "reporter/gui/OClipboardKeeper.h"
#include "reporter/gui/OGuiBridge.h"
#include "reporter/gui/OSendDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextEdit>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace reporter {

namespace {

TWindowHandle HandleOf(const QWidget* widget) {
    return reinterpret_cast<TWindowHandle>(widget);
}

// A window the user works in: shown, and not a dialog, tool window, popup or tool tip.
bool IsMainWindowCandidate(const QWidget* w) {
    if (!w->isWindow() || w->isHidden())
        return false;
    const Qt::WindowType type = w->windowType();
    return type == Qt::Window;
}

} // namespace

TQtOstrelWindows::TQtOstrelWindows(const TQtOstrelSendProgress* progress, std::chrono::milliseconds guiWait)
    : m_progress(progress), m_guiWait(guiWait) {}

TWindowHandle TQtOstrelWindows::GetProcessMainWindow(int64_t processId) {
    if (processId != int64_t(::getpid()))
        return 0;
    TWindowHandle found = 0;
    RunOnGuiThread(
        [&found] {
            for (const QWidget* w : QApplication::topLevelWidgets())
                if (IsMainWindowCandidate(w)) {
                    found = HandleOf(w);
                    return;
                }
        },
        m_guiWait);
    return found;
}

bool TQtOstrelWindows::IsOwnProcessWindow(TWindowHandle window) {
    bool own = false;
    RunOnGuiThread(
        [&] {
            for (const QWidget* w : QApplication::topLevelWidgets())
                if (HandleOf(w) == window)
                    own = true;
        },
        m_guiWait);
    return own;
}

std::vector<TWindowHandle> TQtOstrelWindows::ProcessWindows() {
    std::vector<TWindowHandle> windows;
    RunOnGuiThread(
        [&windows] {
            for (const QWidget* w : QApplication::topLevelWidgets())
                windows.push_back(HandleOf(w));
        },
        m_guiWait);
    return windows;
}

bool TQtOstrelWindows::CopyTextToClipboard(const std::string& text) {
    // Where the clipboard belongs to a process, the program's own copy would go with the program (a
    // fatal report ends it at once) and needs the GUI thread: a keeper process holds it instead.
    const QString platform = QGuiApplication::platformName();
    if ((platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"))) &&
        KeepTextOnClipboard(text) > 0)
        return true;
    bool copied = false;
    RunOnGuiThread(
        [&] {
            if (QClipboard* clipboard = QGuiApplication::clipboard()) {
                clipboard->setText(QString::fromStdString(text));
                copied = true;
            }
        },
        m_guiWait);
    return copied;
}

bool TQtOstrelWindows::IsSendDialogOpen() {
    return m_progress != nullptr && m_progress->IsOpen();
}

void TQtOstrelWindows::ShowErrorBox(const std::string& text, const std::string& caption) {
    const TGuiCallStatus status = RunOnGuiThread(
        [&] {
            QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption),
                            QString::fromStdString(text), QMessageBox::Ok);
            box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
            box.setWindowModality(Qt::ApplicationModal);
            box.exec();
        },
        m_guiWait);
    if (status != TGuiCallStatus::Done)
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

TQtOstrelDesktop::TQtOstrelDesktop(std::chrono::milliseconds guiWait) : m_guiWait(guiWait) {}

bool TQtOstrelDesktop::GetDisplayMode(TDisplayMode& mode) {
    bool found = false;
    RunOnGuiThread(
        [&] {
            if (const QScreen* screen = QGuiApplication::primaryScreen()) {
                mode.Width = screen->size().width();
                mode.Height = screen->size().height();
                mode.BitsPerPixel = screen->depth();
                found = true;
            }
        },
        m_guiWait);
    return found;
}

bool TQtOstrelDesktop::GetForegroundWindow(std::string& className, std::string& text) {
    bool found = false;
    RunOnGuiThread(
        [&] {
            if (const QWidget* w = QApplication::activeWindow()) {
                className = w->metaObject()->className();
                text = w->windowTitle().toStdString();
                found = true;
            }
        },
        m_guiWait);
    return found;
}

bool TQtOstrelDesktop::GetFocusedControl(std::string& className, std::string& text, bool& password) {
    bool found = false;
    RunOnGuiThread(
        [&] {
            if (const QWidget* w = QApplication::focusWidget()) {
                DescribeControl(*w, className, text, password);
                found = true;
            }
        },
        m_guiWait);
    return found;
}

void DescribeControl(const QWidget& control, std::string& className, std::string& text, bool& password) {
    className = control.metaObject()->className();
    password = false;
    QString shown;
    if (const auto* edit = qobject_cast<const QLineEdit*>(&control)) {
        shown = edit->text();
        password = edit->echoMode() != QLineEdit::Normal;
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) {
        shown = button->text();
    } else if (const auto* combo = qobject_cast<const QComboBox*>(&control)) {
        shown = combo->currentText();
    } else if (const auto* plain = qobject_cast<const QPlainTextEdit*>(&control)) {
        shown = plain->toPlainText();
    } else if (const auto* rich = qobject_cast<const QTextEdit*>(&control)) {
        shown = rich->toPlainText();
    } else if (const QVariant property = control.property("text"); property.canConvert<QString>()) {
        shown = property.toString();
    }
    text = shown.left(256).toStdString();
}

} // namespace reporter
