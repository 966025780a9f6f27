#include "reporter/gui/ODialogHelper.h"

#include "OErrors.h"
#include "OModules.h"
#include "OProcess.h"
#include "OReportProgress.h"
#include "OScreenshot.h"
#include "OStream.h"
#include "reporter/gui/OClipboardKeeper.h"
#include "reporter/gui/OCursorImage.h"
#include "reporter/gui/ODialogFonts.h"
#include "reporter/gui/ODialogLayout.h"
#include "reporter/gui/OHelperSocket.h"
#include "reporter/gui/OProgramWindow.h"
#include "reporter/gui/OReportDialog.h"
#include "reporter/gui/ORequestDialog.h"
#include "reporter/gui/OScreenCapture.h"
#include "reporter/gui/OSendProgressHelper.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace reporter {

namespace {

constexpr uint32_t RequestMagic = 0x48444C4F; // "OLDH"
constexpr uint32_t AnswerMagic = 0x52444C4F;  // "OLDR"
constexpr uint32_t WireVersion = 3;
// A report is text of a few hundred kilobytes; anything near this is damage.
constexpr size_t MaxMessageSize = size_t(256) << 20;
constexpr uint32_t MaxColumns = 16;
// The answer holds the steps the user typed or a screenshot, nothing near this.
constexpr size_t MaxAnswerSize = MaxMessageSize;
// A screen beyond this on either side is damage.
constexpr uint32_t MaxScreenSide = 32768;

void WriteString(TOstrelStream& s, const std::string& text) {
    s.WriteU32(uint32_t(text.size()));
    s.Write(text.data(), text.size());
}

std::string ReadString(TOstrelStream& s) {
    const uint32_t length = s.ReadU32();
    if (length > s.Remaining())
        throw EReadError("The dialog request holds a text longer than the request.");
    std::string text(length, '\0');
    s.Read(text.data(), length);
    return text;
}

uint8_t Flags(const TReportDialogState& state) {
    return uint8_t((state.SendChecked ? 1 : 0) | (state.ScreenshotChecked ? 2 : 0) |
                   (state.ClipboardChecked ? 4 : 0) | (state.TerminateRequested ? 8 : 0) |
                   (state.DetailsShown ? 16 : 0));
}

TReportDialogState StateOf(uint8_t flags) {
    TReportDialogState state;
    state.SendChecked = flags & 1;
    state.ScreenshotChecked = flags & 2;
    state.ClipboardChecked = flags & 4;
    state.TerminateRequested = flags & 8;
    state.DetailsShown = flags & 16;
    return state;
}

void WriteRows(TOstrelStream& s, const std::vector<TListRowData>& rows) {
    s.WriteU32(uint32_t(rows.size()));
    for (const TListRowData& row : rows) {
        s.WriteU32(uint32_t(row.Texts.size()));
        for (const std::string& text : row.Texts)
            WriteString(s, text);
        s.WriteU32(uint32_t(row.Image));
        s.WriteU8(uint8_t((row.Running ? 1 : 0) | (row.Header ? 2 : 0)));
        WriteString(s, row.Caption);
    }
}

std::vector<TListRowData> ReadRows(TOstrelStream& s) {
    const uint32_t count = s.ReadU32();
    // Each row takes at least 13 bytes: a count that the rest cannot hold is damage.
    if (count > s.Remaining() / 13)
        throw EReadError("The dialog request announces more rows than it holds.");
    std::vector<TListRowData> rows(count);
    for (TListRowData& row : rows) {
        const uint32_t texts = s.ReadU32();
        if (texts > MaxColumns)
            throw EReadError("The dialog request holds a row with too many columns.");
        for (uint32_t i = 0; i < texts; ++i)
            row.Texts.push_back(ReadString(s));
        row.Image = int32_t(s.ReadU32());
        const uint8_t flags = s.ReadU8();
        row.Running = flags & 1;
        row.Header = flags & 2;
        row.Caption = ReadString(s);
    }
    return rows;
}

// A helper started ahead of its dialog (while the report is still being built), waiting for its
// request; at most one.
struct TPreparedHelper {
    pid_t Pid = -1;
    int Fd = -1;
    std::string Program;
};
std::mutex gPreparedLock;
TPreparedHelper gPrepared;
// A prepared helper that gets no request within this time ends by itself.
constexpr int PreparedWaitMs = 60000;

// Reaps the child when it has ended; true then (or when it is no child of ours any more).
bool Ended(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) != 0;
}

// The prepared helper of that program, taken out of its place; none when there is none or it ended.
std::optional<TPreparedHelper> TakePreparedHelper(const std::string& program) {
    const std::lock_guard lock(gPreparedLock);
    if (gPrepared.Pid <= 0 || gPrepared.Program != program)
        return std::nullopt;
    TPreparedHelper taken = gPrepared;
    gPrepared = TPreparedHelper{};
    if (Ended(taken.Pid)) {
        ::close(taken.Fd);
        return std::nullopt;
    }
    return taken;
}

