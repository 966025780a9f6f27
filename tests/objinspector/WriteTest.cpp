// Writing values: several objects, the deferred change notification, refused values, objects that go
// away, component references, and the device model edited through the inspector.
#include "TestObjects.h"
#include "inspector/RSInplaceEditList.h"
#include "model/IOClasses.h"
#include "tests/support/RecordingPresenter.h"
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The model's requests, posted to the inspector as the main window does.
class PostingInspectorLink : public TInspectorLink {
public:
    explicit PostingInspectorLink(TRSObjectInspector* inspector) : m_inspector(inspector) {}
    void RequestRebuildItems() override {
        ++rebuilds;
        QMetaObject::invokeMethod(
            m_inspector, [i = m_inspector] { i->PostRescan(); }, Qt::QueuedConnection);
    }
    void RequestRefreshOrRescan() override {
        QMetaObject::invokeMethod(
            m_inspector, [i = m_inspector] { i->RefreshOrRescan(); }, Qt::QueuedConnection);
    }
    int rebuilds = 0;

private:
    TRSObjectInspector* m_inspector;
};

struct WriteFixture : ::testing::Test {
    ScopedRecordingPresenter messages;
    TRSObjectInspector inspector;
    PostingInspectorLink link{&inspector};
    TInspectorLink* previousLink = SetInspectorLink(&link);
    TComponent owner;

    WriteFixture() { inspector.resize(300, 400); }
    ~WriteFixture() override { SetInspectorLink(previousLink); }
    TRSItemProperty* Row(const QString& path) const { return inspector.Items()->FindByPath(path); }
    // Edits a row as the grid's commit does: the text into the row, then validation and write.
    void Edit(const QString& path, const QString& text) {
        TRSItemProperty* row = Row(path);
        ASSERT_TRUE(row) << path.toStdString();
        row->SetValue(text);
        row->DoValidate();
    }
};

} // namespace

TEST_F(WriteFixture, AWriteReachesEveryObjectAndTheChangeIsNotifiedAfterTheWriteReturned) {
    auto* a = new TTestButton(&owner);
    auto* b = new TTestButton(&owner);
    a->SetCaption(QStringLiteral("one"));
    b->SetCaption(QStringLiteral("two"));
    inspector.Objects()->Add(a);
    inspector.Objects()->Add(b);
    Settle();
    ASSERT_FALSE(Row(QStringLiteral("Caption"))->IsAllEqual());
    QStringList events;
    TRSItemProperty* notified = nullptr;
    inspector.OnPropertyChanging = [&](QObject*, TRSItemProperty* item) {
        events << "changing " + item->Name();
    };
    inspector.OnPropertyChanged = [&](QObject* sender, TRSItemProperty* item) {
        EXPECT_EQ(sender, &inspector);
        events << "changed";
        notified = item;
    };
    const int shownIndex = Row(QStringLiteral("Caption"))->VisibleIndex();
    Edit(QStringLiteral("Caption"), QStringLiteral("same"));
    events << "returned";
    EXPECT_EQ(a->Caption(), QStringLiteral("same"));
    EXPECT_EQ(b->Caption(), QStringLiteral("same"));
    EXPECT_EQ(events, (QStringList{"changing Caption", "returned"}));
    Settle();
    EXPECT_EQ(events, (QStringList{"changing Caption", "returned", "changed"}));
    EXPECT_EQ(notified, inspector.GetVisibleItem(shownIndex));
    EXPECT_TRUE(Row(QStringLiteral("Caption"))->IsAllEqual());
    EXPECT_EQ(Row(QStringLiteral("Caption"))->Value(), QStringLiteral("same"));
}

TEST_F(WriteFixture, ARefusedTextKeepsTheValueAndIsReportedWithTheRowsType) {
    auto* button = new TTestButton(&owner);
    inspector.SetComponent(button);
    Settle();
    inspector.show();
    inspector.SelectItem(Row(QStringLiteral("Width")));
    ASSERT_TRUE(inspector.Editor());
    inspector.Editor()->SetText(QStringLiteral("wide"));
    try {
        Edit(QStringLiteral("Width"), QStringLiteral("wide"));
        ADD_FAILURE() << "the text was taken";
    } catch (const Exception& e) {
        EXPECT_EQ(
            e.Message(),
            QStringLiteral("\"wide\" is not a valid Integer value: 'wide' is not a valid integer value"));
    }
    EXPECT_EQ(button->Width(), 75);
    bool notified = false;
    inspector.OnPropertyChanged = [&](QObject*, TRSItemProperty*) { notified = true; };
    Settle(); // the refresh still comes and shows the stored value again, without a change notification
    EXPECT_FALSE(notified);
    EXPECT_EQ(Row(QStringLiteral("Width"))->Value(), QStringLiteral("75"));
    EXPECT_EQ(inspector.Editor()->Text(), QStringLiteral("75"));
    // A grid of its own window closing with a focused editor reaches the half-destroyed grid.
    inspector.hide();
}

