#include "OClassInfo.h"
#include "OExceptionCache.h"
#include "OLastError.h"
#include "OOptions.h"
#include "OProcess.h"
#include "OReportFolder.h"
#include "OSharedBlock.h"
#include "OStream.h"
#include "OTextUtils.h"
#include "OWindows.h"

#include "tests/support/TestTools.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <grp.h>
#include <gtest/gtest.h>
#include <map>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace reporter;

struct EAbort : std::exception {};
struct ESilent : EAbort {};
namespace app {
struct EDeviceError : std::runtime_error {
    EDeviceError() : std::runtime_error("device") {}
};
struct EMixed : std::logic_error, ESilent {
    EMixed() : std::logic_error("mixed") {}
};
} // namespace app

namespace {

class TEnvironment {
public:
    TEnvironment(const char* name, const std::string& value) : m_name(name) {
        setenv(name, value.c_str(), 1);
        tzset();
    }
    ~TEnvironment() {
        unsetenv(m_name);
        tzset();
    }

private:
    const char* m_name;
};

class TRecordingWindows : public IOstrelWindows {
public:
    TWindowHandle GetProcessMainWindow(int64_t) override { return 0x77; }
    bool IsOwnProcessWindow(TWindowHandle w) override { return w == 0x77; }
    std::vector<TWindowHandle> ProcessWindows() override { return {0x77, 0x78}; }
    bool CopyTextToClipboard(const std::string& text) override {
        clipboard = text;
        return true;
    }
    bool IsSendDialogOpen() override { return sendDialogOpen; }
    void ShowErrorBox(const std::string& text, const std::string& caption) override {
        boxes.push_back(caption + "|" + text);
    }
    bool sendDialogOpen = false;
    std::string clipboard;
    std::vector<std::string> boxes;
};

// The program restarted by the restart test reports what it got and ends before any test runs.
const bool gRestartedProbe = [] {
    const char* out = getenv("VD_RESTART_OUT");
    if (out == nullptr || getenv("VD_RESTART_CHILD") == nullptr)
        return false;
    char cwd[4096] = {};
    if (getcwd(cwd, sizeof cwd) == nullptr)
        _exit(3);
    const int leaked = atoi(getenv("VD_RESTART_FD") ? getenv("VD_RESTART_FD") : "-1");
    std::string report = std::string(cwd) + "\n" + (fcntl(leaked, F_GETFD) == -1 ? "closed" : "open") + "\n" +
                         std::to_string(getpgrp() == getpid()) + "\n";
    // The signals it ignores and blocks, as the kernel shows them; the C library's own two (32 and 33),
    // which it takes over when it needs them, aside.
    const auto status = testtools::ReadFile("/proc/self/status");
    const std::string text(status.begin(), status.end());
    for (const char* field : {"SigBlk:", "SigIgn:"}) {
        const size_t at = text.find(field);
        const uint64_t set = at == std::string::npos ? ~0ull : std::stoull(text.substr(at + 7), nullptr, 16);
        report += std::string(field) + std::to_string(set & ~(3ull << 31)) + "\n";
    }
    const std::string temporary = std::string(out) + ".part";
    FILE* f = fopen(temporary.c_str(), "w");
    if (f == nullptr)
        _exit(4);
    fputs(report.c_str(), f);
    fclose(f);
    rename(temporary.c_str(), out);
    _exit(0);
}();

} // namespace

TEST(Support, RecentExceptionCacheEvictsTheOldest) {
    ClearHandledExceptions();
    for (uintptr_t i = 1; i <= 11; ++i)
        AddHandledException(&typeid(std::runtime_error), i, i * 10, {uint8_t(i), int32_t(i * 100), 1, 2});
    THandledResult result;
    EXPECT_FALSE(FindHandledException(&typeid(std::runtime_error), 1, 10, result));
    ASSERT_TRUE(FindHandledException(&typeid(std::runtime_error), 2, 20, result));
    EXPECT_EQ(result.Value2, 200);
    ASSERT_TRUE(FindHandledException(&typeid(std::runtime_error), 11, 110, result));
    EXPECT_EQ(result.Value1, 11);
    EXPECT_FALSE(FindHandledException(&typeid(std::logic_error), 11, 110, result));
    EXPECT_FALSE(FindHandledException(nullptr, 11, 110, result));
    AddHandledException(nullptr, 5, 6, {9, 9, 9, 9});
    EXPECT_TRUE(FindHandledException(nullptr, 5, 6, result));
    ClearHandledExceptions();
}