// Hands the request to the helper and reads its answer; none when it ended without one.
// gaveUp tells a helper that ended before it read the request (a prepared one whose wait ran out).
std::optional<THelperAnswer> Exchange(const THelperRequest& request, pid_t child, int socket,
                                      bool* gaveUp = nullptr) {
    const THelperFd ours(socket);
    const TOutsideWait outside; // the helper's dialog waits for its user

    const std::vector<uint8_t> requestBytes = EncodeHelperRequest(request);
    std::vector<uint8_t> answerBytes;
    const bool exchanged = SendAll(ours.Get(), requestBytes.data(), requestBytes.size()) &&
                           ::shutdown(ours.Get(), SHUT_WR) == 0 &&
                           ReceiveAll(ours.Get(), answerBytes, MaxAnswerSize);
    const int status = WaitForChild(child);
    if (gaveUp != nullptr)
        *gaveUp = answerBytes.empty() && WIFEXITED(status) && WEXITSTATUS(status) == 2;
    if (!exchanged || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    try {
        return DecodeHelperAnswer(std::move(answerBytes));
    } catch (const Exception&) {
        return std::nullopt;
    }
}

// The program's foreground window (foregroundWindow) or the screen nearest to it, as the display
// server shows it, marked as the program would have marked it: the focused control framed, the cursor
// drawn where it is.
QImage MarkedScreen(bool foregroundWindow, const TProgramWindow& program) {
    return CaptureMarkedArea(foregroundWindow, program.Window, program.Focus, QCursor(Qt::ArrowCursor),
                             QCursor::pos());
}

// Makes what every dialog's first show costs: the font matches, the style's polish of the kinds of
// controls the dialogs hold, a rich text page laid out.
void WarmUpDialogs() {
    const TDialogFonts fonts = CreateDialogFonts();
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    for (const QFont& font : {fonts.Message, fonts.Link, fonts.Caption, fonts.Fixed, fonts.List}) {
        auto* label = new QLabel(QStringLiteral("Warm up 0123"), &dialog);
        label->setFont(font);
        layout->addWidget(label);
    }
    layout->addWidget(new QPushButton(QStringLiteral("OK"), &dialog));
    layout->addWidget(new QCheckBox(QStringLiteral("Send"), &dialog));
    layout->addWidget(new QTabBar(&dialog));
    auto* text = new QTextEdit(&dialog);
    text->setHtml(QStringLiteral("<b>General</b> text"));
    layout->addWidget(text);
    auto* tree = new QTreeWidget(&dialog);
    tree->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    layout->addWidget(tree);
    dialog.ensurePolished();
    dialog.adjustSize();
}

} // namespace

std::vector<uint8_t> EncodeHelperRequest(const THelperRequest& request) {
    TOstrelStream s;
    s.WriteU32(RequestMagic);
    s.WriteU32(WireVersion);
    s.WriteU8(uint8_t(request.Dialog));
    const TDialogOptions& o = request.Content.Options;
    s.WriteU8(o.DialogFlags);
    s.WriteU16(o.SendFlags);
    s.WriteU8(o.LogFlags);
    s.WriteU8(o.CallStackFlags);
    s.WriteU8(o.MailSendMode);
    s.WriteU8(o.UploadMode);
    s.WriteU8(o.TerminateAction);
    s.WriteU8(o.DialogTabSetting);
    s.WriteU8(uint8_t((o.DialogCountCheck ? 1 : 0) | (o.LogToFile ? 2 : 0)));
    s.WriteU32(uint32_t(o.DialogCountLimit));
    s.WriteU32(uint32_t(o.DialogAutoCloseSeconds));
    WriteString(s, o.SupportPageURL);
    for (const std::string& text : o.Texts)
        WriteString(s, text);
    const TReportDialogContent& c = request.Content;
    WriteString(s, c.ExceptionMessage);
    WriteString(s, c.GeneralText);
    WriteString(s, c.CPUText);
    WriteString(s, c.CustomDataText);
    s.WriteU8(c.Duplicate ? 1 : 0);
    s.WriteU32(uint32_t(c.ReportsShown));
    WriteRows(s, c.CallStackRows);
    WriteRows(s, c.ModuleRows);
    s.WriteU8(Flags(request.State));
    WriteString(s, request.LayoutFile);
    WriteString(s, request.BoxText);
    WriteString(s, request.BoxCaption);
    s.WriteU8(request.BoxError ? 1 : 0);
    return s.Bytes();
}

