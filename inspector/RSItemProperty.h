#pragma once
// TRSItemProperty: one row of the object inspector bound to a published property, a member of a set
// property, an item of a collection or a line of a string list. It keeps the property's identity, one
// value per inspected object (TypeData), typed reads and writes through the inspector, its own value-text
// events, the changed-value font rule, and the commit path from an edited text back to the objects.
// TRSItemProperties is the row collection of the inspector.
#include "classlib/TypInfo.h"
#include "inspector/RSItemProp.h"
#include "inspector/RSRowOrigin.h"
#include <QSet>
#include <QVariantList>
#include <memory>
#include <vector>

class TRSCustomObjectInspector;
class TRSItemProperty;
class TRSItemProperties;

// What a row stands for.
enum TRSRowKind : quint8 {
    rkPlain = 0,
    rkSet = 1,
    rkSetMember = 2,
    rkCollection = 3,
    rkCollectionItem = 4,
    rkStringsItem = 5,
};

using TRSItemPropertyEvent = std::function<void(QObject* sender, TRSItemProperty* item)>;
using TRSItemPropertyQueryEvent = std::function<void(QObject* sender, TRSItemProperty* item, bool& result)>;
using TRSItemGetPropertyEvent =
    std::function<void(QObject* sender, QObject* instance, const QString& propName, QString& value)>;
using TRSItemSetPropertyEvent =
    std::function<void(QObject* sender, QObject* instance, const QString& propName, const QString& value)>;

class TRSItemProperty : public TRSItemProp {
    Q_OBJECT

public:
    Q_INVOKABLE explicit TRSItemProperty(TCollection* collection = nullptr);
    ~TRSItemProperty() override;
    // While set, every row freed is added to it (a pass over raw row pointers skips those; main thread).
    static inline QSet<const TRSItemProperty*>* FreedRows = nullptr;

    // The inspector of the row's tree (nullptr outside one).
    TRSCustomObjectInspector* Inspector() const;
    // The owner row of the row's collection (nullptr at top level).
    TRSItemProperty* ParentRow() const;
    TRSItemProperties* Items() const;
    TRSItemProperties* Collection() const;
    // PropNames from the top-level row down to this row, joined by the grid's path delimiter.
    QString GetFullPath() const;

    bool IsAllEqual() const { return GetIsAllEqual(); }
    QString PropName() const { return m_propName; }
    const QString& TypeName() const { return m_typeName; }
    TTypeKind TypeKind() const { return m_typeKind; }
    TRSRowKind RowKind() const { return m_rowKind; }
    bool IsRealProperty() const { return m_isRealProperty; }
    // One entry per value column inside an inspector (missing entries empty, extra ones cut off).
    QVariantList& TypeData();
    QVariant TypeDataAt(int index);

    virtual bool GetIsAllEqual() const { return m_isAllEqual; }
    // Every TypeData entry compared with the first by the class library's variant comparison.
    virtual bool IsAllValuesEqual();
    // The value of object index differs from the property's declared default.
    virtual bool IsValueChanged(int index);
    virtual void SetIsAllEqual(bool value);
    virtual void SetPropName(const QString& value);
    virtual void SetTypeKind(TTypeKind value);
    virtual void SetTypeName(const QString& value);
    virtual void SetTypeDataValue(int index, const QVariant& value);
    virtual void SetRowKind(TRSRowKind value);
    virtual void SetIsRealProperty(bool value);
    // A member row changed: in each object's own set only that member is switched (its text must be a
    // Boolean's), and the sets are written through the inspector.
    virtual void UpdateSetValue(TRSItemProperty* member);

    // Typed reads: index is the number of an inspected object, -1 the object of the current value column.
    virtual double GetFloatValue(int index = -1);
    virtual qint64 GetInt64Value(int index = -1);
    virtual QObject* GetObjectValue(int index = -1);
    virtual const QMetaObject* GetObjectClass(int index = -1);
    virtual qint64 GetOrdValue(int index = -1);
    virtual QString GetStrValue(int index = -1);
    virtual QVariant GetVariantValue(int index = -1);
    // Typed writes through the inspector's change notification.
    virtual void SetFloatValue(double value, int index = -1);
    virtual void SetInt64Value(qint64 value, int index = -1);
    virtual void SetObjectValue(QObject* value, int index = -1);
    virtual void SetOrdValue(qint64 value, int index = -1);
    virtual void SetStrValue(const QString& value, int index = -1);
    virtual void SetVariantValue(const QVariant& value, int index = -1);