TEST(Support, LastErrorAndItsBox) {
    TRecordingWindows windows;
    SetOstrelWindows(&windows);
    SetLastErrorCode(TOstrelLogErrorCode::eeEmailSMTPError, "no server");
    EXPECT_EQ(LastErrorCode(), TOstrelLogErrorCode::eeEmailSMTPError);
    EXPECT_TRUE(windows.boxes.empty());
    windows.sendDialogOpen = true;
    SetLastErrorCode(TOstrelLogErrorCode::eeLogError, "disk full");
    EXPECT_TRUE(windows.boxes.empty());
    SetLastErrorCode(TOstrelLogErrorCode::eeWebFTPError, "refused");
    ASSERT_EQ(windows.boxes.size(), 1u);
    EXPECT_EQ(windows.boxes[0], "Error.|refused");

    try {
        throw std::runtime_error("bad thing");
    } catch (...) {
        FormatInternalError(TOstrelLogErrorCode::eeShowError, "Dialog");
    }
    EXPECT_EQ(LastErrorMessage(), "[Dialog] bad thing");
    try {
        throw 42;
    } catch (...) {
        FormatInternalError(TOstrelLogErrorCode::eeShowError, "Dialog");
    }
    EXPECT_EQ(LastErrorMessage(), "General 'Dialog' error.");
    ClearLastErrorCode();
    EXPECT_EQ(LastErrorCode(), TOstrelLogErrorCode::eeNone);
    EXPECT_EQ(LastErrorMessage(), "");

    SnapshotProcessWindows();
    EXPECT_TRUE(IsInWindowList(0x78));
    CopyTextToClipboard("report");
    EXPECT_EQ(windows.clipboard, "report");
    SetOstrelWindows(nullptr);
    SnapshotProcessWindows();
    EXPECT_FALSE(IsInWindowList(0x78));
    EXPECT_EQ(GetProcessMainWindow(getpid()), 0u);
}

TEST(Support, ClassTestsOverRunTimeTypeInformation) {
    app::EDeviceError device;
    ESilent silent;
    app::EMixed mixed;
    EXPECT_TRUE(IsValidObject(&device));
    EXPECT_EQ(ClassName(ObjectClass(&device)), "app::EDeviceError");
    EXPECT_TRUE(ObjectInheritsFromName(&device, " std::runtime_error "));
    EXPECT_TRUE(ObjectInheritsFromName(&device, "EXCEPTION"));
    EXPECT_FALSE(ObjectInheritsFromName(&device, "EAbort"));
    EXPECT_TRUE(IsReportableException(&device));
    EXPECT_FALSE(IsReportableException(&silent));
    EXPECT_FALSE(IsReportableException(&mixed)); // EAbort through its second base
    EXPECT_TRUE(ObjectIsClass(&mixed, &typeid(std::logic_error)));
    EXPECT_FALSE(ObjectIsClass(&device, &typeid(std::logic_error)));
    EXPECT_TRUE(ObjectIsAnyClass(&device, {&typeid(std::logic_error), &typeid(std::runtime_error)}));
    EXPECT_FALSE(IsValidClass(&typeid(int)));

    TOstrelModuleOptions options("", false);
    options.FilterClasses().Add("ELater");
    options.FilterClasses().Add("app::EDeviceError");
    EXPECT_EQ(FindExceptionFilter(&device, options), 1);
    EXPECT_EQ(FindExceptionFilter(&silent, options), -1);

    // An object whose class pointer is unreadable, or that points at plain data, is no object.
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(page, MAP_FAILED);
    EXPECT_FALSE(IsValidObject(page));
    const void* toPage[2] = {page, page};
    EXPECT_FALSE(IsValidObject(&toPage[1]));
    uintptr_t garbage[4] = {0x1234, reinterpret_cast<uintptr_t>(&garbage[2]), 0x5555, 0};
    EXPECT_FALSE(IsValidObject(&garbage[1]));
    EXPECT_FALSE(IsReportableException(nullptr));
    munmap(page, 4096);
}

