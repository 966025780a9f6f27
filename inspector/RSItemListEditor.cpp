#include "inspector/RSItemListEditor.h"
#include "classlib/Translation.h"
#include "inspector/RSInplaceEditList.h"
#include <QPainter>
#include <QSet>

namespace {

int Sign(int v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

bool IsDescendantOf(const TRSItemProp* row, const TRSItemProp* ancestor) {
    for (TRSItemProp* p = row->ParentItem(); p; p = p->ParentItem())
        if (p == ancestor)
            return true;
    return false;
}

// Sets a flag for as long as it lives, and puts its old value back afterwards.
class TFlagScope {
public:
    TFlagScope(bool& flag, bool value) : m_flag(flag), m_old(std::exchange(flag, value)) {}
    ~TFlagScope() { m_flag = m_old; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& m_flag;
    bool m_old;
};

// Runs EndUpdate when the scope ends.
template <class T> class TUpdateScope {
public:
    explicit TUpdateScope(T* target) : m_target(target) { m_target->BeginUpdate(); }
    ~TUpdateScope() noexcept(false) { m_target->EndUpdate(); }
    TUpdateScope(const TUpdateScope&) = delete;
    TUpdateScope& operator=(const TUpdateScope&) = delete;

private:
    T* m_target;
};

} // namespace

TRSCustomItemListEditor::TRSCustomItemListEditor(QWidget* parent) : TCustomDrawGrid(parent) {
    m_hintWindow = new TRSHintWindow(this);
    m_hintWindow->SetInterval(0);
    m_font = std::make_unique<TRSFont>();
    m_font->SetFont(font());
    m_font->SetColor(palette().color(QPalette::Text));
    m_font->OnChange = [this](TRSFont*) { FontChanged(); };
    m_titleCaptions = {_("Property"), _("Value")};
    auto parentFont = [this](TRSCustomDeltaFont*, TRSFont*& f) { GetParentFont(f); };
    m_valueFont = std::make_unique<TRSCustomDeltaFont>();
    m_categoryFont = std::make_unique<TRSCustomDeltaFont>();
    m_titleCaptionFont = std::make_unique<TRSCustomDeltaFont>();
    for (TRSCustomDeltaFont* f : {m_valueFont.get(), m_categoryFont.get(), m_titleCaptionFont.get()}) {
        f->Assign(*m_font);
        f->OnGetParentFont = parentFont;
    }
    m_categoryFont->SetBold(true);
    m_categoryFont->SetColor(QColor(0x80, 0x00, 0x80));
    m_valueFont->OnChange = [this](TRSFont*) { ValueFontChanged(); };
    m_categoryFont->OnChange = [this](TRSFont*) { CategoryFontChanged(); };
    m_titleCaptionFont->OnChange = [this](TRSFont*) { TitleCaptionFontChanged(); };
    m_minusGlyph = MakeGlyph(false);
    m_plusGlyph = MakeGlyph(true);
    SetColCount(2);
    SetRowCount(2);
    SetFixedCols(0);
    SetDefaultColWidth(150);
    SetDefaultRowHeight(18);
    resize(306, 300);
    SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goColSizing | goEditing |
               goAlwaysShowEditor | goThumbTracking);
    SetTitleFixed(true);
    SetCurrentCell(1, FixedRows());
}

TRSCustomItemListEditor::~TRSCustomItemListEditor() {
    m_destroying = true;
    ++m_updateCount; // for good: nothing is rebuilt while the rows go
    delete m_items;
    m_items = nullptr;
}

QPixmap TRSCustomItemListEditor::MakeGlyph(bool plus) {
    QPixmap pm(9, 9);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(0, 0, 8, 8);
    p.setPen(Qt::black);
    p.drawLine(2, 4, 6, 4);
    if (plus)
        p.drawLine(4, 2, 4, 6);
    return pm;
}

TRSItemProps* TRSCustomItemListEditor::Items() const {
    if (!m_items) {
        auto* self = const_cast<TRSCustomItemListEditor*>(this);
        m_items = self->CreateItems(self);
        self->InitCategories();
    }
    return m_items;
}

TRSItemProps* TRSCustomItemListEditor::CreateItems(QObject* owner) {
    return new TRSItemProps(owner, &TRSItemProp::staticMetaObject);
}

TRSInplaceEditList* TRSCustomItemListEditor::Editor() const {
    return qobject_cast<TRSInplaceEditList*>(InplaceEditor());
}

TInplaceEdit* TRSCustomItemListEditor::CreateEditor() {
    auto* editor = new TRSInplaceEditList(this);
    editor->SetDropDownRows(m_dropDownRows);
    editor->OnEditButtonClick = [this] { DoEditButtonClick(); };
    editor->OnGetPickListItems = [this](int col, int row, QStringList& items) {
        GetPickListItems(col, row, items);
    };
    return editor;
}

// ---- axis mapping ------------------------------------------------------------------------------------

int TRSCustomItemListEditor::ValueCount() const {
    return m_orientation == TRSGridOrientation::goVertical ? ColCount() : RowCount();
}

void TRSCustomItemListEditor::SetValueCount(int value) {
    if (m_orientation == TRSGridOrientation::goVertical)
        SetColCount(value);
    else
        SetRowCount(value);
}

int TRSCustomItemListEditor::CurValue() const {
    return m_orientation == TRSGridOrientation::goVertical ? Col() : Row();
}

void TRSCustomItemListEditor::SetCurValue(int value) {
    if (m_orientation == TRSGridOrientation::goVertical)
        SetCol(value);
    else
        SetRow(value);
}

int TRSCustomItemListEditor::FixedValues() const {
    return m_orientation == TRSGridOrientation::goVertical ? FixedCols() : FixedRows();
}

int TRSCustomItemListEditor::ItemCount() const {
    return m_orientation == TRSGridOrientation::goVertical ? RowCount() : ColCount();
}

void TRSCustomItemListEditor::SetItemCount(int value) {
    if (m_orientation == TRSGridOrientation::goVertical)
        SetRowCount(value);
    else
        SetColCount(value);
}

int TRSCustomItemListEditor::CurItem() const {
    return m_orientation == TRSGridOrientation::goVertical ? Row() : Col();
}

void TRSCustomItemListEditor::SetCurItem(int value) {
    m_heldCurrent = nullptr; // the line asked for is the current one
    if (m_orientation == TRSGridOrientation::goVertical)
        SetRow(value);
    else
        SetCol(value);
}

int TRSCustomItemListEditor::FixedItems() const {
    return m_orientation == TRSGridOrientation::goVertical ? FixedRows() : FixedCols();
}

void TRSCustomItemListEditor::SetFixedItems(int value) {
    if (m_orientation == TRSGridOrientation::goVertical)
        SetFixedRows(value);
    else
        SetFixedCols(value);
}

int TRSCustomItemListEditor::ItemIndexOf(int col, int row) const {
    return m_orientation == TRSGridOrientation::goVertical ? row : col;
}

int TRSCustomItemListEditor::ValueIndexOf(int col, int row) const {
    return m_orientation == TRSGridOrientation::goVertical ? col : row;
}

TGridCoord TRSCustomItemListEditor::CellOf(int itemIndex, int valueIndex) const {
    return m_orientation == TRSGridOrientation::goVertical ? TGridCoord{valueIndex, itemIndex}
                                                           : TGridCoord{itemIndex, valueIndex};
}

// ---- properties --------------------------------------------------------------------------------------

void TRSCustomItemListEditor::SetTitleCaptions(const QStringList& value) {
    if (value == m_titleCaptions)
        return;
    m_titleCaptions = value;
    TitleCaptionsChanged();
}

bool TRSCustomItemListEditor::TitleCaptionsStored() const {
    return m_titleCaptions != QStringList{QStringLiteral("Property"), QStringLiteral("Value")};
}

void TRSCustomItemListEditor::SetPropertyOptions(TILEPropOptions value) {
    const TILEPropOptions old = m_propertyOptions;
    if ((old & propEdit) && !(value & propEdit))
        value &= ~propAdd;
    if (!(old & propAdd) && (value & propAdd))
        value |= propEdit;
    m_propertyOptions = value;
    if (!(value & propEdit) && CurValue() == 0 && ValueCount() > 1)
        SetCurValue(1);
    if (m_loading && (value & propEdit))
        SetCurValue(0);
}

void TRSCustomItemListEditor::SetDropDownRows(int value) {
    if (value == m_dropDownRows || value < 1)
        return;
    m_dropDownRows = value;
    if (TRSInplaceEditList* editor = Editor())
        editor->SetDropDownRows(value);
}

void TRSCustomItemListEditor::SetCaseSensitive(bool value) {
    if (value == m_caseSensitive)
        return;
    m_caseSensitive = value;
    // A sorted tree is out of order under the new comparison; rows are placed by binary search later.
    if (Items()->Sorted()) {
        std::function<void(TRSItemProps*)> resort = [&](TRSItemProps* rows) {
            rows->m_sorted = false;
            rows->Sort(true);
            rows->m_sorted = true;
            for (int i = 0; i < rows->Count(); ++i)
                if (rows->Items(i)->HasItems())
                    resort(rows->Items(i)->Items());
        };
        resort(Items());
    }
}

bool TRSCustomItemListEditor::Sorted() const {
    return Items()->Sorted();
}

void TRSCustomItemListEditor::SetSorted(bool value) {
    Items()->SetSorted(value);
}

void TRSCustomItemListEditor::SetIndent(int value) {
    if (value == m_indent || value < 0)
        return;
    m_indent = value;
    InvalidateGrid();
}

void TRSCustomItemListEditor::CheckGlyph(const QPixmap& glyph) {
    // What the grid's stream can store and read back: up to the extent in each direction, or no glyph.
    if (glyph.width() > MaxGlyphExtent || glyph.height() > MaxGlyphExtent)
        throw EInvalidOperation(_("A glyph of %1 x %2 pixels is larger than %3 x %3")
                                    .arg(glyph.width())
                                    .arg(glyph.height())
                                    .arg(MaxGlyphExtent));
}

void TRSCustomItemListEditor::SetMinusGlyph(const QPixmap& value) {
    CheckGlyph(value);
    m_minusGlyph = value;
    InvalidateGrid();
}

void TRSCustomItemListEditor::SetPlusGlyph(const QPixmap& value) {
    CheckGlyph(value);
    m_plusGlyph = value;
    InvalidateGrid();
}

void TRSCustomItemListEditor::SetOrientation(TRSGridOrientation value) {
    if (value == m_orientation)
        return;
    // The edit is taken while its cell is still read in the old orientation, and comes back on the
    // transposed cell with its text, modified mark and selection.
    if (InplaceEditor() && InplaceEditor()->isVisible() && m_updateCount == 0)
        if (TEditorState state = SaveEditor(); state.Row && (state.Modified || !m_keptEdit.Modified))
            m_keptEdit = state;
    DiscardEdit();
    m_orientation = value;
    OrientationChanged();
}

void TRSCustomItemListEditor::SetHideSelection(bool value) {
    m_hideSelection = value;
    InvalidateGrid();
}

void TRSCustomItemListEditor::SetColCount(int value) {
    TCustomDrawGrid::SetColCount(value);
    if (m_displayOptions & doAutoColResize)
        FitColumns();
}

// ---- rows --------------------------------------------------------------------------------------------

TRSItemProp* TRSCustomItemListEditor::CurrentItem() const {
    // A row held current inside an update, while it is shown (or still listed: the list is about to
    // follow the change that hid it, and the current row with it).
    if (m_heldCurrent && (m_heldCurrent->IsShown() || VisibleIndexOf(m_heldCurrent) >= 0))
        return m_heldCurrent;
    return ItemAtCell(Col(), Row(), true);
}

TRSItemProp* TRSCustomItemListEditor::ItemAtCell(int col, int row, bool relative) const {
    const int index = ItemIndexOf(col, row) - (relative ? FixedItems() : 0);
    if (index < 0 || index >= m_visibleItems.size())
        return nullptr;
    return m_visibleItems.at(index);
}

void TRSCustomItemListEditor::SelectItem(TRSItemProp* row) {
    if (row == CurrentItem())
        return;
    if (!row) {
        HideEditor();
        return;
    }
    for (TRSItemProp* p = row->ParentItem(); p; p = p->ParentItem())
        p->Expand();
    // Inside an update the lines lag behind the rows, and so do the lists in an update of the rows or
    // after a change of a whole level: a row whose line is not there yet is held current by itself, and
    // takes its line when the update ends.
    // A row beyond the lines a grid holds never gets one: it is refused as it is outside an update.
    const int index = VisibleIndexOf(row);
    const int line = FixedItems() + index;
    if (m_listsStale || Items()->UpdateCount() > 0 ||
        (m_updateCount > 0 && line >= ItemCount() && line < MaxGridLines)) {
        if (row->ItemListEditor() == this && row->IsShown())
            m_heldCurrent = row;
        return;
    }
    if (index >= 0)
        SetCurItem(line);
}

TRSItemProp* TRSCustomItemListEditor::ItemByName(const QVariant& name, bool strict) {
    if (m_visibleItems.isEmpty())
        return nullptr;
    const int type = name.typeId();
    const bool numeric = type == QMetaType::Int || type == QMetaType::UInt || type == QMetaType::LongLong ||
                         type == QMetaType::ULongLong || type == QMetaType::Double;
    if (!numeric) {
        const QString text = name.toString();
        for (TRSItemProp* row : m_visibleItems)
            if (row->Name() == text)
                return row;
        if (strict)
            throw Exception(_("Property not found: %1").arg(text));
        return nullptr;
    }
    const int index = name.toInt();
    if (index >= 0 && index < m_visibleItems.size())
        return m_visibleItems.at(index);
    return strict ? Items()->InsertAt(std::clamp(index, 0, Items()->Count())) : nullptr;
}

void TRSCustomItemListEditor::CloseEditor() {
    if (m_updateCount != 0)
        return;
    const bool open = InplaceEditor() && InplaceEditor()->isVisible();
    if (open)
        // An edit kept for a row the editor is not on stays until it is committed or cancelled.
        if (TEditorState state = SaveEditor(); state.Row && (state.Modified || !m_keptEdit.Modified))
            m_keptEdit = state;
    DiscardEdit();
    // The editor comes back on the current row once the change that closed it is over.
    if (open && !m_reopenPosted) {
        m_reopenPosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_reopenPosted = false;
                if (m_destroying || m_updateCount > 0)
                    return;
                try {
                    UpdateEdit();
                } catch (...) {
                    HandleException(std::current_exception());
                }
            },
            Qt::QueuedConnection);
    }
}

