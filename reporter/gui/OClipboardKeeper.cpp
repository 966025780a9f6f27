#include "reporter/gui/OClipboardKeeper.h"

#include "OReportProgress.h"
#include "reporter/gui/ODialogHelper.h"
#include "reporter/gui/OHelperSocket.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace reporter {

namespace {

// How long the starter waits for the keeper to hold the clipboard.
constexpr int AnswerWaitMs = 5000;
constexpr char HeldAnswer[] = "HELD ";

} // namespace

pid_t KeepTextOnClipboard(const std::string& text, const std::string& program) {
    if (text.size() > KeeperTextLimit)
        return -1;
    const TOutsideWait outside; // for the keeper to hold the clipboard, within its limit
    int socket = -1;
    const pid_t child = StartHelperProcess(program, ClipboardKeeperArgument, socket);
    if (child < 0)
        return -1;
    const THelperFd ours(socket);
    const bool sent = SendAll(ours.Get(), text.data(), text.size()) && ::shutdown(ours.Get(), SHUT_WR) == 0;
    // The started process leaves as soon as it has handed over to the keeper proper.
    const int status = WaitForChild(child);
    std::vector<uint8_t> answerBytes;
    if (!sent || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        !ReceiveAll(ours.Get(), answerBytes, 64, AnswerWaitMs))
        return -1;
    const std::string answer(answerBytes.begin(), answerBytes.end());
    if (answer.rfind(HeldAnswer, 0) != 0)
        return -1;
    char* end = nullptr;
    const long keeper = std::strtol(answer.c_str() + std::strlen(HeldAnswer), &end, 10);
    return keeper > 0 ? pid_t(keeper) : -1;
}

int RunClipboardKeeper(int& argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], ClipboardKeeperArgument) != 0)
        return -1;
    std::vector<uint8_t> received;
    if (!ReceiveAll(STDIN_FILENO, received, KeeperTextLimit))
        return 2;
    const std::string text(received.begin(), received.end());
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
