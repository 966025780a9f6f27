#pragma once
// TRSLazyFont: a row's font, kept as a plain font and colour until someone asks for the font object.
// Most rows only ever follow their parent's font, and a QObject per row and font was a large part of
// what building a row cost.
#include "inspector/RSDeltaFont.h"

#include <functional>
#include <memory>

// A font and its colour.
struct TRSFontFace {
    QFont font;
    QColor color;
};

class TRSLazyFont {
public:
    // onChange runs on every change of font or colour, through the object or through Assign.
    TRSLazyFont(TRSFontFace face, std::function<void()> onChange);
    TRSLazyFont(const TRSLazyFont&) = delete;
    TRSLazyFont& operator=(const TRSLazyFont&) = delete;

    // The font object, made on first use; callers may change it.
    TRSFont* Object() const;
    const QFont& Font() const { return m_object ? m_object->Font() : m_face.font; }
    QColor Color() const { return m_object ? m_object->Color() : m_face.color; }
    // Takes a font and colour, as TRSFont::Assign does: a notification only when they differ.
    void Assign(const QFont& font, const QColor& color);
    void Assign(const TRSFont& source) { Assign(source.Font(), source.Color()); }
    void Assign(const TRSLazyFont& source) { Assign(source.Font(), source.Color()); }

private:
    TRSFontFace m_face;
    std::function<void()> m_onChange;
    mutable std::unique_ptr<TRSFont> m_object;
};