TEST_F(WriteFixture, AComponentNameThatNamesNoComponentIsRefusedNotWrittenAsNil) {
    auto* button = new TTestButton(&owner);
    auto* target = new TComponent(&owner);
    target->SetName(QStringLiteral("Target"));
    inspector.SetComponent(button);
    Settle();
    Edit(QStringLiteral("Link"), QStringLiteral("Target"));
    EXPECT_EQ(button->Link(), target);
    Settle();
    EXPECT_EQ(Row(QStringLiteral("Link"))->Value(), QStringLiteral("Target"));
    EXPECT_THROW(Edit(QStringLiteral("Link"), QStringLiteral("Nobody")), Exception);
    EXPECT_EQ(button->Link(), target);
    Edit(QStringLiteral("Link"), QString());
    EXPECT_EQ(button->Link(), nullptr);
}

TEST_F(WriteFixture, AnObjectDeletedWhileARescanIsPendingLeavesNoRows) {
    auto* button = new TTestButton(&owner);
    inspector.SetComponent(button);
    ASSERT_TRUE(inspector.RescanPending());
    delete button;
    EXPECT_EQ(inspector.Objects()->Count(), 0);
    Settle();
    EXPECT_EQ(inspector.Items()->Count(), 0);

    // Shown and then deleted: the rows go at once, nothing refers to the object any more.
    auto* other = new TTestButton(&owner);
    inspector.SetComponent(other);
    Settle();
    ASSERT_GT(inspector.Items()->Count(), 0);
    delete other;
    EXPECT_EQ(inspector.Items()->Count(), 0);
    Settle();
    EXPECT_EQ(inspector.Items()->Count(), 0);
    EXPECT_EQ(inspector.Component(), nullptr);
}

TEST_F(WriteFixture, ARebuildAskedForDuringAWriteRunsAfterIt) {
    auto* button = new TTestButton(&owner);
    inspector.SetComponent(button);
    Settle();
    const int scans = inspector.ScanCount();
    QPointer<TRSItemProperty> written = Row(QStringLiteral("Caption"));
    // A write routine that asks for the rebuild directly, inside the write.
    written->OnSetProperty = [&](QObject*, QObject*, const QString&, const QString& value) {
        button->SetCaption(value);
        inspector.RebuildItems();
        EXPECT_TRUE(written); // the row being written is still there
    };
    Edit(QStringLiteral("Caption"), QStringLiteral("x"));
    EXPECT_TRUE(written);
    EXPECT_EQ(inspector.ScanCount(), scans);
    Settle();
    EXPECT_EQ(inspector.ScanCount(), scans + 1);
    EXPECT_EQ(button->Caption(), QStringLiteral("x"));
}

// ---- the device model ----

namespace {

struct ModelFixture : WriteFixture {
    TTreeNodes nodes;
    std::unique_ptr<TRemoteIONetwork> network = std::make_unique<TRemoteIONetwork>(nullptr, &nodes, nullptr);

    TRemoteIO* AddDevice(int address, int modelCode) {
        TRemoteIO* device = network->AddRemoteIO();
        device->Comm()->SetCurrentAddress(address);
        device->Comm()->SetAddress(address);
        device->Information()->SetModelCode(modelCode);
        messages->requests.clear();
        return device;
    }
};

} // namespace

TEST_F(ModelFixture, AnAddressOutOfRangeShowsTheModelsMessageAndTheStoredValueComesBack) {
    TRemoteIO* device = AddDevice(5, 0);
    inspector.SetComponent(device);
    Settle();
    ASSERT_TRUE(Row(QStringLiteral("Comm.Address")));
    EXPECT_EQ(Row(QStringLiteral("Comm.Address"))->Value(), QStringLiteral("5"));
    inspector.SelectItem(Row(QStringLiteral("Comm.Address")));
    const int scans = inspector.ScanCount();
    // Only a write that took effect is news to the host: a refused one must not mark the device modified.
    QStringList changed;
    inspector.OnPropertyChanged = [&](QObject*, TRSItemProperty* item) { changed << item->GetFullPath(); };
    Edit(QStringLiteral("Comm.Address"), QStringLiteral("0"));
    EXPECT_EQ(messages->Texts(), QStringList{"Out of range value. Min=1, Max=247"});
    EXPECT_EQ(device->Comm()->Address(), 5);
    EXPECT_EQ(link.rebuilds, 1);
    Settle();
    EXPECT_TRUE(changed.isEmpty());
    EXPECT_EQ(inspector.ScanCount(), scans + 1);
    ASSERT_TRUE(Row(QStringLiteral("Comm.Address")));
    EXPECT_EQ(Row(QStringLiteral("Comm.Address"))->Value(), QStringLiteral("5"));
    EXPECT_EQ(inspector.CurrentItem(), Row(QStringLiteral("Comm.Address")));

    Edit(QStringLiteral("Comm.Address"), QStringLiteral("17"));
    Settle();
    EXPECT_EQ(changed, QStringList{"Comm.Address"});
    EXPECT_EQ(device->Comm()->Address(), 17);
    // Writing the value the device already holds changes nothing either.
    Edit(QStringLiteral("Comm.Address"), QStringLiteral("17"));
    Settle();
    EXPECT_EQ(changed, QStringList{"Comm.Address"});
    EXPECT_EQ(device->Name(), QStringLiteral("DAXO_17"));
    EXPECT_EQ(Row(QStringLiteral("Comm.Address"))->Value(), QStringLiteral("17"));
}

