// The About window: its labels and grid from the version routines, the documents per language, the
// document commands through the print dialogs, the web link, the system information tool, and the tool-bar
// button that shows it.
#include "ElfBuilder.h"
#include "GlueFixture.h"
#include "app/Globals.h"
#include "app/UnitAbout.h"
#include "app/WebBrowser.h"
#include "classlib/StringGrid.h"
#include "tests/support/TestTools.h"
#include "ui_UnitAbout.h"
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

// Runs the action on the next modal window that opens, while the watch lives (the caller then starts
// what opens it).
class TModalWatch {
public:
    explicit TModalWatch(std::function<void(QWidget*)> action) : m_action(std::move(action)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                m_timer.stop();
                m_action(modal);
            }
        });
        m_timer.start(10);
    }

private:
    QTimer m_timer;
    std::function<void(QWidget*)> m_action;
};

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

class TUrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened << url; }
};

class AboutWindow : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ScopedRecordingPresenter messages;
    QString savedFolder = ProgramFolder;
    std::unique_ptr<TFormAbout> about;

    AboutWindow() { ProgramFolder = dir.path() + QLatin1Char('/'); }
    ~AboutWindow() override {
        about.reset();
        ProgramFolder = savedFolder;
    }
    void Create() { about = std::make_unique<TFormAbout>(); }
    Ui::TFormAbout& ui() { return about->ui(); }
    TStringGrid& Grid() { return *ui().sgVexaDaxoSoft; }
    void WriteDocument(const char* code, const char* body) {
        ASSERT_TRUE(WriteFile(TFormAbout::DocumentPath(QLatin1String(code)),
                              QByteArray("<html><body><p>") + body + "</p></body></html>"));
    }
    void ChooseLanguage(int index) {
        ui().cbGeneralTerms->setCurrentIndex(index);
        emit ui().cbGeneralTerms->activated(index);
    }
};

} // namespace

TEST_F(AboutWindow, TheGridListsTheProgramAndItsCompanionLibrary) {
    Create();
    const QString version = QStringLiteral(VD_TEST_PROJECT_VERSION);
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About Vexa Daxo Soft"));
    EXPECT_EQ(about->size(), QSize(544, 475));
    EXPECT_EQ(ui().lbVersion->text(), QStringLiteral("Version ") + version);
    EXPECT_EQ(ui().lbVer->text(), QStringLiteral("Version ") + version);
    EXPECT_EQ(ui().lbDate->text(), GetAppFileDateText());
    EXPECT_FALSE(ui().lbDate->text().isEmpty());

    TStringGrid& grid = Grid();
    EXPECT_EQ(grid.ColCount(), 3);
    EXPECT_EQ(grid.RowCount(), 3);
    EXPECT_EQ(grid.FixedRows(), 1);
    EXPECT_EQ(grid.FixedCols(), 0);
    EXPECT_EQ(grid.ColWidths(0), 139);
    EXPECT_EQ(grid.ColWidths(1), 130);
    EXPECT_EQ(grid.ColWidths(2), 390);
    EXPECT_TRUE(grid.Options() & goColSizing);
    EXPECT_EQ(grid.ScrollBars(), TScrollStyle::ssHorizontal);
    EXPECT_EQ(grid.Rows(0), (QStringList{"Name", "Version ", "Path"}));
    EXPECT_EQ(grid.Rows(1), (QStringList{"test_glue", version, QCoreApplication::applicationFilePath()}));
    // No companion library beside the program: an empty version cell, nothing reported.
    EXPECT_EQ(grid.Rows(2), (QStringList{"libvexadaxort", "", dir.filePath("libvexadaxort.so")}));
    EXPECT_EQ(messages->Texts(), QStringList());

    // A companion library with its own version note.
    TElfDescription elf;
    elf.Notes = VersionNoteRecord({2, 0, 0, 0}, {{"FileVersion", "2.0.0.0"}});
    ASSERT_TRUE(WriteFile(dir.filePath("libvexadaxort.so"), BuildElf(elf)));
    Create();
    EXPECT_EQ(Grid().Cells(1, 2), QStringLiteral("2.0.0.0"));
}

