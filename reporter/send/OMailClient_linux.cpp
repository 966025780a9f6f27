#include "OMailClient.h"

#include "OClientSocket.h"
#include "OErrors.h"
#include "OFiles.h"
#include "OLastError.h"
#include "OReportProgress.h"
#include "OTextUtils.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace reporter {

namespace {

constexpr int NotStarted = -1;

// Runs the program (searched in PATH) with the arguments, without a shell, and waits for its end; the
// exit code, 0 when the system reaps children itself, or NotStarted with error set.
int RunAndWait(const std::vector<std::string>& arguments, int& error) {
    std::vector<char*> argv;
    std::vector<std::string> copies = arguments;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if ((error = posix_spawn_file_actions_init(&actions)) != 0)
        return NotStarted;
    if ((error = posix_spawnattr_init(&attributes)) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return NotStarted;
    }
    // The mail client must not inherit the program's ports and files, nor its blocked signals.
    sigset_t none;
    sigemptyset(&none);
    error = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (error == 0)
        error = posix_spawnattr_setsigmask(&attributes, &none);
    if (error == 0)
        error = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t child = -1;
    if (error == 0)
        error = posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return NotStarted;
    int status = 0;
    const TOutsideWait outside; // for the mail client and its user
    for (;;) {
        if (::waitpid(child, &status, 0) == child)
            break;
        if (errno == EINTR)
            continue;
        return 0; // reaped by the system (SIGCHLD ignored): started is all that can be known
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// The mail client reads the attachments after xdg-email has returned, and the sender deletes its
// temporary files right after sending: the client gets copies of its own, under their attachment names,
// in a folder that the system's temporary-file cleaning removes.
bool CopyAttachments(const TSendFiles& attachments, std::vector<std::string>& copies, std::string& message) {
    if (attachments.empty())
        return true;
    std::string folder = GetTempFolder() + "OstrelLog-mail-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        message = "Cannot create a folder for the attachments: " + SystemErrorMessage(errno) + ".";
        return false;
    }
    for (const TSendFile& file : attachments) {
        struct stat info;
        if (file.FileName.empty() || ::stat(file.FileName.c_str(), &info) != 0)
            continue;
        const std::string copy = folder + "/" + ExtractFileName(file.StoredName);
        try {
            const std::vector<uint8_t> data = ReadWholeFile(file.FileName);
            WriteNewFile(copy, data.data(), data.size());
        } catch (const EFileError& e) {
            message = e.Message();
            return false;
        }
        copies.push_back(copy);
    }
    return true;
}

} // namespace

bool SendMAPI(const std::string& recipients, const std::string& subject, const std::string& body,
              const TSendFiles& attachments) {
    std::vector<std::string> list;
    SplitText(",;", recipients, list);
    std::vector<std::string> copies;
    std::string message;
    if (!CopyAttachments(attachments, copies, message)) {
        SetLastErrorCode(TOstrelLogErrorCode::eeEmailMAPIError, message);
        return false;
    }
    std::vector<std::string> arguments = {"xdg-email", "--utf8", "--subject", CollapseControlChars(subject),
                                          "--body",    body};
    for (const std::string& copy : copies)
        arguments.insert(arguments.end(), {"--attach", copy});
    for (const std::string& recipient : list)
        if (recipient.front() != '-') // never an option of the tool
            arguments.push_back(recipient);
    int error = 0;
    const int exitCode = RunAndWait(arguments, error);
    if (exitCode == NotStarted) {
        SetLastErrorCode(TOstrelLogErrorCode::eeEmailMAPIError,
                         "Cannot start \"xdg-email\": " + SystemErrorMessage(error) + ".");
        return false;
    }
    if (exitCode != 0) {
        SetLastErrorCode(TOstrelLogErrorCode::eeEmailMAPIError,
                         "Cannot send the message with \"xdg-email\" (exit code " + std::to_string(exitCode) +
                             ").");
        return false;
    }
    return true;
}

std::string MailtoEncode(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string result;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c >= 128)
            result += char(c);
        else
            result.append({'%', hex[c >> 4], hex[c & 15]});
    }
    return result;
}

std::string BuildMailtoLink(const std::string& recipients, const std::string& subject,
                            const std::string& body) {
    return "mailto:" + recipients + "?Subject=" + MailtoEncode(subject) + "&Body=" + MailtoEncode(body);
}

bool SendShellMailto(const std::string& recipients, const std::string& subject, const std::string& message,
                     const std::string& reportText) {
    const std::string link = BuildMailtoLink(recipients, subject, message + "\r\n\r\n\r\n" + reportText);
    int error = 0;
    const int exitCode = RunAndWait({"xdg-open", link}, error);
    if (exitCode == NotStarted) {
        SetLastErrorCode(TOstrelLogErrorCode::eeEmailShellError,
                         "Cannot start \"xdg-open\": " + SystemErrorMessage(error) + ".");
        return false;
    }
    if (exitCode != 0) {
        SetLastErrorCode(TOstrelLogErrorCode::eeEmailShellError,
                         "No mail client took the \"mailto:\" link (exit code " + std::to_string(exitCode) +
                             ").");
        return false;
    }
    return true;
}

} // namespace reporter
