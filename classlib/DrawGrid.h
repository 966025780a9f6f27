#pragma once
// The class library's draw grid: a scrollable table of owner-drawn cells with fixed rows and columns,
// per-column widths and per-row heights, a current cell and a selection, scrolling by whole cells, column
// and row sizing with the mouse, and an in-place editor that follows the current cell. Subclasses adapt it
// through the virtual hooks (DrawCell, SelectCell, Get/SetEditText, CreateEditor, KeyDown, ...).
#include "classlib/Graphics.h"
#include <QAbstractScrollArea>
#include <QColor>
#include <QPointer>
#include <QRect>
#include <QVector>
#include <exception>
#include <functional>

class QKeyEvent;
class QPainter;
class TInplaceEdit;

enum TGridOption : unsigned {
    goFixedVertLine = 1u << 0,
    goFixedHorzLine = 1u << 1,
    goVertLine = 1u << 2,
    goHorzLine = 1u << 3,
    goRangeSelect = 1u << 4,
    goDrawFocusSelected = 1u << 5,
    goRowSizing = 1u << 6,
    goColSizing = 1u << 7,
    goRowMoving = 1u << 8,
    goColMoving = 1u << 9,
    goEditing = 1u << 10,
    goTabs = 1u << 11,
    goRowSelect = 1u << 12,
    goAlwaysShowEditor = 1u << 13,
    goThumbTracking = 1u << 14,
};
using TGridOptions = unsigned;

enum TGridDrawStateFlag : unsigned { gdSelected = 1u << 0, gdFocused = 1u << 1, gdFixed = 1u << 2 };
using TGridDrawState = unsigned;

enum class TGridState { gsNormal, gsSelecting, gsRowSizing, gsColSizing, gsRowMoving, gsColMoving };
enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// The most columns, and the most rows, a grid holds (fixed ones included): far more than any table of the
// program, and few enough that a grid of them at the largest cell extents keeps its pixel sums within int.
inline constexpr int MaxGridLines = 8192;

struct TGridCoord {
    int X = 0;
    int Y = 0;
    bool operator==(const TGridCoord&) const = default;
};

struct TGridRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    bool operator==(const TGridRect&) const = default;
    bool Contains(int col, int row) const {
        return col >= Left && col <= Right && row >= Top && row <= Bottom;
    }
};

