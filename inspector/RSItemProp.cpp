#include "inspector/RSItemProp.h"
#include "classlib/Translation.h"
#include "inspector/RSItemListEditor.h"
#include <QCollator>
#include <QSet>

namespace {

QString TrimRight(const QString& s) {
    int n = int(s.size());
    while (n > 0 && s.at(n - 1).isSpace())
        --n;
    return s.left(n);
}

int Sign(int v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

// The row class's constructor from a collection, looked up once per collection rather than per row.
int RowConstructor(const QMetaObject* itemClass) {
    return itemClass->indexOfConstructor(QByteArray(itemClass->className()) + "(TCollection*)");
}

} // namespace

int CompareNamesIgnoringCase(const QString& s1, const QString& s2) {
    // The collation the locale-aware comparison uses, with case left out: one collator per thread, made
    // again when the default locale changes.
    thread_local QLocale locale;
    thread_local std::unique_ptr<QCollator> collator;
    if (!collator || locale != QLocale()) {
        locale = QLocale();
        collator = std::make_unique<QCollator>(locale);
        collator->setCaseSensitivity(Qt::CaseInsensitive);
    }
    return Sign(collator->compare(s1, s2));
}

// ---- TRSItemPropValueStrings -------------------------------------------------------------------------

QString TRSItemPropValueStrings::Get(int index) {
    if (TRSCustomItemListEditor* grid = m_row->ItemListEditor()) {
        const int columns = grid->ValueCount() - 1;
        if (index >= 0 && index < columns && m_lines.size() != columns) {
            m_updating = true;
            while (m_lines.size() < columns)
                m_lines.append(QString());
            while (m_lines.size() > columns)
                m_lines.removeLast();
            m_updating = false;
        }
    }
    if (index < 0 || index >= m_lines.size())
        RaiseListIndexError(index);
    return m_lines.at(index);
}

void TRSItemPropValueStrings::Put(int index, const QString& value) {
    if (index == m_lines.size()) {
        m_lines.append(value);
        Changed();
        return;
    }
    if (index < 0 || index > m_lines.size())
        RaiseListIndexError(index);
    if (m_lines.at(index) == value)
        return;
    m_lines[index] = value;
    Changed();
}

void TRSItemPropValueStrings::SetLines(const QStringList& lines) {
    if (lines == m_lines)
        return;
    m_lines = lines;
    Changed();
}

QString TRSItemPropValueStrings::Text() const {
    QString text;
    for (const QString& line : m_lines)
        text += line + QLatin1Char('\n');
    return text;
}

void TRSItemPropValueStrings::SetText(const QString& text) {
    QString t = text;
    t.remove(QLatin1Char('\r'));
    QStringList lines;
    if (!t.isEmpty()) {
        lines = t.split(QLatin1Char('\n'));
        if (t.endsWith(QLatin1Char('\n')))
            lines.removeLast();
    }
    SetLines(lines);
}

void TRSItemPropValueStrings::Changed() {
    if (m_updating)
        return;
    if (TRSCustomItemListEditor* grid = m_row->ItemListEditor())
        grid->RowTextChanged(m_row);
    m_row->SignalChanged();
}

// ---- TRSItemProp -------------------------------------------------------------------------------------

TRSFontFace TRSItemProp::StartFont(TCollection* collection) {
    auto* rows = qobject_cast<TRSItemProps*>(collection);
    TRSItemProp* parent = rows ? rows->ParentRow() : nullptr;
    // A category's bold heading font is its own: a row under it starts from the grid's font. The
    // parent's font is read without making its font object.
    if (parent && !parent->Category())
        return {parent->m_font.Font(), parent->m_font.Color()};
    if (TRSCustomItemListEditor* grid = rows ? rows->Grid() : nullptr)
        return {grid->GridFont()->Font(), grid->GridFont()->Color()};
    return {QFont(), QColor(Qt::black)};
}

TRSFontFace TRSItemProp::StartValueFont(TCollection* collection) {
    auto* rows = qobject_cast<TRSItemProps*>(collection);
    if (TRSItemProp* parent = rows ? rows->ParentRow() : nullptr)
        return {parent->m_valueFont.Font(), parent->m_valueFont.Color()};
    if (TRSCustomItemListEditor* grid = rows ? rows->Grid() : nullptr)
        return {grid->ValueFont()->Font(), grid->ValueFont()->Color()};
    return {QFont(), QColor(Qt::black)};
}

TRSItemProp::TRSItemProp(TCollection* collection)
    : TCollectionItem(nullptr), m_font(StartFont(collection), [this] { FontChanged(); }),
      m_valueFont(StartValueFont(collection), [this] { ValueFontChanged(); }), m_birthCollection(collection) {
}

TRSItemProp::~TRSItemProp() {
    try {
        // Leave the grid's shown list first, then the tree, while every part of the row still exists.
        if (Collection())
            SetVisible(false);
        SetCollection(nullptr);
    } catch (...) {
        // A destructor cannot report; the row is gone either way.
    }
    delete m_items;
    m_items = nullptr;
}

TRSItemProps* TRSItemProp::Collection() const {
    return m_rows;
}

TRSItemProps* TRSItemProp::CreateItems(QObject* owner) {
    return new TRSItemProps(owner, &TRSItemProp::staticMetaObject);
}

TRSItemProps* TRSItemProp::Items() const {
    if (!m_items) {
        auto* self = const_cast<TRSItemProp*>(this);
        TRSCustomItemListEditor* grid = GridOf(Collection() ? Collection() : m_birthCollection);
        TRSItemProps* items = grid ? grid->CreateItems(self) : self->CreateItems(self);
        if (TRSItemProps* own = Collection())
            items->SetSorted(own->Sorted());
        else if (grid)
            items->SetSorted(grid->Sorted());
        m_items = items;
    }
    return m_items;
}

TRSCustomItemListEditor* TRSItemProp::GridOf(TCollection* collection) const {
    auto* rows = qobject_cast<TRSItemProps*>(collection);
    return rows ? rows->Grid() : nullptr;
}

void TRSItemProp::AfterInsert() {
    m_inserted = true;
    m_birthCollection = nullptr;
    if (m_items && Collection())
        m_items->SetSorted(Collection()->Sorted());
    SetVisible(true);
}

TRSItemProp* TRSItemProp::ParentItem() const {
    TRSItemProps* rows = Collection();
    return rows ? rows->ParentRow() : nullptr;
}

TRSCustomItemListEditor* TRSItemProp::ItemListEditor() const {
    TRSItemProps* rows = Collection();
    return rows ? rows->Grid() : nullptr;
}

int TRSItemProp::Level() const {
    int level = 0;
    for (TRSItemProp* p = ParentItem(); p; p = p->ParentItem())
        ++level;
    return level;
}

int TRSItemProp::VisibleIndex() const {
    TRSCustomItemListEditor* grid = ItemListEditor();
    return grid ? grid->VisibleIndexOf(this) : -1;
}

int TRSItemProp::ItemListIndex() const {
    TRSCustomItemListEditor* grid = ItemListEditor();
    return grid ? grid->ItemListIndexOf(this) : -1;
}

int TRSItemProp::VisibleDescendantCount() const {
    if (m_visibleDescendantCache < 0) {
        int n = 0;
        if (GetVisible() && Expanded()) {
            for (int i = 0; i < m_items->Count(); ++i) {
                TRSItemProp* sub = m_items->Items(i);
                if (sub->IsDisplayable())
                    n += sub->VisibleDescendantCount() + 1;
            }
        }
        m_visibleDescendantCache = n;
    }
    return m_visibleDescendantCache;
}

void TRSItemProp::MoveTo(TRSItemProps* collection) {
    SetCollection(collection);
}

QString TRSItemProp::Value() const {
    TRSCustomItemListEditor* grid = ItemListEditor();
    auto& values = const_cast<TRSItemPropValueStrings&>(m_values);
    if (grid && grid->CurrentItem() == this && grid->CurValue() > 0)
        return values.Get(grid->CurValue() - 1);
    return TrimRight(m_values.Text());
}

void TRSItemProp::SetValue(const QString& value) {
    TRSCustomItemListEditor* grid = ItemListEditor();
    if (grid && grid->CurrentItem() == this && grid->CurValue() > 0) {
        const int column = grid->CurValue() - 1;
        m_values.Get(column); // sizes the list to the value columns
        m_values.Put(column, value);
    } else {
        m_values.SetText(value);
    }
}

QString TRSItemProp::DisplayName() const {
    return m_name + QLatin1Char('=') + TrimRight(m_values.Text());
}

TRSCustomItemListEditor* TRSItemProp::GetItemListEditor() {
    TRSCustomItemListEditor* grid = ItemListEditor();
    if (grid && Collection() && Collection()->UpdateCount() == 0 && grid->UpdateCount() == 0)
        grid->CloseEditor();
    return grid;
}

void TRSItemProp::VisibleChanged() {
    m_visibleDescendantCache = -1;
    if (TRSItemProps* rows = Collection())
        rows->VisibleChanged(this);
}

QString TRSItemProp::GetFullName() const {
    if (TRSItemProp* parent = ParentItem()) {
        TRSCustomItemListEditor* grid = ItemListEditor();
        return parent->GetFullName() + (grid ? grid->PathDelimiter() : QStringLiteral(".")) + m_name;
    }
    return m_name;
}

TRSFont* TRSItemProp::GetFont() const {
    return Font();
}

TRSFont* TRSItemProp::GetValueFont() const {
    return ValueFont();
}

TRSFont* TRSItemProp::GetCurrentValueFont(int) const {
    return GetValueFont();
}

QStringList& TRSItemProp::GetPickList() {
    if (!m_pickList)
        m_pickList = std::make_unique<QStringList>();
    return *m_pickList;
}

bool TRSItemProp::GetReadOnly() const {
    return m_readOnly || !m_enabled;
}

bool TRSItemProp::GetVisible() const {
    return m_visible;
}

bool TRSItemProp::IsDisplayable() const {
    if (!GetVisible())
        return false;
    TRSCustomItemListEditor* grid = ItemListEditor();
    const bool showReadOnly = !grid || (grid->DisplayOptions() & doShowReadOnly);
    return !GetReadOnly() || m_category || showReadOnly;
}

void TRSItemProp::UpdatePosition(const QString& newName) {
    TRSCustomItemListEditor* grid = ItemListEditor();
    if (grid && grid->ArrangeByCategory() && !m_category) {
        TRSItemProp* categoryRow = grid->GetCategoryFor(this, newName);
        if (categoryRow && categoryRow != this && categoryRow->Items() != Collection())
            MoveTo(categoryRow->Items());
    }
    TRSItemProps* rows = Collection();
    if (rows && rows->Sorted()) {
        const int own = Index();
        // A row named in order at the end of its level stays there (a level is mostly filled in order).
        if (own == rows->Count() - 1 &&
            (own == 0 || rows->CompareNames(rows->Items(own - 1)->Name(), newName) <= 0))
            return;
        // Binary search among the other rows of the level: the result is the row's new index.
        int lo = 0;
        int hi = rows->Count() - 2;
        auto other = [&](int i) { return rows->Items(i < own ? i : i + 1); };
        while (lo <= hi) {
            const int mid = (lo + hi) / 2;
            if (rows->CompareNames(other(mid)->Name(), newName) >= 0)
                hi = mid - 1;
            else
                lo = mid + 1;
        }
        if (lo != own)
            SetIndex(lo);
    }
}

void TRSItemProp::ParentFontChanged(TRSItemProp* source) {
    if (!m_parentFont)
        return;
    const TRSFont* take = nullptr;
    if (!source) {
        if (TRSCustomItemListEditor* grid = ItemListEditor())
            take = m_category ? static_cast<TRSFont*>(grid->CategoryFont()) : grid->GridFont();
        if (!take)
            return;
    } else if (source->m_category != m_category) {
        // The other kind of row has a font of its own: follow the grid's instead (and so do the sub-rows,
        // through this row's own change).
        if (source != this)
            ParentFontChanged(nullptr);
        return;
    }
    m_takingParentFont = true;
    try {
        if (take)
            m_font.Assign(*take);
        else
            m_font.Assign(source->m_font);
    } catch (...) {
        m_takingParentFont = false;
        throw;
    }
    m_takingParentFont = false;
}

void TRSItemProp::ParentValueFontChanged() {
    if (!m_parentValueFont)
        return;
    const TRSFont* take = nullptr;
    if (TRSItemProp* parent = ParentItem())
        take = parent->GetValueFont();
    else if (TRSCustomItemListEditor* grid = ItemListEditor())
        take = grid->ValueFont();
    if (!take)
        return;
    m_takingParentFont = true;
    try {
        m_valueFont.Assign(*take);
    } catch (...) {
        m_takingParentFont = false;
        throw;
    }
    m_takingParentFont = false;
}

void TRSItemProp::FontChanged() {
    if (!m_takingParentFont)
        m_parentFont = false;
    if (HasItems())
        for (int i = 0; i < m_items->Count(); ++i)
            m_items->Items(i)->ParentFontChanged(this);
    RepaintLine();
    SignalChanged();
}

void TRSItemProp::ValueFontChanged() {
    if (!m_takingParentFont)
        m_parentValueFont = false;
    if (HasItems())
        for (int i = 0; i < m_items->Count(); ++i)
            m_items->Items(i)->ParentValueFontChanged();
    RepaintLine();
    SignalChanged();
}

void TRSItemProp::SetParentFont(bool value) {
    m_parentFont = value;
    ParentFontChanged(this);
}

void TRSItemProp::SetParentValueFont(bool value) {
    m_parentValueFont = value;
    ParentValueFontChanged();
}

void TRSItemProp::RepaintLine() {
    TRSCustomItemListEditor* grid = ItemListEditor();
    if (!grid)
        return;
    const int index = grid->VisibleIndexOf(this);
    if (index < 0)
        return;
    const int item = grid->FixedItems() + index;
    if (grid->Orientation() == TRSGridOrientation::goVertical)
        grid->InvalidateRow(item);
    else
        grid->InvalidateCol(item);
}

void TRSItemProp::UpdateEditStyle() {
    if (m_editStyle == esSimple && HasPickList())
        SetEditStyle(esPickList);
    else if (m_editStyle == esPickList && !HasPickList())
        SetEditStyle(esSimple);
}

void TRSItemProp::DescendantsChanged(TRSItemProp* item, TCollectionNotification action) {
    // A row enters or leaves with its whole subtree.
    const int size = 1 + item->m_descendantCount;
    if (action == TCollectionNotification::cnAdded)
        m_descendantCount += size;
    else if (action == TCollectionNotification::cnExtracting)
        m_descendantCount -= size;
    m_visibleDescendantCache = -1;
    if (TRSItemProps* rows = Collection())
        rows->Notify(item, action);
}

void TRSItemProp::SetCategory(bool value) {
    m_category = value;
    if (!value && m_defaultCategory) {
        m_defaultCategory = false;
        if (Collection())
            Collection()->SetDefaultCategoryItem(this);
    }
    ParentFontChanged(nullptr);
}

void TRSItemProp::SetDefaultCategory(bool value) {
    if (value == m_defaultCategory)
        return;
    m_defaultCategory = value;
    if (value && !m_category)
        SetCategory(true);
    if (TRSItemProps* rows = Collection())
        rows->SetDefaultCategoryItem(this);
}

void TRSItemProp::SetName(const QString& value) {
    if (value == m_name)
        return;
    if (TRSItemProps* rows = Collection()) {
        // The level is searched for the name only where names must be unique (a search per row would
        // make building a level quadratic); the row's own name does not count.
        if (!rows->CheckUniqueName(value, false) && rows->IndexOfName(value) != Index())
            rows->CheckUniqueName(value, true);
        GetItemListEditor();
        UpdatePosition(value);
    }
    m_name = value;
    TRSCustomItemListEditor* grid = ItemListEditor();
    if (grid) {
        grid->RowTextChanged(this);
        grid->RepaintRow(this);
    }
    SignalChanged();
}

void TRSItemProp::SetHint(const QString& value) {
    if (value == m_hint)
        return;
    m_hint = value;
    SignalChanged();
}

void TRSItemProp::SetReadOnly(bool value) {
    if (value == m_readOnly)
        return;
    m_readOnly = value;
    TRSCustomItemListEditor* grid = ItemListEditor();
    if (grid && !(grid->DisplayOptions() & doShowReadOnly))
        VisibleChanged();
    SignalChanged();
}

void TRSItemProp::SetVisible(bool value) {
    if (value == m_visible)
        return;
    m_visible = value;
    VisibleChanged();
}

void TRSItemProp::SetEditStyle(TEditStyle value) {
    if (value == m_editStyle)
        return;
    m_editStyle = value;
    SignalChanged();
}

void TRSItemProp::SetEditMask(const QString& value) {
    if (value == m_editMask)
        return;
    m_editMask = value;
    SignalChanged();
}

void TRSItemProp::SetPickList(const QStringList& value) {
    if (value == PickListCopy())
        return;
    GetPickList() = value;
    UpdateEditStyle();
    SignalChanged();
}

void TRSItemProp::SetEnabled(bool value) {
    if (value == m_enabled)
        return;
    m_enabled = value;
    // A disabled row is read-only: it leaves or rejoins the shown rows as a read-only one does.
    TRSCustomItemListEditor* grid = ItemListEditor();
    if (grid && !(grid->DisplayOptions() & doShowReadOnly))
        VisibleChanged();
    RepaintLine();
    SignalChanged();
}

void TRSItemProp::SetExpressionMask(bool value) {
    if (value == m_expressionMask)
        return;
    m_expressionMask = value;
    SignalChanged();
}

void TRSItemProp::SetExpanded(bool value) {
    if (value)
        Expand();
    else
        Collapse();
}

void TRSItemProp::SetData(void* value) {
    m_data = value;
}

void TRSItemProp::ItemChanged() {
    if (TRSItemProps* rows = Collection())
        rows->Update(this);
}

void TRSItemProp::AssignEvents(const TRSItemProp& source) {
    OnEditButtonClick = source.OnEditButtonClick;
    OnGetPickList = source.OnGetPickList;
    OnValidate = source.OnValidate;
}

void TRSItemProp::Collapse() {
    const bool before = Expanded();
    m_expanded = false;
    if (Expanded() != before)
        VisibleChanged();
}

void TRSItemProp::Expand() {
    const bool before = Expanded();
    m_expanded = true;
    if (Expanded() != before)
        VisibleChanged();
}

void TRSItemProp::FullCollapse() {
    m_expanded = false;
    // Only rows that have sub-rows are walked: asking a leaf for its rows would make it an empty level.
    if (HasItems()) {
        TRSItemProps* items = Items();
        items->BeginUpdate();
        try {
            for (int i = 0; i < items->Count(); ++i)
                items->Items(i)->FullCollapse();
        } catch (...) {
            items->EndUpdate();
            throw;
        }
        items->EndUpdate();
    }
    VisibleChanged();
}

void TRSItemProp::FullExpand() {
    m_expanded = true;
    // Only rows that have sub-rows are walked: asking a leaf for its rows would make it an empty level.
    if (HasItems()) {
        TRSItemProps* items = Items();
        items->BeginUpdate();
        try {
            for (int i = 0; i < items->Count(); ++i)
                items->Items(i)->FullExpand();
        } catch (...) {
            items->EndUpdate();
            throw;
        }
        items->EndUpdate();
    }
    VisibleChanged();
}

bool TRSItemProp::HasShownItems() const {
    if (!HasItems())
        return false;
    for (int i = 0; i < m_items->Count(); ++i)
        if (m_items->Items(i)->IsDisplayable())
            return true;
    return false;
}

bool TRSItemProp::HasItems() const {
    return m_items && m_items->Count() > 0;
}

bool TRSItemProp::IsShown() const {
    if (!IsDisplayable())
        return false;
    TRSItemProp* parent = ParentItem();
    return !parent || (parent->m_expanded && parent->IsShown());
}

bool TRSItemProp::IsValueEmpty() const {
    return m_values.Text().trimmed().isEmpty();
}

void TRSItemProp::DoValidate() {
    TRSCustomItemListEditor* grid = ItemListEditor();
    if (OnValidate)
        OnValidate(grid, this, grid ? grid->CurValue() : 1);
    else if (grid && grid->OnValidate)
        grid->OnValidate(grid, this, 1);
}

void TRSItemProp::Assign(const TRSItemProp& source) {
    if (&source == this)
        return;
    SetCategory(source.m_category);
    SetDefaultCategory(source.m_defaultCategory);
    SetName(source.m_name);
    SetHint(source.m_hint);
    SetReadOnly(source.GetReadOnly());
    SetEditStyle(source.m_editStyle);
    SetEditMask(source.m_editMask);
    SetPickList(source.PickListCopy());
    SetExpressionMask(source.m_expressionMask);
    m_expanded = source.Expanded();
    m_data = source.m_data;
    m_tag = source.m_tag;
    if (source.m_parentFont) {
        SetParentFont(true);
    } else {
        m_font.Assign(source.m_font);
        m_parentFont = false;
    }
    if (source.m_parentValueFont) {
        SetParentValueFont(true);
    } else {
        m_valueFont.Assign(source.m_valueFont);
        m_parentValueFont = false;
    }
    m_values.SetLines(source.m_values.Lines());
    SetVisible(source.m_visible);
    if (source.HasItems() || HasItems())
        Items()->Assign(*source.Items());
    SignalChanged();
}

// ---- TRSItemProps ------------------------------------------------------------------------------------

TRSItemProps::TRSItemProps(QObject* owner, const QMetaObject* itemClass)
    : TCollection(itemClass, owner,
                  [itemClass, ctor = RowConstructor(itemClass)](TCollection* c) {
                      // The row is built completely first; the collection inserts it afterwards.
                      QObject* obj = nullptr;
                      if (ctor >= 0) {
                          void* args[] = {&obj, &c};
                          itemClass->static_metacall(QMetaObject::CreateInstance, ctor, args);
                      }
                      auto* item = qobject_cast<TCollectionItem*>(obj);
                      if (!item) {
                          delete obj;
                          throw EInvalidOperation(QStringLiteral("Cannot create an item of class %1")
                                                      .arg(QString::fromLatin1(itemClass->className())));
                      }
                      return item;
                  }),
      m_ownerRow(qobject_cast<TRSItemProp*>(owner)),
      m_ownerGrid(qobject_cast<TRSCustomItemListEditor*>(owner)) {
    m_defaultCategoryName = _("Miscellaneous");
}

TRSItemProps::~TRSItemProps() {
    m_defaultCategoryItem = nullptr;
    // Rows leave while the collection is still complete, so that the grid hears of every one.
    TCollection::BeginUpdate();
    while (Count() > 0)
        delete Items(Count() - 1);
}

TRSItemProp* TRSItemProps::ParentRow() const {
    return m_ownerRow;
}

TRSCustomItemListEditor* TRSItemProps::Grid() const {
    if (m_ownerGrid)
        return m_ownerGrid;
    return m_ownerRow ? m_ownerRow->ItemListEditor() : nullptr;
}

QString TRSItemProps::Delimiter() const {
    TRSCustomItemListEditor* grid = Grid();
    return grid ? grid->PathDelimiter() : QStringLiteral(".");
}

TRSItemProp* TRSItemProps::Add() {
    PrepareChange();
    return static_cast<TRSItemProp*>(TCollection::Add());
}

TRSItemProp* TRSItemProps::AddNamed(const QString& name) {
    CheckUniqueName(name, true);
    TRSItemProp* row = Add();
    try {
        row->SetName(name);
    } catch (...) {
        delete row;
        throw;
    }
    return row;
}

TRSItemProp* TRSItemProps::AddCategory(const QString& name, bool allowDuplicate) {
    if (!allowDuplicate) {
        const int index = IndexOfCategory(name);
        if (index >= 0)
            return Items(index);
    }
    CheckUniqueName(name, true);
    TRSItemProp* row = Add();
    try {
        row->SetCategory(true);
        row->SetReadOnly(true);
        row->SetName(name);
    } catch (...) {
        delete row;
        throw;
    }
    return row;
}

TRSItemProp* TRSItemProps::AddByPath(const QString& path, const QString& value, bool allowDuplicate) {
    const QString delimiter = Delimiter();
    const int at = delimiter.isEmpty() ? -1 : int(path.indexOf(delimiter));
    const bool last = at < 0;
    const QString head = last ? path : path.left(at);
    const int index = IndexOfName(head);
    TRSItemProp* row = (index >= 0 && !(last && allowDuplicate)) ? Items(index) : AddNamed(head);
    if (last) {
        row->Values().SetText(value);
        return row;
    }
    return row->Items()->AddByPath(path.mid(at + delimiter.size()), value, allowDuplicate);
}

TRSItemProp* TRSItemProps::FindByPath(const QString& path) const {
    const QString delimiter = Delimiter();
    const int at = delimiter.isEmpty() ? -1 : int(path.indexOf(delimiter));
    const QString head = at < 0 ? path : path.left(at);
    const int index = IndexOfName(head);
    if (index < 0)
        return nullptr;
    TRSItemProp* row = Items(index);
    if (at < 0)
        return row;
    if (!row->HasItems())
        return nullptr;
    return row->Items()->FindByPath(path.mid(at + delimiter.size()));
}

int TRSItemProps::IndexOfName(const QString& name) const {
    for (int i = 0; i < Count(); ++i)
        if (CompareNames(Items(i)->Name(), name) == 0)
            return i;
    return -1;
}

int TRSItemProps::IndexOfCategory(const QString& name) const {
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Category() && CompareNames(Items(i)->Name(), name) == 0)
            return i;
    return -1;
}

