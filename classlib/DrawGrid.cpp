#include "classlib/DrawGrid.h"
#include "classlib/Application.h"
#include "classlib/Dialogs.h"
#include "classlib/InplaceEdit.h"
#include "classlib/SysUtils.h"
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <algorithm>
#include <climits>
#include <utility>

namespace {

// The largest column width, row height or grid line, whatever number a caller or a stream sets: far past
// any screen, and small enough that the geometry's sums stay within int.
constexpr int MaxExtent = 1 << 16;
// Every sum of the geometry adds at most one cell and one grid line per column or row, from 0: the
// largest grid must leave room for one more line on top of that.
static_assert((qint64(MaxGridLines) + 1) * 2 * MaxExtent <= INT_MAX);

int BoundedExtent(int value) {
    return std::clamp(value, 0, MaxExtent);
}

// Restores a value when the scope ends, whatever way it ends.
template <class T> class TRestore {
public:
    TRestore(T& ref, T value) : m_ref(ref), m_old(ref) { m_ref = value; }
    ~TRestore() { m_ref = m_old; }
    TRestore(const TRestore&) = delete;
    TRestore& operator=(const TRestore&) = delete;

private:
    T& m_ref;
    T m_old;
};

} // namespace

TCustomDrawGrid::TCustomDrawGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    m_color = ColorToRGB(m_colorValue);
    m_fixedColor = ColorToRGB(m_fixedColorValue);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    setMouseTracking(true);
    horizontalScrollBar()->setTracking(false);
    verticalScrollBar()->setTracking(false);
    UpdateScrollRange();
}

TCustomDrawGrid::~TCustomDrawGrid() {
    // The editor goes first: closing a window that holds the focused editor would otherwise report the
    // focus change to a grid that is already half torn down.
    delete m_inplaceEdit;
    m_inplaceEdit = nullptr;
}

template <class F> void TCustomDrawGrid::Guarded(F&& f) {
    try {
        f();
    } catch (...) {
        HandleException(std::current_exception());
    }
}

void TCustomDrawGrid::HandleException(const std::exception_ptr& error) {
    MessageDlg(ExceptionMessage(error), TMsgDlgType::mtError, mbOK);
}

// ---- sizes -------------------------------------------------------------------------------------------

void TCustomDrawGrid::SizeVectors() {
    if (!m_colWidths.isEmpty())
        m_colWidths.resize(m_colCount, m_defaultColWidth);
    if (!m_rowHeights.isEmpty())
        m_rowHeights.resize(m_rowCount, m_defaultRowHeight);
}

void TCustomDrawGrid::ClampState() {
    auto clamp = [&](TGridCoord& c, int minX, int minY) {
        c.X = std::clamp(c.X, minX, m_colCount - 1);
        c.Y = std::clamp(c.Y, minY, m_rowCount - 1);
    };
    clamp(m_current, 0, 0);
    clamp(m_anchor, 0, 0);
    clamp(m_topLeft, m_fixedCols, m_fixedRows);
    m_topLeft.X = std::min(m_topLeft.X, MaxLeftCol());
    m_topLeft.Y = std::min(m_topLeft.Y, MaxTopRow());
    if (m_inplaceCol >= m_colCount || m_inplaceRow >= m_rowCount) {
        m_inplaceCol = -1;
        m_inplaceRow = -1;
    }
}

void TCustomDrawGrid::SetColCount(int value) {
    value = std::max(1, value);
    if (value > MaxGridLines)
        throw EInvalidOperation(QStringLiteral("Column count must not exceed %1").arg(MaxGridLines));
    if (value == m_colCount)
        return;
    const int old = m_colCount;
    if (value <= m_fixedCols)
        m_fixedCols = value - 1;
    m_colCount = value;
    SizeVectors();
    ClampState();
    UpdateScrollRange();
    SizeChanged(old, m_rowCount);
    InvalidateGrid();
    if (m_inplaceEdit && m_inplaceEdit->isVisible())
        InvalidateEditor();
}

void TCustomDrawGrid::SetRowCount(int value) {
    value = std::max(1, value);
    if (value > MaxGridLines)
        throw EInvalidOperation(QStringLiteral("Row count must not exceed %1").arg(MaxGridLines));
    if (value == m_rowCount)
        return;
    const int old = m_rowCount;
    if (value <= m_fixedRows)
        m_fixedRows = value - 1;
    m_rowCount = value;
    SizeVectors();
    ClampState();
    UpdateScrollRange();
    SizeChanged(m_colCount, old);
    InvalidateGrid();
    if (m_inplaceEdit && m_inplaceEdit->isVisible())
        InvalidateEditor();
}

void TCustomDrawGrid::SetFixedCols(int value) {
    if (value < 0 || value >= m_colCount)
        throw EInvalidOperation(QStringLiteral("Fixed column count must be less than column count"));
    if (value == m_fixedCols)
        return;
    m_fixedCols = value;
    FixedCountChanged();
}

void TCustomDrawGrid::SetFixedRows(int value) {
    if (value < 0 || value >= m_rowCount)
        throw EInvalidOperation(QStringLiteral("Fixed row count must be less than row count"));
    if (value == m_fixedRows)
        return;
    m_fixedRows = value;
    FixedCountChanged();
}

void TCustomDrawGrid::FixedCountChanged() {
    // Like the class library: a new fixed count starts the grid at its first scrollable cell.
    m_topLeft = {m_fixedCols, m_fixedRows};
    m_current = m_topLeft;
    m_anchor = m_current;
    if (m_options & goRowSelect)
        m_anchor.X = m_colCount - 1;
    UpdateScrollRange();
    InvalidateGrid();
    if (m_inplaceEdit && m_inplaceEdit->isVisible())
        InvalidateEditor();
}

void TCustomDrawGrid::SetDefaultColWidth(int value) {
    value = BoundedExtent(value);
    if (value == m_defaultColWidth)
        return;
    m_defaultColWidth = value;
    m_colWidths.clear();
    UpdateScrollRange();
    ColWidthsChanged();
    InvalidateGrid();
}

void TCustomDrawGrid::SetDefaultRowHeight(int value) {
    value = BoundedExtent(value);
    if (value == m_defaultRowHeight)
        return;
    m_defaultRowHeight = value;
    m_rowHeights.clear();
    UpdateScrollRange();
    RowHeightsChanged();
    InvalidateGrid();
}

