// How the grid and its rows go into the component stream beyond their published properties: the checked
// writes of enumerated settings, the loading state, fonts that do not follow the parent, the sub-rows, and
// an inspector row's property identity and values.
#include "classlib/Translation.h"
#include "inspector/ComponentStream.h"
#include "inspector/RSFontStream.h"
#include "inspector/RSItemListEditor.h"
#include "inspector/RSItemProperty.h"
#include <QBuffer>
#include <QImageReader>
#include <array>
#include <climits>

namespace {

const QString FontPrefix = QStringLiteral("Font.");
const QString ValueFontPrefix = QStringLiteral("ValueFont.");
const QString CategoryFontPrefix = QStringLiteral("CategoryFont.");
const QString TitleCaptionFontPrefix = QStringLiteral("TitleCaptionFont.");
const QString MinusGlyphName = QStringLiteral("MinusGlyph");
const QString PlusGlyphName = QStringLiteral("PlusGlyph");
const QString HintIntervalName = QStringLiteral("HintWindow.Interval");
const QString HintColorName = QStringLiteral("HintWindow.Color");
const QString HintFontPrefix = QStringLiteral("HintWindow.Font.");
constexpr int MaxGlyphExtent = TRSCustomItemListEditor::MaxGlyphExtent;

// A glyph as PNG; no glyph as no bytes.
QByteArray PngOf(const QPixmap& glyph) {
    QByteArray bytes;
    if (glyph.isNull())
        return bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !glyph.save(&buffer, "PNG"))
        throw EStreamError(_("Stream write error"));
    return bytes;
}

// A glyph stored as PNG (or no glyph); a picture that does not decode, or is too large for a line in
// either direction, is refused.
QPixmap ReadGlyph(TReader& reader) {
    QByteArray bytes = reader.ReadBinary();
    if (bytes.isEmpty())
        return QPixmap();
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        throw EReadError(_("Stream read error"));
    QImageReader decoder(&buffer, "PNG");
    const QSize size = decoder.size();
    if (!size.isValid() || size.width() > MaxGlyphExtent || size.height() > MaxGlyphExtent)
        throw EReadError(_("Invalid property value"));
    QImage image;
    if (!decoder.read(&image))
        throw EReadError(_("Invalid property value"));
    return QPixmap::fromImage(image);
}

bool IsBuiltInGlyph(const QPixmap& glyph, bool plus) {
    return glyph.toImage() == TRSCustomItemListEditor::MakeGlyph(plus).toImage();
}

// The hint window's font with the colour its text is drawn in.
void TakeHintFont(const TRSHintWindow& hint, TRSFont& font) {
    font.SetFont(hint.font());
    font.SetColor(hint.palette().color(QPalette::ToolTipText));
}

// Sets a font attribute without making the row leave its parent's font (ParentFont is a property of its
// own in the stream); the rows below still follow.
bool ReadRowFont(TReader& reader, const QString& attribute, TRSFont& font, bool& taking) {
    taking = true;
    try {
        const bool known = ReadFontAttribute(reader, attribute, font) != 0;
        taking = false;
        return known;
    } catch (...) {
        taking = false;
        throw;
    }
}

// The grid's fonts that follow its font, each with the prefix of its stored attributes.
std::array<std::pair<QString, TRSCustomDeltaFont*>, 3> DeltaFonts(const TRSCustomItemListEditor& grid) {
    return {{{ValueFontPrefix, grid.ValueFont()},
             {CategoryFontPrefix, grid.CategoryFont()},
             {TitleCaptionFontPrefix, grid.TitleCaptionFont()}}};
}

qint64 ReadIntegerIn(TReader& reader, qint64 low, qint64 high) {
    const qint64 value = reader.ReadInteger();
    if (value < low || value > high)
        throw EReadError(_("Invalid property value"));
    return value;
}

} // namespace

void TRSCustomItemListEditor::SetShowItemHintStyleChecked(TGridShowHints value) {
    if (value < TGridShowHints::shNone || value > TGridShowHints::shValueAndHint)
        throw EConvertError(_("Invalid property value"));
    SetShowItemHintStyle(value);
}

