#pragma once
// A shown item grid with rows A=1, B=2, C=3 and the current cell on A's value, for the editor tests.
#include "inspector/RSInplaceEditList.h"
#include "inspector/RSItemListEditor.h"
#include <QTest>

struct ShownItemGrid {
    TRSItemListEditor grid;
    ShownItemGrid() {
        grid.resize(320, 240);
        for (const char* n : {"A", "B", "C"})
            grid.Items()->AddByPath(QString::fromLatin1(n), QString::number(grid.Items()->Count() + 1),
                                    false);
        grid.show();
        grid.SelectItem(grid.Items()->Items(0));
    }
    TRSItemProp* Row(int i) const { return grid.Items()->Items(i); }
    TRSInplaceEditList* Editor() const { return grid.Editor(); }
    // Moves away and back, so that the editor reloads the row's settings.
    void Reselect(TRSItemProp* row) {
        grid.SelectItem(row == Row(1) ? Row(0) : Row(1));
        grid.SelectItem(row);
    }
    // Gives a row a regular-expression mask and reloads the editor on it.
    TRSItemProp* WithPattern(int i, const QString& pattern) {
        TRSItemProp* row = Row(i);
        row->SetEditMask(pattern);
        row->SetExpressionMask(true);
        Reselect(row);
        return row;
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(Editor(), Qt::Key(key), mods);
    }
    void Type(const QString& text) {
        Editor()->selectAll();
        QTest::keyClicks(Editor(), text);
    }
};
