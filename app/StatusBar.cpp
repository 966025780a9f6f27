#include "app/StatusBar.h"
#include <QPainter>
#include <QStyleOption>

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
}

void TStatusBar::SetPanels(std::vector<TStatusPanel> panels) {
    m_panels = std::move(panels);
    update();
}

QString TStatusBar::PanelText(int index) const {
    return index >= 0 && index < PanelCount() ? m_panels[std::size_t(index)].Text : QString();
}

void TStatusBar::SetPanelText(int index, const QString& text) {
    if (index < 0 || index >= PanelCount() || m_panels[std::size_t(index)].Text == text)
        return;
    m_panels[std::size_t(index)].Text = text;
    update(PanelRect(index).adjusted(-2, -2, 2, 2));
}

QRect TStatusBar::PanelRect(int index) const {
    int left = 0;
    for (int i = 0; i < index && i < PanelCount(); ++i)
        left += m_panels[std::size_t(i)].Width;
    const int width = index < PanelCount() ? m_panels[std::size_t(index)].Width : 0;
    // One pixel of frame on each side and a two-pixel gap to the next panel.
    return QRect(left + 1, 3, qMax(0, width - 4), qMax(0, height() - 4));
}

void TStatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    for (int i = 0; i < PanelCount(); ++i) {
        const QRect inner = PanelRect(i);
        const QRect frame = inner.adjusted(-1, -1, 1, 1);
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(frame.topLeft(), frame.topRight());
        p.drawLine(frame.topLeft(), frame.bottomLeft());
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(frame.bottomLeft(), frame.bottomRight());
        p.drawLine(frame.topRight(), frame.bottomRight());
        p.save();
        p.setClipRect(inner);
        const TStatusPanel& panel = m_panels[std::size_t(i)];
        if (panel.Style == TStatusPanelStyle::psOwnerDraw) {
            if (OnDrawPanel)
                OnDrawPanel(this, p, i, inner);
        } else {
            p.setPen(palette().color(QPalette::WindowText));
            p.drawText(inner.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, panel.Text);
        }
        p.restore();
    }
}