TEST(Support, MailDateZones) {
    const time_t moment = 1212491130; // Tue, 3 Jun 2008 11:05:30 UTC
    {
        TEnvironment tz("TZ", "XYZ-2");
        EXPECT_EQ(GetMailDate(moment), "Tue, 3 Jun 2008 13:05:30 +0200");
    }
    {
        TEnvironment tz("TZ", "XYZ+3");
        EXPECT_EQ(GetMailDate(moment), "Tue, 3 Jun 2008 08:05:30 -0300");
    }
    {
        TEnvironment tz("TZ", "IST-5:30");
        EXPECT_EQ(GetMailDate(moment), "Tue, 3 Jun 2008 16:35:30 +0530");
    }
    {
        TEnvironment tz("TZ", "XYZ-10");
        EXPECT_EQ(GetMailDate(moment), "Tue, 3 Jun 2008 21:05:30 +1000");
    }
    EXPECT_EQ(FormatMailZone(-570), "-0930");
}

TEST(Support, TextRoutines) {
    EXPECT_EQ(HTMLEncode("a & b <c> \"q\" 'x'  y\r\nz"),
              "a &amp; b &lt;c&gt; &quot;q&quot; &#039;x&#039;&nbsp;&nbsp;y<br>\r\nz");
    EXPECT_EQ(CollapseControlChars("a\r\n\tb\x01"
                                   "c"),
              "a b c");
    EXPECT_EQ(PosFrom("ab", "xabyab", 3), 5u);
    EXPECT_EQ(PosFrom("zz", "xabyab", 1), 0u);
    EXPECT_EQ(ReplaceText("aXbXc", "X", "--"), "a--b--c");
    std::vector<std::string> parts;
    SplitText(",;", " a , ;b;  ;c ", parts);
    EXPECT_EQ(parts, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(ChooseText(false, "a"), "");
    EXPECT_EQ(GetTempFolder().back(), '/');
}

TEST(Support, ThreadsAndProcess) {
    std::promise<pid_t> started;
    std::promise<void> release;
    std::thread worker([&, released = release.get_future()] {
        started.set_value(pid_t(syscall(SYS_gettid)));
        released.wait();
    });
    std::future<pid_t> running = started.get_future();
    if (running.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the thread did not start";
        release.set_value();
        worker.join();
        return;
    }
    const pid_t tid = running.get();
    EXPECT_TRUE(IsThreadAlive(tid));
    release.set_value();
    worker.join();
    // The kernel finishes a joined thread's exit a moment after the join returns.
    for (int i = 0; i < 2000 && IsThreadAlive(tid); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(IsThreadAlive(tid));
    EXPECT_FALSE(IsThreadAlive(0));

    int local = 0;
    const uintptr_t top = GetStackTop();
    EXPECT_GT(top, reinterpret_cast<uintptr_t>(&local));
    EXPECT_LT(top - reinterpret_cast<uintptr_t>(&local), uintptr_t(64) << 20);
    EXPECT_FALSE(IsDebuggerPresentEx());

    const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    EXPECT_TRUE(IsValidHandle(fd));
    close(fd);
    EXPECT_FALSE(IsValidHandle(fd));
}

TEST(Support, SharedBlocksAndPublishedOptions) {
    const TModuleHandle module = 0x5000;
    TSharedBlock none = OpenSharedBlock(module, "TEST", 0);
    EXPECT_EQ(none.Handle, 0u);
    EXPECT_EQ(OpenSharedBlock(module, "TEST", 0).Data, nullptr);

    TSharedBlock block = OpenSharedBlock(module, "TEST", 3);
    ASSERT_NE(block.Data, nullptr);
    block.Data[0] = 7;
    TSharedBlock again = OpenSharedBlock(module, "TEST", 0);
    EXPECT_EQ(SharedBlockDataSize(again), 3u);
    EXPECT_EQ(again.Data[0], 7);
    CloseSharedBlock(again);
    CloseSharedBlock(block);
    EXPECT_EQ(OpenSharedBlock(module, "TEST", 0).Data, nullptr);

    // The current options publish their stream for the other modules of the process.
    TOstrelModuleOptionsEx current("", true);
    SetCurrentOptions(&current);
    current.SetSMTPPassword("kept inside");
    TSharedBlock published = OpenSharedBlock(OwnModuleHandle(), "MODULE", 0);
    ASSERT_NE(published.Data, nullptr);
    EXPECT_EQ(published.Data[0], 1);
    TOstrelStream stream(published.Data + 1, SharedBlockDataSize(published) - 1);
    TOstrelModuleOptions reader("other.so", false);
    reader.LoadFromStream(stream);
    EXPECT_EQ(reader.SMTPPassword(), "kept inside");
    CloseSharedBlock(published);
    SetCurrentOptions(nullptr);
}

TEST(Support, FreezeWatchFollowsTheCurrentOptions) {
    static std::vector<bool> calls;
    calls.clear();
    SetFreezeWatchdogControl([](bool start) { calls.push_back(start); });
    TOstrelModuleOptionsEx current("", false), other("", false);
    SetCurrentOptions(&current);
    current.SetFreezeActive(true);
    current.SetFreezeActive(true); // unchanged: nothing
    current.SetActive(false);
    other.SetFreezeActive(true);
    EXPECT_EQ(calls, (std::vector<bool>{true, false}));
    SetCurrentOptions(nullptr);
    SetFreezeWatchdogControl(nullptr);
}

TEST(Support, RestartRunsTheProgramAgain) {
    testtools::TTempDir dir;
    const std::string out = dir.File("restarted.txt");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(dir.Path().c_str()) != 0)
            _exit(5);
        RecordStartFolder();
        if (chdir("/") != 0)
            _exit(5);
        const int leaked = open("/dev/null", O_RDONLY); // deliberately without close-on-exec
        setenv("VD_RESTART_FD", std::to_string(leaked).c_str(), 1);
        setenv("VD_RESTART_OUT", out.c_str(), 1);
        setenv("VD_RESTART_CHILD", "1", 1);
        // A report may run with signals ignored, handled or blocked; none of it is the new program's.
        signal(SIGXFSZ, SIG_IGN);
        signal(SIGPIPE, SIG_IGN);
        signal(SIGTERM, [](int) {});
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGUSR1);
        sigaddset(&blocked, SIGINT);
        pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
        RestartOrTerminate(true);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    // The restarted program renames its finished answer into place.
    EXPECT_TRUE(testtools::WaitForPath(out, 20000));
    const auto report = testtools::ReadFile(out);
    EXPECT_EQ(std::string(report.begin(), report.end()), dir.Path() + "\nclosed\n1\nSigBlk:0\nSigIgn:0\n");
}

