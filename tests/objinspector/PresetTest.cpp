// Presets: the registry, one preset per registered class in each new inspector, matching rules, the
// actions applied to rows after each scan, and the presets stored and read back with the inspector.
#include "TestObjects.h"
#include "inspector/ComponentStream.h"
#include "inspector/RSPresetClasses.h"
#include <QBuffer>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct PresetFixture : ::testing::Test {
    TComponent owner;
    TTestButton* button = new TTestButton(&owner);
    ~PresetFixture() override { UnregisterPropertyPresetClasses({&TTestSubPreset::staticMetaObject}); }
};

// Subclasses without a meta-object of their own that widen what a preset matches.
class TWideningPreset : public TRSPropertyPreset {
public:
    using TRSPropertyPreset::TRSPropertyPreset;
    bool Matches(TRSItemProperty* row) override {
        return TRSPropertyPreset::Matches(row) || row->Name() == QLatin1String("Width");
    }
};

class TWideningInspector : public TRSObjectInspector {
public:
    void DoMatchPreset(TRSPropertyPreset* preset, TRSItemProperty* item, bool& result) override {
        TRSObjectInspector::DoMatchPreset(preset, item, result);
        if (preset->Name() == QLatin1String("widened"))
            result = result || item->Name() == QLatin1String("Width");
    }
};

} // namespace

TEST_F(PresetFixture, AnOverrideWideningAMatchIsCalledWithoutAMetaObjectOfItsOwn) {
    struct TCase {
        const char* what;
        bool widePreset, wideInspector;
        QStringList applied;
    };
    const TCase cases[] = {
        {"plain", false, false, {"Caption"}},
        {"preset's Matches", true, false, {"Caption", "Width"}},
        {"inspector's DoMatchPreset", false, true, {"Caption", "Width"}},
    };
    for (const TCase& c : cases) {
        std::unique_ptr<TRSObjectInspector> inspector =
            c.wideInspector ? std::make_unique<TWideningInspector>() : std::make_unique<TRSObjectInspector>();
        TRSPropertyPreset* preset = c.widePreset
                                        ? new TWideningPreset(inspector->Presets())
                                        : inspector->Presets()->Add(&TRSPropertyPreset::staticMetaObject);
        preset->SetName(QStringLiteral("widened"));
        preset->PropNames()->SetLines({QStringLiteral("Caption")});
        preset->SetMatchTypes(mtPropertyName);
        preset->SetActions(preset->Actions() | pftCustom);
        QStringList applied;
        preset->OnCustomPreset = [&](QObject*, TRSItemProperty* row) { applied << row->GetFullName(); };
        inspector->SetComponent(button);
        Settle();
        EXPECT_EQ(applied.join(u',').toStdString(), c.applied.join(u',').toStdString()) << c.what;
    }
}

TEST_F(PresetFixture, RegistryKeepsOneEntryPerClassAncestorsFirst) {
    // The built-in presets are registered at start-up; the test classes follow them.
    const QList<const QMetaObject*> builtIn = BuiltInPresetClasses();
    RegisterPropertyPresetClass(&TTestHintPreset::staticMetaObject);
    RegisterPropertyPresetClass(&TTestHintPreset::staticMetaObject);
    EXPECT_EQ(RegisteredPropertyPresetClasses(),
              builtIn + QList<const QMetaObject*>{&TTestHintPreset::staticMetaObject});
    RegisterPropertyPresetClass(&TTestSubPreset::staticMetaObject);
    EXPECT_EQ(RegisteredPropertyPresetClasses(),
              builtIn + QList<const QMetaObject*>(
                            {&TTestHintPreset::staticMetaObject, &TTestSubPreset::staticMetaObject}));

    TRSObjectInspector inspector;
    const int count = int(builtIn.size()) + 2;
    ASSERT_EQ(inspector.Presets()->Count(), count);
    EXPECT_EQ(inspector.Presets()->IndexOfClass(&TTestSubPreset::staticMetaObject), count - 1);
    inspector.AddRegisteredPresets(); // nothing twice
    EXPECT_EQ(inspector.Presets()->Count(), count);

    UnregisterPropertyPresetClass(&TTestSubPreset::staticMetaObject);
    EXPECT_EQ(RegisteredPropertyPresetClasses(), builtIn);
}

