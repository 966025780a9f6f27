// vdrewriteoptions: copies a program file with the reporter options of its "OLDATA" container changed,
// so that the real program reports a fault the way a test needs: mail by the reporter's own SMTP client
// to a sink on 127.0.0.1, Send and Attach Screenshot offered and ticked, the steps dialog on, the log
// kept, the Terminate/Restart button shown. The container keeps its version, compilation time and debug
// data. Test infrastructure only.
//
// vdrewriteoptions PROGRAM FOLDER NAME SMTP-PORT RECIPIENT TERMINATE-ACTION [SEND-FLAGS PROCESSING-FLAGS]
// FOLDER must be a private folder of the caller's (a directory of its own, mode 0700); NAME a plain name.
// SEND-FLAGS and PROCESSING-FLAGS (decimal) are added to what the options hold.
#include "OLData.h"
#include "OOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Test programs are tens of megabytes; far beyond that is a wrong file.
constexpr off_t MaxProgramSize = off_t(1) << 30;

[[noreturn]] void Fail(const std::string& message) {
    throw std::runtime_error(message);
}

long ParseNumber(const char* text, long low, long high, const char* what) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
        Fail(std::string("bad ") + what + " \"" + text + "\"");
    return value;
}

class TFd {
public:
    explicit TFd(int fd) : m_fd(fd) {}
    ~TFd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return m_fd; }
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

std::vector<uint8_t> ReadProgram(const std::string& fileName) {
    const TFd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0)
        Fail("cannot open " + fileName + ": " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        Fail("cannot read " + fileName + ": " + std::strerror(errno));
    if (!S_ISREG(info.st_mode) || info.st_size <= 0 || info.st_size > MaxProgramSize)
        Fail(fileName + " is not a program file of a size this tool takes");
    std::vector<uint8_t> bytes(size_t(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Fail("cannot read " + fileName + ": " + (n < 0 ? std::strerror(errno) : "it became shorter"));
        done += size_t(n);
    }
    return bytes;
}

// The folder must be the caller's own and closed to everybody else, so that no one can plant a link
// or a file under the names written there.
void CheckPrivateFolder(const std::string& folder) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0)
        Fail("cannot look at " + folder + ": " + std::strerror(errno));
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0)
        Fail(folder + " is not a private folder (a directory of this user's, mode 0700)");
}

void WriteAll(int fd, const std::vector<uint8_t>& bytes, size_t count, const std::string& name) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, bytes.data() + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Fail("cannot write " + name + ": " + std::strerror(errno));
        done += size_t(n);
    }
}

// Writes a new executable file beside the final name and renames it over.
void WriteProgram(const std::string& folder, const std::string& name, const std::vector<uint8_t>& program,
                  size_t programSize, const std::vector<uint8_t>& container) {
    const std::string target = folder + "/" + name;
    const std::string temporary = target + ".new";
    TFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700));
    if (fd.Get() < 0)
        Fail("cannot create " + temporary + ": " + std::strerror(errno));
    try {
        WriteAll(fd.Get(), program, programSize, temporary);
        WriteAll(fd.Get(), container, container.size(), temporary);
        if (::close(fd.Release()) != 0)
            Fail("cannot write " + temporary + ": " + std::strerror(errno));
        if (::rename(temporary.c_str(), target.c_str()) != 0)
            Fail("cannot rename " + temporary + ": " + std::strerror(errno));
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
}

void SetTestOptions(reporter::TOstrelModuleOptions& options, uint16_t port, const std::string& recipient,
                    uint8_t terminateAction, uint16_t sendFlags, uint8_t processingFlags) {
    options.BeginUpdate();
    options.SetMailSendMode(2); // the reporter's own SMTP client
    options.SetSMTPServer("127.0.0.1");
    options.SetSMTPPort(port);
    options.SetSMTPUser("");
    options.SetSMTPPassword("");
    options.SetMailRecipient(recipient);
    options.SetUploadMode(0);
    // The send-progress window and the screenshot; sent in the report's own thread, no result box.
    options.SetSendFlags(uint16_t(((options.SendFlags() | 0x01 | 0x10) & ~(0x02 | 0x80)) | sendFlags));
    options.SetProcessingFlags(uint8_t(options.ProcessingFlags() | processingFlags));
    // The dialog, with Send and Attach Screenshot ticked; no auto-close.
    options.SetDialogFlags(uint8_t(options.DialogFlags() | 0x01 | 0x02 | 0x04));
    options.SetDialogAutoCloseSeconds(0);
    // The Terminate/Restart button from the first report on.
    options.SetDialogCountCheck(true);
    options.SetDialogCountLimit(0);
    // The steps dialog, no duplicate check (every run is a first report).
    options.SetLogFlags(uint8_t((options.LogFlags() | 0x02) & ~0x01));
    options.SetLogToFile(true);
    options.SetTerminateAction(terminateAction);
    options.SetFilterActive(false);
    options.EndUpdate();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 7 && argc != 9) {
        std::fprintf(stderr,
                     "usage: vdrewriteoptions PROGRAM FOLDER NAME SMTP-PORT RECIPIENT TERMINATE-ACTION "
                     "[SEND-FLAGS PROCESSING-FLAGS]\n");
        return 2;
    }
    try {
        const std::string program = argv[1];
        const std::string folder = argv[2];
        const std::string name = argv[3];
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
            Fail("the name \"" + name + "\" is not a plain file name");
        const auto port = uint16_t(ParseNumber(argv[4], 1, 65535, "port"));
        const std::string recipient = argv[5];
        const auto terminateAction = uint8_t(ParseNumber(argv[6], 0, 255, "terminate action"));
        const auto sendFlags = uint16_t(argc == 9 ? ParseNumber(argv[7], 0, 0xFFFF, "send flags") : 0);
        const auto processingFlags =
            uint8_t(argc == 9 ? ParseNumber(argv[8], 0, 0xFF, "processing flags") : 0);
        CheckPrivateFolder(folder);

        const std::optional<std::vector<uint8_t>> container = reporter::FindOLData(program);
        if (!container)
            Fail(program + " carries no reporter container");
        const std::vector<uint8_t> bytes = ReadProgram(program);
        if (container->size() >= bytes.size())
            Fail(program + " is nothing but its container");
        const reporter::TOLData data = reporter::ParseOLData(*container);
        reporter::TOstrelModuleOptions options(program, false);
        if (!data.Options.empty())
            reporter::LoadOptionsFromOLData(data, options);
        SetTestOptions(options, port, recipient, terminateAction, sendFlags, processingFlags);
        const std::vector<uint8_t> rebuilt =
            reporter::BuildOLData(options, data.Version, data.CompilationTime, data.DebugInfo);
        WriteProgram(folder, name, bytes, bytes.size() - container->size(), rebuilt);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vdrewriteoptions: %s\n", e.what());
        return 1;
    }
    return 0;
}
