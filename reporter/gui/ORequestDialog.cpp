#include "reporter/gui/ORequestDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace reporter {

namespace {

// Template size of the request dialog in pixels.
constexpr int TemplateWidth = 474;
constexpr int TemplateHeight = 249;

std::string TrimBlanks(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

} // namespace

TRequestDialog::TRequestDialog(const TDialogOptions& options, QWidget* parent)
    : QDialog(parent), m_options(options), m_fonts(CreateDialogFonts()), m_label(new QLabel(this)),
      m_edit(new QPlainTextEdit(this)), m_ok(new QPushButton(this)), m_autoClose(new QTimer(this)) {
    setObjectName(QStringLiteral("OL_REQUEST"));
    if (options.DialogFlags & 0x40)
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setWindowTitle(QString::fromStdString(options.GetText(81)));
    m_label->setObjectName(QStringLiteral("lbRequest"));
    m_label->setText(QString::fromStdString(options.GetText(82)));
    m_label->setWordWrap(true);
    m_label->setFont(m_fonts.Message);
    m_edit->setObjectName(QStringLiteral("edReproduce"));
    m_edit->setFont(m_fonts.Fixed);
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_ok->setObjectName(QStringLiteral("btOK"));
    m_ok->setText(QString::fromStdString(options.GetText(83)));
    m_ok->setFont(m_fonts.Message);
    m_ok->setAutoDefault(false);
    connect(m_ok, &QPushButton::clicked, this, [this] { done(Accepted); });

    // The label takes as many lines as its text needs at the dialog's width; the window grows by them.
    const int w = TemplateWidth - 27;
    const QFontMetrics metrics(m_fonts.Message);
    int labelHeight = 0;
    for (QString line : m_label->text().replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split('\n')) {
        if (line.isEmpty())
            line = QStringLiteral(" ");
        labelHeight += ((metrics.horizontalAdvance(line) - 1) / w + 1) * metrics.height();
    }
    resize(TemplateWidth, TemplateHeight + labelHeight - 10);
    m_edit->setFocus();

    connect(m_autoClose, &QTimer::timeout, this, [this] {
        if (++m_autoCloseCount >= m_options.DialogAutoCloseSeconds)
            close();
    });
    qApp->installEventFilter(this);
}

void TRequestDialog::LayoutControls() {
    const int w = width() - 27;
    const QFontMetrics metrics(m_fonts.Message);
    int labelHeight = 0;
    for (QString line : m_label->text().replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split('\n')) {
        if (line.isEmpty())
            line = QStringLiteral(" ");
        labelHeight += ((metrics.horizontalAdvance(line) - 1) / std::max(1, w) + 1) * metrics.height();
    }
    const int editHeight = std::max(0, height() - 73 - labelHeight);
    m_label->setGeometry(10, 10, w, labelHeight);
    m_edit->setGeometry(10, labelHeight + 14, w, editHeight);
    m_ok->setGeometry(w - 65, labelHeight + 20 + editHeight, 75, 23);
}

void TRequestDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayoutControls();
}

void TRequestDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    raise();
    activateWindow();
    if (m_options.DialogAutoCloseSeconds > 0)
        m_autoClose->start(m_autoCloseInterval);
}

bool TRequestDialog::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::KeyPress:
        if (watched->isWidgetType()) {
            const auto* widget = static_cast<QWidget*>(watched);
            if (widget == this || isAncestorOf(widget))
                m_autoCloseCount = 0;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void TRequestDialog::reject() {
    done(Accepted);
}

void TRequestDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    done(Accepted);
}

void TRequestDialog::done(int result) {
    if (!m_ended) {
        m_ended = true;
        m_autoClose->stop();
        qApp->removeEventFilter(this);
        m_reproduceText = TrimBlanks(m_edit->toPlainText().toStdString());
    }
    QDialog::done(result);
}

} // namespace reporter
