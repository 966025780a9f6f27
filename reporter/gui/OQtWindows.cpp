#include "reporter/gui/OQtWindows.h"

#include "OReporterState.h"
#include "reporter/core/OConsoleOutput.h"
#include "reporter/gui/OClipboardKeeper.h"
#include "reporter/gui/ODialogHelper.h"
#include "reporter/gui/OGuiBridge.h"
#include "reporter/gui/OSendDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
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

constexpr int ControlTextLimit = 256;

// The start of a document's plain text, without making the whole text: a log view with the focus may be
// long and change often.
QString LeadingText(const QTextDocument& document) {
    QString text;
    for (QTextBlock block = document.begin(); block.isValid() && text.size() < ControlTextLimit;
         block = block.next()) {
        if (block != document.begin())
            text += QLatin1Char('\n');
        text += block.text().left(ControlTextLimit - text.size());
    }
    for (QChar& c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
        else if (c == QChar::Nbsp)
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

QWidget* ProgramMainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (IsMainWindowCandidate(w))
            return w;
    return nullptr;
}

namespace {

QPointer<QWidget>& LastActiveWindow() {
    static QPointer<QWidget> window; // GUI thread only
    return window;
}

} // namespace

void RememberActiveWindow(QWidget* window) {
    if (window != nullptr)
        LastActiveWindow() = window;
}

namespace {

// Shown, and neither it nor a window it belongs to minimised (a window manager hides a dialog with its
// minimised parent): the place of any other window shows other programs' windows.
bool IsOnScreen(const QWidget* window) {
    if (window == nullptr || !window->isWindow() || !window->isVisible())
        return false;
    for (const QWidget* w = window; w != nullptr;
         w = w->parentWidget() ? w->parentWidget()->window() : nullptr)
        if (w->isMinimized())
            return false;
    return true;
}

} // namespace

QWidget* ProgramPictureWindow() {
    if (QWidget* active = QApplication::activeWindow())
        return active;
    if (QWidget* last = LastActiveWindow().data(); IsOnScreen(last))
        return last;
    QWidget* main = ProgramMainWindow();
    return IsOnScreen(main) ? main : nullptr;
}

TQtOstrelWindows::TQtOstrelWindows(const TQtOstrelSendProgress* progress, std::chrono::milliseconds guiWait)
    : m_progress(progress), m_guiWait(guiWait) {}

TWindowHandle TQtOstrelWindows::GetProcessMainWindow(int64_t processId) {
    if (processId != int64_t(::getpid()))
        return 0;
    TWindowHandle found = 0;
    RunOnGuiThread([&found] { found = HandleOf(ProgramMainWindow()); }, m_guiWait);
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
    ShowBox(text, caption, true, false);
}

void TQtOstrelWindows::ShowMessageBox(const std::string& text, const std::string& caption,
                                      TMessageBoxIcon icon) {
    ShowBox(text, caption, icon == TMessageBoxIcon::Error, m_useHelper);
}

void TQtOstrelWindows::ShowBox(const std::string& text, const std::string& caption, bool error,
                               bool useHelper) {
    const TGuiCallStatus status = RunOnGuiThread(
        [&] {
            QMessageBox box(error ? QMessageBox::Critical : QMessageBox::Information,
                            QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok);
            box.setTextFormat(Qt::PlainText);
            box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
            box.setWindowModality(Qt::ApplicationModal);
            box.exec();
        },
        m_guiWait);
    if (status == TGuiCallStatus::Done || status == TGuiCallStatus::Raised)
        return;
    if (status == TGuiCallStatus::NotStarted && useHelper) {
        THelperRequest request;
        request.Dialog = THelperDialog::Message;
        request.BoxText = text;
        request.BoxCaption = caption;
        request.BoxError = error;
        if (ShowDialogInHelper(request, m_helperProgram))
            return;
    }
    // The faulting thread may hold stderr's lock.
    WriteToConsole(stderr, caption + ": " + text + "\n");
}

TQtOstrelDesktop::TQtOstrelDesktop(const TDesktopFactsStore* snapshot, std::chrono::milliseconds guiWait)
    : m_snapshot(snapshot), m_guiWait(guiWait) {}

bool TQtOstrelDesktop::Answer(const std::function<bool()>& live,
                              const std::function<bool(const TDesktopFacts&)>& kept) const {
    // A GUI thread that stands still may have stopped in the middle of changing a widget: its widgets are
    // not read, and nobody waits for it.
    const pid_t stopped = StoppedThreadId();
    if (stopped == 0 || stopped != GuiThreadId()) {
        bool found = false;
        if (RunOnGuiThread([&] { found = live(); }, m_guiWait) == TGuiCallStatus::Done)
            return found;
    }
    if (m_snapshot == nullptr)
        return false;
    const std::optional<TDesktopFacts> facts = m_snapshot->Read();
    return facts.has_value() && kept(*facts);
}

bool TQtOstrelDesktop::GetDisplayMode(TDisplayMode& mode) {
    return Answer(
        [&] {
            const QScreen* screen = QGuiApplication::primaryScreen();
            if (screen == nullptr)
                return false;
            mode.Width = screen->size().width();
            mode.Height = screen->size().height();
            mode.BitsPerPixel = screen->depth();
            return true;
        },
        [&](const TDesktopFacts& facts) {
            mode = facts.Mode;
            return facts.HasScreen;
        });
}

bool TQtOstrelDesktop::GetForegroundWindow(std::string& className, std::string& text) {
    return Answer(
        [&] {
            const QWidget* w = QApplication::activeWindow();
            if (w == nullptr)
                return false;
            className = w->metaObject()->className();
            text = w->windowTitle().toStdString();
            return true;
        },
        [&](const TDesktopFacts& facts) {
            className = facts.WindowClass;
            text = facts.WindowText;
            return facts.HasWindow;
        });
}

bool TQtOstrelDesktop::GetFocusedControl(std::string& className, std::string& text, bool& password) {
    return Answer(
        [&] {
            const QWidget* w = QApplication::focusWidget();
            if (w != nullptr)
                DescribeControl(*w, className, text, password);
            return w != nullptr;
        },
        [&](const TDesktopFacts& facts) {
            className = facts.ControlClass;
            text = facts.ControlText;
            password = facts.Password;
            return facts.HasControl;
        });
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
        shown = LeadingText(*plain->document());
    } else if (const auto* rich = qobject_cast<const QTextEdit*>(&control)) {
        shown = LeadingText(*rich->document());
    } else if (const QVariant property = control.property("text"); property.canConvert<QString>()) {
        shown = property.toString();
    }
    text = shown.left(ControlTextLimit).toStdString();
}

} // namespace reporter
