#include "inspector/RSPropertyPresets.h"
#include "classlib/ClassRegistry.h"
#include "classlib/Translation.h"
#include "inspector/RSFontStream.h"
#include "inspector/RSObjectInspector.h"
#include "inspector/RSPresetClasses.h"
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QVarLengthArray>
#include <algorithm>
#include <array>
#include <list>
#include <typeindex>
#include <typeinfo>
#include <unordered_set>

namespace {

struct TPresetRegistry {
    QMutex lock;
    QList<const QMetaObject*> classes;
};

TPresetRegistry& Registry() {
    static TPresetRegistry registry;
    return registry;
}

bool IsPresetClass(const QMetaObject* meta) {
    return meta && meta->inherits(&TRSPropertyPreset::staticMetaObject);
}

} // namespace

// ---- registry ----------------------------------------------------------------------------------------

void RegisterPropertyPresetClass(const QMetaObject* presetClass) {
    if (!IsPresetClass(presetClass))
        return;
    QList<const QMetaObject*> added;
    {
        TPresetRegistry& r = Registry();
        QMutexLocker locker(&r.lock);
        // Ancestors come first, so that the registry lists base classes before their subclasses.
        QList<const QMetaObject*> chain;
        for (const QMetaObject* m = presetClass; m && m != &TRSPropertyPreset::staticMetaObject;
             m = m->superClass()) {
            if (r.classes.contains(m))
                break;
            chain.prepend(m);
        }
        r.classes.append(chain);
        added = chain;
    }
    // The stream's class registry finds presets stored with their class name.
    for (const QMetaObject* m : added)
        RegisterClass(m);
}

void RegisterPropertyPresetClasses(const QList<const QMetaObject*>& presetClasses) {
    for (const QMetaObject* m : presetClasses)
        RegisterPropertyPresetClass(m);
}

void UnregisterPropertyPresetClass(const QMetaObject* presetClass) {
    TPresetRegistry& r = Registry();
    QMutexLocker locker(&r.lock);
    for (const QMetaObject* m = presetClass; m && m != &TRSPropertyPreset::staticMetaObject;
         m = m->superClass())
        if (!r.classes.removeOne(m))
            break;
}

void UnregisterPropertyPresetClasses(const QList<const QMetaObject*>& presetClasses) {
    for (const QMetaObject* m : presetClasses)
        UnregisterPropertyPresetClass(m);
}

QList<const QMetaObject*> RegisteredPropertyPresetClasses() {
    TPresetRegistry& r = Registry();
    QMutexLocker locker(&r.lock);
    return r.classes;
}

bool ClassOrAncestorIn(const QMetaObject* metaClass, const QStringList& names) {
    for (const QMetaObject* m = metaClass; m; m = m->superClass())
        for (const QString& name : names)
            if (name.compare(QLatin1String(m->className()), Qt::CaseInsensitive) == 0)
                return true;
    return false;
}

namespace {

// While the presets are applied, the class of a class-typed row (a row or a row's class parent) is
// looked up once for all the presets and rows that test it, not once per preset and row.
struct TRowClassCache {
    int Depth = 0;
    QHash<const TRSItemProperty*, const QMetaObject*> Classes;
};
TRowClassCache g_rowClasses; // main thread only, as the inspector is

class TRowClassScope {
public:
    TRowClassScope() { ++g_rowClasses.Depth; }
    ~TRowClassScope() {
        if (--g_rowClasses.Depth == 0)
            g_rowClasses.Classes.clear();
    }
    TRowClassScope(const TRowClassScope&) = delete;
    TRowClassScope& operator=(const TRowClassScope&) = delete;
    // The program's own code ran (a preset applied, a match handler): rows and objects may have changed.
    static void Forget() { g_rowClasses.Classes.clear(); }
};

const QMetaObject* LookUpRowClass(TRSItemProperty* row) {
    const QMetaObject* meta = GetClass(row->TypeName());
    if (!meta) {
        try {
            meta = row->GetObjectClass(-1);
        } catch (const Exception&) {
            meta = nullptr;
        }
    }
    return meta;
}

const QMetaObject* RowClass(TRSItemProperty* row) {
    if (g_rowClasses.Depth == 0)
        return LookUpRowClass(row);
    const auto it = g_rowClasses.Classes.constFind(row);
    if (it != g_rowClasses.Classes.cend())
        return *it;
    const QMetaObject* meta = LookUpRowClass(row);
    g_rowClasses.Classes.insert(row, meta);
    return meta;
}

} // namespace