namespace {

// The kept reports of the folder by what they hold, in the order of their names.
std::vector<std::string> KeptContents(const std::string& folder) {
    std::vector<std::string> contents;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!IsUnsentReportName(entry.path().filename().string()))
            continue;
        const auto data = testtools::ReadFile(entry.path().string());
        contents.emplace_back(data.begin(), data.end());
    }
    std::sort(contents.begin(), contents.end(),
              [](const std::string& a, const std::string& b) { return std::stoi(a) < std::stoi(b); });
    return contents;
}

} // namespace

// Every file with the same time, as on a file system of coarse times or after a restore: the order of
// keeping still decides, also for a freed name taken again ("CompressFiles.tgz" holding the newest).
TEST(Support, PruningKeepsTheLastKeptWhateverTheTimes) {
    testtools::TTempDir dir;
    const std::string folder = dir.Path() + "/";
    const timespec same[2] = {{1000000000, 0}, {1000000000, 0}};
    const auto keep = [&](int number) {
        const std::string name = UnusedFileName(folder, CompressFileName);
        const std::string text = std::to_string(number);
        testtools::WriteFile(name, std::vector<uint8_t>(text.begin(), text.end()));
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            ASSERT_EQ(::utimensat(AT_FDCWD, entry.path().c_str(), same, 0), 0);
        PruneUnsentReports(folder, 3, name);
    };
    for (int number = 1; number <= 8; ++number)
        keep(number);
    EXPECT_EQ(KeptContents(folder), (std::vector<std::string>{"6", "7", "8"}));
}

