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
#include <QFont>
#include <memory>

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
