// The value-editor windows on their own: the string-list editor's two pages and files, the date pop-up's
// click rule, and the items dialogs' copies, sub-items and Apply/Cancel round trips.
#include "Insp3Objects.h"
#include "classlib/DateUtils.h"
#include "inspector/RSCustomItemsDialog.h"
#include "inspector/RSItemProp.h"
#include "inspector/RSTDateEditor.h"
#include "inspector/RSTStringsEditor.h"
#include "tests/support/RecordingPresenter.h"
#include <QCalendarWidget>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {

QStringList ReadLines(const QString& name) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

TEST(StringsEditor, CountsLinesAndCarriesThemBetweenThePages) {
    TfrmRSStringsEditor editor;
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("String List Editor"));
    EXPECT_EQ(editor.lblLineCount->text(), QStringLiteral("0 lines"));
    editor.Memo1->setPlainText(QStringLiteral("only"));
    EXPECT_EQ(editor.lblLineCount->text(), QStringLiteral("1 line"));
    editor.SetLines({"host=example", "port=502", "plain"});
    EXPECT_EQ(editor.lblLineCount->text(), QStringLiteral("3 lines"));

    // Rows edited on the INI page reach Lines when the window closes there.
    editor.ShowPage(editor.tsINI);
    ASSERT_TRUE(editor.Grid->Items()->FindByPath(QStringLiteral("port")));
    editor.Grid->Items()->FindByPath(QStringLiteral("port"))->SetValue(QStringLiteral("503"));
    editor.Grid->Items()->AddByPath(QStringLiteral("timeout"), QStringLiteral("100"), false);
    editor.accept();
    EXPECT_EQ(editor.Lines(), (QStringList{"host=example", "port=503", "plain", "timeout=100"}));

    // Back on the memo page the text shows the grid's rows; memo edits go to the grid on the way back.
    editor.ShowPage(editor.tsMemo);
    editor.Memo1->setPlainText(QStringLiteral("a=1\nb=2"));
    editor.ShowPage(editor.tsINI);
    EXPECT_EQ(editor.Grid->Strings().Lines(), (QStringList{"a=1", "b=2"}));
}

TEST(StringsEditor, TheINIPageGivesBackEveryListAsItWas) {
    const QStringList lists[] = {
        {},
        {""},
        {"", ""},
        {"a=1", "", "b=2", ""},
        {"plain", "; comment", "# another", "[section]"},
        {"a.b=1", "a.c=2", "a=3"},
        {"dup=1", "dup=2", "dup"},
        {"=value", "name=", "x==y", "k=v=w"},
        {"  indented = spaced  ", "tab\t=\t"},
        {"\u00e7=\u20ac", "   ", "last"},
    };
    for (const QStringList& lines : lists) {
        TfrmRSStringsEditor editor;
        editor.SetLines(lines);
        EXPECT_EQ(editor.Lines(), lines) << lines.join(u'|').toStdString();
        editor.ShowPage(editor.tsINI);
        editor.ShowPage(editor.tsMemo);
        EXPECT_EQ(editor.Lines(), lines) << lines.join(u'|').toStdString();
        editor.ShowPage(editor.tsINI);
        editor.accept(); // closing on the INI page takes the rows
        EXPECT_EQ(editor.Lines(), lines) << lines.join(u'|').toStdString();
    }
}