class TCustomDrawGrid : public QAbstractScrollArea {
    Q_OBJECT
    Q_PROPERTY(int ColCount READ ColCount WRITE SetColCount)
    Q_PROPERTY(int RowCount READ RowCount WRITE SetRowCount)
    Q_PROPERTY(int FixedCols READ FixedCols WRITE SetFixedCols)
    Q_PROPERTY(int FixedRows READ FixedRows WRITE SetFixedRows)
    Q_PROPERTY(int DefaultColWidth READ DefaultColWidth WRITE SetDefaultColWidth)
    Q_PROPERTY(int DefaultRowHeight READ DefaultRowHeight WRITE SetDefaultRowHeight)
    Q_PROPERTY(int GridLineWidth READ GridLineWidth WRITE SetGridLineWidth)
    Q_PROPERTY(bool DefaultDrawing READ DefaultDrawing WRITE SetDefaultDrawing)
    Q_PROPERTY(uint Options READ Options WRITE SetOptionBits)
    Q_PROPERTY(qint32 Color READ ColorValue WRITE SetColorValue)
    Q_PROPERTY(qint32 FixedColor READ FixedColorValue WRITE SetFixedColorValue)
    Q_PROPERTY(TScrollStyle ScrollBars READ ScrollBars WRITE SetScrollBarsChecked)
    Q_CLASSINFO("default:ColCount", "5")
    Q_CLASSINFO("default:RowCount", "5")
    Q_CLASSINFO("default:FixedCols", "1")
    Q_CLASSINFO("default:FixedRows", "1")
    Q_CLASSINFO("default:DefaultColWidth", "64")
    Q_CLASSINFO("default:DefaultRowHeight", "24")
    Q_CLASSINFO("default:GridLineWidth", "1")
    Q_CLASSINFO("default:DefaultDrawing", "True")
    Q_CLASSINFO("default:Options", "31")
    Q_CLASSINFO("type:Color", "TColor")
    Q_CLASSINFO("default:Color", "-2147483643") // clWindow
    Q_CLASSINFO("type:FixedColor", "TColor")
    Q_CLASSINFO("default:FixedColor", "-2147483633") // clBtnFace
    Q_CLASSINFO("default:ScrollBars", "3")           // ssBoth

public:
    using TDrawCellEvent = std::function<void(TCustomDrawGrid* sender, int col, int row, const QRect& rect,
                                              TGridDrawState state, QPainter& painter)>;
    using TSelectCellEvent = std::function<void(TCustomDrawGrid* sender, int col, int row, bool& canSelect)>;
    using TGetEditEvent = std::function<void(TCustomDrawGrid* sender, int col, int row, QString& value)>;
    using TSetEditEvent =
        std::function<void(TCustomDrawGrid* sender, int col, int row, const QString& value)>;
    using TKeyEvent = std::function<void(TCustomDrawGrid* sender, int& key, Qt::KeyboardModifiers shift)>;
    using TKeyPressEvent = std::function<void(TCustomDrawGrid* sender, QChar& key)>;
    using TMouseEvent = std::function<void(TCustomDrawGrid* sender, Qt::MouseButton button,
                                           Qt::KeyboardModifiers shift, int x, int y)>;
    using TMovedEvent = std::function<void(TCustomDrawGrid* sender, int fromIndex, int toIndex)>;
    using TNotifyEvent = std::function<void(TCustomDrawGrid* sender)>;

    explicit TCustomDrawGrid(QWidget* parent = nullptr);
    ~TCustomDrawGrid() override;

    int ColCount() const { return m_colCount; }
    // Counts below 1 become 1; counts above MaxGridLines raise EInvalidOperation.
    virtual void SetColCount(int value);
    int RowCount() const { return m_rowCount; }
    virtual void SetRowCount(int value);
    int FixedCols() const { return m_fixedCols; }
    void SetFixedCols(int value);
    int FixedRows() const { return m_fixedRows; }
    void SetFixedRows(int value);
    int DefaultColWidth() const { return m_defaultColWidth; }
    void SetDefaultColWidth(int value);
    int DefaultRowHeight() const { return m_defaultRowHeight; }
    void SetDefaultRowHeight(int value);
    int ColWidths(int index) const;
    void SetColWidths(int index, int value);
    int RowHeights(int index) const;
    void SetRowHeights(int index, int value);
    int GridLineWidth() const { return m_gridLineWidth; }
    void SetGridLineWidth(int value);
    TGridOptions Options() const { return m_options; }
    virtual void SetOptions(TGridOptions value);
    // The published write: bits of no option are dropped.
    void SetOptionBits(uint value) { SetOptions(value & 0x7FFFu); }
    bool DefaultDrawing() const { return m_defaultDrawing; }
    void SetDefaultDrawing(bool value);
    // The colours to draw with, and as the class library's colour values (a system colour follows the
    // application's palette; a colour set as QColor is its RGB value).
    QColor Color() const { return m_color; }
    void SetColor(const QColor& value);
    TColor ColorValue() const { return m_colorValue; }
    void SetColorValue(TColor value);
    QColor FixedColor() const { return m_fixedColor; }
    void SetFixedColor(const QColor& value);
    TColor FixedColorValue() const { return m_fixedColorValue; }
    void SetFixedColorValue(TColor value);
    TScrollStyle ScrollBars() const { return m_scrollBars; }
    void SetScrollBars(TScrollStyle value);
    // The published write: a number that names no style is refused with EConvertError.
    void SetScrollBarsChecked(TScrollStyle value);

