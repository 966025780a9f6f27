#include "reporter/gui/OClipboardKeeper.h"

#include "reporter/gui/ODialogHelper.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace reporter {

namespace {

// How long the starter waits for the keeper to hold the clipboard.
constexpr int AnswerWaitMs = 5000;
constexpr char HeldAnswer[] = "HELD ";

class TFd {
public:
    explicit TFd(int fd) : m_fd(fd) {}
    ~TFd() { Close(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return m_fd; }
    void Close() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Everything up to the peer's end of sending, or nothing when it is more than the limit.
bool ReceiveAll(int fd, std::string& text, size_t limit, int waitMs) {
    text.clear();
    char buffer[65536];
    for (;;) {
        if (waitMs >= 0) {
            pollfd p{fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, waitMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return false;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (text.size() + size_t(n) > limit)
            return false;
        text.append(buffer, size_t(n));
    }
}

} // namespace

pid_t KeepTextOnClipboard(const std::string& text, const std::string& program) {
    if (text.size() > KeeperTextLimit)
        return -1;
    int socket = -1;
    const pid_t child = StartHelperProcess(program, ClipboardKeeperArgument, socket);
    if (child < 0)
        return -1;
    const TFd ours(socket);
    const bool sent = SendAll(ours.Get(), text.data(), text.size()) && ::shutdown(ours.Get(), SHUT_WR) == 0;
    // The started process leaves as soon as it has handed over to the keeper proper.
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    std::string answer;
    if (!sent || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        !ReceiveAll(ours.Get(), answer, 64, AnswerWaitMs) || answer.rfind(HeldAnswer, 0) != 0)
        return -1;
    char* end = nullptr;
    const long keeper = std::strtol(answer.c_str() + std::strlen(HeldAnswer), &end, 10);
    return keeper > 0 ? pid_t(keeper) : -1;
}

int RunClipboardKeeper(int& argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], ClipboardKeeperArgument) != 0)
        return -1;
    std::string text;
    if (!ReceiveAll(STDIN_FILENO, text, KeeperTextLimit, -1))
        return 2;
    // The starter waits for this process only: the keeper is a child of its own, in a session of its
    // own, so that the program's end does not take it along.
    const pid_t keeper = ::fork();
    if (keeper < 0)
        return 3;
    if (keeper > 0)
        return 0;
    ::setsid();
    // Nothing of the starter's is kept open: whoever reads its output must not wait for the keeper.
    const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nothing >= 0) {
        ::dup2(nothing, STDOUT_FILENO);
        ::dup2(nothing, STDERR_FILENO);
        ::close(nothing);
    }
    const std::unique_ptr<QGuiApplication> app =
        QCoreApplication::instance() == nullptr ? std::make_unique<QGuiApplication>(argc, argv) : nullptr;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr)
        return 3;
    clipboard->setText(QString::fromStdString(text));
    const std::string answer = HeldAnswer + std::to_string(::getpid());
    if (!clipboard->ownsClipboard() || !SendAll(STDIN_FILENO, answer.data(), answer.size()))
        return 3;
    ::close(STDIN_FILENO);
    // Another owner of the clipboard ends the keeping, and so does the bound.
    QObject::connect(clipboard, &QClipboard::changed, [clipboard](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard && !clipboard->ownsClipboard())
            QCoreApplication::quit();
    });
    QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(KeeperLifetime),
                       [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    // Leaving through the application's end lets a clipboard manager take the text over.
    return 0;
}

} // namespace reporter
