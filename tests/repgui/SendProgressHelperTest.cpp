// The send-progress window in a helper process when the GUI thread cannot show it: the messages on the
// wire, and the helper started, fed and ended (this test binary serves as the helper).
#include "OErrors.h"
#include "OReporterState.h"
#include "OThreadState.h"
#include "reporter/gui/ODialogHelper.h"
#include "reporter/gui/OSendDialog.h"
#include "reporter/gui/OSendProgressHelper.h"
#include "tests/support/TestTools.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

using namespace reporter;
using namespace std::chrono_literals;

namespace {

std::optional<TProgressMessage> ReadAll(const std::vector<uint8_t>& bytes) {
    TProgressMessageReader reader;
    reader.Append(bytes.data(), bytes.size());
    return reader.Next();
}

// A message as it could come off the wire: the payload is zeros.
std::vector<uint8_t> Frame(uint8_t type, uint32_t length, size_t payload) {
    std::vector<uint8_t> bytes{type, uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16),
                               uint8_t(length >> 24)};
    bytes.resize(bytes.size() + payload, 0);
    return bytes;
}

bool NoChildLeft() {
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

// A helper process may take long to start on a loaded machine: only a helper that never comes fails.
constexpr auto HelperLimit = 60s;

// What the helper's window shows, once it shows the expected: the helper renames a new state file into
// place whenever it changes, and each rename wakes the look.
bool ShownEventually(const QTemporaryDir& dir, const QString& expected) {
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    EXPECT_GE(watch, 0);
    EXPECT_GE(::inotify_add_watch(watch, dir.path().toUtf8().constData(), IN_MOVED_TO | IN_CLOSE_WRITE), 0);
    const auto deadline = std::chrono::steady_clock::now() + HelperLimit;
    QString shown;
    for (;;) {
        QFile file(dir.filePath("state"));
        if (file.open(QIODevice::ReadOnly))
            shown = QString::fromUtf8(file.readAll());
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (shown == expected || left.count() <= 0)
            break;
        pollfd changed{watch, POLLIN, 0};
        if (::poll(&changed, 1, int(left.count())) > 0) {
            char events[4096];
            while (::read(watch, events, sizeof events) > 0) {
            }
        }
    }
    ::close(watch);
    EXPECT_EQ(shown.toStdString(), expected.toStdString());
    return shown == expected;
}

// Marks the GUI thread (this one) as standing still while the object lives.
struct TStoppedGuiThread {
    TStoppedGuiThread() {
        SetGuiThreadId(CurrentThreadId());
        SetStoppedThreadId(GuiThreadId());
    }
    ~TStoppedGuiThread() {
        SetStoppedThreadId(0);
        SetGuiThreadId(0);
    }
};

struct TStateDir {
    QTemporaryDir Dir;
    TStateDir() { ::setenv("REPGUI_PROGRESS_STATE", Dir.path().toUtf8().constData(), 1); }
    ~TStateDir() { ::unsetenv("REPGUI_PROGRESS_STATE"); }
};

} // namespace