int TCustomDrawGrid::ColWidths(int index) const {
    if (index < 0 || index >= m_colWidths.size())
        return m_defaultColWidth;
    return m_colWidths.at(index);
}

void TCustomDrawGrid::SetColWidths(int index, int value) {
    if (index < 0 || index >= m_colCount)
        RaiseListIndexError(index);
    value = BoundedExtent(value);
    if (ColWidths(index) == value)
        return;
    if (m_colWidths.isEmpty())
        m_colWidths.fill(m_defaultColWidth, m_colCount);
    m_colWidths[index] = value;
    UpdateScrollRange();
    ColWidthsChanged();
    InvalidateGrid();
}

int TCustomDrawGrid::RowHeights(int index) const {
    if (index < 0 || index >= m_rowHeights.size())
        return m_defaultRowHeight;
    return m_rowHeights.at(index);
}

void TCustomDrawGrid::SetRowHeights(int index, int value) {
    if (index < 0 || index >= m_rowCount)
        RaiseListIndexError(index);
    value = BoundedExtent(value);
    if (RowHeights(index) == value)
        return;
    if (m_rowHeights.isEmpty())
        m_rowHeights.fill(m_defaultRowHeight, m_rowCount);
    m_rowHeights[index] = value;
    UpdateScrollRange();
    RowHeightsChanged();
    InvalidateGrid();
}

void TCustomDrawGrid::SetGridLineWidth(int value) {
    value = BoundedExtent(value);
    if (value == m_gridLineWidth)
        return;
    m_gridLineWidth = value;
    UpdateScrollRange();
    InvalidateGrid();
    InvalidateEditor();
}

void TCustomDrawGrid::SetOptions(TGridOptions value) {
    if (value & goRowSelect)
        value &= ~goAlwaysShowEditor;
    if (value == m_options)
        return;
    m_options = value;
    if (!m_editorMode) {
        if (value & goAlwaysShowEditor)
            ShowEditor();
    } else if (!(value & goEditing) || (value & goRowSelect)) {
        HideEditor();
    }
    if (value & goRowSelect) {
        m_anchor.X = m_colCount - 1;
        m_current.X = m_fixedCols;
    }
    horizontalScrollBar()->setTracking(value & goThumbTracking);
    verticalScrollBar()->setTracking(value & goThumbTracking);
    InvalidateGrid();
}

void TCustomDrawGrid::SetDefaultDrawing(bool value) {
    m_defaultDrawing = value;
    InvalidateGrid();
}

void TCustomDrawGrid::SetColor(const QColor& value) {
    m_color = value;
    m_colorValue = RGBToColor(value);
    InvalidateGrid();
}

void TCustomDrawGrid::SetColorValue(TColor value) {
    m_color = ColorToRGB(value);
    m_colorValue = value;
    InvalidateGrid();
}

void TCustomDrawGrid::SetFixedColor(const QColor& value) {
    m_fixedColor = value;
    m_fixedColorValue = RGBToColor(value);
    InvalidateGrid();
}

void TCustomDrawGrid::SetFixedColorValue(TColor value) {
    m_fixedColor = ColorToRGB(value);
    m_fixedColorValue = value;
    InvalidateGrid();
}

void TCustomDrawGrid::SetScrollBarsChecked(TScrollStyle value) {
    if (value < TScrollStyle::ssNone || value > TScrollStyle::ssBoth)
        throw EConvertError(QStringLiteral("Invalid property value"));
    SetScrollBars(value);
}

