// The module map a report reads once from the kernel: which module an address belongs to at the very
// edges of its segments, the memory map lines it takes and refuses, and the one map that every report
// running at the same time shares until the last of them ends.
#include "OModuleMap.h"

#include <condition_variable>
#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <thread>

extern "C" int VdRepsnapAlpha(int x);

using namespace reporter;

namespace {

TModuleMap TwoModules() {
    TModuleMap map;
    map.Modules.resize(2);
    map.Modules[0].FileName = "/opt/app";
    map.Modules[1].FileName = "/opt/lib.so";
    map.Segments = {{0x10000, 0x12000, 0}, {0x12000, 0x13000, 1}, {0x20000, 0x21000, 1}};
    map.Readable = {{0x10000, 0x13000}, {0x20000, 0x21000}};
    return map;
}

} // namespace

TEST(ModuleMap, AnAddressBelongsToASegmentFromItsFirstByteToItsLastOnly) {
    const TModuleMap map = TwoModules();
    const auto name = [&](uintptr_t address) {
        const TLoadedModule* module = map.ModuleOf(address);
        return module != nullptr ? module->FileName : std::string("none");
    };
    EXPECT_EQ(name(0xFFFF), "none");
    EXPECT_EQ(name(0x10000), "/opt/app");
    EXPECT_EQ(name(0x11FFF), "/opt/app");
    EXPECT_EQ(name(0x12000), "/opt/lib.so"); // the next segment starts where the first ends
    EXPECT_EQ(name(0x12FFF), "/opt/lib.so");
    EXPECT_EQ(name(0x13000), "none"); // one past the end, a gap follows
    EXPECT_EQ(name(0x20FFF), "/opt/lib.so");
    EXPECT_EQ(name(0x21000), "none"); // one past the last segment of all

    EXPECT_TRUE(map.IsReadable(0x10000, 0x13000));
    EXPECT_FALSE(map.IsReadable(0x10000, 0x13001));
    EXPECT_FALSE(map.IsReadable(0xFFFF, 0x10001));
    EXPECT_TRUE(map.IsReadable(0x20FF8, 0x21000));
    EXPECT_FALSE(map.IsReadable(0x20FF8, 0x21001));
}

// In the process's own map: every segment's last byte is its module's, the byte after it never is
// (unless another segment of the same module starts right there).
TEST(ModuleMap, TheProcessesOwnSegmentsEndWhereTheirModulesEnd) {
    const std::shared_ptr<const TModuleMap> map = ReadModuleMap();
    ASSERT_GE(map->Modules.size(), 3u); // the program, the probe library, libc at least
    const TLoadedModule* probe = map->ModuleOf(reinterpret_cast<uintptr_t>(&VdRepsnapAlpha));
    ASSERT_NE(probe, nullptr);
    EXPECT_NE(probe->FileName.find("vdrepsnapprobe"), std::string::npos) << probe->FileName;
    size_t gaps = 0;
    for (size_t i = 0; i < map->Segments.size(); ++i) {
        const TModuleMap::TSegment& segment = map->Segments[i];
        EXPECT_EQ(map->ModuleOf(segment.End - 1), &map->Modules[segment.Module]);
        const bool joined = i + 1 < map->Segments.size() && map->Segments[i + 1].Start == segment.End &&
                            map->Segments[i + 1].Module == segment.Module;
        if (!joined && map->ModuleOf(segment.End) != &map->Modules[segment.Module])
            ++gaps;
        EXPECT_TRUE(joined || map->ModuleOf(segment.End) != &map->Modules[segment.Module])
            << map->Modules[segment.Module].FileName << " +" << std::hex << segment.End;
    }
    EXPECT_GT(gaps, 0u);
}

