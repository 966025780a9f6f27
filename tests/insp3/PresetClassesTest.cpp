// The built-in presets: registered at start-up in their order, one of each in every inspector, and each
// one's matching and effect on the rows of a scanned object, down to the value written back.
#include "Insp3Objects.h"
#include "classlib/DateUtils.h"
#include "classlib/Graphics.h"
#include "inspector/RSCustomItemsDialog.h"
#include "inspector/RSPresetClasses.h"
#include "inspector/RSTCollectionEditor.h"
#include "inspector/RSTDateEditor.h"
#include "inspector/RSTStringsEditor.h"
#include "tests/support/RecordingPresenter.h"
#include <QBuffer>
#include <QCalendarWidget>
#include <QFileDialog>
#include <QFontDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct PresetClassesFixture : ::testing::Test {
    QWidget form;
    TRSObjectInspector* inspector = new TRSObjectInspector(&form);
    TGadget* gadget = new TGadget;
    TGadget* other = new TGadget;
    ScopedRecordingPresenter messages;

    PresetClassesFixture() {
        gadget->SetName(QStringLiteral("Gadget1"));
        other->SetName(QStringLiteral("Gadget2"));
        gadget->setParent(&form);
        other->setParent(&form);
        inspector->SetComponent(gadget);
        Settle();
    }
    TRSItemProperty* Row(const QString& path) { return RowOf(*inspector, path); }
};

} // namespace

TEST(PresetRegistry, BuiltInPresetsAreRegisteredInOrderAndEveryInspectorGetsOneOfEach) {
    const QList<const QMetaObject*> builtIn = BuiltInPresetClasses();
    ASSERT_EQ(builtIn.size(), 18);
    EXPECT_EQ(RegisteredPropertyPresetClasses().mid(0, 18), builtIn);
    TRSObjectInspector inspector;
    ASSERT_GE(inspector.Presets()->Count(), 18);
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(inspector.Presets()->Items(i)->metaObject(), builtIn.at(i)) << i;
    EXPECT_EQ(inspector.Presets()->Items(0)->Name(),
              QStringLiteral("TComponent Drop Down List Property Editor"));
    EXPECT_EQ(inspector.Presets()->Items(17)->Name(),
              QStringLiteral("Filename property Dialog Property editor"));
    // Re-registering changes nothing; an unregistered class comes back at the end.
    RegisterPropertyPresetClasses(builtIn);
    EXPECT_EQ(RegisteredPropertyPresetClasses().count(builtIn.at(3)), 1);
    UnregisterPropertyPresetClass(builtIn.at(3));
    EXPECT_FALSE(RegisteredPropertyPresetClasses().contains(builtIn.at(3)));
    RegisterPropertyPresetClass(builtIn.at(3));
    EXPECT_EQ(RegisteredPropertyPresetClasses().last(), builtIn.at(3));
    UnregisterPropertyPresetClasses(builtIn);
    RegisterPropertyPresetClasses(builtIn);
    EXPECT_EQ(RegisteredPropertyPresetClasses().mid(0, 18), builtIn);
}