// ---- TRSPropertyPreset -------------------------------------------------------------------------------

TRSPropertyPreset::TRSPropertyPreset(TCollection* collection) : TCollectionItem(nullptr) {
    auto makeList = [this] {
        auto list = std::make_unique<TStringList>();
        list->OnChange = [this](TStrings* sender) { ListChanged(sender); };
        return list;
    };
    m_propNames = makeList();
    m_parentClassNames = makeList();
    m_typeNames = makeList();
    m_parentTypeNames = makeList();
    m_parentPropNames = makeList();
    m_font = std::make_unique<TRSCustomDeltaFont>();
    m_valueFont = std::make_unique<TRSCustomDeltaFont>();
    auto* presets = qobject_cast<TRSPropertyPresets*>(collection);
    if (TRSCustomObjectInspector* inspector = presets ? presets->Inspector() : nullptr) {
        m_font->Assign(*inspector->GridFont());
        m_valueFont->Assign(*inspector->ValueFont());
    }
    m_font->OnGetParentFont = [this](TRSCustomDeltaFont*, TRSFont*& parent) {
        TRSCustomObjectInspector* inspector = Inspector();
        parent = inspector ? inspector->GridFont() : nullptr;
    };
    m_valueFont->OnGetParentFont = [this](TRSCustomDeltaFont*, TRSFont*& parent) {
        TRSCustomObjectInspector* inspector = Inspector();
        parent = inspector ? static_cast<TRSFont*>(inspector->ValueFont()) : nullptr;
    };
    m_font->OnChange = [this](TRSFont* f) { FontChanged(f); };
    m_valueFont->OnChange = [this](TRSFont* f) { FontChanged(f); };
    if (collection)
        SetCollection(collection);
}

TRSPropertyPreset::~TRSPropertyPreset() {
    SetCollection(nullptr);
}

TRSCustomObjectInspector* TRSPropertyPreset::Inspector() const {
    auto* presets = qobject_cast<TRSPropertyPresets*>(Collection());
    return presets ? presets->Inspector() : nullptr;
}

void TRSPropertyPreset::SetActive(bool value) {
    if (value == m_active)
        return;
    m_active = value;
    SignalChanged();
}

void TRSPropertyPreset::SetActions(TRSPropertyPresetTypes value) {
    if (((value & pftReadOnly) && (value & pftWritable)) || ((value & pftVisible) && (value & pftHidden)))
        return;
    if (value == m_actions)
        return;
    m_actions = value;
    SignalChanged();
}

void TRSPropertyPreset::ToggleAction(TRSPropertyPresetType action, bool on) {
    SetActions(on ? TRSPropertyPresetTypes(m_actions | action) : TRSPropertyPresetTypes(m_actions & ~action));
}

void TRSPropertyPreset::SetInclusive(bool value) {
    if (value == m_inclusive)
        return;
    m_inclusive = value;
    SignalChanged();
}

void TRSPropertyPreset::SetHint(const QString& value) {
    m_hint = value;
    ToggleAction(pftHint, !value.isEmpty());
    SignalChanged();
}

void TRSPropertyPreset::SetEditMask(const QString& value) {
    m_editMask = value;
    ToggleAction(pftEditMask, !value.isEmpty());
    SignalChanged();
}

void TRSPropertyPreset::SetAlias(const QString& value) {
    m_alias = value;
    ToggleAction(pftAlias, !value.isEmpty());
    SignalChanged();
}

