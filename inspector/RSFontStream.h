#pragma once
// A font in the component stream as properties of its own, each name behind a prefix ("Font.Name",
// "Font.Size", "Font.Color" as 0x00BBGGRR, "Font.Bold", ...).
#include "inspector/RSDeltaFont.h"

class TWriter;
class TReader;

// Every attribute whose TRSCustomDeltaFont bit is in attributes.
inline constexpr unsigned AllFontAttributes = 0x7F;
void WriteFontAttributes(TWriter& writer, const QString& prefix, const TRSFont& font, unsigned attributes);
// Reads one attribute (the name after the prefix) into the font; its bit, or 0 for a name that is none.
// A size or colour out of range raises EReadError.
unsigned ReadFontAttribute(TReader& reader, const QString& attribute, TRSFont& font);
