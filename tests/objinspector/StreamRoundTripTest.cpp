// The grid's and the inspector's stream: whatever shape the grid has, the stream it writes reads back to
// one that writes the same bytes; rows come back with their sub-rows, fonts, pick lists and property data,
// the inspector with its settings; a stream of the earlier form still reads; line counts beyond what a
// grid holds are refused with a read error.
#include "TestObjects.h"
#include "inspector/ComponentStream.h"
#include "inspector/RSHintWindow.h"
#include <QAbstractScrollArea>
#include <QBuffer>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

QByteArray Written(const QObject& component) {
    QBuffer buffer;
    EXPECT_TRUE(buffer.open(QIODevice::WriteOnly));
    TWriter(&buffer).WriteComponent(&component);
    return buffer.data();
}

// Reads a stream into the component; the read error's text, empty when the stream was taken.
QString ReadError(QObject& component, QByteArray bytes) {
    QBuffer buffer(&bytes);
    EXPECT_TRUE(buffer.open(QIODevice::ReadOnly));
    TReader reader(&buffer);
    try {
        reader.ReadComponent(&component);
    } catch (const EReadError& e) {
        return e.Message();
    }
    return {};
}

QString FontText(const TRSFont& font) {
    return QStringLiteral("%1 %2 %3%4%5%6 %7")
        .arg(font.Name())
        .arg(font.Size())
        .arg(font.Bold())
        .arg(font.Italic())
        .arg(font.Underline())
        .arg(font.StrikeOut())
        .arg(font.Color().name());
}

// Everything a row stores, its sub-rows indented below it.
void Describe(TRSItemProps* rows, QStringList& out, const QString& indent = {}) {
    for (int i = 0; i < rows->Count(); ++i) {
        TRSItemProp* r = rows->Items(i);
        QString line = QStringLiteral("%1%2=%3 hint=%4 cat=%5%6 exp=%7 en=%8 ro=%9 vis=%10")
                           .arg(indent, r->Name(), r->ValuesList().join(u'|'), r->Hint())
                           .arg(r->Category())
                           .arg(r->DefaultCategory())
                           .arg(r->Expanded())
                           .arg(r->Enabled())
                           .arg(r->ReadOnlyFlag())
                           .arg(r->GetVisible());
        line += QStringLiteral(" style=%1 mask=%2/%3 pick=%4 tag=%5 font=%6:%7 value=%8:%9")
                    .arg(int(r->EditStyle()))
                    .arg(r->EditMask())
                    .arg(r->ExpressionMask())
                    .arg(r->PickListCopy().join(u'|'))
                    .arg(r->Tag())
                    .arg(r->ParentFont())
                    .arg(FontText(*r->Font()))
                    .arg(r->ParentValueFont())
                    .arg(FontText(*r->ValueFont()));
        if (auto* p = qobject_cast<TRSItemProperty*>(r)) {
            QStringList data;
            for (const QVariant& v : p->TypeData())
                data << v.toString();
            line += QStringLiteral(" prop=%1 type=%2 kind=%3 real=%4 equal=%5 row=%6 data=%7")
                        .arg(p->PropName(), p->TypeName())
                        .arg(int(p->TypeKind()))
                        .arg(p->IsRealProperty())
                        .arg(p->IsAllEqual())
                        .arg(int(p->RowKind()))
                        .arg(data.join(u'|'));
        }
        out << line;
        if (r->HasItems())
            Describe(r->Items(), out, indent + QStringLiteral("  "));
    }
}

std::string Described(TRSItemProps* rows) {
    QStringList out;
    Describe(rows, out);
    return out.join(u'\n').toStdString();
}

// A stream of the properties the function writes, closed as a component.
QByteArray Stream(const std::function<void(TWriter&)>& write) {
    QBuffer buffer;
    EXPECT_TRUE(buffer.open(QIODevice::WriteOnly));
    TWriter writer(&buffer);
    write(writer);
    writer.WriteListEnd();
    return buffer.data();
}

