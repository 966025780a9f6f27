#pragma once
// A draw grid that keeps a text and an object per cell and draws the texts itself.
#include "classlib/DrawGrid.h"
#include <QStringList>
#include <QVector>

class TStringGrid : public TDrawGrid {
    Q_OBJECT

public:
    explicit TStringGrid(QWidget* parent = nullptr);

    QString Cells(int col, int row) const;
    void SetCells(int col, int row, const QString& value);
    QObject* Objects(int col, int row) const;
    void SetObjects(int col, int row, QObject* value);
    QStringList Cols(int index) const;
    void SetCols(int index, const QStringList& value);
    QStringList Rows(int index) const;
    void SetRows(int index, const QStringList& value);

    QString GetEditText(int col, int row) override;
    void SetEditText(int col, int row, const QString& value) override;

protected:
    void DrawCell(int col, int row, const QRect& rect, TGridDrawState state, QPainter& painter) override;
    void SizeChanged(int oldColCount, int oldRowCount) override;
    void RowMoved(int fromIndex, int toIndex) override;
    void ColumnMoved(int fromIndex, int toIndex) override;

private:
    struct TCell {
        QString Text;
        QObject* Object = nullptr; // not owned
    };
    const TCell* CellAt(int col, int row) const;
    TCell& CellRef(int col, int row);
    QVector<QVector<TCell>> m_cells; // [row][col]
};