void TRSPropertyPreset::SetEditStyle(TEditStyle value) {
    m_editStyle = value;
    ToggleAction(pftEditStyle, true);
    SignalChanged();
}

void TRSPropertyPreset::SetMatchTypes(TRSPresetMatchTypes value) {
    if (value == m_matchTypes)
        return;
    m_matchTypes = value;
    SignalChanged();
}

void TRSPropertyPreset::SetTypeKinds(TTypeKinds value) {
    if (value == m_typeKinds)
        return;
    m_typeKinds = value;
    SignalChanged();
}

void TRSPropertyPreset::SetParentTypeKinds(TTypeKinds value) {
    if (value == m_parentTypeKinds)
        return;
    m_parentTypeKinds = value;
    SignalChanged();
}

void TRSPropertyPreset::SetName(const QString& value) {
    if (value == m_name)
        return;
    m_name = value;
    SignalChanged();
}

TStringList* TRSPropertyPreset::PickList() {
    if (!m_pickList) {
        m_pickList = std::make_unique<TStringList>();
        m_pickList->OnChange = [this](TStrings*) { PickListChanged(); };
    }
    return m_pickList.get();
}

QString TRSPropertyPreset::DisplayName() const {
    return m_name.isEmpty() ? TCollectionItem::DisplayName() : m_name;
}

void TRSPropertyPreset::ListChanged(TStrings* sender) {
    const std::pair<TStringList*, TRSPresetMatchType> pairs[] = {
        {m_propNames.get(), mtPropertyName},
        {m_typeNames.get(), mtPropertyType},
        {m_parentClassNames.get(), mtClassName},
        {m_parentPropNames.get(), mtParentPropertyName},
        {m_parentTypeNames.get(), mtParentPropertyType},
    };
    for (const auto& [list, member] : pairs)
        if (list == sender)
            m_matchTypes = list->Count() > 0 ? (m_matchTypes | member) : (m_matchTypes & ~member);
    SignalChanged();
}

void TRSPropertyPreset::PickListChanged() {
    const bool filled = HasPickList();
    if (m_editStyle == esSimple && filled)
        SetEditStyle(esPickList);
    else if (m_editStyle == esPickList && !filled)
        SetEditStyle(esSimple);
}

void TRSPropertyPreset::FontChanged(TRSFont* sender) {
    if (m_takingInspectorFont)
        return;
    ToggleAction(sender == m_font.get() ? pftFont : pftValueFont, true);
    SignalChanged();
}

void TRSPropertyPreset::InspectorFontChanged() {
    TRSCustomObjectInspector* inspector = Inspector();
    if (!inspector)
        return;
    m_takingInspectorFont = true;
    m_font->ApplyDelta(inspector->GridFont());
    m_takingInspectorFont = false;
}

void TRSPropertyPreset::InspectorValueFontChanged() {
    TRSCustomObjectInspector* inspector = Inspector();
    if (!inspector)
        return;
    m_takingInspectorFont = true;
    m_valueFont->ApplyDelta(inspector->ValueFont());
    m_takingInspectorFont = false;
}

bool TRSPropertyPreset::NameTest(const TStringList& names, TRSItemProperty* row, bool byName, bool byPath) {
    if (!row)
        return false;
    return (byName && names.IndexOf(row->Name()) >= 0) || (byPath && names.IndexOf(row->GetFullName()) >= 0);
}

bool TRSPropertyPreset::TypeTest(TTypeKinds kinds, const TStringList& names, TRSItemProperty* row) const {
    if (!row)
        return false;
    if (kinds == TTypeKinds{tkUnknown})
        return true;
    if (kinds.Contains(row->TypeKind()) && (names.Count() == 0 || names.IndexOf(row->TypeName()) >= 0))
        return true;
    if (!kinds.Contains(tkClass) || row->TypeKind() != tkClass)
        return false;
    const QMetaObject* meta = RowClass(row);
    return meta && ClassOrAncestorIn(meta, names.Lines());
}

