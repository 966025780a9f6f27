#include "inspector/RSItemProperty.h"
#include "classlib/Application.h"
#include "classlib/StrConvert.h"
#include "classlib/Translation.h"
#include "classlib/Variants.h"
#include "inspector/RSInplaceEditList.h"
#include "inspector/RSObjectInspector.h"

namespace {

bool IsStringKind(TTypeKind k) {
    return k == tkString || k == tkLString || k == tkWString;
}

bool IsOrdinalKind(TTypeKind k) {
    return k == tkInteger || k == tkChar || k == tkEnumeration || k == tkSet || k == tkWChar;
}

} // namespace

TRSItemProperty::TRSItemProperty(TCollection* collection) : TRSItemProp(collection) {}

const TRSRowOrigin* TRSItemProperty::OriginOf(const QObject* object) const {
    for (const TRSRowOrigin& origin : m_origins)
        if (origin.Object && origin.Object == object)
            return &origin;
    return nullptr;
}

TRSItemProperty::~TRSItemProperty() {
    if (FreedRows)
        FreedRows->insert(this);
}

TRSItemProps* TRSItemProperty::CreateItems(QObject* owner) {
    return new TRSItemProperties(owner);
}

TRSCustomObjectInspector* TRSItemProperty::Inspector() const {
    return qobject_cast<TRSCustomObjectInspector*>(ItemListEditor());
}

TRSItemProperty* TRSItemProperty::ParentRow() const {
    return qobject_cast<TRSItemProperty*>(ParentItem());
}

TRSItemProperties* TRSItemProperty::Items() const {
    return static_cast<TRSItemProperties*>(TRSItemProp::Items());
}

TRSItemProperties* TRSItemProperty::Collection() const {
    return qobject_cast<TRSItemProperties*>(TRSItemProp::Collection());
}

QString TRSItemProperty::GetFullPath() const {
    const TRSCustomItemListEditor* grid = ItemListEditor();
    const QString delimiter = grid ? grid->PathDelimiter() : QStringLiteral(".");
    QString path = m_propName;
    for (TRSItemProperty* p = ParentRow(); p; p = p->ParentRow())
        path = p->m_propName + delimiter + path;
    return path;
}

QVariantList& TRSItemProperty::TypeData() {
    if (TRSCustomObjectInspector* inspector = Inspector()) {
        const int columns = std::max(0, inspector->ValueColumns());
        while (m_typeData.size() < columns)
            m_typeData.append(QVariant());
        while (m_typeData.size() > columns)
            m_typeData.removeLast();
    }
    return m_typeData;
}

QVariant TRSItemProperty::TypeDataAt(int index) {
    const QVariantList& data = TypeData();
    return index >= 0 && index < data.size() ? data.at(index) : QVariant();
}

bool TRSItemProperty::IsAllValuesEqual() {
    if (m_rowKind == rkSetMember) {
        // Every entry holds the member's ordinal: the objects' own bits are what must agree.
        TRSCustomObjectInspector* inspector = Inspector();
        TRSItemProperty* owner = ParentRow();
        if (!inspector || !owner)
            return true;
        const int bit = TypeDataAt(0).toInt();
        std::optional<bool> first;
        for (QObject* obj : inspector->ObjectList()) {
            QObject* instance = inspector->GetInstanceOfItem(obj, owner);
            const std::optional<TPropInfo> info = GetPropInfo(instance, owner->PropName());
            if (!instance || !info || info->Kind() != tkSet)
                return false;
            const bool set = (GetOrdProp(instance, *info) >> bit) & 1;
            if (!first)
                first = set;
            else if (*first != set)
                return false;
        }
        return true;
    }
    const QVariantList& data = TypeData();
    for (int i = 1; i < data.size(); ++i)
        if (VarCompareValue(data.at(i), data.at(0)) == TVariantRelationship::vrNotEqual)
            return false;
    return true;
}

bool TRSItemProperty::ValueChangedFor(int index) const {
    return const_cast<TRSItemProperty*>(this)->IsValueChanged(index);
}