TEST(SendProgressHelper, MessagesSurviveTheWireAndDamageIsRefused) {
    TProgressMessage show;
    show.Type = TProgressMessageType::Show;
    show.Text = "Send.";
    show.DialogFlags = 0x1F;
    std::optional<TProgressMessage> back = ReadAll(EncodeProgressMessage(show));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Type, TProgressMessageType::Show);
    EXPECT_EQ(back->Text, "Send.");
    EXPECT_EQ(back->DialogFlags, 0x1F);
    TProgressMessage position;
    position.Type = TProgressMessageType::Position;
    for (const auto& [asked, sent] : {std::pair{0, 0}, {100, 100}, {-5, 0}, {101, 100}}) {
        position.Position = asked;
        back = ReadAll(EncodeProgressMessage(position));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->Position, sent) << asked;
    }

    // Two messages fed a byte at a time: nothing until each is whole.
    TProgressMessage text;
    text.Type = TProgressMessageType::Text;
    text.Text = "Message 1/2: Connecting with server...";
    std::vector<uint8_t> bytes = EncodeProgressMessage(text);
    const size_t firstEnd = bytes.size();
    const std::vector<uint8_t> close = EncodeProgressMessage(TProgressMessage{});
    bytes.insert(bytes.end(), close.begin(), close.end());
    TProgressMessageReader reader;
    std::vector<TProgressMessage> got;
    for (size_t i = 0; i < bytes.size(); ++i) {
        reader.Append(&bytes[i], 1);
        while (std::optional<TProgressMessage> message = reader.Next())
            got.push_back(*message);
        EXPECT_EQ(got.size(), size_t(i + 1 >= firstEnd) + size_t(i + 1 == bytes.size())) << i;
    }
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].Text, text.Text);
    EXPECT_EQ(got[1].Type, TProgressMessageType::Close);

    // A text over the bound is cut before a character that does not fit whole ("é" is two bytes).
    for (const std::string& tail : {std::string("x"), std::string("\xC3\xA9")}) {
        text.Text = std::string(MaxProgressPayload - 1, 'x') + tail;
        back = ReadAll(EncodeProgressMessage(text));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->Text,
                  text.Text.substr(0, tail.size() == 1 ? MaxProgressPayload : MaxProgressPayload - 1));
    }

    // Types, the payload bound and each type's length, on both sides; a position outside 0..100.
    struct TCase {
        uint8_t Type;
        uint32_t Length;
        bool Accepted;
    };
    for (const TCase& c : {TCase{3, MaxProgressPayload, true},
                           {3, MaxProgressPayload + 1, false},
                           {3, 0xFFFFFFFF, false},
                           {5, 0, true},
                           {0, 0, false},
                           {6, 0, false},
                           {1, 1, true},
                           {1, 0, false},
                           {2, 0, true},
                           {2, 1, false},
                           {4, 4, true},
                           {4, 3, false},
                           {4, 5, false}}) {
        if (c.Accepted)
            EXPECT_TRUE(ReadAll(Frame(c.Type, c.Length, c.Length))) << int(c.Type) << ' ' << c.Length;
        else
            EXPECT_THROW(ReadAll(Frame(c.Type, c.Length, 0)), EReadError) << int(c.Type) << ' ' << c.Length;
    }
    for (const uint32_t value : {100u, 101u, 0xFFFFFFFFu}) {
        std::vector<uint8_t> frame = Frame(4, 4, 0);
        for (int shift = 0; shift < 32; shift += 8)
            frame.push_back(uint8_t(value >> shift));
        if (value == 100)
            EXPECT_TRUE(ReadAll(frame));
        else
            EXPECT_THROW(ReadAll(frame), EReadError) << value;
    }
}

TEST(SendProgressHelper, AStoppedOrFrozenGuiThreadHasTheWindowShownByTheHelper) {
    const TStateDir state;
    ASSERT_TRUE(state.Dir.isValid());
    TQtOstrelSendProgress progress(5s, HelperLimit);
    {
        const TStoppedGuiThread stopped;
        bool shown = false, open = false, reached = false;
        std::thread sender([&] {
            shown = progress.Show("Send.", 0x1F);
            open = progress.IsOpen();
            progress.SetText("Message 1/2: Connecting with server...");
            reached = ShownEventually(state.Dir, "Send.|Message 1/2: Connecting with server...|0");
            progress.SetPosition(40);
            reached =
                reached && ShownEventually(state.Dir, "Send.|Message 1/2: Connecting with server...|40");
            progress.Close();
        });
        sender.join(); // the GUI thread stands still meanwhile
        EXPECT_TRUE(shown);
        EXPECT_TRUE(open);
        EXPECT_TRUE(reached);
        EXPECT_FALSE(progress.IsOpen());
        EXPECT_TRUE(NoChildLeft());
    }

    // A GUI thread that does not take the call up within the limit (not known to stand still).
    TQtOstrelSendProgress frozen(200ms, HelperLimit);
    bool shown = false;
    std::thread sender([&] {
        shown = frozen.Show("Frozen.", 0);
        frozen.SetPosition(70);
        ShownEventually(state.Dir, "Frozen.||70");
    });
    sender.join();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(frozen.IsOpen());
    frozen.Close();
    EXPECT_FALSE(frozen.IsOpen());
    EXPECT_TRUE(NoChildLeft());
}

