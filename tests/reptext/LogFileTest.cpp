#include "ReportFixture.h"

#include "OErrors.h"
#include "OFiles.h"
#include "OLastError.h"
#include "OLogFile.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace reporter;
using namespace reptest;

namespace {

// A report of the fixed inputs whose message tells it apart.
std::string Report(const std::string& message, const std::string& module = "app") {
    TFixedReport fixture;
    fixture.SetGeneral("0000555500001234", module, "std::runtime_error", message);
    return fixture.Build().Report;
}

std::string Stored(const std::string& report) {
    std::string text = report;
    while (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        text.resize(text.size() - 2);
    return text + "\r\n\r\n\r\n";
}

std::vector<std::string> Messages(const TLogFile& log) {
    std::vector<std::string> messages;
    for (int i = 0; i < log.Count(); ++i)
        messages.push_back(log.GetFieldValue("2.5", i));
    return messages;
}

// The user's fallback folder goes into the test's folder instead of the real home.
class THome {
public:
    explicit THome(const std::string& folder) : m_old(getenv("HOME") ? getenv("HOME") : "") {
        setenv("HOME", folder.c_str(), 1);
    }
    ~THome() { setenv("HOME", m_old.c_str(), 1); }

private:
    std::string m_old;
};

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(LogFile, SavedReportsReadBackUnchanged) {
    TTempDir dir;
    const std::string path = dir.File("app.olf");
    {
        TLogFile log(path, false);
        EXPECT_EQ(log.Count(), 0);
        log.AddReport(Report("First."), 32);
        log.AddReport(Report("Second line one.\r\n\r\nline: three"), 32);
        log.AddReport(Report("Third."), 32);
        log.Save();
        EXPECT_EQ(ReadFile(path), log.GetText());
    }
    const std::string file = ReadFile(path);
    // Each report, its three line breaks, one more between reports; the file ends in the three.
    EXPECT_EQ(file, Stored(Report("First.")) + "\r\n" +
                        Stored(Report("Second line one.\r\n\r\nline: three")) + "\r\n" +
                        Stored(Report("Third.")));

    TLogFile again(path, true);
    ASSERT_EQ(again.Count(), 3);
    EXPECT_EQ(again.Reports(1), Stored(Report("Second line one.\r\n\r\nline: three")));
    EXPECT_EQ(Messages(again),
              (std::vector<std::string>{"First.", "Second line one.\r\n.\r\nline:_three", "Third."}));
    EXPECT_EQ(again.GetText(), file);
    EXPECT_THROW(again.Reports(3), Exception);
    EXPECT_EQ(again.GetFieldValue("2.5", 3), "");
    EXPECT_EQ(again.GetFieldValue("9.9", 0), "");
    EXPECT_THROW(again.Save(), EFileError); // opened for reading only

    // Saving what was read changes nothing.
    TLogFile writer(path, false);
    writer.Save();
    EXPECT_EQ(ReadFile(path), file);
}

TEST(LogFile, TheMaximumKeepsTheNewestReports) {
    TTempDir dir;
    TLogFile log(dir.File("app.olf"), false);
    for (const char* m : {"A.", "B.", "C."})
        log.AddReport(Report(m), 3);
    log.AddReport(Report("D."), 3);
    EXPECT_EQ(Messages(log), (std::vector<std::string>{"B.", "C.", "D."}));
    // A smaller maximum drops as many as needed at once; none below one keeps only the new report.
    log.AddReport(Report("E."), 2);
    EXPECT_EQ(Messages(log), (std::vector<std::string>{"D.", "E."}));
    log.AddReport(Report("F."), 0);
    EXPECT_EQ(Messages(log), (std::vector<std::string>{"F."}));
    log.AddReport(Report("G."), -4);
    EXPECT_EQ(Messages(log), (std::vector<std::string>{"G."}));
    log.Save();
    EXPECT_EQ(TLogFile(dir.File("app.olf"), true).Count(), 1);

    log.AddReport(Report("H."), 10);
    log.DeleteReport(0);
    EXPECT_EQ(Messages(log), (std::vector<std::string>{"H."}));
    log.Clear();
    log.Save();
    EXPECT_EQ(ReadFile(dir.File("app.olf")), "");
}

TEST(LogFile, DamagedFilesLoseNoReadableReport) {
    TTempDir dir;
    const std::string path = dir.File("app.olf");
    const std::string a = Stored(Report("A."));
    const std::string b = Stored(Report("B."));

    // The last report without its line breaks.
    WriteFile(path, a + "\r\n" + b.substr(0, b.size() - 6));
    EXPECT_EQ(Messages(TLogFile(path, true)), (std::vector<std::string>{"A.", "B."}));

    // Text without a table between two reports is no report.
    WriteFile(path, a + "\r\nnothing to see\r\n\r\n\r\n\r\n" + b);
    EXPECT_EQ(Messages(TLogFile(path, true)), (std::vector<std::string>{"A.", "B."}));

    // Line feeds alone (an editor saved it) and extra empty lines between reports.
    std::string lf;
    for (const char c : a + "\r\n\r\n\r\n" + b)
        if (c != '\r')
            lf += c;
    WriteFile(path, lf);
    {
        TLogFile log(path, true);
        EXPECT_EQ(Messages(log), (std::vector<std::string>{"A.", "B."}));
        EXPECT_EQ(log.Reports(0), a);
        EXPECT_EQ(log.Reports(1), b);
    }

    // Cut off inside the second report's General part: that piece has no table and goes; the first
    // stays, and saving keeps it.
    WriteFile(path, a + "\r\n" + b.substr(0, 200));
    {
        TLogFile log(path, false);
        EXPECT_EQ(Messages(log), (std::vector<std::string>{"A."}));
        log.AddReport(Report("C."), 32);
        log.Save();
    }
    EXPECT_EQ(Messages(TLogFile(path, true)), (std::vector<std::string>{"A.", "C."}));

    // Binary garbage, zero bytes included, around a report.
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += char((i * 7919) % 256);
    WriteFile(path, garbage + "\r\n\r\n\r\n\r\n" + a + "\r\n" + garbage);
    EXPECT_NO_THROW({
        TLogFile log(path, true);
        EXPECT_GE(log.Count(), 1);
        EXPECT_EQ(log.GetFieldValue("2.5", 0), "A.");
    });

    // Too short to hold anything.
    WriteFile(path, "\r\n\r\n");
    EXPECT_EQ(TLogFile(path, true).Count(), 0);
}

TEST(LogFile, AnOversizedFileIsRefusedAndLeftAlone) {
    TTempDir dir;
    const std::string path = dir.File("app.olf");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t(MaxLogFileSize) + 1), 0); // sparse: costs no disk
    ::close(fd);
    try {
        TLogFile log(path, false);
        FAIL() << "an oversized log was loaded";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("larger than 64 MB"), std::string::npos) << e.what();
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(uint64_t(info.st_size), uint64_t(MaxLogFileSize) + 1);
}

