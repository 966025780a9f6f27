// The main window's binding of the network tree to the inspector: what the inspector shows for each
// kind of tree object, the rows and choices of the mixed-only input model and of the models without the
// Mixed function, the modified mark of edited devices, and the device combo that follows the tree.
#include "GlueFixture.h"
#include "app/Globals.h"
#include "classlib/Collection.h"
#include "classlib/Component.h"
#include "model/IOClasses.h"

namespace {

class TGlueLine : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

public:
    Q_INVOKABLE explicit TGlueLine(TCollection* collection = nullptr) : TCollectionItem(collection) {}
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value) { m_caption = value; }
    QString DisplayName() const override { return m_caption; }

private:
    QString m_caption;
};

// An object with a collection and a row named like the digital inputs' function row.
class TGlueRecorder : public TComponent {
    Q_OBJECT
    Q_PROPERTY(TCollection* Lines READ Lines)
    Q_PROPERTY(qint32 InputFunction READ InputFunction WRITE SetInputFunction)

public:
    explicit TGlueRecorder(TComponent* owner = nullptr)
        : TComponent(owner), m_lines(std::make_unique<TCollection>(&TGlueLine::staticMetaObject)) {
        for (const char* caption : {"first", "second"})
            static_cast<TGlueLine*>(m_lines->Add())->SetCaption(QLatin1String(caption));
    }
    TCollection* Lines() const { return m_lines.get(); }
    qint32 InputFunction() const { return m_function; }
    void SetInputFunction(qint32 value) { m_function = value; }

private:
    std::unique_ptr<TCollection> m_lines;
    qint32 m_function = 0;
};

const QStringList kStartFilters{"Name", "Tag"};
const QStringList kMixedOnlyFilters{"Name", "Tag", "EnabledAlarmOutput", "Preset"};

} // namespace

TEST_F(MainWindowGlue, MixedOnlyInputsHideTheirPresetAndAlarmLinkAndLockTheFunction) {
    TRemoteIO* mixedOnly = AddDevice(1, 128);
    TRemoteIO* ordinary = AddDevice(2, 0);

    Select(mixedOnly->DigitalInput()->GetChannel(0)->Node());
    EXPECT_TRUE(Showing());
    EXPECT_EQ(Filters(), kMixedOnlyFilters);
    EXPECT_EQ(RowNames(Inspector()->Items()), QStringList{"InputFunction"});
    ASSERT_TRUE(Row("InputFunction"));
    EXPECT_TRUE(Row("InputFunction")->GetReadOnly());

    // Another input of the same model adds nothing twice.
    Select(mixedOnly->DigitalInput()->GetChannel(5)->Node());
    EXPECT_EQ(Filters(), kMixedOnlyFilters);

    // A device between two inputs leaves the filters as they are.
    Select(mixedOnly->Node());
    EXPECT_EQ(Filters(), kMixedOnlyFilters);

    Select(ordinary->DigitalInput()->GetChannel(0)->Node());
    EXPECT_EQ(Filters(), kStartFilters);
    EXPECT_EQ(RowNames(Inspector()->Items()), (QStringList{"EnabledAlarmOutput", "InputFunction", "Preset"}));
    EXPECT_FALSE(Row("InputFunction")->GetReadOnly());
    Edit("InputFunction", "Counter");
    EXPECT_EQ(ordinary->DigitalInput()->GetChannel(0)->InputFunction(), TDigitalInputFunction::Counter);

    Select(mixedOnly->DigitalInput()->GetChannel(0)->Node());
    EXPECT_TRUE(Row("InputFunction")->GetReadOnly());
    EXPECT_FALSE(Row("Preset"));
}

TEST_F(MainWindowGlue, InputsOfModelsWithoutMixedDropItFromEveryPickList) {
    int address = 1;
    for (const int model : {0, 14, 20, 24, 28}) {
        SCOPED_TRACE(model);
        TRemoteIO* device = AddDevice(address++, model);
        Select(device->DigitalInput()->GetChannel(0)->Node());
        EXPECT_EQ(PickList("InputFunction"), (QStringList{"Counter", "Normal"}));
        EXPECT_EQ(PickList("EnabledAlarmOutput"), (QStringList{"False", "True"}));
    }
    TRemoteIO* mixedOnly = AddDevice(address++, 128);
    Select(mixedOnly->DigitalInput()->GetChannel(0)->Node());
    EXPECT_EQ(PickList("InputFunction"), (QStringList{"Counter", "Mixed", "Normal"}));

    // A device's pick lists are its own, whatever was selected before.
    TRemoteIO* device = AddDevice(address++, 14);
    Select(device->Node());
    EXPECT_TRUE(PickList("Timeout").contains("TM__100_MS"));
}

