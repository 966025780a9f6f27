// The blocking bridge and the report dialog shown from other threads: on the GUI thread while it serves
// its events, in a helper process while it does not.
#include "ReportFixture.h"

#include "OErrors.h"
#include "OLastError.h"
#include "OReportProgress.h"
#include "OReporterState.h"
#include "OThreadState.h"
#include "OWindows.h"
#include "reporter/gui/ODialogHelper.h"
#include "reporter/gui/OExceptionDialog.h"
#include "reporter/gui/OGuiBridge.h"
#include "reporter/gui/OOstrelGui.h"
#include "reporter/gui/OQtScreen.h"
#include "reporter/gui/OReportDialog.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

using namespace reporter;
using namespace repgui;
using namespace std::chrono_literals;

namespace {

// Serves the GUI thread's events until the future is ready.
template <class T> T PumpUntil(std::future<T>& future) {
    while (future.wait_for(5ms) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return future.get();
}

// Clicks a button of the report dialog once it shows.
void ClickWhenShown(const char* button) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, button] {
        if (auto* dialog = qobject_cast<TReportDialog*>(QApplication::activeModalWidget())) {
            dialog->findChild<QPushButton*>(button)->click();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

} // namespace

TEST(GuiBridge, WorkFromAWorkerRunsOnTheGuiThread) {
    std::atomic<QThread*> ranOn{nullptr};
    std::future<TGuiCallStatus> call = std::async(
        std::launch::async, [&] { return RunOnGuiThread([&] { ranOn = QThread::currentThread(); }, 5s); });
    EXPECT_EQ(PumpUntil(call), TGuiCallStatus::Done);
    EXPECT_EQ(ranOn.load(), qApp->thread());

    std::future<TGuiCallStatus> raising = std::async(std::launch::async, [] {
        return RunOnGuiThread([] { throw std::runtime_error("in the dialog"); }, 5s);
    });
    EXPECT_EQ(PumpUntil(raising), TGuiCallStatus::Raised);
    EXPECT_EQ(RunOnGuiThread([] {}), TGuiCallStatus::Done); // on the GUI thread itself: at once
}

TEST(GuiBridge, AGuiThreadThatDoesNotServeItsEventsMakesTheCallFailForGood) {
    std::atomic<bool> ran{false};
    TGuiCallStatus status = TGuiCallStatus::Done;
    reporter::TakeGuiThreadSilent();
    std::thread worker([&] { status = RunOnGuiThread([&] { ran = true; }, 50ms); });
    worker.join(); // the GUI thread blocks here, as a frozen one would
    EXPECT_EQ(status, TGuiCallStatus::NotStarted);
    // A report asking meanwhile learns that it goes on without the answer (and says so).
    EXPECT_TRUE(reporter::TakeGuiThreadSilent());
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran); // the cancelled call never runs late
    std::thread answered([&] { status = RunOnGuiThread([&] { ran = true; }, 5s); });
    while (!ran)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    answered.join();
    EXPECT_EQ(status, TGuiCallStatus::Done);
    EXPECT_FALSE(reporter::TakeGuiThreadSilent());
}

TEST(GuiBridge, AGuiThreadKnownToStandStillIsNotAsked) {
    // While a report is about the GUI thread that faulted, nothing is handed to it, even when its events
    // would be served: it waits in its signal handler until the report ends.
    SetGuiThreadId(CurrentThreadId()); // what the toolkit side records when it is installed
    SetStoppedThreadId(GuiThreadId());
    std::atomic<bool> ran{false};
    std::future<TGuiCallStatus> call =
        std::async(std::launch::async, [&] { return RunOnGuiThread([&] { ran = true; }, 5s); });
    EXPECT_EQ(PumpUntil(call), TGuiCallStatus::NotStarted);
    SetStoppedThreadId(0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    // Another thread standing still does not concern the GUI thread.
    SetStoppedThreadId(GuiThreadId() + 1);
    std::future<TGuiCallStatus> other =
        std::async(std::launch::async, [&] { return RunOnGuiThread([&] { ran = true; }, 5s); });
    EXPECT_EQ(PumpUntil(other), TGuiCallStatus::Done);
    SetStoppedThreadId(0);
    SetGuiThreadId(0);
    EXPECT_TRUE(ran);
}

TEST(ExceptionDialog, ShownFromTheReportThreadOnTheGuiThread) {
    TFixedReport report;
    report.Options.SetMailSendMode(1);
    report.Refresh();
    QTemporaryDir dir;
    TShowDialogOptions options;
    options.LayoutFile = dir.filePath("OstrelLog.ini").toStdString();
    options.UseHelperProcess = false;
    TReportDialogState state;
    state.SendChecked = true;
    ClickWhenShown("btOK");
    std::future<bool> shown =
        std::async(std::launch::async, [&] { return ShowExceptionDialog(report.Content, state, options); });
    EXPECT_TRUE(PumpUntil(shown));
    EXPECT_TRUE(state.SendChecked);
    EXPECT_FALSE(state.TerminateRequested);
}

// The window system appends the program's display name to a caption unless that name is blank: the
// dialog's caption is "Error." alone from the program as from the helper process.
TEST(ExceptionDialog, ItsCaptionIsItsOwnTextWithoutTheProgramsName) {
    const QString previous = QGuiApplication::applicationDisplayName();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Vexa Daxo Soft"));
    TFixedReport report;
    QTemporaryDir dir;
    TShowDialogOptions options;
    options.LayoutFile = dir.filePath("OstrelLog.ini").toStdString();
    options.UseHelperProcess = false;
    TReportDialogState state;
    QString whileShown = QStringLiteral("not shown");
    QString title;
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [&, timer] {
        if (auto* dialog = qobject_cast<TReportDialog*>(QApplication::activeModalWidget())) {
            whileShown = QGuiApplication::applicationDisplayName();
            title = dialog->windowTitle();
            dialog->findChild<QPushButton*>("btOK")->click();
            timer->deleteLater();
        }
    });
    timer->start(10);
    std::future<bool> shown =
        std::async(std::launch::async, [&] { return ShowExceptionDialog(report.Content, state, options); });
    EXPECT_TRUE(PumpUntil(shown));
    EXPECT_EQ(whileShown, QString());
    EXPECT_EQ(title, QStringLiteral("Error."));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Vexa Daxo Soft"));
    QGuiApplication::setApplicationDisplayName(previous);
}

TEST(ExceptionDialog, ATerminateRequestThatAHandlerClearsShowsTheDialogAgain) {
    TFixedReport report;
    report.Content.ReportsShown = 10;
    QTemporaryDir dir;
    TShowDialogOptions options;
    options.LayoutFile = dir.filePath("OstrelLog.ini").toStdString();
    options.UseHelperProcess = false;
    int notified = 0;
    options.TerminateNotify = [&](bool& terminate) {
        if (++notified == 1) {
            terminate = false;
            // The handler runs on the report thread: the second showing is closed with OK from the GUI.
            QMetaObject::invokeMethod(
                qApp, [] { ClickWhenShown("btOK"); }, Qt::QueuedConnection);
        }
    };
    TReportDialogState state;
    ClickWhenShown("btTerminate");
    std::future<bool> shown =
        std::async(std::launch::async, [&] { return ShowExceptionDialog(report.Content, state, options); });
    EXPECT_TRUE(PumpUntil(shown));
    EXPECT_EQ(notified, 1);
    EXPECT_FALSE(state.TerminateRequested);
}

TEST(ExceptionDialog, WithoutAnyWayToShowItTheErrorIsRecorded) {
    TFixedReport report;
    TShowDialogOptions options;
    options.GuiStartWait = 20ms;
    options.UseHelperProcess = false;
    TReportDialogState state;
    bool painted = true;
    std::thread worker([&] { painted = ShowExceptionDialog(report.Content, state, options); });
    worker.join();
    EXPECT_FALSE(painted);
    EXPECT_EQ(LastErrorCode(), TOstrelLogErrorCode::eeShowError);
    EXPECT_EQ(LastErrorMessage().find("Cannot show the DialogBox window."), 0u);
    ClearLastErrorCode();
}

TEST(DialogHelper, AFrozenGuiThreadHasTheDialogShownByAHelperProcess) {
    TFixedReport report;
    report.Options.SetDialogAutoCloseSeconds(1); // nobody clicks in the helper
    report.Options.SetMailSendMode(2);
    report.Options.SetDialogFlags(0x1F | 0x20);
    report.Refresh();
    QTemporaryDir dir;
    TShowDialogOptions options;
    options.LayoutFile = dir.filePath("OstrelLog.ini").toStdString();
    options.GuiStartWait = 20ms;
    TReportDialogState state;
    state.SendChecked = true;
    bool painted = false;
    std::thread worker([&] { painted = ShowExceptionDialog(report.Content, state, options); });
    worker.join(); // frozen meanwhile
    EXPECT_TRUE(painted);
    EXPECT_TRUE(state.SendChecked);
    EXPECT_TRUE(state.DetailsShown);
    // The helper's details form saved its layout in the file it was given.
    EXPECT_TRUE(QFile::exists(dir.filePath("OstrelLog.ini")));
}

// The steps to reproduce are asked by the helper too when the GUI thread cannot ask them.
TEST(DialogHelper, AFrozenGuiThreadHasTheStepsAskedByTheHelperProcess) {
    TOstrelGui gui; // the program shows windows
    TFixedReport report;
    report.Options.SetLogFlags(0x30 | 0x02);
    report.Options.SetLogToFile(true);
    report.Refresh();
    TShowDialogOptions options;
    options.GuiStartWait = 20ms;
    TReportDialogState state;
    TReportTextParts parts;
    ASSERT_EQ(::setenv("REPGUI_HELPER_STEPS", "Opened the search, pressed Find twice", 1), 0);
    std::string steps;
    std::thread worker(
        [&] { steps = ShowReproduceDialog(report.Content.Options, state, false, parts, options); });
    worker.join(); // frozen meanwhile
    ::unsetenv("REPGUI_HELPER_STEPS");
    EXPECT_EQ(steps, "Opened the search, pressed Find twice");

    // Without the helper nothing is asked.
    options.UseHelperProcess = false;
    std::thread alone(
        [&] { steps = ShowReproduceDialog(report.Content.Options, state, false, parts, options); });
    alone.join();
    EXPECT_EQ(steps, "");
}

// The screenshot too: taken by the helper from the display server, the whole screen.
TEST(DialogHelper, AFrozenGuiThreadHasTheScreenshotTakenByTheHelperProcess) {
    const QSize size = QGuiApplication::primaryScreen()->size();
    TQtOstrelScreen screen(20ms);
    TRgbImage image;
    std::thread worker([&] { image = screen.Capture(false); });
    worker.join(); // frozen meanwhile
    EXPECT_EQ(image.Width, uint32_t(size.width()));
    EXPECT_EQ(image.Height, uint32_t(size.height()));
    EXPECT_EQ(image.Pixels.size(), size_t(size.width()) * size_t(size.height()));

    screen.SetHelper(false);
    std::thread alone([&] { image = screen.Capture(false); });
    alone.join();
    EXPECT_TRUE(image.Empty());
}

// With SendFlags 0x20 the helper takes the program's active window alone, else the screen it lies on.
TEST(DialogHelper, TheHelpersScreenshotIsTheActiveWindowOrItsScreen) {
    TOstrelGui gui;
    QWidget window;
    window.setGeometry(30, 40, 321, 203);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    TQtOstrelScreen screen(20ms);
    for (const bool foreground : {true, false}) {
        SCOPED_TRACE(foreground ? "window" : "screen");
        const QSize expected = foreground ? window.frameGeometry().size() : window.screen()->size();
        TRgbImage image;
        std::thread worker([&] { image = screen.Capture(foreground); });
        worker.join(); // frozen meanwhile
        EXPECT_EQ(image.Width, uint32_t(expected.width()));
        EXPECT_EQ(image.Height, uint32_t(expected.height()));
    }
    // Another window in front (a plain window of no widget stands for another program's): still the
    // program's own window, never the screen.
    QWindow other;
    other.setGeometry(500, 400, 80, 60);
    other.show();
    other.requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_EQ(QApplication::activeWindow(), nullptr);
    TRgbImage image;
    std::thread worker([&] { image = screen.Capture(true); });
    worker.join(); // frozen meanwhile
    EXPECT_EQ(image.Width, uint32_t(window.frameGeometry().width()));
    EXPECT_EQ(image.Height, uint32_t(window.frameGeometry().height()));
}

// Another program's window in front, and then the program's window that was active last closes, or the
// program is minimised: the helper's picture is the program's main window, else none, never the place
// where the program's window was, which now shows other programs' windows.
TEST(DialogHelper, TheHelpersPictureForgetsAProgramWindowThatLeftTheScreen) {
    for (const bool minimise : {false, true}) {
        SCOPED_TRACE(minimise ? "the program is minimised" : "the dialog closes");
        TOstrelGui gui;
        QWidget window;
        window.setGeometry(30, 40, 321, 203);
        window.show();
        QWidget dialog(&window, Qt::Dialog);
        dialog.setGeometry(400, 300, 150, 70);
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        QWindow other; // another program's
        other.setGeometry(600, 450, 80, 60);
        other.show();
        other.requestActivate();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
        ASSERT_EQ(QApplication::activeWindow(), nullptr);
        if (minimise) {
            window.showMinimized();
            QTRY_VERIFY(window.isMinimized());
        } else {
            dialog.close();
            QTRY_VERIFY(!dialog.isVisible());
        }
        QApplication::processEvents();
        // The main window, or no picture at all.
        const QSize expected = minimise ? QSize(0, 0) : window.frameGeometry().size();
        TQtOstrelScreen screen(20ms);
        TRgbImage image;
        std::thread worker([&] { image = screen.Capture(true); });
        worker.join(); // frozen meanwhile
        EXPECT_EQ(image.Width, uint32_t(expected.width()));
        EXPECT_EQ(image.Height, uint32_t(expected.height()));
    }
}

TEST(DialogHelper, RequestsSurviveTheWireAndDamageIsRefused) {
    TFixedReport report;
    THelperRequest request;
    request.Content = report.Content;
    request.Content.Options.Texts[14] = "&Fine";
    request.State.ScreenshotChecked = true;
    request.LayoutFile = "/tmp/x.ini";
    const std::vector<uint8_t> bytes = EncodeHelperRequest(request);
    const THelperRequest back = DecodeHelperRequest(bytes);
    EXPECT_EQ(back.Content.GeneralText, report.Content.GeneralText);
    EXPECT_EQ(back.Content.Options.Texts[14], "&Fine");
    EXPECT_EQ(back.Content.CallStackRows.size(), report.Content.CallStackRows.size());
    EXPECT_EQ(back.Content.CallStackRows[0].Caption, report.Content.CallStackRows[0].Caption);
    EXPECT_TRUE(back.Content.CallStackRows[0].Header);
    EXPECT_TRUE(back.State.ScreenshotChecked);
    EXPECT_EQ(back.LayoutFile, "/tmp/x.ini");
    request.BoxText = "Sorry";
    request.BoxError = true;
    EXPECT_EQ(DecodeHelperRequest(EncodeHelperRequest(request)).BoxText, "Sorry");
    EXPECT_TRUE(DecodeHelperRequest(EncodeHelperRequest(request)).BoxError);

    for (size_t cut : {size_t(0), size_t(7), bytes.size() / 2, bytes.size() - 1})
        EXPECT_THROW(DecodeHelperRequest(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut))),
                     EReadError);
    std::vector<uint8_t> lying = bytes;
    // The support address's length (after the fixed option fields) claims 4 GB.
    const size_t urlLength = 9 + 18;
    for (size_t i = 0; i < 4; ++i)
        lying[urlLength + i] = 0xFF;
    EXPECT_THROW(DecodeHelperRequest(lying), EReadError);
    EXPECT_THROW(DecodeHelperAnswer({1, 2, 3}), EReadError);
    // What the helper is asked for: only what it does.
    request.Dialog = THelperDialog::Reproduce;
    std::vector<uint8_t> reproduce = EncodeHelperRequest(request);
    EXPECT_EQ(DecodeHelperRequest(reproduce).Dialog, THelperDialog::Reproduce);
    for (const uint8_t wrong : {0, 5}) {
        reproduce[8] = wrong;
        EXPECT_THROW(DecodeHelperRequest(reproduce), EReadError) << int(wrong);
    }
    THelperAnswer answer;
    answer.ReproduceText = "Pressed Find";
    EXPECT_EQ(DecodeHelperAnswer(EncodeHelperAnswer(answer)).ReproduceText, "Pressed Find");
    answer.Screen.Width = 3;
    answer.Screen.Height = 2;
    answer.Screen.Pixels = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(DecodeHelperAnswer(EncodeHelperAnswer(answer)).Screen.Pixels, answer.Screen.Pixels);
    // A picture whose pixels are not what its size says.
    std::vector<uint8_t> shortPicture = EncodeHelperAnswer(answer);
    shortPicture.pop_back();
    EXPECT_THROW(DecodeHelperAnswer(shortPicture), EReadError);
    std::vector<uint8_t> longPicture = EncodeHelperAnswer(answer);
    longPicture.push_back(0);
    EXPECT_THROW(DecodeHelperAnswer(longPicture), EReadError);
    // A helper that cannot be started gives no answer.
    EXPECT_FALSE(ShowDialogInHelper(request, "/nonexistent/program").has_value());
}
