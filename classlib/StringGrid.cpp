#include "classlib/StringGrid.h"
#include "classlib/InplaceEdit.h"
#include "classlib/SysUtils.h"
#include <QPainter>

TStringGrid::TStringGrid(QWidget* parent) : TDrawGrid(parent) {
    SizeChanged(ColCount(), RowCount());
}

const TStringGrid::TCell* TStringGrid::CellAt(int col, int row) const {
    if (row < 0 || row >= m_cells.size() || col < 0 || col >= m_cells.at(row).size())
        return nullptr;
    return &m_cells.at(row).at(col);
}

TStringGrid::TCell& TStringGrid::CellRef(int col, int row) {
    if (col < 0 || col >= ColCount())
        RaiseListIndexError(col);
    if (row < 0 || row >= RowCount())
        RaiseListIndexError(row);
    return m_cells[row][col];
}

QString TStringGrid::Cells(int col, int row) const {
    const TCell* cell = CellAt(col, row);
    return cell ? cell->Text : QString();
}

void TStringGrid::SetCells(int col, int row, const QString& value) {
    CellRef(col, row).Text = value;
    InvalidateCell(col, row);
    // An editor open on the cell shows the new text (its own typing arrives here with the same text).
    if (InplaceEditor() && col == InplaceCol() && row == InplaceRow() && InplaceEditor()->Text() != value)
        InvalidateEditor();
}

QObject* TStringGrid::Objects(int col, int row) const {
    const TCell* cell = CellAt(col, row);
    return cell ? cell->Object : nullptr;
}

void TStringGrid::SetObjects(int col, int row, QObject* value) {
    CellRef(col, row).Object = value;
}

QStringList TStringGrid::Cols(int index) const {
    QStringList list;
    for (int r = 0; r < RowCount(); ++r)
        list << Cells(index, r);
    return list;
}

void TStringGrid::SetCols(int index, const QStringList& value) {
    for (int r = 0; r < RowCount() && r < value.size(); ++r)
        SetCells(index, r, value.at(r));
}

QStringList TStringGrid::Rows(int index) const {
    QStringList list;
    for (int c = 0; c < ColCount(); ++c)
        list << Cells(c, index);
    return list;
}

void TStringGrid::SetRows(int index, const QStringList& value) {
    for (int c = 0; c < ColCount() && c < value.size(); ++c)
        SetCells(c, index, value.at(c));
}

QString TStringGrid::GetEditText(int col, int row) {
    QString value = Cells(col, row);
    if (OnGetEditText)
        OnGetEditText(this, col, row, value);
    return value;
}

void TStringGrid::SetEditText(int col, int row, const QString& value) {
    if (col >= 0 && col < ColCount() && row >= 0 && row < RowCount() && Cells(col, row) != value)
        SetCells(col, row, value);
    TDrawGrid::SetEditText(col, row, value);
}

void TStringGrid::DrawCell(int col, int row, const QRect& rect, TGridDrawState state, QPainter& painter) {
    if (DefaultDrawing())
        painter.drawText(rect.adjusted(2, 2, -2, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         Cells(col, row));
    TDrawGrid::DrawCell(col, row, rect, state, painter);
}

void TStringGrid::SizeChanged(int, int) {
    m_cells.resize(RowCount());
    for (auto& row : m_cells)
        row.resize(ColCount());
}

void TStringGrid::RowMoved(int fromIndex, int toIndex) {
    m_cells.move(fromIndex, toIndex);
    TDrawGrid::RowMoved(fromIndex, toIndex);
}

void TStringGrid::ColumnMoved(int fromIndex, int toIndex) {
    for (auto& row : m_cells)
        row.move(fromIndex, toIndex);
    TDrawGrid::ColumnMoved(fromIndex, toIndex);
}