TEST_F(PresetFixture, MatchingPresetsChangeTheRowsAfterEachScan) {
    TRSObjectInspector inspector;
    auto* hint = static_cast<TTestHintPreset*>(inspector.Presets()->Add(&TTestHintPreset::staticMetaObject));
    EXPECT_TRUE(hint->Actions() & pftHint);
    EXPECT_EQ(hint->MatchTypes(), TRSPresetMatchTypes(mtPropertyName));
    auto* readOnly = inspector.Presets()->Add(&TRSPropertyPreset::staticMetaObject);
    readOnly->SetActions(pftReadOnly);
    readOnly->TypeNames()->Add(QStringLiteral("TComponent"));
    readOnly->SetTypeKinds({tkClass});
    EXPECT_EQ(readOnly->MatchTypes(), TRSPresetMatchTypes(mtPropertyType));
    // A pair of opposite actions is ignored.
    readOnly->SetActions(pftReadOnly | pftWritable);
    EXPECT_EQ(readOnly->Actions(), TRSPropertyPresetTypes(pftReadOnly));
    // No match types: applies to no row, or with Inclusive off to every row.
    auto* every = inspector.Presets()->Add(&TRSPropertyPreset::staticMetaObject);
    every->SetAlias(QString());
    every->SetActions(pftCustom);
    QStringList customised;
    every->OnCustomPreset = [&](QObject*, TRSItemProperty* row) { customised << row->Name(); };

    inspector.SetComponent(button);
    Settle();
    TRSItemProperty* width = inspector.Items()->FindByPath(QStringLiteral("Width"));
    EXPECT_EQ(width->Hint(), QStringLiteral("width in pixels"));
    EXPECT_TRUE(inspector.Items()->FindByPath(QStringLiteral("Caption"))->Hint().isEmpty());
    // Link is a TComponent property: matched by the type name, and by ancestry of a registered class.
    EXPECT_TRUE(inspector.Items()->FindByPath(QStringLiteral("Link"))->GetReadOnly());
    EXPECT_FALSE(width->GetReadOnly());
    EXPECT_TRUE(customised.isEmpty());

    every->SetInclusive(false);
    Settle();
    EXPECT_TRUE(customised.contains(QStringLiteral("Caption")));
    EXPECT_TRUE(customised.contains(QStringLiteral("Width")));

    hint->SetHint(QString());
    EXPECT_FALSE(hint->Actions() & pftHint);
}

TEST_F(PresetFixture, PresetsAreStoredWithTheirClassAndReadBack) {
    TRSObjectInspector source;
    source.Presets()->Clear(); // only the test's own preset is stored
    auto* hint = static_cast<TTestHintPreset*>(source.Presets()->Add(&TTestHintPreset::staticMetaObject));
    hint->SetName(QStringLiteral("Widths"));
    hint->SetHint(QStringLiteral("changed"));
    hint->SetActive(false);
    RegisterPropertyPresetClass(&TTestHintPreset::staticMetaObject); // the stream finds the class by name
    QBuffer buffer;
    ASSERT_TRUE(buffer.open(QIODevice::ReadWrite));
    TWriter writer(&buffer);
    source.WriteDefinedProperties(writer);
    buffer.seek(0);

    TRSObjectInspector target;
    target.Presets()->Clear();
    TReader reader(&buffer);
    EXPECT_EQ(reader.ReadStr(), QStringLiteral("HPresets"));
    EXPECT_TRUE(target.ReadDefinedProperty(reader, QStringLiteral("HPresets")));
    ASSERT_EQ(target.Presets()->Count(), 1);
    auto* read = qobject_cast<TTestHintPreset*>(target.Presets()->Items(0));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Name(), QStringLiteral("Widths"));
    EXPECT_EQ(read->Hint(), QStringLiteral("changed"));
    EXPECT_FALSE(read->Active());
    EXPECT_EQ(read->PropNames()->Lines(), QStringList{"Width"});
    EXPECT_EQ(reader.ReadStr(), QStringLiteral("HItems"));
    UnregisterPropertyPresetClass(&TTestHintPreset::staticMetaObject);

    // The rows go along: a stored grid reads back its row names and values.
    source.SetComponent(button);
    Settle();
    QBuffer rows;
    ASSERT_TRUE(rows.open(QIODevice::ReadWrite));
    TWriter rowWriter(&rows);
    source.Presets()->Clear();
    source.WriteDefinedProperties(rowWriter);
    rows.seek(0);
    TReader rowReader(&rows);
    ASSERT_EQ(rowReader.ReadStr(), QStringLiteral("HItems"));
    ASSERT_TRUE(target.ReadDefinedProperty(rowReader, QStringLiteral("HItems")));
    EXPECT_EQ(RowNames(target.Items()), RowNames(source.Items()));
    EXPECT_EQ(target.Items()->FindByPath(QStringLiteral("Width"))->Values().Lines(), QStringList{"75"});
}