// A grid of every kind of row: categories, sub-rows expanded and collapsed, own fonts, pick lists, masks.
void FillGrid(TRSItemListEditor& grid) {
    TRSItemProps* items = grid.Items();
    TRSItemProp* misc = items->AddCategory(QStringLiteral("Misc"), false);
    misc->SetDefaultCategory(true);
    TRSItemProp* a = misc->Items()->AddByPath(QStringLiteral("A"), QStringLiteral("1"), false);
    a->SetHint(QStringLiteral("first"));
    a->SetEditMask(QStringLiteral("^[0-9]+$"));
    a->SetExpressionMask(true);
    TRSItemProp* b = misc->Items()->AddByPath(QStringLiteral("B"), QStringLiteral("y"), false);
    b->SetPickList({QStringLiteral("x"), QStringLiteral("y")});
    b->Font()->SetBold(true); // in a category: stored although it follows its parent
    b->SetParentFont(true);
    misc->Expand();
    TRSItemProp* parent = items->AddByPath(QStringLiteral("Parent.Child.Grand"), QStringLiteral("g"), false);
    TRSItemProp* child = parent->ParentItem();
    child->Font()->SetItalic(true);
    child->Font()->SetColor(Qt::red);
    child->ValueFont()->SetUnderline(true);
    child->ParentItem()->Expand(); // Parent expanded, Child collapsed
    child->SetTag(7);
    child->SetEditStyle(esEllipsis);
    TRSItemProp* off = items->AddByPath(QStringLiteral("Off"), QString(), false);
    off->SetEnabled(false);
    off->SetReadOnly(true);
    off->SetVisible(false);
    off->SetValuesList({QStringLiteral("v1"), QStringLiteral("v2")});
}

QByteArray Integers(const QList<std::pair<const char*, qint64>>& values) {
    return Stream([&](TWriter& writer) {
        for (const auto& [name, value] : values) {
            writer.WritePropName(QLatin1String(name));
            writer.WriteInteger(value);
        }
    });
}

} // namespace

TEST(InspectorStream, EveryGridShapeReadsBackAsItWasWritten) {
    // Without a fixed line and without rows the stream's rows used to set the title line again on a grid
    // of one line, and the read failed; with rows the last one lost its line.
    for (const TRSGridOrientation orientation :
         {TRSGridOrientation::goVertical, TRSGridOrientation::goHorizontal})
        for (const int fixed : {0, 1})
            for (const int rows : {0, 1, 3}) {
                const std::string shape = "orientation " + std::to_string(int(orientation)) + ", fixed " +
                                          std::to_string(fixed) + ", rows " + std::to_string(rows);
                TRSObjectInspector source;
                source.SetOrientation(orientation);
                for (int i = 0; i < rows; ++i)
                    source.Items()->AddByPath(QStringLiteral("Row%1").arg(i), QString::number(i), false);
                source.SetFixedItems(fixed);
                ASSERT_EQ(source.FixedItems(), fixed) << shape;
                const QByteArray once = Written(source);

                TRSObjectInspector target;
                ASSERT_EQ(ReadError(target, once), QString()) << shape;
                EXPECT_EQ(target.Orientation(), orientation) << shape;
                EXPECT_FALSE(target.Loading()) << shape;
                EXPECT_EQ(target.FixedItems(), fixed) << shape;
                EXPECT_EQ(target.ItemCount(), source.ItemCount()) << shape;
                EXPECT_EQ(RowNames(target.Items()), RowNames(source.Items())) << shape;
                EXPECT_EQ(Written(target), once) << shape;

                // The next change of the rows gives the grid its title line and one line per row.
                target.RowCountChanged();
                EXPECT_EQ(target.FixedItems(), 1) << shape;
                EXPECT_EQ(target.ItemCount(), 1 + std::max(rows, 1)) << shape;
                if (rows > 0) {
                    const TGridCoord last = target.CellOf(rows, 0);
                    EXPECT_EQ(target.ItemAtCell(last.X, last.Y), target.Items()->Items(rows - 1)) << shape;
                }
            }
}

