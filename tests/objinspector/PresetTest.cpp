// Presets: the registry, one preset per registered class in each new inspector, matching rules, the
// actions applied to rows after each scan, and the presets stored and read back with the inspector.
#include "TestObjects.h"
#include "inspector/ComponentStream.h"
#include "inspector/RSPresetClasses.h"
#include <QBuffer>
#include <gtest/gtest.h>

namespace {

struct PresetFixture : ::testing::Test {
    TComponent owner;
    TTestButton* button = new TTestButton(&owner);
    ~PresetFixture() override { UnregisterPropertyPresetClasses({&TTestSubPreset::staticMetaObject}); }
};

} // namespace

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