TEST_F(PresetFixture, PresetFontsAreStoredAndAStreamIsReadInTheLoadingState) {
    RegisterPropertyPresetClass(&TTestHintPreset::staticMetaObject);
    TRSObjectInspector source;
    source.Presets()->Clear();
    auto* hint = source.Presets()->Add(&TTestHintPreset::staticMetaObject);
    hint->Font()->SetColor(Qt::red);
    hint->Font()->SetBold(!source.GridFont()->Bold());
    hint->ValueFont()->SetItalic(!source.ValueFont()->Italic());
    EXPECT_EQ(hint->Font()->DeltaMask(), unsigned(TRSCustomDeltaFont::dfColor | TRSCustomDeltaFont::dfBold));
    EXPECT_EQ(hint->ValueFont()->DeltaMask(), unsigned(TRSCustomDeltaFont::dfItalic));
    const TRSPropertyPresetTypes actions = hint->Actions();
    source.SetComponent(button);
    Settle();
    QBuffer buffer;
    ASSERT_TRUE(buffer.open(QIODevice::ReadWrite));
    TWriter writer(&buffer);
    source.WriteDefinedProperties(writer);
    writer.WriteListEnd();
    buffer.seek(0);

    TRSObjectInspector target;
    target.Presets()->Clear();
    target.GridFont()->SetSize(source.GridFont()->Size() + 5);
    // Loading: a change of the objects posts no rescan, and presets wait for Loaded.
    const int scans = target.ScanCount();
    target.BeginLoading();
    target.SetComponent(button);
    Settle();
    EXPECT_EQ(target.ScanCount(), scans);
    TReader reader(&buffer);
    reader.ReadComponent(&target);
    EXPECT_FALSE(target.Loading());
    EXPECT_EQ(target.ScanCount(), scans);
    ASSERT_EQ(target.Presets()->Count(), 1);
    TRSPropertyPreset* read = target.Presets()->Items(0);
    // The stored differences came back; everything else follows the reading inspector's fonts.
    EXPECT_EQ(read->Actions(), actions);
    EXPECT_EQ(read->Font()->Color(), QColor(Qt::red));
    EXPECT_EQ(read->Font()->Bold(), !source.GridFont()->Bold());
    EXPECT_EQ(read->Font()->Size(), target.GridFont()->Size());
    EXPECT_EQ(read->ValueFont()->Italic(), !source.ValueFont()->Italic());
    EXPECT_EQ(read->Font()->DeltaMask(), hint->Font()->DeltaMask());
    EXPECT_EQ(read->ValueFont()->DeltaMask(), hint->ValueFont()->DeltaMask());
    // Loaded applied the presets to the rows read from the stream.
    TRSItemProperty* width = target.Items()->FindByPath(QStringLiteral("Width"));
    ASSERT_TRUE(width);
    EXPECT_EQ(width->Hint(), QStringLiteral("width in pixels"));
    UnregisterPropertyPresetClass(&TTestHintPreset::staticMetaObject);

    // A stream that breaks off still ends the loading state, and the error is the stream's.
    QBuffer broken;
    broken.setData(buffer.data().left(buffer.data().size() / 2));
    ASSERT_TRUE(broken.open(QIODevice::ReadOnly));
    TReader brokenReader(&broken);
    EXPECT_THROW(brokenReader.ReadComponent(&target), EStreamError);
    EXPECT_FALSE(target.Loading());
}

