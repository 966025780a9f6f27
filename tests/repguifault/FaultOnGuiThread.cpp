// Loaded into the program with LD_PRELOAD: once the application object exists, its GUI thread faults
// inside this library when a byte arrives on the pipe whose descriptor VDTEST_GUI_FAULT_FD names (the test
// writes it once it has seen on screen what it waits for). The moment of the fault goes to standard error
// as "GUI FAULT <CLOCK_MONOTONIC nanoseconds>"; each time a window of the program gets the keyboard, "GUI
// FOCUS" goes there, and "GUI BLUR" each time the program's windows lose it. The variable is taken away at
// once and the descriptor closes on exec, so that the program's helper processes and a restarted program do
// not fault.
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>

namespace {

[[gnu::noinline]] void FaultNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "GUI FAULT %lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::fflush(stderr);
    volatile int* volatile target = reinterpret_cast<int*>(16);
    *target = 1;
}

void ScheduleFault() {
    const char* descriptor = std::getenv("VDTEST_GUI_FAULT_FD");
    if (descriptor == nullptr)
        return;
    const int fd = std::atoi(descriptor);
    ::unsetenv("VDTEST_GUI_FAULT_FD");
    if (fd > 2 && ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0) {
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, [] { FaultNow(); });
    }
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QObject::connect(app, &QGuiApplication::focusWindowChanged, [](QWindow* window) {
            std::fprintf(stderr, window != nullptr ? "GUI FOCUS\n" : "GUI BLUR\n");
            std::fflush(stderr);
        });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(ScheduleFault)
