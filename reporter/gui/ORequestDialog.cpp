#include "reporter/gui/ORequestDialog.h"

#include "OTextUtils.h"
#include "reporter/gui/OCustomCaption.h"

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
constexpr int Margin = 10;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 23;

} // namespace

TRequestDialog::TRequestDialog(const TDialogOptions& options, QWidget* parent)
    : QDialog(parent), m_options(options), m_fonts(CreateDialogFonts()), m_label(new QLabel(this)),
      m_edit(new QPlainTextEdit(this)), m_ok(new QPushButton(this)), m_autoClose(new QTimer(this)) {
    setObjectName(QStringLiteral("OL_REQUEST"));
    if (options.DialogFlags & 0x40)
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // The frames follow the report dialog's last form; the title sits as in the compact form.
    m_caption = ApplyCaptionStyle(
        this, options.DialogFlags, m_fonts.Caption, [] { return LastDetailsShown(); }, true);
    setWindowTitle(QString::fromStdString(options.GetText(81)));
    m_label->setObjectName(QStringLiteral("lbRequest"));
    m_label->setTextFormat(Qt::PlainText);
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
    resize(WindowSizeFor(QSize(TemplateWidth, TemplateHeight + LabelHeight(TemplateWidth - 2 * Margin) - 10),
                         m_caption));
    m_edit->setFocus();

    connect(m_autoClose, &QTimer::timeout, this, [this] {
        if (++m_autoCloseCount >= m_options.DialogAutoCloseSeconds)
            close();
    });
    qApp->installEventFilter(this);
}

int TRequestDialog::LabelHeight(int width) const {
    const QFontMetrics metrics(m_fonts.Message);
    int height = 0;
    for (QString line : m_label->text().replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split('\n')) {
        if (line.isEmpty())
            line = QStringLiteral(" ");
        height += ((metrics.horizontalAdvance(line) - 1) / std::max(1, width) + 1) * metrics.height();
    }
    return height;
}

void TRequestDialog::LayoutControls() {
    // Label, edit and OK from top to bottom with the same margin all round: no empty band below OK.
    const QRect client = ClientArea(this, m_caption);
    const int w = std::max(0, client.width() - 2 * Margin);
    const int labelHeight = LabelHeight(w);
    const int editHeight = std::max(0, client.height() - labelHeight - 4 - 6 - ButtonHeight - 2 * Margin);
    const QPoint origin = client.topLeft();
    m_label->setGeometry(QRect(Margin, Margin, w, labelHeight).translated(origin));
    m_edit->setGeometry(QRect(Margin, labelHeight + Margin + 4, w, editHeight).translated(origin));
    m_ok->setGeometry(
        QRect(w + Margin - ButtonWidth, labelHeight + Margin + 4 + editHeight + 6, ButtonWidth, ButtonHeight)
            .translated(origin));
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
        m_reproduceText = TrimText(m_edit->toPlainText().toStdString());
    }
    QDialog::done(result);
}

} // namespace reporter
