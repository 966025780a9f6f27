#include "app/Find.h"
#include "app/Globals.h"
#include "app/JpegImage.h"
#include "app/Main.h"
#include "app/WindowPlacement.h"
#include "app/WorkerJobs.h"
#include "classlib/Dialogs.h"
#include "classlib/Translation.h"
#include "ui_Find.h"
#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QShowEvent>
#include <QTimer>

// The pictures are compiled into this static library; their registration must be pulled in explicitly.
static void InitResources() {
    Q_INIT_RESOURCE(app);
}

namespace {

constexpr int kMinAddress = 1;
constexpr int kMaxAddress = 247;

// Text as an integer the way the class library converts it: surrounding blanks allowed.
bool ToInt(const QString& text, int& value) {
    bool ok = false;
    value = text.trimmed().toInt(&ok);
    return ok;
}

QString RangeMessage(int min, int max) {
    return _("Out of range value. Min=") + QString::number(min) + _(", Max=") + QString::number(max);
}

} // namespace

TFormFindSlave::TFormFindSlave(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TFormFindSlave>()) {
    m_ui->setupUi(this);
    setWindowFlags(DialogWindowFlags | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(279, 237);
    CentreOnEveryShow(*this);
    connect(m_ui->btFind, &QPushButton::clicked, this, &TFormFindSlave::btFindClick);
    connect(m_ui->btCancel, &QPushButton::clicked, this, &TFormFindSlave::btCancelClick);
    connect(m_ui->btClose, &QPushButton::clicked, this, &TFormFindSlave::btCloseClick);
    connect(m_ui->cbTemporay, &QCheckBox::toggled, this, &TFormFindSlave::cbTemporayClick);
    FormCreate();
}

TFormFindSlave::~TFormFindSlave() = default;

void TFormFindSlave::FormCreate() {
    TranslateComponent(this);
    m_ui->edBegin->setMaxLength(3);
    m_ui->edEnd->setMaxLength(3);
    m_ui->lbStatus->clear();
    FindOptions.Reset();
    InitResources();
    QFile picture(QStringLiteral(":/search.jpg"));
    if (picture.open(QIODevice::ReadOnly))
        m_ui->ImageSeach->setPixmap(QPixmap::fromImage(DecodeJpeg(picture.readAll())));
    m_ui->ProgressBarSearch->setRange(0, 100);
    m_ui->ProgressBarSearch->reset();
}

void TFormFindSlave::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormFindSlave::FormShow() {
    RetranslateComponent(this);
    Searching = false;
    SearchRunning = false;
    m_ui->edBegin->setText(QString::number(FindOptions.BeginAddress));
    m_ui->edEnd->setText(QString::number(FindOptions.EndAddress));
    m_ui->cbTemporay->setChecked(FindOptions.UseFactoryDefault);
    cbTemporayClick();
    m_ui->lbStatus->clear();
    m_ui->ProgressBarSearch->reset();
    m_ui->btFind->setEnabled(true);
    m_ui->btCancel->setEnabled(false);
    m_ui->btClose->setEnabled(true);
}

void TFormFindSlave::cbTemporayClick() {
    const bool range = !m_ui->cbTemporay->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(m_ui->lbBegin), static_cast<QWidget*>(m_ui->edBegin),
                       static_cast<QWidget*>(m_ui->lbEnd), static_cast<QWidget*>(m_ui->edEnd)})
        w->setEnabled(range);
}

void TFormFindSlave::RejectEdit(const QString& message, QLineEdit* edit, int value) {
    MessageDlg(message, TMsgDlgType::mtError, mbOK);
    edit->setText(QString::number(value));
    edit->setFocus();
}

void TFormFindSlave::btFindClick() {
    SearchRunning = true;
    // A new search starts from the default options; a job made for an earlier rejected attempt goes.
    m_job.reset();
    FindOptions.Reset();
    if (WorkerJobs.NewSearch && ModbusMaster)
        m_job = WorkerJobs.NewSearch(*ModbusMaster);
    FindOptions.UseFactoryDefault = m_ui->cbTemporay->isChecked();
    if (!FindOptions.UseFactoryDefault) {
        int begin = 0, end = 0;
        if (!ToInt(m_ui->edBegin->text(), begin)) {
            RejectEdit(_("Invalid value."), m_ui->edBegin, FindOptions.BeginAddress);
            return;
        }
        if (!ToInt(m_ui->edEnd->text(), end)) {
            RejectEdit(_("Invalid value."), m_ui->edEnd, FindOptions.EndAddress);
            return;
        }
        if (begin < kMinAddress || end < begin) {
            RejectEdit(RangeMessage(kMinAddress, end), m_ui->edBegin, FindOptions.BeginAddress);
            return;
        }
        FindOptions.BeginAddress = begin;
        if (begin > end || end > kMaxAddress) {
            RejectEdit(RangeMessage(begin, kMaxAddress), m_ui->edEnd, FindOptions.EndAddress);
            return;
        }
        FindOptions.EndAddress = end;
        m_ui->ProgressBarSearch->setRange(begin, end + 1);
        m_ui->ProgressBarSearch->setValue(begin);
    }
    if (FormMain)
        FormMain->ClearNetwork();
    Searching = true;
    m_ui->btFind->setEnabled(false);
    m_ui->btCancel->setEnabled(true);
    m_ui->btClose->setEnabled(false);
    if (m_job)
        m_job->Start();
    else
        SearchEnded(); // no bus worker installed: nothing to search with
}

void TFormFindSlave::btCancelClick() {
    SearchRunning = false;
    if (Searching && m_job)
        m_job->Terminate();
}

void TFormFindSlave::btCloseClick() {
    done(QDialog::Accepted);
}

void TFormFindSlave::closeEvent(QCloseEvent* event) {
    if (Searching) {
        // The dialog stays until the search has really ended, so that no worker still fills the
        // network or holds the master once the main window takes over again.
        SearchRunning = true;
        if (m_job)
            m_job->Terminate();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TFormFindSlave::keyPressEvent(QKeyEvent* event) {
    // Esc is the Cancel button's key, and nothing else closes the dialog from the keyboard.
    if (event->key() == Qt::Key_Escape) {
        if (m_ui->btCancel->isEnabled())
            m_ui->btCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormFindSlave::ShowSearchProgress() {
    QProgressBar* bar = m_ui->ProgressBarSearch;
    m_ui->lbStatus->setText(_("Find slave ") + QString::number(bar->value()));
    bar->setValue(qMin(bar->value() + 1, bar->maximum()));
}

void TFormFindSlave::SearchEnded() {
    m_ui->lbStatus->setText(_("Search cancelled by user."));
    m_ui->ProgressBarSearch->reset();
    m_ui->btFind->setEnabled(true);
    m_ui->btCancel->setEnabled(false);
    m_ui->btClose->setEnabled(true);
    Searching = false;
    // The job's own end handler is on the stack: let it go once that call has returned.
    if (m_job)
        QTimer::singleShot(0, this, [ended = std::move(m_job)] {});
    if (SearchRunning)
        done(QDialog::Accepted);
    SearchRunning = false;
}