void TCustomDrawGrid::SetScrollBars(TScrollStyle value) {
    m_scrollBars = value;
    const bool h = value == TScrollStyle::ssHorizontal || value == TScrollStyle::ssBoth;
    const bool v = value == TScrollStyle::ssVertical || value == TScrollStyle::ssBoth;
    setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(v ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

// ---- geometry ----------------------------------------------------------------------------------------

int TCustomDrawGrid::FixedWidth() const {
    int w = 0;
    for (int c = 0; c < m_fixedCols; ++c)
        w += ColWidths(c) + m_gridLineWidth;
    return w;
}

int TCustomDrawGrid::FixedHeight() const {
    int h = 0;
    for (int r = 0; r < m_fixedRows; ++r)
        h += RowHeights(r) + m_gridLineWidth;
    return h;
}

int TCustomDrawGrid::MaxTopRow() const {
    const int available = viewport()->height() - FixedHeight();
    int sum = 0;
    for (int r = m_rowCount - 1; r >= m_fixedRows; --r) {
        sum += RowHeights(r) + m_gridLineWidth;
        if (sum > available)
            return std::min(r + 1, m_rowCount - 1);
    }
    return std::min(m_fixedRows, m_rowCount - 1);
}

int TCustomDrawGrid::MaxLeftCol() const {
    const int available = viewport()->width() - FixedWidth();
    int sum = 0;
    for (int c = m_colCount - 1; c >= m_fixedCols; --c) {
        sum += ColWidths(c) + m_gridLineWidth;
        if (sum > available)
            return std::min(c + 1, m_colCount - 1);
    }
    return std::min(m_fixedCols, m_colCount - 1);
}

int TCustomDrawGrid::VisibleColCount() const {
    const int limit = viewport()->width();
    int x = FixedWidth();
    int n = 0;
    for (int c = m_topLeft.X; c < m_colCount; ++c) {
        x += ColWidths(c);
        if (x > limit)
            break;
        x += m_gridLineWidth;
        ++n;
    }
    return n;
}

int TCustomDrawGrid::VisibleRowCount() const {
    const int limit = viewport()->height();
    int y = FixedHeight();
    int n = 0;
    for (int r = m_topLeft.Y; r < m_rowCount; ++r) {
        y += RowHeights(r);
        if (y > limit)
            break;
        y += m_gridLineWidth;
        ++n;
    }
    return n;
}

QRect TCustomDrawGrid::CellRect(int col, int row) const {
    if (col < 0 || col >= m_colCount || row < 0 || row >= m_rowCount)
        return {};
    int x = 0;
    if (col < m_fixedCols) {
        for (int c = 0; c < col; ++c)
            x += ColWidths(c) + m_gridLineWidth;
    } else {
        if (col < m_topLeft.X)
            return {};
        x = FixedWidth();
        for (int c = m_topLeft.X; c < col && x < viewport()->width(); ++c)
            x += ColWidths(c) + m_gridLineWidth;
    }
    int y = 0;
    if (row < m_fixedRows) {
        for (int r = 0; r < row; ++r)
            y += RowHeights(r) + m_gridLineWidth;
    } else {
        if (row < m_topLeft.Y)
            return {};
        y = FixedHeight();
        for (int r = m_topLeft.Y; r < row && y < viewport()->height(); ++r)
            y += RowHeights(r) + m_gridLineWidth;
    }
    if (x >= viewport()->width() || y >= viewport()->height())
        return {};
    return QRect(x, y, ColWidths(col), RowHeights(row));
}

TGridCoord TCustomDrawGrid::MouseCoord(int x, int y) const {
    auto axis = [this](int pos, int fixedCount, int first, int count, auto extent) {
        if (pos < 0)
            return -1;
        int edge = 0;
        for (int i = 0; i < fixedCount; ++i) {
            edge += extent(i) + m_gridLineWidth;
            if (pos < edge)
                return i;
        }
        for (int i = first; i < count; ++i) {
            edge += extent(i) + m_gridLineWidth;
            if (pos < edge)
                return i;
        }
        return -1;
    };
    TGridCoord result;
    result.X = axis(x, m_fixedCols, m_topLeft.X, m_colCount, [this](int i) { return ColWidths(i); });
    result.Y = axis(y, m_fixedRows, m_topLeft.Y, m_rowCount, [this](int i) { return RowHeights(i); });
    if (x >= viewport()->width())
        result.X = -1;
    if (y >= viewport()->height())
        result.Y = -1;
    return result;
}

void TCustomDrawGrid::MouseToCell(int x, int y, int& col, int& row) const {
    const TGridCoord c = MouseCoord(x, y);
    col = c.X;
    row = c.Y;
}

// ---- scrolling ---------------------------------------------------------------------------------------

void TCustomDrawGrid::UpdateScrollRange() {
    TRestore guard(m_updatingScroll, true);
    const int maxTop = MaxTopRow();
    const int maxLeft = MaxLeftCol();
    if (m_topLeft.Y > maxTop)
        m_topLeft.Y = std::max(maxTop, m_fixedRows);
    if (m_topLeft.X > maxLeft)
        m_topLeft.X = std::max(maxLeft, m_fixedCols);
    verticalScrollBar()->setRange(0, std::max(0, maxTop - m_fixedRows));
    verticalScrollBar()->setPageStep(std::max(1, VisibleRowCount()));
    verticalScrollBar()->setValue(m_topLeft.Y - m_fixedRows);
    horizontalScrollBar()->setRange(0, std::max(0, maxLeft - m_fixedCols));
    horizontalScrollBar()->setPageStep(std::max(1, VisibleColCount()));
    horizontalScrollBar()->setValue(m_topLeft.X - m_fixedCols);
}

void TCustomDrawGrid::scrollContentsBy(int, int) {
    if (m_updatingScroll)
        return;
    Guarded([&] {
        MoveTopLeft(m_fixedCols + horizontalScrollBar()->value(), m_fixedRows + verticalScrollBar()->value());
    });
}

void TCustomDrawGrid::MoveTopLeft(int col, int row) {
    col = std::clamp(col, m_fixedCols, std::max(m_fixedCols, MaxLeftCol()));
    row = std::clamp(row, m_fixedRows, std::max(m_fixedRows, MaxTopRow()));
    if (col == m_topLeft.X && row == m_topLeft.Y)
        return;
    m_topLeft = {col, row};
    {
        TRestore guard(m_updatingScroll, true);
        verticalScrollBar()->setValue(row - m_fixedRows);
        horizontalScrollBar()->setValue(col - m_fixedCols);
    }
    InvalidateGrid();
    TopLeftChanged();
}

void TCustomDrawGrid::SetLeftCol(int value) {
    MoveTopLeft(value, m_topLeft.Y);
}

void TCustomDrawGrid::SetTopRow(int value) {
    MoveTopLeft(m_topLeft.X, value);
}

void TCustomDrawGrid::TopLeftChanged() {
    if (m_editorMode && m_inplaceEdit && m_inplaceCol != -1)
        m_inplaceEdit->UpdateLoc(CellRect(Col(), Row()));
    if (OnTopLeftChanged)
        OnTopLeftChanged(this);
}

void TCustomDrawGrid::ClampInView(const TGridCoord& coord) {
    if (!isVisible() && viewport()->height() <= 0)
        return;
    int top = m_topLeft.Y;
    int left = m_topLeft.X;
    if (coord.Y >= m_fixedRows) {
        if (coord.Y < top) {
            top = coord.Y;
        } else {
            // Make the row the last fully visible one when it lies below the screen.
            const int available = viewport()->height() - FixedHeight();
            int sum = 0;
            int r = coord.Y;
            for (; r >= m_fixedRows; --r) {
                sum += RowHeights(r) + m_gridLineWidth;
                if (sum > available)
                    break;
            }
            const int firstTop = std::min(r + 1, coord.Y);
            if (top < firstTop)
                top = firstTop;
        }
    }
    if (coord.X >= m_fixedCols && !(m_options & goRowSelect)) {
        if (coord.X < left) {
            left = coord.X;
        } else {
            const int available = viewport()->width() - FixedWidth();
            int sum = 0;
            int c = coord.X;
            for (; c >= m_fixedCols; --c) {
                sum += ColWidths(c) + m_gridLineWidth;
                if (sum > available)
                    break;
            }
            const int firstLeft = std::min(c + 1, coord.X);
            if (left < firstLeft)
                left = firstLeft;
        }
    }
    MoveTopLeft(left, top);
}

// ---- current cell and selection ----------------------------------------------------------------------

TGridRect TCustomDrawGrid::Selection() const {
    return TGridRect{std::min(m_anchor.X, m_current.X), std::min(m_anchor.Y, m_current.Y),
                     std::max(m_anchor.X, m_current.X), std::max(m_anchor.Y, m_current.Y)};
}

void TCustomDrawGrid::SetSelection(const TGridRect& value) {
    m_anchor = {value.Left, value.Top};
    m_current = {value.Right, value.Bottom};
    ClampState();
    InvalidateGrid();
}

bool TCustomDrawGrid::SelectCell(int col, int row) {
    bool canSelect = true;
    if (OnSelectCell)
        OnSelectCell(this, col, row, canSelect);
    return canSelect;
}

void TCustomDrawGrid::MoveCurrent(int col, int row, bool moveAnchor, bool show) {
    if (col < 0 || row < 0 || col >= m_colCount || row >= m_rowCount)
        throw EInvalidOperation(QStringLiteral("Grid index out of range"));
    if (!SelectCell(col, row))
        return;
    // SelectCell may have changed the grid (a subclass can delete rows there).
    col = std::min(col, m_colCount - 1);
    row = std::min(row, m_rowCount - 1);
    m_current = {col, row};
    if (!(m_options & goAlwaysShowEditor))
        HideEditor();
    if (moveAnchor || !(m_options & goRangeSelect)) {
        m_anchor = m_current;
        if (m_options & goRowSelect)
            m_anchor.X = m_colCount - 1;
    }
    if (m_options & goRowSelect)
        m_current.X = m_fixedCols;
    if (show)
        ClampInView(m_current);
    InvalidateGrid();
}

void TCustomDrawGrid::FocusCell(int col, int row, bool moveAnchor) {
    MoveCurrent(col, row, moveAnchor, true);
    UpdateEdit();
    Click();
}

void TCustomDrawGrid::SetCol(int value) {
    if (value != m_current.X)
        FocusCell(value, m_current.Y, true);
}

void TCustomDrawGrid::SetRow(int value) {
    if (value != m_current.Y)
        FocusCell(m_current.X, value, true);
}

void TCustomDrawGrid::Click() {
    if (OnClick)
        OnClick(this);
}

void TCustomDrawGrid::DblClick() {
    if (OnDblClick)
        OnDblClick(this);
}

// ---- invalidation ------------------------------------------------------------------------------------

void TCustomDrawGrid::InvalidateCell(int col, int row) {
    const QRect r = CellRect(col, row);
    if (!r.isEmpty())
        viewport()->update(r.adjusted(0, 0, m_gridLineWidth, m_gridLineWidth));
}

void TCustomDrawGrid::InvalidateRow(int row) {
    const QRect r = CellRect(0, row);
    const QRect f = CellRect(m_fixedCols, row);
    if (!r.isEmpty() || !f.isEmpty()) {
        const int y = r.isEmpty() ? f.top() : r.top();
        viewport()->update(QRect(0, y, viewport()->width(), RowHeights(row) + m_gridLineWidth));
    }
}

void TCustomDrawGrid::InvalidateCol(int col) {
    const QRect r = CellRect(col, 0);
    const QRect f = CellRect(col, m_fixedRows);
    if (!r.isEmpty() || !f.isEmpty()) {
        const int x = r.isEmpty() ? f.left() : r.left();
        viewport()->update(QRect(x, 0, ColWidths(col) + m_gridLineWidth, viewport()->height()));
    }
}

void TCustomDrawGrid::InvalidateGrid() {
    // The changes of one pass of the event loop (rows added one at a time) ask for one repaint.
    if (m_repaintPosted)
        return;
    m_repaintPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_repaintPosted = false;
            viewport()->update();
        },
        Qt::QueuedConnection);
}