TEST(InspectorStream, LineCountsUpToWhatAGridHolds) {
    const QString tooManyColumns = QStringLiteral("Column count must not exceed %1").arg(MaxGridLines);
    const QString tooManyRows = QStringLiteral("Row count must not exceed %1").arg(MaxGridLines);
    const QString fixedRows = QStringLiteral("Fixed row count must be less than row count");
    const QString fixedCols = QStringLiteral("Fixed column count must be less than column count");
    const QString invalid = QStringLiteral("Invalid property value");
    struct Case {
        QList<std::pair<const char*, qint64>> values;
        QString error;
    };
    const Case cases[] = {
        {{{"ColCount", MaxGridLines}}, {}},
        {{{"ColCount", MaxGridLines + 1}}, tooManyColumns},
        {{{"RowCount", MaxGridLines}}, {}},
        {{{"RowCount", MaxGridLines + 1}}, tooManyRows},
        {{{"ColCount", MaxGridLines}, {"FixedCols", MaxGridLines - 1}}, {}},
        {{{"ColCount", MaxGridLines}, {"FixedCols", MaxGridLines}}, fixedCols},
        {{{"RowCount", MaxGridLines}, {"FixedRows", MaxGridLines - 1}}, {}},
        {{{"RowCount", MaxGridLines}, {"FixedRows", MaxGridLines}}, fixedRows},
        // A number beyond the property's type is refused, not cut to its low bits (2).
        {{{"ColCount", INT_MAX}}, tooManyColumns},
        {{{"ColCount", qint64(INT_MAX) + 1}}, invalid},
        {{{"ColCount", (qint64(1) << 32) + 2}}, invalid},
        {{{"ColCount", qint64(INT_MIN) - 1}}, invalid},
    };
    for (const Case& c : cases) {
        TRSObjectInspector inspector;
        const QByteArray stream = Integers(c.values);
        EXPECT_EQ(ReadError(inspector, stream), c.error) << stream.toHex().constData();
        EXPECT_FALSE(inspector.Loading());
        ASSERT_FALSE(c.values.isEmpty());
        const auto& [name, value] = c.values.last();
        const int now = inspector.property(name).toInt();
        if (c.error.isEmpty())
            EXPECT_EQ(now, value) << name;
        else
            EXPECT_NE(now, value) << name;
    }
}

TEST(InspectorStream, AnEnumerationTakesANameOrANumberOfItsOwn) {
    TRSObjectInspector inspector;
    const int shadow = inspector.property("frameShadow").toInt();
    auto read = [&](const std::function<void(TWriter&)>& value) {
        return ReadError(inspector, Stream([&](TWriter& writer) {
                             writer.WritePropName(QStringLiteral("frameShadow"));
                             value(writer);
                         }));
    };
    const QString invalid = QStringLiteral("Invalid property value");
    // A Boolean, a float or a list is no value of the type: it used to be stored and written back as an
    // empty name that the reader then refused.
    EXPECT_EQ(read([](TWriter& w) { w.WriteBoolean(true); }), invalid);
    EXPECT_EQ(read([](TWriter& w) { w.WriteFloat(48); }), invalid);
    EXPECT_EQ(read([](TWriter& w) { w.WriteIdent(QStringLiteral("Bulging")); }), invalid);
    EXPECT_EQ(inspector.property("frameShadow").toInt(), shadow);
    EXPECT_EQ(read([](TWriter& w) { w.WriteIdent(QStringLiteral("Raised")); }), QString());
    EXPECT_EQ(inspector.property("frameShadow").toInt(), int(QFrame::Raised));
    EXPECT_EQ(read([](TWriter& w) { w.WriteString(QStringLiteral("Plain")); }), QString());
    EXPECT_EQ(inspector.property("frameShadow").toInt(), int(QFrame::Plain));
    EXPECT_EQ(read([](TWriter& w) { w.WriteInteger(QFrame::Sunken); }), QString());
    EXPECT_EQ(inspector.property("frameShadow").toInt(), int(QFrame::Sunken));
}

// Every published setting of the grid at a value other than a new grid's.
const std::pair<const char*, QVariant> kGridSettings[] = {
    {"ArrangeByCategory", true},
    {"CaseSensitive", true},
    {"DeleteBlanks", false},
    {"DisplayOptions", uint(doColumnTitles | doShowReadOnly | doMultiColValues)},
    {"DropDownRows", 3},
    {"HideSelection", false},
    {"Indent", 5},
    {"PathDelimiter", QStringLiteral("/")},
    {"PropertyOptions", uint(propEdit | propDelete)},
    {"Sorted", true},
    {"ShowItemHintStyle", QVariant::fromValue(TGridShowHints::shHintOnly)},
    {"TitleCaptions", QStringList{QStringLiteral("Name"), QStringLiteral("Text")}},
    {"Options", uint(0x508F)}, // read-only: no goEditing
    {"Color", qint32(clWhite)},
    {"FixedColor", qint32(clRed)},
    {"ScrollBars", QVariant::fromValue(TScrollStyle::ssNone)},
    {"DefaultColWidth", 90},
    {"DefaultRowHeight", 20},
    {"GridLineWidth", 2},
    {"DefaultDrawing", false},
};

// A declared default as the property reads.
QString DefaultText(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return QString::number(value.toLongLong());
}