TEST(ModuleMap, TheKernelsLinesAreTakenAndMalformedOnesRefused) {
    TMapsLine line;
    ASSERT_TRUE(
        ParseMapsLine("7f12a0000000-7f12a0021000 r-xp 0001c000 fd:01 1835052    /usr/lib/libm.so.6", line));
    EXPECT_EQ(line.Start, 0x7f12a0000000u);
    EXPECT_EQ(line.End, 0x7f12a0021000u);
    EXPECT_TRUE(line.Readable);
    EXPECT_EQ(line.Offset, 0x1c000u);
    EXPECT_EQ(line.Device, "fd:01");
    EXPECT_EQ(line.Inode, 1835052u);
    EXPECT_EQ(line.Path, "/usr/lib/libm.so.6");
    ASSERT_TRUE(ParseMapsLine("ffffffffff600000-ffffffffff601000 --xp 00000000 00:00 0", line));
    EXPECT_FALSE(line.Readable);
    EXPECT_EQ(line.Path, "");
    ASSERT_TRUE(ParseMapsLine("1000-2000 rw-p 0 00:00 0   [heap] (deleted)", line));
    EXPECT_EQ(line.Path, "[heap] (deleted)");
    // Sixteen hexadecimal digits is the most an address has.
    EXPECT_TRUE(ParseMapsLine("0-ffffffffffffffff r--p 0 0:0 0", line));
    // A file system of 64-bit inode numbers (an overlay, a network share): the program's modules there.
    ASSERT_TRUE(ParseMapsLine("1000-2000 r-xp 0 00:2f 18446744073709551615 /opt/app/libvd.so", line));
    EXPECT_EQ(line.Inode, UINT64_MAX);
    EXPECT_EQ(line.Path, "/opt/app/libvd.so");

    for (const char* bad : {"",
                            "1000",
                            "1000-",
                            "1000-2000",
                            "1000-2000 ",
                            "1000-2000 r",
                            "1000-2000 r-xp",
                            "1000-2000 r-xp ",
                            "1000-2000 r-xp 0",
                            "1000-2000 r-xp 0 ",
                            "1000-2000 r-xp 0 fd:01",
                            "1000-2000 r-xp 0 fd:01 ",
                            "1000-2000 r-xp 0 fd:01 x /lib",
                            "1000-2000 r-xpx0 fd:01 1",
                            "1000-2000 r-xp 0 fd:01 12x",
                            "2000-1000 r-xp 0 fd:01 1 /lib",
                            "1000-1000 r-xp 0 fd:01 1 /lib",
                            "-2000 r-xp 0 fd:01 1",
                            " 1000-2000 r-xp 0 fd:01 1",
                            "+1000-2000 r-xp 0 fd:01 1",
                            "1000-2000 r-xp -1 fd:01 1",
                            "10000000000000000-20000000000000000 r-xp 0 fd:01 1",
                            "00000000000001000-00000000000002000 r-xp 0 fd:01 1",
                            "1000-2000 r-xp 0  1 /lib"}) {
        SCOPED_TRACE(bad);
        // Each from a buffer of its own length: a read past the line is a read past the buffer.
        const std::string text(bad);
        const std::unique_ptr<char[]> copy(new char[text.size() + 1]);
        std::memcpy(copy.get(), text.data(), text.size());
        EXPECT_FALSE(ParseMapsLine(std::string_view(copy.get(), text.size()), line));
    }
}

// Two reports at the same time (a fault relayed to another thread, a second thread's fault): the first
// to end must not take the map from the one still running, whose lookups would then go to the loader,
// whose lock the faulting thread may hold.
TEST(ModuleMap, ReportsRunningTogetherShareOneMapUntilTheLastEnds) {
    ASSERT_EQ(ActiveModuleMap(), nullptr);
    // The two reports' steps in turn: 1 the second started, 2 the first ended, 3 the second looked.
    std::mutex lock;
    std::condition_variable changed;
    int step = 0;
    const auto advance = [&](int to) {
        const std::lock_guard guard(lock);
        step = to;
        changed.notify_all();
    };
    const auto await = [&](int reached) {
        std::unique_lock guard(lock);
        changed.wait(guard, [&] { return step >= reached; });
    };
    std::shared_ptr<const TModuleMap> seenAfterFirst;
    std::optional<TModuleMapScope> first;
    first.emplace();
    const std::shared_ptr<const TModuleMap> map = ActiveModuleMap();
    ASSERT_NE(map, nullptr);
    std::thread second([&] {
        const TModuleMapScope scope;
        advance(1);
        await(2);
        seenAfterFirst = ActiveModuleMap();
        advance(3);
    });
    await(1);
    EXPECT_EQ(ActiveModuleMap(), map); // the second report read no map of its own
    {
        const TModuleMapScope nested; // a lookup scope inside the first report
        EXPECT_EQ(ActiveModuleMap(), map);
    }
    EXPECT_EQ(ActiveModuleMap(), map);
    first.reset();
    advance(2);
    await(3);
    EXPECT_EQ(seenAfterFirst, map);
    second.join();
    // No report runs: lookups go to the loader again, which sees what was loaded since.
    EXPECT_EQ(ActiveModuleMap(), nullptr);
}