void TRSCustomItemListEditor::PrepareChange() {
    CloseEditor();
}

void TRSCustomItemListEditor::BeginUpdate() {
    if (m_updateCount == 0)
        m_updateShownCount = VisibleCount();
    ++m_updateCount;
}

void TRSCustomItemListEditor::EndUpdate() {
    if (m_updateCount == 0 || --m_updateCount > 0)
        return;
    if (m_listsStale && !m_destroying) {
        // Rows still arriving in an update of the tree: the lists are built once, when it ends.
        if (Items()->UpdateCount() == 0)
            RebuildLists();
    } else {
        // In an update of the rows still running, the rebuild at its end places the held row.
        const bool placeHeld = m_heldCurrent && Items()->UpdateCount() == 0;
        const bool countChanged = VisibleCount() != m_updateShownCount;
        // Closed before the line count changes: a reload of the editor by the new count would drop its
        // modified mark. The edit is kept and comes back once the editor is on its row again.
        if (placeHeld || countChanged)
            CloseEditor();
        if (countChanged)
            RowCountChanged();
        if (placeHeld) {
            FollowCurrent(std::exchange(m_heldCurrent, nullptr));
            UpdateEdit();
        }
    }
    if (std::exchange(m_repaintPending, false))
        InvalidateGrid();
}

void TRSCustomItemListEditor::RowCountChanged() {
    if (m_updateCount > 0 || m_destroying)
        return;
    // A stream stores the line counts ahead of the rows: while it is read they stay as stored, so that
    // the grid reads back as it was written, whatever rows arrive after them.
    if (!m_loading)
        UpdateRowCount();
    InvalidateGrid();
}

void TRSCustomItemListEditor::UpdateRowCount() {
    const int shown = VisibleCount();
    int n = FixedItems() + shown + (shown == 0 ? 1 : 0);
    if (n == ItemCount())
        return;
    // The title line is counted before it is set: a grid of one line has no room for a fixed one.
    const bool addTitle = (m_displayOptions & doColumnTitles) && FixedItems() == 0;
    if (addTitle)
        ++n;
    // Rows beyond what a grid holds get no line.
    SetItemCount(std::min(n, MaxGridLines));
    if (addTitle)
        SetFixedItems(1);
}

