#include "OCallStack.h"

#include "OCore.h"
#include "ODebugInfo.h"
#include "OMemory.h"
#include "OModuleMap.h"
#include "OOptions.h"
#include "OProcess.h"
#include "OReportProgress.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>

namespace reporter {

namespace {

constexpr size_t SlotSize = sizeof(uintptr_t);
// Stack memory is tested (and read) this many bytes at a time, not slot by slot.
constexpr size_t ReadAhead = 400;

class TStackWalker {
public:
    TStackWalker(TOstrelStackList& list, const TStackWalkParams& params) : m_list(list), m_params(params) {}

    void AddStackEntry(uintptr_t address, bool faulting = false);
    void ScanSlot(uintptr_t value, const uint8_t* code, bool haveRex);

private:
    TOstrelStackList& m_list;
    const TStackWalkParams& m_params;
    int32_t m_candidates = 0;
    int32_t m_appended = 0;
};

void TStackWalker::AddStackEntry(uintptr_t address, bool faulting) {
    auto entry = std::make_unique<TOstrelDebugInfo>();
    if (m_params.DebugLookup && m_params.Cache != nullptr) {
        const auto known = m_params.Cache->Entries.find(address);
        if (known != m_params.Cache->Entries.end()) {
            *entry = known->second;
        } else {
            GetDebugInfo(address, m_params.ThreadId, m_params.Running, *entry, m_params.Modules);
            m_params.Cache->Entries.emplace(address, *entry);
        }
        entry->ThreadID = m_params.ThreadId;
        entry->Running = m_params.Running;
    } else if (m_params.DebugLookup) {
        GetDebugInfo(address, m_params.ThreadId, m_params.Running, *entry, m_params.Modules);
    } else {
        entry->Kind = dkModule;
        entry->Running = m_params.Running;
        entry->ThreadID = m_params.ThreadId;
        entry->Address = address;
        entry->Module = std::make_shared<TOstrelModuleInfo>();
        entry->Module->Handle = FindModuleOfAddress(address);
        entry->Module->FileName = GetModuleFileNameEx(entry->Module->Handle);
    }
    entry->Faulting = faulting;
    if (faulting) {
        m_list.Add(std::move(entry));
        return;
    }
    if (entry->Kind > 7 || !((m_params.Kinds >> entry->Kind) & 1))
        return;
    if (m_params.SkipCount == -1) {
        m_list.Add(std::move(entry));
        return;
    }
    const bool keep = m_candidates >= m_params.SkipCount && m_appended < m_params.MaxCount;
    ++m_candidates;
    if (keep) {
        m_list.Add(std::move(entry));
        ++m_appended;
    }
}

void TStackWalker::ScanSlot(uintptr_t value, const uint8_t* code, bool haveRex) {
    uintptr_t call, target;
    if (!FindCallIn(value, code, haveRex, call, target))
        return;
    if (target != 0 && m_params.FollowCalls) {
        // The routine called: through an import jump, the routine the jump leads to.
        const auto resolve = [target] {
            const uintptr_t routine = ResolveImportJump(target);
            uint8_t head[5];
            return SafeRead(routine, head, sizeof head) && head[0] != 0xE8 ? routine : 0;
        };
        uintptr_t routine = 0;
        if (m_params.Cache != nullptr) {
            const auto known = m_params.Cache->Routines.find(target);
            routine = known != m_params.Cache->Routines.end()
                          ? known->second
                          : m_params.Cache->Routines.emplace(target, resolve()).first->second;
        } else {
            routine = resolve();
        }
        if (routine != 0)
            AddStackEntry(routine);
    }
    AddStackEntry(call);
}

struct TReadableRange {
    uintptr_t Start, End; // [Start, End)
};

// The readable mappings of the process, adjacent ones joined, in address order; empty when the list
// cannot be read (then nothing is filtered).
std::vector<TReadableRange> ReadableRanges() {
    std::vector<TReadableRange> ranges;
    const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ranges;
    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || text.size() > (size_t(16) << 20))
            break;
        text.append(buffer, size_t(n));
    }
    ::close(fd);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        TMapsLine line;
        if (ParseMapsLine(std::string_view(text).substr(at, end - at), line) && line.Readable) {
            if (!ranges.empty() && ranges.back().End == line.Start)
                ranges.back().End = line.End;
            else
                ranges.push_back({line.Start, line.End});
        }
        at = end + 1;
    }
    return ranges;
}