TEST(GridStream, RowsAndSettingsComeBackWithTheirTreeFontsAndPickLists) {
    TRSItemListEditor source;
    FillGrid(source);
    const QMetaObject& grid = TRSItemListEditor::staticMetaObject;
    for (const auto& [name, value] : kGridSettings) {
        const int index = grid.indexOfProperty(name);
        ASSERT_GE(index, 0) << name;
        ASSERT_TRUE(grid.property(index).write(&source, value)) << name;
    }
    source.SetOrientation(TRSGridOrientation::goHorizontal);
    source.GridFont()->SetSize(11);
    source.CategoryFont()->SetItalic(true);
    source.ValueFont()->SetColor(Qt::blue);
    source.TitleCaptionFont()->SetUnderline(true);
    QPixmap glyph(5, 5);
    glyph.fill(Qt::green);
    source.SetMinusGlyph(glyph);
    source.HintWindow()->SetInterval(250);
    source.HintWindow()->SetColor(QColor(0x10, 0x20, 0x30));
    QFont hintFont = source.HintWindow()->font();
    hintFont.setItalic(true);
    source.HintWindow()->setFont(hintFont);
    const std::string rows = Described(source.Items());
    ASSERT_EQ(std::count(rows.begin(), rows.end(), '\n'), 6);
    ASSERT_EQ(source.Items()->Items(1)->Name(), QStringLiteral("Off")); // sorted
    const QByteArray once = Written(source);
    TRSItemListEditor target;
    target.Items()->AddByPath(QStringLiteral("Replaced"), QString(), false);
    ASSERT_EQ(ReadError(target, once), QString());
    EXPECT_EQ(Described(target.Items()), rows);
    const TRSItemListEditor fresh;
    for (int i = QAbstractScrollArea::staticMetaObject.propertyCount(); i < grid.propertyCount(); ++i) {
        const char* name = grid.property(i).name();
        if (!grid.property(i).isStored())
            continue;
        EXPECT_EQ(target.property(name), source.property(name)) << name;
        // Every setting was tried (turned, the value count of two is a new grid's line count too).
        if (qstrcmp(name, "RowCount") != 0) {
            EXPECT_NE(fresh.property(name), source.property(name)) << name;
        }
        // A new grid holds the declared default (the indent excepted: stored against 17, a new grid 11).
        const int declared = grid.indexOfClassInfo(QByteArray("default:").append(name).constData());
        if (declared >= 0 && qstrcmp(name, "Indent") != 0) {
            EXPECT_EQ(DefaultText(fresh.property(name)),
                      QString::fromLatin1(grid.classInfo(declared).value()))
                << name;
        }
    }
    EXPECT_EQ(target.MinusGlyph().toImage(), glyph.toImage());
    EXPECT_EQ(target.PlusGlyph().toImage(), fresh.PlusGlyph().toImage());
    EXPECT_EQ(target.HintWindow()->Interval(), 250);
    EXPECT_EQ(target.HintWindow()->Color(), QColor(0x10, 0x20, 0x30));
    EXPECT_TRUE(target.HintWindow()->font().italic());
    auto fonts = [](const TRSItemListEditor& grid) {
        return QStringList{FontText(*grid.GridFont()), FontText(*grid.ValueFont()),
                           FontText(*grid.CategoryFont()), FontText(*grid.TitleCaptionFont())}
            .join(u';')
            .toStdString();
    };
    EXPECT_EQ(fonts(target), fonts(source));
    EXPECT_EQ(target.ItemListCount(), source.ItemListCount());
    EXPECT_EQ(target.VisibleCount(), source.VisibleCount());
    EXPECT_EQ(target.Items()->DefaultCategoryItem(), target.Items()->Items(0));
    EXPECT_EQ(Written(target), once);
    // A glyph that is no picture, or too large for a line, is refused and the glyph stays.
    QByteArray large;
    QBuffer largeBuffer(&large);
    ASSERT_TRUE(largeBuffer.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QPixmap(257, 1).save(&largeBuffer, "PNG"));
    for (const QByteArray& bytes : {QByteArray("not a picture"), large}) {
        EXPECT_EQ(ReadError(target, Stream([&](TWriter& w) {
                                w.WritePropName(QStringLiteral("PlusGlyph"));
                                w.WriteBinary(bytes);
                            })),
                  QStringLiteral("Invalid property value"));
        EXPECT_EQ(target.PlusGlyph().toImage(), fresh.PlusGlyph().toImage());
    }
    // A collection where no collection is, and sub-rows nested past any real tree, are refused.
    EXPECT_EQ(ReadError(target, Stream([](TWriter& w) {
                            w.WritePropName(QStringLiteral("DefaultColWidth"));
                            w.WriteCollection(nullptr);
                        })),
              QStringLiteral("Invalid property value"));
    // Sub-rows nested `depth` collections deep, each with one row, the innermost empty.
    auto nested = [](int depth) {
        QByteArray deep = Stream([](TWriter& w) { w.WritePropName(QStringLiteral("Items")); });
        deep.chop(1);
        for (int i = 1; i < depth; ++i)
            deep += QByteArray("\x0e\x01\x05\x00\x00\x00Items", 11);
        deep += QByteArray("\x0e\x00", 2);
        for (int i = 1; i < depth; ++i)
            deep += QByteArray("\x00\x00", 2);
        return deep + QByteArray(1, '\0');
    };
    for (const auto& [depth, error] :
         {std::pair{64, ""}, {65, "Invalid stream format"}, {100, "Invalid stream format"}})
        EXPECT_EQ(ReadError(target, nested(depth)).toStdString(), error) << depth;
}

