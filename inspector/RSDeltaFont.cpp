#include "inspector/RSDeltaFont.h"

TRSFont::TRSFont(QObject* parent) : QObject(parent) {}

TRSFont::TRSFont(const TRSFont* source, QObject* parent)
    : QObject(parent), m_font(source ? source->m_font : QFont()),
      m_color(source ? source->m_color : Qt::black) {}

TRSFont::TRSFont(const QFont& font, const QColor& color, QObject* parent)
    : QObject(parent), m_font(font), m_color(color) {}

void TRSFont::Changed() {
    if (OnChange)
        OnChange(this);
}

void TRSFont::Store(const QFont& font, const QColor& color) {
    m_font = font;
    m_color = color;
}

void TRSFont::SetFont(const QFont& value) {
    if (value == m_font)
        return;
    m_font = value;
    Changed();
}

void TRSFont::SetColor(const QColor& value) {
    if (value == m_color)
        return;
    m_color = value;
    Changed();
}

void TRSFont::SetName(const QString& value) {
    QFont f = m_font;
    f.setFamily(value);
    SetFont(f);
}

void TRSFont::SetSize(int value) {
    if (value <= 0)
        return;
    QFont f = m_font;
    f.setPointSize(value);
    SetFont(f);
}

void TRSFont::SetBold(bool value) {
    QFont f = m_font;
    f.setBold(value);
    SetFont(f);
}

void TRSFont::SetItalic(bool value) {
    QFont f = m_font;
    f.setItalic(value);
    SetFont(f);
}

void TRSFont::SetUnderline(bool value) {
    QFont f = m_font;
    f.setUnderline(value);
    SetFont(f);
}

void TRSFont::SetStrikeOut(bool value) {
    QFont f = m_font;
    f.setStrikeOut(value);
    SetFont(f);
}

void TRSFont::Assign(const TRSFont& source) {
    if (&source != this)
        AssignFace(source.m_font, source.m_color);
}

void TRSFont::AssignFace(const QFont& font, const QColor& color) {
    if (m_font == font && m_color == color)
        return;
    m_font = font;
    m_color = color;
    Changed();
}

void TRSCustomDeltaFont::CalcDelta(const TRSFont* parentFont) {
    if (m_updating || !parentFont)
        return;
    unsigned mask = 0;
    if (Bold() != parentFont->Bold())
        mask |= dfBold;
    if (Color() != parentFont->Color())
        mask |= dfColor;
    if (Name() != parentFont->Name())
        mask |= dfName;
    if (Italic() != parentFont->Italic())
        mask |= dfItalic;
    if (Size() != parentFont->Size())
        mask |= dfSize;
    if (StrikeOut() != parentFont->StrikeOut())
        mask |= dfStrikeOut;
    if (Underline() != parentFont->Underline())
        mask |= dfUnderline;
    m_deltaMask = mask;
}

void TRSCustomDeltaFont::ApplyDelta(const TRSFont* parentFont) {
    if (m_updating || !parentFont)
        return;
    m_updating = true;
    QFont f = Font();
    if (!(m_deltaMask & dfBold))
        f.setBold(parentFont->Bold());
    if (!(m_deltaMask & dfItalic))
        f.setItalic(parentFont->Italic());
    if (!(m_deltaMask & dfStrikeOut))
        f.setStrikeOut(parentFont->StrikeOut());
    if (!(m_deltaMask & dfUnderline))
        f.setUnderline(parentFont->Underline());
    const QColor color = (m_deltaMask & dfColor) ? Color() : parentFont->Color();
    if (!(m_deltaMask & dfName))
        f.setFamily(parentFont->Name());
    if (!(m_deltaMask & dfSize) && parentFont->Size() > 0)
        f.setPointSize(parentFont->Size());
    const bool changed = f != Font() || color != Color();
    Store(f, color);
    try {
        if (changed)
            Changed();
    } catch (...) {
        m_updating = false;
        throw;
    }
    m_updating = false;
}

void TRSCustomDeltaFont::Changed() {
    if (!m_updating && OnGetParentFont) {
        TRSFont* parentFont = nullptr;
        OnGetParentFont(this, parentFont);
        if (parentFont)
            CalcDelta(parentFont);
    }
    TRSFont::Changed();
}