TRSItemProp* TRSItemProps::InsertAt(int index) {
    if (index < 0 || index > Count())
        RaiseListIndexError(index);
    TRSItemProp* row = Add();
    if (row->Index() != index)
        row->SetIndex(index);
    return row;
}

bool TRSItemProps::CheckUniqueName(const QString& name, bool raiseIfDuplicate) const {
    TRSCustomItemListEditor* grid = Grid();
    if (!grid || !(grid->PropertyOptions() & propUnique) || name.isEmpty())
        return true;
    const bool unique = IndexOfName(name) < 0;
    if (!unique && raiseIfDuplicate)
        throw Exception(_("Property name is not unique: %1").arg(name));
    return unique;
}

void TRSItemProps::EnsureDefaultCategory() {
    if (m_defaultCategoryName.isEmpty())
        return;
    const int index = IndexOfCategory(m_defaultCategoryName);
    TRSItemProp* row = index >= 0 ? Items(index) : AddCategory(m_defaultCategoryName, true);
    row->SetDefaultCategory(true);
    SetDefaultCategoryItem(row);
}

void TRSItemProps::SetDefaultCategoryName(const QString& value) {
    if (value == m_defaultCategoryName)
        return;
    m_defaultCategoryName = value;
    TRSCustomItemListEditor* grid = Grid();
    if (grid && grid->ArrangeByCategory())
        EnsureDefaultCategory();
}

