#include "app/DiagnosticStringGrid.h"
#include "classlib/Application.h"
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <vector>

namespace {
// Room around a cell's text: the grid draws it 2 pixels in from the left, and a value drawn against
// the right edge is followed by a blank.
constexpr int TextMargin = 8;
// A lamp picture of 16 pixels drawn 1 pixel in.
constexpr int MinDataWidth = 18;
} // namespace

void TDiagnosticStringGrid::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    MouseDownCell = MouseCoord(x, y);
    TStringGrid::MouseDown(button, shift, x, y);
}

void TDiagnosticStringGrid::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    TStringGrid::MouseUp(button, shift, x, y);
    if (OnMouseUp)
        OnMouseUp(this, button, shift, x, y);
}

void TDiagnosticStringGrid::keyReleaseEvent(QKeyEvent* event) {
    TStringGrid::keyReleaseEvent(event);
    if (event->isAutoRepeat() || !OnKeyUp)
        return;
    // No exception may cross the toolkit's event dispatch.
    try {
        OnKeyUp(this, event->key(), event->modifiers());
    } catch (...) {
        ::HandleException(this);
    }
}

void TDiagnosticStringGrid::Resize() {
    TStringGrid::Resize();
    if (OnResize)
        OnResize(this);
}

void TDiagnosticStringGrid::DrawCell(int col, int row, const QRect& rect, TGridDrawState state,
                                     QPainter& painter) {
    // The cell handlers that draw pictures or their own text ask IsCurrent themselves.
    if (!IsCurrent(col, row))
        painter.setPen((state & gdSelected) ? TStaleCells::SelectedTextColor() : TStaleCells::TextColor());
    TStringGrid::DrawCell(col, row, rect, state, painter);
}

void TDiagnosticStringGrid::FitColumns() {
    const int cols = ColCount();
    if (cols <= 0)
        return;
    const QFontMetrics metrics(font());
    std::vector<int> widths(size_t(cols), 0);
    int used = 0;
    for (int c = 0; c < cols; ++c) {
        int width = 0;
        for (int r = 0; r < RowCount(); ++r)
            width = std::max(width, metrics.horizontalAdvance(Cells(c, r)));
        if (c < FixedCols())
            width = std::max(width, metrics.horizontalAdvance(WidestName));
        else
            width = std::max({width, metrics.horizontalAdvance(WidestValue), MinDataWidth});
        widths[size_t(c)] = width + TextMargin;
        used += widths[size_t(c)] + GridLineWidth();
    }
    // Never narrower than its columns: a narrow window or splitter cannot cut a value.
    const int scrollBar = verticalScrollBar()->maximum() > 0 ? verticalScrollBar()->sizeHint().width() : 0;
    setMinimumWidth(2 * frameWidth() + used + scrollBar);
    // The spare width goes to every column alike, the rest of the division to the last one.
    const int spare = std::max(0, viewport()->width() - used);
    for (int c = 0; c < cols; ++c)
        widths[size_t(c)] += spare / cols + (c == cols - 1 ? spare % cols : 0);
    for (int c = 0; c < cols; ++c)
        if (ColWidths(c) != widths[size_t(c)])
            SetColWidths(c, widths[size_t(c)]);
}

int TDiagnosticStringGrid::HeightForRows(int dataRows) const {
    int height = 2 * frameWidth();
    const int rows = std::min(RowCount(), FixedRows() + std::max(0, dataRows));
    for (int r = 0; r < rows; ++r)
        height += RowHeights(r) + GridLineWidth();
    return height;
}
