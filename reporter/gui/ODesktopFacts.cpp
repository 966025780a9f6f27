#include "reporter/gui/ODesktopFacts.h"

#include <atomic>
#include <utility>

namespace reporter {

namespace {

std::atomic<const TDesktopFactsStore*> gProgramStore{nullptr};

} // namespace

void TDesktopFactsStore::SetProgramStore(const TDesktopFactsStore* store) {
    gProgramStore.store(store);
}

const TDesktopFactsStore* TDesktopFactsStore::ProgramStore() {
    return gProgramStore.load();
}

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