// ---- rows and columns moved or deleted ---------------------------------------------------------------

void TCustomDrawGrid::MoveRow(int fromIndex, int toIndex) {
    if (fromIndex == toIndex)
        return;
    if (fromIndex < 0 || fromIndex >= m_rowCount)
        RaiseListIndexError(fromIndex);
    if (toIndex < 0 || toIndex >= m_rowCount)
        RaiseListIndexError(toIndex);
    if (!m_rowHeights.isEmpty())
        m_rowHeights.move(fromIndex, toIndex);
    HideEdit();
    RowMoved(fromIndex, toIndex);
    InvalidateGrid();
    UpdateEdit();
}

void TCustomDrawGrid::MoveColumn(int fromIndex, int toIndex) {
    if (fromIndex == toIndex)
        return;
    if (fromIndex < 0 || fromIndex >= m_colCount)
        RaiseListIndexError(fromIndex);
    if (toIndex < 0 || toIndex >= m_colCount)
        RaiseListIndexError(toIndex);
    if (!m_colWidths.isEmpty())
        m_colWidths.move(fromIndex, toIndex);
    HideEdit();
    ColumnMoved(fromIndex, toIndex);
    InvalidateGrid();
    UpdateEdit();
}

void TCustomDrawGrid::RowMoved(int fromIndex, int toIndex) {
    if (OnRowMoved)
        OnRowMoved(this, fromIndex, toIndex);
}

void TCustomDrawGrid::ColumnMoved(int fromIndex, int toIndex) {
    if (OnColumnMoved)
        OnColumnMoved(this, fromIndex, toIndex);
}

void TCustomDrawGrid::DeleteRow(int row) {
    MoveRow(row, m_rowCount - 1);
    SetRowCount(m_rowCount - 1);
}

void TCustomDrawGrid::DeleteColumn(int col) {
    MoveColumn(col, m_colCount - 1);
    SetColCount(m_colCount - 1);
}

void TCustomDrawGrid::ColWidthsChanged() {
    if (m_editorMode && m_inplaceEdit && m_inplaceCol != -1)
        m_inplaceEdit->UpdateLoc(CellRect(Col(), Row()));
}

void TCustomDrawGrid::RowHeightsChanged() {
    if (m_editorMode && m_inplaceEdit && m_inplaceCol != -1)
        m_inplaceEdit->UpdateLoc(CellRect(Col(), Row()));
}

// ---- the in-place editor -----------------------------------------------------------------------------

TInplaceEdit* TCustomDrawGrid::CreateEditor() {
    return new TInplaceEdit(this); // owned by the viewport
}

bool TCustomDrawGrid::CanEditShow() const {
    // Like a window handle in the class library, the editor needs a shown grid.
    return isVisible() && (m_options & (goRowSelect | goEditing)) == goEditing && m_editorMode &&
           ((m_options & goAlwaysShowEditor) || IsActiveControl());
}

bool TCustomDrawGrid::CanEditModify() {
    return (m_options & goEditing) != 0;
}