// Saves one more report in a child process that cannot finish the write: the folder takes no new file
// (the child is not the folder's owner), or the disk is full (a file size limit stands for it). Returns
// the child's exit code: 0 when saving raised, 1 when it claimed success, 2 when the set-up failed.
int SaveInCrippledChild(const std::string& path, bool folderClosed) {
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            TLogFile log(path, false);
            log.AddReport(Report(std::string(8192, 'X')), 2); // drops the oldest report too
            if (folderClosed) {
                // An unprivileged user in a folder that is not its own, or a folder closed for writing.
                if (::geteuid() == 0 ? ::setuid(65534) != 0
                                     : ::chmod(ExtractFilePath(path).c_str(), 0555) != 0)
                    ::_exit(2);
            } else {
                // The signal keeps its default action, which would end the child inside the save.
                struct stat info {};
                if (::stat(path.c_str(), &info) != 0)
                    ::_exit(2);
                // Room for the old reports and part of the new one.
                const rlim_t room = rlim_t(info.st_size) + 1024;
                const rlimit limit{room, room};
                if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                    ::_exit(2);
            }
            log.Save();
            ::_exit(1);
        } catch (const EFileError&) {
            struct sigaction after {};
            ::_exit(::sigaction(SIGXFSZ, nullptr, &after) == 0 && after.sa_handler == SIG_DFL ? 0 : 3);
        }
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST(LogFile, AFailedSaveLeavesTheOldLogByteForByte) {
    for (const bool folderClosed : {true, false}) {
        SCOPED_TRACE(folderClosed ? "folder closed" : "disk full");
        TTempDir dir;
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
        const std::string path = dir.File("app.olf");
        {
            TLogFile log(path, false);
            log.AddReport(Report("A."), 2);
            log.AddReport(Report("B."), 2);
            log.Save();
        }
        ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
        const std::string before = ReadFile(path);
        EXPECT_EQ(SaveInCrippledChild(path, folderClosed), 0);
        EXPECT_EQ(ReadFile(path), before);
        EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"app.olf"}); // no temporary file left
        EXPECT_EQ(Messages(TLogFile(path, true)), (std::vector<std::string>{"A.", "B."}));
        ::chmod(dir.Path().c_str(), 0755);
    }
}

