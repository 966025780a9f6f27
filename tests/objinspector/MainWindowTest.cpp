// The inspector in the main window: selecting a device or a channel in the network tree shows its
// published properties, and an edit reaches the model, with the model's refusal shown and undone.
#include "TestObjects.h"
#include "app/Main.h"
#include "inspector/RSInplaceEditList.h"
#include "model/IOClasses.h"
#include "tests/support/RecordingPresenter.h"
#include "ui_Main.h"
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {

struct MainWindowFixture : ::testing::Test {
    QTemporaryDir dir;
    ScopedRecordingPresenter messages;
    std::unique_ptr<TFormMain> form;

    MainWindowFixture() {
        qputenv("VEXADAXO_WINDIR", dir.filePath(QStringLiteral("windows")).toLocal8Bit());
        qputenv("VEXADAXO_REGISTRY", dir.filePath(QStringLiteral("registry.ini")).toLocal8Bit());
        form = std::make_unique<TFormMain>();
    }
    ~MainWindowFixture() override {
        form.reset();
        qunsetenv("VEXADAXO_WINDIR");
        qunsetenv("VEXADAXO_REGISTRY");
    }
    TRSObjectInspector* Inspector() const { return form->ui().RSObjectInspector1; }
    TRSItemProperty* Row(const QString& path) const { return Inspector()->Items()->FindByPath(path); }
    void Select(TTreeNode* node) {
        form->ui().tvNetwork->setCurrentIndex(node->index());
        Settle();
    }
    void Edit(const QString& path, const QString& text) {
        TRSItemProperty* row = Row(path);
        ASSERT_TRUE(row) << path.toStdString();
        Inspector()->SelectItem(row);
        row->SetValue(text);
        row->DoValidate();
    }
};

} // namespace

TEST_F(MainWindowFixture, TheInspectorHasTheWindowsSettings) {
    TRSObjectInspector* inspector = Inspector();
    EXPECT_TRUE(inspector->isHidden());
    EXPECT_EQ(inspector->Filters()->Lines(), (QStringList{"Name", "Tag"}));
    EXPECT_EQ(inspector->Indent(), 11);
    EXPECT_EQ(inspector->PathDelimiter(), QStringLiteral("."));
    EXPECT_EQ(inspector->ValueFont()->Color(), QColor(0, 0, 0x80));
    EXPECT_TRUE(inspector->ValueChangedFont()->Bold());
    EXPECT_TRUE(inspector->CategoryFont()->Bold());
    EXPECT_FALSE(inspector->DisplayKinds().Contains(tkMethod));
    EXPECT_EQ(inspector->HintWindow()->Interval(), 0);
}

TEST_F(MainWindowFixture, ADevicesAddressIsEditedAndARefusedOneComesBack) {
    TRemoteIO* device = form->Network->AddRemoteIO();
    device->Comm()->SetCurrentAddress(5);
    device->Comm()->SetAddress(5);
    device->Information()->SetModelCode(0);
    Select(device->Node());
    EXPECT_FALSE(Inspector()->isHidden());
    EXPECT_TRUE(form->ui().lbInvalid->isHidden());
    EXPECT_FALSE(Row(QStringLiteral("Name")));
    EXPECT_FALSE(Row(QStringLiteral("Tag")));
    EXPECT_FALSE(Row(QStringLiteral("Comm.Name"))); // the filters reach the collapsed sub-rows
    EXPECT_FALSE(Row(QStringLiteral("Comm.Tag")));
    ASSERT_TRUE(Row(QStringLiteral("Comm.Address")));
    EXPECT_EQ(Row(QStringLiteral("Comm.Address"))->Value(), QStringLiteral("5"));

    Edit(QStringLiteral("Comm.Address"), QStringLiteral("0"));
    EXPECT_EQ(messages->Texts(), QStringList{"Out of range value. Min=1, Max=247"});
    EXPECT_EQ(device->Comm()->Address(), 5);
    Settle();
    ASSERT_TRUE(Row(QStringLiteral("Comm.Address")));
    EXPECT_EQ(Row(QStringLiteral("Comm.Address"))->Value(), QStringLiteral("5"));

    messages->requests.clear();
    Edit(QStringLiteral("Comm.Address"), QStringLiteral("9"));
    Settle();
    EXPECT_EQ(messages->Texts(), QStringList());
    EXPECT_EQ(device->Name(), QStringLiteral("DAXO_9"));
    EXPECT_EQ(device->Node()->Text(), QStringLiteral("DAXO_9"));
    EXPECT_TRUE(device->Modified());
}

TEST_F(MainWindowFixture, AChannelShowsItsSettingsAndTheNetworkRootShowsNone) {
    TRemoteIO* device = form->Network->AddRemoteIO();
    device->Comm()->SetAddress(2);
    device->Information()->SetModelCode(0);
    TChannelDigitalInput* input = device->DigitalInput()->GetChannel(0);
    Select(input->Node());
    EXPECT_EQ(form->SelectedItem, input);
    EXPECT_EQ(RowNames(Inspector()->Items()), (QStringList{"EnabledAlarmOutput", "InputFunction", "Preset"}));
    Edit(QStringLiteral("InputFunction"), QStringLiteral("Counter"));
    Settle();
    EXPECT_EQ(input->InputFunction(), TDigitalInputFunction::Counter);

    Select(form->Network->Node());
    EXPECT_TRUE(Inspector()->isHidden());
    EXPECT_FALSE(form->ui().lbInvalid->isHidden());
}

TEST_F(MainWindowFixture, TabAndShiftTabLeadThroughTheInspector) {
    TRemoteIO* device = form->Network->AddRemoteIO();
    device->Comm()->SetAddress(3);
    device->Information()->SetModelCode(0);
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    Select(device->Node());
    QTreeView* tree = form->ui().tvNetwork;
    TRSObjectInspector* inspector = Inspector();
    auto inInspector = [&] {
        QWidget* focus = QApplication::focusWidget();
        return focus && (focus == inspector || inspector->isAncestorOf(focus));
    };
    tree->setFocus(Qt::TabFocusReason);
    Settle();
    auto press = [&](Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), key, mods);
        Settle();
    };
    press(Qt::Key_Tab);
    ASSERT_TRUE(inInspector());
    EXPECT_TRUE(inspector->Editor() && inspector->Editor()->hasFocus()); // straight into the value
    press(Qt::Key_Tab);
    EXPECT_FALSE(inInspector()); // and out to the next control
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(inInspector());
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), tree);
    press(Qt::Key_Tab);
    ASSERT_TRUE(inInspector());
    press(Qt::Key_Tab, Qt::ControlModifier); // the window's own order from the editor too
    EXPECT_FALSE(inInspector());
}