TEST(StringsEditor, OnlyTheLinesChangedOnTheINIPageChange) {
    TfrmRSStringsEditor editor;
    editor.SetLines({"; settings", "", "host=example", "port=502", "flag", "a.b=1", "", "old=gone"});
    editor.ShowPage(editor.tsINI);
    TRSItemProps* rows = editor.Grid->Items();
    ASSERT_EQ(rows->Count(), 6); // the blank lines have no rows
    auto row = [&](const QString& name) {
        for (int i = 0; i < rows->Count(); ++i)
            if (rows->Items(i)->Name() == name)
                return rows->Items(i);
        return static_cast<TRSItemProp*>(nullptr);
    };
    ASSERT_TRUE(row(QStringLiteral("a.b"))); // a dotted name is one row, not a path
    ASSERT_TRUE(row(QStringLiteral("port")));
    row(QStringLiteral("port"))->Values().SetText(QStringLiteral("503"));
    row(QStringLiteral("flag"))->Values().SetText(QStringLiteral("on"));
    row(QStringLiteral("host"))->SetName(QStringLiteral("server"));
    rows->Delete(row(QStringLiteral("old"))->Index());
    rows->Add()->SetName(QStringLiteral("new"));
    editor.ShowPage(editor.tsMemo);
    EXPECT_EQ(editor.Lines(),
              (QStringList{"; settings", "", "server=example", "port=503", "flag=on", "a.b=1", "", "new="}));
}

TEST(StringsEditor, OneAllowedViewHidesTheTabsAndEscapeCancels) {
    TfrmRSStringsEditor editor;
    editor.SetMemoVisible(false);
    EXPECT_EQ(editor.pcViews->currentWidget(), editor.tsINI);
    EXPECT_FALSE(editor.pcViews->isTabVisible(0));
    EXPECT_FALSE(editor.pcViews->isTabVisible(1));
    editor.SetMemoVisible(true);
    EXPECT_TRUE(editor.pcViews->isTabVisible(0));
    EXPECT_TRUE(editor.pcViews->isTabVisible(1));

    editor.ShowPage(editor.tsMemo);
    editor.setResult(-1);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(editor.Memo1, &escape);
    EXPECT_EQ(editor.result(), QDialog::Rejected);
}

TEST(StringsEditor, LoadsAndSavesTextFiles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("in.txt"));
    {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("first\nsecond\n");
    }
    const QString target = dir.filePath(QStringLiteral("out.txt"));
    TfrmRSStringsEditor editor;
    QStringList asked;
    ScopedModalExecutor answer([&](QDialog* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        asked << dialog->windowTitle();
        files->selectFile(files == editor.OpenDialog1 ? source : target);
        return int(QDialog::Accepted);
    });
    ASSERT_TRUE(editor.LoadClick());
    EXPECT_EQ(editor.Lines(), (QStringList{"first", "second"}));
    editor.Memo1->appendPlainText(QStringLiteral("third"));
    ASSERT_TRUE(editor.SaveClick());
    EXPECT_EQ(asked, (QStringList{"Load string list", "Save string list"}));
    EXPECT_EQ(ReadLines(target), (QStringList{"first", "second", "third"}));

    // A file that cannot be read is an error, and the lines stay.
    QFile::remove(source);
    EXPECT_THROW(editor.LoadClick(), Exception);
    EXPECT_EQ(editor.Lines().size(), 3);
}

TEST(DateEditor, OnlyAClickInTheDayAreaThatChangesTheDateCloses) {
    TfrmDateEditor editor;
    EXPECT_NEAR(editor.Date(), DateOf(Now()), 1.0);
    editor.SetDate(EncodeDateTime(QDateTime(QDate(2024, 3, 5), QTime(9, 30))));
    EXPECT_EQ(editor.MonthCalendar1->selectedDate(), QDate(2024, 3, 5));
    editor.setResult(0);
    // Browsing to the next month is not a choice.
    editor.MonthCalendar1->setCurrentPage(2024, 4);
    editor.MonthCalendar1Click(QPoint(40, 120));
    EXPECT_EQ(editor.result(), 0);
    // A click in the month header never closes.
    editor.MonthCalendar1->setSelectedDate(QDate(2024, 4, 10));
    editor.MonthCalendar1Click(QPoint(40, 20));
    EXPECT_EQ(editor.result(), 0);
    editor.MonthCalendar1Click(QPoint(40, 120));
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    EXPECT_EQ(DecodeDateTime(editor.Date()).date(), QDate(2024, 4, 10));
    // Escape is the cancel button under the calendar.
    editor.Button1->click();
    EXPECT_EQ(editor.result(), QDialog::Rejected);
}

