#pragma once
// The real main window in a clean environment (its own Windows folder and registry store), with a
// recording message presenter, and the helpers the tests share.
#include "app/Main.h"
#include "classlib/TreeNodes.h"
#include "inspector/RSObjectInspector.h"
#include "model/IOClasses.h"
#include "tests/support/RecordingPresenter.h"
#include "ui_Main.h"
#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// Runs the posted events (rescans and change notifications) until none is left.
inline void Settle() {
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
}

inline QStringList RowNames(TRSItemProperties* rows) {
    QStringList names;
    for (int i = 0; i < rows->Count(); ++i)
        names << rows->Items(i)->Name();
    return names;
}

class MainWindowGlue : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ScopedRecordingPresenter messages;
    std::unique_ptr<TFormMain> form;

    MainWindowGlue() {
        qputenv("VEXADAXO_WINDIR", dir.filePath(QStringLiteral("windows")).toLocal8Bit());
        qputenv("VEXADAXO_REGISTRY", dir.filePath(QStringLiteral("registry.ini")).toLocal8Bit());
        form = std::make_unique<TFormMain>();
    }
    ~MainWindowGlue() override {
        form.reset();
        qunsetenv("VEXADAXO_WINDIR");
        qunsetenv("VEXADAXO_REGISTRY");
    }

    Ui::TFormMain& ui() { return form->ui(); }
    TRSObjectInspector* Inspector() { return ui().RSObjectInspector1; }
    TRSItemProperty* Row(const QString& path) { return Inspector()->Items()->FindByPath(path); }
    QStringList Filters() { return Inspector()->Filters()->Lines(); }
    bool Showing() { return !Inspector()->isHidden() && ui().lbInvalid->isHidden(); }
    bool ShowingInvalid() { return Inspector()->isHidden() && !ui().lbInvalid->isHidden(); }

    TRemoteIO* AddDevice(int address, int modelCode) {
        TRemoteIO* device = form->Network->AddRemoteIO();
        device->Comm()->SetCurrentAddress(address);
        device->Comm()->SetAddress(address);
        device->Information()->SetModelCode(modelCode);
        return device;
    }
    void Select(TTreeNode* node) {
        ui().tvNetwork->setCurrentIndex(node->index());
        Settle();
    }
    // Writes a row as the grid does when an edit is committed.
    void Edit(const QString& path, const QString& text) {
        TRSItemProperty* row = Row(path);
        ASSERT_TRUE(row) << path.toStdString();
        Inspector()->SelectItem(row);
        row->SetValue(text);
        row->DoValidate();
        Settle();
    }
    // The pick list the grid would drop down for a row.
    QStringList PickList(const QString& path) {
        TRSItemProperty* row = Row(path);
        if (!row)
            return {QStringLiteral("<no row>")};
        Inspector()->SelectItem(row);
        const TGridCoord cell = Inspector()->CellOf(Inspector()->CurItem(), 1);
        QStringList list;
        Inspector()->GetPickListItems(cell.X, cell.Y, list);
        return list;
    }
};
