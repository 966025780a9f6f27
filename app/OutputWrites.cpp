#include "app/OutputWrites.h"
#include <algorithm>

int TOutputWrites::Expected(int output, int shownState) const {
    for (auto write = m_writes.rbegin(); write != m_writes.rend(); ++write)
        for (const auto& [index, state] : write->States)
            if (index == output)
                return state;
    return shownState;
}

void TOutputWrites::Queued(const TCommunicationTask* task, TStates states) {
    m_writes.push_back({task, false, std::move(states)});
}

void TOutputWrites::Sent(const TCommunicationTask* task, bool ok) {
    // A task's address may be taken again once it was sent, so only writes still waiting match.
    const auto write = std::find_if(m_writes.begin(), m_writes.end(),
                                    [task](const TWrite& w) { return !w.Sent && w.Task == task; });
    if (write == m_writes.end())
        return;
    if (ok)
        write->Sent = true;
    else
        m_writes.erase(write);
}

void TOutputWrites::Polled(int first, int count) {
    const auto covered = [first, count](const TWrite& w) {
        return w.Sent && std::all_of(w.States.begin(), w.States.end(), [&](const auto& s) {
                   return s.first >= first && s.first < first + count;
               });
    };
    m_writes.erase(std::remove_if(m_writes.begin(), m_writes.end(), covered), m_writes.end());
}
