#include "OReportLock.h"

namespace reporter {

std::recursive_mutex& ReportLock() {
    // Never destroyed: a sending thread may still hold it while the process ends.
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

} // namespace reporter
