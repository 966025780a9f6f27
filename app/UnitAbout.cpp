#include "app/UnitAbout.h"
#include "app/Globals.h"
#include "app/ImageLists.h"
#include "app/WindowPlacement.h"
#include "classlib/Dialogs.h"
#include "classlib/StringGrid.h"
#include "classlib/Translation.h"
#include "ui_UnitAbout.h"
#include <QDesktopServices>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::TFormAbout>()) {
    m_ui->setupUi(this);
    setWindowFlags(DialogWindowFlags | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(544, 475);
    move(353, 233);
    FitOnEveryShow(*this);
    FormCreate();
}

TFormAbout::~TFormAbout() {
    if (FormAbout == this)
        FormAbout = nullptr;
}

QString TFormAbout::LanguageCode(int index) {
    static const char* const codes[] = {"eng", "por", "chi", "ger", "spa", "fre", "ita"};
    return QLatin1String(index >= 1 && index <= 6 ? codes[index] : codes[0]);
}

QString TFormAbout::DocumentPath(const QString& code) {
    return ProgramFolder + QLatin1String(DocumentFolder) + QLatin1String(DocumentBaseName) + code +
           QLatin1String(".htm");
}

QStringList TFormAbout::SystemInfoTools() {
    return {QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"), QStringLiteral("kinfocenter")};
}

void TFormAbout::FormCreate() {
    m_ui->imgProgram->setPixmap(ProgramPicture());
    m_ui->imgLogo->setPixmap(LogoPicture());
    QPalette white = m_ui->pBottom->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_ui->pBottom->setPalette(white);
    m_ui->PageControl->setStyleSheet(QStringLiteral("QTabBar::tab { min-width: 120px; }"));
    m_ui->lbLink->setText(QLatin1String(WebAddress));
    QPalette blue = m_ui->lbLink->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    m_ui->lbLink->setPalette(blue);
    m_ui->lbLink->installEventFilter(this);

    connect(m_ui->btClose, &QPushButton::clicked, this, &TFormAbout::btCloseClick);
    connect(m_ui->btSystemInfo, &QPushButton::clicked, this, &TFormAbout::btSystemInfoClick);
    connect(m_ui->btPrinterGeneral, &QPushButton::clicked, this, &TFormAbout::btPrinterGeneralClick);
    connect(m_ui->btPreviewGeneral, &QPushButton::clicked, this, &TFormAbout::btPreviewGeneralClick);
    connect(m_ui->btSetupGeneral, &QPushButton::clicked, this, &TFormAbout::btSetupGeneralClick);
    connect(m_ui->cbGeneralTerms, &QComboBox::activated, this, &TFormAbout::cbGeneralTermsChange);

    m_ui->lbDate->setText(GetAppFileDateText());
    m_ui->cbGeneralTerms->setCurrentIndex(0);
    cbGeneralTermsChange();
    FillGrid();
    SetLanguageTexts();
    TranslateComponent(this);
}

void TFormAbout::FillGrid() {
    TStringGrid* grid = m_ui->sgVexaDaxoSoft;
    grid->SetColCount(3);
    grid->SetRowCount(3);
    grid->SetFixedRows(1);
    grid->SetFixedCols(0);
    grid->SetColWidths(0, 139);
    grid->SetColWidths(1, 130);
    grid->SetColWidths(2, 390);
    grid->SetOptions(grid->Options() | goColSizing);
    grid->SetScrollBars(TScrollStyle::ssHorizontal);
    grid->setFrameShape(QFrame::NoFrame);
    grid->SetFixedColor(palette().color(QPalette::Window)); // the menu colour
    grid->OnDrawCell = [this](TCustomDrawGrid* sender, int col, int row, const QRect& rect, TGridDrawState,
                              QPainter& canvas) { sgVexaDaxoSoftDrawCell(sender, col, row, rect, canvas); };

    const QString program = ProgramFileName();
    grid->SetCells(0, 1, QFileInfo(program).completeBaseName());
    grid->SetCells(1, 1, GetFileVersionString(program));
    grid->SetCells(2, 1, program);

    const QString companion = ProgramFolder + QLatin1String(CompanionLibrary);
    grid->SetCells(0, 2, QFileInfo(companion).completeBaseName());
    grid->SetCells(1, 2, GetFileVersionString(companion));
    grid->SetCells(2, 2, companion);
}

void TFormAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TFormAbout::SetLanguageTexts() {
    const QString version = _("Version ") + GetAppVersionText();
    m_ui->lbVersion->setText(version);
    m_ui->lbVer->setText(version);
    TStringGrid* grid = m_ui->sgVexaDaxoSoft;
    grid->SetCells(0, 0, _("Name"));
    grid->SetCells(1, 0, _("Version "));
    grid->SetCells(2, 0, _("Path"));
}

void TFormAbout::FormShow() {
    // The texts composed here are not in any catalogue as they stand: they are composed again.
    SetLanguageTexts();
    RetranslateComponent(this);
}

bool TFormAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_ui->lbLink && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        lbLinkClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFormAbout::btCloseClick() {
    close();
}

void TFormAbout::btSystemInfoClick() {
    // Whichever tool is installed, or nothing; the result is not examined.
    for (const QString& tool : SystemInfoTools()) {
        const QString path = QStandardPaths::findExecutable(tool);
        if (!path.isEmpty()) {
            QProcess::startDetached(path, {});
            return;
        }
    }
}

void TFormAbout::lbLinkClick() {
    QDesktopServices::openUrl(QUrl(QLatin1String(WebAddress)));
}

void TFormAbout::cbGeneralTermsChange() {
    m_ui->wbGeneralTerms->Navigate(DocumentPath(LanguageCode(m_ui->cbGeneralTerms->currentIndex())));
}

void TFormAbout::btPrinterGeneralClick() {
    TWebBrowser& browser = *m_ui->wbGeneralTerms;
    // A cancelled dialog prints nothing and says nothing; a printer that fails is reported.
    if (!browser.Print(true) && browser.Printer().printerState() == QPrinter::Error)
        MessageDlg(_("The document could not be printed."), TMsgDlgType::mtError, mbOK);
}

void TFormAbout::btPreviewGeneralClick() {
    m_ui->wbGeneralTerms->PrintPreview();
}

void TFormAbout::btSetupGeneralClick() {
    m_ui->wbGeneralTerms->PageSetup();
}

void TFormAbout::sgVexaDaxoSoftDrawCell(TCustomDrawGrid* Sender, int ACol, int ARow, const QRect& Rect,
                                        QPainter& Canvas) {
    if (ARow != 1)
        return;
    auto* grid = static_cast<TStringGrid*>(Sender);
    Canvas.fillRect(Rect, ProgramRowColour());
    Canvas.setPen(grid->palette().color(QPalette::WindowText));
    const QFontMetrics metrics(Canvas.font());
    Canvas.drawText(Rect.left(), Rect.top() + metrics.ascent(), grid->Cells(ACol, ARow));
}
