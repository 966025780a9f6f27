#include "OThreadPark.h"

#include "OFutex_linux.h"
#include "OMemory.h"
#include "OReportProgress.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace reporter {

enum TParkState : uint32_t { psFree, psRequested, psCopying, psParked, psReleased, psAbandoned };

struct TParkSlot {
    std::atomic<uint32_t> State{psFree};
    pid_t ThreadId = 0;
    uintptr_t StackTop = 0;
    std::unique_ptr<uint8_t[]> Buffer;
    size_t Capacity = 0;
    TOstrelContext Context;
    uintptr_t CopyStart = 0;
    size_t CopySize = 0;
    bool Copied = false;
};

namespace {

constexpr int MaxPublished = 256;
std::atomic<TParkSlot*> gPublished[MaxPublished];
// Counts threads that stood still; a parker of many threads waits on it for the next one.
std::atomic<uint32_t> gParkedCount{0};
std::atomic<int> gInFlight{0};
std::atomic<int> gSignal{0};
struct sigaction gPreviousAction;
std::mutex gInstallLock;

void ParkHandler(int, siginfo_t*, void* userContext) {
    const int savedErrno = errno;
    gInFlight.fetch_add(1);
    const pid_t self = CurrentThreadId();
    TParkSlot* slot = nullptr;
    for (auto& published : gPublished) {
        TParkSlot* candidate = published.load();
        if (candidate != nullptr && candidate->ThreadId == self) {
            slot = candidate;
            break;
        }
    }
    uint32_t expected = psRequested;
    if (slot != nullptr && slot->State.compare_exchange_strong(expected, psCopying)) {
        ContextFromSignal(userContext, slot->Context);
        const uintptr_t start = slot->Context.Rsp;
        size_t size =
            slot->StackTop > start ? std::min(slot->StackTop - start, slot->Capacity) : slot->Capacity;
        // Through the kernel like every other raw stack copy (the stack holds more than live objects),
        // in one call.
        size = ReadPrefix(start, slot->Buffer.get(), size);
        slot->CopyStart = start;
        slot->CopySize = size;
        slot->Copied = true;
        slot->State.store(psParked);
        FutexWake(slot->State);
        gParkedCount.fetch_add(1);
        FutexWake(gParkedCount);
        while (slot->State.load() == psParked)
            FutexWait(slot->State, psParked, 0);
    }
    gInFlight.fetch_sub(1);
    errno = savedErrno;
}

bool Publish(TParkSlot* slot) {
    for (auto& published : gPublished) {
        TParkSlot* expected = nullptr;
        if (published.compare_exchange_strong(expected, slot))
            return true;
    }
    return false;
}

void Unpublish(TParkSlot* slot) {
    for (auto& published : gPublished) {
        TParkSlot* expected = slot;
        published.compare_exchange_strong(expected, nullptr);
    }
}

// The value after a "Name:" line start of a /proc status text, blanks skipped; nullptr when missing.
const char* StatusField(const char* text, const char* name) {
    const size_t length = std::strlen(name);
    for (const char* line = text; *line != '\0';) {
        if (std::strncmp(line, name, length) == 0) {
            const char* value = line + length;
            while (*value == ' ' || *value == '\t')
                ++value;
            return value;
        }
        const char* end = std::strchr(line, '\n');
        if (end == nullptr)
            break;
        line = end + 1;
    }
    return nullptr;
}

int64_t NowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

} // namespace

