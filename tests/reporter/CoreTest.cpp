#include "OCore.h"
#include "OMemory.h"
#include "OOptions.h"

#include "tests/support/TestTools.h"

#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace reporter;

namespace {

// Three adjacent pages: read-write, read-only, and a third whose protection the test picks.
class TPages {
public:
    explicit TPages(int thirdProtection) {
        m_base = static_cast<uint8_t*>(
            mmap(nullptr, 3 * Page(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        EXPECT_NE(m_base, MAP_FAILED);
        EXPECT_EQ(mprotect(m_base + Page(), Page(), PROT_READ), 0);
        EXPECT_EQ(mprotect(m_base + 2 * Page(), Page(), thirdProtection), 0);
    }
    ~TPages() { munmap(m_base, 3 * Page()); }
    uintptr_t At(size_t offset) const { return reinterpret_cast<uintptr_t>(m_base) + offset; }
    static size_t Page() { return size_t(sysconf(_SC_PAGESIZE)); }

private:
    uint8_t* m_base;
};

class TEnvironment {
public:
    TEnvironment(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = getenv(name))
            m_old = old, m_had = true;
        setenv(name, value.c_str(), 1);
        tzset();
    }
    ~TEnvironment() {
        if (m_had)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
        tzset();
    }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

} // namespace

TEST(Core, ReadabilityAcrossRegions) {
    const size_t page = TPages::Page();
    {
        TPages pages(PROT_READ);
        EXPECT_TRUE(IsValidBlockAddr(pages.At(page / 2), 2 * page));
        EXPECT_EQ(ReadableSize(pages.At(0), 3 * page), 3 * page);
    }
    {
        TPages pages(PROT_NONE);
        EXPECT_FALSE(IsValidBlockAddr(pages.At(page / 2), 2 * page));
        EXPECT_EQ(ReadableSize(pages.At(10), 3 * page), 2 * page - 10);
        EXPECT_EQ(ReadableSize(pages.At(2 * page), 16), 0u);
        uint8_t buffer[16];
        EXPECT_FALSE(SafeRead(pages.At(2 * page - 8), buffer, 16));
        EXPECT_TRUE(SafeRead(pages.At(2 * page - 16), buffer, 16));
    }
    EXPECT_FALSE(IsValidBlockAddr(uintptr_t(0), 1));
    EXPECT_FALSE(IsValidBlockAddr(~uintptr_t(0) - 3, 100));
}

TEST(Core, ImportJumpResolution) {
    alignas(16) uint8_t code[64] = {};
    const uintptr_t target = 0x123456789ABCull;
    std::memcpy(code + 48, &target, 8);
    // jmp *rel(%rip) at 0 with the slot at 48.
    code[0] = 0xFF;
    code[1] = 0x25;
    const int32_t rel = 48 - 6;
    std::memcpy(code + 2, &rel, 4);
    EXPECT_EQ(ResolveImportJump(reinterpret_cast<uintptr_t>(code)), target);
    // endbr64; bnd jmp *rel(%rip) at 16.
    const uint8_t secure[] = {0xF3, 0x0F, 0x1E, 0xFA, 0xF2, 0xFF, 0x25};
    std::memcpy(code + 16, secure, sizeof secure);
    const int32_t rel2 = 48 - (16 + 11);
    std::memcpy(code + 23, &rel2, 4);
    EXPECT_EQ(ResolveImportJump(reinterpret_cast<uintptr_t>(code + 16)), target);
    // Anything else stands for itself.
    EXPECT_EQ(ResolveImportJump(reinterpret_cast<uintptr_t>(code + 30)),
              reinterpret_cast<uintptr_t>(code + 30));
    EXPECT_EQ(ResolveImportJump(0), 0u);
}

TEST(Core, LogFileNames) {
    TOstrelModuleOptions o("/app/prog.bin", false);
    EXPECT_EQ(GetLogFileNameEx(o), "/app/prog.olf");
    o.SetLogFlags(0x08);
    EXPECT_EQ(GetLogFileNameEx(o), "/app/prog_" + ValidComputerName() + ".olf");
    o.SetLogFlags(0);
    o.SetLogFileLocation("/logs");
    EXPECT_EQ(GetLogFileNameEx(o), "/logs/prog.olf");
    o.SetLogFileLocation("/logs/all.olf");
    EXPECT_EQ(GetLogFileNameEx(o), "/logs/all.olf");
    EXPECT_EQ(ValidComputerName("PC:1*<x>|?\"/\\"), "PC_1__x______");
    EXPECT_EQ(IncludeTrailingBackslashEx(""), "/");
    EXPECT_EQ(IncludeTrailingBackslashEx("/a"), "/a/");
    EXPECT_EQ(IncludeTrailingBackslashEx("/a/"), "/a/");
}

TEST(Core, FileTestsAndLogFolderFallBack) {
    testtools::TTempDir dir;
    const std::string fresh = dir.File("fresh.olf");
    EXPECT_TRUE(CanWriteFile(fresh));
    EXPECT_FALSE(CanReadFile(fresh)); // the probe leaves nothing behind
    testtools::WriteFile(fresh, {1});
    EXPECT_TRUE(CanReadFile(fresh));
    EXPECT_TRUE(CanWriteFile(fresh));
    EXPECT_TRUE(IsDirectory(dir.Path()));
    EXPECT_FALSE(IsDirectory(fresh));
    EXPECT_GT(GetFileDateTime(fresh), 0);
    EXPECT_EQ(GetFileDateTime(dir.File("none")), 0);

    TEnvironment home("HOME", dir.Path());
    std::string path = "/proc/no-such-folder/report.olf";
    ASSERT_TRUE(CheckLogPath(path, false, false));
    EXPECT_EQ(path, dir.Path() + "/OstrelLog/report.olf");
    path = "/proc/no-such-folder/report.olf";
    ASSERT_TRUE(CheckLogPath(path, false, true));
    EXPECT_EQ(path.rfind(dir.Path() + "/OstrelLog/test_reporter/report.olf", 0), 0u) << path;
    std::string readOnly = "/proc/no-such-folder/missing.olf";
    EXPECT_FALSE(CheckLogPath(readOnly, true, false));
    EXPECT_EQ(readOnly, "/proc/no-such-folder/missing.olf");
    EXPECT_EQ(GetUserProfileFolder(), dir.Path());
}

TEST(Core, ALogInAFolderThatTakesNoNewFileFallsBack) {
    // The log is replaced through a new file beside it: a writable file alone is not enough.
    testtools::TTempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.File("closed").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.File("home").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(dir.File("home").c_str(), 0777), 0);
    const std::string log = dir.File("closed/app.olf");
    testtools::WriteFile(log, {1});
    ASSERT_EQ(::chmod(log.c_str(), 0666), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 ? ::setuid(65534) != 0 : ::chmod(dir.File("closed").c_str(), 0555) != 0)
            ::_exit(2);
        ::setenv("HOME", dir.File("home").c_str(), 1);
        std::string path = log;
        std::string readOnly = log;
        const bool moved =
            CheckLogPath(path, false, false) && path == dir.File("home") + "/OstrelLog/app.olf";
        const bool kept = CheckLogPath(readOnly, true, false) && readOnly == log;
        ::_exit(moved && kept ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ::chmod(dir.File("closed").c_str(), 0755);
}

// Neither the log's folder nor the home takes the log: the user's state folder does, else a private
// folder under $TMPDIR; standard error names the place.
TEST(Core, ALogThatNoFolderTakesGoesToTheStateFolderOrAPrivateTemporaryOne) {
    testtools::TTempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    for (const char* name : {"closed", "state", "tmp"})
        ASSERT_EQ(::mkdir(dir.File(name).c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir.File("closed").c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.File("state").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(dir.File("tmp").c_str(), 0777), 0);
    const std::string user = std::to_string(::geteuid() == 0 ? 65534 : ::geteuid());
    struct TCase {
        const char* State; // $XDG_STATE_HOME, none when empty
        std::string Expected;
    };
    const std::vector<TCase> cases = {
        {"state", dir.File("state/OstrelLog/app.olf")},
        {"closed", dir.File("tmp/OstrelLog-" + user + "/app.olf")},
        {"", dir.File("tmp/OstrelLog-" + user + "/app.olf")},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.State);
        const std::string said = dir.File("stderr.txt");
        const pid_t child = ::fork();
        if (child == 0) {
            const int err = ::open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            if (err < 0 || ::dup2(err, STDERR_FILENO) < 0 || (::geteuid() == 0 && ::setuid(65534) != 0))
                ::_exit(2);
            ::setenv("HOME", dir.File("closed").c_str(), 1);
            ::setenv("TMPDIR", dir.File("tmp").c_str(), 1);
            if (*c.State != '\0')
                ::setenv("XDG_STATE_HOME", dir.File(c.State).c_str(), 1);
            else
                ::unsetenv("XDG_STATE_HOME");
            std::string path = dir.File("closed/app.olf");
            ::_exit(CheckLogPath(path, false, false) && path == c.Expected && CanWriteFile(path) ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        const std::vector<uint8_t> bytes = testtools::ReadFile(said);
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_NE(text.find("\"" + c.Expected + "\" is used instead."), std::string::npos) << text;
    }
    struct stat info {};
    ASSERT_EQ(::stat(dir.File("tmp/OstrelLog-" + user).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(Core, TimeZoneInMinutes) {
    {
        TEnvironment tz("TZ", "IST-5:30");
        EXPECT_EQ(GetTimeZoneMinutes(1212491130), 330);
        EXPECT_EQ(GetTimeZoneHours(1212491130), 6);
    }
    {
        TEnvironment tz("TZ", "XYZ+3");
        EXPECT_EQ(GetTimeZoneMinutes(1212491130), -180);
        EXPECT_EQ(GetTimeZoneHours(1212491130), -3);
    }
}