TEST(GridStream, AGlyphTheGridTakesReadsBackAndNoOtherIsTaken) {
    auto filled = [](int width, int height) {
        QPixmap glyph(width, height);
        glyph.fill(Qt::darkCyan);
        return glyph;
    };
    const int most = TRSCustomItemListEditor::MaxGlyphExtent;
    struct TCase {
        int width, height;
        bool taken;
    };
    const TCase cases[] = {{0, 0, true},         {1, 1, true},      {most, most, true},
                           {most, 1, true},      {1, most, true},   {most + 1, 1, false},
                           {1, most + 1, false}, {300, 300, false}, {most + 1, most, false}};
    for (const TCase& c : cases) {
        for (const bool plus : {false, true}) {
            const std::string what =
                std::to_string(c.width) + "x" + std::to_string(c.height) + (plus ? " plus" : " minus");
            const QPixmap glyph = c.width == 0 ? QPixmap() : filled(c.width, c.height);
            TRSItemListEditor source;
            auto set = [&](TRSItemListEditor& g, const QPixmap& p) {
                plus ? g.SetPlusGlyph(p) : g.SetMinusGlyph(p);
            };
            auto get = [&](const TRSItemListEditor& g) {
                return (plus ? g.PlusGlyph() : g.MinusGlyph()).toImage();
            };
            const QImage before = get(source);
            if (!c.taken) {
                EXPECT_THROW(set(source, glyph), EInvalidOperation) << what;
                EXPECT_EQ(get(source), before) << what;
                continue;
            }
            set(source, glyph);
            // Whatever the grid took, its stream writes and reads back, rows and all.
            source.Items()->AddByPath(QStringLiteral("Row"), QStringLiteral("1"), false);
            const QByteArray bytes = Written(source);
            TRSItemListEditor target;
            ASSERT_EQ(ReadError(target, bytes), QString()) << what;
            EXPECT_EQ(get(target), glyph.toImage()) << what;
            EXPECT_EQ(target.Items()->Count(), 1) << what;
        }
    }
    // A stored picture larger than a glyph in either direction is refused on reading.
    for (const QSize size : {QSize(most + 1, 1), QSize(1, most + 1)}) {
        QByteArray png;
        QBuffer buffer(&png);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
        ASSERT_TRUE(QPixmap(size).save(&buffer, "PNG"));
        TRSItemListEditor target;
        EXPECT_EQ(ReadError(target, Stream([&](TWriter& w) {
                                w.WritePropName(QStringLiteral("MinusGlyph"));
                                w.WriteBinary(png);
                            })),
                  QStringLiteral("Invalid property value"))
            << size.width() << "x" << size.height();
    }
    // The built-in glyphs are not stored; a changed one is, the other still not.
    TRSItemListEditor grid;
    EXPECT_FALSE(Written(grid).contains("PlusGlyph"));
    EXPECT_FALSE(Written(grid).contains("MinusGlyph"));
    grid.SetPlusGlyph(TRSCustomItemListEditor::MakeGlyph(true));
    EXPECT_FALSE(Written(grid).contains("PlusGlyph"));
    grid.SetPlusGlyph(filled(3, 3));
    EXPECT_TRUE(Written(grid).contains("PlusGlyph"));
    EXPECT_FALSE(Written(grid).contains("MinusGlyph"));
}

