#pragma once
// The last ten exceptions whose handling was already worked out, so that a walk over the handlers of
// the same raise is not repeated. Any raising thread uses it, under its lock.
#include <cstdint>
#include <typeinfo>

namespace reporter {

struct THandledResult {
    uint8_t Value1 = 0;
    int32_t Value2 = 0;
    uint8_t Value3 = 0;
    uint8_t Value4 = 0;
};

inline constexpr int HandledExceptionSlots = 10;

// The first (oldest) slot with the class (none for no object) and both keys gives its results.
bool FindHandledException(const std::type_info* objectClass, uintptr_t key1, uintptr_t key2,
                          THandledResult& result);
// With all slots used, the oldest entry goes.
void AddHandledException(const std::type_info* objectClass, uintptr_t key1, uintptr_t key2,
                         const THandledResult& result);
void ClearHandledExceptions();

} // namespace reporter