TEST_F(PresetFixture, StoredFontValuesAreCheckedOnBothSides) {
    TRSObjectInspector inspector;
    TRSPropertyPreset* preset = inspector.Presets()->Add(&TRSPropertyPreset::staticMetaObject);
    // Reads one stored attribute; true when it was taken.
    auto read = [&](const QString& name, qint64 value) {
        QBuffer buffer;
        EXPECT_TRUE(buffer.open(QIODevice::ReadWrite));
        TWriter(&buffer).WriteInteger(value);
        buffer.seek(0);
        TReader reader(&buffer);
        try {
            return preset->ReadDefinedProperty(reader, name);
        } catch (const EReadError& e) {
            EXPECT_EQ(e.Message(), "Invalid property value");
            return false;
        }
    };
    const std::tuple<const char*, qint64, bool> cases[] = {
        {"Font.Size", 1, true},         {"Font.Size", 1638, true},
        {"Font.Size", 0, false},        {"Font.Size", 1639, false},
        {"ValueFont.Color", 0, true},   {"ValueFont.Color", 0xFFFFFF, true},
        {"ValueFont.Color", -1, false}, {"ValueFont.Color", 0x1000000, false},
    };
    for (const auto& [name, value, taken] : cases)
        EXPECT_EQ(read(QLatin1String(name), value), taken) << name << " " << value;
    EXPECT_EQ(preset->Font()->Size(), 1638);
    EXPECT_EQ(preset->ValueFont()->Color(), QColor(0xFF, 0xFF, 0xFF));
    // A name that is no attribute is not the preset's.
    QBuffer empty;
    ASSERT_TRUE(empty.open(QIODevice::ReadOnly));
    TReader reader(&empty);
    EXPECT_FALSE(preset->ReadDefinedProperty(reader, QStringLiteral("Font.Weight")));
}

TEST_F(PresetFixture, EachMatchTypeTestsItsOwnNameOnCollapsedSubRowsToo) {
    TRSObjectInspector inspector;
    inspector.Presets()->Clear();
    auto hintPreset = [&](const QString& hint, QStringList names, QStringList parentNames,
                          TRSPresetMatchTypes types) {
        auto* preset = inspector.Presets()->Add(&TRSPropertyPreset::staticMetaObject);
        preset->PropNames()->SetLines(names);
        preset->ParentPropNames()->SetLines(parentNames);
        preset->SetMatchTypes(types); // after the lists, which add their own members
        preset->SetHint(hint);
    };
    hintPreset(QStringLiteral("path"), {QStringLiteral("Font.Size")}, {}, mtFullPropertyName);
    hintPreset(QStringLiteral("path, parent name"), {QStringLiteral("Size")}, {QStringLiteral("Font")},
               TRSPresetMatchTypes(mtFullPropertyName) | mtParentPropertyName);
    hintPreset(QStringLiteral("name, parent path"), {QStringLiteral("Style")}, {QStringLiteral("Font")},
               TRSPresetMatchTypes(mtPropertyName) | mtParentFullPropertyName);
    hintPreset(QStringLiteral("name, parent name"), {QStringLiteral("Style")}, {QStringLiteral("X.Font")},
               TRSPresetMatchTypes(mtPropertyName) | mtParentPropertyName);
    // A preset that hides a row, then one that applies to every row: each row still gets it.
    auto* hide = inspector.Presets()->Add(&TRSPropertyPreset::staticMetaObject);
    hide->PropNames()->Add(QStringLiteral("Caption"));
    hide->SetActions(pftHidden);
    auto* every = inspector.Presets()->Add(&TRSPropertyPreset::staticMetaObject);
    every->SetInclusive(false);
    every->SetActions(pftCustom);
    QStringList customised;
    every->OnCustomPreset = [&](QObject*, TRSItemProperty* row) { customised << row->GetFullName(); };

    inspector.SetComponent(button);
    Settle();
    TRSItemProperty* size = inspector.Items()->FindByPath(QStringLiteral("Font.Size"));
    TRSItemProperty* style = inspector.Items()->FindByPath(QStringLiteral("Font.Style"));
    ASSERT_TRUE(size && style);
    EXPECT_FALSE(size->IsShown());                   // Font is collapsed
    EXPECT_EQ(size->Hint(), QStringLiteral("path")); // the full path "Font.Size" is not "Size"
    EXPECT_EQ(style->Hint(), QStringLiteral("name, parent path"));
    EXPECT_FALSE(inspector.Items()->FindByPath(QStringLiteral("Caption"))->GetVisible());
    QStringList all;
    for (int i = 0; i < inspector.ItemListCount(); ++i)
        all << inspector.ItemListItem(i)->GetFullName();
    customised.sort();
    all.sort();
    EXPECT_EQ(customised, all);
    EXPECT_TRUE(all.contains(QStringLiteral("Font.Size")));
}

TEST_F(PresetFixture, SubRowsOfAComponentTakeTheGreenFont) {
    TTestLabel* label = new TTestLabel(&owner);
    button->SetLink(label);
    TRSObjectInspector inspector;
    inspector.SetComponent(button);
    Settle();
    TRSItemProperty* caption = inspector.Items()->FindByPath(QStringLiteral("Link.Caption"));
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->GetFont()->Color(), QColor(0, 0x80, 0));
    EXPECT_NE(inspector.Items()->FindByPath(QStringLiteral("Caption"))->GetFont()->Color(),
              QColor(0, 0x80, 0));
}

