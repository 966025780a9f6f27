#include "OThreadsList.h"

#include "OProcess.h"

namespace reporter {

TOstrelThreadsList::TOstrelThreadsList() : m_lock(std::make_unique<std::shared_mutex>()) {}

TOstrelThreadsList::TOstrelThreadsList(TOstrelThreadsList& source) {
    source.LockRead();
    m_items = source.m_items;
    source.UnlockRead();
    for (TOstrelThreadRecord& record : m_items)
        record.ForeignStack = true; // the copy owns no stack copies
}

int TOstrelThreadsList::IndexOfThreadId(pid_t threadId) const {
    for (int i = Count() - 1; i >= 0; --i)
        if (m_items[size_t(i)].ThreadId == threadId)
            return i;
    return -1;
}

int TOstrelThreadsList::IndexOfHandle(pthread_t handle) const {
    for (int i = Count() - 1; i >= 0; --i)
        if (m_items[size_t(i)].Handle == handle)
            return i;
    return -1;
}

int TOstrelThreadsList::IndexOfObject(const void* object) const {
    for (int i = Count() - 1; i >= 0; --i)
        if (m_items[size_t(i)].ThreadObject == object)
            return i;
    return -1;
}

int TOstrelThreadsList::IndexOfSerial(uint64_t serial) const {
    for (int i = Count() - 1; i >= 0; --i)
        if (m_items[size_t(i)].Serial == serial)
            return i;
    return -1;
}

void TOstrelThreadsList::PurgeDead() {
    // A record without an id belongs to a thread that is being created: it stays.
    std::erase_if(m_items,
                  [](const TOstrelThreadRecord& r) { return r.ThreadId != 0 && !IsThreadAlive(r.ThreadId); });
}

void TOstrelThreadsList::LockList() {
    if (m_lock)
        m_lock->lock();
}
void TOstrelThreadsList::UnlockList() {
    if (m_lock)
        m_lock->unlock();
}
void TOstrelThreadsList::LockRead() {
    if (m_lock)
        m_lock->lock_shared();
}
void TOstrelThreadsList::UnlockRead() {
    if (m_lock)
        m_lock->unlock_shared();
}

} // namespace reporter
