#pragma once
// The string grid of the diagnostics view: a Tag that holds the grid's small state (the row whose
// editor was opened, or the pressed state of the output push buttons), the mouse-up and key-up
// events the output push buttons need, and the cells drawn as not current after a failed poll.
#include "app/StaleCells.h"
#include "classlib/StringGrid.h"
#include <functional>

class TDiagnosticStringGrid : public TStringGrid {
    Q_OBJECT

public:
    using TKeyUpEvent = std::function<void(TCustomDrawGrid* sender, int key, Qt::KeyboardModifiers shift)>;

    explicit TDiagnosticStringGrid(QWidget* parent = nullptr) : TStringGrid(parent) {}

    int Tag = 0;
    // Switches the in-place editing of the cells on or off.
    void SetEditing(bool editing) {
        SetOptions(editing ? (Options() | goEditing) : (Options() & ~goEditing));
    }
    // The cell under the last mouse press, taken before the press moved or scrolled the grid.
    TGridCoord MouseDownCell{-1, -1};
    TMouseEvent OnMouseUp;
    // Not called for the releases of a held key's auto-repeat.
    TKeyUpEvent OnKeyUp;
    // After the grid's size changed.
    TNotifyEvent OnResize;

    // Texts the grid receives after it was filled: the widest value of a data column and the widest
    // name (with what the display may add to it). The column fit keeps room for them.
    QString WidestValue;
    QString WidestName;
    // Each column as wide as its widest text (and the texts it may receive), the viewport's spare
    // width shared out among the columns, so that every text shows whole.
    void FitColumns();
    // The height that shows the fixed rows and the first dataRows data rows whole.
    int HeightForRows(int dataRows) const;

    // Rows firstRow to lastRow of a column are current again (a good reply wrote them) or no longer
    // (their poll failed); the grid repaints when that changes anything.
    void MarkCurrent(int col, int firstRow, int lastRow, bool current) {
        if (m_stale.Mark(col, firstRow, lastRow, current))
            InvalidateGrid();
    }
    // What the drawing of a cell goes by.
    bool IsCurrent(int col, int row) const { return m_stale.IsCurrent(col, row); }
    void MarkAllCurrent() {
        m_stale.Clear();
        InvalidateGrid();
    }

protected:
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void Resize() override;
    void DrawCell(int col, int row, const QRect& rect, TGridDrawState state, QPainter& painter) override;

private:
    TStaleCells m_stale;
};