bool InReadableRange(const std::vector<TReadableRange>& ranges, uintptr_t start, uintptr_t end) {
    auto it = std::upper_bound(ranges.begin(), ranges.end(), start,
                               [](uintptr_t a, const TReadableRange& r) { return a < r.Start; });
    if (it == ranges.begin())
        return false;
    --it;
    return start >= it->Start && end <= it->End;
}

// The 8 code bytes in front of every distinct stack value, read together: a stack of 100 KiB holds
// thousands of words, and one kernel call per word was most of a report's time.
class TCodeWindows {
public:
    // With a cache, values read by an earlier walk of the report are not read again, and the new ones
    // join it.
    TCodeWindows(const std::vector<uintptr_t>& values, TStackWalkCache* cache) : m_cache(cache) {
        // Most words are no address at all: only those whose bytes in front lie in a readable mapping
        // are read (the kernel refuses the others one call each). A report reads the map once.
        const std::shared_ptr<const TModuleMap> map = ActiveModuleMap();
        const std::vector<TReadableRange> readable = map ? std::vector<TReadableRange>() : ReadableRanges();
        for (const uintptr_t v : values)
            if (v >= MinimumAddress && (cache == nullptr || !cache->Windows.contains(v)) &&
                (map ? map->IsReadable(v - 7, v) : readable.empty() || InReadableRange(readable, v - 7, v)))
                m_values.push_back(v);
        std::sort(m_values.begin(), m_values.end());
        m_values.erase(std::unique(m_values.begin(), m_values.end()), m_values.end());
        std::vector<uintptr_t> starts(m_values.size());
        for (size_t i = 0; i < m_values.size(); ++i)
            starts[i] = m_values[i] - 8;
        m_code.resize(m_values.size() * 8);
        auto whole = std::make_unique<bool[]>(m_values.size());
        ReadWindows(starts.data(), starts.size(), 8, m_code.data(), whole.get());
        m_state.resize(m_values.size());
        for (size_t i = 0; i < m_values.size(); ++i) {
            if (whole[i])
                m_state[i] = wsWithRex;
            else // the byte in front may lie on a page of its own
                m_state[i] = SafeRead(m_values[i] - 7, &m_code[i * 8 + 1], 7) ? wsCode : wsNone;
            if (cache != nullptr) {
                TStackWalkCache::TWindow window;
                std::memcpy(window.Code, &m_code[i * 8], 8);
                window.State = m_state[i];
                cache->Windows.emplace(m_values[i], window);
            }
        }
    }

    // The bytes in front of the value (code[8 - k] at value - k), null when they are not readable.
    const uint8_t* Find(uintptr_t value, bool& haveRex) const {
        if (m_cache != nullptr) {
            const auto it = m_cache->Windows.find(value);
            if (it == m_cache->Windows.end() || it->second.State == wsNone)
                return nullptr;
            haveRex = it->second.State == wsWithRex;
            return it->second.Code;
        }
        const auto it = std::lower_bound(m_values.begin(), m_values.end(), value);
        if (it == m_values.end() || *it != value)
            return nullptr;
        const size_t i = size_t(it - m_values.begin());
        haveRex = m_state[i] == wsWithRex;
        return m_state[i] == wsNone ? nullptr : &m_code[i * 8];
    }

private:
    // No page below this is ever mapped.
    static constexpr uintptr_t MinimumAddress = 4096 + 8;
    enum TWindowState : uint8_t { wsNone, wsCode, wsWithRex };
    TStackWalkCache* m_cache;
    std::vector<uintptr_t> m_values;
    std::vector<uint8_t> m_code;
    std::vector<TWindowState> m_state;
};

bool IsResolved(const TOstrelDebugInfo& e) {
    return e.Kind >= dkExportName && e.Kind <= dkDebugData;
}

TModuleHandle HandleOf(const TOstrelDebugInfo& e) {
    return e.Module ? e.Module->Handle : 0;
}

int NextResolved(const TOstrelStackList& list, int from, TModuleHandle module) {
    for (int j = from + 1; j < list.Count(); ++j)
        if (IsResolved(list.Items(j)) && HandleOf(list.Items(j)) == module)
            return j;
    return -1;
}

