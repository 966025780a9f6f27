#pragma once
// TStatusBar: a status line of fixed-width panels. A panel either shows its text itself or is
// owner-drawn: then OnDrawPanel paints it.
#include <QWidget>
#include <functional>
#include <vector>

class QPainter;

enum class TStatusPanelStyle { psText, psOwnerDraw };

struct TStatusPanel {
    int Width = 50;
    TStatusPanelStyle Style = TStatusPanelStyle::psText;
    QString Text;
};

class TStatusBar : public QWidget {
    Q_OBJECT

public:
    using TDrawPanelEvent = std::function<void(TStatusBar*, QPainter&, int panel, const QRect&)>;

    explicit TStatusBar(QWidget* parent = nullptr);

    void SetPanels(std::vector<TStatusPanel> panels);
    int PanelCount() const { return int(m_panels.size()); }
    // An index outside the panels gives an empty text and ignores a write.
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);
    const TStatusPanel& Panel(int index) const { return m_panels.at(std::size_t(index)); }
    // The rectangle inside a panel's frame.
    QRect PanelRect(int index) const;

    TDrawPanelEvent OnDrawPanel;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<TStatusPanel> m_panels;
};