void TRSItemProps::PrepareChange() {
    if (UpdateCount() == 0)
        if (TRSCustomItemListEditor* grid = Grid())
            grid->CloseEditor();
}

int TRSItemProps::CompareNames(const QString& s1, const QString& s2) const {
    if (TRSCustomItemListEditor* grid = Grid())
        return grid->CompareItems(s1, s2);
    return CompareNamesIgnoringCase(s1, s2);
}

void TRSItemProps::SetDefaultCategoryItem(TRSItemProp* row) {
    TRSItemProp* next = (row && row->DefaultCategory() && row->Collection() == this) ? row : nullptr;
    if (!next && row != m_defaultCategoryItem)
        return; // a row that is not the default says it is not: nothing changes
    if (next == m_defaultCategoryItem)
        return;
    TRSItemProp* previous = m_defaultCategoryItem;
    m_defaultCategoryItem = next;
    if (previous && previous != next)
        previous->m_defaultCategory = false;
}

TRSItemProp* TRSItemProps::ItemByName(const QVariant& name, bool strict) {
    if (Count() == 0)
        return nullptr;
    const int type = name.typeId();
    const bool numeric = type == QMetaType::Int || type == QMetaType::UInt || type == QMetaType::LongLong ||
                         type == QMetaType::ULongLong || type == QMetaType::Double;
    if (!numeric) {
        const QString text = name.toString();
        const int index = IndexOfName(text);
        if (index < 0) {
            if (strict)
                throw Exception(_("Property not found: %1").arg(text));
            return nullptr;
        }
        return Items(index);
    }
    const int index = name.toInt();
    if (index >= 0 && index < Count())
        return Items(index);
    return strict ? InsertAt(index) : nullptr;
}

