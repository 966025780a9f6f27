#include "classlib/Thread.h"
#include "classlib/Application.h"
#include "classlib/SysUtils.h"
#include "classlib/ThreadClasses.h"
#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <cstdlib>
#include <cxxabi.h>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <typeinfo>
#include <unistd.h>

namespace {

std::atomic<TThreadExceptionHook> gThreadExceptionHook{nullptr};

// Static initialisation runs on the thread that starts the program.
const std::thread::id g_startThread = std::this_thread::get_id();

struct TSyncRequest {
    const std::function<void()>* method;
    std::exception_ptr error;
    bool done = false;
};

// One lock and one condition for every thread: requests waiting for the main thread, their completion,
// and the end of threads that the main thread waits for.
struct TSyncState {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<TSyncRequest*> queue;
};

TSyncState& syncState() {
    static TSyncState s;
    return s;
}

// Lets the main event loop serve the queue when the main thread is not inside WaitFor.
void wakeMainThread() {
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [] { TThread::CheckSynchronize(); }, Qt::QueuedConnection);
}

// The class of the object as written in source ("TFindSlaveThread").
std::string DynamicClassName(const TThread& thread) {
    const char* mangled = typeid(thread).name();
    int status = -1;
    std::unique_ptr<char, decltype(&std::free)> text(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                     &std::free);
    return status == 0 && text ? std::string(text.get()) : std::string(mangled);
}

} // namespace

class TThread::TRunner : public QThread {
public:
    explicit TRunner(TThread* owner) : m_owner(owner) {}

protected:
    void run() override { m_owner->Run(); }

private:
    TThread* m_owner;
};

TThreadExceptionHook SetThreadExceptionHook(TThreadExceptionHook hook) {
    return gThreadExceptionHook.exchange(hook);
}

TThread::TThread(bool createSuspended)
    : m_runner(std::make_unique<TRunner>(this)), m_createSuspended(createSuspended) {}

TThread::~TThread() {
    if (m_started && !Finished()) {
        // Last resort: the derived part is gone already, so no end handler may see this object.
        m_destroying = true;
        Terminate();
        WaitFor();
    }
    m_runner->wait();
}

void TThread::AfterConstruction() {
    if (!m_createSuspended && !m_started)
        Start();
}

void TThread::Start() {
    if (m_started.exchange(true))
        throw EThread(QStringLiteral("Cannot call Start on a running or finished thread"));
    m_runner->start();
    if (!m_runner->isRunning() && !m_runner->isFinished()) {
        m_started = false;
        throw EThread(QStringLiteral("Thread creation error"));
    }
}

void TThread::Resume() {
    if (m_createSuspended && !m_started)
        Start();
}

bool TThread::Finished() const {
    std::lock_guard lock(syncState().mutex);
    return m_finished;
}

void TThread::Run() {
    // Known by its class while it runs (the reporter's thread headers name it).
    const int64_t systemThreadId = int64_t(::gettid());
    RegisterThreadClass(systemThreadId, DynamicClassName(*this));
    if (!m_terminated) {
        try {
            Execute();
        } catch (...) {
            m_fatalException = std::current_exception();
            if (const TThreadExceptionHook hook = gThreadExceptionHook.load()) {
                try {
                    hook(this, m_fatalException);
                } catch (...) {
                    // The hook's own failure must not end the thread another way.
                }
            }
        }
    }
    const bool freeThread = m_freeOnTerminate;
    try {
        DoTerminate();
    } catch (...) {
        if (!m_fatalException)
            m_fatalException = std::current_exception();
    }
    UnregisterThreadClass(systemThreadId);
    MarkFinished(); // from here on the owner may free this object
    if (freeThread && QCoreApplication::instance())
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this] {
                m_runner->wait();
                delete this;
            },
            Qt::QueuedConnection);
}

void TThread::MarkFinished() {
    TSyncState& s = syncState();
    // Notified under the lock: the waiter may free the state as soon as it sees the flag.
    std::lock_guard lock(s.mutex);
    m_finished = true;
    s.changed.notify_all();
}

void TThread::DoTerminate() {
    if (!OnTerminate || m_destroying)
        return;
    Synchronize(this, [this] {
        try {
            OnTerminate(this);
        } catch (...) {
            HandleException(this);
        }
    });
}

int TThread::WaitFor() {
    if (!m_started)
        return m_returnValue;
    if (QThread::currentThread() == m_runner.get())
        throw EThread(QStringLiteral("A thread cannot wait for itself"));
    TSyncState& s = syncState();
    const bool mainThread = IsMainThread();
    for (;;) {
        if (mainThread)
            CheckSynchronize();
        std::unique_lock lock(s.mutex);
        if (m_finished)
            break;
        s.changed.wait(lock, [&] { return m_finished || (mainThread && !s.queue.empty()); });
    }
    m_runner->wait();
    return m_returnValue;
}

bool TThread::IsMainThread() {
    if (QCoreApplication* app = QCoreApplication::instance())
        return QThread::currentThread() == app->thread();
    return std::this_thread::get_id() == g_startThread;
}

void TThread::Synchronize(TThread*, const std::function<void()>& method) {
    if (!method)
        return;
    if (IsMainThread()) {
        method();
        return;
    }
    TSyncState& s = syncState();
    TSyncRequest request{&method, nullptr, false};
    {
        std::lock_guard lock(s.mutex);
        s.queue.push_back(&request);
    }
    s.changed.notify_all();
    wakeMainThread();
    {
        std::unique_lock lock(s.mutex);
        s.changed.wait(lock, [&] { return request.done; });
    }
    if (request.error)
        std::rethrow_exception(request.error);
}

bool TThread::SynchronizePending() {
    TSyncState& s = syncState();
    std::lock_guard lock(s.mutex);
    return !s.queue.empty();
}

bool TThread::CheckSynchronize() {
    if (!IsMainThread())
        return false;
    TSyncState& s = syncState();
    bool ran = false;
    for (;;) {
        TSyncRequest* request = nullptr;
        {
            std::lock_guard lock(s.mutex);
            if (s.queue.empty())
                break;
            request = s.queue.front();
            s.queue.pop_front();
        }
        try {
            (*request->method)();
        } catch (...) {
            request->error = std::current_exception();
        }
        {
            std::lock_guard lock(s.mutex);
            request->done = true;
        }
        s.changed.notify_all();
        ran = true;
    }
    return ran;
}

void TThreadDeleter::operator()(TThread* thread) const {
    if (!thread)
        return;
    thread->Terminate();
    thread->WaitFor();
    delete thread;
}