void TRSCustomItemListEditor::SetOrientationChecked(TRSGridOrientation value) {
    if (value != TRSGridOrientation::goVertical && value != TRSGridOrientation::goHorizontal)
        throw EConvertError(_("Invalid property value"));
    if (m_loading)
        m_orientation = value;
    else
        SetOrientation(value);
}

void TRSItemListEditor::Loaded() {
    SetLoading(false);
    RowCountChanged();
}

// The grid's font whole; the fonts that follow it by the attributes in which they differ.
void TRSCustomItemListEditor::WriteDefinedProperties(TWriter& writer) const {
    WriteFontAttributes(writer, FontPrefix, *m_font, AllFontAttributes);
    for (const auto& [prefix, font] : DeltaFonts(*this))
        WriteFontAttributes(writer, prefix, *font, font->DeltaMask());
    if (!IsBuiltInGlyph(m_minusGlyph, false)) {
        writer.WritePropName(MinusGlyphName);
        writer.WriteBinary(PngOf(m_minusGlyph));
    }
    if (!IsBuiltInGlyph(m_plusGlyph, true)) {
        writer.WritePropName(PlusGlyphName);
        writer.WriteBinary(PngOf(m_plusGlyph));
    }
    writer.WritePropName(HintIntervalName);
    writer.WriteInteger(m_hintWindow->Interval());
    writer.WritePropName(HintColorName);
    writer.WriteInteger(RGBToColor(m_hintWindow->Color()));
    TRSFont hintFont;
    TakeHintFont(*m_hintWindow, hintFont);
    WriteFontAttributes(writer, HintFontPrefix, hintFont, AllFontAttributes);
}

bool TRSCustomItemListEditor::ReadDefinedProperty(TReader& reader, const QString& name) {
    if (name.startsWith(FontPrefix))
        return ReadFontAttribute(reader, name.mid(FontPrefix.size()), *m_font) != 0;
    if (name == MinusGlyphName || name == PlusGlyphName) {
        const QPixmap glyph = ReadGlyph(reader);
        if (name == MinusGlyphName)
            SetMinusGlyph(glyph);
        else
            SetPlusGlyph(glyph);
        return true;
    }
    if (name == HintIntervalName) {
        m_hintWindow->SetInterval(int(ReadIntegerIn(reader, 0, INT_MAX)));
        return true;
    }
    if (name == HintColorName) {
        m_hintWindow->SetColor(ColorToRGB(TColor(ReadIntegerIn(reader, INT_MIN, INT_MAX))));
        return true;
    }
    if (name.startsWith(HintFontPrefix)) {
        TRSFont font;
        TakeHintFont(*m_hintWindow, font);
        const unsigned bit = ReadFontAttribute(reader, name.mid(HintFontPrefix.size()), font);
        m_hintWindow->setFont(font.Font());
        QPalette palette = m_hintWindow->palette();
        palette.setColor(QPalette::ToolTipText, font.Color());
        m_hintWindow->setPalette(palette);
        return bit != 0;
    }
    for (const auto& [prefix, font] : DeltaFonts(*this))
        if (name.startsWith(prefix)) {
            const unsigned bit = ReadFontAttribute(reader, name.mid(prefix.size()), *font);
            font->AddDelta(bit);
            return bit != 0;
        }
    return false;
}

void TRSItemListEditor::WriteDefinedProperties(TWriter& writer) const {
    TRSCustomItemListEditor::WriteDefinedProperties(writer);
    writer.WritePropName(QStringLiteral("Items"));
    writer.WriteCollection(Items());
}

bool TRSItemListEditor::ReadDefinedProperty(TReader& reader, const QString& name) {
    if (name == QLatin1String("Items")) {
        reader.ReadCollection(Items());
        return true;
    }
    return TRSCustomItemListEditor::ReadDefinedProperty(reader, name);
}

void TRSItemProp::SetEditStyleChecked(TEditStyle value) {
    if (value < esSimple || value > esPickList)
        throw EConvertError(_("Invalid property value"));
    SetEditStyle(value);
}

