// Loaded into the program with LD_PRELOAD: once the application object exists, its GUI thread faults
// inside this library after the time that VDTEST_GUI_FAULT_MS names. The moment of the fault goes to
// standard error as "GUI FAULT <CLOCK_MONOTONIC nanoseconds>". The variable is taken away at once, so
// that the program's helper processes, which inherit the environment, do not fault.
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>

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
    const char* after = std::getenv("VDTEST_GUI_FAULT_MS");
    if (after == nullptr)
        return;
    const int milliseconds = std::atoi(after);
    ::unsetenv("VDTEST_GUI_FAULT_MS");
    QTimer::singleShot(milliseconds, [] { FaultNow(); });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(ScheduleFault)
