#pragma once
// The owner-drawn name/value grid over the row tree: a title line, one line per shown row (name cell,
// value cells), category rows with plus/minus glyphs, indentation by level, value hints, editing with the
// in-place editor, and keyboard and mouse rules for adding, deleting, expanding and validating rows. All
// layout goes through the axis mapping below, so every rule holds in both orientations.
#include "classlib/DrawGrid.h"
#include "inspector/RSDeltaFont.h"
#include "inspector/RSHintWindow.h"
#include "inspector/RSItemProp.h"
#include "inspector/RSRowList.h"
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <memory>

class TRSInplaceEditList;

enum TILEDisplayOption : unsigned {
    doColumnTitles = 1u << 0,
    doAutoColResize = 1u << 1,
    doKeyColFixed = 1u << 2,
    doShowReadOnly = 1u << 3,
    doMultiColValues = 1u << 4,
};
using TILEDisplayOptions = unsigned;

enum TILEPropOption : unsigned {
    propEdit = 1u << 0,
    propAdd = 1u << 1,
    propDelete = 1u << 2,
    propUnique = 1u << 3
};
using TILEPropOptions = unsigned;

enum class TRSGridOrientation { goVertical, goHorizontal };
enum class TGridShowHints { shNone, shValueOnly, shHintOnly, shValueAndHint };

using TRSGetCategoryEvent =
    std::function<void(QObject* sender, TRSItemProp* item, const QString& propName, QString& category)>;
using TRSOnShowHintsEvent = std::function<void(QObject* sender, TRSItemProp* item, QString& hint)>;

// What a row stands for, kept with an edit the editor left, so that the row made anew for the same thing
// is found again after the rows are made anew, and no other row is taken for it.
class TRSRowIdentity {
public:
    virtual ~TRSRowIdentity() = default;
    virtual bool Matches(const TRSItemProp* row) const = 0;
};

// Stored with its fonts ("Font.*" whole, the three fonts that follow it by their differences), its glyphs
// when they are not the built-in ones ("MinusGlyph", "PlusGlyph" as PNG) and its hint window's settings
// ("HintWindow.Interval", "HintWindow.Color", "HintWindow.Font.*") after its published settings.
class TRSCustomItemListEditor : public TCustomDrawGrid, public TDefinedProperties {
    Q_OBJECT
    // The grid's own published settings.
    Q_PROPERTY(bool ArrangeByCategory READ ArrangeByCategory WRITE SetArrangeByCategory)
    Q_PROPERTY(bool CaseSensitive READ CaseSensitive WRITE SetCaseSensitive)
    Q_PROPERTY(bool DeleteBlanks READ DeleteBlanks WRITE SetDeleteBlanks)
    Q_PROPERTY(uint DisplayOptions READ DisplayOptions WRITE SetDisplayOptionBits)
    Q_PROPERTY(int DropDownRows READ DropDownRows WRITE SetDropDownRows)
    Q_PROPERTY(bool HideSelection READ HideSelection WRITE SetHideSelection)
    Q_PROPERTY(int Indent READ Indent WRITE SetIndent)
    Q_PROPERTY(QString PathDelimiter READ PathDelimiter WRITE SetPathDelimiter)
    Q_PROPERTY(TRSGridOrientation Orientation READ Orientation WRITE SetOrientationChecked)
    Q_PROPERTY(uint PropertyOptions READ PropertyOptions WRITE SetPropertyOptionBits)
    Q_PROPERTY(bool Sorted READ Sorted WRITE SetSorted)
    Q_PROPERTY(TGridShowHints ShowItemHintStyle READ ShowItemHintStyle WRITE SetShowItemHintStyleChecked)
    Q_PROPERTY(QStringList TitleCaptions READ TitleCaptions WRITE SetTitleCaptions)
    Q_CLASSINFO("default:ArrangeByCategory", "False")
    Q_CLASSINFO("default:CaseSensitive", "False")
    Q_CLASSINFO("default:DeleteBlanks", "True")
    Q_CLASSINFO("default:DisplayOptions", "15")
    Q_CLASSINFO("default:DropDownRows", "8")
    Q_CLASSINFO("default:HideSelection", "True")
    Q_CLASSINFO("default:Indent", "17")
    Q_CLASSINFO("default:PropertyOptions", "0")
    Q_CLASSINFO("default:Sorted", "False")
    Q_CLASSINFO("stored:TitleCaptions", "TitleCaptionsStored")
    Q_CLASSINFO("default:Orientation", "0")       // goVertical
    Q_CLASSINFO("default:ShowItemHintStyle", "3") // shValueAndHint
    // The base grid's settings as this grid starts.
    Q_CLASSINFO("default:ColCount", "2")
    Q_CLASSINFO("default:RowCount", "2")
    Q_CLASSINFO("default:FixedCols", "0")
    Q_CLASSINFO("default:DefaultColWidth", "150")
    Q_CLASSINFO("default:DefaultRowHeight", "18")
    Q_CLASSINFO("default:Options", "25743")

public:
    explicit TRSCustomItemListEditor(QWidget* parent = nullptr);
    ~TRSCustomItemListEditor() override;

