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
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/mman.h>
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
    std::atomic<pid_t> tid{0};
    std::atomic<bool> release{false};
    std::thread worker([&] {
        tid = pid_t(syscall(SYS_gettid));
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (tid == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(IsThreadAlive(tid));
    release = true;
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
    for (int i = 0; i < 500 && access(out.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
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