    int Col() const { return m_current.X; }
    void SetCol(int value);
    int Row() const { return m_current.Y; }
    void SetRow(int value);
    TGridRect Selection() const;
    void SetSelection(const TGridRect& value);
    int LeftCol() const { return m_topLeft.X; }
    void SetLeftCol(int value);
    int TopRow() const { return m_topLeft.Y; }
    void SetTopRow(int value);
    int VisibleColCount() const;
    int VisibleRowCount() const;

    bool EditorMode() const { return m_editorMode; }
    void SetEditorMode(bool value);
    TInplaceEdit* InplaceEditor() const { return m_inplaceEdit; }

    // Rectangle of a cell in viewport coordinates; empty when the cell is not on screen.
    QRect CellRect(int col, int row) const;
    // The cell under a viewport point; -1 for a coordinate outside the cells.
    TGridCoord MouseCoord(int x, int y) const;
    void MouseToCell(int x, int y, int& col, int& row) const;

    void InvalidateCell(int col, int row);
    void InvalidateRow(int row);
    void InvalidateCol(int col);
    void InvalidateGrid();

    // Moves a row (and its height) within the grid; the subclass moves its data in RowMoved.
    void MoveRow(int fromIndex, int toIndex);
    void MoveColumn(int fromIndex, int toIndex);

    TDrawCellEvent OnDrawCell;
    TSelectCellEvent OnSelectCell;
    TGetEditEvent OnGetEditText;
    TGetEditEvent OnGetEditMask;
    TSetEditEvent OnSetEditText;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TMouseEvent OnMouseDown;
    TMovedEvent OnRowMoved;
    TMovedEvent OnColumnMoved;
    TNotifyEvent OnTopLeftChanged;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    // Hooks the in-place editor calls; public so that an editor class of another unit reaches them.
    virtual QString GetEditText(int col, int row);
    virtual void SetEditText(int col, int row, const QString& value);
    virtual QString GetEditMask(int col, int row);
    virtual int GetEditLimit() { return 0; }
    virtual bool CanEditModify();
    virtual bool CanEditAcceptKey(QChar key) { return true; }
    virtual void KeyDown(int& key, Qt::KeyboardModifiers shift);
    virtual void KeyPress(QChar& key);
    virtual void DoExit();
    virtual void DoEnter();
    // Writes the editor's text to the cell it was opened on.
    void UpdateText();
    bool IsActiveControl() const;
    // Moves the focus out of the grid to the next or previous control of the window's focus order; false
    // when there is none.
    bool FocusNeighbour(bool next);
    // Tab and Shift+Tab move between the cells (goTabs) or leave the grid; Ctrl+Tab always leaves.
    static bool IsLeavingTab(const QKeyEvent* event, TGridOptions options);

protected:
    virtual void DrawCell(int col, int row, const QRect& rect, TGridDrawState state, QPainter& painter);
    virtual bool SelectCell(int col, int row);
    virtual bool CanEditShow() const;
    virtual TInplaceEdit* CreateEditor();
    virtual void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    virtual void MouseMove(Qt::KeyboardModifiers shift, int x, int y);
    virtual void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    virtual void Click();
    virtual void DblClick();
    virtual void CalcSizingState(int x, int y, TGridState& state, int& index, int& sizingPos, int& sizingOfs);
    // Looks for a grid line under a position along the columns (cols) or rows, from the first scrollable
    // cell.
    void CalcAxisSizing(bool cols, int pos, TGridState& state, int& index, int& sizingPos,
                        int& sizingOfs) const;
    virtual void TopLeftChanged();
    virtual void ColWidthsChanged();
    virtual void RowHeightsChanged();
    virtual void SizeChanged(int oldColCount, int oldRowCount) {}
    virtual void RowMoved(int fromIndex, int toIndex);
    virtual void ColumnMoved(int fromIndex, int toIndex);
    virtual void DeleteRow(int row);
    virtual void DeleteColumn(int col);
    virtual void Resize() {}
    // Reports an exception raised inside an event handler, of whatever type (no exception may cross Qt's
    // event dispatch).
    virtual void HandleException(const std::exception_ptr& error);

