#include "reporter/gui/OSendProgressHelper.h"
#include "reporter/gui/OProgramWindow.h"

#include "OErrors.h"
#include "OStream.h"
#include "reporter/gui/ODialogHelper.h"
#include "reporter/gui/OPlainCaption.h"
#include "reporter/gui/OSendDialog.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace reporter {

namespace {

constexpr size_t HeaderSize = 5;
// How long a started helper waits for the program to say what to show.
constexpr std::chrono::seconds FirstMessageWait{10};
// How long a send may wait for room in the socket before the helper counts as stuck.
constexpr int SendWaitMs = 1000;

std::string CutText(const std::string& text, size_t limit) {
    if (text.size() <= limit)
        return text;
    size_t end = limit;
    // Not inside a UTF-8 sequence: back to the start of the character that does not fit.
    while (end > 0 && (uint8_t(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

bool SendBytes(int fd, const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            const int ready = ::poll(&p, 1, SendWaitMs);
            if (ready > 0 || (ready < 0 && errno == EINTR))
                continue;
        }
        return false;
    }
    return true;
}

enum class TReceived { Some, Nothing, Ended };

// One chunk of what has arrived, without waiting.
TReceived ReceiveChunk(int fd, TProgressMessageReader& reader) {
    uint8_t buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            reader.Append(buffer, size_t(n));
            return TReceived::Some;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return TReceived::Nothing;
        return TReceived::Ended;
    }
}

// The next whole message; none when the peer ended or the deadline passed. Damage raises EReadError.
std::optional<TProgressMessage> ReceiveMessage(int fd, TProgressMessageReader& reader,
                                               std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        if (std::optional<TProgressMessage> message = reader.Next())
            return message;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, int(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return std::nullopt;
        if (ReceiveChunk(fd, reader) == TReceived::Ended)
            return std::nullopt;
    }
}

} // namespace

std::vector<uint8_t> EncodeProgressMessage(const TProgressMessage& message) {
    TOstrelStream s;
    s.WriteU8(uint8_t(message.Type));
    switch (message.Type) {
    case TProgressMessageType::Show: {
        const std::string caption = CutText(message.Text, MaxProgressPayload - 1);
        s.WriteU32(uint32_t(caption.size() + 1));
        s.WriteU8(message.DialogFlags);
        s.Write(caption.data(), caption.size());
        break;
    }
    case TProgressMessageType::Text: {
        const std::string text = CutText(message.Text, MaxProgressPayload);
        s.WriteU32(uint32_t(text.size()));
        s.Write(text.data(), text.size());
        break;
    }
    case TProgressMessageType::Position:
        s.WriteU32(4);
        s.WriteU32(uint32_t(std::clamp(message.Position, 0, 100)));
        break;
    case TProgressMessageType::Ready:
    case TProgressMessageType::Close:
        s.WriteU32(0);
        break;
    }
    return s.Bytes();
}

void TProgressMessageReader::Append(const uint8_t* data, size_t size) {
    m_bytes.insert(m_bytes.end(), data, data + size);
}

std::optional<TProgressMessage> TProgressMessageReader::Next() {
    if (m_bytes.size() < HeaderSize)
        return std::nullopt;
    // The header alone tells damage: it is refused before its payload is waited for.
    TOstrelStream header(m_bytes.data(), HeaderSize);
    const uint8_t type = header.ReadU8();
    const uint32_t length = header.ReadU32();
    if (type < uint8_t(TProgressMessageType::Show) || type > uint8_t(TProgressMessageType::Close))
        throw EReadError("A progress message of an unknown type.");
    if (length > MaxProgressPayload)
        throw EReadError("A progress message longer than any.");
    TProgressMessage message;
    message.Type = TProgressMessageType(type);
    const bool lengthFits = message.Type == TProgressMessageType::Show       ? length >= 1
                            : message.Type == TProgressMessageType::Text     ? true
                            : message.Type == TProgressMessageType::Position ? length == 4
                                                                             : length == 0;
    if (!lengthFits)
        throw EReadError("A progress message of another length than its type has.");
    if (m_bytes.size() - HeaderSize < length)
        return std::nullopt;
    TOstrelStream payload(m_bytes.data() + HeaderSize, length);
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + long(HeaderSize + length));
    if (message.Type == TProgressMessageType::Show)
        message.DialogFlags = payload.ReadU8();
    if (message.Type == TProgressMessageType::Show || message.Type == TProgressMessageType::Text) {
        message.Text.resize(payload.Remaining());
        payload.Read(message.Text.data(), message.Text.size());
    }
    if (message.Type == TProgressMessageType::Position) {
        const uint32_t position = payload.ReadU32();
        if (position > 100)
            throw EReadError("A progress position outside 0 to 100.");
        message.Position = int(position);
    }
    return message;
}