bool TCustomDrawGrid::IsActiveControl() const {
    return hasFocus() || (m_inplaceEdit && m_inplaceEdit->hasFocus());
}

QString TCustomDrawGrid::GetEditText(int col, int row) {
    QString value;
    if (OnGetEditText)
        OnGetEditText(this, col, row, value);
    return value;
}

void TCustomDrawGrid::SetEditText(int col, int row, const QString& value) {
    if (OnSetEditText)
        OnSetEditText(this, col, row, value);
}

QString TCustomDrawGrid::GetEditMask(int col, int row) {
    QString value;
    if (OnGetEditMask)
        OnGetEditMask(this, col, row, value);
    return value;
}

void TCustomDrawGrid::UpdateText() {
    if (m_inplaceEdit && m_inplaceCol != -1 && m_inplaceRow != -1 && !EditorCellChanged())
        SetEditText(m_inplaceCol, m_inplaceRow, m_inplaceEdit->Text());
}

void TCustomDrawGrid::ShowEditor() {
    m_editorMode = true;
    UpdateEdit();
}

void TCustomDrawGrid::HideEditor() {
    m_editorMode = false;
    HideEdit();
}

void TCustomDrawGrid::SetEditorMode(bool value) {
    if (!value) {
        HideEditor();
    } else {
        ShowEditor();
        if (m_inplaceEdit)
            m_inplaceEdit->Deselect();
    }
}

void TCustomDrawGrid::UpdateEdit() {
    if (!CanEditShow())
        return;
    auto load = [this] {
        m_inplaceCol = Col();
        m_inplaceRow = Row();
        EditorLoaded();
        m_inplaceEdit->UpdateContents();
        m_inplaceEdit->setReadOnly(!CanEditModify());
        m_inplaceEdit->selectAll();
        EditorReloaded();
    };
    if (!m_inplaceEdit) {
        m_inplaceEdit = CreateEditor();
        load();
    } else if (Col() != m_inplaceCol || Row() != m_inplaceRow || EditorCellChanged()) {
        HideEdit();
        load();
    }
    if (CanEditShow())
        m_inplaceEdit->Move(CellRect(Col(), Row()));
}

void TCustomDrawGrid::HideEdit() {
    if (!m_inplaceEdit)
        return;
    struct Finally {
        TCustomDrawGrid* g;
        ~Finally() {
            g->m_inplaceCol = -1;
            g->m_inplaceRow = -1;
            g->PassFocusFromEditor();
            g->m_inplaceEdit->hide();
        }
    } finally{this};
    UpdateText();
}

void TCustomDrawGrid::DiscardEdit() {
    if (!m_inplaceEdit)
        return;
    m_inplaceCol = -1;
    m_inplaceRow = -1;
    m_inplaceEdit->SetModified(false); // its text is dropped: there is nothing left to commit
    PassFocusFromEditor();
    m_inplaceEdit->hide();
}

void TCustomDrawGrid::PassFocusFromEditor() {
    // A focused child that hides would pass the focus out of the grid. The grid takes it without
    // reopening the editor: the editor is closing because its cell is changing under it.
    if (!m_inplaceEdit->hasFocus())
        return;
    TRestore guard(m_closingEditor, true);
    setFocus(Qt::OtherFocusReason);
}

void TCustomDrawGrid::SetCurrentCell(int col, int row) {
    col = std::clamp(col, 0, m_colCount - 1);
    row = std::clamp(row, 0, m_rowCount - 1);
    m_current = {col, row};
    m_anchor = m_current;
    if (m_options & goRowSelect) {
        m_anchor.X = m_colCount - 1;
        m_current.X = m_fixedCols;
    }
    ClampInView(m_current);
    InvalidateGrid();
}

void TCustomDrawGrid::InvalidateEditor() {
    m_inplaceCol = -1;
    m_inplaceRow = -1;
    UpdateEdit();
}

// ---- painting ----------------------------------------------------------------------------------------

void TCustomDrawGrid::DrawCell(int col, int row, const QRect& rect, TGridDrawState state, QPainter& painter) {
    if (OnDrawCell)
        OnDrawCell(this, col, row, rect, state, painter);
}

void TCustomDrawGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect clip = event->rect();
    painter.fillRect(clip, m_color);
    const bool focused = IsActiveControl();
    const TGridRect sel = Selection();
    const QColor fixedLine = palette().color(QPalette::Dark);
    const QColor gridLine = palette().color(QPalette::Midlight).darker(110);
    const int width = viewport()->width();
    const int height = viewport()->height();

    std::exception_ptr paintError;
    auto paintRow = [&](int row, int y) {
        const int h = RowHeights(row);
        if (y + h + m_gridLineWidth >= clip.top() && y <= clip.bottom()) {
            auto paintCell = [&](int col, int x) {
                const int w = ColWidths(col);
                const QRect rect(x, y, w, h);
                if (!rect.adjusted(0, 0, m_gridLineWidth, m_gridLineWidth).intersects(clip))
                    return;
                const bool fixed = col < m_fixedCols || row < m_fixedRows;
                TGridDrawState state = fixed ? TGridDrawState(gdFixed) : 0u;
                if (!fixed && sel.Contains(col, row))
                    state |= gdSelected;
                if (focused && col == m_current.X && row == m_current.Y)
                    state |= gdFocused;
                painter.save();
                painter.setClipRect(rect);
                painter.setFont(font());
                QColor back = m_color;
                QColor text = palette().color(QPalette::Text);
                if (fixed) {
                    back = m_fixedColor;
                    text = palette().color(QPalette::ButtonText);
                } else if ((state & gdSelected) &&
                           (!(state & gdFocused) || (m_options & (goDrawFocusSelected | goRowSelect)))) {
                    back = palette().color(QPalette::Highlight);
                    text = palette().color(QPalette::HighlightedText);
                }
                painter.setBrush(back);
                painter.setPen(text);
                if (m_defaultDrawing)
                    painter.fillRect(rect, back);
                // A handler's exception may not leave the paint event: the cell stays as far as it got,
                // the other cells are painted, and the first error is reported once painting is over.
                try {
                    DrawCell(col, row, rect, state, painter);
                } catch (...) {
                    if (!paintError)
                        paintError = std::current_exception();
                }
                painter.restore();
                if (m_defaultDrawing && fixed) {
                    painter.setPen(palette().color(QPalette::Light));
                    painter.drawLine(rect.topLeft(), rect.topRight());
                    painter.drawLine(rect.topLeft(), rect.bottomLeft());
                }
                if (m_defaultDrawing && (state & gdFocused) && !(m_options & goRowSelect) &&
                    !(m_inplaceEdit && m_inplaceEdit->isVisible())) {
                    QStyleOptionFocusRect option;
                    option.initFrom(this);
                    option.rect = rect;
                    option.backgroundColor = painter.brush().color();
                    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
                }
                if (m_gridLineWidth > 0) {
                    const bool vert = fixed ? (m_options & goFixedVertLine) : (m_options & goVertLine);
                    const bool horz = fixed ? (m_options & goFixedHorzLine) : (m_options & goHorzLine);
                    const QColor line = fixed ? fixedLine : gridLine;
                    if (vert)
                        painter.fillRect(QRect(x + w, y, m_gridLineWidth, h + m_gridLineWidth), line);
                    if (horz)
                        painter.fillRect(QRect(x, y + h, w + m_gridLineWidth, m_gridLineWidth), line);
                }
            };
            int x = 0;
            for (int c = 0; c < m_fixedCols && x < width; ++c) {
                paintCell(c, x);
                x += ColWidths(c) + m_gridLineWidth;
            }
            for (int c = m_topLeft.X; c < m_colCount && x < width; ++c) {
                paintCell(c, x);
                x += ColWidths(c) + m_gridLineWidth;
            }
        }
        return y + h + m_gridLineWidth;
    };

    int y = 0;
    for (int r = 0; r < m_fixedRows && y < height; ++r)
        y = paintRow(r, y);
    for (int r = m_topLeft.Y; r < m_rowCount && y < height; ++r)
        y = paintRow(r, y);

    if (m_gridState == TGridState::gsColSizing || m_gridState == TGridState::gsRowSizing) {
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        if (m_gridState == TGridState::gsColSizing)
            painter.drawLine(m_sizingPos, 0, m_sizingPos, height);
        else
            painter.drawLine(0, m_sizingPos, width, m_sizingPos);
    }
    // Reported after the paint, not inside it (a message box would paint the grid again underneath); the
    // paints while one report waits or shows add none of their own, nor do the failing paints after it
    // (the closed box uncovers the grid, which fails again) until a paint goes through.
    const bool failedBefore = std::exchange(m_paintFailing, bool(paintError));
    if (paintError && !failedBefore && !m_paintErrorPending) {
        m_paintErrorPending = true;
        QMetaObject::invokeMethod(
            this,
            [this, paintError] {
                HandleException(paintError);
                m_paintErrorPending = false;
            },
            Qt::QueuedConnection);
    }
}

// ---- keyboard ----------------------------------------------------------------------------------------

void TCustomDrawGrid::KeyDown(int& key, Qt::KeyboardModifiers shift) {
    if (OnKeyDown)
        OnKeyDown(this, key, shift);
    if (key == 0)
        return;
    TGridCoord newTopLeft = m_topLeft;
    TGridCoord newCurrent = m_current;
    const int pageHeight = std::max(1, VisibleRowCount());
    const int pageWidth = std::max(1, VisibleColCount());
    const bool rowSelect = m_options & goRowSelect;
    if (shift & Qt::ControlModifier) {
        switch (key) {
        case Qt::Key_Up:
            --newTopLeft.Y;
            break;
        case Qt::Key_Down:
            ++newTopLeft.Y;
            break;
        case Qt::Key_Left:
            if (!rowSelect) {
                newCurrent.X -= pageWidth;
                newTopLeft.X -= pageWidth;
            }
            break;
        case Qt::Key_Right:
            if (!rowSelect) {
                newCurrent.X += pageWidth;
                newTopLeft.X += pageWidth;
            }
            break;
        case Qt::Key_PageUp:
            newCurrent.Y = m_topLeft.Y;
            break;
        case Qt::Key_PageDown:
            newCurrent.Y = m_topLeft.Y + pageHeight - 1;
            break;
        case Qt::Key_Home:
            newCurrent = {m_fixedCols, m_fixedRows};
            break;
        case Qt::Key_End:
            newCurrent = {m_colCount - 1, m_rowCount - 1};
            break;
        default:
            break;
        }
    } else {
        switch (key) {
        case Qt::Key_Up:
            --newCurrent.Y;
            break;
        case Qt::Key_Down:
            ++newCurrent.Y;
            break;
        case Qt::Key_Left:
            if (rowSelect)
                --newTopLeft.X;
            else
                --newCurrent.X;
            break;
        case Qt::Key_Right:
            if (rowSelect)
                ++newTopLeft.X;
            else
                ++newCurrent.X;
            break;
        case Qt::Key_PageDown:
            newCurrent.Y += pageHeight;
            newTopLeft.Y += pageHeight;
            break;
        case Qt::Key_PageUp:
            newCurrent.Y -= pageHeight;
            newTopLeft.Y -= pageHeight;
            break;
        case Qt::Key_Home:
            if (rowSelect)
                newTopLeft.X = m_fixedCols;
            else
                newCurrent.X = m_fixedCols;
            break;
        case Qt::Key_End:
            if (rowSelect)
                newTopLeft.X = m_colCount - VisibleColCount();
            else
                newCurrent.X = m_colCount - 1;
            break;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            if (!(shift & Qt::AltModifier) && (m_options & goTabs)) {
                if (key == Qt::Key_Backtab || (shift & Qt::ShiftModifier)) {
                    if (--newCurrent.X < m_fixedCols) {
                        newCurrent.X = m_colCount - 1;
                        if (--newCurrent.Y < m_fixedRows)
                            newCurrent.Y = m_rowCount - 1;
                    }
                    shift &= ~Qt::ShiftModifier;
                } else if (++newCurrent.X >= m_colCount) {
                    newCurrent.X = m_fixedCols;
                    if (++newCurrent.Y >= m_rowCount)
                        newCurrent.Y = m_fixedRows;
                }
            }
            break;
        case Qt::Key_F2:
            SetEditorMode(true);
            break;
        default:
            break;
        }
    }
    newTopLeft.X = std::clamp(newTopLeft.X, m_fixedCols, std::max(m_fixedCols, MaxLeftCol()));
    newTopLeft.Y = std::clamp(newTopLeft.Y, m_fixedRows, std::max(m_fixedRows, MaxTopRow()));
    if (newTopLeft.X != m_topLeft.X || newTopLeft.Y != m_topLeft.Y)
        MoveTopLeft(newTopLeft.X, newTopLeft.Y);
    newCurrent.X = std::clamp(newCurrent.X, m_fixedCols, m_colCount - 1);
    newCurrent.Y = std::clamp(newCurrent.Y, m_fixedRows, m_rowCount - 1);
    if (newCurrent.X != m_current.X || newCurrent.Y != m_current.Y)
        FocusCell(newCurrent.X, newCurrent.Y, !(shift & Qt::ShiftModifier));
}

