#pragma once
// The program's threads as the reporter knows them: each created thread's record (ids, start routine,
// stack top, and the stack of the thread that started it), under a multi-read/exclusive-write lock.
// A snapshot copies the records under the source's read lock and owns no lock.
#include <cstdint>
#include <memory>
#include <pthread.h>
#include <shared_mutex>
#include <sys/types.h>
#include <vector>

namespace reporter {

struct TOstrelThreadRecord {
    pid_t ThreadId = 0;          // 0 until the thread itself has started
    pthread_t Handle = 0;        // 0 until the creation returned
    pid_t ResumedBy = 0;         // the thread that started it
    uint32_t Spare = 0x80000000; // kept for the record's layout
    const void* ThreadObject = nullptr;
    uintptr_t StackTop = 0;  // written by the thread itself when it starts
    uintptr_t RawStart = 0;  // the start routine the creator passed
    uintptr_t Parameter = 0; // its argument
    // The starter's stack from its stack pointer upwards (StarterStackPointer is the first byte's address).
    uintptr_t StarterStackPointer = 0;
    std::shared_ptr<const std::vector<uint8_t>> StarterStack;
    bool ForeignStack = false; // the stack copy came from another module's reporter
    uint64_t Serial = 0;       // identifies the record while the thread has no id yet
};

class TOstrelThreadsList {
public:
    // A new empty list with its own lock.
    TOstrelThreadsList();
    // A snapshot of the source, taken under its read lock.
    explicit TOstrelThreadsList(TOstrelThreadsList& source);
    TOstrelThreadsList(const TOstrelThreadsList&) = delete;
    TOstrelThreadsList& operator=(const TOstrelThreadsList&) = delete;

    bool IsCopy() const { return m_lock == nullptr; }
    int Count() const { return int(m_items.size()); }
    TOstrelThreadRecord& Items(int index) { return m_items.at(size_t(index)); }
    const TOstrelThreadRecord& Items(int index) const { return m_items.at(size_t(index)); }
    void Add(TOstrelThreadRecord record) { m_items.push_back(std::move(record)); }
    void Delete(int index) { m_items.erase(m_items.begin() + index); }
    void Clear() { m_items.clear(); }

    // Lookups search from the last record to the first; -1 when absent. Call them under a lock.
    int IndexOfThreadId(pid_t threadId) const;
    int IndexOfHandle(pthread_t handle) const;
    int IndexOfObject(const void* object) const;
    int IndexOfSerial(uint64_t serial) const;
    // Removes the records of threads that have ended (the write lock must be held).
    void PurgeDead();

    // The write side of the lock (nothing for a snapshot).
    void LockList();
    void UnlockList();
    void LockRead();
    void UnlockRead();

private:
    std::unique_ptr<std::shared_mutex> m_lock;
    std::vector<TOstrelThreadRecord> m_items;
};

// RAII holders of the list's write and read sides.
class TThreadsListWriteLock {
public:
    explicit TThreadsListWriteLock(TOstrelThreadsList& list) : m_list(list) { m_list.LockList(); }
    ~TThreadsListWriteLock() { m_list.UnlockList(); }
    TThreadsListWriteLock(const TThreadsListWriteLock&) = delete;
    TThreadsListWriteLock& operator=(const TThreadsListWriteLock&) = delete;

private:
    TOstrelThreadsList& m_list;
};

} // namespace reporter