TEST_F(PresetFixture, LookedUpPresetsApplyAsTestingEveryPresetOnEveryRow) {
    // The same presets in two inspectors: one looks presets up by what rows must have, the other tests
    // every preset on every row (an inspector-wide match handler that changes nothing turns the lookup
    // off). Each preset records the rows it applied to, in order; the rows must end up the same.
    struct Case {
        TRSPresetMatchTypes types;
        QStringList propNames;
        TTypeKinds kinds;
        QStringList typeNames;
        TTypeKinds parentKinds;
        QStringList parentTypeNames;
        bool inclusive;
        QString alias;
    };
    const QList<Case> cases = {
        {mtPropertyName, {"caption"}, {}, {}, {}, {}, true, {}},
        {mtFullPropertyName, {"Font.Size", "Width", "Items.Items[0].Caption"}, {}, {}, {}, {}, true, {}},
        {mtPropertyName | mtFullPropertyName, {"STYLE"}, {}, {}, {}, {}, true, {}},
        {mtPropertyType, {}, {tkInteger}, {"qint32"}, {}, {}, true, {}},
        {mtPropertyType, {}, {tkClass}, {"TComponent"}, {}, {}, true, {}},
        {mtPropertyType, {}, {tkUnknown}, {}, {}, {}, true, {}},
        {mtPropertyName, {"Width"}, {}, {}, {}, {}, false, {}},
        {mtParentPropertyType, {}, {}, {}, {tkClass}, {"TTestFont"}, true, {}},
        {mtPropertyName, {"Caption2"}, {}, {}, {}, {}, true, {}},
        {mtPropertyName, {"Ratio"}, {}, {}, {}, {}, true, "Caption2"},
        {mtPropertyName, {"Caption2"}, {}, {}, {}, {}, true, {}},
        {mtPropertyType, {}, {tkEnumeration, tkString}, {}, {}, {}, true, {}},
        {mtPropertyName | mtPropertyType, {"Width"}, {tkFloat}, {}, {}, {}, true, {}},
        {mtClassName | mtPropertyType, {}, {tkInteger}, {}, {}, {}, true, {}},
    };
    auto run = [&](bool lookUp, QStringList& applied) {
        auto inspector = std::make_unique<TRSObjectInspector>();
        inspector->SetInplaceCollections(true);
        if (!lookUp)
            inspector->OnMatchPreset = [](QObject*, TRSPropertyPreset*, TRSItemProperty*, bool&) {};
        for (int i = 0; i < cases.size(); ++i) {
            const Case& c = cases.at(i);
            TRSPropertyPreset* preset = inspector->Presets()->Add(&TRSPropertyPreset::staticMetaObject);
            preset->PropNames()->SetLines(c.propNames);
            preset->TypeNames()->SetLines(c.typeNames);
            preset->ParentTypeNames()->SetLines(c.parentTypeNames);
            preset->SetTypeKinds(c.kinds);
            preset->SetParentTypeKinds(c.parentKinds);
            preset->SetMatchTypes(c.types);
            preset->SetInclusive(c.inclusive);
            preset->SetAlias(c.alias);
            preset->SetActions(preset->Actions() | pftCustom);
            preset->OnCustomPreset = [&applied, i](QObject*, TRSItemProperty* row) {
                applied << QStringLiteral("%1 %2").arg(i).arg(row->GetFullName());
            };
        }
        inspector->SetComponent(button);
        Settle();
        QStringList rows;
        for (int i = 0; i < inspector->ItemListCount(); ++i) {
            const TRSItemProp* row = inspector->ItemListItem(i);
            rows << QStringLiteral("%1 %2 %3 %4 %5")
                        .arg(row->GetFullName(), row->Hint())
                        .arg(row->ReadOnlyFlag())
                        .arg(row->GetVisible())
                        .arg(row->EditStyle());
        }
        return rows;
    };
    button->Items()->Add();
    QStringList lookedUp, everyOne;
    const QStringList lookedUpRows = run(true, lookedUp);
    const QStringList everyOneRows = run(false, everyOne);
    ASSERT_GT(lookedUpRows.size(), 10);
    EXPECT_EQ(lookedUpRows, everyOneRows);
    ASSERT_FALSE(everyOne.isEmpty());
    EXPECT_EQ(lookedUp, everyOne);
}
