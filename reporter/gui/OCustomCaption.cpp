#include "reporter/gui/OCustomCaption.h"

#include <QDialog>
#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace reporter {

namespace {

std::atomic<bool> gLastDetailsShown{false};

// Each step of the gradient darkens the colour by 4 %.
QColor Darker(const QColor& c) {
    const auto step = [](int v) { return std::min(255, int(std::lround(v * 0.96))); };
    return QColor(step(c.red()), step(c.green()), step(c.blue()));
}

// The rectangle's one-pixel border.
void FrameRect(QPainter& painter, const QRect& r, const QColor& colour) {
    if (r.width() <= 0 || r.height() <= 0)
        return;
    painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), colour);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), colour);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), colour);
    painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), colour);
}

// An invisible strip of the frame that resizes the window from its edges, with the cursor that says so.
class TResizeEdge final : public QWidget {
public:
    TResizeEdge(QWidget* window, Qt::Edges edges) : QWidget(window), m_window(window), m_edges(edges) {
        const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
        const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
        const bool falling =
            edges == (Qt::TopEdge | Qt::LeftEdge) || edges == (Qt::BottomEdge | Qt::RightEdge);
        setCursor(horizontal && vertical ? (falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor)
                  : horizontal           ? Qt::SizeHorCursor
                                         : Qt::SizeVerCursor);
    }
    Qt::Edges Edges() const { return m_edges; }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton)
            return;
        QWindow* window = m_window->windowHandle();
        m_manual = window == nullptr || !window->startSystemResize(m_edges);
        m_start = event->globalPosition().toPoint();
        m_startGeometry = m_window->geometry();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!m_manual)
            return;
        const QPoint d = event->globalPosition().toPoint() - m_start;
        QRect g = m_startGeometry;
        const QSize least = m_window->minimumSize().expandedTo(QSize(100, 60));
        if (m_edges & Qt::LeftEdge)
            g.setLeft(std::min(g.left() + d.x(), g.right() - least.width()));
        if (m_edges & Qt::RightEdge)
            g.setRight(std::max(g.right() + d.x(), g.left() + least.width()));
        if (m_edges & Qt::TopEdge)
            g.setTop(std::min(g.top() + d.y(), g.bottom() - least.height()));
        if (m_edges & Qt::BottomEdge)
            g.setBottom(std::max(g.bottom() + d.y(), g.top() + least.height()));
        m_window->setGeometry(g);
    }
    void mouseReleaseEvent(QMouseEvent*) override { m_manual = false; }

private:
    QWidget* m_window;
    Qt::Edges m_edges;
    bool m_manual = false;
    QPoint m_start;
    QRect m_startGeometry;
};

} // namespace

TCaptionColors CaptionColors(bool active) {
    if (active)
        return {QColor(130, 155, 194), QColor(64, 64, 64), QColor(128, 128, 128)};
    return {QColor(151, 151, 151), QColor(48, 48, 48), QColor(96, 96, 96)};
}

bool LastDetailsShown() {
    return gLastDetailsShown.load();
}

void SetLastDetailsShown(bool shown) {
    gLastDetailsShown.store(shown);
}

TCustomCaption::TCustomCaption(QDialog* dialog, QFont font, std::function<bool()> detailsForm,
                               bool centredAsCompact, bool resizable)
    : QObject(dialog), m_dialog(dialog), m_font(std::move(font)), m_detailsForm(std::move(detailsForm)),
      m_centredAsCompact(centredAsCompact), m_resizable(resizable) {
    // A tool window's small caption: the title's height and a little air.
    m_captionHeight = std::max(18, QFontMetrics(m_font).height() + 6);
    if (m_resizable)
        for (const Qt::Edges edges :
             {Qt::Edges(Qt::LeftEdge), Qt::Edges(Qt::RightEdge), Qt::Edges(Qt::TopEdge),
              Qt::Edges(Qt::BottomEdge), Qt::TopEdge | Qt::LeftEdge, Qt::TopEdge | Qt::RightEdge,
              Qt::BottomEdge | Qt::LeftEdge, Qt::BottomEdge | Qt::RightEdge})
            m_edges.push_back(new TResizeEdge(dialog, edges));
    dialog->installEventFilter(this);
}

bool TCustomCaption::Resizable() const {
    return m_resizable && m_detailsForm && m_detailsForm() && !m_dialog->isMaximized();
}

void TCustomCaption::PlaceEdges() {
    const bool on = Resizable();
    const int w = m_dialog->width();
    const int h = m_dialog->height();
    const int f = FrameWidth;
    const int corner = 2 * f;
    for (QWidget* widget : m_edges) {
        const Qt::Edges edges = static_cast<TResizeEdge*>(widget)->Edges();
        const bool left = edges & Qt::LeftEdge, right = edges & Qt::RightEdge;
        const bool top = edges & Qt::TopEdge, bottom = edges & Qt::BottomEdge;
        const int x = left ? 0 : right ? w - (top || bottom ? corner : f) : corner;
        const int y = top ? 0 : bottom ? h - (left || right ? corner : f) : corner;
        const int width = left || right ? (top || bottom ? corner : f) : std::max(0, w - 2 * corner);
        const int height = top || bottom ? (left || right ? corner : f) : std::max(0, h - 2 * corner);
        widget->setGeometry(x, y, width, height);
        widget->setVisible(on);
        widget->raise();
    }
}

QMargins TCustomCaption::NonClient() const {
    return QMargins(FrameWidth, FrameWidth + m_captionHeight, FrameWidth, FrameWidth);
}

