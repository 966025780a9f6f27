#include "app/Log.h"
#include "app/WindowPlacement.h"
#include "ui_Log.h"

TFormLog::TFormLog(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::TFormLog>()) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    CentreOnEveryShow(*this);
    QPalette pal = m_ui->memLog->palette();
    pal.setColor(QPalette::Text, pal.color(QPalette::Highlight));
    m_ui->memLog->setPalette(pal);
    m_ui->memLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_ui->memLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // One block per line: the document drops its first block when a line beyond the limit arrives (it
    // costs the same for every line, and it also switches the undo history off, which would keep every
    // line ever shown).
    m_ui->memLog->setMaximumBlockCount(MaxLines);
    connect(m_ui->btnLimpar, &QPushButton::clicked, this, &TFormLog::btnLimparClick);
    connect(m_ui->btnFecharLog, &QPushButton::clicked, this, &TFormLog::btnFecharLogClick);
}

TFormLog::~TFormLog() = default;

void TFormLog::AddLine(const QString& line) {
    m_ui->memLog->appendPlainText(line);
}

void TFormLog::btnLimparClick() {
    m_ui->memLog->clear();
}

void TFormLog::btnFecharLogClick() {
    close();
}
