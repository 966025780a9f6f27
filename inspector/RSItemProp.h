#pragma once
// The rows of the item grid: TRSItemProp is one row (name, one value per value column, hint, fonts, edit
// style, pick list, mask and events), TRSItemProps the rows of one tree level. A collection is owned by
// the grid (the top level) or by a row (its sub-rows), so the rows form a tree. Every change of a row goes
// through its collection's update notification up the tree to the grid.
#include "classlib/Collection.h"
#include "classlib/SysUtils.h"
#include "inspector/DefinedProperties.h"
#include "inspector/RSDeltaFont.h"
#include "inspector/RSLazyFont.h"
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>

class TRSItemProp;
class TRSItemProps;
class TRSCustomItemListEditor;

class ERSException : public EComponentError {
    using EComponentError::EComponentError;
};

// A fixed underlying type: a number read from a stream is a value of the type even when it names no
// style, so that the checked setter can refuse it.
enum TEditStyle : int { esSimple, esEllipsis, esPickList };

// The locale's comparison of two names ignoring case (below, at or above 0), without a lowered copy of
// either name.
int CompareNamesIgnoringCase(const QString& s1, const QString& s2);

using TRSNotifyEvent = std::function<void(QObject* sender)>;
using TRSGetPickListEvent =
    std::function<void(QObject* sender, const QString& propName, QStringList& values)>;
using TRSOnValidateEvent = std::function<void(QObject* sender, TRSItemProp* item, int aCol)>;

// A row's values, one line per value column.
class TRSItemPropValueStrings {
public:
    explicit TRSItemPropValueStrings(TRSItemProp* row) : m_row(row) {}

    // The line of a value column; in a grid the list first gets exactly one line per value column.
    QString Get(int index);
    // Writes a line only when it differs.
    void Put(int index, const QString& value);
    int Count() const { return int(m_lines.size()); }
    const QStringList& Lines() const { return m_lines; }
    void SetLines(const QStringList& lines);
    // The lines, each followed by a line break.
    QString Text() const;
    void SetText(const QString& text);

private:
    void Changed();
    TRSItemProp* m_row;
    QStringList m_lines;
    bool m_updating = false;
};

// Stored with its fonts (when they do not follow the parent) and its sub-rows after the published
// properties.
class TRSItemProp : public TCollectionItem, public TDefinedProperties {
    Q_OBJECT
    Q_PROPERTY(bool ParentFont READ ParentFont WRITE SetParentFont)
    Q_PROPERTY(bool ParentValueFont READ ParentValueFont WRITE SetParentValueFont)
    Q_PROPERTY(bool Category READ Category WRITE SetCategory)
    Q_PROPERTY(bool DefaultCategory READ DefaultCategory WRITE SetDefaultCategory)
    Q_PROPERTY(bool Expanded READ Expanded WRITE SetExpanded)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(QString Name READ Name WRITE SetName)
    Q_PROPERTY(QString Value READ Value WRITE SetValue)
    Q_PROPERTY(QStringList Values READ ValuesList WRITE SetValuesList)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(bool ReadOnly READ ReadOnlyFlag WRITE SetReadOnly)
    Q_PROPERTY(bool Visible READ GetVisible WRITE SetVisible)
    Q_PROPERTY(TEditStyle EditStyle READ EditStyle WRITE SetEditStyleChecked)
    Q_PROPERTY(QString EditMask READ EditMask WRITE SetEditMask)
    Q_PROPERTY(QStringList PickList READ PickListCopy WRITE SetPickList)
    Q_PROPERTY(bool ExpressionMask READ ExpressionMask WRITE SetExpressionMask)
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)
    Q_CLASSINFO("default:ParentFont", "True")
    Q_CLASSINFO("default:ParentValueFont", "True")
    Q_CLASSINFO("default:Enabled", "True")
    Q_CLASSINFO("default:Visible", "True")
    Q_CLASSINFO("default:Category", "False")
    Q_CLASSINFO("default:DefaultCategory", "False")
    Q_CLASSINFO("default:Expanded", "False")
    Q_CLASSINFO("default:ReadOnly", "False")
    Q_CLASSINFO("default:EditStyle", "esSimple")
    // Clearing the flag re-takes the grid's font: a row read back must not do that over its parent's.
    Q_CLASSINFO("stored:Category", "Category")
    Q_CLASSINFO("stored:DefaultCategory", "DefaultCategory")