    // The root rows; made through the virtual CreateItems on first use, so a subclass's rows are used.
    TRSItemProps* Items() const;
    TRSItemStrings& Strings() { return m_strings; }
    void SetStrings(const QStringList& lines) { m_strings.Assign(lines); }

    // ---- axis mapping: item index = grid line of a row, value index = name (0) or value cell
    int ValueCount() const;
    void SetValueCount(int value);
    int CurValue() const;
    void SetCurValue(int value);
    int FixedValues() const;
    int ItemCount() const;
    void SetItemCount(int value);
    int CurItem() const;
    void SetCurItem(int value);
    int FixedItems() const;
    void SetFixedItems(int value);
    int ItemIndexOf(int col, int row) const;
    int ValueIndexOf(int col, int row) const;
    // Grid cell of an item index and value index.
    TGridCoord CellOf(int itemIndex, int valueIndex) const;

    QStringList TitleCaptions() const { return m_titleCaptions; }
    void SetTitleCaptions(const QStringList& value);
    // Stored only when it differs from the two default captions.
    Q_INVOKABLE bool TitleCaptionsStored() const;
    TILEDisplayOptions DisplayOptions() const { return m_displayOptions; }
    TILEPropOptions PropertyOptions() const { return m_propertyOptions; }
    void SetPropertyOptions(TILEPropOptions value);
    int DropDownRows() const { return m_dropDownRows; }
    void SetDropDownRows(int value);
    QString PathDelimiter() const { return m_pathDelimiter; }
    void SetPathDelimiter(const QString& value) { m_pathDelimiter = value; }
    bool CaseSensitive() const { return m_caseSensitive; }
    void SetCaseSensitive(bool value);
    bool Sorted() const;
    void SetSorted(bool value);
    TRSFont* GridFont() const { return m_font.get(); }
    TRSCustomDeltaFont* ValueFont() const { return m_valueFont.get(); }
    TRSCustomDeltaFont* CategoryFont() const { return m_categoryFont.get(); }
    TRSCustomDeltaFont* TitleCaptionFont() const { return m_titleCaptionFont.get(); }
    int Indent() const { return m_indent; }
    void SetIndent(int value);
    const QPixmap& MinusGlyph() const { return m_minusGlyph; }
    void SetMinusGlyph(const QPixmap& value);
    const QPixmap& PlusGlyph() const { return m_plusGlyph; }
    void SetPlusGlyph(const QPixmap& value);
    // The glyphs a new grid has.
    static QPixmap MakeGlyph(bool plus);
    // A glyph is drawn in a line of the grid: anything larger in either direction is refused. An empty
    // glyph is none (nothing is drawn).
    static constexpr int MaxGlyphExtent = 256;
    static void CheckGlyph(const QPixmap& glyph);
    bool ArrangeByCategory() const { return m_arrangeByCategory; }
    TRSGridOrientation Orientation() const { return m_orientation; }
    void SetOrientation(TRSGridOrientation value);
    bool HideSelection() const { return m_hideSelection; }
    void SetHideSelection(bool value);
    TRSHintWindow* HintWindow() const { return m_hintWindow; }
    TGridShowHints ShowItemHintStyle() const { return m_showItemHintStyle; }
    void SetShowItemHintStyle(TGridShowHints value) { m_showItemHintStyle = value; }
    // The writes of the published settings: bits of no option are dropped, a number that names no hint
    // style is refused.
    void SetDisplayOptionBits(uint value) { SetDisplayOptions(value & 0x1Fu); }
    void SetPropertyOptionBits(uint value) { SetPropertyOptions(value & 0xFu); }
    void SetShowItemHintStyleChecked(TGridShowHints value);
    // While a stream is read the line counts are already stored as they are in that orientation: the
    // orientation is taken without exchanging them.
    void SetOrientationChecked(TRSGridOrientation value);
    void WriteDefinedProperties(TWriter& writer) const override;
    bool ReadDefinedProperty(TReader& reader, const QString& name) override;
    bool DeleteBlanks() const { return m_deleteBlanks; }
    void SetDeleteBlanks(bool value) { m_deleteBlanks = value; }
    TRSInplaceEditList* Editor() const;
    QString PendingName() const { return m_pendingName; }
    bool Loading() const { return m_loading; }
    void SetLoading(bool value) { m_loading = value; }
    void SetColCount(int value) override;