TEST(PresetRegistry, ConstructorsSetTheirDefaultsThroughTheSetters) {
    TRSObjectInspector inspector;
    TRSPropertyPresets* presets = inspector.Presets();
    auto* component = presets->Items(0);
    EXPECT_EQ(component->MatchTypes(), TRSPresetMatchTypes(mtPropertyType));
    EXPECT_EQ(component->EditStyle(), esPickList);
    EXPECT_TRUE(component->Actions() & pftEditStyle);
    EXPECT_TRUE(component->Actions() & pftValidate);
    EXPECT_TRUE(component->Actions() & pftFont);
    EXPECT_EQ(component->Font()->Color(), QColor(0x80, 0, 0));
    auto* ini = qobject_cast<TRSTINIStringsPropertyPreset*>(presets->Items(14));
    ASSERT_TRUE(ini);
    EXPECT_EQ(ini->MatchTypes(), TRSPresetMatchTypes(mtPropertyName | mtPropertyType | mtClassName));
    EXPECT_EQ(ini->TypeNames()->Lines(), (QStringList{"TStrings", "TStrings"}));
    EXPECT_EQ(ini->StringsViews(),
              TRSTStringsPropertyPreset::TStringsViews(TRSTStringsPropertyPreset::svINI));
    auto* time = presets->Items(10);
    EXPECT_EQ(time->Actions(), TRSPropertyPresetTypes(pftEditMask | pftValidate));
    EXPECT_EQ(time->EditMask(), QStringLiteral("!90:00:00 >LL;1;_"));
    auto* fileProp = presets->Items(17);
    EXPECT_EQ(fileProp->MatchTypes(), TRSPresetMatchTypes(mtPropertyName | mtPropertyType));
    EXPECT_EQ(fileProp->TypeNames()->Count(), 0);
    auto* modal = presets->Items(13);
    EXPECT_EQ(modal->PickList()->Count(), 11);
    EXPECT_EQ(modal->EditStyle(), esPickList);

    auto* file = qobject_cast<TRSTFilenamePropertyPreset*>(presets->Items(12));
    ASSERT_TRUE(file);
    file->SetInitialDir(QStringLiteral("/tmp/logs/"));
    EXPECT_EQ(file->InitialDir(), QStringLiteral("/tmp/logs"));
    file->SetInitialDir(QStringLiteral("C:\\"));
    EXPECT_EQ(file->InitialDir(), QStringLiteral("C:\\"));
    file->SetInitialDir(QStringLiteral("/"));
    EXPECT_EQ(file->InitialDir(), QStringLiteral("/"));
}

TEST(PresetRegistry, AnEmptiedListStaysEmptyWhenStoredAndReadBack) {
    TRSObjectInspector source;
    auto* preset = source.Presets()->Items(6); // TStrings
    preset->TypeNames()->Clear();
    preset->SetHint(QStringLiteral("lines"));
    auto* file = qobject_cast<TRSTFilenamePropertyPreset*>(source.Presets()->Items(12));
    file->SetFilter(QStringLiteral("Logs|*.log"));
    file->SetOptions(TRSTFilenamePropertyPreset::TOpenOptions(TRSTFilenamePropertyPreset::ofFileMustExist));
    QBuffer buffer;
    ASSERT_TRUE(buffer.open(QIODevice::ReadWrite));
    TWriter writer(&buffer);
    source.WriteDefinedProperties(writer);
    buffer.seek(0);

    TRSObjectInspector target;
    TReader reader(&buffer);
    ASSERT_EQ(reader.ReadStr(), QStringLiteral("HPresets"));
    ASSERT_TRUE(target.ReadDefinedProperty(reader, QStringLiteral("HPresets")));
    ASSERT_EQ(target.Presets()->Count(), source.Presets()->Count());
    auto* read = qobject_cast<TRSTStringsPropertyPreset*>(target.Presets()->Items(6));
    ASSERT_TRUE(read);
    // The class constructor added "TStrings" again; the stored flag empties it.
    EXPECT_EQ(read->TypeNames()->Count(), 0);
    EXPECT_EQ(read->Hint(), QStringLiteral("lines"));
    auto* readFile = qobject_cast<TRSTFilenamePropertyPreset*>(target.Presets()->Items(12));
    EXPECT_EQ(readFile->Filter(), QStringLiteral("Logs|*.log"));
    EXPECT_EQ(readFile->Options(),
              TRSTFilenamePropertyPreset::TOpenOptions(TRSTFilenamePropertyPreset::ofFileMustExist));
    // A list that was not emptied keeps what was stored.
    EXPECT_EQ(target.Presets()->Items(0)->TypeNames()->Lines(), QStringList{"TComponent"});
}