TEST_F(AboutWindow, TheProgramsRowIsFilledWithItsOwnColour) {
    Create();
    TStringGrid& grid = Grid();
    const QImage image = grid.grab().toImage();
    const QRect row1 = grid.CellRect(0, 1);
    const QRect row2 = grid.CellRect(0, 2);
    ASSERT_FALSE(row1.isEmpty());
    ASSERT_FALSE(row2.isEmpty());
    const QPoint offset = grid.viewport()->pos();
    // Far from the text, which starts at the cell's top-left corner.
    const QPoint in1 = row1.bottomRight() - QPoint(3, 3) + offset;
    const QPoint in2 = row2.bottomRight() - QPoint(3, 3) + offset;
    EXPECT_EQ(QColor(image.pixel(in1)).rgb(), TFormAbout::ProgramRowColour().rgb());
    EXPECT_NE(QColor(image.pixel(in2)).rgb(), TFormAbout::ProgramRowColour().rgb());
    // The text is drawn over the fill: dark pixels near the cell's top-left corner.
    bool text = false;
    for (int x = row1.left(); x < row1.left() + 60 && !text; ++x)
        for (int y = row1.top(); y < row1.bottom() && !text; ++y)
            text = QColor(image.pixel(QPoint(x, y) + offset)).lightness() < 128;
    EXPECT_TRUE(text);
}

TEST_F(AboutWindow, TheDocumentFollowsTheLanguageAndAMissingOneShowsNothing) {
    WriteDocument("eng", "ENGLISH TERMS");
    WriteDocument("por", "TERMOS EM PORTUGUES");
    Create();
    EXPECT_EQ(ui().cbGeneralTerms->currentText(), QStringLiteral("English"));
    EXPECT_EQ(ui().cbGeneralTerms->count(), 2);
    EXPECT_EQ(ui().cbGeneralTerms->itemText(1), QStringLiteral("Português"));
    EXPECT_TRUE(ui().wbGeneralTerms->toPlainText().contains("ENGLISH TERMS"));

    ChooseLanguage(1);
    EXPECT_TRUE(ui().wbGeneralTerms->toPlainText().contains("TERMOS EM PORTUGUES"));
    EXPECT_EQ(ui().wbGeneralTerms->LocationName(), TFormAbout::DocumentPath("por"));

    QFile::remove(TFormAbout::DocumentPath("eng"));
    ChooseLanguage(0);
    EXPECT_EQ(ui().wbGeneralTerms->toPlainText(), QString());
    EXPECT_EQ(ui().wbGeneralTerms->LocationName(), QString());
    EXPECT_EQ(messages->Texts(), QStringList());

    // The second document area shows nothing and offers nothing.
    EXPECT_EQ(ui().wbCountryTerms->toPlainText(), QString());
    for (QWidget* w :
         {static_cast<QWidget*>(ui().cbCountryTerms), static_cast<QWidget*>(ui().btPrinterCountry),
          static_cast<QWidget*>(ui().btPreviewCountry), static_cast<QWidget*>(ui().btSetupCountry)})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();

    const QStringList codes{"eng", "por", "chi", "ger", "spa", "fre", "ita", "eng"};
    for (int i = -1; i < codes.size(); ++i)
        EXPECT_EQ(TFormAbout::LanguageCode(i), i < 0 ? QStringLiteral("eng") : codes[i]) << i;
}

TEST_F(AboutWindow, TheShippedDocumentsAreFoundBesideTheProgram) {
    ProgramFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    Create();
    EXPECT_TRUE(ui().wbGeneralTerms->toPlainText().contains("General Terms"));
    ChooseLanguage(1);
    EXPECT_TRUE(ui().wbGeneralTerms->toPlainText().contains(QStringLiteral("Condições Gerais")));
}