TEST_F(MainWindowGlue, TheInspectorShowsOnlyTheObjectsThatHaveSettings) {
    TRemoteIO* thermocouple = AddDevice(1, 63);
    TRemoteIO* pt100 = AddDevice(2, 64);
    TRemoteIO* analog = AddDevice(3, 62);
    TRemoteIO* digital = AddDevice(4, 0);

    struct TCase {
        const char* what;
        TTreeNode* node;
        bool shown;
    } cases[] = {
        {"network", form->Network->Node(), false},
        {"thermocouple device", thermocouple->Node(), true},
        {"thermocouple group", thermocouple->TemperatureInput()->Node(), true},
        {"thermocouple channel", thermocouple->TemperatureInput()->GetChannel(0)->Node(), false},
        {"PT100 group", pt100->TemperatureInput()->Node(), false},
        {"analog input group", analog->AnalogicInput()->Node(), false},
        {"analog input", analog->AnalogicInput()->GetChannel(1)->Node(), true},
        {"analog output", analog->AnalogicOutput()->GetChannel(0)->Node(), true},
        {"digital output group", digital->DigitalOutput()->Node(), false},
        {"digital output", digital->DigitalOutput()->GetChannel(0)->Node(), false},
        {"digital input", digital->DigitalInput()->GetChannel(0)->Node(), true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        Select(c.node);
        EXPECT_EQ(Showing(), c.shown);
        EXPECT_EQ(ShowingInvalid(), !c.shown);
        EXPECT_EQ(ui().lbInvalid->text(), QStringLiteral("No valid properties for this item"));
        EXPECT_EQ(form->SelectedItem, qobject_cast<TCollectionItem*>(c.node->Data()));
    }
    Select(thermocouple->TemperatureInput()->Node());
    EXPECT_EQ(RowNames(Inspector()->Items()), (QStringList{"Termopar", "TermoparJunta"}));
}

TEST_F(MainWindowGlue, EditingADeviceOrAGroupMarksTheDeviceModified) {
    TRemoteIO* thermocouple = AddDevice(1, 63);
    TRemoteIO* digital = AddDevice(2, 0);
    thermocouple->SetModified(false);
    digital->SetModified(false);

    Select(thermocouple->TemperatureInput()->Node());
    Edit("Termopar", "Tipo_K");
    EXPECT_EQ(thermocouple->TemperatureInput()->Termopar(), TRemoteTermopar::Tipo_K);
    EXPECT_TRUE(thermocouple->Modified());
    EXPECT_EQ(thermocouple->Node()->ImageIndex(), NodeImage::DeviceModified);
    EXPECT_FALSE(digital->Modified());

    Select(digital->Node());
    Edit("Timeout", "TM__200_MS");
    EXPECT_EQ(digital->Timeout(), TRemoteIOTimeOut::TM__200_MS);
    EXPECT_TRUE(digital->Modified());
    EXPECT_EQ(digital->Node()->ImageIndex(), NodeImage::DeviceModified);
    EXPECT_EQ(messages->Texts(), QStringList());
}

TEST_F(MainWindowGlue, TheDeviceComboFollowsTheTreeAndLeadsIt) {
    TRemoteIO* first = AddDevice(1, 0);
    TRemoteIO* second = AddDevice(2, 63);
    TRemoteIO* third = AddDevice(3, 14);
    QComboBox* combo = ui().cbDiagnostic;

    form->RefillDeviceCombo(1);
    EXPECT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->currentText(), QStringLiteral("DAXO_2"));
    EXPECT_EQ(CurrentDevice, second);
    EXPECT_TRUE(ui().btDiagnostic->isEnabled());
    EXPECT_EQ(form->SelectedObject(), second);
    Settle();
    EXPECT_EQ(Inspector()->Component(), second);

    // The tree leads the combo without choosing the diagnostics device.
    Select(third->Node());
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_EQ(CurrentDevice, second);
    Select(first->DigitalInput()->GetChannel(0)->Node());
    EXPECT_EQ(combo->currentIndex(), 2);

    // The combo leads the tree and the inspector.
    combo->setCurrentIndex(0);
    emit combo->activated(0);
    Settle();
    EXPECT_EQ(CurrentDevice, first);
    EXPECT_EQ(form->SelectedObject(), first);
    EXPECT_EQ(Inspector()->Component(), first);
    EXPECT_TRUE(Showing());

    // An index past the end keeps entry 0; -1 selects nothing and disables the diagnostics button.
    form->RefillDeviceCombo(7);
    EXPECT_EQ(combo->currentIndex(), 0);
    form->RefillDeviceCombo(-1);
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_FALSE(ui().btDiagnostic->isEnabled());

    // After the network is emptied for a search, the tree still drives the inspector.
    form->ClearNetwork();
    EXPECT_EQ(combo->count(), 0);
    TRemoteIO* found = AddDevice(9, 128);
    form->RefillDeviceCombo(0);
    Select(found->DigitalInput()->GetChannel(0)->Node());
    EXPECT_EQ(Filters(), kMixedOnlyFilters);
    EXPECT_TRUE(Showing());
}

TEST_F(MainWindowGlue, AfterAScanCollectionRowsShowNoValueAndTheFunctionLockNeedsBothFilters) {
    TGlueRecorder recorder;
    recorder.setObjectName(QStringLiteral("Recorder"));
    Inspector()->SetInplaceCollections(true);
    Inspector()->SetComponent(&recorder);
    Settle();
    TRSItemProperty* lines = Row("Lines");
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->RowKind(), rkCollection);
    EXPECT_EQ(lines->Value(), QString());
    ASSERT_EQ(lines->Items()->Count(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(lines->Items()->Items(i)->RowKind(), rkCollectionItem);
        EXPECT_EQ(lines->Items()->Items(i)->Value(), QString());
    }
    // The rows below an item keep their values.
    ASSERT_TRUE(Row("Lines.Items[1].Caption"));
    EXPECT_EQ(Row("Lines.Items[1].Caption")->Value(), QStringLiteral("second"));
    EXPECT_FALSE(Row("InputFunction")->GetReadOnly());

    Inspector()->Filters()->Add(QStringLiteral("EnabledAlarmOutput"));
    Settle();
    EXPECT_FALSE(Row("InputFunction")->GetReadOnly());
    Inspector()->Filters()->Add(QStringLiteral("Preset"));
    Settle();
    EXPECT_TRUE(Row("InputFunction")->GetReadOnly());
    Inspector()->Filters()->Delete(Inspector()->Filters()->IndexOf(QStringLiteral("EnabledAlarmOutput")));
    Settle();
    EXPECT_FALSE(Row("InputFunction")->GetReadOnly());
    Inspector()->SetComponent(nullptr);
    Settle();
}

#include "NetworkBindingTest.moc"
