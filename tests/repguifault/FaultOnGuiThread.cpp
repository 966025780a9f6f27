// Loaded into the program with LD_PRELOAD: once the application object exists, its GUI thread faults
// inside this library when a byte arrives on the pipe whose descriptor VDTEST_GUI_FAULT_FD names (the test
// writes it once it has seen on screen what it waits for). The moment of the fault goes to standard error
// as "GUI FAULT <CLOCK_MONOTONIC nanoseconds>"; each time a window of the program gets the keyboard, "GUI
// FOCUS" goes there, and "GUI BLUR" each time the program's windows lose it. The variable is taken away at
// once and the descriptor closes on exec, so that the program's helper processes and a restarted program do
// not fault. With VDTEST_GUI_FAULT_MODE "worker-busy" a worker thread faults instead while the GUI thread is
// busy for 12 s; with "worker-join" while the GUI thread waits for that worker to end; with "worker-lock"
// the worker faults holding a lock of the program's, and at the next byte (the report's dialog is on
// screen) the GUI thread takes that lock in a handler of its own and stands still.
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QWindow>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

[[gnu::noinline]] void FaultNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "GUI FAULT %lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::fflush(stderr);
    volatile int* volatile target = reinterpret_cast<int*>(16);
    *target = 1;
}

// A worker faults a moment after the GUI thread has begun to be busy, or to wait for it.
void FaultOnWorker(const std::string& mode) {
    std::thread worker([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        FaultNow();
    });
    if (mode == "worker-join") {
        worker.join();
        return;
    }
    worker.detach();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(12);
    while (std::chrono::steady_clock::now() < end) {
    }
}

std::mutex gProgramLock;

// Each byte that arrives is taken, so that the next one is a step of its own.
void OnByteOfWorkerLock(int fd) {
    static int bytes = 0;
    char byte = 0;
    if (::read(fd, &byte, 1) != 1)
        return;
    if (++bytes == 1) {
        std::thread([] {
            gProgramLock.lock();
            FaultNow();
        }).detach();
    } else {
        const std::lock_guard lock(gProgramLock);
    }
}

void ScheduleFault() {
    const char* descriptor = std::getenv("VDTEST_GUI_FAULT_FD");
    if (descriptor == nullptr)
        return;
    const int fd = std::atoi(descriptor);
    const char* modeValue = std::getenv("VDTEST_GUI_FAULT_MODE");
    const std::string mode = modeValue != nullptr ? modeValue : "";
    ::unsetenv("VDTEST_GUI_FAULT_FD");
    ::unsetenv("VDTEST_GUI_FAULT_MODE");
    if (fd > 2 && ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0) {
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, [mode, fd] {
            if (mode == "worker-lock")
                OnByteOfWorkerLock(fd);
            else if (mode.empty())
                FaultNow();
            else
                FaultOnWorker(mode);
        });
    }
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QObject::connect(app, &QGuiApplication::focusWindowChanged, [](QWindow* window) {
            std::fprintf(stderr, window != nullptr ? "GUI FOCUS\n" : "GUI BLUR\n");
            std::fflush(stderr);
        });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(ScheduleFault)
