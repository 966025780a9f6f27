#pragma once
// TThread: a worker thread on QThread with the class library's protocol. Execute runs on the worker;
// Synchronize runs a call on the main thread while the worker waits; OnTerminate runs on the main thread
// after Execute; WaitFor on the main thread keeps serving pending Synchronize calls (and so the end
// handler), where a plain QThread::wait would deadlock against a worker blocked in Synchronize.
//
// C++ cannot start a thread from a base constructor (the derived part, which Execute uses, does not exist
// yet), so a thread created not suspended starts in AfterConstruction, which TThread::Create calls:
//     auto* t = TThread::Create<TMyThread>(false, ...);
// Free a running thread through TThreadPtr (or Terminate + WaitFor before delete): a plain delete destroys
// the derived part while Execute may still use it, and ~TThread can then only wait for the worker.
#include <QObject>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>

class QThread;

class TThread : public QObject {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TThread* sender)>;

    explicit TThread(bool createSuspended);
    ~TThread() override;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // new T(args...) followed by AfterConstruction.
    template <class T, class... Args> static T* Create(Args&&... args) {
        auto thread = std::make_unique<T>(std::forward<Args>(args)...);
        thread->AfterConstruction();
        return thread.release();
    }
    // Starts the thread unless it was created suspended.
    void AfterConstruction();

    // Starts a thread that has not run yet; raises EThread "Cannot call Start on a running or finished
    // thread".
    void Start();
    // Starts a thread created suspended that has not run yet; does nothing otherwise.
    void Resume();
    // Asks Execute to stop: it reads Terminated and returns. TerminateRequested lets a thread end a wait
    // it is blocked in.
    void Terminate() {
        m_terminated = true;
        TerminateRequested();
    }
    bool Terminated() const { return m_terminated; }
    bool Started() const { return m_started; }
    // Execute and the end handler have run.
    bool Finished() const;

    // Waits for the end of the thread and answers ReturnValue. On the main thread it serves pending
    // Synchronize calls of every thread meanwhile. A thread that never started answers at once.
    int WaitFor();

    // The thread frees itself on the main thread after its end handler.
    bool FreeOnTerminate() const { return m_freeOnTerminate; }
    void SetFreeOnTerminate(bool value) { m_freeOnTerminate = value; }
    int ReturnValue() const { return m_returnValue; }
    // The exception that escaped Execute, or nullptr.
    std::exception_ptr FatalException() const { return m_fatalException; }

    // Runs on the main thread after Execute (an exception there goes to HandleException).
    TNotifyEvent OnTerminate;

    // Runs method on the main thread and waits for it; on the main thread itself it runs at once. An
    // exception thrown by method is raised again in the calling thread.
    static void Synchronize(TThread* thread, const std::function<void()>& method);
    void Synchronize(const std::function<void()>& method) { Synchronize(this, method); }

    // Runs the pending Synchronize calls (main thread only; elsewhere it does nothing). Answers whether
    // any ran. The main event loop runs it on its own; call it from loops that block the main thread.
    static bool CheckSynchronize();
    // Whether a Synchronize call waits for the main thread to run it.
    static bool SynchronizePending();
    static bool IsMainThread();

protected:
    virtual void Execute() = 0;
    // Runs OnTerminate through Synchronize.
    virtual void DoTerminate();
    // Called by Terminate, on the thread that calls it.
    virtual void TerminateRequested() {}
    void SetReturnValue(int value) { m_returnValue = value; }

private:
    class TRunner;
    void Run();
    void MarkFinished();

    std::unique_ptr<TRunner> m_runner;
    const bool m_createSuspended;
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_started{false};
    bool m_finished = false; // guarded by the synchronisation lock
    std::atomic<bool> m_freeOnTerminate{false};
    std::atomic<bool> m_destroying{false};
    std::atomic<int> m_returnValue{0};
    std::exception_ptr m_fatalException;
};

// Where an exception that escaped Execute goes besides FatalException: called on the thread itself,
// inside the catch, so that where the exception was raised is still known. The exception reporter
// installs it; nothing is called without one.
using TThreadExceptionHook = void (*)(TThread* thread, const std::exception_ptr& error);
// Installs the hook (nullptr: none) and returns the previous one.
TThreadExceptionHook SetThreadExceptionHook(TThreadExceptionHook hook);

// Frees a thread safely: Terminate, WaitFor, then delete.
struct TThreadDeleter {
    void operator()(TThread* thread) const;
};
template <class T> using TThreadPtr = std::unique_ptr<T, TThreadDeleter>;