    int ItemListCount() const { return int(m_itemList.size()); }
    TRSItemProp* ItemListItem(int index) const { return m_itemList.at(index); }
    int ItemListIndexOf(const TRSItemProp* row) const { return int(m_itemList.indexOf(row)); }
    int VisibleCount() const { return int(m_visibleItems.size()); }
    TRSItemProp* VisibleItem(int index) const { return m_visibleItems.at(index); }
    int VisibleIndexOf(const TRSItemProp* row) const { return int(m_visibleItems.indexOf(row)); }
    TRSItemProp* CurrentItem() const;
    // The row at the current cell, the one the editor edits. It is the current row, except while a row
    // selected inside an update waits for its line: the user still sees the cursor, and edits, here.
    TRSItemProp* CursorItem() const { return ItemAtCell(Col(), Row(), true); }
    void SelectItem(TRSItemProp* row);
    int UpdateCount() const { return m_updateCount; }
    bool Destroying() const { return m_destroying; }
    // Closes the in-place editor unless an update is running.
    void CloseEditor();
    // The category row a row belongs to (made when missing), or nullptr.
    TRSItemProp* GetCategoryFor(TRSItemProp* row, const QString& propName);
    // A sub-level of a row changed as a whole (it may have been reordered): the row lists follow.
    void SubItemsChanged(TRSItemProp* row);
    // A row's name or values changed. When the program changed them under an open edit, Escape goes back
    // to what the row holds now.
    void RowTextChanged(TRSItemProp* row);
    // Repaints the grid when the row is shown (once at the end of an update).
    void RepaintRow(const TRSItemProp* row);
    // Forgets an edit that a change of the rows closed (its rows now describe something else).
    void DropKeptEdit();
    // The row that an uncommitted edit belongs to (in the editor, or kept while the editor is closed).
    TRSItemProp* EditedRow() const;
    // While set, the rows are being made anew (a rescan): an edit kept on a row that goes follows the one
    // row made for the same thing (RowIdentity). When it ends without one, the edit is dropped.
    void SetRemakingRows(bool value);
    // What a row stands for, the same for a row made anew in its place: its full name.
    virtual QString RowKey(const TRSItemProp* row) const;
    // What a row stands for, taken when an edit is kept for it, so that after the rows are made anew the
    // one row made for the same thing is found (here: the same RowKey).
    virtual std::shared_ptr<const TRSRowIdentity> RowIdentity(const TRSItemProp* row) const;

    TRSNotifyEvent OnEditButtonClick;
    TRSGetPickListEvent OnGetPickList;
    TRSOnValidateEvent OnValidate;
    TRSGetCategoryEvent OnCategorize;
    TRSOnShowHintsEvent OnShowHints;