bool TRSPropertyPreset::Matches(TRSItemProperty* row) {
    bool result = m_matchTypes != 0;
    TRSCustomObjectInspector* inspector = Inspector();
    // Only the parent tests need the nearest class-typed ancestor.
    TRSItemProperty* classParent = nullptr;
    if (row && (m_matchTypes & (mtParentPropertyType | mtParentPropertyName | mtParentFullPropertyName))) {
        classParent = row->ParentRow();
        while (classParent && classParent->TypeKind() != tkClass)
            classParent = classParent->ParentRow();
    }
    if (result && (m_matchTypes & (mtPropertyName | mtFullPropertyName)))
        result =
            NameTest(*m_propNames, row, m_matchTypes & mtPropertyName, m_matchTypes & mtFullPropertyName);
    if (result && (m_matchTypes & mtPropertyType))
        result = TypeTest(m_typeKinds, *m_typeNames, row);
    if (result && (m_matchTypes & mtClassName) && m_parentClassNames->Count() > 0) {
        const QList<QObject*> objects = inspector ? inspector->ObjectList() : QList<QObject*>();
        result = !objects.isEmpty() &&
                 ClassOrAncestorIn(objects.first()->metaObject(), m_parentClassNames->Lines());
    }
    if (result && (m_matchTypes & mtParentPropertyType))
        result = TypeTest(m_parentTypeKinds, *m_parentTypeNames, classParent);
    if (result && (m_matchTypes & (mtParentPropertyName | mtParentFullPropertyName)))
        result = NameTest(*m_parentPropNames, classParent, m_matchTypes & mtParentPropertyName,
                          m_matchTypes & mtParentFullPropertyName);
    result = result == m_inclusive;
    if (OnMatchPreset) {
        OnMatchPreset(this, row, result);
        TRowClassScope::Forget();
    } else if (inspector) {
        inspector->DoMatchPreset(this, row, result);
        if (inspector->OnMatchPreset)
            TRowClassScope::Forget();
    }
    return result;
}

void TRSPropertyPreset::Apply(TRSItemProperty* row) {
    if (m_actions & pftAlias)
        row->SetName(m_alias);
    if (m_actions & pftReadOnly)
        row->SetReadOnly(true);
    else if (m_actions & pftWritable)
        row->SetReadOnly(false);
    if (m_actions & pftVisible)
        row->SetVisible(true);
    else if (m_actions & pftHidden)
        row->SetVisible(false);
    if (m_actions & pftHint)
        row->SetHint(m_hint);
    if (m_actions & pftEditStyle) {
        row->SetEditStyle(m_editStyle);
        if (m_editStyle == esEllipsis) {
            row->OnEditButtonClick = OnEditButtonClick;
        } else if (m_editStyle == esPickList) {
            if (HasPickList())
                row->SetPickList(m_pickList->Lines());
            row->OnGetPickList = OnGetPickList;
        }
    }
    if (m_actions & pftEditMask)
        row->SetEditMask(m_editMask);
    if (m_actions & pftValidate) {
        row->OnValidate = OnValidate;
        row->OnGetProperty = OnGetProperty;
        row->OnSetProperty = OnSetProperty;
    }
    if (m_actions & pftFont)
        row->Font()->Assign(*m_font);
    if (m_actions & pftValueFont)
        row->ValueFont()->Assign(*m_valueFont);
    if (m_actions & pftCustom) {
        if (OnCustomPreset)
            OnCustomPreset(this, row);
        else if (TRSCustomObjectInspector* inspector = Inspector())
            inspector->DoCustomPreset(this, row);
    }
}