namespace {

// A folder of kept reports, each holding its number, with modification times set by the test (a second
// apart, or in an order of its own) instead of the moment the test happened to write them.
class TKeptFolder {
public:
    TKeptFolder() : m_folder(m_dir.Path() + "/") {}
    const std::string& Path() const { return m_folder; }
    std::string Record() const { return m_folder + KeptOrderFileName; }

    // Writes report number under the next free name (with stamped: under the report's time stamp, as
    // the reporter names them with SendFlags 0x0100), modified at the given second.
    std::string Put(int number, time_t modified, bool stamped = false) {
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "CompressFiles_202612080100%02d.tgz", number);
        const std::string name =
            stamped ? UnusedFileName(m_folder, stamp) : UnusedFileName(m_folder, CompressFileName);
        const std::string text = std::to_string(number);
        testtools::WriteFile(name, std::vector<uint8_t>(text.begin(), text.end()));
        const timespec times[2] = {{modified, 0}, {modified, 0}};
        EXPECT_EQ(::utimensat(AT_FDCWD, name.c_str(), times, 0), 0);
        m_names[number] = name;
        return name;
    }
    // Keeps report number as the reporter does: written, then the folder pruned.
    void Keep(int number, time_t modified, size_t keep = MaxUnsentReports, bool stamped = false) {
        PruneUnsentReports(m_folder, keep, Put(number, modified, stamped));
    }
    void DeleteByHand(int number) { ASSERT_EQ(::unlink(m_names.at(number).c_str()), 0); }
    std::string Text(const std::string& path) const {
        const auto data = testtools::ReadFile(path);
        return std::string(data.begin(), data.end());
    }

private:
    testtools::TTempDir m_dir;
    std::string m_folder;
    std::map<int, std::string> m_names;
};

std::vector<std::string> Numbers(std::initializer_list<int> numbers) {
    std::vector<std::string> texts;
    for (int n : numbers)
        texts.push_back(std::to_string(n));
    return texts;
}

constexpr time_t Base = 1700000000;

} // namespace

// Reports the user deleted by hand leave room: the record still names them, but only reports that are
// there count towards the ten kept, and the record forgets the deleted ones. Both with freed names taken
// again and with time-stamped names, which never come back.
TEST(Support, ReportsDeletedByHandLeaveRoomForNewOnes) {
    for (const bool stamped : {false, true}) {
        SCOPED_TRACE(stamped ? "time-stamped names" : "numbered names");
        TKeptFolder folder;
        for (int n = 1; n <= 10; ++n)
            folder.Keep(n, Base + n, MaxUnsentReports, stamped);
        for (int n : {6, 7, 8})
            folder.DeleteByHand(n);
        for (int n = 11; n <= 13; ++n)
            folder.Keep(n, Base + n, MaxUnsentReports, stamped);
        EXPECT_EQ(KeptContents(folder.Path()), Numbers({1, 2, 3, 4, 5, 9, 10, 11, 12, 13}));
        // The record names each kept report once, and nothing else.
        const std::string record = folder.Text(folder.Record());
        EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 10) << record;
        folder.Keep(14, Base + 14, MaxUnsentReports, stamped); // now the earliest kept goes
        EXPECT_EQ(KeptContents(folder.Path()), Numbers({2, 3, 4, 5, 9, 10, 11, 12, 13, 14}));
    }
}