    // ---- own operations
    virtual QString GetCellExpression(int col, int row);
    virtual void FitColumns();
    virtual void UpdateRowCount();
    virtual int CompareItems(const QString& s1, const QString& s2) const;
    virtual void InitCategories() {}
    virtual void ValidateEdit();
    virtual void BeginUpdate();
    virtual void EndUpdate();
    virtual void GetPickListItems(int col, int row, QStringList& list);
    virtual void DoEditButtonClick();
    virtual TRSItemProp* ItemByName(const QVariant& name, bool strict);
    virtual TRSItemProp* ItemAtCell(int col, int row, bool relative = true) const;
    virtual void GetCellText(int col, int row, QString& text);
    virtual TRSFont* GetEditorFont(int col, int row);
    virtual bool DoGetPickList(TRSItemProp* row, QStringList& list, bool clear);
    virtual void SetCellText(int col, int row, const QString& text);
    virtual void SetArrangeByCategory(bool value);
    virtual void SetDisplayOptions(TILEDisplayOptions value);
    virtual void SetTitleFixed(bool on);
    virtual void FullCollapseAll();
    virtual void FullExpandAll();
    virtual void ArrangeItem(TRSItemProp* row, const QStringList& categories, bool copyToAll);
    virtual void ArrangeCollection(TRSItemProps* collection, const QStringList& categories, bool copyToAll);
    virtual void ArrangeTopLevel(const QStringList& categories, bool copyToAll);
    virtual void ArrangeByCategories(bool copyToAll);
    virtual void DeleteItemAt(int col, int row);
    virtual void RowCountChanged();
    virtual TEditStyle GetEditStyle(int col, int row);
    virtual int InsertRow(const QString& name, const QString& value, bool append);
    virtual void CancelEdit();

    // ---- hooks of the class library's grid
    bool CanEditModify() override;
    QString GetEditMask(int col, int row) override;
    QString GetEditText(int col, int row) override;
    void SetEditText(int col, int row, const QString& value) override;
    void KeyDown(int& key, Qt::KeyboardModifiers shift) override;
    void DoExit() override;

    // ---- notifications from the rows
    virtual void GetParentFont(TRSFont*& font);
    virtual void ItemNotify(TRSItemProp* item, TCollectionNotification action);
    virtual void ItemsChanged(TRSItemProp* item);
    virtual void PrepareChange();
    virtual void ItemVisibleChanged(TRSItemProp* item);
    virtual void UpdateShownState(TRSItemProp* item, bool parentShown);
    virtual TRSItemProps* CreateItems(QObject* owner);

protected:
    void DrawCell(int col, int row, const QRect& rect, TGridDrawState state, QPainter& painter) override;
    bool SelectCell(int col, int row) override;
    TInplaceEdit* CreateEditor() override;
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;
    void MouseMove(Qt::KeyboardModifiers shift, int x, int y) override;
    void CalcSizingState(int x, int y, TGridState& state, int& index, int& sizingPos,
                         int& sizingOfs) override;
    void RowMoved(int fromIndex, int toIndex) override;
    void DeleteRow(int row) override;
    void DeleteColumn(int col) override;
    void ColWidthsChanged() override;
    void Resize() override;
    void leaveEvent(QEvent* event) override;
    void EditorLoaded() override;
    bool EditorCellChanged() const override;
    void EditorReloaded() override;
    void showEvent(QShowEvent* event) override;

    virtual void FontChanged();
    virtual void ValueFontChanged();
    virtual void TitleCaptionFontChanged();
    virtual void CategoryFontChanged();
    virtual void TitleCaptionsChanged();
    virtual void OrientationChanged();
    virtual void DoShowHints(TRSItemProp* item, int col, int row, QString& hint);

private:
    friend class TRSItemProps; // keeps the lists in step as rows come and go
    // What the user was doing in the editor when a change of the rows closed it, so that the editor carries
    // on on its row wherever that row lands (and the text is dropped when the row went).
    struct TEditorState {
        QPointer<TRSItemProp> Row;
        std::shared_ptr<const TRSRowIdentity> Identity; // what the row stands for
        int Value = -1;
        QString Text;
        QString OldValue;
        int Cursor = 0;
        int SelStart = -1;
        int SelLength = 0;
        bool Modified = false;
    };
    TEditorState SaveEditor() const;
    // The kept edit belongs to the cell the editor is on.
    bool KeptEditFits() const;
    // The row of an edit kept while the editor is elsewhere, or nullptr.
    TRSItemProp* PendingEditRow() const;
    // The row itself when shown, else its nearest shown ancestor.
    TRSItemProp* ShownRowFor(TRSItemProp* row) const;
    // Puts the current line back on a row after the shown rows changed (see the definition); place is the
    // shown index the current row had before the change, or -1.
    void FollowCurrent(TRSItemProp* current, int place = -1);
    // A move of the current cell the grid accepted ends the hold of a row selected inside an update.
    bool Moved(bool ok);
    void RestoreEditor(const TEditorState& state);
    // Commits a kept edit while the editor is not back on its row: its text goes into the row and is
    // validated there.
    void CommitKeptEdit();
    // The text a row shows in a value index (0: its name).
    static QString TextOf(const TRSItemProp* row, int value);
    // The commit of a name cell: a name held back while typing is stored now or refused.
    void CommitName(TRSItemProp* row);
    void RebuildLists();
    // Both lists made from the tree: every row, then the shown ones.
    void FillItemList();
    void FillShownList();
    // The lists are rebuilt when the running update ends; until then they keep what they hold, less the
    // rows that leave the tree.
    void MarkListsStale();
    void RemoveFromLists(TRSItemProp* row);
    void RebuildVisible();
    void ResyncSubtree(TRSItemProp* row);
    template <class List> void AppendSubtree(TRSItemProp* row, List& list) const;
    template <class List> void AppendShown(TRSItemProp* row, List& list) const;
    void InsertShown(TRSItemProp* row);
    void RemoveShown(TRSItemProp* row);
    QRect GlyphRect(TRSItemProp* row, const QRect& cell) const;
    void DeleteShownItem(int itemIndex);