template <class List> void TRSCustomItemListEditor::AppendSubtree(TRSItemProp* row, List& list) const {
    list.append(row);
    if (row->HasItems())
        for (int i = 0; i < row->Items()->Count(); ++i)
            AppendSubtree(row->Items()->Items(i), list);
}

template <class List> void TRSCustomItemListEditor::AppendShown(TRSItemProp* row, List& list) const {
    row->m_visibleDescendantCache = -1;
    if (!row->IsShown())
        return;
    list.append(row);
    if (row->ExpandFlag() && row->HasItems())
        for (int i = 0; i < row->Items()->Count(); ++i)
            AppendShown(row->Items()->Items(i), list);
}

TRSCustomItemListEditor::TEditorState TRSCustomItemListEditor::SaveEditor() const {
    TEditorState state;
    const TRSInplaceEditList* editor = Editor();
    if (!editor || InplaceCol() < 0 || !editor->isVisible() || !m_editRow || EditorCellChanged())
        return state;
    state.Row = m_editRow;
    state.Identity = RowIdentity(m_editRow);
    state.Value = ValueIndexOf(InplaceCol(), InplaceRow());
    state.Text = editor->text();
    state.OldValue = editor->OldValue();
    state.Cursor = editor->cursorPosition();
    state.SelStart = editor->selectionStart();
    state.SelLength = int(editor->selectedText().size());
    state.Modified = editor->Modified();
    return state;
}

void TRSCustomItemListEditor::RestoreEditor(const TEditorState& state) {
    TRSInplaceEditList* editor = Editor();
    if (!state.Row || !editor || InplaceCol() < 0 || m_editRow != state.Row ||
        ValueIndexOf(InplaceCol(), InplaceRow()) != state.Value)
        return;
    if (state.Modified) {
        // The typed text, still uncommitted: Enter commits it to this row, Escape goes back to what the row
        // held before it (or to what the program put there since).
        editor->SetText(state.Text);
        editor->SetOldValue(state.OldValue);
        editor->SetModified(true);
    } else if (editor->text() != state.Text) {
        return; // the row's value changed: the editor shows the new one
    }
    if (state.SelStart < 0)
        editor->setCursorPosition(state.Cursor);
    else if (state.Cursor == state.SelStart)
        editor->setSelection(state.SelStart + state.SelLength, -state.SelLength);
    else
        editor->setSelection(state.SelStart, state.SelLength);
}

bool TRSCustomItemListEditor::KeptEditFits() const {
    return m_keptEdit.Row && Editor() && InplaceCol() >= 0 && m_editRow == m_keptEdit.Row &&
           ValueIndexOf(InplaceCol(), InplaceRow()) == m_keptEdit.Value;
}

void TRSCustomItemListEditor::EditorReloaded() {
    // Back on its row's cell, the editor carries on with the kept edit. Typed text waits for its row while
    // the editor is elsewhere (the row is hidden, or the user has not gone back to it yet): Enter or a
    // move commits it there, Escape drops it. A row gone for good takes its text along, unless the rows
    // are being made anew and the row's successor is still to come.
    if (KeptEditFits() || !m_keptEdit.Modified) {
        RestoreEditor(std::exchange(m_keptEdit, TEditorState{}));
        return;
    }
    if (!m_keptEdit.Row && !m_remakingRows)
        DropKeptEdit();
}

TRSItemProp* TRSCustomItemListEditor::PendingEditRow() const {
    return m_keptEdit.Modified ? m_keptEdit.Row.data() : nullptr;
}

void TRSCustomItemListEditor::SetRemakingRows(bool value) {
    m_remakingRows = value;
    if (!value && !m_keptEdit.Row)
        DropKeptEdit(); // the row it was typed into has no successor
}

TRSItemProp* TRSCustomItemListEditor::ShownRowFor(TRSItemProp* row) const {
    while (row && VisibleIndexOf(row) < 0)
        row = row->ParentItem();
    return row;
}

void TRSCustomItemListEditor::FollowCurrent(TRSItemProp* current, int place) {
    // A current row that went out of sight below a collapsed row hands the current line to its nearest
    // shown ancestor (a row hidden or deleted itself leaves its line to the row that takes its place); a
    // row with an edit waiting takes it back as soon as it is shown again below that ancestor.
    if (current && current->GetVisible())
        current = ShownRowFor(current);
    if (TRSItemProp* pending = PendingEditRow(); pending && current && pending != current &&
                                                 IsDescendantOf(pending, current) &&
                                                 VisibleIndexOf(pending) >= 0)
        current = pending;
    int index = current ? VisibleIndexOf(current) : -1;
    // The row that takes the place it had (a row on its line finds it there; a held row has no line yet).
    if (index < 0 && place >= 0 && VisibleCount() > 0) {
        index = std::min(place, VisibleCount() - 1);
        current = VisibleItem(index);
    }
    if (index < 0)
        return;
    const int line = FixedItems() + index;
    // Inside an update the lines wait for its end: a row whose line is not there yet is held until then.
    m_heldCurrent = m_updateCount > 0 && line >= ItemCount() ? current : nullptr;
    if (line != CurItem() && !m_heldCurrent) {
        const TGridCoord cell = CellOf(line, CurValue());
        SetCurrentCell(cell.X, cell.Y);
    }
}

QString TRSCustomItemListEditor::TextOf(const TRSItemProp* row, int value) {
    if (value == 0)
        return row->Name();
    const QStringList& lines = row->m_values.Lines();
    return value - 1 < lines.size() ? lines.at(value - 1) : QString();
}

void TRSCustomItemListEditor::RowTextChanged(TRSItemProp* row) {
    if (m_editorWriting)
        return;
    if (m_keptEdit.Row == row && m_keptEdit.Modified)
        m_keptEdit.OldValue = TextOf(row, m_keptEdit.Value);
    TRSInplaceEditList* editor = Editor();
    if (editor && m_editRow == row && InplaceCol() >= 0 && editor->Modified() && !EditorCellChanged())
        editor->SetOldValue(TextOf(row, ValueIndexOf(InplaceCol(), InplaceRow())));
}

void TRSCustomItemListEditor::RepaintRow(const TRSItemProp* row) {
    if (m_updateCount > 0 || Items()->UpdateCount() > 0)
        m_repaintPending = true;
    else if (row->IsShown())
        InvalidateGrid();
}

TRSItemProp* TRSCustomItemListEditor::EditedRow() const {
    if (m_keptEdit.Row && m_keptEdit.Modified)
        return m_keptEdit.Row;
    const TRSInplaceEditList* editor = Editor();
    return editor && editor->Modified() && InplaceCol() >= 0 && !EditorCellChanged() ? m_editRow.data()
                                                                                     : nullptr;
}

QString TRSCustomItemListEditor::RowKey(const TRSItemProp* row) const {
    return row->GetFullName();
}

std::shared_ptr<const TRSRowIdentity> TRSCustomItemListEditor::RowIdentity(const TRSItemProp* row) const {
    class TKeyIdentity : public TRSRowIdentity {
    public:
        TKeyIdentity(const TRSCustomItemListEditor* grid, QString key)
            : m_grid(grid), m_key(std::move(key)) {}
        bool Matches(const TRSItemProp* row) const override { return m_grid->RowKey(row) == m_key; }

    private:
        const TRSCustomItemListEditor* m_grid;
        QString m_key;
    };
    return std::make_shared<TKeyIdentity>(this, RowKey(row));
}

void TRSCustomItemListEditor::DropKeptEdit() {
    m_keptEdit = TEditorState{};
}

void TRSCustomItemListEditor::CommitKeptEdit() {
    const TEditorState kept = std::exchange(m_keptEdit, TEditorState{});
    TRSItemProp* row = kept.Row;
    if (!row || !kept.Modified || row->ItemListEditor() != this)
        return;
    auto write = [&](const QString& text) {
        TFlagScope writing(m_editorWriting, true);
        if (kept.Value == 0) {
            row->SetName(text);
        } else {
            row->Values().Get(kept.Value - 1);
            row->Values().Put(kept.Value - 1, text);
        }
    };
    // The same check as the editor's own commit.
    if (kept.Value > 0 && row->ExpressionMask() && !row->EditMask().isEmpty()) {
        TGRegularExpression expression;
        expression.SetExpression(row->EditMask());
        if (expression.Find(kept.Text) <= 0) {
            write(kept.OldValue);
            throw Exception(_("\"%1\" is not a valid property value").arg(kept.Text));
        }
    }
    write(kept.Text);
    row->DoValidate();
}

