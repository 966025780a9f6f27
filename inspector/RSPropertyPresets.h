#pragma once
// Property presets: rules held by the object inspector that select rows (by name, path, type, inspected
// class or parent row) and change how they look and are edited. Preset classes register themselves in a
// process-wide registry; every new inspector gets one preset of each registered class.
#include "classlib/Collection.h"
#include "classlib/Strings.h"
#include "classlib/TypInfo.h"
#include "inspector/ComponentStream.h"
#include "inspector/RSDeltaFont.h"
#include "inspector/RSItemProperty.h"
#include <QList>
#include <QPointer>
#include <memory>

class TRSPropertyPreset;
class TRSCustomObjectInspector;

using TRSCustomPresetItemEvent =
    std::function<void(QObject* sender, TRSPropertyPreset* preset, TRSItemProperty* item)>;
using TRSCustomPresetItemQueryEvent =
    std::function<void(QObject* sender, TRSPropertyPreset* preset, TRSItemProperty* item, bool& result)>;

// What Apply does.
enum TRSPropertyPresetType : quint16 {
    pftCustom = 1u << 0,
    pftAlias = 1u << 1,
    pftReadOnly = 1u << 2,
    pftWritable = 1u << 3,
    pftVisible = 1u << 4,
    pftHidden = 1u << 5,
    pftHint = 1u << 6,
    pftEditStyle = 1u << 7,
    pftEditMask = 1u << 8,
    pftValidate = 1u << 9,
    pftFont = 1u << 10,
    pftValueFont = 1u << 11,
};
using TRSPropertyPresetTypes = quint16;

// How rows are matched.
enum TRSPresetMatchType : unsigned {
    mtPropertyName = 1u << 0,
    mtFullPropertyName = 1u << 1,
    mtPropertyType = 1u << 2,
    mtClassName = 1u << 3,
    mtParentPropertyName = 1u << 4,
    mtParentFullPropertyName = 1u << 5,
    mtParentPropertyType = 1u << 6,
};
using TRSPresetMatchTypes = unsigned;

// Sets are published as their bit patterns (TTypeKinds: bit n = type kind n).
class TRSPropertyPreset : public TCollectionItem, public TDefinedProperties {
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(qint32 MatchTypes READ MatchTypesValue WRITE SetMatchTypesValue)
    Q_PROPERTY(qint32 TypeKinds READ TypeKindsValue WRITE SetTypeKindsValue)
    Q_PROPERTY(QStringList TypeNames READ TypeNamesList WRITE SetTypeNamesList)
    Q_PROPERTY(QStringList ParentClassNames READ ParentClassNamesList WRITE SetParentClassNamesList)
    Q_PROPERTY(QString Alias READ Alias WRITE SetAlias)
    Q_PROPERTY(bool Inclusive READ Inclusive WRITE SetInclusive)
    Q_PROPERTY(TRSCustomDeltaFont* Font READ Font)
    Q_PROPERTY(TRSCustomDeltaFont* ValueFont READ ValueFont)
    Q_PROPERTY(QString Name READ Name WRITE SetName)
    Q_PROPERTY(QStringList PropNames READ PropNamesList WRITE SetPropNamesList)
    Q_PROPERTY(QStringList ParentPropNames READ ParentPropNamesList WRITE SetParentPropNamesList)
    Q_PROPERTY(qint32 ParentTypeKinds READ ParentTypeKindsValue WRITE SetParentTypeKindsValue)
    Q_PROPERTY(QStringList ParentTypeNames READ ParentTypeNamesList WRITE SetParentTypeNamesList)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(TEditStyle EditStyle READ EditStyle WRITE SetEditStyle)
    Q_PROPERTY(QString EditMask READ EditMask WRITE SetEditMask)
    Q_PROPERTY(QStringList PickList READ PickListLines WRITE SetPickListLines)
    Q_PROPERTY(qint32 Actions READ ActionsValue WRITE SetActionsValue)
    Q_CLASSINFO("default:Active", "True")
    Q_CLASSINFO("default:MatchTypes", "0")
    Q_CLASSINFO("default:TypeKinds", "0")
    Q_CLASSINFO("default:Inclusive", "True")
    Q_CLASSINFO("default:ParentTypeKinds", "0")
    Q_CLASSINFO("default:EditStyle", "esSimple")

public:
    Q_INVOKABLE explicit TRSPropertyPreset(TCollection* collection = nullptr);
    ~TRSPropertyPreset() override;

    TRSCustomObjectInspector* Inspector() const;

