#include "inspector/RSHintWindow.h"
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QToolTip>

TRSHintWindow::TRSHintWindow(QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    m_color = QToolTip::palette().color(QPalette::ToolTipBase);
    setPalette(QToolTip::palette());
    setFont(QToolTip::font());
    m_timer.setSingleShot(false);
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, [this] { TimerExpired(); });
}

void TRSHintWindow::SetCaption(const QString& value) {
    m_caption = value;
    update();
}

void TRSHintWindow::SetColor(const QColor& value) {
    m_color = value;
    update();
}

QRect TRSHintWindow::CalcHintRect(int maxWidth, const QString& hint) const {
    const QFontMetrics fm(font());
    QRect r =
        fm.boundingRect(QRect(0, 0, std::max(1, maxWidth - 8), 0), Qt::TextWordWrap | Qt::AlignLeft, hint);
    r.moveTo(0, 0);
    r.adjust(0, 0, 8, 4); // text inset and border
    return r;
}

void TRSHintWindow::ActivateHint(const QRect& rect, const QString& hint) {
    if (m_activating)
        return;
    m_activating = true;
    // An interval of 0 never hides by time; a running timer keeps its count.
    if (m_timer.interval() > 0 && !m_timer.isActive())
        m_timer.start();
    m_caption = hint;
    setGeometry(rect);
    show();
    raise();
    update();
    m_activating = false;
}

void TRSHintWindow::ShowAt(const QPoint& screenPos, const QString& hint) {
    const QScreen* screen = QGuiApplication::screenAt(screenPos);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const int width = screen ? screen->geometry().width() : 1024;
    QRect r = CalcHintRect(width, hint);
    r.moveTopLeft(screenPos);
    ActivateHint(r, hint);
}

void TRSHintWindow::TimerExpired() {
    m_timer.stop();
    HideHint();
}

void TRSHintWindow::HideHint() {
    if (isVisible())
        hide();
}

void TRSHintWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), m_color);
    p.setPen(palette().color(QPalette::ToolTipText));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setFont(font());
    p.drawText(rect().adjusted(2 + 2, 2, -2, 0), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, m_caption);
}