TEST(LogFile, SavingKeepsWhatOthersSavedMeanwhile) {
    TTempDir dir;
    const std::string path = dir.File("app.olf");
    TLogFile first(path, false);
    TLogFile second(path, false);
    first.AddReport(Report("One."), 32);
    first.Save();
    second.AddReport(Report("Two."), 32);
    second.Save();
    EXPECT_EQ(Messages(second), (std::vector<std::string>{"One.", "Two."}));
    first.AddReport(Report("Three."), 3);
    first.Save();
    EXPECT_EQ(Messages(TLogFile(path, true)), (std::vector<std::string>{"One.", "Two.", "Three."}));

    // Processes saving at the same time: every report arrives, none twice.
    constexpr int Children = 4;
    constexpr int Each = 5;
    std::vector<pid_t> pids;
    for (int c = 0; c < Children; ++c) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int status = 0;
            try {
                for (int i = 0; i < Each; ++i) {
                    TLogFile log(path, false);
                    log.AddReport(Report("P" + std::to_string(c) + "-" + std::to_string(i) + "."), 100);
                    log.Save();
                }
            } catch (...) {
                status = 1;
            }
            _exit(status);
        }
        pids.push_back(pid);
    }
    for (const pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::vector<std::string> messages = Messages(TLogFile(path, true));
    EXPECT_EQ(messages.size(), size_t(3 + Children * Each));
    for (int c = 0; c < Children; ++c)
        for (int i = 0; i < Each; ++i)
            EXPECT_EQ(std::count(messages.begin(), messages.end(),
                                 "P" + std::to_string(c) + "-" + std::to_string(i) + "."),
                      1);
}

TEST(LogFile, UnusableFoldersFallBackOrFailClearly) {
    TTempDir dir;
    THome home(dir.Path());
    // A log name that is a folder cannot be used: the same name under the user's fallback folder is.
    ASSERT_EQ(::mkdir(dir.File("busy.olf").c_str(), 0755), 0);
    TLogFile log(dir.File("busy.olf"), false);
    EXPECT_EQ(log.FileName(), dir.Path() + "/OstrelLog/busy.olf");
    log.AddReport(Report("A."), 32);
    log.Save();
    EXPECT_EQ(TLogFile(dir.Path() + "/OstrelLog/busy.olf", true).Count(), 1);

    // When the file turns into something else before saving, saving raises and writes nothing.
    TLogFile late(dir.File("late.olf"), false);
    late.AddReport(Report("B."), 32);
    ASSERT_EQ(::mkdir(dir.File("late.olf").c_str(), 0755), 0);
    EXPECT_THROW(late.Save(), EFileError);
}

// A FIFO at the log's name, from the start or taking it before saving: the log falls back or fails at
// once. In a child killed after 10 s, so that a log waiting on the FIFO fails the test, not hangs it.
TEST(LogFile, AFIFOAtTheLogsNameFallsBackAtOnce) {
    TTempDir dir;
    THome home(dir.Path());
    ASSERT_EQ(::mkfifo(dir.File("app.olf").c_str(), 0644), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        int step = 1;
        try {
            TLogFile log(dir.File("app.olf"), false);
            log.AddReport(Report("A."), 32);
            log.Save();
            TLogFile late(dir.File("late.olf"), false);
            late.AddReport(Report("B."), 32);
            ::mkfifo(dir.File("late.olf").c_str(), 0644);
            step = log.FileName() == dir.Path() + "/OstrelLog/app.olf" ? 2 : 3;
            late.Save();
            step = 4; // saved into a FIFO
        } catch (const EFileError&) {
        }
        ::_exit(step == 2 ? 0 : step);
    }
    const int pidfd = int(::syscall(SYS_pidfd_open, child, 0));
    pollfd ended{pidfd, POLLIN, 0};
    EXPECT_EQ(::poll(&ended, 1, 10000), 1);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Messages(TLogFile(dir.Path() + "/OstrelLog/app.olf", true)), std::vector<std::string>{"A."});
}