std::unique_ptr<TSendProgressHelper> TSendProgressHelper::Start(const std::string& caption,
                                                                uint8_t dialogFlags,
                                                                std::chrono::milliseconds readyLimit,
                                                                const std::string& program) {
    const auto deadline = std::chrono::steady_clock::now() + readyLimit;
    int socket = -1;
    const pid_t child = StartHelperProcess(program, SendProgressHelperArgument, socket);
    if (child < 0)
        return nullptr;
    std::unique_ptr<TSendProgressHelper> helper(new TSendProgressHelper(child, socket));
    TProgressMessage show;
    show.Type = TProgressMessageType::Show;
    show.Text = caption;
    show.DialogFlags = dialogFlags;
    helper->Send(show);
    TProgressMessageReader reader;
    bool ready = false;
    try {
        const std::optional<TProgressMessage> answer = ReceiveMessage(socket, reader, deadline);
        ready = answer && answer->Type == TProgressMessageType::Ready;
    } catch (const Exception&) {
        ready = false;
    }
    if (ready)
        return helper;
    const std::lock_guard guard(helper->m_lock);
    helper->EndLocked(std::chrono::milliseconds(0));
    return nullptr;
}

TSendProgressHelper::~TSendProgressHelper() {
    Close();
}

void TSendProgressHelper::Send(const TProgressMessage& message) {
    if (m_socket < 0)
        return;
    // A helper that takes nothing more is told so by the end of its input.
    if (!SendBytes(m_socket, EncodeProgressMessage(message)))
        ::shutdown(m_socket, SHUT_RDWR);
}

void TSendProgressHelper::SetText(const std::string& text) {
    TProgressMessage message;
    message.Type = TProgressMessageType::Text;
    message.Text = text;
    const std::lock_guard guard(m_lock);
    Send(message);
}

void TSendProgressHelper::SetPosition(int percent) {
    TProgressMessage message;
    message.Type = TProgressMessageType::Position;
    message.Position = percent;
    const std::lock_guard guard(m_lock);
    Send(message);
}

void TSendProgressHelper::Close(std::chrono::milliseconds wait) {
    const std::lock_guard guard(m_lock);
    if (m_socket >= 0) {
        TProgressMessage message;
        message.Type = TProgressMessageType::Close;
        Send(message);
    }
    EndLocked(wait);
}

bool TSendProgressHelper::Open() {
    const std::lock_guard guard(m_lock);
    return !ReapedLocked(false);
}

bool TSendProgressHelper::ReapedLocked(bool wait) {
    if (m_reaped)
        return true;
    int status = 0;
    pid_t result = -1;
    do {
        result = ::waitpid(m_child, &status, wait ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    // ECHILD: reaped by someone else; nothing is left to wait for or to signal.
    if (result == m_child || (result < 0 && errno == ECHILD))
        m_reaped = true;
    return m_reaped;
}

void TSendProgressHelper::EndLocked(std::chrono::milliseconds wait) {
    if (m_socket >= 0) {
        // The end of its input ends the helper too, should the closing message not have reached it.
        ::shutdown(m_socket, SHUT_WR);
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!ReapedLocked(false) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!m_reaped && ::kill(m_child, SIGKILL) != 0 && errno != ESRCH)
        m_reaped = true; // not ours to signal: nothing left to reap either
    ReapedLocked(true);
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
}

int RunSendProgressHelper(int& argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], SendProgressHelperArgument) != 0)
        return -1;
    TProgressMessageReader reader;
    std::optional<TProgressMessage> show;
    try {
        show = ReceiveMessage(STDIN_FILENO, reader, std::chrono::steady_clock::now() + FirstMessageWait);
    } catch (const Exception&) {
        return 2;
    }
    if (!show || show->Type != TProgressMessageType::Show)
        return 2;

    const std::unique_ptr<QApplication> app =
        QCoreApplication::instance() == nullptr ? std::make_unique<QApplication>(argc, argv) : nullptr;
    const TProgramWindow program = ProgramWindowFromEnvironment();
    TakeProgramLook(program);
    const TPlainCaptionScope plainCaption;
    TSendDialog dialog(QString::fromStdString(show->Text), show->DialogFlags);
    const std::unique_ptr<QWindow> parent = BelongToProgram(dialog, program);
    int result = 0;
    dialog.OnReady = [&dialog] {
        TProgressMessage ready;
        ready.Type = TProgressMessageType::Ready;
        if (!SendBytes(STDIN_FILENO, EncodeProgressMessage(ready)))
            QTimer::singleShot(0, &dialog, [&dialog] { dialog.done(QDialog::Rejected); });
    };
    QSocketNotifier notifier(STDIN_FILENO, QSocketNotifier::Read);
    const auto follow = [&] {
        bool open = true;
        try {
            TReceived received = TReceived::Some;
            while (open && received == TReceived::Some) {
                received = ReceiveChunk(STDIN_FILENO, reader);
                while (std::optional<TProgressMessage> message = reader.Next()) {
                    if (message->Type == TProgressMessageType::Text)
                        dialog.SetStatus(QString::fromStdString(message->Text));
                    else if (message->Type == TProgressMessageType::Position)
                        dialog.ProgressBar()->setValue(message->Position);
                    else if (message->Type == TProgressMessageType::Close)
                        open = false;
                    else
                        throw EReadError("A progress message the window does not take.");
                    if (!open)
                        break;
                }
            }
            if (received == TReceived::Ended)
                open = false;
        } catch (const Exception&) {
            result = 2;
            open = false;
        }
        if (!open) {
            notifier.setEnabled(false);
            dialog.done(QDialog::Accepted);
        }
    };
    QObject::connect(&notifier, &QSocketNotifier::activated, &dialog, follow);
    // What came with the request is taken once the window runs.
    QTimer::singleShot(0, &dialog, follow);
    dialog.exec();
    return result;
}

} // namespace reporter
