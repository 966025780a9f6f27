// The start-up: the windows in their order, the splash's 101 steps, the log window's lines and the Help
// page handed to the desktop.
#include "app/CommConfig.h"
#include "app/Find.h"
#include "app/Log.h"
#include "app/StatusSendConfig.h"
#include "app/UnitAbout.h"
#include "app/UnitSplash.h"
#include "tests/ui/UiFixture.h"
#include "ui_Log.h"
#include "ui_UnitSplash.h"
#include <QDesktopServices>
#include <QDir>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>

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

TEST_F(Startup, HelpHandsThePageBesideTheProgramToTheDesktopAndAMissingPageNothing) {
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
    ASSERT_TRUE(QFile::remove(page));
    Ui().toolbtnHelp->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ProgramFolder = savedFolder;
    EXPECT_EQ(recorder.opened, QList<QUrl>{QUrl::fromLocalFile(page)});
    EXPECT_TRUE(app.presenter->requests.isEmpty());
}

} // namespace

#include "StartupTest.moc"
