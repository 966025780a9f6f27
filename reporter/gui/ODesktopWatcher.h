#pragma once
// Keeps the desktop facts of a report current on the GUI thread as things change (the focus, the active
// window's title, the focused control's text, the primary screen), so that a report made while the GUI
// thread stands still tells what the user saw last.
#include "reporter/gui/ODesktopFacts.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <vector>

namespace reporter {

class TDesktopWatcher final : public QObject {
public:
    // Made on the GUI thread; the store outlives the watcher.
    explicit TDesktopWatcher(TDesktopFactsStore& store);
    ~TDesktopWatcher() override;
    TDesktopWatcher(const TDesktopWatcher&) = delete;
    TDesktopWatcher& operator=(const TDesktopWatcher&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FollowFocus();
    // Stops watching the object unless it is still the active window, the picture window or the focused
    // control.
    void Unwatch(QObject* object);
    void FollowScreen();
    void DescribeWindow();
    void DescribeFocusedControl();
    void DescribeControlPlace();
    void DescribeProgram();
    void DescribeScreen();
    void Publish();

    TDesktopFactsStore& m_store;
    TDesktopFacts m_facts; // the GUI thread's own copy
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_picture;      // ProgramPictureWindow, followed as it moves
    QPointer<QWidget> m_pictureOwner; // the window it belongs to, followed as it is minimised
    QPointer<QWidget> m_control;
    QPointer<QScreen> m_screen;
    std::vector<QMetaObject::Connection> m_controlLinks;
    QMetaObject::Connection m_screenLink;
    qint64 m_iconKey = 0;
};

} // namespace reporter
