// The current options publish themselves for the other modules and steer the freeze watchdog.
#include "OModules.h"
#include "OOptions.h"
#include "OSharedBlock.h"
#include "OStream.h"

#include <atomic>
#include <cstring>
#include <mutex>

namespace reporter {

namespace {

std::atomic<TOstrelModuleOptionsEx*> gCurrentOptions{nullptr};
std::atomic<TFreezeWatchdogControl> gFreezeControl{nullptr};
std::mutex gPublishLock;
TSharedBlock gPublished;

void ApplyFreezeWatch(const TOstrelModuleOptions& options) {
    if (TFreezeWatchdogControl control = gFreezeControl.load())
        control(options.ReporterActive() && options.FreezeWatch());
}

} // namespace

TOstrelModuleOptionsEx* CurrentOptions() {
    return gCurrentOptions.load();
}
void SetCurrentOptions(TOstrelModuleOptionsEx* options) {
    gCurrentOptions.store(options);
}
void SetFreezeWatchdogControl(TFreezeWatchdogControl control) {
    gFreezeControl.store(control);
}

TOstrelModuleOptionsEx::~TOstrelModuleOptionsEx() {
    TOstrelModuleOptionsEx* self = this;
    gCurrentOptions.compare_exchange_strong(self, nullptr);
}

void TOstrelModuleOptionsEx::Changed() {
    TOstrelStream stream;
    stream.WriteU8(1);
    SaveToStream(stream);
    std::lock_guard guard(gPublishLock);
    CloseSharedBlock(gPublished);
    gPublished = OpenSharedBlock(OwnModuleHandle(), "MODULE", uint32_t(stream.Size()));
    if (gPublished.Data != nullptr)
        std::memcpy(gPublished.Data, stream.Bytes().data(), stream.Size());
}

void TOstrelModuleOptionsEx::SetActive(bool value) {
    if (CurrentOptions() != this) {
        StoreActive(value);
        return;
    }
    if (value == ReporterActive())
        return;
    StoreActive(value);
    ApplyFreezeWatch(*this);
}

void TOstrelModuleOptionsEx::SetFreezeActive(bool value) {
    if (CurrentOptions() != this) {
        StoreFreezeActive(value);
        return;
    }
    if (value == FreezeWatch())
        return;
    StoreFreezeActive(value);
    ApplyFreezeWatch(*this);
}

} // namespace reporter