// A folder from before the record existed (after an upgrade), or whose record was deleted: the reports
// count as kept in the order of their times, whatever their names say, and the earliest go first.
TEST(Support, WithoutTheRecordTheEarliestModifiedReportsGoFirst) {
    TKeptFolder folder;
    // Names given in one order, times in the reverse: report 12 is the earliest, 1 the latest.
    for (int n = 1; n <= 12; ++n)
        folder.Put(n, Base + 100 - n);
    folder.Keep(13, Base + 200);
    EXPECT_EQ(KeptContents(folder.Path()), Numbers({1, 2, 3, 4, 5, 6, 7, 8, 9, 13}));
    // The record now exists and holds the order: the next report drops the earliest of the rest.
    EXPECT_NE(folder.Text(folder.Record()).find("CompressFiles_012.tgz"), std::string::npos);
    folder.Keep(14, Base + 201);
    EXPECT_EQ(KeptContents(folder.Path()), Numbers({1, 2, 3, 4, 5, 6, 7, 8, 13, 14}));
}

// Two users of a group keep their reports in one folder (beside a log they share), one after the other:
// each follows the order of keeping the other recorded, so that the earliest kept report goes, whoever
// kept it, never the other user's latest.
TEST(Support, UsersSharingTheFolderFollowOneOrderOfKeeping) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs two other users";
    TKeptFolder folder;
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0777), 0);
    const auto keepAs = [&](uid_t user, int number) {
        const ::testing::TestResult& result =
            *::testing::UnitTest::GetInstance()->current_test_info()->result();
        const int parts = result.total_part_count();
        const pid_t child = ::fork();
        if (child == 0) {
            const gid_t groups[] = {42};
            if (::setgroups(1, groups) != 0 || ::setgid(42) != 0 || ::setuid(user) != 0)
                ::_exit(2);
            folder.Keep(number, Base + number, 2);
            ::_exit(result.total_part_count() > parts ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    };
    keepAs(4241, 1);
    keepAs(4242, 2);
    keepAs(4241, 3);
    EXPECT_EQ(KeptContents(folder.Path()), Numbers({2, 3}));
    keepAs(4242, 4);
    EXPECT_EQ(KeptContents(folder.Path()), Numbers({3, 4}));
}

// A record that cannot be used (larger than a record can be, not a file) is neither followed nor
// replaced: the times decide. One of exactly the largest size is still read and followed, garbage lines
// and names of no report in it ignored.
TEST(Support, AnUnusableRecordIsNeitherFollowedNorReplaced) {
    constexpr size_t Largest = 64 * 1024;
    for (const size_t size : {Largest, Largest + 1}) {
        SCOPED_TRACE(size);
        TKeptFolder folder;
        // The record says 1 was kept last and 4 first; the times say the reverse.
        std::string record = "CompressFiles_003.tgz\n\x01\xFFgarbage\nCompressFiles_777.tgz\n"
                             "CompressFiles_002.tgz\nCompressFiles_001.tgz\nCompressFiles.tgz\n";
        record += std::string(size - record.size() - 1, 'x') + "\n";
        ASSERT_EQ(record.size(), size);
        testtools::WriteFile(folder.Record(), std::vector<uint8_t>(record.begin(), record.end()));
        for (int n = 1; n <= 4; ++n)
            folder.Put(n, Base + 10 * n);
        folder.Keep(5, Base + 100, 3);
        if (size == Largest) {
            // Reports 1 to 4 lie under CompressFiles.tgz, _001, _002, _003: kept in the order 4, 3, 2, 1.
            EXPECT_EQ(KeptContents(folder.Path()), Numbers({1, 2, 5}));
        } else {
            EXPECT_EQ(KeptContents(folder.Path()), Numbers({3, 4, 5}));
            EXPECT_EQ(folder.Text(folder.Record()), record);
        }
    }
    // A record that is a FIFO: never opened for writing, never waited on.
    TKeptFolder folder;
    ASSERT_EQ(::mkfifo(folder.Record().c_str(), 0600), 0);
    for (int n = 1; n <= 4; ++n)
        folder.Put(n, Base + 10 * n);
    folder.Keep(5, Base + 100, 3);
    EXPECT_EQ(KeptContents(folder.Path()), Numbers({3, 4, 5}));
    struct stat info {};
    ASSERT_EQ(::lstat(folder.Record().c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}