    bool Active() const { return m_active; }
    void SetActive(bool value);
    TRSPropertyPresetTypes Actions() const { return m_actions; }
    // A set holding both pftReadOnly and pftWritable, or both pftVisible and pftHidden, is ignored.
    void SetActions(TRSPropertyPresetTypes value);
    qint32 ActionsValue() const { return m_actions; }
    void SetActionsValue(qint32 value) { SetActions(TRSPropertyPresetTypes(value)); }
    bool Inclusive() const { return m_inclusive; }
    void SetInclusive(bool value);
    QString Hint() const { return m_hint; }
    void SetHint(const QString& value);
    QString EditMask() const { return m_editMask; }
    void SetEditMask(const QString& value);
    TEditStyle EditStyle() const { return m_editStyle; }
    void SetEditStyle(TEditStyle value);
    QString Alias() const { return m_alias; }
    void SetAlias(const QString& value);
    TRSPresetMatchTypes MatchTypes() const { return m_matchTypes; }
    void SetMatchTypes(TRSPresetMatchTypes value);
    qint32 MatchTypesValue() const { return qint32(m_matchTypes); }
    void SetMatchTypesValue(qint32 value) { SetMatchTypes(TRSPresetMatchTypes(value)); }
    TTypeKinds TypeKinds() const { return m_typeKinds; }
    void SetTypeKinds(TTypeKinds value);
    qint32 TypeKindsValue() const { return qint32(m_typeKinds.Bits()); }
    void SetTypeKindsValue(qint32 value) { SetTypeKinds(TTypeKinds::FromBits(quint32(value))); }
    TTypeKinds ParentTypeKinds() const { return m_parentTypeKinds; }
    void SetParentTypeKinds(TTypeKinds value);
    qint32 ParentTypeKindsValue() const { return qint32(m_parentTypeKinds.Bits()); }
    void SetParentTypeKindsValue(qint32 value) { SetParentTypeKinds(TTypeKinds::FromBits(quint32(value))); }
    QString Name() const { return m_name; }
    void SetName(const QString& value);

    TStringList* PropNames() const { return m_propNames.get(); }
    TStringList* TypeNames() const { return m_typeNames.get(); }
    TStringList* ParentClassNames() const { return m_parentClassNames.get(); }
    TStringList* ParentTypeNames() const { return m_parentTypeNames.get(); }
    TStringList* ParentPropNames() const { return m_parentPropNames.get(); }
    // Made on first use.
    TStringList* PickList();
    bool HasPickList() const { return m_pickList && m_pickList->Count() > 0; }
    QStringList PropNamesList() const { return m_propNames->Lines(); }
    void SetPropNamesList(const QStringList& v) { m_propNames->SetLines(v); }
    QStringList TypeNamesList() const { return m_typeNames->Lines(); }
    void SetTypeNamesList(const QStringList& v) { m_typeNames->SetLines(v); }
    QStringList ParentClassNamesList() const { return m_parentClassNames->Lines(); }
    void SetParentClassNamesList(const QStringList& v) { m_parentClassNames->SetLines(v); }
    QStringList ParentPropNamesList() const { return m_parentPropNames->Lines(); }
    void SetParentPropNamesList(const QStringList& v) { m_parentPropNames->SetLines(v); }
    QStringList ParentTypeNamesList() const { return m_parentTypeNames->Lines(); }
    void SetParentTypeNamesList(const QStringList& v) { m_parentTypeNames->SetLines(v); }
    QStringList PickListLines() const { return m_pickList ? m_pickList->Lines() : QStringList(); }
    void SetPickListLines(const QStringList& v) { PickList()->SetLines(v); }

    TRSCustomDeltaFont* Font() const { return m_font.get(); }
    TRSCustomDeltaFont* ValueFont() const { return m_valueFont.get(); }

    TRSNotifyEvent OnEditButtonClick;
    TRSGetPickListEvent OnGetPickList;
    TRSOnValidateEvent OnValidate;
    TRSItemPropertyEvent OnCustomPreset;
    TRSItemSetPropertyEvent OnSetProperty;
    TRSItemGetPropertyEvent OnGetProperty;
    TRSItemPropertyQueryEvent OnMatchPreset;