TEST_F(PresetClassesFixture, ColourAndCursorRowsShowAndTakeNames) {
    TRSItemProperty* color = Row(QStringLiteral("Color"));
    ASSERT_TRUE(color);
    EXPECT_EQ(color->TypeName(), QStringLiteral("TColor"));
    EXPECT_EQ(color->Value(), QStringLiteral("clBtnFace"));
    EXPECT_EQ(color->EditStyle(), esPickList);
    const QStringList colors = PickListOf(color);
    EXPECT_TRUE(colors.contains(QStringLiteral("clRed")));
    EXPECT_EQ(colors, GetColorValues());
    Commit(color, QStringLiteral("clRed"));
    EXPECT_EQ(gadget->Color(), clRed);
    EXPECT_EQ(Row(QStringLiteral("Color"))->Value(), QStringLiteral("clRed"));
    Commit(Row(QStringLiteral("Color")), QStringLiteral("$00123456"));
    EXPECT_EQ(gadget->Color(), 0x123456);
    EXPECT_EQ(Row(QStringLiteral("Color"))->Value(), QStringLiteral("$00123456"));
    // Text that names no colour is refused and the value stays.
    EXPECT_THROW(Commit(Row(QStringLiteral("Color")), QStringLiteral("clNoSuchColour")), Exception);
    EXPECT_EQ(gadget->Color(), 0x123456);

    TRSItemProperty* cursor = Row(QStringLiteral("Cursor"));
    EXPECT_EQ(cursor->Value(), QStringLiteral("crDefault"));
    EXPECT_TRUE(PickListOf(cursor).contains(QStringLiteral("crHandPoint")));
    Commit(cursor, QStringLiteral("crHandPoint"));
    EXPECT_EQ(gadget->Cursor(), crHandPoint);
}

TEST_F(PresetClassesFixture, ModalResultRowsGoByPositionInThePickList) {
    TRSItemProperty* modal = Row(QStringLiteral("ModalResult"));
    EXPECT_EQ(modal->Value(), QStringLiteral("mrOk"));
    EXPECT_EQ(PickListOf(modal).size(), 11);
    Commit(modal, QStringLiteral("mrYesToAll"));
    EXPECT_EQ(gadget->ModalResult(), 10);
    // A name that is not in the list writes nothing.
    Commit(Row(QStringLiteral("ModalResult")), QStringLiteral("mrMaybe"));
    EXPECT_EQ(gadget->ModalResult(), 10);
    // A value outside the list shows as its number and stays as it is; the refresh goes on.
    for (const int outside : {11, 42, -1}) {
        gadget->SetModalResult(outside);
        ASSERT_TRUE(Row(QStringLiteral("ModalResult"))->RefreshValue());
        EXPECT_EQ(Row(QStringLiteral("ModalResult"))->Value(), QString::number(outside));
        EXPECT_EQ(gadget->ModalResult(), outside);
    }
    gadget->SetModalResult(10); // the last name of the list
    ASSERT_TRUE(Row(QStringLiteral("ModalResult"))->RefreshValue());
    EXPECT_EQ(Row(QStringLiteral("ModalResult"))->Value(), QStringLiteral("mrYesToAll"));
}

TEST_F(PresetClassesFixture, DateAndTimeRowsUseTheirFormatsAndMasks) {
    TRSItemProperty* start = Row(QStringLiteral("Start"));
    EXPECT_EQ(start->Value(), QStringLiteral("05/03/2024"));
    EXPECT_EQ(start->EditMask(), QStringLiteral("!90/00/0000;1;_"));
    EXPECT_EQ(start->EditStyle(), esEllipsis);
    Commit(start, QStringLiteral("06/03/2024"));
    EXPECT_DOUBLE_EQ(gadget->Start(), 45357);

    TRSItemProperty* alarm = Row(QStringLiteral("AlarmTime"));
    EXPECT_EQ(alarm->Value(), QStringLiteral("10:30:00 AM"));
    EXPECT_EQ(alarm->EditStyle(), esSimple);
    Commit(alarm, QStringLiteral("06:15:00 PM"));
    EXPECT_NEAR(gadget->AlarmTime(), (18 * 60 + 15) / 1440.0, 1e-9);
    EXPECT_THROW(Commit(Row(QStringLiteral("AlarmTime")), QStringLiteral("25:99:00 XX")), Exception);

    TRSItemProperty* stamp = Row(QStringLiteral("Stamp"));
    EXPECT_EQ(stamp->Value(), QStringLiteral("05/03/2024 06:00:00 PM"));
    Commit(stamp, QStringLiteral("07/03/2024 08:00:00 AM"));
    EXPECT_NEAR(gadget->Stamp(), 45358 + 8 / 24.0, 1e-9);
}

