#include "OSendHost.h"

#include <atomic>

namespace reporter {

namespace {

std::atomic<IOstrelSendHost*> gHost{nullptr};

} // namespace

void SetOstrelSendHost(IOstrelSendHost* host) {
    gHost.store(host);
}

IOstrelSendHost& SendHost() {
    static IOstrelSendHost none;
    IOstrelSendHost* host = gHost.load();
    return host ? *host : none;
}

} // namespace reporter