// The log reached through a link, whether its file is there already (empty) or not yet made.
TEST(LogFile, ALogReachedThroughALinkStaysALink) {
    for (const bool made : {true, false}) {
        SCOPED_TRACE(made ? "log made" : "log not made yet");
        TTempDir dir;
        THome home(dir.Path());
        ASSERT_EQ(::mkdir(dir.File("real").c_str(), 0755), 0);
        if (made)
            WriteFile(dir.File("real/app.olf"), "");
        ASSERT_EQ(::symlink("real/app.olf", dir.File("app.olf").c_str()), 0);
        for (const char* message : {"A.", "B."}) {
            TLogFile log(dir.File("app.olf"), false);
            EXPECT_EQ(log.FileName(), dir.File("app.olf"));
            log.AddReport(Report(message), 32);
            log.Save();
        }
        EXPECT_TRUE(std::filesystem::is_symlink(dir.File("app.olf")));
        EXPECT_EQ(Messages(TLogFile(dir.File("real/app.olf"), true)), (std::vector<std::string>{"A.", "B."}));
        EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"app.olf", "real"}));
    }
}

namespace {

struct TFileFacts {
    uid_t Owner = 0;
    gid_t Group = 0;
    mode_t Mode = 0;
    ino_t Inode = 0;
};

TFileFacts FactsOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return {info.st_uid, info.st_gid, info.st_mode & 07777, info.st_ino};
}

// Another owner and group where the test may give them (as root), else the test's own; with
// foreignOwner false only the group is another's (a log of ours that a group shares).
std::pair<uid_t, gid_t> ForeignOwner(bool foreignOwner = true) {
    if (::geteuid() != 0)
        return {::geteuid(), ::getegid()};
    return {foreignOwner ? 4242 : ::geteuid(), 42};
}

} // namespace

// A link to a report log (a shared log kept elsewhere, 0640 and of another owner and group): each save
// adds to it; the link stays a link and the log keeps its owner, group and mode.
TEST(LogFile, ALinkToAReportLogIsAddedToAndTheLogKeepsItsOwnerGroupAndMode) {
    for (const bool foreignOwner : {true, false}) {
        SCOPED_TRACE(foreignOwner ? "another owner's" : "ours, of another group");
        TTempDir dir;
        THome home(dir.Path());
        ASSERT_EQ(::mkdir(dir.File("real").c_str(), 0755), 0);
        const std::string target = dir.File("real/app.olf");
        WriteFile(target, Stored(Report("A.")));
        const auto [owner, group] = ForeignOwner(foreignOwner);
        ASSERT_EQ(::chown(target.c_str(), owner, group), 0);
        ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
        ASSERT_EQ(::symlink(target.c_str(), dir.File("app.olf").c_str()), 0);
        for (const char* message : {"B.", "C."}) {
            TLogFile log(dir.File("app.olf"), false);
            EXPECT_EQ(log.FileName(), dir.File("app.olf"));
            log.AddReport(Report(message), 32);
            log.Save();
        }
        EXPECT_TRUE(std::filesystem::is_symlink(dir.File("app.olf")));
        EXPECT_EQ(Messages(TLogFile(target, true)), (std::vector<std::string>{"A.", "B.", "C."}));
        const TFileFacts facts = FactsOf(target);
        EXPECT_EQ(facts.Owner, owner);
        EXPECT_EQ(facts.Group, group);
        EXPECT_EQ(facts.Mode, 0640u);
        EXPECT_FALSE(std::filesystem::exists(dir.File("OstrelLog")));
    }
}

