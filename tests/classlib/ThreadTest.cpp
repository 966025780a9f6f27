#include "classlib/Thread.h"
#include "classlib/SysUtils.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>

namespace {

// A thread whose Execute is a callable given by the test.
class TLambdaThread : public TThread {
public:
    TLambdaThread(bool createSuspended, std::function<void(TLambdaThread*)> body)
        : TThread(createSuspended), m_body(std::move(body)) {}
    using TThread::SetReturnValue;
    using TThread::Synchronize;

protected:
    void Execute() override { m_body(this); }

private:
    std::function<void(TLambdaThread*)> m_body;
};

// Runs the event loop until done holds; a guard of seconds against a hang, not a timing check.
bool processEventsUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return done();
}

} // namespace

TEST(Thread, WaitForOnTheMainThreadServesAWorkerBlockedInSynchronize) {
    bool ranOnMainThread = false;
    bool terminateRanOnMainThread = false;
    QStringList order;
    TThreadPtr<TLambdaThread> t(TThread::Create<TLambdaThread>(true, [&](TLambdaThread* self) {
        self->Synchronize([&] {
            ranOnMainThread = TThread::IsMainThread();
            order << QStringLiteral("synchronize");
        });
        self->SetReturnValue(7);
    }));
    t->OnTerminate = [&](TThread* sender) {
        EXPECT_EQ(sender, t.get());
        terminateRanOnMainThread = TThread::IsMainThread();
        order << QStringLiteral("terminate");
    };
    t->Start();
    // The worker waits in Synchronize before the main thread waits; no event is served meanwhile.
    QElapsedTimer queued;
    queued.start();
    while (!TThread::SynchronizePending() && queued.elapsed() < 10000)
        QThread::yieldCurrentThread();
    ASSERT_TRUE(TThread::SynchronizePending()) << "the worker never called Synchronize";

    EXPECT_EQ(t->WaitFor(), 7); // no event loop runs here: WaitFor itself serves the calls
    EXPECT_TRUE(ranOnMainThread);
    EXPECT_TRUE(terminateRanOnMainThread);
    EXPECT_EQ(order, QStringList({"synchronize", "terminate"}));
    EXPECT_TRUE(t->Finished());
    EXPECT_FALSE(t->FatalException());
}

TEST(Thread, TheMainEventLoopServesSynchronizeAndTheEndHandler) {
    int value = 0;
    bool ended = false;
    TThreadPtr<TLambdaThread> t(TThread::Create<TLambdaThread>(false, [&](TLambdaThread* self) {
        for (int i = 0; i < 3; ++i)
            self->Synchronize([&] { ++value; });
    }));
    t->OnTerminate = [&](TThread*) { ended = true; }; // set after the start: read only after Execute
    EXPECT_TRUE(processEventsUntil([&] { return ended; }));
    EXPECT_EQ(value, 3);
}

TEST(Thread, CreatedSuspendedRunsOnlyAfterStart) {
    std::atomic<int> runs{0};
    TThreadPtr<TLambdaThread> t(TThread::Create<TLambdaThread>(true, [&](TLambdaThread*) { ++runs; }));
    // A thread made after it has run its course and come back to the main thread: the suspended one had
    // its chance meanwhile.
    TThreadPtr<TLambdaThread> later(
        TThread::Create<TLambdaThread>(false, [](TLambdaThread* self) { self->Synchronize([] {}); }));
    later->WaitFor();
    EXPECT_EQ(runs, 0);
    EXPECT_FALSE(t->Started());
    t->Resume();
    t->WaitFor();
    EXPECT_EQ(runs, 1);
    EXPECT_THROW(t->Start(), EThread); // a thread runs once
    t->Resume();                       // does nothing now
    EXPECT_EQ(t->WaitFor(), 0);
}

TEST(Thread, FreeOnTerminateFreesTheThreadOnTheMainThreadAfterItsEndHandler) {
    bool ended = false;
    auto* t = TThread::Create<TLambdaThread>(true, [](TLambdaThread*) {});
    QPointer<TThread> alive(t);
    t->SetFreeOnTerminate(true);
    t->OnTerminate = [&](TThread*) { ended = true; };
    t->Start();
    EXPECT_TRUE(processEventsUntil([&] { return alive.isNull(); }));
    EXPECT_TRUE(ended);
}

TEST(Thread, AnExceptionEscapingExecuteIsKeptAsFatalException) {
    bool ended = false;
    TThreadPtr<TLambdaThread> t(TThread::Create<TLambdaThread>(
        true, [](TLambdaThread*) { throw EInvalidOperation(QStringLiteral("device gone")); }));
    t->OnTerminate = [&](TThread*) { ended = true; };
    t->Start();
    t->WaitFor();
    EXPECT_TRUE(ended);
    ASSERT_TRUE(t->FatalException());
    try {
        std::rethrow_exception(t->FatalException());
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("device gone"));
    }
}

TEST(Thread, AnExceptionInASynchronizedCallIsRaisedAgainInTheWorker) {
    QString caught;
    TThreadPtr<TLambdaThread> t(TThread::Create<TLambdaThread>(false, [&](TLambdaThread* self) {
        try {
            self->Synchronize([] { throw EConvertError(QStringLiteral("bad")); });
        } catch (const EConvertError& e) {
            caught = e.Message();
        }
    }));
    t->WaitFor();
    EXPECT_EQ(caught, QStringLiteral("bad"));
    EXPECT_FALSE(t->FatalException());
}

TEST(Thread, SynchronizeOnTheMainThreadRunsAtOnce) {
    bool ran = false;
    TThread::Synchronize(nullptr, [&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(Thread, FreeingARunningThreadTerminatesAndWaitsForIt) {
    std::atomic<bool> running{false};
    std::atomic<bool> leftLoop{false};
    {
        TThreadPtr<TLambdaThread> t(TThread::Create<TLambdaThread>(false, [&](TLambdaThread* self) {
            running = true;
            while (!self->Terminated())
                QThread::msleep(1);
            self->Synchronize([] {}); // still served while the owner frees the thread
            leftLoop = true;
        }));
        while (!running)
            QThread::yieldCurrentThread();
    }
    EXPECT_TRUE(leftLoop);
}

TEST(Thread, ANeverStartedThreadNeitherRunsNorBlocks) {
    bool ran = false;
    TThreadPtr<TLambdaThread> t(TThread::Create<TLambdaThread>(true, [&](TLambdaThread*) { ran = true; }));
    EXPECT_EQ(t->WaitFor(), 0);
    t.reset();
    EXPECT_FALSE(ran);
}