void TRSPropertyPreset::Assign(const TRSPropertyPreset& source) {
    if (&source == this)
        return;
    m_active = source.m_active;
    m_alias = source.m_alias;
    m_actions = source.m_actions;
    m_inclusive = source.m_inclusive;
    m_propNames->SetLines(source.m_propNames->Lines());
    m_hint = source.m_hint;
    m_editStyle = source.m_editStyle;
    m_editMask = source.m_editMask;
    m_name = source.m_name;
    m_parentClassNames->SetLines(source.m_parentClassNames->Lines());
    m_parentPropNames->SetLines(source.m_parentPropNames->Lines());
    m_parentTypeNames->SetLines(source.m_parentTypeNames->Lines());
    m_typeNames->SetLines(source.m_typeNames->Lines());
    m_matchTypes = source.m_matchTypes; // after the lists, which adjust it
    m_typeKinds = source.m_typeKinds;
    m_parentTypeKinds = source.m_parentTypeKinds;
    OnEditButtonClick = source.OnEditButtonClick;
    OnGetPickList = source.OnGetPickList;
    OnValidate = source.OnValidate;
    OnGetProperty = source.OnGetProperty;
    OnSetProperty = source.OnSetProperty;
    if (source.HasPickList())
        PickList()->SetLines(source.m_pickList->Lines());
    else
        m_pickList.reset();
    m_takingInspectorFont = true;
    m_font->Assign(*source.m_font);
    m_valueFont->Assign(*source.m_valueFont);
    m_takingInspectorFont = false;
    m_actions = source.m_actions;
    m_editStyle = source.m_editStyle;
    SignalChanged();
}

// ---- TRSPropertyPresets ------------------------------------------------------------------------------

TRSPropertyPresets::TRSPropertyPresets(TRSCustomObjectInspector* inspector)
    : TCollection(&TRSPropertyPreset::staticMetaObject, inspector), m_inspector(inspector) {}

TRSPropertyPreset* TRSPropertyPresets::Add(const QMetaObject* presetClass) {
    if (!IsPresetClass(presetClass))
        throw EInvalidOperation(
            QStringLiteral("Cannot create an item of class %1")
                .arg(presetClass ? QString::fromLatin1(presetClass->className()) : QString()));
    QObject* obj = presetClass->newInstance(Q_ARG(TCollection*, this));
    auto* preset = qobject_cast<TRSPropertyPreset*>(obj);
    if (!preset) {
        delete obj;
        throw EInvalidOperation(QStringLiteral("Cannot create an item of class %1")
                                    .arg(QString::fromLatin1(presetClass->className())));
    }
    if (preset->Collection() != this)
        preset->SetCollection(this);
    return preset;
}

int TRSPropertyPresets::IndexOfClass(const QMetaObject* presetClass) const {
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->metaObject() == presetClass)
            return i;
    return -1;
}

void TRSPropertyPresets::ApplyToItem(TRSItemProperty* row) {
    TRowClassScope classes;
    for (int i = 0; i < Count(); ++i) {
        TRSPropertyPreset* preset = Items(i);
        if (!preset->Active() || !preset->Matches(row))
            continue;
        preset->Apply(row);
        TRowClassScope::Forget();
        if (!row->RefreshValue())
            break;
    }
}

namespace {

// A name compared and hashed ignoring case, without a folded copy (one lookup per row). The index's keys
// view its own copies of the presets' lines; a lookup views the row's own name.
struct TNoCaseKey {
    QStringView text;
    bool operator==(const TNoCaseKey& other) const {
        return text.compare(other.text, Qt::CaseInsensitive) == 0;
    }
};

size_t qHash(const TNoCaseKey& key, size_t seed = 0) {
    size_t h = seed;
    for (QChar c : key.text)
        h = h * 31 + c.toCaseFolded().unicode();
    return h;
}

// Presets by name, and the lengths of the names (a name of another length is not looked up, which spares
// reading its text).
struct TPresetLists {
    QHash<TNoCaseKey, QList<int>> lists;
    quint64 lengths = 0; // bit n: some name is n characters long (n below 63), bit 63: a longer one

