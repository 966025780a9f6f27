// The start-up: the program without a display, the windows in their order, the splash's 101 steps, the
// log window's lines, the Help page handed to the desktop; closing, and the device box after a rename.
#include "app/CommConfig.h"
#include "app/DisplayCheck.h"
#include "app/Find.h"
#include "app/Log.h"
#include "app/StatusSendConfig.h"
#include "app/UnitAbout.h"
#include "app/UnitSplash.h"
#include "model/RemoteIO.h"
#include "tests/ui/UiFixture.h"
#include "ui_Log.h"
#include "ui_UnitSplash.h"
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TUrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened << url; }
};

// Records the gauge's value and the percentage each time the label is painted anew.
class TStepRecorder : public QObject {
public:
    explicit TStepRecorder(TFormSplash& splash) : m_splash(splash) {
        splash.ui().lbPorcento->installEventFilter(this);
    }
    QList<QPair<int, QString>> shown;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QPair<int, QString> now(m_splash.ui().Gauge->value(), m_splash.ui().lbPorcento->text());
        if (event->type() == QEvent::Paint && now.second.endsWith(QLatin1Char('%')) &&
            (shown.isEmpty() || shown.last() != now))
            shown << now;
        return false;
    }

private:
    TFormSplash& m_splash;
};

// Sets or (for nullptr) removes environment variables for the guard's life.
class TScopedEnvironment {
public:
    TScopedEnvironment(std::initializer_list<std::pair<const char*, const char*>> values) {
        for (const auto& [name, value] : values) {
            m_saved.emplace_back(name, qEnvironmentVariableIsSet(name), qgetenv(name));
            value ? qputenv(name, value) : qunsetenv(name);
        }
    }
    ~TScopedEnvironment() {
        for (const auto& [name, wasSet, value] : m_saved)
            wasSet ? qputenv(name, value) : qunsetenv(name);
    }

private:
    std::vector<std::tuple<const char*, bool, QByteArray>> m_saved;
};

TEST(NoDisplay, OnlyAnUnreachableDisplayServerIsRefused) {
    QTemporaryDir runtime; // no Wayland socket in it
    ASSERT_TRUE(runtime.isValid());
    const QByteArray runtimeDir = runtime.path().toLocal8Bit();
    const struct {
        const char* platform;
        const char* display;
        const char* argument;
        bool refused;
    } cases[] = {{nullptr, nullptr, nullptr, true},      {"xcb", ":87", nullptr, true},
                 {"wayland", nullptr, nullptr, true},    {"xcb;wayland", nullptr, nullptr, true},
                 {"offscreen", nullptr, nullptr, false}, {"minimal:enable_fonts", nullptr, nullptr, false},
                 {"xcb", nullptr, "offscreen", false},   {"wayland;offscreen", nullptr, nullptr, false}};
    for (const auto& c : cases) {
        const TScopedEnvironment environment{{"QT_QPA_PLATFORM", c.platform},
                                             {"DISPLAY", c.display},
                                             {"WAYLAND_DISPLAY", nullptr},
                                             {"WAYLAND_SOCKET", nullptr},
                                             {"XDG_RUNTIME_DIR", runtimeDir.constData()}};
        QByteArray program("vexadaxo"), option("-platform"), platform(c.argument ? c.argument : "");
        char* argv[] = {program.data(), option.data(), platform.data(), nullptr};
        const std::string problem = DisplayProblem(c.argument ? 3 : 1, argv);
        EXPECT_EQ(!problem.empty(), c.refused) << (c.platform ? c.platform : "(none)") << " " << problem;
    }
}

// Runs the program from a folder of its own (a crash report would be written beside the program file)
// with the given environment changes (an empty value removes the variable): exit code and error lines.
struct TProgramRun {
    int exitCode = -1;
    QStringList errorLines;
    QStringList reports; // crash reports left beside the program
};

TProgramRun RunProgramAlone(const std::vector<std::pair<QString, QString>>& changes) {
    TProgramRun run;
    QTemporaryDir folder;
    EXPECT_TRUE(folder.isValid());
    const QString program = folder.filePath(QStringLiteral("vexadaxo"));
    if (::link(VD_PROGRAM, program.toLocal8Bit().constData()) != 0) {
        EXPECT_TRUE(QFile::copy(QStringLiteral(VD_PROGRAM), program));
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.path());
    for (const auto& [name, value] : changes)
        value.isEmpty() ? environment.remove(name) : environment.insert(name, value);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder.path());
    process.start(program, {});
    EXPECT_TRUE(process.waitForFinished(120000)) << "still running";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    run.exitCode = process.exitCode();
    run.errorLines =
        QString::fromLocal8Bit(process.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.reports = QDir(folder.path()).entryList({QStringLiteral("*.olf")}, QDir::Files);
    return run;
}