bool TRSItemProperty::IsValueChanged(int index) {
    TRSCustomObjectInspector* inspector = Inspector();
    if (!inspector)
        return false;
    const QList<QObject*> objects = inspector->ObjectList();
    if (index < 0 || index >= objects.size())
        return false;
    QObject* instance = inspector->GetInstanceOfItem(objects.at(index), this);
    const std::optional<TPropInfo> info = GetPropInfo(instance, m_propName);
    if (!instance || !info || !info->IsStored())
        return false;
    if (IsStringKind(info->Kind()))
        return true; // a stored string is a changed one
    if (!IsOrdinalKind(info->Kind()))
        return false;
    const std::optional<qint64> def = GetOrdPropDefault(instance, *info);
    const QVariant value = TypeDataAt(index);
    if (!value.isValid())
        return false;
    // A property without a declared default always counts as changed.
    if (!def)
        return true;
    const qint64 ordinal = value.typeId() == QMetaType::Bool ? qint64(value.toBool()) : value.toLongLong();
    return ordinal != *def;
}

void TRSItemProperty::SetIsAllEqual(bool value) {
    if (value == m_isAllEqual)
        return;
    m_isAllEqual = value;
    SignalChanged();
}

void TRSItemProperty::SetPropName(const QString& value) {
    m_propName = value;
}

void TRSItemProperty::SetTypeKind(TTypeKind value) {
    m_typeKind = value;
}

void TRSItemProperty::SetTypeName(const QString& value) {
    m_typeName = value;
}

void TRSItemProperty::SetTypeDataValue(int index, const QVariant& value) {
    QVariantList& data = TypeData();
    if (index < 0)
        return;
    while (data.size() <= index)
        data.append(QVariant());
    data[index] = value;
    SignalChanged();
}

void TRSItemProperty::SetRowKind(TRSRowKind value) {
    m_rowKind = value;
}

void TRSItemProperty::SetIsRealProperty(bool value) {
    m_isRealProperty = value;
}

void TRSItemProperty::UpdateSetValue(TRSItemProperty* member) {
    TRSCustomObjectInspector* inspector = Inspector();
    if (!inspector || !member || !m_isRealProperty || m_typeKind != tkSet)
        return;
    const bool multi = inspector->DisplayOptions() & doMultiColValues;
    const int columns = multi ? int(inspector->ObjectList().size()) : 1;
    // Every column's text is checked before anything is written.
    QList<bool> on;
    for (int c = 0; c < columns; ++c)
        on << StrToBoolean(multi ? member->Values().Get(c) : member->Value());
    // Each object keeps its own other members.
    inspector->ApplyItemValue(this, [&](int i, QObject* object) {
        const int column = multi ? i : 0;
        QObject* instance = inspector->GetInstanceOfItem(object, this);
        if (!instance || column >= on.size())
            RaiseNotReal();
        const TPropInfo info = FindPropInfo(instance, m_propName);
        const qint64 bit = qint64(1) << member->TypeDataAt(column).toInt();
        const qint64 set = GetOrdProp(instance, info);
        return SetToString(info, on.at(column) ? (set | bit) : (set & ~bit));
    });
}

// ---- typed reads and writes --------------------------------------------------------------------------

void TRSItemProperty::RaiseNotReal() const {
    throw Exception(_("Item \"%1\" is not a real property").arg(GetFullPath()));
}

int TRSItemProperty::ObjectIndex(int index) const {
    if (index >= 0)
        return index;
    if (index < -1)
        return -1; // no object has it
    const TRSCustomObjectInspector* inspector = Inspector();
    return inspector ? std::max(0, inspector->CurValue() - 1) : 0;
}

QObject* TRSItemProperty::RealInstance(int index, TPropInfo& info) {
    TRSCustomObjectInspector* inspector = Inspector();
    if (!inspector || !m_isRealProperty)
        RaiseNotReal();
    const QList<QObject*> objects = inspector->ObjectList();
    const int i = ObjectIndex(index);
    if (i < 0 || i >= objects.size())
        RaiseNotReal();
    QObject* instance = inspector->GetInstanceOfItem(objects.at(i), this);
    if (!instance)
        RaiseNotReal();
    info = FindPropInfo(instance, m_propName);
    return instance;
}

double TRSItemProperty::GetFloatValue(int index) {
    if (!m_isRealProperty || !Inspector())
        return StrToFloat(Value());
    TPropInfo info;
    QObject* instance = RealInstance(index, info);
    return GetFloatProp(instance, info);
}

qint64 TRSItemProperty::GetInt64Value(int index) {
    if (!m_isRealProperty || !Inspector())
        return StrToInt64(Value());
    TPropInfo info;
    QObject* instance = RealInstance(index, info);
    return GetInt64Prop(instance, info);
}

