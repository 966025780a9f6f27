#pragma once
// TRSFont: a font with a colour and a change notification. TRSCustomDeltaFont remembers in which
// attributes it differs from a parent font, so that a parent change only reaches the other attributes.
#include <QColor>
#include <QFont>
#include <QObject>
#include <functional>

class TRSFont : public QObject {
    Q_OBJECT

public:
    explicit TRSFont(QObject* parent = nullptr);
    // A copy of another font's font and colour (without the application font looked up first).
    explicit TRSFont(const TRSFont* source, QObject* parent = nullptr);
    TRSFont(const QFont& font, const QColor& color, QObject* parent = nullptr);

    const QFont& Font() const { return m_font; }
    void SetFont(const QFont& value);
    QColor Color() const { return m_color; }
    void SetColor(const QColor& value);
    QString Name() const { return m_font.family(); }
    void SetName(const QString& value);
    int Size() const { return m_font.pointSize(); }
    void SetSize(int value);
    bool Bold() const { return m_font.bold(); }
    void SetBold(bool value);
    bool Italic() const { return m_font.italic(); }
    void SetItalic(bool value);
    bool Underline() const { return m_font.underline(); }
    void SetUnderline(bool value);
    bool StrikeOut() const { return m_font.strikeOut(); }
    void SetStrikeOut(bool value);
    // Takes font and colour of another font; one change notification.
    virtual void Assign(const TRSFont& source);
    // Takes a font and colour; one change notification, none when they are the same.
    void AssignFace(const QFont& font, const QColor& color);
    bool SameAs(const TRSFont& other) const { return m_font == other.m_font && m_color == other.m_color; }

    std::function<void(TRSFont* sender)> OnChange;

protected:
    virtual void Changed();
    // Sets font and colour without notification.
    void Store(const QFont& font, const QColor& color);

private:
    QFont m_font;
    QColor m_color{Qt::black};
};

class TRSCustomDeltaFont : public TRSFont {
    Q_OBJECT

public:
    enum TDeltaBit : unsigned {
        dfBold = 1,
        dfColor = 2,
        dfName = 4,
        dfItalic = 8,
        dfSize = 16,
        dfStrikeOut = 32,
        dfUnderline = 64,
    };

    explicit TRSCustomDeltaFont(QObject* parent = nullptr) : TRSFont(parent) {}

    unsigned DeltaMask() const { return m_deltaMask; }
    // Marks attributes as differing (what a stream that stored them says).
    void AddDelta(unsigned bits) { m_deltaMask |= bits; }
    // Rebuilds the mask by comparing every attribute with the parent.
    virtual void CalcDelta(const TRSFont* parentFont);
    // Takes from the parent every attribute whose bit is clear.
    virtual void ApplyDelta(const TRSFont* parentFont);

    std::function<void(TRSCustomDeltaFont* sender, TRSFont*& parentFont)> OnGetParentFont;

protected:
    void Changed() override;

private:
    unsigned m_deltaMask = 0;
    bool m_updating = false;
};
