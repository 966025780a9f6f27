#include "app/StatusSendConfig.h"
#include "app/WindowPlacement.h"
#include "ui_StatusSendConfig.h"
#include <QShowEvent>

TFormSaveConfigStatus::TFormSaveConfigStatus(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TFormSaveConfigStatus>()) {
    m_ui->setupUi(this);
    // A title bar and nothing else: without the customize hint a desktop adds its own buttons, and the
    // dialog ends with the send, not at the user's hand.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(313, 76);
    CentreOnEveryShow(*this);
}

TFormSaveConfigStatus::~TFormSaveConfigStatus() = default;

void TFormSaveConfigStatus::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormSaveConfigStatus::FormShow() {
    m_ui->Label1->clear();
    m_ui->ProgressBar1->setValue(0);
}

void TFormSaveConfigStatus::ShowProgress(const QString& text) {
    m_ui->Label1->setText(text);
    m_ui->ProgressBar1->setValue(qMin(m_ui->ProgressBar1->value() + 1, m_ui->ProgressBar1->maximum()));
}