    static quint64 LengthBit(qsizetype n) { return quint64(1) << std::min<qsizetype>(n, 63); }
    QList<int>& operator[](const TNoCaseKey& key) {
        lengths |= LengthBit(key.text.size());
        return lists[key];
    }
    bool isEmpty() const { return lists.isEmpty(); }
    const QList<int>* Find(QStringView name) const {
        if (!(lengths & LengthBit(name.size())))
            return nullptr;
        const auto it = lists.constFind({name});
        return it == lists.cend() ? nullptr : &*it;
    }
};

// The presets of one pass, indexed by what a row must have for each to match: its name or path (a
// preset that matches by name), its type kind and type name (one that matches by type), or a parent row
// that passes the parent type test (one that matches by parent type; the answer is kept per parent). A
// preset goes into the index only when a failed test of that key surely makes it not match: it is active
// and inclusive, of a class whose matching is the standard one, and no match handler can turn the
// result. Every other preset is tried on every row, as before.
class TPresetIndex {
public:
    TPresetIndex(const TRSPropertyPresets& presets, const std::unordered_set<std::type_index>& standard) {
        const TRSCustomObjectInspector* inspector = presets.Inspector();
        // A subclass of the inspector may answer DoMatchPreset itself.
        const bool inspectorHook =
            inspector && (inspector->OnMatchPreset || !standard.count(typeid(*inspector)));
        for (int i = 0; i < presets.Count(); ++i) {
            TRSPropertyPreset* preset = presets.Items(i);
            if (!preset->Active())
                continue;
            const TRSPresetMatchTypes types = preset->MatchTypes();
            const bool indexable = !inspectorHook && preset->Inclusive() && !preset->OnMatchPreset &&
                                   standard.count(typeid(*preset));
            if (indexable && (types & (mtPropertyName | mtFullPropertyName)) &&
                !preset->PropNames()->CaseSensitive()) {
                for (const QString& line : preset->PropNames()->Lines()) {
                    m_keys.push_back(line);
                    if (types & mtPropertyName)
                        m_byName[{m_keys.back()}].append(i);
                    if (types & mtFullPropertyName)
                        m_byPath[{m_keys.back()}].append(i);
                }
            } else if (indexable && (types & mtPropertyType) &&
                       preset->TypeKinds() != TTypeKinds{tkUnknown}) {
                // The row's kind must be listed and, when type names are listed, its type name too; a
                // class-typed row may match by its class's ancestry instead, so it is tried by kind alone.
                const TStringList* names = preset->TypeNames();
                const bool byName = names->Count() > 0 && !names->CaseSensitive();
                for (int k = 0; k < kKinds; ++k) {
                    if (!preset->TypeKinds().Contains(TTypeKind(k)))
                        continue;
                    if (byName && TTypeKind(k) != tkClass)
                        for (const QString& name : names->Lines()) {
                            m_keys.push_back(name);
                            m_byKindAndName[size_t(k)][{m_keys.back()}].append(i);
                        }
                    else
                        m_byKind[size_t(k)].append(i);
                }
            } else if (indexable && (types & mtParentPropertyType)) {
                m_byParent.append(preset);
                m_byParentIndex.append(i);
            } else {
                m_always.append(i);
            }
        }
    }