THelperRequest DecodeHelperRequest(const std::vector<uint8_t>& bytes) {
    TOstrelStream s(bytes);
    if (s.ReadU32() != RequestMagic || s.ReadU32() != WireVersion)
        throw EReadError("Not a dialog request of this version.");
    THelperRequest request;
    const uint8_t dialog = s.ReadU8();
    if (dialog < uint8_t(THelperDialog::Report) || dialog > uint8_t(THelperDialog::Message))
        throw EReadError("The dialog request names no dialog the helper shows.");
    request.Dialog = THelperDialog(dialog);
    TDialogOptions& o = request.Content.Options;
    o.DialogFlags = s.ReadU8();
    o.SendFlags = s.ReadU16();
    o.LogFlags = s.ReadU8();
    o.CallStackFlags = s.ReadU8();
    o.MailSendMode = s.ReadU8();
    o.UploadMode = s.ReadU8();
    o.TerminateAction = s.ReadU8();
    o.DialogTabSetting = s.ReadU8();
    const uint8_t switches = s.ReadU8();
    o.DialogCountCheck = switches & 1;
    o.LogToFile = switches & 2;
    o.DialogCountLimit = int32_t(s.ReadU32());
    o.DialogAutoCloseSeconds = int32_t(s.ReadU32());
    o.SupportPageURL = ReadString(s);
    for (std::string& text : o.Texts)
        text = ReadString(s);
    TReportDialogContent& c = request.Content;
    c.ExceptionMessage = ReadString(s);
    c.GeneralText = ReadString(s);
    c.CPUText = ReadString(s);
    c.CustomDataText = ReadString(s);
    c.Duplicate = s.ReadU8() != 0;
    c.ReportsShown = int32_t(s.ReadU32());
    c.CallStackRows = ReadRows(s);
    c.ModuleRows = ReadRows(s);
    request.State = StateOf(s.ReadU8());
    request.LayoutFile = ReadString(s);
    request.BoxText = ReadString(s);
    request.BoxCaption = ReadString(s);
    request.BoxError = s.ReadU8() != 0;
    return request;
}

std::vector<uint8_t> EncodeHelperAnswer(const THelperAnswer& answer) {
    TOstrelStream s;
    s.WriteU32(AnswerMagic);
    s.WriteU8(answer.Painted ? 1 : 0);
    s.WriteU8(Flags(answer.State));
    WriteString(s, answer.ReproduceText);
    s.WriteU32(answer.Screen.Width);
    s.WriteU32(answer.Screen.Height);
    // A screen is millions of pixels: copied in one piece (the helper is the program's own file, so both
    // ends have the same byte order).
    s.Write(answer.Screen.Pixels.data(), answer.Screen.Pixels.size() * sizeof(uint32_t));
    return s.Bytes();
}

THelperAnswer DecodeHelperAnswer(std::vector<uint8_t> bytes) {
    TOstrelStream s(std::move(bytes));
    if (s.ReadU32() != AnswerMagic)
        throw EReadError("Not a dialog answer.");
    THelperAnswer answer;
    answer.Painted = s.ReadU8() != 0;
    answer.State = StateOf(s.ReadU8());
    answer.ReproduceText = ReadString(s);
    const uint32_t width = s.ReadU32();
    const uint32_t height = s.ReadU32();
    if (width > MaxScreenSide || height > MaxScreenSide || uint64_t(width) * height * 4 != s.Remaining())
        throw EReadError("The dialog answer holds a screenshot of another size than it says.");
    answer.Screen.Width = width;
    answer.Screen.Height = height;
    answer.Screen.Pixels.resize(size_t(width) * height);
    s.Read(answer.Screen.Pixels.data(), answer.Screen.Pixels.size() * sizeof(uint32_t));
    return answer;
}

pid_t StartHelperProcess(const std::string& program, const char* argument, int& socket) {
    socket = -1;
    // The helper is the running program's own file, also when an upgrade has replaced the one of its name.
    const std::string file = program.empty() ? std::string(ProgramFileToOpen()) : program;
    const std::string name = program.empty() ? ProgramFileName() : program;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return -1;
    THelperFd ours(pair[0]);
    const THelperFd theirs(pair[1]);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return -1;
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    // A report thread may have signals blocked, and descriptors of libraries may lack close-on-exec;
    // neither belongs in the helper.
    // dup2 clears close-on-exec on the copy: the helper's standard input is its end of the socket.
    const bool prepared = posix_spawn_file_actions_adddup2(&actions, theirs.Get(), STDIN_FILENO) == 0 &&
                          posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1) == 0 &&
                          SetFreshSignalState(attributes);
    std::string argument0 = name.empty() ? file : name;
    std::string argument1 = argument;
    char* argv[] = {argument0.data(), argument1.data(), nullptr};
    // The program's window facts travel in the helper's environment, in place of any it had.
    std::vector<std::string> added = ProgramWindowEnvironment();
    std::vector<char*> environment;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
        if (added.empty() || !IsProgramWindowVariable(*entry))
            environment.push_back(*entry);
    for (std::string& line : added)
        environment.push_back(line.data());
    environment.push_back(nullptr);
    pid_t child = -1;
    const int spawned =
        prepared ? ::posix_spawn(&child, file.c_str(), &actions, &attributes, argv, environment.data()) : -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    socket = ours.Release();
    return child;
}

