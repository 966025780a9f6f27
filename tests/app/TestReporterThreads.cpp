// The reporter's thread headers name the class of the program's worker threads.
#include "OOptions.h"
#include "app/ReporterThreads.h"
#include "classlib/Thread.h"
#include "tests/app/AppTests.h"
#include <QTest>
#include <atomic>
#include <unistd.h>

class TProbeWorker : public TThread {
public:
    TProbeWorker() : TThread(true) {}
    std::atomic<int64_t> SystemId{0};
    void LetGo() {
        m_release = true;
        m_release.notify_all();
    }

protected:
    void Execute() override {
        SystemId = int64_t(::gettid());
        m_release.wait(false);
    }

private:
    std::atomic<bool> m_release{false};
};

namespace {

std::string HeaderOf(uint32_t threadId) {
    reporter::TOstrelModuleOptions options("", false);
    reporter::TOstrelDebugInfo entry;
    entry.ThreadID = threadId;
    entry.Running = true;
    return reporter::BuildThreadHeader(options, 1, entry, false);
}

} // namespace

class TestReporterThreads : public QObject {
    Q_OBJECT

private slots:
    void headersNameTheWorkersClass() {
        TThreadPtr<TProbeWorker> worker(TThread::Create<TProbeWorker>());
        // Released on every way out, so that a failed check does not leave the worker waiting.
        const std::unique_ptr<TProbeWorker, void (*)(TProbeWorker*)> release(
            worker.get(), [](TProbeWorker* w) { w->LetGo(); });
        worker->Start();
        QTRY_VERIFY(worker->SystemId != 0);
        const uint32_t id = uint32_t(worker->SystemId.load());

        InstallProgramThreadFacts(true);
        QCOMPARE(reporter::LookupThreadFacts(id).ClassName, std::string("TProbeWorker"));
        QVERIFY(HeaderOf(id).find("TProbeWorker") != std::string::npos);
        // The main thread is no worker: known, without a class.
        const reporter::TThreadHeaderFacts main = reporter::LookupThreadFacts(uint32_t(::getpid()));
        QVERIFY(main.Known);
        QCOMPARE(main.ClassName, std::string());
        InstallProgramThreadFacts(false);
        QCOMPARE(reporter::LookupThreadFacts(id).ClassName, std::string());

        worker->LetGo();
        worker->WaitFor();
        QCOMPARE(ProgramThreadFacts(id).ClassName, std::string());
    }
};

static TAppTestRegistration<TestReporterThreads> registration;

#include "TestReporterThreads.moc"