    // Writes the row's text to the inspected objects (after validation).
    virtual void CommitValue();
    // Reads the row's values from the objects again; False when an instance could not be reached.
    virtual bool RefreshValue();

    TRSFont* GetValueFont() const override;
    TRSFont* GetCurrentValueFont(int column) const override;
    bool GetReadOnly() const override;
    void SetName(const QString& value) override;
    void AssignEvents(const TRSItemProp& source) override;
    bool IsDisplayable() const override;
    void DoValidate() override;
    void Assign(const TRSItemProp& source) override;
    // After the plain row's: "TypeData" (a real property's identity and values) and "IsAllEqual" (when set).
    void WriteDefinedProperties(TWriter& writer) const override;
    bool ReadDefinedProperty(TReader& reader, const QString& name) override;

    // What the row was made for, when it is a collection item or a string line: one origin per inspected
    // object, in their order (none for other rows).
    const std::vector<TRSRowOrigin>& Origins() const { return m_origins; }
    void SetOrigins(std::vector<TRSRowOrigin> origins) { m_origins = std::move(origins); }
    // The first object's origin (nullptr without one).
    const TRSRowOrigin* Origin() const { return m_origins.empty() ? nullptr : &m_origins.front(); }
    // The origin whose item or list is object (nullptr when the row was made for none such).
    const TRSRowOrigin* OriginOf(const QObject* object) const;

    TRSItemSetPropertyEvent OnSetProperty;
    TRSItemGetPropertyEvent OnGetProperty;
    TRSItemPropertyEvent OnRefreshValue;

protected:
    TRSItemProps* CreateItems(QObject* owner) override;
    // The inspector's property-changed message sent to a row refreshes it from the objects.
    bool event(QEvent* e) override;

private:
    // The number of the inspected object meant by index (-1: the current value column's object), -1 for
    // an index below that; and the instance owning the property, which raises "Item "%s" is not a real
    // property" when the row needs an instance and has none (no object of that number included).
    int ObjectIndex(int index) const;
    QObject* RealInstance(int index, TPropInfo& info);
    [[noreturn]] void RaiseNotReal() const;
    // Sets TypeKind and the text of a non-real row; a set member takes a Boolean text and writes its set.
    void SetNonReal(TTypeKind kind, const QString& text, int index);
    // An ordinal's text; a set member's 0 and 1 read False and True.
    QString OrdinalText(qint64 value) const;
    template <class F> void WriteReal(int index, F&& write);
    bool ValueChangedFor(int index) const;

    bool m_isAllEqual = false;
    QString m_propName;
    QString m_typeName;
    TTypeKind m_typeKind = tkUnknown;
    QVariantList m_typeData;
    bool m_isRealProperty = false;
    TRSRowKind m_rowKind = rkPlain;
    std::vector<TRSRowOrigin> m_origins;
};

class TRSItemProperties : public TRSItemProps {
    Q_OBJECT

public:
    explicit TRSItemProperties(QObject* owner);

    TRSItemProperty* Items(int index) const {
        return static_cast<TRSItemProperty*>(TRSItemProps::Items(index));
    }
    TRSItemProperty* Add() { return static_cast<TRSItemProperty*>(TRSItemProps::Add()); }
    TRSItemProperty* AddByPath(const QString& path, const QString& value, bool allowDuplicate) {
        return static_cast<TRSItemProperty*>(TRSItemProps::AddByPath(path, value, allowDuplicate));
    }
    TRSItemProperty* FindByPath(const QString& path) const {
        return static_cast<TRSItemProperty*>(TRSItemProps::FindByPath(path));
    }
    TRSItemProperty* OwnerRow() const { return static_cast<TRSItemProperty*>(ParentRow()); }
};
