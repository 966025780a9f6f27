#include "OSystemInfo.h"

#include "Shell.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace reporter;
using namespace repsys;

TEST(SystemFormats, UpTime) {
    EXPECT_EQ(FormatUpTime(0), "0 minute, 0 second");
    EXPECT_EQ(FormatUpTime(59'999), "0 minute, 59 seconds");
    EXPECT_EQ(FormatUpTime(61'000), "1 minute, 1 second");
    // Below one hour neither days nor hours show.
    EXPECT_EQ(FormatUpTime((59 * 60 + 2) * 1000ull), "59 minutes, 2 seconds");
    EXPECT_EQ(FormatUpTime(3'600'000), "1 hour, 0 minute, 0 second");
    // More than a day starts with the days; zero hours are left out.
    EXPECT_EQ(FormatUpTime((86400 + 120 + 3) * 1000ull), "1 day, 2 minutes, 3 seconds");
    EXPECT_EQ(FormatUpTime((2 * 86400 + 5 * 3600 + 7) * 1000ull), "2 days, 5 hours, 0 minute, 7 seconds");
    // Past the 49.7 days at which a 32-bit millisecond count wraps.
    EXPECT_EQ(FormatUpTime(60ull * 86400 * 1000), "60 days, 0 minute, 0 second");
}

TEST(SystemFormats, MemoryAndDisk) {
    EXPECT_EQ(FormatMegabytes(0), "0 Mb");
    EXPECT_EQ(FormatMegabytes(1048576ull * 16000), "16000 Mb");
    EXPECT_EQ(FormatMegabytes(1048576ull * 3 + 524288), "4 Mb"); // half-way: to the even neighbour
    EXPECT_EQ(FormatMegabytes(1048576ull * 2 + 524288), "2 Mb");
    EXPECT_EQ(FormatMegabytes(1048576ull * 2 + 524289), "3 Mb");
    constexpr uint64_t gb = 1073741824ull;
    EXPECT_EQ(FormatGigabytes(0), "0 Gb");
    EXPECT_EQ(FormatGigabytes(2 * gb), "2 Gb");
    EXPECT_EQ(FormatGigabytes(gb + gb / 2), "1.5 Gb");
    EXPECT_EQ(FormatGigabytes(gb + gb / 4), "1.25 Gb");
    EXPECT_EQ(FormatGigabytes(gb / 1000), "0 Gb");
    EXPECT_EQ(FormatGigabytes(gb * 999 / 1000), "1 Gb"); // 0.999 rounds up to a whole number
    EXPECT_EQ(FormatGigabytes(4000ull * gb + gb / 100), "4000.01 Gb");
}

TEST(SystemFormats, ParametersAreQuotedOneByOne) {
    EXPECT_EQ(FormatParameters({}), "");
    EXPECT_EQ(FormatParameters({"-v", "my file.txt"}), "\"-v\" \"my file.txt\"");
}

TEST(SystemParsers, ProcessorName) {
    const std::string x86 = "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\n"
                            "model name\t:   Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz  \nstepping\t: 10\n\n"
                            "processor\t: 1\nmodel name\t: Second\n";
    EXPECT_EQ(ProcessorNameFromCpuInfo(x86), "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");
    const std::string noName = "processor\t: 0\nvendor_id\t: AuthenticAMD\ncpu family\t: 25\nmodel\t\t: 17\n"
                               "stepping\t: 1\n";
    EXPECT_EQ(ProcessorNameFromCpuInfo(noName), "AuthenticAMD - Family 25 Model 17 Stepping 1");
    EXPECT_EQ(ProcessorNameFromCpuInfo("Processor\t: ARMv7 Processor rev 4 (v7l)\n"),
              "ARMv7 Processor rev 4 (v7l)");
    EXPECT_EQ(ProcessorNameFromCpuInfo("vendor_id\t: X\n"), "Unknown processor");
    EXPECT_EQ(ProcessorNameFromCpuInfo(""), "Unknown processor");
}

TEST(SystemParsers, MemInfo) {
    const std::string text =
        "MemTotal:       16310000 kB\nMemFree:         1000 kB\nHugePages_Total:       0\n";
    EXPECT_EQ(MemInfoValue(text, "MemTotal"), 16310000ull * 1024);
    EXPECT_EQ(MemInfoValue(text, "HugePages_Total"), 0u);
    EXPECT_FALSE(MemInfoValue(text, "MemAvailable").has_value());
    EXPECT_FALSE(MemInfoValue("MemTotal: lots\n", "MemTotal").has_value());
}

TEST(SystemParsers, OsReleaseAndLocaleFiles) {
    const std::string text =
        "# comment\nNAME=\"Some Linux\"\nVERSION='1 (\"quoted\")'\n"
        "PRETTY_NAME=\"Some \\\"Linux\\\" 1\"\nID=some\nexport LANG=de_DE.UTF-8\nbroken\n";
    const auto values = ParseAssignments(text);
    EXPECT_EQ(values.at("NAME"), "Some Linux");
    EXPECT_EQ(values.at("VERSION"), "1 (\"quoted\")");
    EXPECT_EQ(values.at("PRETTY_NAME"), "Some \"Linux\" 1");
    EXPECT_EQ(values.at("ID"), "some");
    EXPECT_EQ(values.at("LANG"), "de_DE.UTF-8");
    EXPECT_EQ(values.count("broken"), 0u);
    EXPECT_EQ(SystemNameFromOsRelease(text), "Some \"Linux\" 1");
    EXPECT_EQ(SystemNameFromOsRelease("NAME=Other\nVERSION=\"2 (x)\"\n"), "Other 2 (x)");
    EXPECT_EQ(SystemNameFromOsRelease("ID=none\n"), "");
}

TEST(SystemParsers, RemoveControlCharsKeepsLineBreaks) {
    EXPECT_EQ(RemoveControlChars(std::string("a\tb\r\nc\x01\x02") + '\0' + "d"), "a b\r\nc   d");
}

// The collectors against the system's own views of the same values.
TEST(SystemCollectors, NamesMatchTheSystem) {
    utsname name{};
    ASSERT_EQ(uname(&name), 0);
    EXPECT_EQ(GetComputerName(), name.nodename);
    EXPECT_EQ(GetSystemBuildNumber(), name.release);
    EXPECT_EQ(GetSystemUpdateText(), Shell("uname -v").Output);

    const passwd* entry = getpwuid(geteuid());
    if (entry != nullptr) {
        EXPECT_EQ(GetUserName(), entry->pw_name);
    } else
        EXPECT_EQ(GetUserName(), Shell("printf %s \"$USER\"").Output);
}

TEST(SystemCollectors, SystemNameAsTheShellReadsOsRelease) {
    const TShellResult shell =
        Shell("for f in /etc/os-release /usr/lib/os-release; do [ -r $f ] && { . $f; break; }; done; "
              "printf %s \"$PRETTY_NAME\"");
    if (shell.Output.empty()) {
        EXPECT_EQ(GetWindowsVersionName(), Shell("uname -s").Output);
    } else
        EXPECT_EQ(GetWindowsVersionName(), shell.Output);
}

TEST(SystemCollectors, MemoryAgainstMemInfoAndSysinfo) {
    const auto total = GetTotalMemory();
    ASSERT_TRUE(total.has_value());
    const TShellResult memTotal = Shell("awk '/^MemTotal:/ { print $2 }' /proc/meminfo");
    EXPECT_EQ(*total, std::stoull(memTotal.Output) * 1024);
    const auto free = GetFreeMemory();
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0u);
    EXPECT_LE(*free, *total);
}

TEST(SystemCollectors, DiskSpaceAsDfSeesIt) {
    const auto disk = GetDiskSpace("/tmp");
    ASSERT_TRUE(disk.has_value());
    struct statvfs info {};
    ASSERT_EQ(statvfs("/tmp", &info), 0);
    EXPECT_EQ(disk->Total, uint64_t(info.f_blocks) * info.f_frsize);
    if (HasTool("df")) {
        const TShellResult df = Shell("df -P -B1 /tmp | awk 'NR == 2 { print $2 }'");
        if (df.ExitCode == 0 && !df.Output.empty()) {
            EXPECT_EQ(disk->Total, std::stoull(df.Output));
        }
    }
    EXPECT_LE(disk->FreeToCaller, disk->Total);
    EXPECT_FALSE(GetDiskSpace("/no/such/folder/at/all").has_value());
    EXPECT_FALSE(GetDiskSpace("").has_value());
}

TEST(SystemCollectors, UpTimeAgainstProcUptime) {
    const double before = std::stod(Shell("cut -d' ' -f1 /proc/uptime").Output);
    const auto upTime = GetUpTimeMilliseconds();
    const double after = std::stod(Shell("cut -d' ' -f1 /proc/uptime").Output);
    ASSERT_TRUE(upTime.has_value());
    EXPECT_GE(double(*upTime) / 1000, before - 1);
    EXPECT_LE(double(*upTime) / 1000, after + 1);
}

TEST(SystemCollectors, ProcessorNameAsInCpuInfo) {
    const TShellResult model = Shell(
        "awk -F: '/^model name/ { sub(/^[ \\t]+/, \"\", $2); sub(/[ \\t]+$/, \"\", $2); print $2; exit }' "
        "/proc/cpuinfo");
    if (model.Output.empty())
        GTEST_SKIP() << "this processor's cpuinfo names no model";
    EXPECT_EQ(GetProcessorName(), model.Output);
}

TEST(SystemCollectors, Language) {
    EXPECT_EQ(GetLocaleLanguageName(""), "");
    EXPECT_EQ(GetLocaleLanguageName("C"), "");
    EXPECT_EQ(GetLocaleLanguageName("POSIX"), "");
    EXPECT_EQ(GetLocaleLanguageName("xx_NOWHERE.UTF-8"), "");
    EXPECT_EQ(GetLocaleLanguageName("../../etc/passwd"), "");
    if (Shell("locale -a 2>/dev/null | grep -qix 'de_DE.utf8'").ExitCode == 0) {
        EXPECT_EQ(GetLocaleLanguageName("de_DE.UTF-8"), "German");
    }
    if (Shell("locale -a 2>/dev/null | grep -qix 'en_US.utf8'").ExitCode == 0) {
        EXPECT_EQ(GetLocaleLanguageName("en_US.UTF-8"), "English");
    }
    EXPECT_EQ(GetSystemLanguage(), GetLocaleLanguageName(GetSystemDefaultLocaleName()));
}

namespace {

// Sets an environment variable for the scope and puts the earlier value back.
class TEnvironmentScope {
public:
    TEnvironmentScope(const char* name, const std::string& value) : m_name(name) {
        const char* old = getenv(name);
        m_had = old != nullptr;
        if (m_had)
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~TEnvironmentScope() {
        if (m_had)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had = false;
    std::string m_old;
};

} // namespace

// A German locale compiled for the test alone, so the language is known whatever this system installed.
TEST(SystemCollectors, LanguageOfACompiledLocale) {
    if (!HasTool("localedef") || access("/usr/share/i18n/locales/de_DE", R_OK) != 0)
        GTEST_SKIP() << "no locale sources to compile";
    char folder[] = "/tmp/repsys-locale-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string folderText = folder;
    const bool built = Shell("localedef -i de_DE -f UTF-8 '" + folderText +
                             "/de_DE.UTF-8' >/dev/null 2>&1; "
                             "test -e '" +
                             folderText + "/de_DE.UTF-8'")
                           .ExitCode == 0;
    if (built) {
        TEnvironmentScope path("LOCPATH", folderText);
        EXPECT_EQ(GetLocaleLanguageName("de_DE.UTF-8"), "German");
        TEnvironmentScope all("LC_ALL", "de_DE.UTF-8");
        if (GetSystemDefaultLocaleName() == "de_DE.UTF-8") {
            EXPECT_EQ(GetSystemLanguage(), "German");
        }
    }
    Shell("rm -rf '" + folderText + "'");
    if (!built)
        GTEST_SKIP() << "localedef could not compile the locale";
}

TEST(SystemCollectors, StartTimeOfAFreshProcess) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const time_t before = time(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const time_t start = GetProcessStartTime();
        (void)!write(fds[1], &start, sizeof start);
        _exit(0);
    }
    close(fds[1]);
    time_t start = 0;
    ASSERT_EQ(read(fds[0], &start, sizeof start), ssize_t(sizeof start));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    // The boot time is kept in whole seconds, so the start may read one second early.
    EXPECT_GE(start, before - 2);
    EXPECT_LE(start, time(nullptr) + 1);
}

// Run as a child with extra parameters by the test below; prints what the reporter sees.
TEST(RepsysProbe, Parameters) {
    if (getenv("REPSYS_PROBE") == nullptr)
        GTEST_SKIP() << "only run as a child";
    printf("PARAMETERS<%s>\n", FormatParameters(GetProgramParameters()).c_str());
}

TEST(SystemCollectors, ParametersOfTheCommandLine) {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    self[length] = '\0';
    const TShellResult result =
        Shell(std::string("REPSYS_PROBE=1 '") + self + "' --gtest_filter=RepsysProbe.Parameters 'two words'");
    EXPECT_NE(result.Output.find("PARAMETERS<\"--gtest_filter=RepsysProbe.Parameters\" \"two words\">"),
              std::string::npos)
        << result.Output;
}
