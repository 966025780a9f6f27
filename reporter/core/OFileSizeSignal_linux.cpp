#include "OFileSizeSignal.h"

#include <csignal>
#include <mutex>

namespace reporter {

namespace {

std::mutex gLock;
int gHolders = 0;
struct sigaction gSaved {};
bool gSavedValid = false;

} // namespace

TFileSizeSignalGuard::TFileSizeSignalGuard() {
    std::lock_guard guard(gLock);
    if (gHolders++ > 0)
        return;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    gSavedValid = ::sigaction(SIGXFSZ, &ignore, &gSaved) == 0;
}

TFileSizeSignalGuard::~TFileSizeSignalGuard() {
    std::lock_guard guard(gLock);
    if (--gHolders > 0 || !gSavedValid)
        return;
    // Nothing sensible is left to do when the old action cannot be put back: the signal stays ignored.
    ::sigaction(SIGXFSZ, &gSaved, nullptr);
    gSavedValid = false;
}

} // namespace reporter