TEST(ItemsDialogs, NodeListItemsKeepOneImagePerSubItem) {
    TNodeListItem item;
    EXPECT_EQ(item.ImageIndex(), -1);
    EXPECT_EQ(item.StateIndex(), -1);
    EXPECT_EQ(item.CustomIndex(), -1);
    item.SubItems()->Add(QStringLiteral("a"));
    item.SubItems()->Add(QStringLiteral("b"));
    EXPECT_EQ(item.SubItemImages(), (TIntegerArray{-1, -1}));
    item.SubItems()->Add(QStringLiteral("c"));
    item.SetSubItemImage(1, 5);
    item.SetSubItemImage(2, 6);
    item.DeleteSubItem(0);
    EXPECT_EQ(item.SubItems()->Lines(), (QStringList{"b", "c"}));
    EXPECT_EQ(item.SubItemImages(), (TIntegerArray{5, 6}));

    TListItems items;
    TListItem* target = items.Add();
    item.SetCaption(QStringLiteral("row"));
    item.SetCustomIndex(3);
    item.AssignTo(target);
    EXPECT_EQ(target->Caption(), QStringLiteral("row"));
    EXPECT_EQ(target->OverlayIndex(), 3);
    EXPECT_EQ(target->SubItemImages(1), 6);
    TNodeListItem back(target);
    EXPECT_EQ(back.SubItemImages(), (TIntegerArray{5, 6}));
    EXPECT_EQ(back.CustomIndex(), 3);
    TCustomNodeItem plain;
    EXPECT_THROW(plain.Assign(&items), EConvertError);
}

TEST(ItemsDialogs, TreeNodesAreAppliedOnlyByApplyOrOk) {
    TTreeNodes target;
    TTreeNode* root = target.AddChild(nullptr, QStringLiteral("root"));
    root->SetImageIndex(2);
    target.AddChild(root, QStringLiteral("leaf"));
    {
        TfrmTTreeNodesDlg dialog;
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("TreeView Items Editor"));
        dialog.SetTarget(&target);
        ASSERT_EQ(dialog.Nodes()->Count(), 2);
        EXPECT_FALSE(dialog.gbItemProperties->isEnabled());
        dialog.SetSelected(static_cast<TTreeNode*>(dialog.Nodes()->Model()->item(0)));
        EXPECT_TRUE(dialog.gbItemProperties->isEnabled());
        EXPECT_EQ(dialog.leCaption->text(), QStringLiteral("root"));
        EXPECT_EQ(dialog.cbeImageIndex->currentText(), QStringLiteral("2"));
        dialog.leCaption->setText(QStringLiteral("renamed"));
        dialog.CaptionChanged();
        dialog.DeleteItem();
        dialog.done(QDialog::Rejected);
    }
    EXPECT_EQ(target.Count(), 2);
    EXPECT_EQ(target.GetFirstNode()->Text(), QStringLiteral("root"));

    TfrmTTreeNodesDlg dialog;
    dialog.SetTarget(&target);
    TTreeNode* first = static_cast<TTreeNode*>(dialog.Nodes()->Model()->item(0));
    dialog.SetSelected(first);
    dialog.cbeCustomIndex->setEditText(QStringLiteral("7"));
    dialog.leCaption->setText(QStringLiteral("renamed"));
    dialog.CaptionChanged();
    dialog.SetModified(true);
    dialog.NewItem(); // commits the fields of the node left
    dialog.leCaption->setText(QStringLiteral("second"));
    dialog.CaptionChanged();
    EXPECT_TRUE(dialog.actApply->isEnabled());
    dialog.done(QDialog::Accepted);
    ASSERT_EQ(target.Model()->rowCount(), 2);
    EXPECT_EQ(target.GetFirstNode()->Text(), QStringLiteral("renamed"));
    EXPECT_EQ(target.GetFirstNode()->SelectedIndex(), 7);
    EXPECT_EQ(target.GetFirstNode()->Count(), 1);
    EXPECT_EQ(target.Model()->item(1)->text(), QStringLiteral("second"));
}