// A link to a file that is no report log (a user's notes, a file that only starts like a log) is left
// as it is, to the byte, with its owner, mode and inode; the log goes where it goes when its own place
// cannot be written, and is read back from there.
TEST(LogFile, ALinkToAnotherFileLeavesItAloneAndTheLogFallsBack) {
    const std::string banner = "OstrelLog ";
    for (const std::string& content : {std::string("precious notes\n"), banner.substr(0, banner.size() - 1),
                                       std::string("OstrelLogX 5.0.2\r\n")}) {
        SCOPED_TRACE(content);
        TTempDir dir;
        THome home(dir.Path());
        ASSERT_EQ(::mkdir(dir.File("real").c_str(), 0755), 0);
        const std::string other = dir.File("real/notes.txt");
        WriteFile(other, content);
        ASSERT_EQ(::chmod(other.c_str(), 0640), 0);
        const TFileFacts before = FactsOf(other);
        ASSERT_EQ(::symlink(other.c_str(), dir.File("app.olf").c_str()), 0);
        const std::string fallback = dir.Path() + "/OstrelLog/app.olf";
        for (const char* message : {"A.", "B."}) {
            TLogFile log(dir.File("app.olf"), false);
            EXPECT_EQ(log.FileName(), fallback);
            log.AddReport(Report(message), 32);
            log.Save();
        }
        EXPECT_EQ(ReadFile(other), content);
        const TFileFacts after = FactsOf(other);
        EXPECT_EQ(after.Inode, before.Inode);
        EXPECT_EQ(after.Mode, before.Mode);
        EXPECT_EQ(after.Owner, before.Owner);
        EXPECT_TRUE(std::filesystem::is_symlink(dir.File("app.olf")));
        const TLogFile reader(dir.File("app.olf"), true);
        EXPECT_EQ(reader.FileName(), fallback);
        EXPECT_EQ(Messages(reader), (std::vector<std::string>{"A.", "B."}));
    }
}

// The file at the end of the link became another one's after the log was opened: saving refuses and
// leaves it as it is.
TEST(LogFile, ALinkedLogReplacedByAnotherFileIsNotSavedOver) {
    TTempDir dir;
    THome home(dir.Path());
    ASSERT_EQ(::mkdir(dir.File("real").c_str(), 0755), 0);
    const std::string target = dir.File("real/app.olf");
    WriteFile(target, Stored(Report("A.")));
    ASSERT_EQ(::symlink(target.c_str(), dir.File("app.olf").c_str()), 0);
    TLogFile log(dir.File("app.olf"), false);
    log.AddReport(Report("B."), 32);
    WriteFile(target, "a file of someone else's\n");
    EXPECT_THROW(log.Save(), EFileError);
    EXPECT_EQ(ReadFile(target), "a file of someone else's\n");
}