    void MoveCurrent(int col, int row, bool moveAnchor, bool show);
    void FocusCell(int col, int row, bool moveAnchor);
    void MoveTopLeft(int col, int row);
    void ClampInView(const TGridCoord& coord);
    void ShowEditor();
    void HideEditor();
    void UpdateEdit();
    void HideEdit();
    void InvalidateEditor();
    // Hides the editor without writing its text back (the caller's data under the cell is changing).
    void DiscardEdit();
    // Called when the editor is loaded for its cell, before it reads the cell's text: a subclass whose data
    // can move between lines remembers here what the cell shows.
    virtual void EditorLoaded() {}
    // True when the editor's cell no longer shows what the editor was loaded from: its text then belongs
    // nowhere and is dropped, and the editor is loaded afresh.
    virtual bool EditorCellChanged() const { return false; }
    // Called when the editor has been loaded for its cell (text, mask and selection set).
    virtual void EditorReloaded() {}
    // Moves the current cell without asking SelectCell (the grid's own bookkeeping after a change).
    void SetCurrentCell(int col, int row);
    TGridState GridState() const { return m_gridState; }
    // The cell the editor was loaded from; -1 while it is not loaded.
    int InplaceCol() const { return m_inplaceCol; }
    int InplaceRow() const { return m_inplaceRow; }
    // True while MouseDown handles the second press of a double click.
    bool DoubleClicking() const { return m_doubleClick; }
    int MaxTopRow() const;
    int MaxLeftCol() const;
    // Extent of the fixed columns and rows including their lines.
    int FixedWidth() const;
    int FixedHeight() const;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool event(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void showEvent(QShowEvent* event) override;

private:
    // Moves the grid to its first scrollable cell after a fixed count changed.
    void FixedCountChanged();
    friend class TInplaceEdit;
    template <class F> void Guarded(F&& f);
    void SizeVectors();
    void UpdateScrollRange();
    void ClampState();
    void EditorFocusOut(QFocusEvent* event);
    void CheckExit(QWidget* newFocus, Qt::FocusReason reason);
    void SetSizingCursor(int x, int y);
    void PassFocusFromEditor();

    int m_colCount = 5;
    int m_rowCount = 5;
    int m_fixedCols = 1;
    int m_fixedRows = 1;
    int m_defaultColWidth = 64;
    int m_defaultRowHeight = 24;
    QVector<int> m_colWidths;  // empty: every column has the default width
    QVector<int> m_rowHeights; // empty: every row has the default height
    int m_gridLineWidth = 1;
    TGridOptions m_options = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
    bool m_defaultDrawing = true;
    QColor m_color;
    QColor m_fixedColor;
    TColor m_colorValue = TColor(0x80000005);      // clWindow
    TColor m_fixedColorValue = TColor(0x8000000F); // clBtnFace
    TScrollStyle m_scrollBars = TScrollStyle::ssBoth;
    TGridCoord m_current{1, 1};
    TGridCoord m_anchor{1, 1};
    TGridCoord m_topLeft{1, 1};
    bool m_editorMode = false;
    TInplaceEdit* m_inplaceEdit = nullptr; // a child of the viewport
    int m_inplaceCol = -1;
    int m_inplaceRow = -1;
    bool m_updatingScroll = false;
    TGridState m_gridState = TGridState::gsNormal;
    int m_sizingIndex = 0;
    int m_sizingPos = 0;
    int m_sizingOfs = 0;
    bool m_inExit = false;
    bool m_closingEditor = false; // the focus passes from the closing editor to the grid
    bool m_focusWithin = false;
    bool m_doubleClick = false;
    bool m_paintErrorPending = false; // an exception of a paint is about to be reported
    bool m_paintFailing = false;      // the last paint ended with an exception
    bool m_repaintPosted = false;     // a repaint is asked for when the event loop next runs
};

class TDrawGrid : public TCustomDrawGrid {
    Q_OBJECT

public:
    explicit TDrawGrid(QWidget* parent = nullptr) : TCustomDrawGrid(parent) {}
};