// The words of the range's slots in order, an unreadable slot as 0 (which no call returns to). A live
// range is read in one kernel call; only when part of it is unreadable is the rest tested piece by
// piece.
std::vector<uintptr_t> ReadSlots(const TStackMemory& stack, uintptr_t start, uintptr_t end) {
    const uintptr_t last = end - (SlotSize - 1); // the last slot that lies wholly inside the range
    const size_t count = size_t((last - start) / SlotSize) + 1;
    std::vector<uintptr_t> values(count, 0);
    if (stack.Copy != nullptr) {
        std::memcpy(values.data(), stack.Copy + (start - stack.Start), count * SlotSize);
        return values;
    }
    const size_t prefix = ReadPrefix(start, values.data(), count * SlotSize) / SlotSize;
    std::fill(values.begin() + ptrdiff_t(prefix), values.end(), 0);
    intptr_t readable = 0;
    uintptr_t ahead[ReadAhead / SlotSize];
    uintptr_t aheadBase = 0;
    for (size_t i = prefix + 1; i < count; ++i) {
        const uintptr_t p = start + i * SlotSize;
        if (readable <= 0) {
            const size_t want = std::min<uintptr_t>(ReadAhead, (last - p) + SlotSize);
            aheadBase = p;
            if (SafeRead(p, ahead, want))
                readable = intptr_t(want);
            else if (SafeRead(p, ahead, SlotSize))
                readable = SlotSize;
            else
                readable = 0;
        }
        if (readable > 0)
            values[i] = ahead[(p - aheadBase) / SlotSize];
        readable -= intptr_t(SlotSize);
    }
    return values;
}

} // namespace

bool FindCallBefore(uintptr_t returnAddress, uintptr_t& callAddress, uintptr_t& target) {
    const uintptr_t v = returnAddress;
    target = 0;
    uint8_t code[8]; // code[8 - k] is the byte at v - k
    if (v < 8 || !SafeRead(v - 7, code + 1, 7))
        return false;
    return FindCallIn(v, code, SafeRead(v - 8, code, 1), callAddress, target);
}

bool FindCallIn(uintptr_t returnAddress, const uint8_t* code, bool haveRex, uintptr_t& callAddress,
                uintptr_t& target) {
    const uintptr_t v = returnAddress;
    target = 0;
    const auto at = [&](int k) { return code[8 - k]; };
    const auto in = [](uint8_t b, uint8_t low, uint8_t high) { return b >= low && b <= high; };
    // An instruction that names r8..r15 carries a REX prefix with its B bit in front.
    const auto withRex = [&](int length) {
        const int k = length + 1;
        const bool rex = k <= 7 || haveRex ? (at(k) & 0xF1) == 0x41 : false;
        return v - uintptr_t(rex ? k : length);
    };
    if (at(5) == 0xE8) { // call rel32
        int32_t rel;
        std::memcpy(&rel, code + 4, 4);
        target = v + uintptr_t(intptr_t(rel));
        // A report's map answers without a kernel call per slot.
        uint8_t probe;
        const std::shared_ptr<const TModuleMap> map = ActiveModuleMap();
        if (map ? !map->IsReadable(target, target + 1) : !SafeRead(target, &probe, 1))
            return false;
        callAddress = v - 5;
        return true;
    }
    if (at(2) == 0xFF && in(at(1), 0xD0, 0xD7)) { // call reg
        callAddress = withRex(2);
        return true;
    }
    if (at(2) == 0xFF && (in(at(1), 0x10, 0x13) || in(at(1), 0x16, 0x17))) { // call [reg]
        callAddress = withRex(2);
        return true;
    }
    if (at(3) == 0xFF && (in(at(2), 0x50, 0x53) || in(at(2), 0x55, 0x57))) { // call [reg + disp8]
        callAddress = withRex(3);
        return true;
    }
    if (at(6) == 0xFF && (in(at(5), 0x90, 0x93) || in(at(5), 0x95, 0x97))) { // call [reg + disp32]
        callAddress = withRex(6);
        return true;
    }
    if (at(3) == 0xFF && at(2) == 0x14 && at(1) == 0x24) { // call [rsp]
        callAddress = withRex(3);
        return true;
    }
    if (at(4) == 0xFF && at(3) == 0x54 && at(2) == 0x24) { // call [rsp + disp8]
        callAddress = withRex(4);
        return true;
    }
    if (at(7) == 0xFF && at(6) == 0x94 && at(5) == 0x24) { // call [rsp + disp32]
        callAddress = withRex(7);
        return true;
    }
    if (at(6) == 0xFF && at(5) == 0x15) { // call [rip + disp32]: the pointer slot must be readable
        int32_t disp;
        std::memcpy(&disp, code + 4, 4);
        if (!IsValidBlockAddr(v + uintptr_t(intptr_t(disp)), sizeof(uintptr_t)))
            return false;
        callAddress = v - 6;
        return true;
    }
    return false;
}