    using TCandidates = QVarLengthArray<int, 32>;
    // The presets from index first on that may match the row as it is now, in collection order.
    TCandidates Candidates(TRSItemProperty* row, int first) {
        TCandidates result;
        auto take = [&](const QList<int>& list) {
            for (int i : list)
                if (i >= first)
                    result.append(i);
        };
        take(m_always);
        const auto kind = size_t(row->TypeKind());
        if (kind < m_byKind.size())
            take(m_byKind[kind]);
        if (kind < m_byKindAndName.size())
            if (const QList<int>* list = m_byKindAndName[kind].Find(row->TypeName()))
                take(*list);
        if (!m_byName.isEmpty() || !m_byPath.isEmpty()) {
            if (const QList<int>* list = m_byName.Find(row->Name()))
                take(*list);
            if (!m_byPath.isEmpty()) {
                // A top-level row's path is its name: only a sub-row's needs building.
                const QList<int>* list =
                    row->ParentItem() ? m_byPath.Find(row->GetFullName()) : m_byPath.Find(row->Name());
                if (list)
                    take(*list);
            }
        }
        if (!m_byParent.isEmpty()) {
            TRSItemProperty* parent = row->ParentRow();
            while (parent && parent->TypeKind() != tkClass)
                parent = parent->ParentRow();
            // Rows of one parent share the answers (and come one after another); a parent's answer holds
            // for the pass (the test reads the parent's type only, which presets do not change).
            if (parent && parent != m_lastParent) {
                m_lastParent = parent;
                auto it = m_parentAnswers.find(parent);
                if (it == m_parentAnswers.end()) {
                    QList<bool> answers;
                    for (TRSPropertyPreset* preset : std::as_const(m_byParent))
                        answers.append(preset->ParentTypeTest(parent));
                    it = m_parentAnswers.insert(parent, answers);
                }
                m_lastAnswers = *it;
            }
            if (parent)
                for (qsizetype p = 0; p < m_byParent.size(); ++p)
                    if (m_byParentIndex.at(p) >= first && m_lastAnswers.at(p))
                        result.append(m_byParentIndex.at(p));
        }
        std::sort(result.begin(), result.end());
        result.erase(std::unique(result.begin(), result.end()), result.end());
        return result;
    }

private:
    static constexpr int kKinds = 32;
    QList<int> m_always;
    TPresetLists m_byName;
    TPresetLists m_byPath;
    std::array<QList<int>, kKinds> m_byKind;
    std::array<TPresetLists, kKinds> m_byKindAndName;
    QList<TRSPropertyPreset*> m_byParent;
    QList<int> m_byParentIndex;
    QHash<const TRSItemProperty*, QList<bool>> m_parentAnswers;
    const TRSItemProperty* m_lastParent = nullptr;
    QList<bool> m_lastAnswers;
    std::list<QString> m_keys; // what the keys view (a list: its strings never move)
};

} // namespace

void TRSPropertyPresets::ApplyToItems(const QList<TRSItemProperty*>& rows) {
    TRowClassScope classes;
    // By the real class (a subclass without its own meta-object still overrides): the classes whose
    // matching is the standard one.
    static const std::unordered_set<std::type_index> standard = [] {
        std::unordered_set<std::type_index> set{typeid(TRSPropertyPreset), typeid(TRSCustomObjectInspector),
                                                typeid(TRSObjectInspector)};
        for (const std::type_index& type : BuiltInPresetTypes())
            set.insert(type);
        return set;
    }();
    // A preset's handler may free rows: those are passed over (and a row made at a freed row's address
    // is not in this pass's list anyway).
    QSet<const TRSItemProperty*> freed;
    struct TWatch {
        QSet<const TRSItemProperty*>* previous;
        explicit TWatch(QSet<const TRSItemProperty*>* set)
            : previous(std::exchange(TRSItemProperty::FreedRows, set)) {}
        ~TWatch() { TRSItemProperty::FreedRows = previous; }
    } watch(&freed);
    TPresetIndex index(*this, standard);
    for (TRSItemProperty* row : rows) {
        if (!freed.isEmpty() && freed.contains(row))
            continue;
        // As ApplyToItem, over the candidates only; a preset applied may rename the row (an alias), so
        // the candidates after it are looked up again.
        auto candidates = index.Candidates(row, 0);
        for (qsizetype c = 0; c < candidates.size(); ++c) {
            const int i = candidates.at(c);
            if (i >= Count())
                break;
            TRSPropertyPreset* preset = Items(i);
            if (!preset->Active() || !preset->Matches(row))
                continue;
            preset->Apply(row);
            TRowClassScope::Forget();
            if (freed.contains(row) || !row->RefreshValue())
                break;
            candidates = index.Candidates(row, i + 1);
            c = -1;
        }
    }
}