TEST_F(PresetClassesFixture, DatePopUpsWriteTheChosenDateAndTheDateTimeKeepsItsTime) {
    int shown = 0;
    ScopedModalExecutor answer([&](QDialog* dialog) {
        auto* editor = qobject_cast<TfrmDateEditor*>(dialog);
        if (!editor)
            return int(QDialog::Rejected);
        ++shown;
        // The pop-up opens on the stored date; the user picks the 20th of that month.
        EXPECT_EQ(editor->MonthCalendar1->selectedDate(), QDate(2024, 3, 5));
        editor->MonthCalendar1->setSelectedDate(QDate(2024, 3, 20));
        editor->MonthCalendar1Click(QPoint(30, 120));
        return editor->result();
    });
    TRSItemProperty* start = Row(QStringLiteral("Start"));
    start->OnEditButtonClick(start);
    Settle();
    EXPECT_DOUBLE_EQ(gadget->Start(), EncodeDateTime(QDateTime(QDate(2024, 3, 20), QTime(0, 0))));
    TRSItemProperty* stamp = Row(QStringLiteral("Stamp"));
    stamp->OnEditButtonClick(stamp);
    Settle();
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(DecodeDateTime(gadget->Stamp()), QDateTime(QDate(2024, 3, 20), QTime(18, 0)));
}

TEST_F(PresetClassesFixture, ComponentReferencesArePickedFromTheFormsComponents) {
    TRSItemProperty* link = Row(QStringLiteral("Link"));
    ASSERT_TRUE(link);
    EXPECT_EQ(link->EditStyle(), esPickList);
    EXPECT_EQ(link->Font()->Color(), QColor(0x80, 0, 0));
    EXPECT_EQ(PickListOf(link), (QStringList{"Gadget1", "Gadget2"}));
    Commit(link, QStringLiteral("Gadget2"));
    EXPECT_EQ(gadget->Link(), other);
    // An unknown name is refused rather than clearing the reference.
    EXPECT_THROW(Commit(Row(QStringLiteral("Link")), QStringLiteral("Nobody")), Exception);
    EXPECT_EQ(gadget->Link(), other);
    Commit(Row(QStringLiteral("Link")), QString());
    EXPECT_EQ(gadget->Link(), nullptr);

    // Sub-rows of a component-valued property are drawn in green.
    gadget->SetLink(other);
    inspector->PostRescan();
    Settle();
    // Presets see shown rows only: the sub-rows once their row is expanded.
    Row(QStringLiteral("Link"))->Expand();
    inspector->PresetsChanged();
    TRSItemProperty* sub = Row(QStringLiteral("Link.Caption"));
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->Font()->Color(), QColor(0, 0x80, 0));

    // A form without matching components offers one empty entry.
    QWidget lonely;
    TRSObjectInspector alone(&lonely);
    TGadget single;
    alone.SetComponent(&single);
    Settle();
    EXPECT_EQ(PickListOf(RowOf(alone, QStringLiteral("Link"))), QStringList{QString()});
}