TEST_F(AboutWindow, PrintPreviewAndPageSetupWorkOnOneSharedPrinter) {
    WriteDocument("eng", "ENGLISH TERMS");
    Create();
    TWebBrowser& browser = *ui().wbGeneralTerms;

    // The dialogs live on the stack of the command: only what they showed is kept.
    QString seen;
    QPrinter* printer = nullptr;
    {
        // The system's dialog serves a printer of the system; with none installed the printer writes
        // PDF files and the browser's own page set-up serves it.
        const TModalWatch watch([&](QWidget* modal) {
            seen = QLatin1String(modal->metaObject()->className());
            if (auto* dialog = qobject_cast<QPageSetupDialog*>(modal)) {
                printer = dialog->printer();
                dialog->reject();
            } else if (modal->objectName() == QLatin1String("PageSetupDialog")) {
                printer = &browser.Printer();
                modal->findChild<QComboBox*>(QStringLiteral("cbOrientation"))->setCurrentIndex(1);
                modal->findChild<QComboBox*>(QStringLiteral("cbPaper"))->setCurrentText(QStringLiteral("A5"));
                static_cast<QDialog*>(modal)->accept();
            }
        });
        ui().btSetupGeneral->click();
    }
    EXPECT_TRUE(seen == "QPageSetupDialog" || seen == "QDialog") << seen.toStdString();
    EXPECT_EQ(printer, &browser.Printer());
    if (browser.Printer().outputFormat() != QPrinter::NativeFormat) {
        EXPECT_EQ(browser.Printer().pageLayout().orientation(), QPageLayout::Landscape);
        EXPECT_EQ(browser.Printer().pageLayout().pageSize().id(), QPageSize::A5);
    }

    int pages = 0;
    printer = nullptr;
    const TModalWatch previewWatch([&](QWidget* modal) {
        seen = QLatin1String(modal->metaObject()->className());
        if (auto* preview = qobject_cast<QPrintPreviewDialog*>(modal)) {
            printer = preview->printer();
            if (auto* widget = preview->findChild<QPrintPreviewWidget*>()) {
                widget->updatePreview();
                pages = widget->pageCount();
            }
        }
        modal->close();
    });
    ui().btPreviewGeneral->click();
    EXPECT_EQ(seen, "QPrintPreviewDialog");
    EXPECT_EQ(printer, &browser.Printer());
    EXPECT_GE(pages, 1);

    // The print dialog asks first; cancelling prints nothing and says nothing.
    printer = nullptr;
    const TModalWatch printWatch([&](QWidget* modal) {
        seen = QLatin1String(modal->metaObject()->className());
        if (auto* dialog = qobject_cast<QPrintDialog*>(modal))
            printer = dialog->printer();
        static_cast<QDialog*>(modal)->reject();
    });
    ui().btPrinterGeneral->click();
    EXPECT_TRUE(seen.endsWith("PrintDialog")) << seen.toStdString();
    EXPECT_EQ(printer, &browser.Printer());
    EXPECT_EQ(messages->Texts(), QStringList());

    // Printed without the dialog, the document reaches the printer's output.
    const QString pdf = dir.filePath("terms.pdf");
    browser.Printer().setOutputFormat(QPrinter::PdfFormat);
    browser.Printer().setOutputFileName(pdf);
    EXPECT_TRUE(browser.Print(false));
    QFile out(pdf);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_TRUE(out.read(5) == "%PDF-");
}

TEST_F(AboutWindow, TheLinkOpensTheMakersAddress) {
    Create();
    EXPECT_EQ(ui().lbLink->text(), QLatin1String(TFormAbout::WebAddress));
    EXPECT_TRUE(ui().lbLink->font().bold() && ui().lbLink->font().underline());
    TUrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "Open");
    QTest::mouseClick(ui().lbLink, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    EXPECT_EQ(recorder.opened, QList<QUrl>{QUrl(QLatin1String(TFormAbout::WebAddress))});
}

TEST_F(AboutWindow, SystemInfoStartsTheFirstInstalledToolOrNothing) {
    Create();
    const QByteArray savedPath = qgetenv("PATH");
    const QString bin = dir.filePath("bin");
    QDir().mkpath(bin);
    qputenv("PATH", bin.toLocal8Bit());
    ui().btSystemInfo->click(); // no tool: nothing happens, nothing is said

    const QString marker = dir.filePath("started");
    const QString tool = bin + QLatin1Char('/') + TFormAbout::SystemInfoTools().at(1);
    ASSERT_TRUE(WriteFile(tool, "#!/bin/sh\necho started > '" + marker.toLocal8Bit() + "'\n"));
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ui().btSystemInfo->click();
    qputenv("PATH", savedPath);
    EXPECT_TRUE(testtools::WaitForPath(marker.toStdString(), 20000));
    EXPECT_EQ(messages->Texts(), QStringList());
}

TEST_F(MainWindowGlue, TheAboutButtonShowsTheAboutWindowModally) {
    auto* about = new TFormAbout(form.get());
    FormAbout = about;
    QWidget* seen = nullptr;
    const TModalWatch aboutWatch([&](QWidget* modal) {
        seen = modal;
        if (auto* window = qobject_cast<TFormAbout*>(modal))
            window->ui().btClose->click();
    });
    ui().toolbtnAbout->click();
    EXPECT_EQ(seen, about);
    EXPECT_FALSE(about->isVisible());
    delete about;
    EXPECT_EQ(FormAbout, nullptr);
}

#include "AboutTest.moc"