    virtual void ListChanged(TStrings* sender);
    virtual void PickListChanged();
    virtual void Apply(TRSItemProperty* row);
    virtual bool Matches(TRSItemProperty* row);
    virtual void Assign(const TRSPropertyPreset& source);
    // Applies the preset to a row.
    virtual void AssignTo(TRSItemProperty* row) { Apply(row); }
    // The parent type test alone, on the nearest class-typed ancestor row (nullptr fails).
    bool ParentTypeTest(TRSItemProperty* classParent) const {
        return TypeTest(m_parentTypeKinds, *m_parentTypeNames, classParent);
    }
    QString DisplayName() const override;
    // The "...Empty" flags: a list the user emptied stays empty although the class constructor fills it.
    void WriteDefinedProperties(TWriter& writer) const override;
    bool ReadDefinedProperty(TReader& reader, const QString& name) override;
    // The inspector's fonts changed: Font and ValueFont follow them by their stored differences.
    virtual void InspectorFontChanged();
    virtual void InspectorValueFontChanged();

    // The row a handler call is about: the sender when it is a row, else the row of that path in the
    // inspector's rows (nullptr when there is none).
    TRSItemProperty* FindHandlerRow(QObject* sender, const QString& propName) const;

protected:
    void SignalChanged() { Changed(false); }
    // Wraps a handler of this preset so that a row keeping it after the preset is gone calls nothing.
    template <class Preset, class... Args>
    std::function<void(Args...)> Bind(void (Preset::*handler)(Args...)) {
        QPointer<Preset> self(static_cast<Preset*>(this));
        return [self, handler](Args... args) {
            if (self)
                (self.data()->*handler)(std::forward<Args>(args)...);
        };
    }

private:
    bool TypeTest(TTypeKinds kinds, const TStringList& names, TRSItemProperty* row) const;
    // The row's name (byName) or full path (byPath) is listed.
    static bool NameTest(const TStringList& names, TRSItemProperty* row, bool byName, bool byPath);
    void FontChanged(TRSFont* sender);
    void ToggleAction(TRSPropertyPresetType action, bool on);

    bool m_active = true;
    TRSPropertyPresetTypes m_actions = 0;
    bool m_inclusive = true;
    std::unique_ptr<TStringList> m_propNames;
    QString m_hint;
    QString m_editMask;
    TEditStyle m_editStyle = esSimple;
    std::unique_ptr<TStringList> m_pickList;
    QString m_alias;
    TRSPresetMatchTypes m_matchTypes = 0;
    std::unique_ptr<TStringList> m_parentClassNames;
    std::unique_ptr<TStringList> m_typeNames;
    TTypeKinds m_typeKinds;
    QString m_name;
    std::unique_ptr<TRSCustomDeltaFont> m_font;
    std::unique_ptr<TRSCustomDeltaFont> m_valueFont;
    std::unique_ptr<TStringList> m_parentTypeNames;
    std::unique_ptr<TStringList> m_parentPropNames;
    TTypeKinds m_parentTypeKinds;
    bool m_takingInspectorFont = false;
};

class TRSPropertyPresets : public TCollection {
    Q_OBJECT

public:
    explicit TRSPropertyPresets(TRSCustomObjectInspector* inspector);

    TRSPropertyPreset* Items(int index) const {
        return static_cast<TRSPropertyPreset*>(TCollection::Items(index));
    }
    // A new preset of that class (a registered TRSPropertyPreset class or the base itself).
    TRSPropertyPreset* Add(const QMetaObject* presetClass);
    // The first preset whose class is exactly presetClass, else -1.
    int IndexOfClass(const QMetaObject* presetClass) const;
    // Every active preset that matches applies, then the row refreshes; a failed refresh stops.
    void ApplyToItem(TRSItemProperty* row);
    // ApplyToItem for each row still there, in order (a row freed during the pass is passed over); a
    // row's class is looked up once for the whole pass, and the presets are looked up by what each row
    // must have to match them.
    void ApplyToItems(const QList<TRSItemProperty*>& rows);
    TRSCustomObjectInspector* Inspector() const { return m_inspector; }

protected:
    void Notify(TCollectionItem* item, TCollectionNotification action) override;
    void Update(TCollectionItem* item) override;

private:
    TRSCustomObjectInspector* m_inspector;
};

// The preset registry (thread-safe). Registering walks from the class up to TRSPropertyPreset (not
// added), stopping at the first class already listed; unregistering walks the same way.
void RegisterPropertyPresetClass(const QMetaObject* presetClass);
void RegisterPropertyPresetClasses(const QList<const QMetaObject*>& presetClasses);
void UnregisterPropertyPresetClass(const QMetaObject* presetClass);
void UnregisterPropertyPresetClasses(const QList<const QMetaObject*>& presetClasses);
// The registered classes in order of first registration.
QList<const QMetaObject*> RegisteredPropertyPresetClasses();
// True when the class or one of its ancestors has a name listed (ignoring case).
bool ClassOrAncestorIn(const QMetaObject* metaClass, const QStringList& names);