bool CanTakeParkSignal(pid_t threadId) {
    const int signal = gSignal.load();
    if (signal == 0 || threadId <= 0)
        return false;
    // "/proc/self/task/<id>/status", written without the allocator (parked threads may hold its lock).
    char path[64] = "/proc/self/task/";
    char digits[16];
    int count = 0;
    for (auto rest = unsigned(threadId); rest != 0 && count < int(sizeof digits); rest /= 10)
        digits[count++] = char('0' + rest % 10);
    size_t at = std::strlen(path);
    while (count > 0)
        path[at++] = digits[--count];
    std::strcpy(path + at, "/status");
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false; // ended
    char text[4096];
    size_t size = 0;
    while (size < sizeof text - 1) {
        const ssize_t n = ::read(fd, text + size, sizeof text - 1 - size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        size += size_t(n);
    }
    ::close(fd);
    text[size] = '\0';
    const char* state = StatusField(text, "State:");
    const char* blocked = StatusField(text, "SigBlk:");
    // Running or runnable (R), or asleep where the signal wakes it (S). Stopped or traced (T, t), in an
    // uninterruptible wait that may last as long as a device takes (D), or ended (Z, X): not now.
    if (state == nullptr || blocked == nullptr || (*state != 'R' && *state != 'S'))
        return false;
    uint64_t mask = 0;
    for (int digit = 0; digit < 16; ++digit, ++blocked) {
        const char c = *blocked;
        const int value = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (value < 0)
            return false; // not the mask this reads
        mask = mask << 4 | uint64_t(value);
    }
    return (mask >> (signal - 1) & 1) == 0;
}

bool InstallParkSignal() {
    std::lock_guard guard(gInstallLock);
    if (gSignal.load() != 0)
        return true;
    for (int signal = SIGRTMIN + 2; signal <= SIGRTMAX; ++signal) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) != 0)
            continue;
        if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler != SIG_DFL)
            continue; // somebody's signal
        if ((current.sa_flags & SA_SIGINFO) && current.sa_sigaction != nullptr)
            continue;
        struct sigaction action {};
        action.sa_sigaction = ParkHandler;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
        sigfillset(&action.sa_mask); // nothing else runs on a parked thread
        if (sigaction(signal, &action, &gPreviousAction) != 0)
            continue;
        gSignal.store(signal);
        return true;
    }
    return false;
}

void RemoveParkSignal() {
    std::lock_guard guard(gInstallLock);
    const int signal = gSignal.exchange(0);
    if (signal == 0)
        return;
    // A late signal still pending somewhere must find the handler: it is put back only when no parked
    // thread remains.
    while (gInFlight.load() != 0)
        sched_yield();
    sigaction(signal, &gPreviousAction, nullptr);
}

int ParkSignal() {
    return gSignal.load();
}

TThreadParker::TThreadParker(int count, size_t stackBytes) {
    for (int i = 0; i < count; ++i) {
        auto slot = std::make_unique<TParkSlot>();
        slot->Buffer = std::make_unique_for_overwrite<uint8_t[]>(stackBytes); // no pages touched yet
        slot->Capacity = stackBytes;
        m_slots.push_back(std::move(slot));
    }
}

TThreadParker::~TThreadParker() {
    ReleaseAll();
    for (auto& slot : m_slots)
        Unpublish(slot.get());
    while (gInFlight.load() != 0)
        sched_yield();
}

bool TThreadParker::Park(pid_t threadId, uintptr_t stackTop, int timeoutMs) {
    const int signal = gSignal.load();
    if (signal == 0 || threadId <= 0 || threadId == CurrentThreadId() || SlotOf(threadId) != nullptr)
        return false;
    TParkSlot* slot = nullptr;
    for (auto& s : m_slots)
        if (s->State.load() == psFree) {
            slot = s.get();
            break;
        }
    if (slot == nullptr)
        return false;
    if (!Claim(*slot, threadId, stackTop, signal))
        return false;
    int64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        const uint32_t state = slot->State.load();
        if (state == psParked) {
            NoteReportProgress();
            return true;
        }
        int64_t left = deadline - NowMs();
        if (state == psRequested && left <= 0 && CanTakeParkSignal(threadId)) {
            // It only waits for a processor: it stops when it gets one.
            deadline = NowMs() + timeoutMs;
            left = timeoutMs;
        }
        if (state == psRequested && left <= 0) {
            uint32_t expected = psRequested;
            if (slot->State.compare_exchange_strong(expected, psAbandoned)) {
                Unpublish(slot);
                return false;
            }
            continue; // the handler has just begun copying
        }
        FutexWait(slot->State, state, state == psRequested ? int(std::max<int64_t>(left, 1)) : 10);
    }
}

TParkSlot* TThreadParker::Request(pid_t threadId, uintptr_t stackTop, int signal) {
    if (threadId <= 0 || threadId == CurrentThreadId() || SlotOf(threadId) != nullptr)
        return nullptr;
    TParkSlot* slot = nullptr;
    for (; m_nextFree < m_slots.size() && slot == nullptr; ++m_nextFree)
        if (m_slots[m_nextFree]->State.load() == psFree)
            slot = m_slots[m_nextFree].get();
    if (slot == nullptr)
        return nullptr;
    return Claim(*slot, threadId, stackTop, signal) ? slot : nullptr;
}

