// The collection editor: items added, deleted, moved and dropped in the collection, the selection shown
// in the inspector, one window per inspector and collection, and the inspector's own presets.
#include "Insp3Objects.h"
#include "inspector/RSPresetClasses.h"
#include "inspector/RSTCollectionEditor.h"
#include "tests/support/RecordingPresenter.h"
#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

struct CollectionEditorFixture : ::testing::Test {
    ScopedRecordingPresenter messages;
    QWidget form;
    TRSObjectInspector* inspector = new TRSObjectInspector(&form);
    TComponent owner;
    TGadget* gadget = new TGadget(&owner);
    // Closing frees the window: the fixture frees only what is still there.
    QPointer<TfrmCollectionEditor> editor;

    CollectionEditorFixture() {
        gadget->SetName(QStringLiteral("Gadget1"));
        for (const char* caption : {"A", "B", "C"})
            gadget->Items()
                ->ItemAs<TGadgetItem>(gadget->Items()->Add()->Index())
                ->SetCaption(QLatin1String(caption));
        inspector->SetComponent(gadget);
        Settle();
        editor = ShowCollectionEditor(inspector, gadget->Items(), true, QStringLiteral("Gadget1.Items"));
    }
    ~CollectionEditorFixture() override { delete editor.data(); }

    QStringList Lines() const {
        QStringList lines;
        for (int i = 0; i < editor->ListView1->topLevelItemCount(); ++i)
            lines << editor->ListView1->topLevelItem(i)->text(0);
        return lines;
    }
    QStringList Captions() const {
        QStringList captions;
        for (int i = 0; i < gadget->Items()->Count(); ++i)
            captions << gadget->Items()->ItemAs<TGadgetItem>(i)->Caption();
        return captions;
    }
    void SelectLines(std::initializer_list<int> lines) {
        editor->ListView1->clearSelection();
        for (int line : lines)
            editor->ListView1->topLevelItem(line)->setSelected(true);
        Settle();
    }
    QList<QObject*> Inspected() const { return inspector->ObjectList(); }
};

} // namespace

TEST_F(CollectionEditorFixture, ListsTheItemsAndShowsTheSelectionInTheInspector) {
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Editing Gadget1.Items"));
    EXPECT_EQ(Lines(), (QStringList{"0 - A", "1 - B", "2 - C"}));
    EXPECT_EQ(editor->CollectionOwner(), gadget);
    EXPECT_FALSE(editor->DeleteSelected1->isEnabled());
    EXPECT_TRUE(editor->AddItem1->isEnabled());
    EXPECT_FALSE(editor->Reset1->isVisible());

    SelectLines({0, 2});
    EXPECT_EQ(Inspected(), (QList<QObject*>{gadget->Items()->Items(0), gadget->Items()->Items(2)}));
    EXPECT_TRUE(editor->DeleteSelected1->isEnabled());
    // Both items are inspected together: a caption that differs shows no common value.
    TRSItemProperty* caption = RowOf(*inspector, QStringLiteral("Caption"));
    ASSERT_TRUE(caption);
    EXPECT_FALSE(caption->IsAllEqual());
    EXPECT_TRUE(RowOf(*inspector, QStringLiteral("Width"))->IsAllEqual());
    // An edit in the inspector reaches both items.
    Commit(RowOf(*inspector, QStringLiteral("Width")), QStringLiteral("25"));
    EXPECT_EQ(gadget->Items()->ItemAs<TGadgetItem>(0)->Width(), 25);
    EXPECT_EQ(gadget->Items()->ItemAs<TGadgetItem>(2)->Width(), 25);
    EXPECT_EQ(gadget->Items()->ItemAs<TGadgetItem>(1)->Width(), 10);

    // Asking again brings the same window.
    EXPECT_EQ(ShowCollectionEditor(inspector, gadget->Items(), true, QStringLiteral("again")), editor.data());
}

TEST_F(CollectionEditorFixture, AddsDeletesAndMovesItemsAndTheInspectorFollows) {
    SelectLines({1});
    TCollectionItem* added = editor->AddItem(&TGadgetItem::staticMetaObject);
    Settle();
    ASSERT_EQ(gadget->Items()->Count(), 4);
    EXPECT_EQ(added->Index(), 3);
    EXPECT_EQ(editor->SelectedItems(), QList<TCollectionItem*>{added});
    EXPECT_EQ(Inspected(), QList<QObject*>{added});
    EXPECT_EQ(Lines().last(), QStringLiteral("3 - TGadgetItem"));

    // Deleting the only selected item takes it out of the inspector too.
    editor->DeleteSelected();
    Settle();
    EXPECT_EQ(gadget->Items()->Count(), 3);
    EXPECT_TRUE(Inspected().isEmpty());
    EXPECT_EQ(inspector->Items()->Count(), 0);

    // The first item does not move up, the last not down.
    SelectLines({0});
    editor->MoveSelected(true);
    EXPECT_EQ(Captions(), (QStringList{"A", "B", "C"}));
    SelectLines({2});
    editor->MoveSelected(false);
    EXPECT_EQ(Captions(), (QStringList{"A", "B", "C"}));
    SelectLines({1, 2});
    editor->MoveSelected(true);
    EXPECT_EQ(Captions(), (QStringList{"B", "C", "A"}));
    EXPECT_EQ(editor->SelectedItems().size(), 2); // the selection follows the items
    editor->MoveSelected(false);
    EXPECT_EQ(Captions(), (QStringList{"A", "B", "C"}));

    // Dropping the selection at a line keeps its order.
    SelectLines({1, 2});
    editor->DropAt(0);
    EXPECT_EQ(Captions(), (QStringList{"B", "C", "A"}));
    SelectLines({0});
    editor->DropAt(2);
    EXPECT_EQ(Captions(), (QStringList{"C", "A", "B"}));
    EXPECT_EQ(Lines(), (QStringList{"0 - C", "1 - A", "2 - B"}));
}