public:
    Q_ENUM(TEditStyle)

    // Rows are made by their collection (TRSItemProps::Add): the collection given here only tells the row
    // its grid and parent while it is built; the collection inserts it once every subclass part exists.
    Q_INVOKABLE explicit TRSItemProp(TCollection* collection = nullptr);
    ~TRSItemProp() override;

    TRSItemProps* Collection() const;
    TRSItemProps* Items() const;
    TRSItemProp* ParentItem() const;
    TRSCustomItemListEditor* ItemListEditor() const;
    int Level() const;
    int VisibleIndex() const;
    int ItemListIndex() const;
    int VisibleDescendantCount() const;
    int DescendantCount() const { return m_descendantCount; }
    bool HasPickList() const { return m_pickList && !m_pickList->isEmpty(); }
    void MoveTo(TRSItemProps* collection);

    const QString& Name() const { return m_name; }
    QString Hint() const { return m_hint; }
    bool ReadOnlyFlag() const { return m_readOnly; }
    Q_INVOKABLE bool Category() const { return m_category; }
    Q_INVOKABLE bool DefaultCategory() const { return m_defaultCategory; }
    void SetDefaultCategory(bool value);
    bool Expanded() const { return m_expanded && HasItems(); }
    bool ExpandFlag() const { return m_expanded; }
    bool Enabled() const { return m_enabled; }
    TEditStyle EditStyle() const { return m_editStyle; }
    // The property's write: a number that names no style (from a stream) is refused.
    void SetEditStyleChecked(TEditStyle value);
    QString EditMask() const { return m_editMask; }
    bool ExpressionMask() const { return m_expressionMask; }
    QStringList PickListCopy() const { return m_pickList ? *m_pickList : QStringList(); }
    int Tag() const { return m_tag; }
    void SetTag(int value) { m_tag = value; }
    void* Data() const { return m_data; }
    bool ParentFont() const { return m_parentFont; }
    void SetParentFont(bool value);
    bool ParentValueFont() const { return m_parentValueFont; }
    void SetParentValueFont(bool value);
    TRSFont* Font() const { return m_font.Object(); }
    TRSFont* ValueFont() const { return m_valueFont.Object(); }

    QString Value() const;
    virtual void SetValue(const QString& value);
    TRSItemPropValueStrings& Values() { return m_values; }
    QStringList ValuesList() const { return m_values.Lines(); }
    void SetValuesList(const QStringList& value) { m_values.SetLines(value); }
    QString DisplayName() const override;

    virtual TRSCustomItemListEditor* GetItemListEditor();
    virtual void VisibleChanged();
    virtual QString GetFullName() const;
    virtual TRSFont* GetFont() const;
    virtual TRSFont* GetValueFont() const;
    virtual TRSFont* GetCurrentValueFont(int column) const;
    virtual QStringList& GetPickList();
    virtual bool GetReadOnly() const;
    virtual bool GetVisible() const;
    virtual bool IsDisplayable() const;
    virtual void UpdatePosition(const QString& newName);
    virtual void ParentFontChanged(TRSItemProp* source);
    virtual void ParentValueFontChanged();
    virtual void UpdateEditStyle();
    virtual void DescendantsChanged(TRSItemProp* item, TCollectionNotification action);
    virtual void SetCategory(bool value);
    virtual void SetName(const QString& value);
    virtual void SetHint(const QString& value);
    virtual void SetReadOnly(bool value);
    virtual void SetVisible(bool value);
    virtual void SetEditStyle(TEditStyle value);
    virtual void SetEditMask(const QString& value);
    virtual void SetPickList(const QStringList& value);
    virtual void SetEnabled(bool value);
    virtual void SetExpressionMask(bool value);
    virtual void SetExpanded(bool value);
    virtual void SetData(void* value);
    virtual void ItemChanged();
    virtual void AssignEvents(const TRSItemProp& source);
    virtual void Collapse();
    virtual void Expand();
    virtual void FullCollapse();
    virtual void FullExpand();
    virtual bool HasShownItems() const;
    virtual bool HasItems() const;
    virtual bool IsShown() const;
    virtual bool IsValueEmpty() const;
    virtual void DoValidate();
    virtual void Assign(const TRSItemProp& source);
    // Font is stored when it does not follow the parent, or when the parent row is of the other kind
    // (category or not) and so has a font of another sort; ValueFont when it does not follow the parent.
    bool FontStored() const;
    bool ValueFontStored() const { return !m_parentValueFont; }
    // "Font.*" and "ValueFont.*" when stored, then the sub-rows as "Items".
    void WriteDefinedProperties(TWriter& writer) const override;
    bool ReadDefinedProperty(TReader& reader, const QString& name) override;

    TRSNotifyEvent OnEditButtonClick;
    TRSGetPickListEvent OnGetPickList;
    TRSOnValidateEvent OnValidate;

protected:
    // Makes the sub-row collection of a row that has no grid.
    virtual TRSItemProps* CreateItems(QObject* owner);
    // Signals a change of this row to its collection.
    void SignalChanged() { Changed(false); }

