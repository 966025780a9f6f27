#include "reporter/gui/OSendDialog.h"

#include "OReportProgress.h"
#include "reporter/gui/OCustomCaption.h"

#include "reporter/gui/ODialogFonts.h"
#include "reporter/gui/OGuiBridge.h"
#include "reporter/gui/OPlainCaption.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QScreen>

#include <algorithm>

namespace reporter {

TSendDialog::TSendDialog(const QString& caption, uint8_t dialogFlags, QWidget* parent)
    : QDialog(parent), m_status(new QLabel(this)), m_progress(new QProgressBar(this)) {
    setObjectName(QStringLiteral("OL_SERVER"));
    const TDialogFonts fonts = CreateDialogFonts();
    // The frames follow the report dialog's last form; the title sits as in the compact form.
    const TCustomCaption* customCaption = ApplyCaptionStyle(
        this, dialogFlags, fonts.Caption, [] { return LastDetailsShown(); }, true);
    setWindowTitle(caption);
    m_status->setObjectName(QStringLiteral("lbStatus"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setFont(fonts.Message);
    m_progress->setObjectName(QStringLiteral("pbProgress"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    // Template 186 x 34 dialog units.
    resize(WindowSizeFor(QSize(279, 64), customCaption));
    const QPoint origin = ClientArea(this, customCaption).topLeft();
    m_status->setGeometry(QRect(12, 8, 256, 18).translated(origin));
    m_progress->setGeometry(QRect(12, 30, 255, 16).translated(origin));
}

void TSendDialog::SetStatus(const QString& text) {
    m_status->setText(text);
    const QScreen* screen = this->screen();
    const int widest = screen != nullptr ? screen->availableGeometry().width() : width();
    const int extra = std::min(m_status->sizeHint().width() - m_status->width(), widest - width());
    if (extra <= 0)
        return;
    resize(width() + extra, height());
    m_status->resize(m_status->width() + extra, m_status->height());
    m_progress->resize(m_progress->width() + extra, m_progress->height());
}

void TSendDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    raise();
    activateWindow();
    if (!m_readyTold && OnReady) {
        m_readyTold = true;
        OnReady();
    }
}

void TSendDialog::customEvent(QEvent* event) {
    if (int(event->type()) == QEvent::User + SendDialogCloseMessage) {
        done(Accepted);
        return;
    }
    QDialog::customEvent(event);
}

void TSendDialog::closeEvent(QCloseEvent* event) {
    // The dialog ends only when the sender is done.
    event->ignore();
}

TSendDialogThread::TSendDialogThread(std::string caption, uint8_t dialogFlags,
                                     std::chrono::milliseconds guiStartWait)
    : m_thread([this, caption = std::move(caption), dialogFlags, guiStartWait]() mutable {
          Execute(std::move(caption), dialogFlags, guiStartWait);
      }) {}

TSendDialogThread::~TSendDialogThread() {
    Close();
    Join();
}

void TSendDialogThread::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void TSendDialogThread::Execute(std::string caption, uint8_t dialogFlags,
                                std::chrono::milliseconds guiStartWait) {
    const TGuiCallStatus status = RunOnGuiThread(
        [this, &caption, dialogFlags] {
            const TPlainCaptionScope plainCaption;
            TSendDialog dialog(QString::fromStdString(caption), dialogFlags);
            dialog.OnReady = [this] { m_ready = true; };
            {
                const std::lock_guard guard(m_lock);
                if (m_closeRequested)
                    return;
                m_dialog = &dialog;
            }
            dialog.exec();
            const std::lock_guard guard(m_lock);
            m_dialog = nullptr;
        },
        guiStartWait, false); // the sender waits for its window's start itself, within its limit
    m_guiNotStarted = status == TGuiCallStatus::NotStarted;
    m_ended = true;
}

bool TSendDialogThread::WaitReady(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!m_ready && !m_ended && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return m_ready;
}

void TSendDialogThread::SetText(const std::string& text) {
    const std::lock_guard guard(m_lock);
    if (m_dialog == nullptr)
        return;
    QMetaObject::invokeMethod(
        m_dialog, [dialog = m_dialog, text = QString::fromStdString(text)] { dialog->SetStatus(text); },
        Qt::QueuedConnection);
}

void TSendDialogThread::SetPosition(int percent) {
    const std::lock_guard guard(m_lock);
    if (m_dialog == nullptr)
        return;
    QMetaObject::invokeMethod(
        m_dialog,
        [bar = m_dialog->ProgressBar(), value = std::clamp(percent, 0, 100)] { bar->setValue(value); },
        Qt::QueuedConnection);
}

void TSendDialogThread::Close() {
    const std::lock_guard guard(m_lock);
    m_closeRequested = true;
    if (m_dialog != nullptr)
        QCoreApplication::postEvent(m_dialog,
                                    new QEvent(QEvent::Type(QEvent::User + SendDialogCloseMessage)));
}

bool TSendDialogThread::Open() const {
    const std::lock_guard guard(m_lock);
    return m_dialog != nullptr;
}

TQtOstrelSendProgress::TQtOstrelSendProgress(std::chrono::milliseconds readyLimit,
                                             std::chrono::milliseconds helperLimit)
    : m_readyLimit(readyLimit), m_helperLimit(helperLimit) {}

TQtOstrelSendProgress::~TQtOstrelSendProgress() {
    Close();
}

bool TQtOstrelSendProgress::Show(const std::string& caption, uint8_t dialogFlags) {
    Close();
    // On the GUI thread itself the modal dialog would block the caller until it ends: the sender then
    // runs without a dialog.
    if (IsGuiThread() || QCoreApplication::instance() == nullptr)
        return false;
    const TOutsideWait outside; // for the GUI thread or the helper's window, each within its limit
    auto thread = std::make_unique<TSendDialogThread>(caption, dialogFlags, m_readyLimit);
    if (thread->WaitReady(m_readyLimit)) {
        const std::lock_guard guard(m_lock);
        m_thread = std::move(thread);
        return true;
    }
    thread->Close();
    thread->Join();
    if (!thread->GuiNotStarted() || !m_useHelper)
        return false;
    std::unique_ptr<TSendProgressHelper> helper =
        TSendProgressHelper::Start(caption, dialogFlags, m_helperLimit, m_helperProgram);
    if (!helper)
        return false;
    const std::lock_guard guard(m_lock);
    m_helper = std::move(helper);
    return true;
}

void TQtOstrelSendProgress::SetText(const std::string& text) {
    const std::lock_guard guard(m_lock);
    if (m_thread)
        m_thread->SetText(text);
    if (m_helper)
        m_helper->SetText(text);
}

void TQtOstrelSendProgress::SetPosition(int percent) {
    const std::lock_guard guard(m_lock);
    if (m_thread)
        m_thread->SetPosition(percent);
    if (m_helper)
        m_helper->SetPosition(percent);
}

void TQtOstrelSendProgress::Close() {
    std::unique_ptr<TSendDialogThread> thread;
    std::unique_ptr<TSendProgressHelper> helper;
    {
        const std::lock_guard guard(m_lock);
        thread = std::move(m_thread);
        helper = std::move(m_helper);
    }
    if (thread) {
        thread->Close();
        thread->Join();
    }
    if (helper)
        helper->Close();
}

bool TQtOstrelSendProgress::IsOpen() const {
    const std::lock_guard guard(m_lock);
    return (m_thread && m_thread->Open()) || (m_helper && m_helper->Open());
}

} // namespace reporter