bool TRSItemProp::FontStored() const {
    const TRSItemProp* parent = ParentItem();
    return !m_parentFont || (parent && parent->m_category != m_category);
}

void TRSItemProp::WriteDefinedProperties(TWriter& writer) const {
    if (FontStored())
        WriteFontAttributes(writer, FontPrefix, *Font(), AllFontAttributes);
    if (ValueFontStored())
        WriteFontAttributes(writer, ValueFontPrefix, *ValueFont(), AllFontAttributes);
    if (HasItems()) {
        // Sub-rows kept in an order of their own (a set's members) must not be sorted by their names when
        // they are read back into a level that sorts.
        const TRSItemProps* own = Collection();
        if (own && m_items->Sorted() != own->Sorted()) {
            writer.WritePropName(QStringLiteral("ItemsSorted"));
            writer.WriteBoolean(m_items->Sorted());
        }
        writer.WritePropName(QStringLiteral("Items"));
        writer.WriteCollection(m_items);
    }
}

bool TRSItemProp::ReadDefinedProperty(TReader& reader, const QString& name) {
    if (name.startsWith(FontPrefix))
        return ReadRowFont(reader, name.mid(FontPrefix.size()), *Font(), m_takingParentFont);
    if (name.startsWith(ValueFontPrefix))
        return ReadRowFont(reader, name.mid(ValueFontPrefix.size()), *ValueFont(), m_takingParentFont);
    if (name == QLatin1String("ItemsSorted")) {
        Items()->SetSorted(reader.ReadBoolean());
        return true;
    }
    if (name == QLatin1String("Items")) {
        reader.ReadCollection(Items());
        return true;
    }
    return false;
}

void TRSItemProperty::WriteDefinedProperties(TWriter& writer) const {
    TRSItemProp::WriteDefinedProperties(writer);
    // A set member, collection item or string line keeps what it stands for too (marked as no property of
    // its own), so that it comes back as the row it was.
    if (m_isRealProperty || m_rowKind != rkPlain) {
        writer.WritePropName(QStringLiteral("TypeData"));
        writer.WriteListBegin();
        writer.WriteString(m_propName);
        writer.WriteString(m_typeName);
        writer.WriteInteger(m_typeKind);
        writer.WriteInteger(m_typeData.size());
        for (const QVariant& value : m_typeData)
            writer.WriteVariant(value);
        writer.WriteInteger(m_rowKind);
        writer.WriteListEnd();
        if (!m_isRealProperty) {
            writer.WritePropName(QStringLiteral("IsRealProperty"));
            writer.WriteBoolean(false);
        }
    }
    if (m_isAllEqual) {
        writer.WritePropName(QStringLiteral("IsAllEqual"));
        writer.WriteBoolean(true);
    }
}

bool TRSItemProperty::ReadDefinedProperty(TReader& reader, const QString& name) {
    if (name == QLatin1String("TypeData")) {
        // Read whole before anything is stored, so that a bad record changes nothing.
        reader.ReadListBegin();
        const QString propName = reader.ReadString();
        const QString typeName = reader.ReadString();
        const auto kind = TTypeKind(ReadIntegerIn(reader, tkUnknown, tkDynArray));
        const qint64 count = ReadIntegerIn(reader, 0, INT_MAX);
        QVariantList values;
        for (qint64 i = 0; i < count; ++i) // each value takes at least a byte: a count beyond them fails
            values << reader.ReadVariant();
        const auto rowKind = TRSRowKind(ReadIntegerIn(reader, rkPlain, rkStringsItem));
        reader.ReadListEnd();
        m_propName = propName;
        m_typeName = typeName;
        m_typeKind = kind;
        m_typeData = values;
        m_rowKind = rowKind;
        m_isRealProperty = true;
        SignalChanged();
        return true;
    }
    if (name == QLatin1String("IsRealProperty")) {
        SetIsRealProperty(reader.ReadBoolean());
        return true;
    }
    if (name == QLatin1String("IsAllEqual")) {
        SetIsAllEqual(reader.ReadBoolean());
        return true;
    }
    return TRSItemProp::ReadDefinedProperty(reader, name);
}