QObject* TRSItemProperty::GetObjectValue(int index) {
    TRSCustomObjectInspector* inspector = Inspector();
    if (m_rowKind == rkCollectionItem && inspector) {
        const QList<QObject*> objects = inspector->ObjectList();
        const int i = ObjectIndex(index);
        if (i < 0 || i >= objects.size())
            return nullptr;
        auto* collection = qobject_cast<TCollection*>(inspector->GetInstanceOfItem(objects.at(i), this));
        const int item = TypeDataAt(0).isValid() ? TypeDataAt(0).toInt() : -1;
        return collection && item >= 0 && item < collection->Count() ? collection->Items(item) : nullptr;
    }
    TPropInfo info;
    QObject* instance = RealInstance(index, info);
    return GetObjectProp(instance, info);
}

const QMetaObject* TRSItemProperty::GetObjectClass(int index) {
    if (m_rowKind == rkCollectionItem && Inspector()) {
        // The collection's item class, whatever class the item itself is of.
        const QList<QObject*> objects = Inspector()->ObjectList();
        const int i = ObjectIndex(index);
        if (i < 0 || i >= objects.size())
            return nullptr;
        auto* collection = qobject_cast<TCollection*>(Inspector()->GetInstanceOfItem(objects.at(i), this));
        return collection ? collection->ItemClass() : nullptr;
    }
    TPropInfo info;
    QObject* instance = RealInstance(index, info);
    if (info.Kind() != tkClass)
        return nullptr;
    QObject* value = GetObjectProp(instance, info);
    return value ? value->metaObject() : info.ClassType();
}

qint64 TRSItemProperty::GetOrdValue(int index) {
    TPropInfo info;
    QObject* instance = RealInstance(index, info);
    return GetOrdProp(instance, info);
}

QString TRSItemProperty::GetStrValue(int index) {
    if (!m_isRealProperty || !Inspector())
        return Value();
    TPropInfo info;
    QObject* instance = RealInstance(index, info);
    return GetStrProp(instance, info);
}

QVariant TRSItemProperty::GetVariantValue(int index) {
    if (!m_isRealProperty || !Inspector())
        return Value();
    TPropInfo info;
    QObject* instance = RealInstance(index, info);
    return GetPropValue(instance, info, true);
}

void TRSItemProperty::SetNonReal(TTypeKind kind, const QString& text, int index) {
    TRSItemProperty* owner = ParentRow();
    if (m_rowKind == rkSetMember && owner && Inspector()) {
        // A member stays a Boolean: the text switches it, and writing the set brings the change events.
        const QString boolean = StrToBoolean(text) ? QStringLiteral("True") : QStringLiteral("False");
        if (index >= 0 && (Inspector()->DisplayOptions() & doMultiColValues)) {
            Values().Get(0); // sizes the lines to the value columns
            Values().Put(index, boolean);
        } else {
            SetValue(boolean);
        }
        owner->UpdateSetValue(this);
        return;
    }
    TRSCustomObjectInspector* inspector = Inspector();
    if (!inspector) {
        m_typeKind = kind;
        SetValue(text);
        return;
    }
    // Inside an inspector a collection item or a string line is written like any other row: the
    // application hears of it before and after.
    QPointer<TRSCustomObjectInspector> guard(inspector);
    inspector->DoPropertyChanging(this);
    const int shown = VisibleIndex();
    m_typeKind = kind;
    SetValue(text);
    if (guard)
        guard->DoPropertyChanged(shown);
}

QString TRSItemProperty::OrdinalText(qint64 value) const {
    if (m_rowKind == rkSetMember && (value == 0 || value == 1))
        return value ? QStringLiteral("True") : QStringLiteral("False");
    return QString::number(value);
}

template <class F> void TRSItemProperty::WriteReal(int index, F&& write) {
    TRSCustomObjectInspector* inspector = Inspector();
    QPointer<TRSCustomObjectInspector> guard(inspector);
    inspector->DoPropertyChanging(this);
    const int shown = VisibleIndex();
    const bool multi = inspector->DisplayOptions() & doMultiColValues;
    const int current = inspector->CurValue() - 1;
    try {
        const QList<QObject*> objects = inspector->ObjectList();
        for (int i = 0; i < objects.size(); ++i) {
            if (!(i == index || (index == -1 && (!multi || i == current))))
                continue;
            QObject* instance = inspector->GetInstanceOfItem(objects.at(i), this);
            if (!instance)
                RaiseNotReal();
            write(instance, FindPropInfo(instance, m_propName));
        }
    } catch (...) {
        if (guard)
            guard->DoPropertyChanged(shown);
        throw;
    }
    if (guard)
        guard->DoPropertyChanged(shown);
}

