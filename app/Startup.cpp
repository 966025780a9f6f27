#include "app/Startup.h"
#include "ExceptionLog.h"
#include "OProcessing.h"
#include "OReportDialogHost.h"
#include "app/CommConfig.h"
#include "app/DisplayCheck.h"
#include "app/Find.h"
#include "app/Globals.h"
#include "app/ImageLists.h"
#include "app/Language.h"
#include "app/Log.h"
#include "app/Main.h"
#include "app/ReporterThreads.h"
#include "app/StatusSendConfig.h"
#include "app/UnitAbout.h"
#include "app/UnitSplash.h"
#include "classlib/Application.h"
#include "classlib/Thread.h"
#include "classlib/Translation.h"
#include "reporter/gui/OExceptionDialog.h"
#include "reporter/gui/OListRows.h"
#include "reporter/gui/OLogSection.h"
#include "reporter/gui/OOstrelGui.h"
#include <QEventLoop>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

// The reporter's dialogs as the report sequence asks for them: the core's plain values become the
// dialog's content, and the user's choices go back.
class TQtReportDialog final : public reporter::IOstrelReportDialog {
public:
    bool ShowReportDialog(const reporter::TReportDialogRequest& request,
                          reporter::TReportDialogChoices& choices) override {
        reporter::TReportDialogContent content;
        content.Options = reporter::DialogOptionsFrom(*request.Options);
        content.ExceptionMessage = request.ExceptionMessage;
        content.GeneralText = request.GeneralText;
        content.CPUText = request.CPUText;
        content.CustomDataText = request.CustomDataText;
        content.Duplicate = request.Duplicate;
        content.ReportsShown = request.ReportsShown;
        if (request.CallStack != nullptr)
            content.CallStackRows = reporter::BuildCallStackRows(*request.CallStack, *request.Options);
        if (request.Modules != nullptr)
            content.ModuleRows = reporter::BuildModuleRows(*request.Modules);
        reporter::TReportDialogState state = StateOf(choices);
        reporter::TShowDialogOptions options;
        options.TerminateNotify = request.TerminateNotify;
        const bool shown = reporter::ShowExceptionDialog(content, state, options);
        choices.SendChecked = state.SendChecked;
        choices.ScreenshotChecked = state.ScreenshotChecked;
        choices.ClipboardChecked = state.ClipboardChecked;
        choices.TerminateRequested = state.TerminateRequested;
        choices.DetailsShown = state.DetailsShown;
        return shown;
    }
    std::string AskReproduceSteps(const reporter::TOstrelModuleOptions& options,
                                  const reporter::TReportDialogChoices& choices, bool duplicate) override {
        reporter::TReportTextParts parts; // the report sequence puts the answer into the report itself
        return reporter::ShowReproduceDialog(reporter::DialogOptionsFrom(options), StateOf(choices),
                                             duplicate, parts);
    }
    void BringAppToFront() override { reporter::BringAppToFront(); }

private:
    static reporter::TReportDialogState StateOf(const reporter::TReportDialogChoices& choices) {
        reporter::TReportDialogState state;
        state.SendChecked = choices.SendChecked;
        state.ScreenshotChecked = choices.ScreenshotChecked;
        state.ClipboardChecked = choices.ClipboardChecked;
        state.TerminateRequested = choices.TerminateRequested;
        state.DetailsShown = choices.DetailsShown;
        return state;
    }
};

// Joins the exception reporter to the application: exceptions that reach the application's exception
// handling go to the reporter first (its answer 0 means it dealt with them, and the error box is left
// out), and the reporter's freeze watchdog pings the application's event loop. The reporter's windows
// side answers its questions about the screen and windows and shows its dialogs; the main thread keeps
// its events going while it waits for a report; an exception that escapes a worker thread is reported
// from that thread. Undone before the application object goes.
class TReporterBinding {
public:
    TReporterBinding() : m_gui(reporter::InstallOstrelGui()) {
        reporter::SetOstrelReportDialog(&m_dialog);
        InstallProgramThreadFacts(true);
        reporter::SetMessagePump([] {
            // Input waits until the report is over; the dialogs run their own loops.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            TThread::CheckSynchronize();
        });
        m_previousThreadHook = SetThreadExceptionHook(
            [](TThread*, const std::exception_ptr& error) { reporter::ExceptionManagerFor(error, 0); });
        m_previous = SetHandleExceptionHook([](const std::exception_ptr& error, QObject*) {
            return reporter::ExceptionManagerFor(error, 1) == 0;
        });
        reporter::SetMainLoopPoster([](std::function<void()> call) {
            QCoreApplication* application = QCoreApplication::instance();
            if (application == nullptr)
                return false;
            QMetaObject::invokeMethod(application, std::move(call), Qt::QueuedConnection);
            return true;
        });
    }
    ~TReporterBinding() {
        reporter::SetMainLoopPoster(nullptr);
        SetHandleExceptionHook(m_previous);
        SetThreadExceptionHook(m_previousThreadHook);
        reporter::SetMessagePump(nullptr);
        InstallProgramThreadFacts(false);
        reporter::SetOstrelReportDialog(nullptr);
    }
    TReporterBinding(const TReporterBinding&) = delete;
    TReporterBinding& operator=(const TReporterBinding&) = delete;

private:
    TExceptionHook m_previous;
    TThreadExceptionHook m_previousThreadHook = nullptr;
    std::unique_ptr<reporter::TOstrelGui> m_gui;
    TQtReportDialog m_dialog;
};