TEST(InspectorStream, EverySettingAndTheScannedRowsComeBack) {
    TComponent owner;
    TTestButton button(&owner);
    button.Lines()->Add(QStringLiteral("a=1"));
    TRSObjectInspector source;
    source.Presets()->Clear(); // what presets do to rows is theirs, not the stream's
    source.SetInplaceCollections(true);
    source.SetInplaceComponents(false);
    source.SetInplaceTStrings(true);
    source.SetInplaceTStringsOptions(isUseNameValue | isSort);
    source.SetStringsItemFormat(QStringLiteral("Line %d"));
    source.SetCollectionItemFormat(QStringLiteral("Item %d"));
    source.SetFilters({QStringLiteral("Tag")});
    source.SetShowValueChangedFont(false);
    source.ValueChangedFont()->SetItalic(true);
    source.ValueChangedFont()->CalcDelta(source.ValueFont());
    source.SetDisplayKinds({tkInteger, tkString, tkClass, tkSet, tkLString});
    source.SetDynamicTitleCaptions(true);
    source.SetComponent(&button);
    Settle();
    source.Items()->FindByPath(QStringLiteral("Font"))->Expand();
    source.Items()->FindByPath(QStringLiteral("Caption"))->SetIsAllEqual(false);
    const std::string rows = Described(source.Items());
    ASSERT_GT(std::count(rows.begin(), rows.end(), '\n'), 5);
    const QByteArray once = Written(source);

    TRSObjectInspector target;
    target.Presets()->Clear();
    ASSERT_EQ(ReadError(target, once), QString());
    const TRSObjectInspector fresh;
    for (int i = TRSCustomObjectInspector::staticMetaObject.propertyCount();
         i < TRSObjectInspector::staticMetaObject.propertyCount(); ++i) {
        const char* name = TRSObjectInspector::staticMetaObject.property(i).name();
        EXPECT_EQ(target.property(name), source.property(name)) << name;
        EXPECT_NE(fresh.property(name), source.property(name)) << name; // every setting was tried
    }
    EXPECT_EQ(FontText(*target.ValueChangedFont()), FontText(*source.ValueChangedFont()));
    EXPECT_EQ(target.ValueChangedFont()->DeltaMask(), source.ValueChangedFont()->DeltaMask());
    EXPECT_EQ(Described(target.Items()), rows);
    EXPECT_EQ(Written(target), once);
}

TEST(InspectorStream, AStreamOfTheEarlierFormStillReads) {
    // What the inspector wrote before rows kept sub-rows, fonts and property data: each row's plain
    // properties only, and none of the inspector's settings.
    const QByteArray earlier = Stream([](TWriter& w) {
        w.WritePropName(QStringLiteral("ColCount"));
        w.WriteInteger(2);
        w.WritePropName(QStringLiteral("HItems"));
        w.WriteValue(TValueType::vaCollection);
        for (const char* name : {"Caption", "Width"}) {
            w.WriteListBegin();
            w.WritePropName(QStringLiteral("HiddenItemClass"));
            w.WriteString(QStringLiteral("TRSItemProperty"));
            const std::pair<const char*, bool> flags[] = {{"ParentFont", true}, {"ParentValueFont", true},
                                                          {"Category", false},  {"DefaultCategory", false},
                                                          {"Expanded", false},  {"Enabled", true}};
            for (const auto& [flag, value] : flags) {
                w.WritePropName(QLatin1String(flag));
                w.WriteBoolean(value);
            }
            w.WritePropName(QStringLiteral("Name"));
            w.WriteString(QLatin1String(name));
            w.WritePropName(QStringLiteral("Values"));
            w.WriteListBegin();
            w.WriteString(QStringLiteral("75"));
            w.WriteListEnd();
            w.WritePropName(QStringLiteral("Tag"));
            w.WriteInteger(0);
            w.WriteListEnd();
        }
        w.WriteListEnd();
    });
    TRSObjectInspector target;
    ASSERT_EQ(ReadError(target, earlier).toStdString(), "");
    EXPECT_EQ(RowNames(target.Items()), (QStringList{"Caption", "Width"}));
    EXPECT_EQ(target.Items()->Items(1)->Value(), QStringLiteral("75"));
    EXPECT_FALSE(target.Items()->Items(1)->IsRealProperty());
    EXPECT_TRUE(target.InplaceComponents()); // settings the stream does not hold keep their defaults
    EXPECT_EQ(target.CollectionItemFormat(), QStringLiteral("Items[%d]"));
    EXPECT_EQ(target.Options(), TRSObjectInspector().Options());
    EXPECT_EQ(target.HintWindow()->Interval(), 0);
}