private:
    friend class TRSItemProps;
    friend class TRSItemPropValueStrings;
    friend class TRSCustomItemListEditor;
    friend class TRSRowList;
    // The row's grid and parent row while it is built (before it is in its collection).
    TRSCustomItemListEditor* GridOf(TCollection* collection) const;
    void AfterInsert();
    void FontChanged();
    void ValueFontChanged();
    // The fonts a row made for a collection starts from (its parent's or its grid's).
    static TRSFontFace StartFont(TCollection* collection);
    static TRSFontFace StartValueFont(TCollection* collection);
    void RepaintLine();

    QString m_name;
    QString m_hint;
    bool m_readOnly = false;
    bool m_visible = false;
    TEditStyle m_editStyle = esSimple;
    QString m_editMask;
    mutable std::unique_ptr<QStringList> m_pickList;
    bool m_expressionMask = false;
    mutable TRSItemProps* m_items = nullptr; // owned (a QObject child), made on first use
    int m_descendantCount = 0;
    mutable int m_visibleDescendantCache = -1;
    bool m_expanded = false;
    void* m_data = nullptr;
    int m_tag = 0;
    bool m_parentFont = true;
    TRSLazyFont m_font;
    bool m_parentValueFont = true;
    TRSLazyFont m_valueFont;
    bool m_enabled = true;
    bool m_category = false;
    bool m_defaultCategory = false;
    TRSItemPropValueStrings m_values{this};
    TCollection* m_birthCollection = nullptr;
    TRSItemProps* m_rows = nullptr; // the row collection it is in (kept by its notifications)
    bool m_inserted = false;
    bool m_takingParentFont = false;
    int32_t m_listNode[2] = {-1, -1}; // the row's node in the grid's two row lists (TRSRowList)
};

class TRSItemProps : public TCollection {
    Q_OBJECT

public:
    // owner: the grid or the parent row.
    explicit TRSItemProps(QObject* owner, const QMetaObject* itemClass = &TRSItemProp::staticMetaObject);
    ~TRSItemProps() override;

    TRSItemProp* Items(int index) const { return static_cast<TRSItemProp*>(TCollection::Items(index)); }
    TRSItemProp* ParentRow() const;
    TRSCustomItemListEditor* Grid() const;

    TRSItemProp* Add();
    TRSItemProp* AddCategory(const QString& name, bool allowDuplicate);
    TRSItemProp* AddByPath(const QString& path, const QString& value, bool allowDuplicate);
    TRSItemProp* FindByPath(const QString& path) const;
    int IndexOfName(const QString& name) const;
    int IndexOfCategory(const QString& name) const;
    // Raises the list index error for an index outside 0..Count.
    TRSItemProp* InsertAt(int index);
    bool CheckUniqueName(const QString& name, bool raiseIfDuplicate) const;
    void EnsureDefaultCategory();
    bool Sorted() const { return m_sorted; }
    void SetSorted(bool value);
    TRSItemProp* DefaultCategoryItem() const { return m_defaultCategoryItem; }
    QStringList& Categories() { return m_categories; }
    QString DefaultCategoryName() const { return m_defaultCategoryName; }
    void SetDefaultCategoryName(const QString& value);

    virtual void PrepareChange();
    virtual int CompareNames(const QString& s1, const QString& s2) const;
    virtual void SetDefaultCategoryItem(TRSItemProp* row);
    virtual TRSItemProp* ItemByName(const QVariant& name, bool strict);
    virtual void VisibleChanged(TRSItemProp* item);
    virtual void DeleteCategories(bool keepSubItems);
    virtual void DeleteCategory(int index, bool keepSubItems);
    virtual bool FindInsertIndex(const QString& name, int& index) const;
    virtual void Sort(bool onlyThisLevel);
    virtual void CustomSort(const std::function<int(TRSItemProp*, TRSItemProp*)>& compare,
                            bool onlyThisLevel);
    virtual void Assign(const TRSItemProps& source);
    void BeginUpdate();

protected:
    void Notify(TCollectionItem* item, TCollectionNotification action) override;
    void Update(TCollectionItem* item) override;

private:
    friend class TRSItemProp;
    friend class TRSCustomItemListEditor;
    // Adds a row named name; the name is checked first, so a refused name leaves the collection as it was.
    TRSItemProp* AddNamed(const QString& name);
    QString Delimiter() const;

    TRSItemProp* m_ownerRow = nullptr;              // the owner as a row ...
    TRSCustomItemListEditor* m_ownerGrid = nullptr; // ... or as the grid
    bool m_sorted = false;
    TRSItemProp* m_defaultCategoryItem = nullptr;
    QStringList m_categories;
    QString m_defaultCategoryName;
    bool m_listsFollowed = false; // the grid's lists took in the last row added or taken out
};

// The grid's rows as path=value lines (all rows in tree order, or only the shown ones).
class TRSItemStrings {
public:
    explicit TRSItemStrings(TRSCustomItemListEditor* grid) : m_grid(grid) {}

    QString Get(int index) const;
    int Count() const;
    void* GetObject(int index) const;
    void PutObject(int index, void* value);
    void Clear();
    void Delete(int index);
    int IndexOfName(const QString& name) const;
    void Insert(int index, const QString& s);
    void Add(const QString& s) { Insert(Count(), s); }
    QStringList Lines() const;
    void Assign(const QStringList& lines);
    bool ShownOnly() const { return m_shownOnly; }
    void SetShownOnly(bool value) { m_shownOnly = value; }

private:
    TRSItemProp* Row(int index) const;
    TRSCustomItemListEditor* m_grid;
    bool m_shownOnly = false;
};
