#pragma once
// The report lock: reports are processed, and sent, one at a time for the whole process. Re-entrant, so
// that the thread holding it may take it again.
#include <mutex>

namespace reporter {

std::recursive_mutex& ReportLock();

} // namespace reporter