void TCustomDrawGrid::KeyPress(QChar& key) {
    if (OnKeyPress)
        OnKeyPress(this, key);
    if (key.isNull())
        return;
    if (!(m_options & goAlwaysShowEditor) && key == QLatin1Char('\r')) {
        if (m_editorMode)
            HideEditor();
        else
            ShowEditor();
        key = QChar(0);
    }
}

void TCustomDrawGrid::keyPressEvent(QKeyEvent* event) {
    Guarded([&] {
        int key = event->key();
        KeyDown(key, event->modifiers() & ~Qt::KeypadModifier);
        if (key == 0)
            return;
        QString chars = event->text();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            chars = QStringLiteral("\r");
        if (chars.size() != 1)
            return;
        QChar ch = chars.at(0);
        KeyPress(ch);
        // Typing on a cell opens the editor with that character.
        if (!ch.isNull() && ch.unicode() >= 32 && (m_options & goEditing) && !(m_options & goRowSelect) &&
            CanEditAcceptKey(ch)) {
            ShowEditor();
            if (m_inplaceEdit && m_inplaceEdit->isVisible() && CanEditModify()) {
                m_inplaceEdit->setFocus();
                m_inplaceEdit->selectAll();
                m_inplaceEdit->insert(QString(ch));
                m_inplaceEdit->SetModified(true);
            }
        }
    });
}

bool TCustomDrawGrid::focusNextPrevChild(bool next) {
    if (m_options & goTabs)
        return false;
    // The window's next control, never the grid's own editor (which would hand the focus straight back).
    return FocusNeighbour(next) || QAbstractScrollArea::focusNextPrevChild(next);
}

bool TCustomDrawGrid::IsLeavingTab(const QKeyEvent* event, TGridOptions options) {
    if (event->key() != Qt::Key_Tab && event->key() != Qt::Key_Backtab)
        return false;
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (mods & Qt::AltModifier)
        return false;
    return (mods & Qt::ControlModifier) || !(options & goTabs);
}

