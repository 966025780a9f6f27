// bench_repsnap: times the pieces of a report's call stacks. A walk scans a stack window of 102400 bytes;
// it should cost about ten milliseconds, so that the stacks of a dozen threads stay well below a second.
#include "OCallStack.h"
#include "ODebugInfo.h"
#include "OModuleInfo.h"

#include <chrono>
#include <cstdio>
#include <vector>

using namespace reporter;

namespace {

template <typename F> double MillisecondsPerRun(int runs, F&& body) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i)
        body();
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / runs;
}

[[gnu::noipa]] int Recurse(int depth, std::vector<uint8_t>& copy, uintptr_t& sp) {
    if (depth == 0) {
        sp = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
        copy.assign(reinterpret_cast<const uint8_t*>(sp),
                    reinterpret_cast<const uint8_t*>(sp) + StackWalkWindow);
        return 1;
    }
    volatile char pad[200] = {};
    return Recurse(depth - 1, copy, sp) + pad[depth % 200];
}

} // namespace

int main() {
    const double fill = MillisecondsPerRun(20, [] {
        TOstrelModulesList list;
        list.GetProcessModules();
    });
    SetModulesList(std::make_unique<TOstrelModulesList>());
    ModulesList()->GetProcessModules();
    const double full = MillisecondsPerRun(5, [] {
        for (int i = 0; i < ModulesList()->Count(); ++i)
            ModulesList()->FindModuleInfo(ModulesList()->Items(i)->Handle);
    });

    // A deep chain, so that the window holds hundreds of return addresses.
    std::vector<uint8_t> stack;
    uintptr_t sp = 0;
    Recurse(400, stack, sp);
    TThreadStackCopy copy;
    copy.ThreadId = 1;
    copy.InstructionPointer = 1;
    copy.StackPointer = sp;
    copy.Stack = stack;
    size_t entries = 0;
    const double walk = MillisecondsPerRun(50, [&] {
        TOstrelStackList list;
        WalkThreadCopy(list, copy, TStackWalkParams());
        entries = size_t(list.Count());
    });
    TStackWalkParams plain;
    plain.DebugLookup = false;
    const double scan = MillisecondsPerRun(50, [&] {
        TOstrelStackList list;
        WalkThreadCopy(list, copy, plain);
    });
    const double live = MillisecondsPerRun(200, [] {
        GetCallStack(0, reinterpret_cast<uintptr_t>(__builtin_frame_address(0)), 0, 1, true, true, -1, -1,
                     AllDebugKinds);
    });
    std::printf("module list, light scan:            %8.3f ms\n", fill);
    std::printf("module records, full (%3d modules): %8.3f ms\n", ModulesList()->Count(), full);
    std::printf("walk of a 102400-byte stack copy:   %8.3f ms (%zu entries, names looked up)\n", walk,
                entries);
    std::printf("  the same without the lookup:      %8.3f ms\n", scan);
    std::printf("walk of main's live stack:          %8.3f ms\n", live);
    SetModulesList(nullptr);
    return 0;
}
