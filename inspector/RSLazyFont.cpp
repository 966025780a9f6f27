#include "inspector/RSLazyFont.h"

TRSLazyFont::TRSLazyFont(TRSFontFace face, std::function<void()> onChange)
    : m_face(std::move(face)), m_onChange(std::move(onChange)) {}

TRSFont* TRSLazyFont::Object() const {
    if (!m_object) {
        m_object = std::make_unique<TRSFont>(m_face.font, m_face.color);
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
    if (m_face.font == font && m_face.color == color)
        return;
    m_face.font = font;
    m_face.color = color;
    if (m_onChange)
        m_onChange();
}