void TRSItemProps::VisibleChanged(TRSItemProp* item) {
    TRSItemProp* parent = ParentRow();
    TRSCustomItemListEditor* grid = Grid();
    if (parent && grid) {
        // Only the row and its own sub-rows can change their shown state: the grid places just those,
        // rather than the whole subtree of the top-level row (adding a sub-row would cost that subtree).
        for (TRSItemProp* p = parent; p; p = p->ParentItem())
            p->m_visibleDescendantCache = -1;
        grid->ItemVisibleChanged(item);
    } else if (parent) {
        parent->VisibleChanged();
    } else if (grid) {
        grid->ItemVisibleChanged(item);
    }
}

void TRSItemProps::DeleteCategories(bool keepSubItems) {
    QList<TRSItemProp*> categories;
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Category())
            categories.append(Items(i));
    for (TRSItemProp* row : categories)
        DeleteCategory(row->Index(), keepSubItems);
}

void TRSItemProps::DeleteCategory(int index, bool keepSubItems) {
    TRSItemProp* row = Items(index);
    if (!row->Category())
        throw ERSException(_("Cannot delete item, not a category"));
    if (!keepSubItems && row->HasItems()) {
        TRSItemProps* subs = row->Items();
        while (subs->Count() > 0)
            subs->Items(0)->MoveTo(this);
    }
    Delete(row->Index());
}