void TRSCustomItemListEditor::EditorLoaded() {
    m_editRow = ItemAtCell(InplaceCol(), InplaceRow());
    m_editOnNewLine = !m_editRow;
}

bool TRSCustomItemListEditor::EditorCellChanged() const {
    if (InplaceCol() < 0 || InplaceRow() < 0)
        return false;
    const TRSItemProp* now = ItemAtCell(InplaceCol(), InplaceRow());
    if (m_editOnNewLine)
        return now != nullptr;
    return !m_editRow || now != m_editRow;
}

void TRSCustomItemListEditor::FillItemList() {
    m_itemList.clear();
    m_visibleItems.clear();
    TRSItemProps* items = Items();
    qsizetype count = items->Count(); // one allocation for each list
    for (int i = 0; i < items->Count(); ++i)
        count += items->Items(i)->DescendantCount();
    m_itemList.reserve(count);
    m_visibleItems.reserve(count);
    for (int i = 0; i < items->Count(); ++i)
        AppendSubtree(items->Items(i), m_itemList);
}

void TRSCustomItemListEditor::FillShownList() {
    m_visibleItems.clear();
    TRSItemProps* items = Items();
    for (int i = 0; i < items->Count(); ++i)
        AppendShown(items->Items(i), m_visibleItems);
}

void TRSCustomItemListEditor::RebuildLists() {
    CloseEditor(); // the edit is kept and comes back once the editor is on its row again
    m_listsStale = false;
    // The current row stays current wherever the rebuild puts it (rows above it may come or go).
    TRSItemProp* current = CurrentItem();
    const int place = VisibleIndexOf(current);
    m_heldCurrent = nullptr;
    FillItemList();
    // Rows made anew (a rescan): a kept edit goes on on the row that now stands for the same thing, and
    // that row is brought into sight. Any other row that went took its edit along: a row of the same
    // name is another row.
    // Two rows that both stand for it: it cannot be told which, and the edit is dropped with the end of
    // the remaking.
    if (m_remakingRows && !m_keptEdit.Row && m_keptEdit.Modified && m_keptEdit.Identity) {
        TRSItemProp* found = nullptr;
        int matches = 0;
        for (TRSItemProp* row : std::as_const(m_itemList))
            if (m_keptEdit.Identity->Matches(row) && ++matches == 1)
                found = row;
        if (matches == 1) {
            m_keptEdit.Row = found;
            m_keptEdit.OldValue = TextOf(found, m_keptEdit.Value);
            for (TRSItemProp* p = found->ParentItem(); p; p = p->ParentItem())
                p->m_expanded = true; // the shown list below is built with it
        }
    }
    FillShownList();
    if (!current)
        current = m_keptEdit.Row && m_keptEdit.Modified ? m_keptEdit.Row.data() : m_staleCurrent.data();
    m_staleCurrent = nullptr;
    RowCountChanged();
    FollowCurrent(current, place);
    UpdateEdit();
}

void TRSCustomItemListEditor::RebuildVisible() {
    CloseEditor(); // the edit is kept and comes back once the editor is on its row again
    TRSItemProp* current = CurrentItem();
    const int place = VisibleIndexOf(current);
    FillShownList();
    RowCountChanged();
    FollowCurrent(current, place);
    UpdateEdit();
}

void TRSCustomItemListEditor::ItemNotify(TRSItemProp* item, TCollectionNotification action) {
    // A held row leaving the tree is current no more (it may be freed next): the row that takes its place
    // is, as a row on its line would leave it that line.
    int heldPlace = -1;
    if (action == TCollectionNotification::cnExtracting && m_heldCurrent &&
        (m_heldCurrent == item || IsDescendantOf(m_heldCurrent, item)))
        heldPlace = VisibleIndexOf(std::exchange(m_heldCurrent, nullptr));
    if (m_destroying)
        return;
    if (action == TCollectionNotification::cnAdded && m_adoptNewRow && !item->ParentItem()) {
        m_adoptNewRow = false;
        m_editRow = item;
        m_editOnNewLine = false;
    }
    if (Items()->UpdateCount() > 0) {
        // Inside an update of the tree the lists are built once, at its end (a row placed in them one at a
        // time costs a search and a move through the lists each). Until then they hold no row, so that
        // none of them keeps a row that leaves the tree.
        if (!m_listsStale) {
            MarkListsStale();
            m_itemList.clear();
            m_visibleItems.clear();
        } else if (action == TCollectionNotification::cnExtracting) {
            RemoveFromLists(item); // stale lists still hold the rows they had when they went stale
        }
        return;
    }
    if (action == TCollectionNotification::cnAdded) {
        QList<TRSItemProp*> subtree;
        AppendSubtree(item, subtree);
        int pos = int(m_itemList.size());
        if (TRSItemProp* parent = item->ParentItem()) {
            // After the last row of the parent's subtree, whose count already holds the new rows.
            const int parentIndex = ItemListIndexOf(parent);
            if (parentIndex >= 0)
                pos = parentIndex + parent->DescendantCount() - item->DescendantCount();
        }
        pos = std::clamp(pos, 0, int(m_itemList.size()));
        m_itemList.insert(pos, subtree);
        if (item->m_inserted) // a row moved here from elsewhere: show it in its new place
            ItemVisibleChanged(item);
    } else if (action == TCollectionNotification::cnExtracting) {
        CloseEditor();
        RemoveFromLists(item);
        if (heldPlace >= 0)
            FollowCurrent(nullptr, heldPlace);
    }
    RowCountChanged();
}

void TRSCustomItemListEditor::MarkListsStale() {
    if (m_listsStale)
        return;
    CloseEditor();
    m_staleCurrent = CurrentItem();
    m_listsStale = true;
}

void TRSCustomItemListEditor::RemoveFromLists(TRSItemProp* row) {
    QList<TRSItemProp*> subtree;
    AppendSubtree(row, subtree);
    // No list may keep a row that is leaving the tree (it may be freed next), stale or not. Each row is
    // found through the list's index of rows, so a row leaving costs no walk through the lists.
    for (TRSItemProp* r : std::as_const(subtree)) {
        m_itemList.removeOne(r);
        m_visibleItems.removeOne(r);
    }
}

void TRSCustomItemListEditor::ItemsChanged(TRSItemProp* item) {
    if (m_destroying)
        return;
    if (!item) {
        if (Items()->UpdateCount() > 0)
            return;
        if (m_updateCount > 0) {
            MarkListsStale();
            return;
        }
        RebuildLists();
    } else if (m_updateCount > 0 || Items()->UpdateCount() > 0) {
        m_repaintPending = true; // one repaint when the update ends, not a search per changed row
    } else if (VisibleIndexOf(item) >= 0) {
        InvalidateGrid();
    }
}

void TRSCustomItemListEditor::SubItemsChanged(TRSItemProp* row) {
    if (m_destroying || Items()->UpdateCount() > 0)
        return;
    if (m_updateCount > 0) {
        MarkListsStale();
        return;
    }
    ResyncSubtree(row);
}

void TRSCustomItemListEditor::ResyncSubtree(TRSItemProp* row) {
    const int index = ItemListIndexOf(row);
    if (index < 0)
        return;
    CloseEditor(); // the edit is kept and comes back once the editor is on its row again
    QList<TRSItemProp*> fresh;
    AppendSubtree(row, fresh);
    int end = index + 1;
    while (end < m_itemList.size() && IsDescendantOf(m_itemList.at(end), row))
        ++end;
    m_itemList.remove(index, end - index);
    m_itemList.insert(index, fresh);
    ItemVisibleChanged(row);
}

void TRSCustomItemListEditor::InsertShown(TRSItemProp* row) {
    // The shown rows are in tree order, so the row's place is behind every shown row that comes before it
    // in the tree: a binary search by tree-order place, whatever hidden rows lie between (a walk back
    // over hidden siblings made adding rows after them quadratic).
    const qsizetype at = m_itemList.indexOf(row);
    if (at < 0)
        return; // not in the tree (yet): not shown
    if (at == m_itemList.size() - 1) {
        m_visibleItems.append(row); // the last row of the tree (one added at the end) comes last
        return;
    }
    qsizetype low = 0;
    qsizetype high = m_visibleItems.size();
    while (low < high) {
        const qsizetype mid = low + (high - low) / 2;
        if (m_itemList.indexOf(m_visibleItems.at(mid)) < at)
            low = mid + 1;
        else
            high = mid;
    }
    m_visibleItems.insert(low, row);
}

