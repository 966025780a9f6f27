#pragma once
// The object inspector: the published properties of one or more objects as the rows of the item grid,
// edited values written back to every object. Every rebuild runs later than the change that causes it,
// through an event the inspector posts to itself, so that a burst of changes gives one scan; and a change
// notification is posted after each write, so that the application hears of it once the write returned.
#include "classlib/Collection.h"
#include "classlib/Component.h"
#include "classlib/Strings.h"
#include "inspector/ComponentStream.h"
#include "inspector/RSItemListEditor.h"
#include "inspector/RSItemProperty.h"
#include "inspector/RSPropertyPresets.h"
#include <QEvent>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <memory>
#include <optional>

class TRSCustomObjectInspector;

// The inspector's own posted messages.
inline constexpr QEvent::Type CM_PROPERTYCHANGED = QEvent::Type(2475); // wParam: shown index of the row
inline constexpr QEvent::Type CM_RESCAN = QEvent::Type(2476);
// Sent to the object value of the selected row by CopyToClipboard and PasteFromClipboard.
QEvent::Type WM_COPY_Event();
QEvent::Type WM_PASTE_Event();

class TRSInspectorMessage : public QEvent {
public:
    TRSInspectorMessage(QEvent::Type type, int wParam, int lParam = 0)
        : QEvent(type), WParam(wParam), LParam(lParam) {}
    const int WParam;
    // For the property-changed message: 1 when the write changed a value, 0 when it was refused.
    const int LParam;
};

enum TInplaceTStringsOption : unsigned { isUseNameValue = 1u << 0, isSort = 1u << 1 };
using TInplaceTStringsOptions = unsigned;

class TRSInspectorObject : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(TComponent* Component READ Component)

public:
    Q_INVOKABLE explicit TRSInspectorObject(TCollection* collection = nullptr);
    ~TRSInspectorObject() override;

    QObject* Object() const { return m_object; }
    void SetObject(QObject* value);
    // A component that, when it goes away, removes the entry too.
    QObject* OwnerObject() const { return m_ownerObject; }
    void SetOwnerObject(QObject* value);
    // The object when it is a component, else nullptr.
    TComponent* Component() const;
    void Assign(const TRSInspectorObject& source);
    QString DisplayName() const override;
    // The pointers as they were set, for comparison only (they may no longer be valid).
    const QObject* ObjectKey() const { return m_objectKey; }
    const QObject* OwnerKey() const { return m_ownerKey; }

private:
    TRSCustomObjectInspector* Inspector() const;
    void Watch();

    QPointer<QObject> m_object;
    QPointer<QObject> m_ownerObject;
    const QObject* m_objectKey = nullptr;
    const QObject* m_ownerKey = nullptr;
    QMetaObject::Connection m_objectGone;
    QMetaObject::Connection m_ownerGone;
};

class TRSInspectorObjects : public TCollection {
    Q_OBJECT

public:
    explicit TRSInspectorObjects(TRSCustomObjectInspector* inspector);

    TRSInspectorObject* Items(int index) const {
        return static_cast<TRSInspectorObject*>(TCollection::Items(index));
    }
    // Reuses the entry that already holds obj.
    TRSInspectorObject* Add(QObject* obj, QObject* ownerObject = nullptr);
    int IndexOf(const QObject* obj) const;
    // Deletes the first entry whose object or owner object is obj; its index, or -1.
    int Remove(const QObject* obj);
    // Copies only entries that hold an object.
    void Assign(const TRSInspectorObjects& source);
    // The outermost one clears the inspector's rows.
    void BeginUpdate();
    void EndUpdate() { TCollection::EndUpdate(); }
    TRSCustomObjectInspector* Inspector() const { return m_inspector; }

protected:
    void Notify(TCollectionItem* item, TCollectionNotification action) override;
    void Update(TCollectionItem* item) override;

private:
    TRSCustomObjectInspector* m_inspector;
};