// Started without a display the program says why and how to start it, and exits with 1: no crash and
// no crash report beside it.
TEST(NoDisplay, TheProgramSaysSoAndExitsWithoutACrashReport) {
    const TProgramRun run = RunProgramAlone(
        {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"WAYLAND_SOCKET", ""}, {"QT_QPA_PLATFORM", ""}});
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.errorLines.size(), 1) << run.errorLines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(run.errorLines.at(0).contains(QLatin1String("cannot open a display")));
    EXPECT_TRUE(run.errorLines.at(0).contains(QLatin1String("QT_QPA_PLATFORM=offscreen")));
    EXPECT_EQ(run.reports, QStringList());
}

// A platform plugin that Qt cannot load or start: Qt's own message, exit code 1, no crash report. The
// frame-buffer platforms only where their device is absent (elsewhere they would start).
TEST(NoDisplay, APlatformQtCannotStartEndsWithQtsMessage) {
    const struct {
        const char* platform;
        const char* device;
        const char* message;
    } cases[] = {{"bogus", nullptr, "could not find the qt platform plugin \"bogus\""},
                 {"eglfs", "/dev/dri", ""},
                 {"linuxfb", "/dev/fb0", "no screen"}};
    for (const auto& c : cases) {
        if (c.device != nullptr && QFileInfo::exists(QLatin1String(c.device)))
            continue;
        const TProgramRun run = RunProgramAlone({{"QT_QPA_PLATFORM", c.platform}});
        const std::string errors = run.errorLines.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(run.exitCode, 1) << c.platform << ": " << errors;
        EXPECT_TRUE(run.errorLines.join(QLatin1Char(' ')).toLower().contains(QLatin1String(c.message)))
            << c.platform << ": " << errors;
        EXPECT_EQ(run.reports, QStringList()) << c.platform;
    }
}

class Startup : public UiFixture {
protected:
    void SetUp() override { StartIn(QStringLiteral("en_US")); }
};

TEST_F(Startup, TheMainWindowComesFirstAndOwnsTheDialogsInTheirOrder) {
    ASSERT_NE(FormMain, nullptr);
    EXPECT_FALSE(FormMain->isVisible()); // shown only after the splash
    QStringList dialogs;
    for (const QObject* child : FormMain->children())
        if (child->isWidgetType() && static_cast<const QWidget*>(child)->isWindow())
            dialogs << QString::fromLatin1(child->metaObject()->className());
    EXPECT_EQ(dialogs, QStringList({"TFormCommunicationConfig", "TFormFindSlave", "TFormAbout", "TFormLog",
                                    "TFormSaveConfigStatus"}));
    EXPECT_EQ(FormCommunicationConfig->parent(), FormMain);
}

TEST_F(Startup, TheSplashCountsFromZeroToAHundredPercentInOneHundredAndOneSteps) {
    TFormSplash splash;
    const QStringList version = QStringLiteral(VD_TEST_PROJECT_VERSION).split(QLatin1Char('.'));
    ASSERT_GE(version.size(), 2);
    EXPECT_EQ(splash.ui().lbVersion->text(), version.at(0) + QLatin1Char('.') + version.at(1));
    splash.show();
    // Each step repaints the window: what the percentage label shows then, with the gauge's value.
    TStepRecorder steps(splash);
    splash.ShowProgress(100); // 1 ms a step
    ASSERT_EQ(steps.shown.size(), 101);
    for (int p = 0; p <= 100; ++p)
        EXPECT_EQ(steps.shown.at(p), qMakePair(p, QStringLiteral("%1%").arg(p))) << p;
}

TEST_F(Startup, TheLogWindowKeepsItsLinesUntilCleared) {
    FormMain->show();
    Ui().toolbtnLog->show();
    Ui().toolbtnLog->click();
    ASSERT_TRUE(FormLog->isVisible());
    FormLog->AddLine(QStringLiteral("TX:01 03 00 68 00 02 44 17"));
    FormLog->AddLine(QStringLiteral("RX:01 03 04 00 01 00 02 2A 32:"));
    FormLog->AddLine(QString());
    QPlainTextEdit* memo = FormLog->ui().memLog;
    EXPECT_EQ(memo->toPlainText(),
              QStringLiteral("TX:01 03 00 68 00 02 44 17\nRX:01 03 04 00 01 00 02 2A 32:\n"));
    FormLog->ui().btnFecharLog->click();
    EXPECT_FALSE(FormLog->isVisible());
    Ui().toolbtnLog->click();
    EXPECT_EQ(memo->document()->blockCount(), 3); // closing keeps the lines
    FormLog->ui().btnLimpar->click();
    EXPECT_TRUE(memo->toPlainText().isEmpty());
}

// The tool buttons are the first controls Tab reaches: Enter (either key) presses the focused one.
TEST_F(Startup, EnterPressesTheFocusedToolButton) {
    FormMain->show();
    Ui().toolbtnLog->show();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        FormLog->hide();
        QSignalSpy clicked(Ui().toolbtnLog, &QToolButton::clicked);
        Ui().toolbtnLog->setFocus();
        QTest::keyClick(Ui().toolbtnLog, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        EXPECT_EQ(clicked.size(), 1) << key;
        EXPECT_TRUE(FormLog->isVisible()) << key;
    }
    FormLog->hide();
}