void TRSItemProperty::SetFloatValue(double value, int index) {
    if (!m_isRealProperty || !Inspector())
        return SetNonReal(tkFloat, FloatToStr(value), index);
    WriteReal(index, [&](QObject* o, const TPropInfo& info) { SetFloatProp(o, info, value); });
}

void TRSItemProperty::SetInt64Value(qint64 value, int index) {
    if (!m_isRealProperty || !Inspector())
        return SetNonReal(tkInt64, OrdinalText(value), index);
    WriteReal(index, [&](QObject* o, const TPropInfo& info) { SetInt64Prop(o, info, value); });
}

void TRSItemProperty::SetObjectValue(QObject* value, int index) {
    if (!m_isRealProperty || !Inspector())
        RaiseNotReal();
    WriteReal(index, [&](QObject* o, const TPropInfo& info) { SetObjectProp(o, info, value); });
}

void TRSItemProperty::SetOrdValue(qint64 value, int index) {
    if (!m_isRealProperty || !Inspector())
        return SetNonReal(tkInteger, OrdinalText(value), index);
    WriteReal(index, [&](QObject* o, const TPropInfo& info) { SetOrdProp(o, info, value); });
}

void TRSItemProperty::SetStrValue(const QString& value, int index) {
    if (!m_isRealProperty || !Inspector())
        return SetNonReal(tkString, value, index);
    WriteReal(index, [&](QObject* o, const TPropInfo& info) { SetStrProp(o, info, value); });
}

void TRSItemProperty::SetVariantValue(const QVariant& value, int index) {
    if (!m_isRealProperty || !Inspector())
        return SetNonReal(tkVariant, value.toString(), index);
    WriteReal(index, [&](QObject* o, const TPropInfo& info) { SetPropValue(o, info, value); });
}

// ---- commit and refresh ------------------------------------------------------------------------------

void TRSItemProperty::CommitValue() {
    TRSCustomObjectInspector* inspector = Inspector();
    if (!inspector)
        return;
    if (!m_isRealProperty && !OnSetProperty) {
        if (TRSItemProperty* parent = ParentRow())
            parent->UpdateSetValue(this);
        return;
    }
    inspector->ApplyItemValue(this);
}

bool TRSItemProperty::RefreshValue() {
    bool result = true;
    TRSCustomObjectInspector* inspector = Inspector();
    const QList<QObject*> objects = inspector ? inspector->ObjectList() : QList<QObject*>();
    // A collection row is a real property anyway: it is the collection's item rows that refresh here.
    const bool refreshable =
        m_isRealProperty || OnGetProperty || m_rowKind == rkSetMember || m_rowKind == rkCollectionItem;
    if (inspector && !objects.isEmpty() && refreshable) {
        const int columns = (inspector->DisplayOptions() & doMultiColValues) ? int(objects.size()) : 1;
        for (int i = 0; i < columns && i < objects.size(); ++i) {
            QObject* instance = inspector->GetInstanceOfItem(objects.at(i), this);
            QString text;
            if (OnGetProperty) {
                OnGetProperty(this, instance, m_propName, text);
            } else if (m_rowKind == rkSetMember) {
                TRSItemProperty* owner = ParentRow();
                const qint64 set = owner ? owner->TypeDataAt(i).toLongLong() : 0;
                text =
                    ((set >> TypeDataAt(i).toInt()) & 1) ? QStringLiteral("True") : QStringLiteral("False");
            } else if (!instance) {
                result = false;
                break;
            } else if (m_rowKind == rkCollectionItem) {
                auto* collection = qobject_cast<TCollection*>(instance);
                const int item = TypeDataAt(i).toInt();
                text = collection && item >= 0 && item < collection->Count()
                           ? collection->Items(item)->DisplayName()
                           : QString();
            } else {
                text = inspector->GetPropertyText(instance, this);
            }
            if (m_isRealProperty && instance) {
                const std::optional<TPropInfo> info = GetPropInfo(instance, m_propName);
                if (info)
                    SetTypeDataValue(i, GetPropValue(instance, *info, false));
            }
            Values().Get(0); // sizes the lines to the value columns
            Values().Put(i, text);
        }
    }
    if (OnRefreshValue)
        OnRefreshValue(inspector, this);
    else if (inspector && inspector->OnRefreshValue)
        inspector->OnRefreshValue(inspector, this);
    return result;
}