void TRSCustomItemListEditor::RemoveShown(TRSItemProp* row) {
    m_visibleItems.removeOne(row);
}

void TRSCustomItemListEditor::ItemVisibleChanged(TRSItemProp* item) {
    if (m_destroying || Items()->UpdateCount() > 0 || ItemListIndexOf(item) < 0)
        return;
    CloseEditor(); // the edit is kept and comes back once the editor is on its row again
    TRSItemProp* current = CurrentItem();
    const int place = VisibleIndexOf(current);
    int index = VisibleIndexOf(item);
    const bool shown = item->IsShown();
    if (shown && index < 0) {
        // A parent expanded but not listed yet (its own notice is still to come, as in FullExpand): the
        // row's place is known only below its parent, so the parent's subtree is brought in as a whole.
        if (TRSItemProp* parent = item->ParentItem(); parent && VisibleIndexOf(parent) < 0) {
            ItemVisibleChanged(parent);
            return;
        }
        InsertShown(item);
        index = VisibleIndexOf(item);
    }
    if (index >= 0) {
        // The shown rows below the row are rebuilt in one pass (a row with many sub-rows expands at once).
        int end = index + 1;
        while (end < m_visibleItems.size() && IsDescendantOf(m_visibleItems.at(end), item))
            ++end;
        m_visibleItems.remove(index + 1, end - index - 1);
        if (!shown) {
            m_visibleItems.removeAt(index);
        } else if (item->ExpandFlag() && item->HasItems()) {
            QList<TRSItemProp*> below;
            for (int i = 0; i < item->Items()->Count(); ++i)
                AppendShown(item->Items()->Items(i), below);
            m_visibleItems.insert(index + 1, below);
        }
    }
    item->m_visibleDescendantCache = -1;
    RowCountChanged();
    FollowCurrent(current, place);
    // An editor closed for this change is already on its way back (posted): rows added one at a time
    // then do not load and lay out its text once each.
    if (!m_reopenPosted)
        UpdateEdit();
}

void TRSCustomItemListEditor::UpdateShownState(TRSItemProp* item, bool parentShown) {
    const bool shown = parentShown && item->IsShown();
    const bool listed = VisibleIndexOf(item) >= 0;
    if (shown && !listed)
        InsertShown(item);
    else if (!shown && listed)
        RemoveShown(item);
    if (item->HasItems())
        for (int i = 0; i < item->Items()->Count(); ++i)
            UpdateShownState(item->Items()->Items(i), shown && item->Expanded());
}

// ---- fonts -------------------------------------------------------------------------------------------

void TRSCustomItemListEditor::GetParentFont(TRSFont*& font) {
    font = m_font.get();
}

void TRSCustomItemListEditor::FontChanged() {
    setFont(m_font->Font());
    TRSItemProps* items = Items();
    for (int i = 0; i < items->Count(); ++i)
        items->Items(i)->ParentFontChanged(nullptr);
    m_valueFont->ApplyDelta(m_font.get());
    m_categoryFont->ApplyDelta(m_font.get());
    m_titleCaptionFont->ApplyDelta(m_font.get());
    InvalidateGrid();
}

void TRSCustomItemListEditor::ValueFontChanged() {
    TRSItemProps* items = Items();
    for (int i = 0; i < items->Count(); ++i)
        items->Items(i)->ParentValueFontChanged();
    InvalidateGrid();
}

void TRSCustomItemListEditor::CategoryFontChanged() {
    // Category rows that follow the grid take the new category font at once.
    TRSItemProps* items = Items();
    for (int i = 0; i < items->Count(); ++i)
        if (items->Items(i)->Category())
            items->Items(i)->ParentFontChanged(nullptr);
    if (m_arrangeByCategory)
        InvalidateGrid();
}

void TRSCustomItemListEditor::TitleCaptionFontChanged() {
    if (m_displayOptions & doColumnTitles)
        InvalidateGrid();
}

void TRSCustomItemListEditor::TitleCaptionsChanged() {
    if (m_displayOptions & doColumnTitles) {
        RowCountChanged();
        InvalidateGrid();
    }
}

// ---- layout ------------------------------------------------------------------------------------------

int TRSCustomItemListEditor::CompareItems(const QString& s1, const QString& s2) const {
    if (m_caseSensitive)
        return Sign(QString::localeAwareCompare(s1, s2));
    return CompareNamesIgnoringCase(s1, s2);
}

void TRSCustomItemListEditor::FitColumns() {
    if (!(m_displayOptions & doAutoColResize) || !isVisible() || m_fitting)
        return;
    const int count = ColCount();
    if (count < 2)
        return;
    m_fitting = true;
    try {
        // The client width less one grid line per column.
        const int w = viewport()->width() - count * GridLineWidth();
        int sum = 0;
        for (int i = 0; i < count; ++i)
            sum += ColWidths(i);
        if (w != sum) {
            auto share = [&](int amount) {
                for (int i = 1; i < count; ++i)
                    SetColWidths(i, amount / (count - 1));
            };
            if (m_displayOptions & doKeyColFixed) {
                share(w - ColWidths(0));
            } else {
                SetColWidths(0, w / 2);
                share(w / 2 + w % 2);
            }
        }
    } catch (...) {
        m_fitting = false;
        throw;
    }
    m_fitting = false;
}

void TRSCustomItemListEditor::SetDisplayOptions(TILEDisplayOptions value) {
    const TILEDisplayOptions old = m_displayOptions;
    if ((old ^ value) & doColumnTitles)
        SetTitleFixed(value & doColumnTitles);
    if ((old & doMultiColValues) && !(value & doMultiColValues))
        SetValueCount(2);
    m_displayOptions = value;
    FitColumns();
    // Read-only rows leave or come back.
    if ((old ^ value) & doShowReadOnly)
        RebuildVisible();
    RowCountChanged();
}

void TRSCustomItemListEditor::SetTitleFixed(bool on) {
    if (m_orientation == TRSGridOrientation::goVertical) {
        if (on) {
            if (RowCount() < 2)
                SetRowCount(2);
            SetFixedRows(1);
        } else {
            SetFixedRows(0);
        }
    } else {
        if (on) {
            if (ColCount() < 2)
                SetColCount(2);
            SetFixedCols(1);
        } else {
            SetFixedCols(0);
        }
    }
}

void TRSCustomItemListEditor::OrientationChanged() {
    HideEditor();
    const TGridRect sel = Selection();
    const int cols = ColCount();
    const int rows = RowCount();
    SetFixedCols(0);
    SetFixedRows(0);
    SetColCount(rows);
    SetRowCount(cols);
    SetTitleFixed(m_displayOptions & doColumnTitles);
    if (FixedValues() == 1) {
        if (m_orientation == TRSGridOrientation::goVertical)
            SetFixedCols(0);
        else
            SetFixedRows(0);
    }
    SetSelection(TGridRect{sel.Top, sel.Left, sel.Bottom, sel.Right});
    RowCountChanged();
    ShowEditor();
}

void TRSCustomItemListEditor::Resize() {
    FitColumns();
}

void TRSCustomItemListEditor::ColWidthsChanged() {
    TCustomDrawGrid::ColWidthsChanged();
    FitColumns();
}

void TRSCustomItemListEditor::showEvent(QShowEvent* event) {
    TCustomDrawGrid::showEvent(event);
    FitColumns();
}

// ---- cells -------------------------------------------------------------------------------------------

void TRSCustomItemListEditor::GetCellText(int col, int row, QString& text) {
    text.clear();
    const int item = ItemIndexOf(col, row);
    const int value = ValueIndexOf(col, row);
    if (item < FixedItems()) {
        if ((m_displayOptions & doColumnTitles) && value >= 0 && value < m_titleCaptions.size())
            text = m_titleCaptions.at(value);
        return;
    }
    TRSItemProp* r = ItemAtCell(col, row);
    if (!r)
        return;
    text = value == 0 ? r->Name() : r->Values().Get(value - 1);
}

void TRSCustomItemListEditor::SetCellText(int col, int row, const QString& text) {
    const int index = ItemIndexOf(col, row) - FixedItems();
    TRSItemProp* r =
        (index >= 0 && index < m_visibleItems.size()) ? m_visibleItems.at(index) : Items()->Add();
    const int value = ValueIndexOf(col, row);
    if (value == 0) {
        r->SetName(text);
    } else {
        r->Values().Get(value - 1);
        r->Values().Put(value - 1, text);
    }
}

