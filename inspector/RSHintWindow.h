#pragma once
// The item grid's hint window: shows a cell's full text or hint at the cell and can hide itself after an
// interval (0: it stays until HideHint).
#include <QColor>
#include <QTimer>
#include <QWidget>

class TRSHintWindow : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Interval READ Interval WRITE SetInterval)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_CLASSINFO("default:Interval", "1000")

public:
    explicit TRSHintWindow(QWidget* owner = nullptr);

    int Interval() const { return m_timer.interval(); }
    void SetInterval(int value) { m_timer.setInterval(std::max(0, value)); }
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value);
    QColor Color() const { return m_color; }
    void SetColor(const QColor& value);

    // The rectangle a hint needs (screen width as the limit), at the origin.
    QRect CalcHintRect(int maxWidth, const QString& hint) const;
    virtual void ActivateHint(const QRect& rect, const QString& hint);
    // Shows a hint with its top-left corner at a screen point.
    void ShowAt(const QPoint& screenPos, const QString& hint);
    virtual void HideHint();
    bool TimerActive() const { return m_timer.isActive(); }

protected:
    virtual void TimerExpired();
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer m_timer;
    QString m_caption;
    QColor m_color;
    bool m_activating = false;
};