TEST(ItemsDialogs, ListItemsAreEditedAsCopiesWithSubItemNodes) {
    TListItems target;
    TListItem* a = target.Add();
    a->SetCaption(QStringLiteral("a"));
    a->SubItems()->SetLines({"a1", "a2", "a3"});
    a->SetSubItemImages(1, 4);
    a->SetSubItemImages(2, 5);
    TfrmTListItemsDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("ListView Items Editor"));
    dialog.SetTarget(&target);
    TTreeNode* itemNode = dialog.Nodes()->GetFirstNode();
    ASSERT_EQ(itemNode->Count(), 3);
    // A sub-item node shows its caption and image only.
    dialog.SetSelected(itemNode->Item(2));
    EXPECT_EQ(dialog.leCaption->text(), QStringLiteral("a3"));
    EXPECT_EQ(dialog.cbeImageIndex->currentText(), QStringLiteral("5"));
    EXPECT_FALSE(dialog.cbeStateIndex->isEnabled());
    dialog.cbeImageIndex->setEditText(QStringLiteral("9"));
    dialog.StoreIndex(dialog.cbeImageIndex);
    // Deleting the first sub-item keeps the images of the others in place.
    dialog.SetSelected(itemNode->Item(0));
    dialog.DeleteItem();
    dialog.NewItem();
    dialog.leCaption->setText(QStringLiteral("b"));
    dialog.CaptionChanged();
    dialog.NewSubitem();
    dialog.leCaption->setText(QStringLiteral("b1"));
    dialog.CaptionChanged();
    EXPECT_EQ(target.Count(), 1); // nothing reaches the target before Apply
    dialog.Apply();
    ASSERT_EQ(target.Count(), 2);
    EXPECT_EQ(target.Item(0)->SubItems()->Lines(), (QStringList{"a2", "a3"}));
    EXPECT_EQ(target.Item(0)->SubItemImages(0), 4);
    EXPECT_EQ(target.Item(0)->SubItemImages(1), 9);
    EXPECT_EQ(target.Item(1)->Caption(), QStringLiteral("b"));
    EXPECT_EQ(target.Item(1)->SubItems()->Lines(), QStringList{"b1"});
    EXPECT_FALSE(dialog.Modified());
}

TEST(ItemsDialogs, LoadingATextFileBuildsTheTreeByIndentation) {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("items.txt"));
    {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("one\n\tone-a\n\t\tdeep\ntwo\n\ttwo-a\n\ttwo-b\n");
    }
    ScopedModalExecutor answer([&](QDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Open"));
        qobject_cast<QFileDialog*>(dialog)->selectFile(name);
        return int(QDialog::Accepted);
    });
    TfrmTTreeNodesDlg tree;
    ASSERT_TRUE(tree.LoadFromFile());
    EXPECT_EQ(tree.Nodes()->Count(), 6);
    EXPECT_TRUE(tree.Modified());
    EXPECT_FALSE(tree.gbItemProperties->isEnabled());

    TListItems items;
    TfrmTListItemsDlg list;
    list.SetTarget(&items);
    ASSERT_TRUE(list.LoadFromFile());
    list.done(QDialog::Accepted); // OK applies what was not applied
    ASSERT_EQ(items.Count(), 2);
    EXPECT_EQ(items.Item(0)->SubItems()->Lines(), QStringList{"one-a"});
    EXPECT_EQ(items.Item(1)->SubItems()->Lines(), (QStringList{"two-a", "two-b"}));
}