// While the application object connects to its windowing system, a fatal message is Qt saying that no
// platform plugin could be loaded or started (a misspelt QT_QPA_PLATFORM, a frame buffer without its
// device). That is a set-up mistake, not a crash: Qt's message is shown and the program ends with 1,
// before Qt's abort would reach the exception reporter's signal handler and file a crash report.
class TPlatformStartGuard {
public:
    TPlatformStartGuard() { s_previous = qInstallMessageHandler(&Handler); }
    ~TPlatformStartGuard() { qInstallMessageHandler(s_previous); }
    TPlatformStartGuard(const TPlatformStartGuard&) = delete;
    TPlatformStartGuard& operator=(const TPlatformStartGuard&) = delete;

private:
    static void Handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (s_previous != nullptr)
            s_previous(type, context, message);
        else
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        if (type == QtFatalMsg)
            std::_Exit(1);
    }
    static inline QtMessageHandler s_previous = nullptr;
};

} // namespace

void ChooseProgramFont() {
    // The windows were laid out for the original platform's 8-point dialog font, which the forms name.
    // It maps to a face of the same metrics (installed with the program's packages); the narrow DejaVu
    // face is the fallback. Every window and message box uses it, not only the forms that name it.
    const QString formFont = QStringLiteral("MS Sans Serif");
    QFont::removeSubstitutions(formFont);
    QFont::insertSubstitutions(formFont,
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed"),
                                QStringLiteral("DejaVu Sans")});
    QApplication::setFont(QFont(formFont, 8));
}

TProgramWindows::TProgramWindows() {
    ChooseProgramFont();
    // The main window owns the dialogs, so they centre on it and go with it.
    FormMain = new TFormMain(nullptr);
    FormCommunicationConfig = new TFormCommunicationConfig(FormMain);
    FormFindSlave = new TFormFindSlave(FormMain);
    FormAbout = new TFormAbout(FormMain);
    FormLog = new TFormLog(FormMain);
    FormSaveConfigStatus = new TFormSaveConfigStatus(FormMain);
}

TProgramWindows::~TProgramWindows() {
    TFormMain* main = FormMain;
    delete main; // clears FormMain and the master; its children, the dialogs, go with it
    FormCommunicationConfig = nullptr;
    FormFindSlave = nullptr;
    FormAbout = nullptr;
    FormLog = nullptr;
    FormSaveConfigStatus = nullptr;
}

void SetUpApplication() {
    // The title is the application's name only: a display name set here would be appended by Qt to every
    // window's title on the desktop, and a narrow box would show little of its own caption.
    QApplication::setApplicationName(QLatin1String(ApplicationTitle));
    QApplication::setWindowIcon(ProgramIcon());
}

int RunProgram(int argc, char** argv) {
    TDisplayConnection checked;
    if (const std::string problem = DisplayProblem(argc, argv, checked); !problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    std::optional<TPlatformStartGuard> platformStart(std::in_place);
    TApplication app(argc, argv);
    platformStart.reset();
    checked.Close();
    // A platform that started without a screen (a frame buffer without its device) could show no window:
    // Qt would abort at the first one.
    if (QGuiApplication::primaryScreen() == nullptr ||
        QGuiApplication::primaryScreen()->geometry().isEmpty()) {
        std::fprintf(stderr, "vexadaxo: the platform \"%s\" has no screen to show windows on\n",
                     QGuiApplication::platformName().toLocal8Bit().constData());
        return 1;
    }
    const TReporterBinding reporterBinding;
    // Translation set-up: the catalogues live below the program's folder.
    TranslationSetUp(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    SetUpApplication();

    TProgramWindows windows;
    {
        auto splash = std::make_unique<TFormSplash>();
        FormSplash = splash.get();
        splash->show();
        splash->ShowProgress(2000);
        FormSplash = nullptr;
    }
    FormMain->show();
    return QApplication::exec();
}