void TRSPropertyPresets::Notify(TCollectionItem* item, TCollectionNotification action) {
    TCollection::Notify(item, action);
    if (m_inspector)
        m_inspector->PresetNotify();
}

void TRSPropertyPresets::Update(TCollectionItem* item) {
    TCollection::Update(item);
    if (m_inspector)
        m_inspector->PresetsChanged();
}

// ---- handler rows and stored flags -------------------------------------------------------------------

TRSItemProperty* TRSPropertyPreset::FindHandlerRow(QObject* sender, const QString& propName) const {
    if (auto* row = qobject_cast<TRSItemProperty*>(sender))
        return row;
    TRSCustomObjectInspector* inspector = Inspector();
    return inspector ? inspector->Items()->FindByPath(propName) : nullptr;
}

namespace {

struct TEmptyFlag {
    const char* Name;
    TStringList* (TRSPropertyPreset::*List)() const;
};

constexpr TEmptyFlag kEmptyFlags[] = {
    {"TypeNamesEmpty", &TRSPropertyPreset::TypeNames},
    {"ParentClassNamesEmpty", &TRSPropertyPreset::ParentClassNames},
    {"PropNamesEmpty", &TRSPropertyPreset::PropNames},
    {"ParentPropNamesEmpty", &TRSPropertyPreset::ParentPropNames},
    {"ParentTypeNamesEmpty", &TRSPropertyPreset::ParentTypeNames},
};

// The stored attributes of a preset font: only those in which it differs from the inspector's font, so
// that the rest keeps following the inspector.
void WriteFontDelta(TWriter& writer, const QString& prefix, const TRSCustomDeltaFont& font) {
    WriteFontAttributes(writer, prefix, font, font.DeltaMask());
}

// Reads one stored font attribute ("Name", "Size", ...); false for a name that is none of them.
bool ReadFontDelta(TReader& reader, const QString& attribute, TRSCustomDeltaFont& font) {
    const unsigned bit = ReadFontAttribute(reader, attribute, font);
    font.AddDelta(bit);
    return bit != 0;
}

} // namespace

void TRSPropertyPreset::WriteDefinedProperties(TWriter& writer) const {
    for (const TEmptyFlag& flag : kEmptyFlags)
        if ((this->*flag.List)()->Count() == 0) {
            writer.WritePropName(QLatin1String(flag.Name));
            writer.WriteBoolean(true);
        }
    if (!HasPickList()) {
        writer.WritePropName(QStringLiteral("PickListEmpty"));
        writer.WriteBoolean(true);
    }
    WriteFontDelta(writer, QStringLiteral("Font."), *m_font);
    WriteFontDelta(writer, QStringLiteral("ValueFont."), *m_valueFont);
}

bool TRSPropertyPreset::ReadDefinedProperty(TReader& reader, const QString& name) {
    for (const TEmptyFlag& flag : kEmptyFlags)
        if (name == QLatin1String(flag.Name)) {
            if (reader.ReadBoolean())
                (this->*flag.List)()->Clear();
            return true;
        }
    if (name == QLatin1String("PickListEmpty")) {
        if (reader.ReadBoolean() && m_pickList)
            m_pickList->Clear();
        return true;
    }
    for (TRSCustomDeltaFont* font : {m_font.get(), m_valueFont.get()}) {
        const QString prefix = font == m_font.get() ? QStringLiteral("Font.") : QStringLiteral("ValueFont.");
        if (!name.startsWith(prefix))
            continue;
        // The stored Actions already say whether the font applies; reading it must not add pftFont.
        m_takingInspectorFont = true;
        try {
            const bool known = ReadFontDelta(reader, name.mid(prefix.size()), *font);
            m_takingInspectorFont = false;
            if (known)
                SignalChanged();
            return known;
        } catch (...) {
            m_takingInspectorFont = false;
            throw;
        }
    }
    return false;
}
