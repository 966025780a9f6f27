#pragma once
// The reporter's own window caption (DialogFlags bit 0x80, for every reporter dialog): the dialog becomes
// a frameless tool window that paints its caption bar (a darkening gradient with the title, active and
// inactive) and its frame itself, and can be dragged by the bar and closed from its close box. Without the
// bit the dialog keeps the window system's caption and frame.
#include <QColor>
#include <QFont>
#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QRect>

#include <cstdint>
#include <functional>
#include <vector>

class QDialog;
class QPainter;
class QWidget;

namespace reporter {

struct TCaptionColors {
    QColor Start; // the gradient's first colour
    QColor Frame;
    QColor Lines;
};
TCaptionColors CaptionColors(bool active);

// Whether the report dialog last showed its details form: the other dialogs draw their frames alike.
bool LastDetailsShown();
void SetLastDetailsShown(bool shown);

class TCustomCaption final : public QObject {
public:
    // Made by ApplyCaptionStyle; detailsForm tells whether the frames are drawn for the details form (the
    // one form whose frame resizes the window), centredAsCompact whether the title sits as in the compact
    // form (one pixel higher).
    TCustomCaption(QDialog* dialog, QFont font, std::function<bool()> detailsForm, bool centredAsCompact,
                   bool resizable);

    static constexpr int FrameWidth = 4;
    int CaptionHeight() const { return m_captionHeight; }
    // The frame and caption around the client area.
    QMargins NonClient() const;
    QRect CaptionBar() const;
    QRect CloseBox() const;
    bool Active() const;
    // Whether the frame's edges resize the window now.
    bool Resizable() const;
    void Paint(QPainter& painter) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceEdges();

    QDialog* m_dialog;
    QFont m_font;
    std::function<bool()> m_detailsForm;
    bool m_centredAsCompact;
    int m_captionHeight;
    bool m_resizable;
    std::vector<QWidget*> m_edges; // owned by the dialog
    bool m_dragging = false;
    QPoint m_dragOffset;
};

// Bit 0x80 of the flags: the custom caption (owned by the dialog) in the tool-window style; else the
// window system's normal dialog frame and nullptr.
TCustomCaption* ApplyCaptionStyle(QDialog* dialog, uint8_t dialogFlags, const QFont& captionFont,
                                  std::function<bool()> detailsForm, bool centredAsCompact,
                                  bool resizable = false);

// The client area of a dialog: the whole window without a custom caption.
QRect ClientArea(const QWidget* dialog, const TCustomCaption* caption);
// The window size that gives the client area that size.
QSize WindowSizeFor(const QSize& client, const TCustomCaption* caption);

} // namespace reporter
