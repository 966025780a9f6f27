#include "reporter/gui/ODesktopWatcher.h"

#include "reporter/gui/OProgramWindow.h"
#include "reporter/gui/OQtWindows.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWindow>

namespace reporter {

namespace {

constexpr int WindowTextLimit = 256;

// The window a window belongs to at the end of its chain of parents (itself when it has none): a window
// manager minimises a dialog with it.
QWidget* OutermostWindow(QWidget* window) {
    while (window != nullptr && window->parentWidget() != nullptr)
        window = window->parentWidget()->window();
    return window;
}

} // namespace

TDesktopWatcher::TDesktopWatcher(TDesktopFactsStore& store) : m_store(store) {
    DescribeProgram();
    connect(qApp, &QApplication::focusChanged, this, [this] { FollowFocus(); });
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] { FollowFocus(); });
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, [this] { FollowScreen(); });
    FollowScreen();
    FollowFocus();
}

TDesktopWatcher::~TDesktopWatcher() {
    for (QObject* watched : {static_cast<QObject*>(m_window), static_cast<QObject*>(m_picture),
                             static_cast<QObject*>(m_pictureOwner), static_cast<QObject*>(m_control)})
        if (watched != nullptr)
            watched->removeEventFilter(this);
}

void TDesktopWatcher::Unwatch(QObject* object) {
    if (object != nullptr && object != m_window && object != m_picture && object != m_pictureOwner &&
        object != m_control)
        object->removeEventFilter(this);
}

bool TDesktopWatcher::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window && event->type() == QEvent::WindowTitleChange) {
        DescribeWindow();
        Publish();
    }
    const QEvent::Type type = event->type();
    // The picture's window left the screen (closed, or minimised with the window it belongs to): the
    // picture takes another, or none.
    if ((watched == m_picture || watched == m_pictureOwner) &&
        (type == QEvent::Hide || type == QEvent::WindowStateChange)) {
        FollowFocus();
        return false;
    }
    // Where the focused control lies on the desktop changes when its window or the control moves.
    if ((watched == m_window || watched == m_picture || watched == m_control) &&
        (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show ||
         type == QEvent::WinIdChange)) {
        DescribeWindow();
        DescribeControlPlace();
        Publish();
    }
    return false;
}

void TDesktopWatcher::FollowFocus() {
    QWidget* const window = QApplication::activeWindow();
    RememberActiveWindow(window);
    if (window != m_window) {
        QObject* const old = m_window;
        m_window = window;
        Unwatch(old);
        if (window != nullptr)
            window->installEventFilter(this);
    }
    QWidget* const picture = ProgramPictureWindow();
    if (picture != m_picture) {
        QObject* const old = m_picture;
        QObject* const oldOwner = m_pictureOwner;
        m_picture = picture;
        m_pictureOwner = OutermostWindow(picture);
        Unwatch(old);
        Unwatch(oldOwner);
        if (picture != nullptr)
            picture->installEventFilter(this);
        if (m_pictureOwner != nullptr && m_pictureOwner != picture)
            m_pictureOwner->installEventFilter(this);
    }
    QWidget* const control = QApplication::focusWidget();
    if (control != m_control) {
        for (const QMetaObject::Connection& link : m_controlLinks)
            disconnect(link);
        m_controlLinks.clear();
        QObject* const old = m_control;
        m_control = control;
        Unwatch(old);
        if (control != nullptr)
            control->installEventFilter(this);
        const auto changed = [this] {
            DescribeFocusedControl();
            Publish();
        };
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            m_controlLinks.push_back(connect(edit, &QLineEdit::textChanged, this, changed));
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            m_controlLinks.push_back(connect(combo, &QComboBox::currentTextChanged, this, changed));
            m_controlLinks.push_back(connect(combo, &QComboBox::editTextChanged, this, changed));
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
            m_controlLinks.push_back(connect(plain, &QPlainTextEdit::textChanged, this, changed));
        } else if (auto* rich = qobject_cast<QTextEdit*>(control)) {
            m_controlLinks.push_back(connect(rich, &QTextEdit::textChanged, this, changed));
        }
    }
    DescribeWindow();
    DescribeProgram(); // the program may name itself and set its icon after the reporter came
    DescribeFocusedControl();
    DescribeControlPlace();
    Publish();
}