bool TThreadParker::Claim(TParkSlot& slot, pid_t threadId, uintptr_t stackTop, int signal) {
    slot.ThreadId = threadId;
    slot.StackTop = stackTop;
    slot.Copied = false;
    slot.CopySize = 0;
    slot.State.store(psRequested);
    if (!Publish(&slot)) {
        slot.State.store(psFree);
        return false;
    }
    if (::syscall(SYS_tgkill, ::getpid(), threadId, signal) != 0) {
        Unpublish(&slot);
        slot.State.store(psFree);
        return false;
    }
    return true;
}

std::vector<bool> TThreadParker::ParkAll(const std::vector<TParkTarget>& targets, int quietMs) {
    std::vector<bool> parked(targets.size(), false);
    std::vector<TParkSlot*> pending(targets.size(), nullptr);
    const int signal = gSignal.load();
    if (signal == 0)
        return parked;
    // In batches as large as the published slots allow: every thread of a batch is asked at once, so
    // that they stop side by side instead of each waiting for its turn on a busy processor.
    for (size_t begin = 0; begin < targets.size(); begin += MaxPublished) {
        const size_t end = std::min(targets.size(), begin + MaxPublished);
        size_t waiting = 0;
        for (size_t i = begin; i < end; ++i)
            if ((pending[i] = Request(targets[i].ThreadId, targets[i].StackTop, signal)) != nullptr)
                ++waiting;
        int64_t since = NowMs();
        while (waiting > 0) {
            const uint32_t count = gParkedCount.load();
            bool moved = false;
            for (size_t i = begin; i < end; ++i) {
                if (pending[i] == nullptr || pending[i]->State.load() != psParked)
                    continue;
                // The handler has its slot: the published place goes to the next batch.
                Unpublish(pending[i]);
                pending[i] = nullptr;
                parked[i] = true;
                --waiting;
                moved = true;
                NoteReportProgress();
            }
            if (moved) {
                since = NowMs();
                continue;
            }
            const int64_t left = since + quietMs - NowMs();
            if (left <= 0) {
                // Threads that did not stop while the others did and cannot stop now (they block the
                // signal, stand stopped or in an uninterruptible wait, or ended). One that only waits
                // for a processor stops when it gets one, however busy the machine: it is waited for.
                for (size_t i = begin; i < end; ++i) {
                    uint32_t expected = psRequested;
                    if (pending[i] != nullptr && !CanTakeParkSignal(targets[i].ThreadId) &&
                        pending[i]->State.compare_exchange_strong(expected, psAbandoned)) {
                        Unpublish(pending[i]);
                        pending[i] = nullptr;
                        --waiting;
                    }
                }
                since = NowMs(); // the rest have just begun copying
                continue;
            }
            FutexWait(gParkedCount, count, int(std::min<int64_t>(left, 10)));
        }
    }
    return parked;
}

void TThreadParker::Release(pid_t threadId) {
    TParkSlot* slot = SlotOf(threadId);
    if (slot == nullptr)
        return;
    Unpublish(slot);
    slot->State.store(psReleased);
    FutexWake(slot->State);
}

void TThreadParker::ReleaseAll() {
    for (auto& slot : m_slots)
        if (slot->State.load() == psParked)
            Release(slot->ThreadId);
}

TParkSlot* TThreadParker::SlotOf(pid_t threadId) const {
    for (const auto& slot : m_slots) {
        const uint32_t state = slot->State.load();
        if (slot->ThreadId == threadId && (state == psParked || state == psRequested || state == psCopying))
            return slot.get();
    }
    return nullptr;
}

bool TThreadParker::GetCopy(pid_t threadId, TThreadStackCopy& copy) const {
    for (auto it = m_slots.rbegin(); it != m_slots.rend(); ++it)
        if (const auto& slot = *it; slot->ThreadId == threadId && slot->Copied) {
            copy.ThreadId = uint32_t(threadId);
            copy.InstructionPointer = slot->Context.Rip;
            copy.StackPointer = slot->CopyStart;
            copy.FramePointer = slot->Context.Rbp;
            copy.Stack.assign(slot->Buffer.get(), slot->Buffer.get() + slot->CopySize);
            return true;
        }
    return false;
}

bool TThreadParker::GetContext(pid_t threadId, TOstrelContext& context) const {
    for (auto it = m_slots.rbegin(); it != m_slots.rend(); ++it)
        if (const auto& slot = *it; slot->ThreadId == threadId && slot->Copied) {
            context = slot->Context;
            return true;
        }
    return false;
}

} // namespace reporter
