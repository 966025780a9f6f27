#include "inspector/RSLazyFont.h"

TRSLazyFont::TRSLazyFont(const QFont& font, const QColor& color, std::function<void()> onChange)
    : m_font(font), m_color(color), m_onChange(std::move(onChange)) {}

TRSFont* TRSLazyFont::Object() const {
    if (!m_object) {
        m_object = std::make_unique<TRSFont>(m_font, m_color);
        m_object->OnChange = [this](TRSFont*) {
            if (m_onChange)
                m_onChange();
        };
    }
    return m_object.get();
}

void TRSLazyFont::Assign(const QFont& font, const QColor& color) {
    if (m_object) {
        m_object->AssignFace(font, color);
        return;
    }
    if (m_font == font && m_color == color)
        return;
    m_font = font;
    m_color = color;
    if (m_onChange)
        m_onChange();
}
