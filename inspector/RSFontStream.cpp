#include "inspector/RSFontStream.h"
#include "classlib/Translation.h"
#include "inspector/ComponentStream.h"

namespace {

// The style attributes of a font as stored: one Boolean each.
struct TFontStyle {
    const char* Name;
    unsigned Bit;
    bool (TRSFont::*Get)() const;
    void (TRSFont::*Set)(bool);
};

constexpr TFontStyle kFontStyles[] = {
    {"Bold", TRSCustomDeltaFont::dfBold, &TRSFont::Bold, &TRSFont::SetBold},
    {"Italic", TRSCustomDeltaFont::dfItalic, &TRSFont::Italic, &TRSFont::SetItalic},
    {"Underline", TRSCustomDeltaFont::dfUnderline, &TRSFont::Underline, &TRSFont::SetUnderline},
    {"StrikeOut", TRSCustomDeltaFont::dfStrikeOut, &TRSFont::StrikeOut, &TRSFont::SetStrikeOut},
};

} // namespace

void WriteFontAttributes(TWriter& writer, const QString& prefix, const TRSFont& font, unsigned attributes) {
    if (attributes & TRSCustomDeltaFont::dfName) {
        writer.WritePropName(prefix + QStringLiteral("Name"));
        writer.WriteString(font.Name());
    }
    if ((attributes & TRSCustomDeltaFont::dfSize) && font.Size() > 0) {
        writer.WritePropName(prefix + QStringLiteral("Size"));
        writer.WriteInteger(font.Size());
    }
    if (attributes & TRSCustomDeltaFont::dfColor) {
        const QColor c = font.Color();
        writer.WritePropName(prefix + QStringLiteral("Color"));
        writer.WriteInteger(qint64(c.red()) | qint64(c.green()) << 8 | qint64(c.blue()) << 16);
    }
    for (const TFontStyle& style : kFontStyles)
        if (attributes & style.Bit) {
            writer.WritePropName(prefix + QLatin1String(style.Name));
            writer.WriteBoolean((font.*style.Get)());
        }
}

unsigned ReadFontAttribute(TReader& reader, const QString& attribute, TRSFont& font) {
    unsigned bit = 0;
    if (attribute == QLatin1String("Name")) {
        font.SetName(reader.ReadString());
        bit = TRSCustomDeltaFont::dfName;
    } else if (attribute == QLatin1String("Size")) {
        const qint64 size = reader.ReadInteger();
        if (size < 1 || size > 1638) // what a font can be drawn at
            throw EReadError(_("Invalid property value"));
        font.SetSize(int(size));
        bit = TRSCustomDeltaFont::dfSize;
    } else if (attribute == QLatin1String("Color")) {
        const qint64 color = reader.ReadInteger();
        if (color < 0 || color > 0xFFFFFF)
            throw EReadError(_("Invalid property value"));
        font.SetColor(QColor(int(color & 0xFF), int(color >> 8 & 0xFF), int(color >> 16 & 0xFF)));
        bit = TRSCustomDeltaFont::dfColor;
    } else {
        for (const TFontStyle& style : kFontStyles)
            if (attribute == QLatin1String(style.Name)) {
                (font.*style.Set)(reader.ReadBoolean());
                bit = style.Bit;
            }
    }
    return bit;
}