TEST_F(CollectionEditorFixture, AnEditorWhoseCollectionOwnerGoesIsEmptied) {
    SelectLines({0});
    delete gadget;
    Settle();
    EXPECT_EQ(editor->Collection(), nullptr);
    EXPECT_EQ(editor->ListView1->topLevelItemCount(), 0);
    EXPECT_FALSE(editor->AddItem1->isEnabled());
    EXPECT_TRUE(Inspected().isEmpty());
    // Closing clears the links and frees the window.
    editor->close();
    EXPECT_EQ(editor->Inspector(), nullptr);
    Settle();
    EXPECT_TRUE(editor.isNull());
}

TEST_F(CollectionEditorFixture, ClosedEditorsAreFreedAndLeaveTheOpenList) {
    // Closing and opening again twenty times leaves one window, the last one.
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(editor);
        EXPECT_TRUE(OpenCollectionEditors().contains(editor.data()));
        editor->close();
        EXPECT_FALSE(OpenCollectionEditors().contains(editor.data()));
        Settle();
        ASSERT_TRUE(editor.isNull());
        editor = ShowCollectionEditor(inspector, gadget->Items(), true, QStringLiteral("again"));
    }
    EXPECT_EQ(OpenCollectionEditors(), QList<TfrmCollectionEditor*>{editor.data()});
    // An editor still open is the one a new request brings forward.
    EXPECT_EQ(ShowCollectionEditor(inspector, gadget->Items(), true, QStringLiteral("x")), editor.data());
}

TEST_F(CollectionEditorFixture, AFreedInspectorLeavesTheEditorWithoutLinks) {
    delete inspector;
    EXPECT_EQ(editor->Inspector(), nullptr);
    EXPECT_EQ(editor->Collection(), nullptr);
    // A new request for the same collection with another inspector is another window.
    QWidget otherForm;
    TRSObjectInspector other(&otherForm);
    std::unique_ptr<TfrmCollectionEditor> second(
        ShowCollectionEditor(&other, gadget->Items(), true, QStringLiteral("x")));
    EXPECT_NE(second.get(), editor.data());
    EXPECT_TRUE(OpenCollectionEditors().contains(second.get()));
    second.reset();
    EXPECT_FALSE(OpenCollectionEditors().contains(second.get()));
}

TEST(CollectionEditorPresets, EditsTheInspectorsPresetsAndResetsThem) {
    ScopedRecordingPresenter messages;
    QWidget form;
    TRSObjectInspector inspector(&form);
    const int registered = int(RegisteredPropertyPresetClasses().size());
    std::unique_ptr<TfrmCollectionEditor> editor(
        ShowCollectionEditor(&inspector, inspector.Presets(), false, QStringLiteral("Presets")));
    EXPECT_EQ(editor->CollectionOwner(), &inspector);
    EXPECT_TRUE(editor->Reset1->isVisible());
    ASSERT_EQ(editor->ListView1->topLevelItemCount(), inspector.Presets()->Count());
    EXPECT_EQ(editor->ListView1->topLevelItem(3)->text(0),
              QStringLiteral("3 - Color Drop Down List Property Editor (TRSTColorPropertyPreset)"));
    // The Add button's menu: Add Item, then one entry per registered class.
    ASSERT_EQ(editor->AddButton->menu(), editor->PopupMenu2);
    const QList<QAction*> entries = editor->PopupMenu2->actions();
    ASSERT_EQ(entries.size(), registered + 1);
    EXPECT_EQ(entries.at(4)->text(), QStringLiteral("Add TRSTColorPropertyPreset"));
    entries.at(4)->trigger();
    ASSERT_EQ(inspector.Presets()->Count(), registered + 1);
    EXPECT_EQ(inspector.Presets()->Items(registered)->metaObject(),
              &TRSTColorPropertyPreset::staticMetaObject);

    // The selected preset is inspected; its settings are rows.
    Settle();
    EXPECT_EQ(inspector.ObjectList(), QList<QObject*>{inspector.Presets()->Items(registered)});
    EXPECT_TRUE(RowOf(inspector, QStringLiteral("EditMask")));

    // Deleting presets and resetting brings back one of every registered class.
    editor->SelectAll();
    editor->DeleteSelected();
    Settle();
    EXPECT_EQ(inspector.Presets()->Count(), 0);
    editor->ResetPresets();
    EXPECT_EQ(inspector.Presets()->Count(), registered);
    EXPECT_EQ(editor->ListView1->topLevelItemCount(), registered);
}