QString TRSCustomItemListEditor::GetCellExpression(int col, int row) {
    TRSItemProp* r = ItemAtCell(col, row);
    return (r && r->ExpressionMask()) ? r->EditMask() : QString();
}

TRSFont* TRSCustomItemListEditor::GetEditorFont(int col, int row) {
    if (TRSItemProp* r = ItemAtCell(col, row))
        return r->GetCurrentValueFont(CurValue() - 1);
    return m_valueFont.get();
}

TEditStyle TRSCustomItemListEditor::GetEditStyle(int col, int row) {
    if (ValueIndexOf(col, row) == 0)
        return esSimple;
    TRSItemProp* r = ItemAtCell(col, row);
    if (!r) {
        TRSInplaceEditList* editor = Editor();
        return (editor && DoGetPickList(nullptr, editor->PickListItems(), true)) ? esPickList : esSimple;
    }
    return r->EditStyle();
}

QString TRSCustomItemListEditor::GetEditMask(int col, int row) {
    TRSItemProp* r = ItemAtCell(col, row);
    QString mask = (r && !r->ExpressionMask()) ? r->EditMask() : QString();
    if (OnGetEditMask)
        OnGetEditMask(this, col, row, mask);
    return mask;
}

QString TRSCustomItemListEditor::GetEditText(int col, int row) {
    QString text;
    GetCellText(col, row, text);
    if (OnGetEditText)
        OnGetEditText(this, col, row, text);
    return text;
}

bool TRSCustomItemListEditor::CanEditModify() {
    TRSItemProp* r = CursorItem();
    return TCustomDrawGrid::CanEditModify() && !(r && r->GetReadOnly());
}

void TRSCustomItemListEditor::SetEditText(int col, int row, const QString& value) {
    if (m_updateCount > 0)
        return;
    // The editor's text belongs to the row it was opened on, never to another row now at its line.
    const bool fromEditor = col == InplaceCol() && row == InplaceRow();
    if (fromEditor && EditorCellChanged())
        return;
    // Text still waiting for another row (the editor left it under a change of the rows) is validated
    // there before an edit of this cell begins: one kept edit at a time, none overwritten unseen.
    if (fromEditor && m_keptEdit.Modified && !KeptEditFits())
        CommitKeptEdit();
    TCustomDrawGrid::SetEditText(col, row, value);
    TFlagScope writing(m_editorWriting, fromEditor || m_editorWriting);
    TUpdateScope scope(this);
    const int index = ItemIndexOf(col, row) - FixedItems();
    if (index >= VisibleCount() && !value.isEmpty()) {
        // The new row enters both lists as it is added; a rebuild at the end of the update would reload
        // the editor under the user's typing and the next key would replace the first one.
        // The editor opened on the empty line owns the row its text makes.
        const bool stale = m_listsStale;
        m_adoptNewRow = fromEditor;
        try {
            Items()->Add();
        } catch (...) {
            m_adoptNewRow = false;
            throw;
        }
        m_adoptNewRow = false;
        if (m_listsStale && !stale) {
            // The add moved rows of its level: the lists are made again at once, with the editor left
            // as it is.
            m_listsStale = false;
            m_staleCurrent = nullptr;
            FillItemList();
            FillShownList();
        }
        m_updateShownCount = VisibleCount();
    }
    QString current;
    GetCellText(col, row, current);
    if (value == current)
        return;
    if (ValueIndexOf(col, row) != 0) {
        SetCellText(col, row, value);
        return;
    }
    TRSItemProp* r = ItemAtCell(col, row);
    TRSItemProps* rows = r ? r->Collection() : Items();
    const int found = rows->IndexOfName(value);
    const bool duplicate = (m_propertyOptions & propUnique) && found >= 0 && rows->Items(found) != r;
    if (duplicate) {
        m_pendingName = value; // held back while typing; the commit refuses it
        return;
    }
    m_pendingName.clear();
    SetCellText(col, row, value);
}

void TRSCustomItemListEditor::CommitName(TRSItemProp* row) {
    TRSInplaceEditList* editor = Editor();
    const QString text = editor->Text();
    if (text == row->Name())
        return;
    // A name held back while typing (a duplicate) is refused now, and the last committed name comes back.
    try {
        row->SetName(text);
    } catch (...) {
        m_pendingName.clear();
        editor->SetText(editor->OldValue()); // written back into the row as any edit is
        editor->selectAll();
        editor->SetModified(false);
        throw;
    }
    m_pendingName.clear();
}

void TRSCustomItemListEditor::ValidateEdit() {
    TRSInplaceEditList* editor = Editor();
    // An edit kept from an editor that a change of the rows closed, and not yet back on its row.
    if (m_keptEdit.Modified)
        CommitKeptEdit();
    if (!editor || !editor->Modified())
        return;
    if (EditorCellChanged()) {
        // The edited row went: its text is no commit of the row now at the editor's line.
        editor->SetModified(false);
        return;
    }
    if (editor->isVisible())
        editor->ValidateOrRaise();
    TRSItemProp* r = m_editRow ? m_editRow.data() : CursorItem();
    // The row may hold what the program put there since the last key: the typed text is what commits.
    UpdateText();
    if (r && InplaceCol() >= 0 && ValueIndexOf(InplaceCol(), InplaceRow()) == 0 && !EditorCellChanged())
        CommitName(r);
    if (r)
        r->DoValidate();
    editor->SetModified(false);
    editor->SetOldValue(editor->Text()); // Escape now goes back to this commit, not past it
}

// ---- pick lists and buttons --------------------------------------------------------------------------

void TRSCustomItemListEditor::GetPickListItems(int col, int row, QStringList& list) {
    if (ValueIndexOf(col, row) == 0)
        return;
    TRSItemProp* r = ItemAtCell(col, row);
    if (r && r->HasPickList())
        list = r->PickListCopy();
    else
        list.clear();
    DoGetPickList(r, list, false);
}

bool TRSCustomItemListEditor::DoGetPickList(TRSItemProp* row, QStringList& list, bool clear) {
    QString name;
    const TGridCoord nameCell = CellOf(CurItem(), 0);
    GetCellText(nameCell.X, nameCell.Y, name);
    if (name.isEmpty())
        return false;
    if (clear)
        list.clear();
    if (row && row->OnGetPickList)
        row->OnGetPickList(row, row->GetFullName(), list);
    else if (OnGetPickList)
        OnGetPickList(this, row ? row->GetFullName() : name, list);
    const bool result = !list.isEmpty();
    if (TRSInplaceEditList* editor = Editor())
        editor->SetPickListLoaded(result);
    return result;
}

void TRSCustomItemListEditor::DoEditButtonClick() {
    TRSItemProp* r = CursorItem();
    if (r && r->OnEditButtonClick)
        r->OnEditButtonClick(r);
    else if (OnEditButtonClick)
        OnEditButtonClick(r);
}

// ---- categories --------------------------------------------------------------------------------------

void TRSCustomItemListEditor::SetArrangeByCategory(bool value) {
    m_arrangeByCategory = value;
}

TRSItemProp* TRSCustomItemListEditor::GetCategoryFor(TRSItemProp* row, const QString& propName) {
    if (m_loading)
        return row->ParentItem();
    TRSItemProp* parent = row->ParentItem();
    TRSItemProps* rows = (parent && parent->Category()) ? parent->Collection() : row->Collection();
    if (!rows)
        return nullptr;
    if (rows == Items() && !rows->DefaultCategoryItem())
        rows->EnsureDefaultCategory();
    QString category;
    const QString prefix = propName + QLatin1Char('=');
    for (const QString& line : rows->Categories())
        if (line.startsWith(prefix, Qt::CaseInsensitive)) {
            category = line.mid(prefix.size());
            break;
        }
    if (OnCategorize)
        OnCategorize(this, row, propName, category);
    if (category.isEmpty())
        return rows->DefaultCategoryItem();
    const int index = rows->IndexOfCategory(category);
    return index >= 0 ? rows->Items(index) : rows->AddCategory(category, true);
}