namespace {

// Saves a report to the log at path in a child process of an unprivileged user (nobody) who is a member
// of group 42, with its home in home. The child's exit code: 0 saved, 1 saving raised, 2 set-up failed.
int SaveAsGroupMember(const std::string& path, const std::string& home, const std::string& report) {
    const pid_t child = ::fork();
    if (child == 0) {
        const gid_t groups[] = {42};
        if (::setgroups(1, groups) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0 ||
            ::setenv("HOME", home.c_str(), 1) != 0)
            ::_exit(2);
        try {
            TLogFile log(path, false);
            log.AddReport(report, 32);
            log.Save();
            ::_exit(0);
        } catch (const EFileError&) {
            ::_exit(1);
        }
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace

// A user who is not the log's owner but may write it: a log shared by a group in a folder open to the
// group, a link to a log whose folder takes no new file from the user, a link in a folder closed to the
// user (the program's) to a log in an open one. The report is kept, in the log where its folder takes the
// new file, else in the fallback folder while the log is left as it is; the log keeps its group and mode
// so that the others can still write it.
TEST(LogFile, AnotherUsersLogKeepsItsGroupOrIsLeftAloneAndTheReportIsKept) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs another user and group";
    struct TCase {
        const char* Name;
        const char* Link; // the log's name given, a link to the log; nullptr: the log itself
        const char* Log;
        mode_t Mode;
        bool SavedThere;
    };
    for (const TCase& c :
         {TCase{"shared by a group", nullptr, "open/app.olf", 0660, true},
          TCase{"a link to a closed folder", "open/app.olf", "closed/app.olf", 0666, false},
          TCase{"a link from a closed folder", "closed/app.olf", "open/app.olf", 0660, true}}) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
        for (const auto& [folder, mode] : {std::pair{"open", 0777}, std::pair{"closed", 0755}}) {
            ASSERT_EQ(::mkdir(dir.File(folder).c_str(), 0700), 0);
            ASSERT_EQ(::chmod(dir.File(folder).c_str(), mode_t(mode)), 0);
        }
        const std::string log = dir.File(c.Log);
        WriteFile(log, Stored(Report("A.")));
        ASSERT_EQ(::chown(log.c_str(), 4242, 42), 0);
        ASSERT_EQ(::chmod(log.c_str(), c.Mode), 0);
        const std::string name = c.Link != nullptr ? dir.File(c.Link) : log;
        if (c.Link != nullptr) {
            ASSERT_EQ(::symlink(log.c_str(), name.c_str()), 0);
        }
        const std::string before = ReadFile(log);

        EXPECT_EQ(SaveAsGroupMember(name, dir.Path(), Report("B.")), 0);
        const TFileFacts facts = FactsOf(log);
        EXPECT_EQ(facts.Group, 42u);
        EXPECT_EQ(facts.Mode, c.Mode);
        EXPECT_EQ(std::filesystem::is_symlink(name), c.Link != nullptr);
        const std::string fallback = dir.Path() + "/OstrelLog/app.olf";
        if (c.SavedThere) {
            EXPECT_EQ(Messages(TLogFile(log, true)), (std::vector<std::string>{"A.", "B."}));
            EXPECT_FALSE(std::filesystem::exists(fallback));
        } else {
            EXPECT_EQ(ReadFile(log), before);
            EXPECT_EQ(Messages(TLogFile(fallback, true)), std::vector<std::string>{"B."});
        }
    }
}

TEST(LogFile, DuplicatesAreWholeFieldsEqual) {
    TTempDir dir;
    TLogFile log(dir.File("app.olf"), false);
    log.AddReport(Report("Access violation at address 0000000000000010: read of address 0000000000000000."),
                  32);
    log.AddReport(Report("Line one: a\r\n\r\n  \r\nline four"), 32);
    const std::vector<std::string> fields = {"2.2", "2.3", "2.4", "2.5"};
    auto duplicate = [&](const std::string& message, const std::string& module = "app") {
        return log.FindDuplicate(fields, {"0000555500001234", module, "std::runtime_error", message});
    };
    EXPECT_TRUE(duplicate("Access violation at address 0000000000000010: read of address 0000000000000000."));
    EXPECT_TRUE(duplicate("Line one: a\n\n  \nline four"));
    EXPECT_FALSE(duplicate("Line one: a\r\n\r\n  \r\nline")); // only the start of the value
    EXPECT_FALSE(duplicate("Access violation"));
    EXPECT_FALSE(duplicate("Line one: a\r\n\r\n  \r\nline four", "lib.so"));
    EXPECT_FALSE(log.FindDuplicate({"2.2", "2.3"}, {"0000555500001234"}));
    EXPECT_FALSE(log.FindDuplicate({"2.9"}, {""}));

    TOstrelModuleOptions options("", false);
    options.SetLogFlags(0x30);
    EXPECT_FALSE(IsDuplicateReport(options, &log, "0000555500001234", "app", "std::runtime_error",
                                   "Line one: a\r\n\r\n  \r\nline four"));
    options.SetLogFlags(0x31);
    EXPECT_TRUE(IsDuplicateReport(options, &log, "0000555500001234", "app", "std::runtime_error",
                                  "Line one: a\r\n\r\n  \r\nline four"));
    EXPECT_FALSE(IsDuplicateReport(options, nullptr, "", "", "", ""));
    // The value reads back with its continuation lines.
    EXPECT_EQ(log.GetFieldValue("2.5", 1), "Line one:_a\r\n.\r\n.\r\nline four");
}

TEST(LogFile, SectionsOfAStoredReport) {
    TFixedReport fixture;
    const TLogTexts texts = fixture.Build();
    const std::string stored = Stored(texts.Report);
    std::string general = texts.General;
    while (!general.empty() && (general.back() == '\r' || general.back() == '\n'))
        general.pop_back();
    EXPECT_EQ(GetReportGeneral(stored), general);
    const std::string callStack = GetReportCallStack(stored);
    // From the rule under the title to the closing rule and its empty line.
    const size_t title = std::string("Call Stack Information:\r\n").size();
    EXPECT_EQ(callStack, texts.CallStackAndModules.substr(title, texts.CallStackAndModules.find("\r\n\r\n") +
                                                                     4 - title));
    EXPECT_EQ(callStack.substr(0, 3), "---");
    const std::string modules = GetReportModules(stored);
    EXPECT_EQ(modules.substr(0, 3), "---");
    EXPECT_NE(modules.find("|00007F0000000000|libfoo.so.1|"), std::string::npos);
    EXPECT_EQ(modules.substr(modules.size() - 5), "-\r\n\r\n");
    EXPECT_EQ(GetReportCPU(stored), texts.CPU);
    EXPECT_EQ(GetReportGeneral("no table here"), "");
    EXPECT_EQ(ReportLogVersion(stored), OstrelLogVersionText);
    EXPECT_LT(CompareVersions("4.9.10", "5.0.0"), 0);
    EXPECT_EQ(CompareVersions("5.0", "5.0.0"), 0);
    EXPECT_GT(CompareVersions("5.0.10", "5.0.9"), 0);
}

namespace {

class TRecordedEvents : public TLogSaveEvents {
public:
    std::vector<std::string> Calls;
    std::function<void(bool&)> OnError;
    bool ClearOnSaving = false;
    void SavingLog(bool& flag) override {
        Calls.push_back("saving");
        if (ClearOnSaving)
            flag = false;
    }
    void LogSaved(bool& flag) override { Calls.push_back(flag ? "saved" : "saved-failed"); }
    void LogError(bool& retry) override {
        Calls.push_back("error:" + LastErrorMessage().substr(0, 5));
        if (OnError)
            OnError(retry);
    }
};

} // namespace

TEST(LogFile, SaveStepRetriesWithoutAddingTwice) {
    TTempDir dir;
    const std::string path = dir.File("app.olf");
    TOstrelModuleOptions options("", false);
    options.SetLogToFile(true);
    options.SetMaxLogReports(32);
    TLogFile log(path, false);
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0); // the first save fails
    TRecordedEvents events;
    int errors = 0;
    events.OnError = [&](bool& retry) {
        EXPECT_EQ(LastErrorCode(), TOstrelLogErrorCode::eeLogError);
        ++errors;
        ::rmdir(path.c_str());
        retry = true;
    };
    std::string sendText = "report";
    EXPECT_TRUE(SaveLogFile(options, log, Report("A."), false, sendText, events));
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(events.Calls, (std::vector<std::string>{"saving", "error:[Log]", "saved"}));
    EXPECT_EQ(Messages(TLogFile(path, true)), (std::vector<std::string>{"A."}));
    EXPECT_EQ(sendText, "report");
    EXPECT_EQ(LastErrorCode(), TOstrelLogErrorCode::eeNone);

