#include "OExceptionCache.h"

#include <mutex>

namespace reporter {

namespace {

struct TSlot {
    const std::type_info* Class;
    uintptr_t Key1;
    uintptr_t Key2;
    THandledResult Result;
};

std::mutex gLock;
TSlot gSlots[HandledExceptionSlots];
int gUsed = 0;

} // namespace

bool FindHandledException(const std::type_info* objectClass, uintptr_t key1, uintptr_t key2,
                          THandledResult& result) {
    std::lock_guard guard(gLock);
    for (int i = 0; i < gUsed; ++i) {
        const TSlot& slot = gSlots[i];
        if (slot.Class == objectClass && slot.Key1 == key1 && slot.Key2 == key2) {
            result = slot.Result;
            return true;
        }
    }
    return false;
}

void AddHandledException(const std::type_info* objectClass, uintptr_t key1, uintptr_t key2,
                         const THandledResult& result) {
    std::lock_guard guard(gLock);
    if (gUsed == HandledExceptionSlots) {
        for (int i = 1; i < HandledExceptionSlots; ++i)
            gSlots[i - 1] = gSlots[i];
        --gUsed;
    }
    gSlots[gUsed++] = {objectClass, key1, key2, result};
}

void ClearHandledExceptions() {
    std::lock_guard guard(gLock);
    gUsed = 0;
}

} // namespace reporter