TEST_F(ModelFixture, BaudrateParityAndStopbitGiveTheModelsMessagesAndValues) {
    TRemoteIO* gateway = AddDevice(3, 99);
    inspector.SetComponent(gateway);
    Settle();
    EXPECT_EQ(Row(QStringLiteral("Comm.Baudrate"))->PickListCopy(),
              (QStringList{"BR_19200", "BR_38400", "BR_4800", "BR_57600", "BR_9600"}));
    Edit(QStringLiteral("Comm.Baudrate"), QStringLiteral("BR_19200"));
    Settle();
    EXPECT_EQ(messages->Texts(), QStringList{"Invalid value! Only the 9600 rate."});
    EXPECT_EQ(gateway->Comm()->Baudrate(), TBaudrate::BR_9600);
    EXPECT_EQ(Row(QStringLiteral("Comm.Baudrate"))->Value(), QStringLiteral("BR_9600"));
    messages->requests.clear();

    TRemoteIO* device = AddDevice(4, 0);
    inspector.SetComponent(device);
    Settle();
    Edit(QStringLiteral("Comm.Stopbit"), QStringLiteral("SB_2"));
    Settle();
    EXPECT_EQ(device->Comm()->Stopbit(), TStopbit::SB_2);
    Edit(QStringLiteral("Comm.Parity"), QStringLiteral("Odd"));
    Settle();
    EXPECT_EQ(messages->Texts(), QStringList{"Can not have parity with 2 stop bits"});
    EXPECT_EQ(device->Comm()->Parity(), TParity::None);
    EXPECT_EQ(Row(QStringLiteral("Comm.Parity"))->Value(), QStringLiteral("None"));
    Edit(QStringLiteral("Timeout"), QStringLiteral("TM_001_S"));
    EXPECT_EQ(device->Timeout(), TRemoteIOTimeOut::TM_001_S);
}

TEST_F(ModelFixture, AChannelsInputFunctionIsEditedThroughTheInspector) {
    TRemoteIO* device = AddDevice(6, 0);
    TChannelDigitalInput* input = device->DigitalInput()->GetChannel(1);
    inspector.SetComponent(input);
    Settle();
    EXPECT_EQ(RowNames(inspector.Items()), (QStringList{"EnabledAlarmOutput", "InputFunction", "Preset"}));
    Edit(QStringLiteral("InputFunction"), QStringLiteral("Mixed"));
    Settle();
    EXPECT_EQ(messages->Texts(), QStringList{"Error! Invalid option."});
    EXPECT_EQ(Row(QStringLiteral("InputFunction"))->Value(), QStringLiteral("Normal"));
    messages->requests.clear();
    Edit(QStringLiteral("InputFunction"), QStringLiteral("Counter"));
    Edit(QStringLiteral("Preset"), QStringLiteral("100"));
    Settle();
    EXPECT_EQ(messages->Texts(), QStringList());
    EXPECT_EQ(input->InputFunction(), TDigitalInputFunction::Counter);
    EXPECT_EQ(input->Preset(), 100);
    EXPECT_TRUE(device->Modified());
}