TEST_F(PresetClassesFixture, FileNamesOpenTheFileDialogAndFontNamesOfferTheScreenFonts) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString chosen = dir.filePath(QStringLiteral("trace.log"));
    QStringList titles;
    ScopedModalExecutor answer([&](QDialog* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        if (!files)
            return int(QDialog::Rejected);
        titles << files->windowTitle();
        files->selectFile(chosen);
        return int(QDialog::Accepted);
    });
    // A string property named FileName of any object, and a TFilename property.
    for (const QString& name : {QStringLiteral("FileName"), QStringLiteral("LogPath")}) {
        TRSItemProperty* row = Row(name);
        ASSERT_TRUE(row) << name.toStdString();
        EXPECT_EQ(row->EditStyle(), esEllipsis) << name.toStdString();
        row->OnEditButtonClick(row);
        Settle();
    }
    EXPECT_EQ(gadget->FileName(), chosen);
    EXPECT_EQ(gadget->LogPath(), chosen);
    EXPECT_EQ(titles.size(), 2);
    // Another string property is a plain one.
    EXPECT_EQ(Row(QStringLiteral("Caption"))->EditStyle(), esSimple);

    TRSItemProperty* fontName = Row(QStringLiteral("FontName"));
    EXPECT_EQ(fontName->EditStyle(), esPickList);
    EXPECT_EQ(PickListOf(fontName), QFontDatabase::families());
}

TEST_F(PresetClassesFixture, StringListsShowTheirLinesAsHintAndAreEditedInTheStringsEditor) {
    gadget->Lines()->SetLines({"one", "two", "three", "four", "five"});
    inspector->PostRescan();
    Settle();
    TRSItemProperty* lines = Row(QStringLiteral("Lines"));
    EXPECT_EQ(lines->EditStyle(), esEllipsis);
    EXPECT_EQ(lines->Hint(), QStringLiteral("one\ntwo\nthree\nfour\n..."));
    EXPECT_EQ(TRSTStringsPropertyPreset::HintOf({"a", "b  "}), QStringLiteral("a\nb"));

    bool memoShown = false;
    ScopedModalExecutor answer([&](QDialog* dialog) {
        auto* editor = qobject_cast<TfrmRSStringsEditor*>(dialog);
        if (!editor)
            return int(QDialog::Rejected);
        memoShown = editor->pcViews->currentWidget() == editor->tsMemo;
        EXPECT_EQ(editor->Lines().size(), 5);
        editor->Memo1->setPlainText(QStringLiteral("alpha\nbeta"));
        return int(QDialog::Accepted);
    });
    lines->OnEditButtonClick(lines);
    Settle();
    EXPECT_TRUE(memoShown);
    EXPECT_EQ(gadget->Lines()->Lines(), (QStringList{"alpha", "beta"}));
    EXPECT_EQ(Row(QStringLiteral("Lines"))->Hint(), QStringLiteral("alpha\nbeta"));
}

TEST(PresetClasses, TheIniStringsPresetTakesOnlyStringsOfValueListEditors) {
    ScopedRecordingPresenter messages;
    QWidget form;
    TRSObjectInspector inspector(&form);
    TValueListEditor values;
    values.Strings()->SetLines({"a=1", "b=2"});
    inspector.SetComponent(&values);
    Settle();
    QList<bool> iniOnly;
    ScopedModalExecutor answer([&](QDialog* dialog) {
        auto* editor = qobject_cast<TfrmRSStringsEditor*>(dialog);
        if (!editor)
            return int(QDialog::Rejected);
        iniOnly << (!editor->MemoVisible() && editor->pcViews->currentWidget() == editor->tsINI);
        if (iniOnly.last())
            editor->Grid->Items()->FindByPath(QStringLiteral("b"))->SetValue(QStringLiteral("3"));
        editor->accept();
        return editor->result();
    });
    TRSItemProperty* strings = RowOf(inspector, QStringLiteral("Strings"));
    strings->OnEditButtonClick(strings);
    Settle();
    TRSItemProperty* notes = RowOf(inspector, QStringLiteral("Notes"));
    notes->OnEditButtonClick(notes);
    Settle();
    EXPECT_EQ(iniOnly, (QList<bool>{true, false}));
    EXPECT_EQ(values.Strings()->Lines(), (QStringList{"a=1", "b=3"}));

    // The same property name on another class is a plain string list.
    TGadget gadget;
    inspector.SetComponent(&gadget);
    Settle();
    auto* ini = inspector.Presets()->Items(14);
    EXPECT_FALSE(ini->Matches(RowOf(inspector, QStringLiteral("Lines"))));
}