TEST_F(Startup, TheLogKeepsTheNewestLinesUpToItsLimitAlsoWhileHidden) {
    ASSERT_FALSE(FormLog->isVisible());
    QPlainTextEdit* memo = FormLog->ui().memLog;
    const auto line = [memo](int i) { return memo->document()->findBlockByNumber(i).text(); };
    for (int i = 0; i < TFormLog::MaxLines; ++i)
        FormLog->AddLine(QString::number(i));
    ASSERT_EQ(memo->document()->blockCount(), TFormLog::MaxLines); // exactly the limit: all kept
    EXPECT_EQ(line(0), QStringLiteral("0"));
    FormLog->AddLine(QString::number(TFormLog::MaxLines));
    ASSERT_EQ(memo->document()->blockCount(), TFormLog::MaxLines); // one more: the oldest goes
    EXPECT_EQ(line(0), QStringLiteral("1"));
    EXPECT_EQ(line(TFormLog::MaxLines - 1), QString::number(TFormLog::MaxLines));
}

TEST_F(Startup, HelpHandsThePageToTheDesktopSaysWhereItIsWithoutABrowserAndAMissingPageNothing) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("help")));
    const QString page = folder.filePath(QLatin1String(HelpFile));
    QFile file(page);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString savedFolder = ProgramFolder;
    ProgramFolder = folder.path() + QLatin1Char('/');
    TUrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
    Ui().toolbtnHelp->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(recorder.opened, QList<QUrl>{QUrl::fromLocalFile(page)});
    EXPECT_TRUE(app.presenter->requests.isEmpty());
    {
        // No handler and no desktop opener on the path: the box says where the page is.
        const TScopedEnvironment noOpener{{"PATH", folder.path().toLocal8Bit().constData()}};
        Ui().toolbtnHelp->click();
    }
    ASSERT_EQ(app.presenter->requests.size(), 1);
    EXPECT_TRUE(app.presenter->requests.at(0).text.endsWith(QLatin1Char('\n') + page));
    EXPECT_EQ(app.presenter->requests.at(0).type, TMsgDlgType::mtInformation);
    ASSERT_TRUE(QFile::remove(page));
    Ui().toolbtnHelp->click();
    ProgramFolder = savedFolder;
    EXPECT_EQ(app.presenter->requests.size(), 1);
}

// The close request and the close both save; a settings folder that cannot be written is said once.
TEST_F(Startup, ACloseThatCannotSaveSaysSoOnce) {
    FormMain->show();
    // A file where the Windows folder should be: nothing can be written below it, not even by root.
    QFile blocker(QString::fromLocal8Bit(qgetenv("VEXADAXO_WINDIR")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (int close = 1; close <= 2; ++close) {
        FormMain->show();
        EXPECT_TRUE(FormMain->close());
        EXPECT_EQ(app.presenter->requests.size(), close);
    }
    ASSERT_TRUE(blocker.remove());
    FormMain->show();
    EXPECT_TRUE(FormMain->close());
    EXPECT_EQ(app.presenter->requests.size(), 2);
    EXPECT_TRUE(QFile::exists(app.SettingsPath()));
    // A settings file that could not be read (a FIFO in its place): left as it is, said once.
    ASSERT_TRUE(QFile::remove(app.SettingsPath()));
    ASSERT_EQ(mkfifo(QFile::encodeName(app.SettingsPath()).constData(), 0644), 0);
    FormMain->show();
    EXPECT_TRUE(FormMain->close());
    ASSERT_EQ(app.presenter->requests.size(), 3);
    EXPECT_TRUE(app.presenter->requests.at(2).text.startsWith(QLatin1String("Unable to write to ")));
    EXPECT_FALSE(QFileInfo(app.SettingsPath()).isFile());
}

TEST_F(Startup, TheDeviceBoxFollowsARenamedDevice) {
    TRemoteIO* first = FormMain->Network->AddRemoteIO();
    first->Comm()->SetAddress(1);
    TRemoteIO* second = FormMain->Network->AddRemoteIO();
    second->Comm()->SetAddress(2);
    FormMain->RefillDeviceCombo(0);
    QComboBox* box = Ui().cbDiagnostic;
    ASSERT_EQ(box->count(), 2);
    first->Comm()->SetAddress(5);
    QCoreApplication::processEvents();
    EXPECT_EQ(first->Node()->Text(), QStringLiteral("DAXO_5"));
    EXPECT_EQ(box->itemText(0), QStringLiteral("DAXO_5"));
    EXPECT_EQ(box->itemText(1), QStringLiteral("DAXO_2"));
    FormMain->RefillDeviceCombo(0); // the entries made again follow too, once each
    second->Comm()->SetAddress(7);
    EXPECT_EQ(box->itemText(1), QStringLiteral("DAXO_7"));
    EXPECT_EQ(box->findText(QStringLiteral("DAXO_7")), 1);
}

} // namespace

#include "StartupTest.moc"