// Stored with its presets and rows ("HPresets", "HItems"); while a stream is read into it, it is loading:
// no rescan is posted and presets wait for Loaded.
class TRSCustomObjectInspector : public TRSCustomItemListEditor, public TLoadingObject {
    Q_OBJECT

public:
    explicit TRSCustomObjectInspector(QWidget* parent = nullptr);
    ~TRSCustomObjectInspector() override;

    TRSItemProperties* Items() const {
        return static_cast<TRSItemProperties*>(TRSCustomItemListEditor::Items());
    }
    TRSPropertyPresets* Presets() const { return m_presets.get(); }
    TRSInspectorObjects* Objects() const { return m_objects.get(); }
    TStringList* Filters() const { return m_filters.get(); }
    void SetFilters(const QStringList& value) { m_filters->SetLines(value); }

    // The component of the first inspected entry (nullptr without one); setting replaces that entry.
    TComponent* Component() const;
    void SetComponent(QObject* value);
    // The row shown at a shown-row index.
    TRSItemProperty* GetVisibleItem(int index) const;

    bool InplaceCollections() const { return m_inplaceCollections; }
    void SetInplaceCollections(bool value);
    bool InplaceComponents() const { return m_inplaceComponents; }
    void SetInplaceComponents(bool value);
    bool InplaceTStrings() const { return m_inplaceTStrings; }
    void SetInplaceTStrings(bool value);
    TInplaceTStringsOptions InplaceTStringsOptions() const { return m_inplaceTStringsOptions; }
    void SetInplaceTStringsOptions(TInplaceTStringsOptions value);
    // Row-name formats with exactly one %d (and %% for a percent sign); anything else is refused.
    QString CollectionItemFormat() const { return m_collectionItemFormat; }
    void SetCollectionItemFormat(const QString& value);
    QString StringsItemFormat() const { return m_stringsItemFormat; }
    void SetStringsItemFormat(const QString& value);
    TTypeKinds DisplayKinds() const { return m_displayKinds; }
    void SetDisplayKinds(TTypeKinds value);
    bool DynamicTitleCaptions() const { return m_dynamicTitleCaptions; }
    void SetDynamicTitleCaptions(bool value);
    bool ShowValueChangedFont() const { return m_showValueChangedFont; }
    void SetShowValueChangedFont(bool value);
    TRSCustomDeltaFont* ValueChangedFont() const { return m_valueChangedFont.get(); }
    bool ScanAllowed() const { return m_scanAllowed; }
    QString SelectedPath() const { return m_selectedPath; }
    bool RescanPending() const { return m_rescanPending; }
    // Number of scans run so far (ScanObjects calls that had objects).
    int ScanCount() const { return m_scanCount; }

    // The text of a row's property on an instance (the row's OnGetProperty first).
    QString GetPropertyText(QObject* instance, TRSItemProperty* row);
    // The instance that owns row's property, reached from an inspected object along the row's path.
    QObject* GetInstanceOfItem(QObject* obj, TRSItemProperty* row);
    // The object value of a tkClass row for one inspected object.
    QObject* GetObjectOfRow(QObject* obj, TRSItemProperty* row);
    // Inspected objects with an object, in entry order.
    QList<QObject*> ObjectList() const;
    int ValueColumns() const { return ValueCount() - 1; }
    // Asks for a rescan later (one for any number of requests before it runs).
    void PostRescan();
    // Writes "HPresets" and "HItems", then the grid's fonts and the changed-value font; reads one of them
    // back (false for another name).
    void WriteDefinedProperties(TWriter& writer) const override;
    bool ReadDefinedProperty(TReader& reader, const QString& name) override;
    void BeginLoading() override;
    // Ends the loading state and applies the presets to the rows.
    void Loaded() override;
    virtual void Assign(const TRSCustomObjectInspector& source);