TEST_F(PresetClassesFixture, FontsPicturesTreesAndListItemsOpenTheirDialogs) {
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("logo.png"));
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(picture));
    gadget->Nodes()->AddChild(nullptr, QStringLiteral("root"));
    gadget->ListItems()->Add()->SetCaption(QStringLiteral("first"));
    QStringList seen;
    ScopedModalExecutor answer([&](QDialog* dialog) {
        seen << QLatin1String(dialog->metaObject()->className());
        if (auto* font = qobject_cast<QFontDialog*>(dialog)) {
            QFont f = font->currentFont();
            f.setPointSize(14);
            font->setCurrentFont(f);
            font->accept();
            return font->result();
        }
        if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
            files->selectFile(picture);
            return int(QDialog::Accepted);
        }
        if (auto* tree = qobject_cast<TfrmTTreeNodesDlg*>(dialog)) {
            tree->NewItem();
            tree->leCaption->setText(QStringLiteral("added"));
            tree->CaptionChanged();
            tree->done(QDialog::Accepted);
            return tree->result();
        }
        if (auto* list = qobject_cast<TfrmTListItemsDlg*>(dialog)) {
            list->SetSelected(list->Nodes()->GetFirstNode());
            list->NewSubitem();
            list->leCaption->setText(QStringLiteral("detail"));
            list->CaptionChanged();
            list->done(QDialog::Accepted);
            return list->result();
        }
        return int(QDialog::Rejected);
    });
    for (const QString& name : {QStringLiteral("Font"), QStringLiteral("Picture"), QStringLiteral("Nodes"),
                                QStringLiteral("ListItems")}) {
        TRSItemProperty* row = Row(name);
        ASSERT_TRUE(row) << name.toStdString();
        ASSERT_TRUE(row->OnEditButtonClick) << name.toStdString();
        row->OnEditButtonClick(row);
        Settle();
    }
    EXPECT_EQ(seen, (QStringList{"QFontDialog", "QFileDialog", "TfrmTTreeNodesDlg", "TfrmTListItemsDlg"}));
    EXPECT_EQ(gadget->Font()->Size(), 14);
    EXPECT_EQ(gadget->Picture()->loaded, picture);
    EXPECT_EQ(gadget->Picture()->size, QSize(3, 2));
    ASSERT_EQ(gadget->Nodes()->Count(), 2);
    EXPECT_EQ(gadget->Nodes()->Model()->item(1)->text(), QStringLiteral("added"));
    EXPECT_EQ(gadget->ListItems()->Item(0)->SubItems()->Lines(), QStringList{"detail"});
}

TEST_F(PresetClassesFixture, TheCollectionPresetOpensOneEditorPerInspectorAndCollection) {
    TRSItemProperty* items = Row(QStringLiteral("Items"));
    ASSERT_TRUE(items);
    EXPECT_EQ(items->EditStyle(), esEllipsis);
    items->OnEditButtonClick(items);
    items->OnEditButtonClick(items);
    QList<TfrmCollectionEditor*> open;
    for (TfrmCollectionEditor* e : OpenCollectionEditors())
        if (e->Collection() == gadget->Items())
            open << e;
    ASSERT_EQ(open.size(), 1);
    EXPECT_EQ(open.first()->windowTitle(), QStringLiteral("Editing Gadget1.Items"));
    EXPECT_EQ(open.first()->Inspector(), inspector);
    delete open.first();
}

TEST_F(PresetClassesFixture, ARowKeepingAHandlerOfADeletedPresetCallsNothing) {
    TRSItemProperty* color = Row(QStringLiteral("Color"));
    const TRSGetPickListEvent handler = color->OnGetPickList;
    ASSERT_TRUE(handler);
    delete inspector->Presets()->Items(3);
    QStringList values;
    handler(color, QStringLiteral("Color"), values);
    EXPECT_TRUE(values.isEmpty());
}