void TRSCustomItemListEditor::ArrangeItem(TRSItemProp* row, const QStringList& categories, bool copyToAll) {
    if (m_loading)
        copyToAll = false;
    TRSItemProp* parent = row->ParentItem();
    if (!parent)
        return;
    TRSItemProp* category = GetCategoryFor(row, row->Name());
    if (category && category != row) {
        if (!copyToAll) {
            if (row->Collection() != category->Items())
                row->MoveTo(category->Items());
        } else if (category != parent && parent != parent->Collection()->DefaultCategoryItem()) {
            category->Items()->Add()->Assign(*row);
        }
    }
    TRSItemProps* rows = category ? category->Collection() : row->Collection();
    int own = -1;
    for (int i = 0; i < categories.size(); ++i) {
        const QString name = categories.at(i).section(QLatin1Char('='), 0, 0);
        if (rows->CompareNames(name, row->Name()) != 0)
            continue;
        if (own < 0) {
            own = i;
            continue;
        }
        const QString other = categories.at(i).section(QLatin1Char('='), 1);
        const int index = rows->IndexOfCategory(other);
        TRSItemProp* target = index >= 0 ? rows->Items(index) : rows->AddCategory(other, true);
        if (copyToAll) {
            if (!row->ParentItem() || rows->CompareNames(row->ParentItem()->Name(), other) != 0)
                target->Items()->Add()->Assign(*row);
        } else if (row->Collection() != target->Items()) {
            row->MoveTo(target->Items());
        }
    }
}

void TRSCustomItemListEditor::ArrangeCollection(TRSItemProps* collection, const QStringList& categories,
                                                bool copyToAll) {
    QList<TRSItemProp*> snapshot;
    for (int i = 0; i < collection->Count(); ++i)
        snapshot.append(collection->Items(i));
    for (TRSItemProp* row : snapshot)
        ArrangeItem(row, categories, copyToAll);
}

void TRSCustomItemListEditor::ArrangeTopLevel(const QStringList&, bool) {
    TRSItemProps* items = Items();
    QList<TRSItemProp*> snapshot;
    for (int i = 0; i < items->Count(); ++i)
        if (!items->Items(i)->Category())
            snapshot.append(items->Items(i));
    for (TRSItemProp* row : snapshot) {
        TRSItemProp* category = GetCategoryFor(row, row->Name());
        if (category && category != row && row->Collection() != category->Items())
            row->MoveTo(category->Items());
    }
}

void TRSCustomItemListEditor::ArrangeByCategories(bool copyToAll) {
    ArrangeTopLevel(Items()->Categories(), copyToAll);
}

void TRSCustomItemListEditor::FullCollapseAll() {
    TRSItemProps* items = Items();
    {
        TUpdateScope scope(items);
        for (int i = 0; i < items->Count(); ++i)
            items->Items(i)->FullCollapse();
    }
    RebuildVisible();
}

void TRSCustomItemListEditor::FullExpandAll() {
    TRSItemProps* items = Items();
    {
        TUpdateScope scope(items);
        for (int i = 0; i < items->Count(); ++i)
            items->Items(i)->FullExpand();
    }
    RebuildVisible();
}

// ---- deleting and inserting rows ---------------------------------------------------------------------

void TRSCustomItemListEditor::DeleteShownItem(int itemIndex) {
    const TGridCoord cell = CellOf(itemIndex, CurValue());
    if (m_orientation == TRSGridOrientation::goVertical)
        DeleteRow(cell.Y);
    else
        DeleteColumn(cell.X);
}

void TRSCustomItemListEditor::DeleteItemAt(int col, int row) {
    if (m_deleting)
        return;
    m_deleting = true;
    try {
        const int itemIndex = ItemIndexOf(col, row);
        TRSItemProp* r = ItemAtCell(col, row);
        if (CurItem() == ItemCount() - 1 && VisibleCount() > 1) {
            const TGridCoord up = CellOf(CurItem() - 1, CurValue());
            SetCurrentCell(up.X, up.Y);
        }
        if (r && itemIndex >= FixedItems())
            r->Collection()->Delete(r->Index());
    } catch (...) {
        m_deleting = false;
        throw;
    }
    m_deleting = false;
}

void TRSCustomItemListEditor::DeleteRow(int row) {
    if (m_orientation == TRSGridOrientation::goVertical)
        DeleteItemAt(CurValue(), row);
}

void TRSCustomItemListEditor::DeleteColumn(int col) {
    if (m_orientation == TRSGridOrientation::goHorizontal)
        DeleteItemAt(col, CurValue());
}

int TRSCustomItemListEditor::InsertRow(const QString& name, const QString& value, bool append) {
    // The current row by itself: inside an update it may be held, with no line yet.
    TRSItemProp* current = CurrentItem();
    const int shown = VisibleIndexOf(current);
    if (shown >= 0 && current->Name().isEmpty() && current->IsValueEmpty()) {
        const int line = FixedItems() + shown;
        const TGridCoord nameCell = CellOf(line, 0);
        const TGridCoord valueCell = CellOf(line, 1);
        SetCellText(nameCell.X, nameCell.Y, name);
        SetCellText(valueCell.X, valueCell.Y, value);
        return line;
    }
    // Appended at the end of the top level; inserted before the current row, at that row's own level.
    TRSItemProps* items = (!append && current) ? current->Collection() : Items();
    TRSItemProp* r = append ? items->Add() : items->InsertAt(current ? current->Index() : items->Count());
    r->SetName(name);
    r->Values().SetText(value);
    const int index = VisibleIndexOf(r);
    return index >= 0 ? index + FixedItems() : CurItem();
}

void TRSCustomItemListEditor::CancelEdit() {
    TRSInplaceEditList* editor = Editor();
    if (m_keptEdit.Modified && !(editor && editor->Modified())) {
        // Text waiting for a row the editor is not on: the row goes back to what it held before it (or to
        // what the program put there since).
        const TEditorState kept = std::exchange(m_keptEdit, TEditorState{});
        if (TRSItemProp* row = kept.Row; row && row->ItemListEditor() == this) {
            TFlagScope writing(m_editorWriting, true);
            if (kept.Value == 0) {
                row->SetName(kept.OldValue);
            } else {
                row->Values().Get(kept.Value - 1);
                row->Values().Put(kept.Value - 1, kept.OldValue);
            }
        }
        return;
    }
    if (editor && editor->Modified()) {
        const QString before = editor->Text();
        editor->RestoreContents();
        if (editor->Text() != before)
            editor->selectAll();
        return;
    }
    TRSItemProp* r = CursorItem();
    if (r && r->Name().isEmpty() && r->IsValueEmpty())
        DeleteItemAt(Col(), Row());
}

// ---- the class library's grid hooks ------------------------------------------------------------------

bool TRSCustomItemListEditor::SelectCell(int col, int row) {
    const int newItem = ItemIndexOf(col, row);
    const int cur = CurItem();
    TRSItemProp* current = CursorItem(); // the row left is the one on the line left
    if (m_deleteBlanks && newItem != cur && VisibleCount() > 0 && current && current->Name().isEmpty() &&
        current->IsValueEmpty() && !m_deleting) {
        const bool down = newItem > cur;
        DeleteShownItem(cur);
        if (!down)
            return Moved(TCustomDrawGrid::SelectCell(col, row));
        // The lines below moved up by one: the line that took the blank row's place is the target.
        const TGridCoord target = CellOf(std::min(newItem - 1, ItemCount() - 1), ValueIndexOf(col, row));
        FocusCell(target.X, target.Y, true);
        return false;
    }
    ValidateEdit();
    bool ok = TCustomDrawGrid::SelectCell(col, row);
    if (ok && ValueIndexOf(col, row) == 0 && !(Options() & goRowSelect) && !(m_propertyOptions & propEdit))
        ok = false;
    return Moved(ok);
}

bool TRSCustomItemListEditor::Moved(bool ok) {
    if (ok)
        m_heldCurrent = nullptr; // the line moved to is the current one, later than any held row
    return ok;
}

