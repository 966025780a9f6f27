#include "reporter/gui/ODesktopFacts.h"

#include <utility>

namespace reporter {

void TDesktopFactsStore::Publish(TDesktopFacts facts) {
    {
        const auto lock = Hold();
        std::swap(m_facts, facts);
    }
    // The old copies are freed here, outside the lock.
}

std::optional<TDesktopFacts> TDesktopFactsStore::Read() const {
    std::unique_lock lock(m_lock, std::defer_lock);
    if (!lock.try_lock_for(m_readBound))
        return std::nullopt;
    return m_facts;
}

} // namespace reporter