QRect TCustomCaption::CaptionBar() const {
    const int f = FrameWidth - 1;
    // From inside the frame to one pixel above the client area.
    return QRect(f + 1, f + 1, std::max(0, m_dialog->width() - 2 * (f + 1)), m_captionHeight - 1);
}

QRect TCustomCaption::CloseBox() const {
    const QRect bar = CaptionBar();
    const int side = std::max(8, bar.height() - 6);
    return QRect(bar.right() - 3 - side, bar.top() + (bar.height() - side) / 2, side, side);
}

bool TCustomCaption::Active() const {
    return m_dialog->isActiveWindow();
}

void TCustomCaption::Paint(QPainter& painter) const {
    const bool active = Active();
    const TCaptionColors colours = CaptionColors(active);
    const bool details = m_detailsForm && m_detailsForm();
    const int f = FrameWidth - 1;
    const QRect window = m_dialog->rect();
    const QRect inner = window.adjusted(f, f, -f, -f);
    const QRect bar = CaptionBar();
    const QRect below(inner.left(), bar.bottom() + 2, inner.width(),
                      std::max(0, inner.bottom() - bar.bottom() - 1));

    QRect band = bar;
    QColor colour = colours.Start;
    for (int i = 0; i < bar.height() / 5 && band.height() > 0; ++i) {
        painter.fillRect(band, colour);
        colour = Darker(colour);
        band.adjust(0, 2, 0, -2);
    }
    FrameRect(painter, window, colours.Frame);
    if (details) {
        FrameRect(painter, below, colours.Frame);
        FrameRect(painter, inner, colours.Frame);
    } else {
        FrameRect(painter, below.adjusted(0, 0, 0, -1), colours.Frame);
    }
    const QRect edge = window.adjusted(1, 1, -1, -1);
    painter.fillRect(QRect(edge.left(), edge.top(), inner.left() - edge.left(), edge.height()),
                     colours.Lines);
    painter.fillRect(QRect(edge.left(), edge.top(), edge.width(), inner.top() - edge.top()), colours.Lines);
    painter.fillRect(QRect(edge.left(), inner.bottom() + 1, edge.width(), edge.bottom() - inner.bottom()),
                     colours.Lines);
    painter.fillRect(QRect(inner.right() + 1, edge.top(), edge.right() - inner.right(), edge.height()),
                     colours.Lines);

    // The title: 4 pixels in, centred on the bar (one pixel higher in the compact form).
    const bool compact = m_centredAsCompact || !details;
    const QRect textBar = bar.adjusted(4, compact ? -1 : 0, -(bar.right() - CloseBox().left() + 4), 0);
    painter.setFont(m_font);
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    const QString title = QFontMetrics(m_font).elidedText(m_dialog->windowTitle(), Qt::ElideRight,
                                                          std::max(0, textBar.width()));
    const QColor text = active ? QColor(Qt::white) : QColor(224, 224, 224);
    if (active) {
        painter.setPen(QColor(34, 34, 34));
        painter.drawText(textBar.translated(1, 0), flags, title);
    }
    painter.setPen(text);
    painter.drawText(textBar, flags, title);
    // The close box: a cross in the title's colour.
    const QRect box = CloseBox();
    painter.setPen(QPen(text, 2));
    painter.drawLine(box.topLeft() + QPoint(1, 1), box.bottomRight() - QPoint(1, 1));
    painter.drawLine(box.topRight() + QPoint(-1, 1), box.bottomLeft() + QPoint(1, -1));
}

bool TCustomCaption::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_dialog)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Paint: {
        // Runs before the dialog's own painting, over the background already drawn.
        QPainter painter(m_dialog);
        Paint(painter);
        break;
    }
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
    case QEvent::WindowTitleChange:
        m_dialog->update();
        break;
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::WindowStateChange:
        PlaceEdges();
        break;
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            break;
        const QPoint at = mouse->position().toPoint();
        if (CloseBox().contains(at)) {
            m_dialog->close();
            return true;
        }
        if (CaptionBar().contains(at)) {
            // The window system moves the window when it can; else the bar drags it itself.
            QWindow* window = m_dialog->windowHandle();
            m_dragging = window == nullptr || !window->startSystemMove();
            m_dragOffset = mouse->globalPosition().toPoint() - m_dialog->frameGeometry().topLeft();
            return true;
        }
        break;
    }
    case QEvent::MouseMove:
        if (m_dragging) {
            m_dialog->move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - m_dragOffset);
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
        if (m_dragging) {
            m_dragging = false;
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

TCustomCaption* ApplyCaptionStyle(QDialog* dialog, uint8_t dialogFlags, const QFont& captionFont,
                                  std::function<bool()> detailsForm, bool centredAsCompact, bool resizable) {
    if ((dialogFlags & 0x80) == 0)
        return nullptr; // a dialog keeps its normal frame
    dialog->setWindowFlags((dialog->windowFlags() & ~Qt::WindowType_Mask) | Qt::Tool |
                           Qt::FramelessWindowHint);
    return new TCustomCaption(dialog, captionFont, std::move(detailsForm), centredAsCompact, resizable);
}

QRect ClientArea(const QWidget* dialog, const TCustomCaption* caption) {
    return caption != nullptr ? dialog->rect().marginsRemoved(caption->NonClient()) : dialog->rect();
}

QSize WindowSizeFor(const QSize& client, const TCustomCaption* caption) {
    if (caption == nullptr)
        return client;
    const QMargins m = caption->NonClient();
    return client + QSize(m.left() + m.right(), m.top() + m.bottom());
}

} // namespace reporter