void PrepareDialogHelper(const std::string& program) {
    const std::lock_guard lock(gPreparedLock);
    if (gPrepared.Pid > 0) {
        if (gPrepared.Program == program && !Ended(gPrepared.Pid))
            return;
        ::close(gPrepared.Fd);
        gPrepared = TPreparedHelper{};
    }
    int socket = -1;
    const pid_t child = StartHelperProcess(program, HelperArgument, socket);
    if (child > 0)
        gPrepared = TPreparedHelper{child, socket, program};
}

std::optional<THelperAnswer> ShowDialogInHelper(const THelperRequest& request, const std::string& program) {
    // A dialog takes the helper prepared for it; a screenshot never does (the dialog's helper is
    // prepared while the screenshot is taken). One that gave up waiting just then is replaced.
    if (request.Dialog != THelperDialog::Screenshot)
        if (const std::optional<TPreparedHelper> prepared = TakePreparedHelper(program)) {
            bool gaveUp = false;
            std::optional<THelperAnswer> answer = Exchange(request, prepared->Pid, prepared->Fd, &gaveUp);
            if (answer || !gaveUp)
                return answer;
        }
    int socket = -1;
    const pid_t child = StartHelperProcess(program, HelperArgument, socket);
    if (child < 0)
        return std::nullopt;
    return Exchange(request, child, socket);
}

int RunOstrelDialogHelper(int& argc, char** argv) {
    if (const int keeper = RunClipboardKeeper(argc, argv); keeper >= 0)
        return keeper;
    if (const int progress = RunSendProgressHelper(argc, argv); progress >= 0)
        return progress;
    if (argc < 2 || std::strcmp(argv[1], HelperArgument) != 0)
        return -1;
    // The toolkit starts before the request comes: a helper prepared ahead of its dialog is ready when
    // the report is.
    std::unique_ptr<QApplication> app;
    if (QCoreApplication::instance() == nullptr)
        app = std::make_unique<QApplication>(argc, argv);
    // A helper started ahead of its dialog has time while the report is built: the fonts and the
    // style's first widgets are made now, not when the user waits for the dialog. A request that is
    // there already (a screenshot's) is not kept waiting.
    if (pollfd waiting{STDIN_FILENO, POLLIN, 0}; ::poll(&waiting, 1, 0) == 0)
        WarmUpDialogs();
    std::vector<uint8_t> bytes;
    if (!ReceiveAll(STDIN_FILENO, bytes, MaxMessageSize, PreparedWaitMs))
        return 2;
    THelperRequest request;
    try {
        request = DecodeHelperRequest(bytes);
    } catch (const Exception&) {
        return 2;
    }
    const TProgramWindow program = ProgramWindowFromEnvironment();
    TakeProgramLook(program);
    THelperAnswer answer;
    answer.State = request.State;
    if (request.Dialog == THelperDialog::Screenshot) {
        answer.Screen = ToRgbImage(
            MarkedScreen((request.Content.Options.SendFlags & ScreenshotWindowFlag) != 0, program));
        answer.Painted = !answer.Screen.Empty();
    } else if (request.Dialog == THelperDialog::Message) {
        QMessageBox box(request.BoxError ? QMessageBox::Critical : QMessageBox::Information,
                        QString::fromStdString(request.BoxCaption), QString::fromStdString(request.BoxText),
                        QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
        const std::unique_ptr<QWindow> parent = BelongToProgram(box, program);
        box.exec();
        answer.Painted = true;
    } else if (request.Dialog == THelperDialog::Reproduce) {
        TRequestDialog dialog(request.Content.Options);
        const std::unique_ptr<QWindow> parent = BelongToProgram(dialog, program);
        dialog.exec();
        answer.ReproduceText = dialog.ReproduceText();
        answer.Painted = true;
    } else {
        TReportDialog dialog(request.Content, answer.State,
                             request.LayoutFile.empty() ? DialogLayoutFileName()
                                                        : QString::fromStdString(request.LayoutFile));
        const std::unique_ptr<QWindow> parent = BelongToProgram(dialog, program);
        QApplication::beep();
        dialog.exec();
        answer.Painted = dialog.Painted();
    }
    const std::vector<uint8_t> answerBytes = EncodeHelperAnswer(answer);
    return SendAll(STDIN_FILENO, answerBytes.data(), answerBytes.size()) ? 0 : 3;
}

} // namespace reporter
