#include "OReportProgress.h"

namespace reporter {

namespace {

std::atomic<int> gOutsideWaits{0};

} // namespace

void EnterOutsideWait() {
    gOutsideWaits.fetch_add(1);
}

void LeaveOutsideWait() {
    gOutsideWaits.fetch_sub(1);
}

bool InOutsideWait() {
    return gOutsideWaits.load() > 0;
}

bool StepWaitsOutside(int step) {
    return (step >= 11 && step <= 14) || step == 16 || step == 17 || step == 18;
}

} // namespace reporter