bool TCustomDrawGrid::FocusNeighbour(bool next) {
    QWidget* w = this;
    for (;;) {
        w = next ? w->nextInFocusChain() : w->previousInFocusChain();
        if (!w || w == this)
            return false;
        if (isAncestorOf(w) || w->window() != window())
            continue;
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled() && !w->focusProxy()) {
            w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
}

bool TCustomDrawGrid::event(QEvent* event) {
    // Ctrl+Tab leaves the grid even where Tab moves between its cells.
    if (event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        if ((ke->modifiers() & Qt::ControlModifier) && IsLeavingTab(ke, m_options)) {
            const bool back = ke->key() == Qt::Key_Backtab || (ke->modifiers() & Qt::ShiftModifier);
            FocusNeighbour(!back);
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

// ---- mouse -------------------------------------------------------------------------------------------

void TCustomDrawGrid::CalcAxisSizing(bool cols, int pos, TGridState& state, int& index, int& sizingPos,
                                     int& sizingOfs) const {
    // The grab zone around a line is at least 7 pixels wide.
    const int lineWidth = m_gridLineWidth;
    int range = lineWidth;
    int back = 0;
    if (range < 7) {
        range = 7;
        back = (range - lineWidth) / 2;
    }
    int line = cols ? FixedWidth() : FixedHeight();
    const int boundary = cols ? viewport()->width() : viewport()->height();
    const int first = cols ? m_topLeft.X : m_topLeft.Y;
    const int count = cols ? m_colCount : m_rowCount;
    int lastFull = first - 1;
    for (int i = first; i < count; ++i) {
        line += cols ? ColWidths(i) : RowHeights(i);
        if (line > boundary)
            break;
        lastFull = i;
        if (pos >= line - back && pos < line - back + range) {
            state = cols ? TGridState::gsColSizing : TGridState::gsRowSizing;
            sizingPos = line;
            sizingOfs = line - pos;
            index = i;
            return;
        }
        line += lineWidth;
    }
    // A grid that ends exactly at its edge: the last boundary sizes the cell after the last full one.
    if (line - lineWidth == boundary && pos >= boundary - back && pos <= boundary && lastFull + 1 < count) {
        state = cols ? TGridState::gsColSizing : TGridState::gsRowSizing;
        sizingPos = boundary;
        sizingOfs = boundary - pos;
        index = lastFull + 1;
    }
}

void TCustomDrawGrid::CalcSizingState(int x, int y, TGridState& state, int& index, int& sizingPos,
                                      int& sizingOfs) {
    state = TGridState::gsNormal;
    index = -1;
    if (!(m_options & (goColSizing | goRowSizing)))
        return;
    const int fixedW = FixedWidth();
    const int fixedH = FixedHeight();
    // The class library sizes from the fixed title lines only.
    if (x > fixedW && (m_options & goColSizing)) {
        if (y >= fixedH)
            return;
        CalcAxisSizing(true, x, state, index, sizingPos, sizingOfs);
    } else if (y > fixedH && (m_options & goRowSizing)) {
        if (x >= fixedW)
            return;
        CalcAxisSizing(false, y, state, index, sizingPos, sizingOfs);
    }
}

void TCustomDrawGrid::SetSizingCursor(int x, int y) {
    TGridState state;
    int index = 0, pos = 0, ofs = 0;
    CalcSizingState(x, y, state, index, pos, ofs);
    if (state == TGridState::gsColSizing)
        viewport()->setCursor(Qt::SplitHCursor);
    else if (state == TGridState::gsRowSizing)
        viewport()->setCursor(Qt::SplitVCursor);
    else
        viewport()->unsetCursor();
}

void TCustomDrawGrid::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    if (button == Qt::LeftButton) {
        CalcSizingState(x, y, m_gridState, m_sizingIndex, m_sizingPos, m_sizingOfs);
        if (m_gridState != TGridState::gsNormal) {
            InvalidateGrid();
        } else {
            const TGridCoord hit = MouseCoord(x, y);
            if (hit.X >= m_fixedCols && hit.Y >= m_fixedRows) {
                if (m_options & goEditing) {
                    if (hit == m_current) {
                        ShowEditor();
                    } else {
                        MoveCurrent(hit.X, hit.Y, true, true);
                        UpdateEdit();
                    }
                    Click();
                } else {
                    m_gridState = TGridState::gsSelecting;
                    if ((shift & Qt::ShiftModifier) && (m_options & goRangeSelect)) {
                        m_current = hit;
                        InvalidateGrid();
                    } else {
                        MoveCurrent(hit.X, hit.Y, true, true);
                    }
                }
            }
        }
    }
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
}

void TCustomDrawGrid::MouseMove(Qt::KeyboardModifiers shift, int x, int y) {
    switch (m_gridState) {
    case TGridState::gsColSizing:
        m_sizingPos = x + m_sizingOfs;
        InvalidateGrid();
        break;
    case TGridState::gsRowSizing:
        m_sizingPos = y + m_sizingOfs;
        InvalidateGrid();
        break;
    case TGridState::gsSelecting: {
        const TGridCoord hit = MouseCoord(x, y);
        if (hit.X >= m_fixedCols && hit.Y >= m_fixedRows && !(hit == m_current)) {
            if (m_options & goRangeSelect) {
                if (SelectCell(hit.X, hit.Y)) {
                    m_current = hit;
                    InvalidateGrid();
                }
            } else {
                MoveCurrent(hit.X, hit.Y, true, true);
            }
        }
        break;
    }
    default:
        SetSizingCursor(x, y);
        break;
    }
}

void TCustomDrawGrid::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    const TGridState state = m_gridState;
    m_gridState = TGridState::gsNormal;
    if (state == TGridState::gsColSizing) {
        const QRect cell = CellRect(m_sizingIndex, m_topLeft.Y);
        const int start = cell.isEmpty() ? 0 : cell.left();
        if (m_sizingIndex >= 0 && m_sizingIndex < m_colCount)
            SetColWidths(m_sizingIndex, std::max(1, x + m_sizingOfs - start));
        InvalidateGrid();
    } else if (state == TGridState::gsRowSizing) {
        const QRect cell = CellRect(m_topLeft.X, m_sizingIndex);
        const int start = cell.isEmpty() ? 0 : cell.top();
        if (m_sizingIndex >= 0 && m_sizingIndex < m_rowCount)
            SetRowHeights(m_sizingIndex, std::max(1, y + m_sizingOfs - start));
        InvalidateGrid();
    } else if (state == TGridState::gsSelecting) {
        Click();
    }
}

void TCustomDrawGrid::mousePressEvent(QMouseEvent* event) {
    if (!hasFocus() && !(m_inplaceEdit && m_inplaceEdit->hasFocus()))
        setFocus(Qt::MouseFocusReason);
    const QPoint p = event->position().toPoint();
    Guarded([&] { MouseDown(event->button(), event->modifiers(), p.x(), p.y()); });
}

void TCustomDrawGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Guarded([&] {
        TRestore guard(m_doubleClick, true);
        MouseDown(event->button(), event->modifiers(), p.x(), p.y());
        if (event->button() == Qt::LeftButton)
            DblClick();
    });
}

void TCustomDrawGrid::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Guarded([&] { MouseMove(event->modifiers(), p.x(), p.y()); });
}

void TCustomDrawGrid::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Guarded([&] { MouseUp(event->button(), event->modifiers(), p.x(), p.y()); });
}

void TCustomDrawGrid::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0)
        return;
    Guarded([&] {
        const int target = std::clamp(Row() - steps, m_fixedRows, m_rowCount - 1);
        if (target != Row())
            SetRow(target);
    });
    event->accept();
}

// ---- focus -------------------------------------------------------------------------------------------

void TCustomDrawGrid::DoEnter() {
    if (OnEnter)
        OnEnter(this);
}

void TCustomDrawGrid::DoExit() {
    if (OnExit)
        OnExit(this);
    if (!(m_options & goAlwaysShowEditor))
        HideEditor();
}

void TCustomDrawGrid::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    Guarded([&] {
        if (!m_focusWithin) {
            m_focusWithin = true;
            DoEnter();
        }
        if (!m_closingEditor && (m_editorMode || (m_options & goAlwaysShowEditor))) {
            m_editorMode = true;
            UpdateEdit();
            if (m_inplaceEdit && m_inplaceEdit->isVisible())
                m_inplaceEdit->setFocus(event->reason());
        }
    });
    InvalidateGrid();
}

void TCustomDrawGrid::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    CheckExit(QApplication::focusWidget(), event->reason());
    InvalidateGrid();
}

void TCustomDrawGrid::EditorFocusOut(QFocusEvent* event) {
    CheckExit(QApplication::focusWidget(), event->reason());
    InvalidateGrid();
}

void TCustomDrawGrid::CheckExit(QWidget* newFocus, Qt::FocusReason reason) {
    if (newFocus && (newFocus == this || isAncestorOf(newFocus)))
        return;
    // Switching windows or opening a pop-up does not leave the grid.
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason || m_inExit)
        return;
    m_focusWithin = false;
    TRestore guard(m_inExit, true);
    Guarded([&] { DoExit(); });
}

void TCustomDrawGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    Guarded([&] {
        UpdateScrollRange();
        Resize();
        if (m_editorMode && m_inplaceEdit && m_inplaceCol != -1)
            m_inplaceEdit->UpdateLoc(CellRect(Col(), Row()));
    });
}

void TCustomDrawGrid::showEvent(QShowEvent* event) {
    QAbstractScrollArea::showEvent(event);
    Guarded([&] {
        UpdateScrollRange();
        if (m_options & goAlwaysShowEditor) {
            m_editorMode = true;
            UpdateEdit();
        }
    });
}