void TRSCustomItemListEditor::KeyDown(int& key, Qt::KeyboardModifiers shift) {
    m_heldCurrent = nullptr; // a key acts on the row at the cursor, the one the user sees current
    const Qt::KeyboardModifiers mods = shift & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    QString currentName;
    const TGridCoord nameCell = CellOf(CurItem(), 0);
    GetCellText(nameCell.X, nameCell.Y, currentName);
    const bool mayAppend = (m_propertyOptions & propAdd) && !currentName.isEmpty();
    switch (key) {
    case Qt::Key_Down:
        if (mods == Qt::ControlModifier) {
            SetCurItem(ItemCount() - 1);
            key = 0;
        } else if (mods == Qt::NoModifier && CurItem() == ItemCount() - 1 && mayAppend) {
            SetCurItem(InsertRow(QString(), QString(), true));
            key = 0;
        }
        break;
    case Qt::Key_Up:
        if (mods == Qt::ControlModifier) {
            SetCurItem(FixedItems());
            key = 0;
        }
        break;
    case Qt::Key_Insert:
        if (mayAppend) {
            SetCurItem(InsertRow(QString(), QString(), false));
            key = 0;
        }
        break;
    case Qt::Key_Delete:
        if (mods == Qt::ControlModifier && (m_propertyOptions & propDelete)) {
            DeleteItemAt(Col(), Row());
            key = 0;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ValidateEdit();
        break;
    case Qt::Key_Escape:
        CancelEdit();
        break;
    default:
        break;
    }
    TCustomDrawGrid::KeyDown(key, shift);
}

void TRSCustomItemListEditor::DoExit() {
    try {
        ValidateEdit();
    } catch (...) {
        // The exit does not complete: the grid keeps the focus on the invalid text.
        if (TRSInplaceEditList* editor = Editor(); editor && editor->isVisible())
            editor->setFocus(Qt::OtherFocusReason);
        else
            setFocus(Qt::OtherFocusReason);
        throw;
    }
    TCustomDrawGrid::DoExit();
    HideEdit();
}

QRect TRSCustomItemListEditor::GlyphRect(TRSItemProp* row, const QRect& cell) const {
    const int left = cell.left() + row->Level() * m_indent;
    const int top = cell.top() + (DefaultRowHeight() - m_minusGlyph.height()) / 2;
    return QRect(left, top, m_minusGlyph.width(), m_minusGlyph.height());
}

void TRSCustomItemListEditor::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    if (button == Qt::LeftButton) {
        const TGridCoord hit = MouseCoord(x, y);
        if (hit.X >= 0 && hit.Y >= 0 && ValueIndexOf(hit.X, hit.Y) == 0) {
            TRSItemProp* r = ItemAtCell(hit.X, hit.Y);
            // The glyph toggles its row and nothing else happens (a double click does not toggle again).
            if (r && r->HasItems() && GlyphRect(r, CellRect(hit.X, hit.Y)).contains(x, y)) {
                if (!DoubleClicking())
                    r->SetExpanded(!r->Expanded());
                return;
            }
            if (Options() & goEditing) {
                const int item = ItemIndexOf(hit.X, hit.Y);
                if (item != CurItem() && item >= FixedItems() && ValueCount() > 1) {
                    const TGridCoord target = CellOf(item, 1);
                    FocusCell(target.X, target.Y, !(shift & Qt::ShiftModifier));
                }
            }
        }
        if ((Options() & goEditing) && CurItem() >= FixedItems() && CurValue() >= FixedValues())
            ShowEditor();
    }
    TCustomDrawGrid::MouseDown(button, shift, x, y);
}

void TRSCustomItemListEditor::CalcSizingState(int x, int y, TGridState& state, int& index, int& sizingPos,
                                              int& sizingOfs) {
    state = TGridState::gsNormal;
    index = -1;
    if (!(Options() & (goColSizing | goRowSizing)))
        return;
    if (Options() & goColSizing)
        CalcAxisSizing(true, x, state, index, sizingPos, sizingOfs);
    else
        CalcAxisSizing(false, y, state, index, sizingPos, sizingOfs);
}

void TRSCustomItemListEditor::RowMoved(int fromIndex, int toIndex) {
    TRSItemProps* items = Items();
    const int a = fromIndex - FixedItems();
    const int b = toIndex - FixedItems();
    if (a >= 0 && b >= 0 && a < items->Count() && b < items->Count())
        items->Exchange(a, b);
    TCustomDrawGrid::RowMoved(fromIndex, toIndex);
}

// ---- drawing and hints -------------------------------------------------------------------------------

void TRSCustomItemListEditor::DrawCell(int col, int row, const QRect& rect, TGridDrawState state,
                                       QPainter& painter) {
    if (DefaultDrawing()) {
        const int item = ItemIndexOf(col, row);
        const int value = ValueIndexOf(col, row);
        TRSItemProp* r = item >= FixedItems() ? ItemAtCell(col, row) : nullptr;
        const TRSFont* f;
        if (item < FixedItems())
            f = m_titleCaptionFont.get();
        else if (r)
            f = value > 0 ? r->GetCurrentValueFont(value - 1) : r->GetFont();
        else
            f = value > 0 ? static_cast<TRSFont*>(m_valueFont.get()) : m_font.get();
        QColor color = f->Color();
        if (r && !r->Enabled())
            color = palette().color(QPalette::Disabled, QPalette::WindowText);
        if (col == Col() && row == Row() && !(state & gdFixed)) {
            if (m_hideSelection && !IsActiveControl())
                painter.fillRect(rect, Color());
            else if ((state & gdSelected) &&
                     (!(state & gdFocused) || (Options() & (goDrawFocusSelected | goRowSelect))))
                color = palette().color(QPalette::HighlightedText);
        } else if ((state & gdSelected) && !(state & gdFixed)) {
            color = palette().color(QPalette::HighlightedText);
        }
        // The glyph goes on top of the cell's fill.
        int textLeft = rect.left();
        if (r && value == 0) {
            if (r->HasShownItems()) {
                const QRect glyph = GlyphRect(r, rect);
                painter.drawPixmap(glyph.topLeft(), r->Expanded() ? m_minusGlyph : m_plusGlyph);
                textLeft = glyph.left() + m_indent;
            } else {
                textLeft = rect.left() + (r->Level() + 1) * m_indent;
            }
        }
        QString text;
        GetCellText(col, row, text);
        painter.setFont(f->Font());
        painter.setPen(color);
        painter.drawText(QRect(textLeft + 2, rect.top() + 2, rect.right() - textLeft - 2, rect.height() - 2),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    }
    TCustomDrawGrid::DrawCell(col, row, rect, state, painter);
}

void TRSCustomItemListEditor::DoShowHints(TRSItemProp* item, int col, int row, QString& hint) {
    QString text;
    GetCellText(col, row, text);
    if (ValueIndexOf(col, row) == 0) {
        hint = text;
    } else {
        switch (m_showItemHintStyle) {
        case TGridShowHints::shValueOnly:
            hint = text;
            break;
        case TGridShowHints::shHintOnly:
            hint = item->Hint();
            break;
        case TGridShowHints::shValueAndHint:
            hint = item->Hint().isEmpty() ? text
                                          : text + QStringLiteral("\r\n(") + item->Hint() + QLatin1Char(')');
            break;
        default:
            hint.clear();
            break;
        }
    }
    if (OnShowHints)
        OnShowHints(this, item, hint);
}

void TRSCustomItemListEditor::MouseMove(Qt::KeyboardModifiers shift, int x, int y) {
    if (m_showItemHintStyle != TGridShowHints::shNone && (x != m_lastHintX || y != m_lastHintY)) {
        m_lastHintX = x;
        m_lastHintY = y;
        const TGridCoord hit = MouseCoord(x, y);
        if (hit.X >= 0 && hit.Y >= 0) {
            if (ItemIndexOf(hit.X, hit.Y) < FixedItems()) {
                m_hintWindow->HideHint();
            } else if (TRSItemProp* r = ItemAtCell(hit.X, hit.Y)) {
                QString hint;
                DoShowHints(r, hit.X, hit.Y, hint);
                if (hint.isEmpty()) {
                    m_hintWindow->HideHint();
                } else {
                    const bool nameCell = ValueIndexOf(hit.X, hit.Y) == 0;
                    const QRect cell = CellRect(hit.X, hit.Y);
                    const TRSFont* f = nameCell ? r->GetFont() : r->GetValueFont();
                    // Measured on one line (only the hint's own line breaks start new ones), so that a
                    // value cut off at a space is not taken for one that fits.
                    QRect need = QFontMetrics(f->Font()).boundingRect(QRect(0, 0, 1 << 20, 1 << 20),
                                                                      Qt::AlignLeft | Qt::AlignTop, hint);
                    need.adjust(0, 0, 6, 2);
                    const int shift = nameCell ? (r->Level() + 1) * m_indent : 0;
                    need.translate(shift, 0);
                    QString text;
                    GetCellText(hit.X, hit.Y, text);
                    if (hint == text && cell.width() >= need.right()) {
                        m_hintWindow->HideHint();
                    } else {
                        const QPoint at = viewport()->mapToGlobal(cell.topLeft() + QPoint(shift, 0));
                        m_hintWindow->ShowAt(at, hint);
                    }
                }
            }
        }
    }
    TCustomDrawGrid::MouseMove(shift, x, y);
}

void TRSCustomItemListEditor::leaveEvent(QEvent* event) {
    TCustomDrawGrid::leaveEvent(event);
    m_hintWindow->HideHint();
}