void TDesktopWatcher::FollowScreen() {
    disconnect(m_screenLink);
    m_screen = QGuiApplication::primaryScreen();
    if (m_screen)
        m_screenLink = connect(m_screen, &QScreen::geometryChanged, this, [this] {
            DescribeScreen();
            Publish();
        });
    DescribeScreen();
    Publish();
}

void TDesktopWatcher::DescribeWindow() {
    m_facts.HasWindow = m_window != nullptr;
    m_facts.WindowClass = m_window ? m_window->metaObject()->className() : "";
    m_facts.WindowText = m_window ? m_window->windowTitle().left(WindowTextLimit).toStdString() : "";
    // Only a window that has its native one already: asking for an id would make one.
    const QWindow* native = m_window ? m_window->windowHandle() : nullptr;
    m_facts.WindowId = native != nullptr ? uint64_t(native->winId()) : 0;
    // The picture of the program's window takes its own window also while another program's is in front.
    m_facts.HasWindowRect = m_picture != nullptr && m_picture->isVisible();
    if (m_facts.HasWindowRect) {
        const QRect frame = m_picture->frameGeometry();
        m_facts.WindowX = frame.x();
        m_facts.WindowY = frame.y();
        m_facts.WindowWidth = frame.width();
        m_facts.WindowHeight = frame.height();
    }
    // The helper's dialogs belong to the main window, whichever window (of this program or another)
    // is active.
    const QWidget* main = ProgramMainWindow();
    const QWindow* mainNative = main != nullptr ? main->windowHandle() : nullptr;
    m_facts.MainWindowId = mainNative != nullptr ? uint64_t(mainNative->winId()) : 0;
}

void TDesktopWatcher::DescribeControlPlace() {
    m_facts.HasControlRect = m_control != nullptr && m_control->isVisible();
    if (!m_facts.HasControlRect)
        return;
    const QPoint origin = m_control->mapToGlobal(QPoint(0, 0));
    m_facts.ControlX = origin.x();
    m_facts.ControlY = origin.y();
    m_facts.ControlWidth = m_control->width();
    m_facts.ControlHeight = m_control->height();
}

void TDesktopWatcher::DescribeProgram() {
    const TProgramWindowClass windowClass = CurrentWindowClass();
    m_facts.WindowInstance = windowClass.Instance;
    m_facts.WindowClassName = windowClass.Class;
    // The active window's icon (the application's when it has none of its own), made a picture only
    // when it changed.
    const QIcon icon = m_window ? m_window->windowIcon() : QApplication::windowIcon();
    if (icon.cacheKey() == m_iconKey && !m_facts.IconPng.empty())
        return;
    m_iconKey = icon.cacheKey();
    m_facts.IconPng = IconAsPng(icon);
}

void TDesktopWatcher::DescribeFocusedControl() {
    m_facts.HasControl = m_control != nullptr;
    m_facts.ControlClass.clear();
    m_facts.ControlText.clear();
    m_facts.Password = false;
    if (!m_control)
        return;
    DescribeControl(*m_control, m_facts.ControlClass, m_facts.ControlText, m_facts.Password);
    // A hidden text is kept hidden here too.
    if (m_facts.Password)
        m_facts.ControlText = MaskedText(m_facts.ControlText);
}

void TDesktopWatcher::DescribeScreen() {
    m_facts.HasScreen = m_screen != nullptr;
    m_facts.Mode = TDisplayMode{};
    if (m_screen) {
        m_facts.Mode.Width = m_screen->size().width();
        m_facts.Mode.Height = m_screen->size().height();
        m_facts.Mode.BitsPerPixel = m_screen->depth();
    }
}

void TDesktopWatcher::Publish() {
    m_store.Publish(m_facts);
}

} // namespace reporter