void WalkStack(TOstrelStackList& list, uintptr_t firstAddress, const TStackMemory& stack,
               const TStackWalkParams& params) {
    const int first = list.Count();
    TStackWalker walker(list, params);
    if (firstAddress != 0)
        walker.AddStackEntry(firstAddress, params.FaultingFirst);
    uintptr_t start = stack.Start;
    uintptr_t end = stack.End;
    if (start < end && end - start > StackWalkWindow)
        end = start + StackWalkWindow;
    if (start <= end && end - start + 1 >= SlotSize) {
        const std::vector<uintptr_t> values = ReadSlots(stack, start, end);
        const TCodeWindows windows(values, params.Cache);
        for (const uintptr_t value : values) {
            bool haveRex = false;
            if (const uint8_t* code = windows.Find(value, haveRex)) {
                walker.ScanSlot(value, code, haveRex);
                NoteReportProgress(); // a frame looked at: a faulting thread sees the walk move
            }
        }
    }
    TrimStackToHandler(list, first, params.DebugLookup);
}

std::unique_ptr<TOstrelStackList> GetCallStack(uintptr_t firstAddress, uintptr_t stackStart,
                                               uintptr_t stackEnd, uint32_t threadId, bool running,
                                               bool followCalls, int32_t skipCount, int32_t maxCount,
                                               TOstrelDebugKinds kinds) {
    auto list = std::make_unique<TOstrelStackList>();
    TStackWalkParams params;
    params.ThreadId = threadId;
    params.Running = running;
    params.DebugLookup = true;
    params.FollowCalls = followCalls;
    params.SkipCount = skipCount;
    params.MaxCount = maxCount;
    params.Kinds = kinds;
    WalkStack(*list, firstAddress, TStackMemory{stackStart, stackEnd == 0 ? GetStackTop() : stackEnd},
              params);
    return list;
}

void WalkThreadCopy(TOstrelStackList& list, const TThreadStackCopy& copy, const TStackWalkParams& params) {
    if (copy.InstructionPointer == 0 || copy.StackPointer == 0 || copy.Stack.empty())
        return;
    TStackWalkParams own = params;
    own.ThreadId = copy.ThreadId;
    WalkStack(list, 0,
              TStackMemory{copy.StackPointer, copy.StackPointer + copy.Stack.size() - 1, copy.Stack.data()},
              own);
}

void TrimStackToHandler(TOstrelStackList& list, int first, bool debugLookup) {
    if (IsInsideIDE() && debugLookup) {
        for (int i = first; i < list.Count();) {
            const TOstrelDebugInfo& e = list.Items(i);
            if (!IsResolved(e) || e.ProcedureName.find("HandleException") != std::string::npos)
                list.Delete(i);
            else
                ++i;
        }
    }
    for (int i = list.Count() - 2; i >= first; --i) {
        TOstrelDebugInfo& e = list.Items(i);
        if (!IsResolved(e))
            continue;
        const int n1 = NextResolved(list, i, HandleOf(e));
        if (n1 < 0)
            continue;
        if (list.Items(n1).Address == e.Address) {
            e.Kind = dkNoModule;
            continue;
        }
        const int n2 = NextResolved(list, n1, HandleOf(e));
        if (n2 >= 0 && list.Items(n2).Address == e.Address)
            e.Kind = dkNoModule;
    }
}

TOstrelDebugKinds GetCallStackColumns(const TOstrelModuleOptions& options) {
    TOstrelDebugKinds kinds = DebugKinds({dkDebugData});
    if (options.CallStackFlags() & 0x01)
        kinds |= DebugKinds({dkExportName});
    if (options.CallStackFlags() & 0x02)
        kinds |= DebugKinds({dkExportUnitName});
    return kinds;
}

bool IsShownEntry(TOstrelDebugKinds shown, const TOstrelDebugInfo& entry) {
    if (entry.Faulting || (entry.Kind < 8 && ((shown >> entry.Kind) & 1) != 0))
        return true;
    // Code of a module that no export covers, named by its offset: shown beside the exported names.
    return entry.Kind == dkModule && !entry.ProcedureName.empty() &&
           (shown & DebugKinds({dkExportName, dkExportUnitName})) != 0;
}

} // namespace reporter