TEST(SendProgressHelper, AHelperThatNeverShowsOrDiesLeavesNoProcessBehind) {
    const TStoppedGuiThread stopped;
    // A program that starts but never answers: the limit ends the wait, the process is killed and reaped.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString silent = dir.filePath("silent");
    QFile script(silent);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexec sleep 30\n");
    script.close();
    ASSERT_TRUE(script.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    TQtOstrelSendProgress progress(300ms, 300ms);
    bool shown = true;
    for (const std::string& program : {silent.toStdString(), std::string("/nonexistent/program")}) {
        progress.SetHelper(true, program);
        std::thread([&] { shown = progress.Show("Send.", 0); }).join();
        EXPECT_FALSE(shown) << program;
        EXPECT_FALSE(progress.IsOpen());
        EXPECT_TRUE(NoChildLeft()) << program;
    }

    // A helper that dies while the sender works: the sender goes on, nothing is left.
    const TStateDir state;
    ::setenv("REPGUI_PROGRESS_DIE_AT", "die", 1);
    progress.SetHelper(true);
    TQtOstrelSendProgress dying(5s, HelperLimit);
    bool closedAlone = false;
    std::thread([&] {
        shown = dying.Show("Send.", 0);
        dying.SetText("die");
        const auto deadline = std::chrono::steady_clock::now() + HelperLimit;
        while (dying.IsOpen() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        closedAlone = !dying.IsOpen();
        dying.SetText("after");
        dying.SetPosition(50);
        dying.Close();
    }).join();
    ::unsetenv("REPGUI_PROGRESS_DIE_AT");
    EXPECT_TRUE(shown);
    EXPECT_TRUE(closedAlone);
    EXPECT_TRUE(NoChildLeft());
}

TEST(SendProgressHelper, TheHelperEndsWhenTheProgramGoesAwayOrSendsDamage) {
    for (const bool damage : {false, true}) {
        int socket = -1;
        const pid_t child = StartHelperProcess(std::string(), SendProgressHelperArgument, socket);
        ASSERT_GT(child, 0);
        TProgressMessage show;
        show.Type = TProgressMessageType::Show;
        const std::vector<uint8_t> request = EncodeProgressMessage(show);
        EXPECT_EQ(::send(socket, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
        pollfd answer{socket, POLLIN, 0};
        uint8_t ready[5] = {};
        EXPECT_EQ(::poll(&answer, 1, 10000), 1);
        EXPECT_EQ(::recv(socket, ready, sizeof ready, MSG_WAITALL), 5);
        EXPECT_EQ(ready[0], uint8_t(TProgressMessageType::Ready));
        const std::vector<uint8_t> oversized = Frame(3, MaxProgressPayload + 1, 0);
        if (damage)
            EXPECT_EQ(::send(socket, oversized.data(), oversized.size(), MSG_NOSIGNAL), 5);
        else
            ::close(socket); // the program's end
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), damage ? 2 : 0);
        if (damage)
            ::close(socket);
    }
}

// A program whose file was replaced or deleted since its start (an upgrade) starts its helper from its
// running file: a copy of this binary deletes itself and runs the helper test above.
TEST(SendProgressHelper, AProgramWhoseFileWasDeletedStillStartsItsHelper) {
    if (std::getenv("REPGUI_DELETE_SELF") != nullptr)
        GTEST_SKIP() << "runs in the copy only";
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString copy = folder.filePath("vdcopy");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/proc/self/exe"), copy));
    ASSERT_TRUE(QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner));
    const testtools::TCommandResult run = testtools::Run(
        "REPGUI_DELETE_SELF=1 '" + copy.toStdString() +
        "' --gtest_filter=SendProgressHelper.TheHelperEndsWhenTheProgramGoesAwayOrSendsDamage 2>&1");
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_NE(run.Output.find("[  PASSED  ] 1 test."), std::string::npos) << run.Output;
    EXPECT_FALSE(QFile::exists(copy));
}
