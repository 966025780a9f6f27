#include "classlib/Application.h"
#include "classlib/SysUtils.h"
#include "classlib/Thread.h"
#include "tests/support/RecordingPresenter.h"
#include <QCoreApplication>
#include <QEvent>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// An event handler that throws what the test gives it.
class TThrowingObject : public QObject {
public:
    std::function<void()> raise;

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            raise();
        return QObject::event(e);
    }
};

QList<TMessageRequest> dispatchThrowing(const std::function<void()>& raise) {
    ScopedRecordingPresenter presenter;
    TThrowingObject target;
    target.raise = raise;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&target);
    return presenter->requests;
}

} // namespace

TEST(Application, AnExceptionFromAnEventHandlerEndsInAnErrorBox) {
    const QList<TMessageRequest> boxes =
        dispatchThrowing([] { throw EConvertError(QStringLiteral("'x' is not a valid integer value")); });
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].kind, TMessageRequest::Kind::MessageBox);
    EXPECT_EQ(boxes[0].text, QStringLiteral("'x' is not a valid integer value."));
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Vexa Daxo Soft"));
    EXPECT_EQ(boxes[0].flags, unsigned(MB_OK | MB_ICONERROR));

    // A message ending in a full stop or a punctuation mark gets no second one.
    EXPECT_EQ(dispatchThrowing([] { throw std::runtime_error("Disk full!"); })[0].text,
              QStringLiteral("Disk full!"));
    EXPECT_EQ(dispatchThrowing([] { throw Exception(QStringLiteral("Done.")); })[0].text,
              QStringLiteral("Done."));
    EXPECT_EQ(dispatchThrowing([] { throw 42; })[0].text, QStringLiteral("Exception of class int."));
    EXPECT_TRUE(dispatchThrowing([] { Abort(); }).isEmpty()); // the silent exception
}

TEST(Application, AQueuedCallThatThrowsIsCaughtAtTheBoundary) {
    ScopedRecordingPresenter presenter;
    QObject context;
    QMetaObject::invokeMethod(
        &context, [] { throw EInvalidOperation(QStringLiteral("No device")); }, Qt::QueuedConnection);
    QCoreApplication::sendPostedEvents(&context);
    ASSERT_EQ(presenter->requests.size(), 1);
    EXPECT_EQ(presenter->requests[0].text, QStringLiteral("No device."));
}

TEST(Application, TheHookTakesOverHandleException) {
    ScopedRecordingPresenter presenter;
    QObject* seenSender = nullptr;
    QString seenMessage;
    bool dealtWith = true;
    TExceptionHook previous = SetHandleExceptionHook([&](const std::exception_ptr& e, QObject* sender) {
        seenSender = sender;
        seenMessage = ExceptionMessage(e);
        return dealtWith;
    });
    TThrowingObject target;
    target.raise = [] { throw EListError(QStringLiteral("List index out of bounds (3)")); };
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&target);
    EXPECT_EQ(seenSender, &target);
    EXPECT_EQ(seenMessage, QStringLiteral("List index out of bounds (3)"));
    EXPECT_TRUE(presenter->requests.isEmpty());

    dealtWith = false; // the hook declines: the box follows
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&target);
    EXPECT_EQ(presenter->requests.size(), 1);
    SetHandleExceptionHook(previous);
}

TEST(Application, HandleExceptionOnAWorkerShowsTheBoxOnTheMainThread) {
    ScopedRecordingPresenter presenter;
    class TFailingThread : public TThread {
    public:
        TFailingThread() : TThread(true) {}

    protected:
        void Execute() override {
            try {
                throw EThread(QStringLiteral("Port closed"));
            } catch (...) {
                HandleException(this);
            }
        }
    };
    TThreadPtr<TFailingThread> t(TThread::Create<TFailingThread>());
    t->Start();
    t->WaitFor();
    ASSERT_EQ(presenter->requests.size(), 1);
    EXPECT_EQ(presenter->requests[0].text, QStringLiteral("Port closed."));
}