    // ---- virtual operations
    virtual void DoAfterScan(TRSItemProperty* item);
    virtual bool DoBeforeScan(TRSItemProperty* item);
    virtual TRSPropertyPresets* CreatePresets();
    virtual void DoFiltersChanging();
    virtual void DoFiltersChanged();
    virtual void DoCustomPreset(TRSPropertyPreset* preset, TRSItemProperty* item);
    virtual void DoMatchPreset(TRSPropertyPreset* preset, TRSItemProperty* item, bool& result);
    virtual bool SetPropertyValue(QObject* instance, TRSItemProperty* item, const QString& value);
    virtual void ObjectsCleared();
    virtual void ObjectsChanged(TCollectionItem* item);
    virtual void PresetNotify() {}
    virtual void PresetsChanged();
    virtual void ScanObjects();
    virtual bool RefreshValues(TRSItemProperties* rows);
    virtual void ApplyItemValue(TRSItemProperty* item);
    // The same write with each object's own text (object number, object).
    void ApplyItemValue(TRSItemProperty* item, const std::function<QString(int, QObject*)>& textFor);
    virtual void RefreshOrRescan();
    virtual void RebuildItems();
    virtual void AddRegisteredPresets();
    virtual void CopyToClipboard();
    virtual void PasteFromClipboard();
    virtual void DoPropertyChanging(TRSItemProperty* item);
    // Posts the property-changed message; the application hears of it only when changed is set.
    virtual void DoPropertyChanged(int index, bool changed = true);

    // ---- overrides of the grid
    void InitCategories() override;
    void GetCellText(int col, int row, QString& text) override;
    void SetArrangeByCategory(bool value) override;
    void SetDisplayOptions(TILEDisplayOptions value) override;
    TEditStyle GetEditStyle(int col, int row) override;
    // A row stands for its property path (a preset's alias may rename it).
    QString RowKey(const TRSItemProp* row) const override;
    std::shared_ptr<const TRSRowIdentity> RowIdentity(const TRSItemProp* row) const override;
    TRSItemProps* CreateItems(QObject* owner) override;

    TRSCustomPresetItemEvent OnCustomPreset;
    TRSCustomPresetItemQueryEvent OnMatchPreset;
    TRSNotifyEvent OnFiltersChanged;
    TRSNotifyEvent OnFiltersChanging;
    TRSItemPropertyEvent OnPropertyChanged;
    TRSItemPropertyEvent OnPropertyChanging;
    TRSItemPropertyQueryEvent OnBeforeScan;
    TRSItemPropertyEvent OnAfterScan;
    TRSItemPropertyEvent OnRefreshValue;

protected:
    bool event(QEvent* e) override;
    void ValueFontChanged() override;
    void FontChanged() override;

private:
    friend class TRSInspectorObjects;
    friend class TRSInspectorObject;
    friend class TRSItemProperty;

    void ObjectGone(QObject* obj);
    // GetPropertyText with the property's information already looked up.
    QString PropertyText(QObject* instance, TRSItemProperty* row, const TPropInfo& info);
    void ScanProperties(const QList<QObject*>& objs, TRSItemProperties* rows,
                        const QList<QObject*>& parentObjs);
    bool SamePropertyInAll(const QList<QObject*>& objs, const TPropInfo& info) const;
    void FillItemProperty(TRSItemProperty* row, const QList<QObject*>& objs, const QString& propName);
    // The same with the first object's property information at hand.
    void FillItemProperty(TRSItemProperty* row, const QList<QObject*>& objs, const TPropInfo& info);
    void FillSetMembers(TRSItemProperty* row, const QList<QObject*>& objs, const TPropInfo& info);
    void ScanSubObjects(TRSItemProperty* row, const QList<QObject*>& values, const QList<QObject*>& objs);
    void AddCollectionItems(TRSItemProperty* row, const QList<QObject*>& objs);
    void AddStringsItems(TRSItemProperty* row, const QList<QObject*>& objs);
    // Whether the line a row was made for is no longer at index of the list (nothing is then written).
    bool LineMoved(TRSItemProperty* row, QObject* list, int index);
    void BindPlainLine(TRSItemProperty* row);
    void BindNameValue(TRSItemProperty* row);
    void ApplyFilters();
    void ApplyPresets();
    // Every row of the tree in tree order (pre-order), collapsed or hidden ones included.
    void CollectAllRows(QList<TRSItemProperty*>& rows) const;
    void HandlePropertyChanged(int index, bool changed);
    // The row's text in the instance that an inspected object leads to; nothing when it cannot be read.
    std::optional<QString> CurrentText(QObject* obj, TRSItemProperty* item);
    bool Destroying() const;
    bool IsWriting() const { return m_writeDepth > 0; }