bool TRSItemProperty::event(QEvent* e) {
    if (e->type() != CM_PROPERTYCHANGED)
        return TRSItemProp::event(e);
    try {
        RefreshValue();
    } catch (...) {
        HandleException(this); // a value handler that raises must not cross the event dispatch
    }
    e->accept();
    return true;
}

// ---- overrides of the plain row ----------------------------------------------------------------------

TRSFont* TRSItemProperty::GetValueFont() const {
    const TRSCustomObjectInspector* inspector = Inspector();
    if (inspector && inspector->ShowValueChangedFont() && m_isRealProperty &&
        !inspector->ObjectList().isEmpty()) {
        bool changed = ValueChangedFor(0);
        if (!changed && (inspector->DisplayOptions() & doMultiColValues))
            for (int i = 1; i < inspector->ObjectList().size() && !changed; ++i)
                changed = ValueChangedFor(i);
        if (changed)
            return inspector->ValueChangedFont();
    }
    return TRSItemProp::GetValueFont();
}

TRSFont* TRSItemProperty::GetCurrentValueFont(int column) const {
    const TRSCustomObjectInspector* inspector = Inspector();
    if (inspector && inspector->ShowValueChangedFont() && m_isRealProperty &&
        !inspector->ObjectList().isEmpty()) {
        const int index = (inspector->DisplayOptions() & doMultiColValues) ? column : 0;
        if (ValueChangedFor(index))
            return inspector->ValueChangedFont();
    }
    return TRSItemProp::GetValueFont();
}

bool TRSItemProperty::GetReadOnly() const {
    return TRSItemProp::GetReadOnly() || m_typeKind == tkSet;
}

void TRSItemProperty::SetName(const QString& value) {
    TRSItemProp::SetName(value);
    if (m_propName.isEmpty())
        m_propName = value;
}

void TRSItemProperty::AssignEvents(const TRSItemProp& source) {
    TRSItemProp::AssignEvents(source);
    if (auto* row = qobject_cast<const TRSItemProperty*>(&source)) {
        OnSetProperty = row->OnSetProperty;
        OnGetProperty = row->OnGetProperty;
        OnRefreshValue = row->OnRefreshValue;
    }
}

bool TRSItemProperty::IsDisplayable() const {
    if (!GetVisible())
        return false;
    const TRSCustomItemListEditor* grid = ItemListEditor();
    if (GetReadOnly() && !Category() && grid && !(grid->DisplayOptions() & doShowReadOnly))
        return (m_isRealProperty && (m_typeKind == tkSet || m_typeKind == tkClass)) || m_rowKind != rkPlain;
    return true;
}

void TRSItemProperty::DoValidate() {
    try {
        TRSItemProp::DoValidate();
        CommitValue();
    } catch (...) {
        // Whatever the handler or the object raised, the user reads it as a refused value.
        TRSCustomItemListEditor* grid = ItemListEditor();
        TRSInplaceEditList* editor = grid ? grid->Editor() : nullptr;
        if (!editor)
            throw;
        const QString message = ExceptionMessage(std::current_exception());
        const QString text = editor->Text();
        editor->selectAll();
        if (m_isRealProperty || m_rowKind == rkSetMember) // a member names the property layer's refusal
            throw Exception(_("\"%1\" is not a valid %2 value: %3").arg(text, m_typeName, message));
        throw Exception(_("\"%1\" is not a valid property value").arg(text));
    }
}

void TRSItemProperty::Assign(const TRSItemProp& source) {
    if (auto* row = qobject_cast<const TRSItemProperty*>(&source)) {
        m_isAllEqual = row->m_isAllEqual;
        m_propName = row->m_propName;
        m_typeData = row->m_typeData;
        m_typeKind = row->m_typeKind;
        m_typeName = row->m_typeName;
        m_isRealProperty = row->m_isRealProperty;
        m_rowKind = row->m_rowKind;
    }
    TRSItemProp::Assign(source);
}

// ---- TRSItemProperties -------------------------------------------------------------------------------

TRSItemProperties::TRSItemProperties(QObject* owner)
    : TRSItemProps(owner, &TRSItemProperty::staticMetaObject) {}
