#include "app/Startup.h"
#include "app/CommConfig.h"
#include "app/Find.h"
#include "app/Globals.h"
#include "app/Language.h"
#include "app/Log.h"
#include "app/Main.h"
#include "app/StatusSendConfig.h"
#include "app/UnitAbout.h"
#include "app/UnitSplash.h"
#include "classlib/Application.h"
#include "classlib/Translation.h"
#include "reporter/ExceptionLog.h"
#include <QFont>
#include <memory>

namespace {

// Joins the exception reporter to the application: exceptions that reach the application's exception
// handling go to the reporter first (its answer 0 means it dealt with them, and the error box is left
// out), and the reporter's freeze watchdog pings the application's event loop. Undone before the
// application object goes.
class TReporterBinding {
public:
    TReporterBinding() {
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
    }
    TReporterBinding(const TReporterBinding&) = delete;
    TReporterBinding& operator=(const TReporterBinding&) = delete;

private:
    TExceptionHook m_previous;
};

} // namespace

TProgramWindows::TProgramWindows() {
    // The forms name the original platform's dialog font; map it to a narrow sans-serif face present
    // here, so that captions fit their controls.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed"),
                                QStringLiteral("DejaVu Sans")});
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

int RunProgram(int argc, char** argv) {
    TApplication app(argc, argv);
    const TReporterBinding reporterBinding;
    // The forms name the original platform's dialog font; map it to a sans-serif face present here.
    QFont::insertSubstitutions(
        QStringLiteral("MS Sans Serif"),
        {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"), QStringLiteral("Sans Serif")});
    // Translation set-up: the catalogues live below the program's folder.
    TranslationSetUp(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    QApplication::setApplicationName(QLatin1String(ApplicationTitle));
    QApplication::setApplicationDisplayName(_(ApplicationTitle));

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