    std::unique_ptr<TRSPropertyPresets> m_presets;
    std::unique_ptr<TRSInspectorObjects> m_objects;
    std::unique_ptr<TStringList> m_filters;
    bool m_scanAllowed = false;
    bool m_inplaceCollections = false;
    QString m_collectionItemFormat = QStringLiteral("Items[%d]");
    bool m_showValueChangedFont = true;
    std::unique_ptr<TRSCustomDeltaFont> m_valueChangedFont;
    QSet<const QObject*> m_visited;
    QHash<const QMetaObject*, TPropList> m_propLists; // per class, during one scan
    QList<TRSItemProperty*> m_allRows;                // the preset pass's rows (its buffer is kept)
    QString m_selectedPath;
    bool m_inplaceComponents = true;
    TTypeKinds m_displayKinds;
    bool m_dynamicTitleCaptions = false;
    bool m_inplaceTStrings = false;
    QString m_stringsItemFormat = QStringLiteral("Items[%d]");
    TInplaceTStringsOptions m_inplaceTStringsOptions = 0;
    bool m_rescanPending = false;
    bool m_inspectorDestroying = false;
    int m_writeDepth = 0;
    int m_scanCount = 0;
};

// The inspector as a component: its settings are stored with it (the rows and presets as "HItems" and
// "HPresets"; the inspected objects and the events belong to the running program and are not stored).
class TRSObjectInspector : public TRSCustomObjectInspector {
    Q_OBJECT
    Q_PROPERTY(bool InplaceCollections READ InplaceCollections WRITE SetInplaceCollections)
    Q_PROPERTY(bool InplaceComponents READ InplaceComponents WRITE SetInplaceComponents)
    Q_PROPERTY(bool InplaceTStrings READ InplaceTStrings WRITE SetInplaceTStrings)
    Q_PROPERTY(uint InplaceTStringsOptions READ InplaceTStringsOptions WRITE SetInplaceTStringsOptions)
    Q_PROPERTY(QString StringsItemFormat READ StringsItemFormat WRITE SetStringsItemFormat)
    Q_PROPERTY(QString CollectionItemFormat READ CollectionItemFormat WRITE SetCollectionItemFormat)
    Q_PROPERTY(QStringList Filters READ FilterLines WRITE SetFilters)
    Q_PROPERTY(bool ShowValueChangedFont READ ShowValueChangedFont WRITE SetShowValueChangedFont)
    Q_PROPERTY(uint DisplayKinds READ DisplayKindBits WRITE SetDisplayKindBits)
    Q_PROPERTY(bool DynamicTitleCaptions READ DynamicTitleCaptions WRITE SetDynamicTitleCaptions)
    Q_CLASSINFO("default:InplaceCollections", "False")
    Q_CLASSINFO("default:InplaceComponents", "True")
    Q_CLASSINFO("default:InplaceTStrings", "False")
    Q_CLASSINFO("default:ShowValueChangedFont", "True")
    Q_CLASSINFO("default:DynamicTitleCaptions", "False")
    Q_CLASSINFO("default:DisplayKinds", "261886") // every kind but tkUnknown and tkMethod, as bits

public:
    explicit TRSObjectInspector(QWidget* parent = nullptr) : TRSCustomObjectInspector(parent) {}

    QStringList FilterLines() const { return Filters()->Lines(); }
    // Bit n stands for type kind n.
    uint DisplayKindBits() const { return DisplayKinds().Bits(); }
    void SetDisplayKindBits(uint value) { SetDisplayKinds(TTypeKinds::FromBits(value)); }
};

// "Items[%d]" with index, without printf: exactly one %d, %% for a percent sign. Raises EConvertError
// "Format '%s' invalid or incompatible with argument" for any other format.
QString FormatItemName(const QString& format, int index);
bool IsValidItemFormat(const QString& format);