bool TRSItemProps::FindInsertIndex(const QString& name, int& index) const {
    int lo = 0;
    int hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        const int c = CompareNames(Items(mid)->Name(), name);
        if (c >= 0) {
            hi = mid - 1;
            if (c == 0)
                found = true;
        } else {
            lo = mid + 1;
        }
    }
    index = lo;
    return found;
}

void TRSItemProps::Sort(bool onlyThisLevel) {
    CustomSort([this](TRSItemProp* a, TRSItemProp* b) { return CompareNames(a->Name(), b->Name()); },
               onlyThisLevel);
}

void TRSItemProps::CustomSort(const std::function<int(TRSItemProp*, TRSItemProp*)>& compare,
                              bool onlyThisLevel) {
    if (m_sorted || Count() == 0)
        return;
    BeginUpdate();
    try {
        std::function<void(int, int)> quickSort = [&](int l, int r) {
            while (l < r) {
                int i = l;
                int j = r;
                int p = (l + r) / 2;
                while (i <= j) {
                    while (compare(Items(i), Items(p)) < 0)
                        ++i;
                    while (compare(Items(j), Items(p)) > 0)
                        --j;
                    if (i <= j) {
                        if (i != j) {
                            Exchange(i, j);
                            if (p == i)
                                p = j;
                            else if (p == j)
                                p = i;
                        }
                        ++i;
                        --j;
                    }
                }
                if (l < j)
                    quickSort(l, j);
                l = i;
            }
        };
        quickSort(0, Count() - 1);
        if (!onlyThisLevel)
            for (int i = 0; i < Count(); ++i)
                if (Items(i)->HasItems())
                    Items(i)->Items()->CustomSort(compare, false);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TRSItemProps::SetSorted(bool value) {
    if (value == m_sorted)
        return;
    if (value) {
        BeginUpdate();
        try {
            for (int i = 0; i < Count(); ++i)
                if (Items(i)->m_items)
                    Items(i)->m_items->SetSorted(true);
            Sort(true);
            m_sorted = true;
            m_categories.sort(Qt::CaseInsensitive);
        } catch (...) {
            EndUpdate();
            throw;
        }
        EndUpdate();
        if (TRSCustomItemListEditor* grid = Grid())
            grid->InvalidateGrid();
    } else {
        m_sorted = false;
        for (int i = 0; i < Count(); ++i)
            if (Items(i)->m_items)
                Items(i)->m_items->SetSorted(false);
    }
}

void TRSItemProps::Assign(const TRSItemProps& source) {
    if (&source == this)
        return;
    m_categories = source.m_categories;
    SetSorted(source.m_sorted);
    BeginUpdate();
    try {
        Clear();
        for (int i = 0; i < source.Count(); ++i)
            Add()->Assign(*source.Items(i));
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TRSItemProps::BeginUpdate() {
    m_listsFollowed = false;
    PrepareChange();
    TCollection::BeginUpdate();
}

void TRSItemProps::Notify(TCollectionItem* item, TCollectionNotification action) {
    TCollection::Notify(item, action);
    auto* row = qobject_cast<TRSItemProp*>(item);
    if (!row)
        return;
    // Rows further down pass their notices up through here too; only this collection's own are kept.
    const bool own = row->TCollectionItem::Collection() == this;
    if (own && action == TCollectionNotification::cnAdded)
        row->m_rows = this;
    // The row is in this collection until the notice of its leaving is over.
    struct TLeave {
        TRSItemProp* row;
        bool leaving;
        ~TLeave() {
            if (leaving)
                row->m_rows = nullptr;
        }
    } leave{row, own && action == TCollectionNotification::cnExtracting};
    if (action == TCollectionNotification::cnExtracting && row == m_defaultCategoryItem)
        m_defaultCategoryItem = nullptr;
    // The grid places an own row in its lists as it comes or goes, so the change of the whole level that
    // follows (TCollection's Changed) need not rebuild them.
    m_listsFollowed =
        own && UpdateCount() == 0 &&
        (action == TCollectionNotification::cnAdded || action == TCollectionNotification::cnExtracting);
    if (TRSItemProp* parent = ParentRow())
        parent->DescendantsChanged(row, action);
    else if (auto* grid = qobject_cast<TRSCustomItemListEditor*>(Owner()))
        grid->ItemNotify(row, action);
    // A new row becomes visible once it is in its place in the tree.
    if (action == TCollectionNotification::cnAdded && row->Collection() == this && !row->m_inserted)
        row->AfterInsert();
}

void TRSItemProps::Update(TCollectionItem* item) {
    const bool followed = std::exchange(m_listsFollowed, false) && !item;
    TCollection::Update(item);
    if (TRSItemProp* parent = ParentRow()) {
        // A change of the whole level may have reordered it: the grid's lists follow.
        if (!item && !followed)
            if (TRSCustomItemListEditor* grid = Grid())
                grid->SubItemsChanged(parent);
        parent->ItemChanged();
    } else if (auto* grid = qobject_cast<TRSCustomItemListEditor*>(Owner())) {
        if (followed && !grid->m_listsStale)
            grid->RowCountChanged();
        else
            grid->ItemsChanged(qobject_cast<TRSItemProp*>(item));
    }
}

// ---- TRSItemStrings ----------------------------------------------------------------------------------

TRSItemProp* TRSItemStrings::Row(int index) const {
    const int count = Count();
    if (index < 0 || index >= count)
        RaiseListIndexError(index);
    return m_shownOnly ? m_grid->VisibleItem(index) : m_grid->ItemListItem(index);
}

QString TRSItemStrings::Get(int index) const {
    TRSItemProp* row = Row(index);
    return row->GetFullName() + QLatin1Char('=') + TrimRight(row->Values().Text());
}

int TRSItemStrings::Count() const {
    return m_shownOnly ? m_grid->VisibleCount() : m_grid->ItemListCount();
}

void* TRSItemStrings::GetObject(int index) const {
    return Row(index)->Data();
}

void TRSItemStrings::PutObject(int index, void* value) {
    Row(index)->SetData(value);
}

void TRSItemStrings::Clear() {
    m_grid->Items()->Clear();
}

void TRSItemStrings::Delete(int index) {
    TRSItemProp* row = Row(index);
    row->Collection()->Delete(row->Index());
}

int TRSItemStrings::IndexOfName(const QString& name) const {
    TRSItemProp* row = m_grid->Items()->FindByPath(name);
    if (!row)
        return -1;
    return m_shownOnly ? m_grid->VisibleIndexOf(row) : m_grid->ItemListIndexOf(row);
}

void TRSItemStrings::Insert(int index, const QString& s) {
    if (index < 0 || index > Count())
        RaiseListIndexError(index);
    const int eq = int(s.indexOf(QLatin1Char('=')));
    const QString name = eq < 0 ? s : s.left(eq);
    const QString value = eq < 0 ? QString() : s.mid(eq + 1);
    m_grid->Items()->AddByPath(name, value, !(m_grid->PropertyOptions() & propUnique));
}

QStringList TRSItemStrings::Lines() const {
    QStringList lines;
    for (int i = 0; i < Count(); ++i)
        lines << Get(i);
    return lines;
}

void TRSItemStrings::Assign(const QStringList& lines) {
    TRSItemProps* items = m_grid->Items();
    items->BeginUpdate();
    try {
        items->Clear();
        for (const QString& line : lines)
            Add(line);
    } catch (...) {
        items->EndUpdate();
        throw;
    }
    items->EndUpdate();
}