    mutable TRSItemProps* m_items = nullptr; // a QObject child
    QStringList m_titleCaptions;
    TILEDisplayOptions m_displayOptions = doColumnTitles | doAutoColResize | doKeyColFixed | doShowReadOnly;
    int m_dropDownRows = 8;
    QString m_pendingName;
    bool m_deleting = false;
    int m_updateShownCount = 0;
    int m_updateCount = 0;
    bool m_fitting = false;
    TILEPropOptions m_propertyOptions = 0;
    TRSRowList m_itemList{0};
    TRSRowList m_visibleItems{1};
    QString m_pathDelimiter = QStringLiteral(".");
    bool m_caseSensitive = false;
    std::unique_ptr<TRSFont> m_font;
    std::unique_ptr<TRSCustomDeltaFont> m_valueFont;
    std::unique_ptr<TRSCustomDeltaFont> m_categoryFont;
    std::unique_ptr<TRSCustomDeltaFont> m_titleCaptionFont;
    int m_indent = 11;
    QPixmap m_minusGlyph;
    QPixmap m_plusGlyph;
    TRSItemStrings m_strings{this};
    bool m_arrangeByCategory = false;
    TRSGridOrientation m_orientation = TRSGridOrientation::goVertical;
    bool m_hideSelection = true;
    TRSHintWindow* m_hintWindow = nullptr; // a QObject child
    TGridShowHints m_showItemHintStyle = TGridShowHints::shValueAndHint;
    int m_lastHintX = -1;
    int m_lastHintY = -1;
    bool m_deleteBlanks = true;
    bool m_destroying = false;
    bool m_loading = false;
    bool m_listsStale = false;            // the lists are rebuilt when the update ends
    bool m_repaintPending = false;        // a shown row changed inside an update
    QPointer<TRSItemProp> m_staleCurrent; // the current row when the lists went stale
    QPointer<TRSItemProp> m_editRow;      // the row the editor was loaded from
    bool m_editOnNewLine = false;         // ... or the empty line after the last row
    bool m_reopenPosted = false;
    bool m_adoptNewRow = false;   // the next top-level row added is the editor's (typed on the empty line)
    TEditorState m_keptEdit;      // the edit of an editor closed by a change of the rows
    bool m_editorWriting = false; // the editor's text is being written into its cell
    bool m_remakingRows = false;  // a subclass makes its rows anew
    // The current row inside an update while its line is not there yet (the lines, and in an update of the
    // rows the lists too, wait for the update's end): kept as the row itself, given its line at the end.
    QPointer<TRSItemProp> m_heldCurrent;
};

// The grid as a component of its own: its rows are stored with it. While a stream is read into it, it
// is loading, so that the line counts stay as stored until the rows are there.
class TRSItemListEditor : public TRSCustomItemListEditor, public TLoadingObject {
    Q_OBJECT
    // Stored after the fonts, so that rows read back start from the grid's stored fonts.
    Q_PROPERTY(TRSItemProps* Items READ Items STORED false)

public:
    explicit TRSItemListEditor(QWidget* parent = nullptr) : TRSCustomItemListEditor(parent) {}
    void BeginLoading() override { SetLoading(true); }
    void Loaded() override;
    void WriteDefinedProperties(TWriter& writer) const override;
    bool ReadDefinedProperty(TReader& reader, const QString& name) override;
};