    // A duplicate is neither added nor saved; with bit 0x04 the sending copy is the whole log.
    options.SetSendFlags(0x04);
    EXPECT_TRUE(SaveLogFile(options, log, Report("A."), true, sendText, events));
    EXPECT_EQ(log.Count(), 1);
    EXPECT_TRUE(SaveLogFile(options, log, Report("B."), false, sendText, events));
    EXPECT_EQ(sendText, ReadFile(path));

    // A failure that is not retried clears the continue flag for the last event and is reported.
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
    events.Calls.clear();
    events.OnError = nullptr;
    EXPECT_FALSE(SaveLogFile(options, log, Report("C."), false, sendText, events));
    EXPECT_EQ(events.Calls, (std::vector<std::string>{"saving", "error:[Log]", "saved-failed"}));
    EXPECT_EQ(LastErrorCode(), TOstrelLogErrorCode::eeLogError);
    ::rmdir(path.c_str());

    // A handler that clears the flag keeps the report out of the file; without LogToFile no event runs.
    events.Calls.clear();
    events.ClearOnSaving = true;
    EXPECT_TRUE(SaveLogFile(options, log, Report("D."), false, sendText, events));
    EXPECT_EQ(events.Calls, (std::vector<std::string>{"saving", "saved-failed"}));
    EXPECT_FALSE(::access(path.c_str(), F_OK) == 0);
    options.SetLogToFile(false);
    events.Calls.clear();
    EXPECT_TRUE(SaveLogFile(options, log, Report("E."), false, sendText, events));
    EXPECT_TRUE(events.Calls.empty());
}