TEST_F(WriteFixture, ASetMemberTakesOnlyBooleansAndSwitchesOnlyItselfInEachObject) {
    auto* first = new TTestButton(&owner);
    auto* second = new TTestButton(&owner);
    first->Font()->SetStyle(TTestFont::fsBold);
    second->Font()->SetStyle(TTestFont::fsItalic);
    inspector.Objects()->Add(first);
    inspector.Objects()->Add(second);
    Settle();
    int changing = 0;
    int changed = 0;
    inspector.OnPropertyChanging = [&](QObject*, TRSItemProperty*) { ++changing; };
    inspector.OnPropertyChanged = [&](QObject*, TRSItemProperty*) { ++changed; };
    const QString underline = QStringLiteral("Font.Style.fsUnderline");
    ASSERT_TRUE(Row(underline));
    inspector.SelectItem(Row(underline)); // shown, as the user edits it

    // Only the Boolean texts: anything else is refused with the property layer's message.
    for (const char* text : {"maybe", "1", ""}) {
        try {
            Edit(underline, QLatin1String(text));
            ADD_FAILURE() << text;
        } catch (const Exception& e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("is not a valid boolean value"))) << text;
        }
    }
    EXPECT_EQ(changing, 0);
    Edit(underline, QStringLiteral("True")); // each object keeps its own other members
    EXPECT_EQ(first->Font()->Style(), TTestFont::fsBold | TTestFont::fsUnderline);
    EXPECT_EQ(second->Font()->Style(), TTestFont::fsItalic | TTestFont::fsUnderline);
    Settle();
    EXPECT_EQ(changing, 1);
    EXPECT_EQ(changed, 1);

    // A typed write switches the member the same way and is announced once.
    Row(QStringLiteral("Font.Style.fsBold"))->SetOrdValue(0);
    EXPECT_EQ(first->Font()->Style(), TTestFont::fsUnderline);
    EXPECT_EQ(second->Font()->Style(), TTestFont::fsItalic | TTestFont::fsUnderline);
    Settle();
    EXPECT_EQ(changing, 2);
    EXPECT_EQ(changed, 2);
    Row(QStringLiteral("Font.Style.fsStrikeOut"))->SetStrValue(QStringLiteral("true"));
    EXPECT_EQ(first->Font()->Style(), TTestFont::fsUnderline | TTestFont::fsStrikeOut);
    Settle();
    EXPECT_EQ(changing, 3);
    EXPECT_EQ(changed, 3);
    EXPECT_THROW(Row(QStringLiteral("Font.Style.fsBold"))->SetOrdValue(2), EConvertError);
    EXPECT_THROW(Row(QStringLiteral("Font.Style.fsBold"))->SetStrValue(QStringLiteral("yes")), EConvertError);
    Settle();
    EXPECT_EQ(changing, 3);
    EXPECT_EQ(first->Font()->Style(), TTestFont::fsUnderline | TTestFont::fsStrikeOut);
    EXPECT_EQ(Row(QStringLiteral("Font.Style.fsBold"))->Value(), QStringLiteral("False"));
}

TEST_F(ModelFixture, EnumerationPickListsHaveOneOrderInEveryLocale) {
    TRemoteIO* device = AddDevice(6, 0);
    inspector.SetComponent(device);
    Settle();
    ASSERT_TRUE(Row(QStringLiteral("Timeout")));
    // Marks before digits before letters, case ignored: here that is the declaration order, whatever
    // collation the user's locale has.
    const QMetaEnum timeouts = QMetaEnum::fromType<TRemoteIOTimeOut>();
    QStringList declared;
    for (int i = 0; i < timeouts.keyCount(); ++i)
        declared << QLatin1String(timeouts.key(i));
    const QStringList picks = Row(QStringLiteral("Timeout"))->PickListCopy();
    ASSERT_EQ(picks.size(), declared.size());
    EXPECT_EQ(picks.first(), QStringLiteral("TM__050_MS"));
    EXPECT_EQ(picks, declared);
}

TEST_F(ModelFixture, ARescanUnderTheEditorWritesItsTextNowhere) {
    TRemoteIO* device = AddDevice(7, 0);
    inspector.show();
    inspector.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&inspector));
    inspector.SetComponent(device);
    Settle();
    TRSItemProperty* baud = Row(QStringLiteral("Comm.Baudrate"));
    ASSERT_TRUE(baud);
    inspector.SelectItem(baud);
    inspector.setFocus();
    Settle();
    ASSERT_TRUE(inspector.Editor()->hasFocus());
    const TBaudrate baudrate = device->Comm()->Baudrate();
    const TParity parity = device->Comm()->Parity();
    inspector.Editor()->selectAll();
    QTest::keyClicks(inspector.Editor(), QStringLiteral("BR_4800")); // typed, not committed
    inspector.Filters()->Add(QStringLiteral("Address"));             // a rescan moves every row below it up
    Settle();
    EXPECT_EQ(device->Comm()->Baudrate(), baudrate);
    EXPECT_EQ(device->Comm()->Parity(), parity);
    // The editor is back on the row of the same path, with that row's stored value.
    ASSERT_TRUE(inspector.CurrentItem());
    EXPECT_EQ(inspector.CurrentItem()->GetFullName(), QStringLiteral("Comm.Baudrate"));
    EXPECT_EQ(inspector.Editor()->text(), inspector.CurrentItem()->Value());
    inspector.clearFocus(); // leaving commits nothing into any row
    Settle();
    EXPECT_EQ(device->Comm()->Baudrate(), baudrate);
    EXPECT_EQ(device->Comm()->Parity(), parity);
    EXPECT_TRUE(messages->requests.isEmpty());
}
