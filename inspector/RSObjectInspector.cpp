#include "inspector/RSObjectInspector.h"
#include "classlib/ClassRegistry.h"
#include "classlib/Component.h"
#include "classlib/StrConvert.h"
#include "classlib/Translation.h"
#include "inspector/GSpecialFiler.h"
#include "inspector/RSFontStream.h"
#include "inspector/RSInplaceEditList.h"
#include "inspector/RSPresetClasses.h"
#include <QCoreApplication>
#include <algorithm>
#include <vector>

namespace {

// Ends an update of a grid or collection when the scope ends, also when an exception unwinds it.
template <class T> class TUpdateGuard {
public:
    explicit TUpdateGuard(T* target) : m_target(target) { m_target->BeginUpdate(); }
    ~TUpdateGuard() { m_target->EndUpdate(); }
    TUpdateGuard(const TUpdateGuard&) = delete;
    TUpdateGuard& operator=(const TUpdateGuard&) = delete;

private:
    T* m_target;
};

// Counts a write in progress for as long as it lives.
class TWriteScope {
public:
    explicit TWriteScope(int& depth) : m_depth(depth) { ++m_depth; }
    ~TWriteScope() { --m_depth; }
    TWriteScope(const TWriteScope&) = delete;
    TWriteScope& operator=(const TWriteScope&) = delete;

private:
    int& m_depth;
};

// Sort weight of a character: marks and symbols before digits, digits before letters, letters without
// case.
std::pair<int, uint> SortWeight(QChar c) {
    if (c.isDigit())
        return {1, c.unicode()};
    if (c.isLetter())
        return {2, c.toLower().unicode()};
    return {0, c.unicode()};
}

// Pick lists and string lists sort as the class library's string list did, ignoring case, and in the
// same order whatever the user's locale (the names are identifiers, not words of a language).
bool PickListLess(const QString& a, const QString& b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const auto wa = SortWeight(a.at(i));
        const auto wb = SortWeight(b.at(i));
        if (wa != wb)
            return wa < wb;
    }
    return a.size() < b.size();
}

void SortList(QStringList& list) {
    std::stable_sort(list.begin(), list.end(), PickListLess);
}

// The category of well-known property names, for the arrangement by category.
const char* const kCategories[] = {
    "Action=Action",
    "Caption=Action",
    "Enabled=Action",
    "HelpContext=Action",
    "Hint=Action",
    "Visible=Action",
    "DockSite=Drag, Drop and Docking",
    "DragKind=Drag, Drop and Docking",
    "DragMode=Drag, Drop and Docking",
    "UseDockManager=Drag, Drop and Docking",
    "Filters=Database",
    "HelpContext=Help and Hints",
    "HelpKeyword=Help and Hints",
    "HelpType=Help and Hints",
    "Hint=Help and Hints",
    "ParentShowHint=Help and Hints",
    "ShowHint=Help and Hints",
    "Enabled=Input",
    "Align=Layout",
    "Anchors=Layout",
    "Constraints=Layout",
    "Height=Layout",
    "Left=Layout",
    "TabOrder=Layout",
    "TabStop=Layout",
    "Top=Layout",
    "Width=Layout",
    "Ctl3D=Legacy",
    "ParentCtl3D=Legacy",
    "Component=Linkage",
    "PopupMenu=Linkage",
    "BiDiMode=Locale",
    "ParentBiDiMode=Linkage",
    "Constraints=Localizable",
    "Font=Localizable",
    "BiDiMode=Localizable",
    "Height=Localizable",
    "Hint=Localizable",
    "Left=Localizable",
    "ParentBiDiMode=Localizable",
    "ParentFont=Localizable",
    "ValueFont=Localizable",
    "ValueChangedFont=Localizable",
    "CategoryFont=Localizable",
    "Top=Localizable",
    "Width=Localizable",
    "Align=Visual",
    "BorderStyle=Visual",
    "Color=Visual",
    "Cursor=Visual",
    "Enabled=Visual",
    "FixedColor=Visual",
    "Font=Visual",
    "Height=Visual",
    "Left=Visual",
    "ParentColor=Visual",
    "ParentFont=Visual",
    "Top=Visual",
    "ValueChangedFont=Visual",
    "ValueFont=Visual",
    "Visible=Visual",
    "Width=Visual",
};

const QString kStringsItemType = QStringLiteral("TStrings Item");

} // namespace

QEvent::Type WM_COPY_Event() {
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

QEvent::Type WM_PASTE_Event() {
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

// ---- item name formats -------------------------------------------------------------------------------

namespace {

// Walks a format: calls literal(text) and number() for the parts; false for anything but %d and %%.
template <class L, class N> bool WalkFormat(const QString& format, L&& literal, N&& number) {
    int numbers = 0;
    QString text;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != u'%') {
            text += c;
            continue;
        }
        if (i + 1 >= format.size())
            return false;
        const QChar next = format.at(++i);
        if (next == u'%') {
            text += u'%';
        } else if (next == u'd') {
            literal(text);
            text.clear();
            number();
            ++numbers;
        } else {
            return false;
        }
    }
    literal(text);
    return numbers == 1;
}

} // namespace

bool IsValidItemFormat(const QString& format) {
    return WalkFormat(
        format, [](const QString&) {}, [] {});
}

QString FormatItemName(const QString& format, int index) {
    QString result;
    if (!WalkFormat(
            format, [&](const QString& s) { result += s; }, [&] { result += QString::number(index); }))
        throw EConvertError(QStringLiteral("Format '%1' invalid or incompatible with argument").arg(format));
    return result;
}

// ---- TRSInspectorObject ------------------------------------------------------------------------------

TRSInspectorObject::TRSInspectorObject(TCollection* collection) : TCollectionItem(collection) {}

TRSInspectorObject::~TRSInspectorObject() {
    QObject::disconnect(m_objectGone);
    QObject::disconnect(m_ownerGone);
}

TRSCustomObjectInspector* TRSInspectorObject::Inspector() const {
    auto* objects = qobject_cast<TRSInspectorObjects*>(Collection());
    return objects ? objects->Inspector() : nullptr;
}

void TRSInspectorObject::Watch() {
    QObject::disconnect(m_objectGone);
    QObject::disconnect(m_ownerGone);
    TRSCustomObjectInspector* inspector = Inspector();
    if (!inspector)
        return;
    // An object that goes away takes its entry along; the pointer is compared, never used.
    auto gone = [inspector](QObject* obj) { inspector->ObjectGone(obj); };
    if (m_object)
        m_objectGone = QObject::connect(m_object, &QObject::destroyed, inspector, gone);
    if (m_ownerObject)
        m_ownerGone = QObject::connect(m_ownerObject, &QObject::destroyed, inspector, gone);
}

void TRSInspectorObject::SetObject(QObject* value) {
    if (value == m_object)
        return;
    if (TRSCustomObjectInspector* inspector = Inspector())
        inspector->ObjectsCleared();
    m_object = value;
    m_objectKey = value;
    Watch();
    Changed(false);
}

void TRSInspectorObject::SetOwnerObject(QObject* value) {
    if (value == m_ownerObject)
        return;
    m_ownerObject = value;
    m_ownerKey = value;
    Watch();
    Changed(false);
}

TComponent* TRSInspectorObject::Component() const {
    return qobject_cast<TComponent*>(m_object.data());
}

void TRSInspectorObject::Assign(const TRSInspectorObject& source) {
    SetObject(source.Object());
    SetOwnerObject(source.OwnerObject());
}

QString TRSInspectorObject::DisplayName() const {
    if (TComponent* c = Component(); c && !c->Name().isEmpty())
        return c->Name();
    if (m_object)
        return QString::fromLatin1(m_object->metaObject()->className());
    return TCollectionItem::DisplayName();
}

// ---- TRSInspectorObjects -----------------------------------------------------------------------------

TRSInspectorObjects::TRSInspectorObjects(TRSCustomObjectInspector* inspector)
    : TCollection(&TRSInspectorObject::staticMetaObject, inspector), m_inspector(inspector) {}

TRSInspectorObject* TRSInspectorObjects::Add(QObject* obj, QObject* ownerObject) {
    BeginUpdate();
    TRSInspectorObject* entry = nullptr;
    try {
        const int index = IndexOf(obj);
        entry = index >= 0 ? Items(index) : static_cast<TRSInspectorObject*>(TCollection::Add());
        entry->SetObject(obj);
        if (ownerObject)
            entry->SetOwnerObject(ownerObject);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
    return entry;
}

int TRSInspectorObjects::IndexOf(const QObject* obj) const {
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->ObjectKey() == obj)
            return i;
    return -1;
}

int TRSInspectorObjects::Remove(const QObject* obj) {
    if (!obj)
        return -1;
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->ObjectKey() == obj || Items(i)->OwnerKey() == obj) {
            Delete(i);
            return i;
        }
    return -1;
}

void TRSInspectorObjects::Assign(const TRSInspectorObjects& source) {
    if (&source == this)
        return;
    BeginUpdate();
    try {
        Clear();
        for (int i = 0; i < source.Count(); ++i)
            if (source.Items(i)->Object())
                Add(source.Items(i)->Object(), source.Items(i)->OwnerObject());
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TRSInspectorObjects::BeginUpdate() {
    if (UpdateCount() == 0 && m_inspector)
        m_inspector->ObjectsCleared();
    TCollection::BeginUpdate();
}

void TRSInspectorObjects::Notify(TCollectionItem* item, TCollectionNotification action) {
    TCollection::Notify(item, action);
    // The rows describe the old set of objects: they go at once, the rescan follows.
    if (m_inspector)
        m_inspector->ObjectsCleared();
}

void TRSInspectorObjects::Update(TCollectionItem* item) {
    TCollection::Update(item);
    if (m_inspector)
        m_inspector->ObjectsChanged(item);
}

// ---- TRSCustomObjectInspector: construction ----------------------------------------------------------

TRSCustomObjectInspector::TRSCustomObjectInspector(QWidget* parent) : TRSCustomItemListEditor(parent) {
    m_displayKinds = {tkInteger, tkChar,    tkEnumeration, tkFloat,   tkString,    tkSet,  tkClass,
                      tkWChar,   tkLString, tkWString,     tkVariant, tkInterface, tkInt64};
    m_presets.reset(CreatePresets());
    m_objects = std::make_unique<TRSInspectorObjects>(this);
    m_filters = std::make_unique<TStringList>();
    m_filters->SetCaseSensitive(false);
    m_filters->OnChanging = [this](TStrings*) { DoFiltersChanging(); };
    m_filters->OnChange = [this](TStrings*) { DoFiltersChanged(); };
    m_valueChangedFont = std::make_unique<TRSCustomDeltaFont>();
    m_valueChangedFont->OnGetParentFont = [this](TRSCustomDeltaFont*, TRSFont*& parent) {
        parent = ValueFont();
    };
    m_valueChangedFont->Assign(*ValueFont());
    m_valueChangedFont->SetBold(true);
    m_valueChangedFont->OnChange = [this](TRSFont*) { InvalidateGrid(); };
    ValueFont()->SetColor(QColor(0x00, 0x00, 0x80)); // navy
    SetSorted(true);
    SetColorValue(clBtnFace);
    SetCaseSensitive(false);
    // Stored rows ("HItems") are read back as rows of this class.
    static const bool rowClassRegistered = [] {
        RegisterClass(&TRSItemProperty::staticMetaObject);
        return true;
    }();
    Q_UNUSED(rowClassRegistered);
    EnsureBuiltInPresetsRegistered();
    AddRegisteredPresets();
}

TRSCustomObjectInspector::~TRSCustomObjectInspector() {
    m_inspectorDestroying = true;
    m_objects.reset();
    m_presets.reset();
    m_filters.reset();
    m_valueChangedFont.reset();
}

bool TRSCustomObjectInspector::Destroying() const {
    return m_inspectorDestroying || TRSCustomItemListEditor::Destroying();
}

TRSItemProps* TRSCustomObjectInspector::CreateItems(QObject* owner) {
    return new TRSItemProperties(owner);
}

TRSPropertyPresets* TRSCustomObjectInspector::CreatePresets() {
    return new TRSPropertyPresets(this);
}

void TRSCustomObjectInspector::InitCategories() {
    QStringList& categories = Items()->Categories();
    for (const char* pair : kCategories)
        categories << QString::fromLatin1(pair);
}

void TRSCustomObjectInspector::AddRegisteredPresets() {
    const QList<const QMetaObject*> classes = RegisteredPropertyPresetClasses();
    if (classes.isEmpty())
        return;
    TUpdateGuard<TCollection> update(m_presets.get());
    for (const QMetaObject* presetClass : classes)
        if (m_presets->IndexOfClass(presetClass) < 0)
            m_presets->Add(presetClass);
}

// ---- objects -----------------------------------------------------------------------------------------

QList<QObject*> TRSCustomObjectInspector::ObjectList() const {
    QList<QObject*> list;
    if (!m_objects)
        return list;
    for (int i = 0; i < m_objects->Count(); ++i)
        if (QObject* obj = m_objects->Items(i)->Object())
            list << obj;
    return list;
}

TComponent* TRSCustomObjectInspector::Component() const {
    return m_objects->Count() > 0 ? m_objects->Items(0)->Component() : nullptr;
}

void TRSCustomObjectInspector::SetComponent(QObject* value) {
    m_objects->BeginUpdate();
    try {
        if (value) {
            if (m_objects->Count() > 0)
                m_objects->Items(0)->SetObject(value);
            else
                m_objects->Add(value);
        } else {
            for (int i = 0; i < m_objects->Count(); ++i)
                if (!m_objects->Items(i)->Object() || !m_objects->Items(i)->OwnerObject()) {
                    m_objects->Delete(i);
                    break;
                }
        }
    } catch (...) {
        m_objects->EndUpdate();
        throw;
    }
    m_objects->EndUpdate();
    // An unchanged entry gives no change notification; the rescan is asked for all the same.
    PostRescan();
}

void TRSCustomObjectInspector::ObjectGone(QObject* obj) {
    if (m_objects && !m_inspectorDestroying)
        m_objects->Remove(obj);
}

void TRSCustomObjectInspector::ObjectsCleared() {
    // A write routine may free an inspected object: the row being written stays until the write is over,
    // and the rescan that the change posts rebuilds the rows then.
    if (Destroying() || IsWriting())
        return;
    CloseEditor();
    DropKeptEdit(); // typed for the objects that go
    if (!Loading())
        if (TRSItemProp* current = CurrentItem())
            m_selectedPath = current->GetFullName();
    Items()->Clear();
}

void TRSCustomObjectInspector::ObjectsChanged(TCollectionItem*) {
    if (!Destroying())
        PostRescan();
}

TRSItemProperty* TRSCustomObjectInspector::GetVisibleItem(int index) const {
    if (index < 0 || index >= VisibleCount())
        return nullptr;
    return qobject_cast<TRSItemProperty*>(VisibleItem(index));
}

// ---- settings ----------------------------------------------------------------------------------------

void TRSCustomObjectInspector::SetInplaceCollections(bool value) {
    if (value == m_inplaceCollections)
        return;
    m_inplaceCollections = value;
    PostRescan();
}

void TRSCustomObjectInspector::SetInplaceComponents(bool value) {
    if (value == m_inplaceComponents)
        return;
    m_inplaceComponents = value;
    PostRescan();
}

void TRSCustomObjectInspector::SetInplaceTStrings(bool value) {
    if (value == m_inplaceTStrings)
        return;
    m_inplaceTStrings = value;
    PostRescan();
}

void TRSCustomObjectInspector::SetInplaceTStringsOptions(TInplaceTStringsOptions value) {
    value &= isUseNameValue | isSort; // a stream may hold bits of no option
    if (value == m_inplaceTStringsOptions)
        return;
    m_inplaceTStringsOptions = value;
    PostRescan();
}

void TRSCustomObjectInspector::SetCollectionItemFormat(const QString& value) {
    if (value == m_collectionItemFormat)
        return;
    FormatItemName(value, 0); // refuses a format that is not "text %d text"
    m_collectionItemFormat = value;
    PostRescan();
}

void TRSCustomObjectInspector::SetStringsItemFormat(const QString& value) {
    if (value == m_stringsItemFormat)
        return;
    FormatItemName(value, 0);
    m_stringsItemFormat = value;
    PostRescan();
}

void TRSCustomObjectInspector::SetDisplayKinds(TTypeKinds value) {
    value.Exclude(tkArray).Exclude(tkRecord).Exclude(tkDynArray);
    if (value == m_displayKinds)
        return;
    m_displayKinds = value;
    PostRescan();
}

void TRSCustomObjectInspector::SetDynamicTitleCaptions(bool value) {
    m_dynamicTitleCaptions = value;
    RowCountChanged();
}

void TRSCustomObjectInspector::SetShowValueChangedFont(bool value) {
    m_showValueChangedFont = value;
    InvalidateGrid();
}

void TRSCustomObjectInspector::SetArrangeByCategory(bool value) {
    if (value == ArrangeByCategory())
        return;
    TRSCustomItemListEditor::SetArrangeByCategory(value);
    PostRescan();
}

void TRSCustomObjectInspector::SetDisplayOptions(TILEDisplayOptions value) {
    if ((DisplayOptions() ^ value) & doMultiColValues) {
        m_selectedPath.clear();
        SelectItem(nullptr);
        PostRescan();
    }
    TRSCustomItemListEditor::SetDisplayOptions(value);
}

void TRSCustomObjectInspector::DoFiltersChanging() {
    if (OnFiltersChanging)
        OnFiltersChanging(this);
}

void TRSCustomObjectInspector::DoFiltersChanged() {
    if (OnFiltersChanged)
        OnFiltersChanged(this);
    PostRescan();
}

void TRSCustomObjectInspector::ValueFontChanged() {
    TRSCustomItemListEditor::ValueFontChanged();
    if (m_valueChangedFont)
        m_valueChangedFont->ApplyDelta(ValueFont());
    if (m_presets)
        for (int i = 0; i < m_presets->Count(); ++i)
            m_presets->Items(i)->InspectorValueFontChanged();
}

void TRSCustomObjectInspector::FontChanged() {
    TRSCustomItemListEditor::FontChanged();
    if (m_presets)
        for (int i = 0; i < m_presets->Count(); ++i)
            m_presets->Items(i)->InspectorFontChanged();
}

// ---- posted messages ---------------------------------------------------------------------------------

void TRSCustomObjectInspector::PostRescan() {
    if (Loading() || Destroying() || m_rescanPending)
        return;
    m_rescanPending = true;
    QCoreApplication::postEvent(this, new TRSInspectorMessage(CM_RESCAN, 0));
}

bool TRSCustomObjectInspector::event(QEvent* e) {
    if (e->type() == CM_RESCAN) {
        m_rescanPending = false;
        RebuildItems();
        return true;
    }
    if (e->type() == CM_PROPERTYCHANGED) {
        const auto* message = static_cast<TRSInspectorMessage*>(e);
        HandlePropertyChanged(message->WParam, message->LParam != 0);
        return true;
    }
    return TRSCustomItemListEditor::event(e);
}

// ---- scanning ----------------------------------------------------------------------------------------

bool TRSCustomObjectInspector::DoBeforeScan(TRSItemProperty* item) {
    bool result = true;
    if (OnBeforeScan)
        OnBeforeScan(this, item, result);
    return result;
}

void TRSCustomObjectInspector::DoAfterScan(TRSItemProperty* item) {
    if (!item) {
        if (m_scanAllowed) {
            EndUpdate();
            Items()->EndUpdate();
        }
        m_scanAllowed = false;
    }
    if (OnAfterScan)
        OnAfterScan(this, item);
}

void TRSCustomObjectInspector::RebuildItems() {
    if (Loading() || Destroying() || m_objects->UpdateCount() > 0)
        return;
    // Never inside a write: the row being written must outlive the write call.
    if (IsWriting()) {
        PostRescan();
        return;
    }
    if (TRSItemProp* current = CurrentItem())
        m_selectedPath = current->GetFullName();
    m_scanAllowed = DoBeforeScan(nullptr);
    if (m_scanAllowed) {
        Items()->BeginUpdate();
        BeginUpdate();
    }
    // Every row is made anew: an uncommitted edit goes on on the row of its property path.
    SetRemakingRows(true);
    try {
        Items()->Clear();
        if (m_scanAllowed)
            ScanObjects();
        UpdateRowCount();
    } catch (...) {
        DoAfterScan(nullptr);
        SetRemakingRows(false);
        throw;
    }
    DoAfterScan(nullptr);
    SetRemakingRows(false);
    // The user's uncommitted edit keeps its row selected, whatever the rows are called now.
    if (TRSItemProp* edited = EditedRow())
        SelectItem(edited);
    else if (!m_selectedPath.isEmpty())
        SelectItem(Items()->FindByPath(m_selectedPath));
}

void TRSCustomObjectInspector::ScanObjects() {
    const bool multi = DisplayOptions() & doMultiColValues;
    if (m_objects->Count() == 0 || !m_objects->Items(0)->Object()) {
        if (multi)
            SetValueCount(2);
        return;
    }
    const QList<QObject*> objs = ObjectList();
    ++m_scanCount;
    {
        TUpdateGuard<TRSCustomObjectInspector> update(this);
        struct TVisitedReset {
            QSet<const QObject*>& visited;
            QHash<const QMetaObject*, TPropList>& propLists;
            ~TVisitedReset() {
                visited.clear();
                propLists.clear();
            }
        } reset{m_visited, m_propLists};
        SetValueCount(multi ? int(objs.size()) + 1 : 2);
        ScanProperties(objs, Items(), {});
        ApplyFilters();
        ApplyPresets();
    }
}

bool TRSCustomObjectInspector::SamePropertyInAll(const QList<QObject*>& objs, const TPropInfo& info) const {
    for (int i = 1; i < objs.size(); ++i) {
        const std::optional<TPropInfo> other = GetPropInfo(objs.at(i), info.Name());
        if (!other || other->Kind() != info.Kind() || other->TypeName() != info.TypeName())
            return false;
    }
    return true;
}

void TRSCustomObjectInspector::ScanProperties(const QList<QObject*>& objs, TRSItemProperties* rows,
                                              const QList<QObject*>& parentObjs) {
    if (objs.isEmpty())
        return;
    for (QObject* obj : objs)
        m_visited.insert(obj);
    // Objects of one class (the items of a collection) have one list of properties per scan.
    const QMetaObject* metaClass = objs.first()->metaObject();
    auto cached = m_propLists.constFind(metaClass);
    if (cached == m_propLists.cend())
        cached = m_propLists.insert(metaClass, GetPropList(metaClass, m_displayKinds, Sorted()));
    const TPropList props = *cached;
    TUpdateGuard<TRSItemProps> update(rows);
    for (const TPropInfo& info : props) {
        if (!SamePropertyInAll(objs, info))
            continue;
        TRSItemProperty* row = rows->Add();
        FillItemProperty(row, objs, info); // the first object's own: its class's list holds it
        if (ArrangeByCategory() && row->ParentRow() && row->ParentRow()->Category())
            ArrangeItem(row, Items()->Categories(), false);
    }
    TRSItemProperty* owner = rows->OwnerRow();
    if (!owner || parentObjs.isEmpty())
        return;
    if (m_inplaceCollections && owner->RowKind() == rkCollection && owner->IsAllEqual()) {
        auto* collection = qobject_cast<TCollection*>(GetObjectOfRow(parentObjs.first(), owner));
        if (collection && collection != Items())
            AddCollectionItems(owner, parentObjs);
    }
    if (m_inplaceTStrings && owner->TypeKind() == tkClass && owner->IsAllEqual() &&
        qobject_cast<TStrings*>(GetObjectOfRow(parentObjs.first(), owner)))
        AddStringsItems(owner, parentObjs);
}

void TRSCustomObjectInspector::FillItemProperty(TRSItemProperty* row, const QList<QObject*>& objs,
                                                const QString& propName) {
    FillItemProperty(row, objs, FindPropInfo(objs.first(), propName));
}

void TRSCustomObjectInspector::FillItemProperty(TRSItemProperty* row, const QList<QObject*>& objs,
                                                const TPropInfo& info) {
    QObject* obj0 = objs.first();
    const QString propName = info.Name();
    const bool multi = DisplayOptions() & doMultiColValues;
    row->SetName(propName);
    row->SetPropName(propName);
    row->SetTypeKind(info.Kind());
    row->SetTypeName(info.TypeName());
    const int columns = multi ? int(objs.size()) : 1;
    QList<TPropInfo> infos;
    for (QObject* obj : objs)
        infos << (obj == obj0 ? info : FindPropInfo(obj, propName));
    if (info.Kind() != tkInterface)
        for (int i = 0; i < columns; ++i)
            row->SetTypeDataValue(i, GetPropValue(objs.at(i), infos.at(i), false));
    QObject* value0 = info.Kind() == tkClass ? GetObjectProp(obj0, info) : nullptr;
    if (qobject_cast<TCollection*>(value0))
        row->SetRowKind(rkCollection);
    else if (info.Kind() == tkSet)
        row->SetRowKind(rkSet);
    else
        row->SetRowKind(rkPlain);
    row->SetIsRealProperty(info.Kind() != tkInterface);
    QStringList texts;
    for (int i = 0; i < objs.size(); ++i)
        texts << PropertyText(objs.at(i), row, infos.at(i));
    row->Values().Get(0); // one line per value column
    for (int i = 0; i < columns; ++i)
        row->Values().Put(i, texts.at(i));
    // Exactly equal texts only: "abc" and "ABC" are different values.
    bool allEqual = objs.size() == 1;
    if (!multi && objs.size() > 1)
        allEqual =
            std::all_of(texts.begin(), texts.end(), [&](const QString& t) { return t == texts.first(); });
    row->SetIsAllEqual(allEqual);
    bool readOnly = false;
    if (!info.IsWritable() || info.Kind() == tkMethod || info.Kind() == tkInterface)
        readOnly = true;
    else if (info.Kind() == tkClass)
        readOnly = !texts.first().isEmpty() && !qobject_cast<TComponent*>(value0);
    row->SetReadOnly(readOnly);
    switch (info.Kind()) {
    case tkEnumeration: {
        QStringList names = GetEnumNames(info);
        SortList(names);
        row->SetPickList(names);
        break;
    }
    case tkSet:
        FillSetMembers(row, objs, info);
        break;
    case tkClass: {
        QList<QObject*> values;
        for (int i = 0; i < objs.size(); ++i) {
            QObject* value = GetObjectProp(objs.at(i), infos.at(i));
            if (!value || (!m_inplaceComponents && qobject_cast<TComponent*>(value)) ||
                m_visited.contains(value))
                continue;
            values << value;
        }
        if (values.size() == objs.size()) {
            if (DoBeforeScan(row))
                ScanProperties(values, row->Items(), objs);
            DoAfterScan(row);
        }
        break;
    }
    default:
        break;
    }
}

void TRSCustomObjectInspector::FillSetMembers(TRSItemProperty* row, const QList<QObject*>& objs,
                                              const TPropInfo& info) {
    const bool multi = DisplayOptions() & doMultiColValues;
    const int columns = multi ? int(objs.size()) : 1;
    QList<qint64> sets;
    for (QObject* obj : objs)
        sets << GetOrdProp(obj, FindPropInfo(obj, info.Name()));
    TRSItemProperties* members = row->Items();
    members->SetSorted(false);
    TUpdateGuard<TRSItemProps> update(members);
    for (const TSetElement& element : GetSetElements(info)) {
        TRSItemProperty* member = members->Add();
        member->SetName(element.Name);
        member->SetPropName(element.Name);
        member->SetRowKind(rkSetMember);
        member->SetTypeKind(tkEnumeration);
        member->SetTypeName(QStringLiteral("Boolean"));
        member->SetIsRealProperty(false);
        member->Values().Get(0);
        for (int i = 0; i < columns; ++i) {
            member->SetTypeDataValue(i, element.Ordinal);
            const bool set = (sets.at(i) >> element.Ordinal) & 1;
            member->Values().Put(i, set ? QStringLiteral("True") : QStringLiteral("False"));
        }
        // Each object's own bit decides, not the member's ordinal (the same in every entry).
        bool allEqual = objs.size() == 1;
        if (!multi && objs.size() > 1)
            allEqual = std::all_of(sets.begin(), sets.end(), [&](qint64 s) {
                return ((s >> element.Ordinal) & 1) == ((sets.first() >> element.Ordinal) & 1);
            });
        member->SetIsAllEqual(allEqual);
        member->SetPickList({QStringLiteral("False"), QStringLiteral("True")});
    }
}

void TRSCustomObjectInspector::AddCollectionItems(TRSItemProperty* row, const QList<QObject*>& objs) {
    QList<TCollection*> collections;
    for (QObject* obj : objs) {
        auto* collection = qobject_cast<TCollection*>(GetObjectOfRow(obj, row));
        if (!collection || (!collections.isEmpty() && collection->Count() != collections.first()->Count()))
            return;
        collections << collection;
    }
    const bool multi = DisplayOptions() & doMultiColValues;
    const int columns = multi ? int(collections.size()) : 1;
    TRSItemProperties* rows = row->Items();
    TUpdateGuard<TRSItemProps> update(rows);
    const int count = collections.first()->Count();
    // A sorted level takes the rows in their sorted order ("Items[10]" before "Items[2]"), so that no row
    // has to move to its place; the items are then scanned in their own order.
    std::vector<QString> names(count);
    std::vector<int> order(count);
    for (int index = 0; index < count; ++index) {
        names[index] = FormatItemName(m_collectionItemFormat, index);
        order[index] = index;
    }
    if (rows->Sorted())
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return rows->CompareNames(names[a], names[b]) < 0; });
    std::vector<TRSItemProperty*> itemRows(count);
    for (int index : order) {
        itemRows[index] = rows->Add();
        itemRows[index]->SetName(names[index]);
    }
    for (int index = 0; index < count; ++index) {
        TRSItemProperty* itemRow = itemRows[index];
        const QString& name = names[index];
        itemRow->SetPropName(name);
        itemRow->SetTypeKind(tkClass);
        TCollectionItem* first = collections.first()->Items(index);
        itemRow->SetTypeName(QString::fromLatin1(first->metaObject()->className()));
        itemRow->SetIsRealProperty(false);
        itemRow->SetRowKind(rkCollectionItem);
        // A typed edit follows each object's item, not the place.
        std::vector<TRSRowOrigin> origins(collections.size());
        for (qsizetype i = 0; i < collections.size(); ++i)
            origins[i].Object = collections.at(i)->Items(index);
        itemRow->SetOrigins(std::move(origins));
        itemRow->Values().Get(0);
        for (int i = 0; i < columns; ++i) {
            itemRow->SetTypeDataValue(i, index);
            itemRow->Values().Put(i, collections.at(i)->Items(index)->DisplayName());
        }
        itemRow->SetIsAllEqual(true);
        itemRow->SetReadOnly(true);
        QList<QObject*> items;
        for (TCollection* collection : collections) {
            TCollectionItem* item = collection->Items(index);
            if (!m_visited.contains(item))
                items << item;
        }
        if (!items.isEmpty()) {
            if (DoBeforeScan(itemRow))
                ScanProperties(items, itemRow->Items(), objs);
            DoAfterScan(itemRow);
        }
    }
}

void TRSCustomObjectInspector::AddStringsItems(TRSItemProperty* row, const QList<QObject*>& objs) {
    QList<TStrings*> lists;
    for (QObject* obj : objs) {
        auto* list = qobject_cast<TStrings*>(GetObjectOfRow(obj, row));
        if (!list)
            return;
        lists << list;
    }
    TRSItemProperties* rows = row->Items();
    rows->SetSorted(m_inplaceTStringsOptions & isSort);
    const int count = lists.first()->Count();
    if (std::any_of(lists.begin(), lists.end(), [&](TStrings* l) { return l->Count() != count; }))
        return;
    const bool multi = DisplayOptions() & doMultiColValues;
    const int columns = multi ? int(lists.size()) : 1;
    TUpdateGuard<TRSItemProps> update(rows);
    for (int i = 0; i < count; ++i) {
        TStrings* first = lists.first();
        bool nameValue = (m_inplaceTStringsOptions & isUseNameValue) && !first->Names(i).isEmpty();
        for (TStrings* l : lists) {
            const QString line = l->Strings(i);
            if (!(line.contains(l->NameValueSeparator()) || line.isEmpty()) || l->Names(i) != first->Names(i))
                nameValue = false;
        }
        TRSItemProperty* lineRow = nullptr;
        if (nameValue) {
            const QString name = first->Names(i);
            TRSItemProperty* existing = rows->FindByPath(name);
            lineRow = rows->AddByPath(name, QString(), existing && existing->HasItems());
            bool equal = true;
            for (TStrings* l : lists)
                equal = equal && l->ValueFromIndex(i) == first->ValueFromIndex(i);
            lineRow->SetIsAllEqual(equal);
            lineRow->Values().Get(0);
            for (int c = 0; c < columns; ++c) {
                lineRow->SetTypeDataValue(c, i);
                lineRow->Values().Put(c, lists.at(c)->ValueFromIndex(i));
            }
            if (first->Strings(i).contains(first->NameValueSeparator()))
                BindNameValue(lineRow);
            else
                BindPlainLine(lineRow);
            // Rows made on the way for a name holding the path delimiter stand for no line of their own.
            for (TRSItemProperty* p = lineRow->ParentRow(); p && p != row; p = p->ParentRow())
                if (p->TypeName().isEmpty()) {
                    p->SetIsAllEqual(true);
                    p->SetTypeDataValue(0, -1);
                    p->SetRowKind(rkStringsItem);
                    p->SetTypeName(kStringsItemType);
                    BindNameValue(p);
                }
        } else {
            lineRow = rows->Add();
            lineRow->SetName(FormatItemName(m_stringsItemFormat, i));
            bool equal = true;
            for (TStrings* l : lists)
                equal = equal && l->Strings(i) == first->Strings(i);
            lineRow->SetIsAllEqual(equal);
            lineRow->Values().Get(0);
            for (int c = 0; c < columns; ++c) {
                lineRow->SetTypeDataValue(c, i);
                lineRow->Values().Put(c, lists.at(c)->Strings(i));
            }
            BindPlainLine(lineRow);
        }
        lineRow->SetRowKind(rkStringsItem);
        lineRow->SetTypeName(kStringsItemType);
        // A typed edit follows each list's line.
        std::vector<TRSRowOrigin> origins;
        for (TStrings* l : lists)
            origins.push_back(TRSRowOrigin::OfLine(l, i));
        lineRow->SetOrigins(std::move(origins));
    }
}

bool TRSCustomObjectInspector::LineMoved(TRSItemProperty* row, QObject* list, int index) {
    // Lines came or went since the row was made and this one is elsewhere now, or gone: what was typed
    // for it goes nowhere, and the rows are made again.
    if (row->Origins().empty())
        return false;
    const TRSRowOrigin* origin = row->OriginOf(list);
    if (origin && origin->LineIndexNow() == index)
        return false;
    PostRescan();
    return true;
}

void TRSCustomObjectInspector::BindPlainLine(TRSItemProperty* row) {
    row->OnGetProperty = [](QObject* sender, QObject* instance, const QString&, QString& value) {
        auto* self = qobject_cast<TRSItemProperty*>(sender);
        auto* list = qobject_cast<TStrings*>(instance);
        const int index = self ? self->TypeDataAt(0).toInt() : -1;
        value = list && index >= 0 && index < list->Count() ? list->Strings(index) : QString();
    };
    row->OnSetProperty = [this](QObject* sender, QObject* instance, const QString&, const QString& value) {
        auto* self = qobject_cast<TRSItemProperty*>(sender);
        auto* list = qobject_cast<TStrings*>(instance);
        const int index = self ? self->TypeDataAt(0).toInt() : -1;
        if (!list || LineMoved(self, list, index))
            return;
        list->Put(index, value);
        PostRescan();
    };
}

void TRSCustomObjectInspector::BindNameValue(TRSItemProperty* row) {
    row->OnGetProperty = [](QObject* sender, QObject* instance, const QString&, QString& value) {
        auto* self = qobject_cast<TRSItemProperty*>(sender);
        auto* list = qobject_cast<TStrings*>(instance);
        const int index = self ? self->TypeDataAt(0).toInt() : -1;
        value = list && index >= 0 && index < list->Count() ? list->ValueFromIndex(index) : QString();
    };
    row->OnSetProperty = [this](QObject* sender, QObject* instance, const QString&, const QString& value) {
        auto* self = qobject_cast<TRSItemProperty*>(sender);
        auto* list = qobject_cast<TStrings*>(instance);
        if (!self || !list)
            return;
        // The line's name is the path from the list's row down to this row.
        QString name = self->PropName();
        for (TRSItemProperty* p = self->ParentRow(); p && p->RowKind() == rkStringsItem; p = p->ParentRow())
            name = p->PropName() + PathDelimiter() + name;
        const QString line = name + list->NameValueSeparator() + value;
        const int index = self->TypeDataAt(0).toInt();
        if (index < 0)
            list->Add(line);
        else if (!LineMoved(self, list, index))
            list->Put(index, line);
        PostRescan();
    };
}

void TRSCustomObjectInspector::CollectAllRows(QList<TRSItemProperty*>& rows) const {
    rows.resize(0); // keeps the buffer of the last pass
    qsizetype count = Items()->Count();
    for (int i = 0; i < Items()->Count(); ++i)
        count += Items()->Items(i)->DescendantCount();
    rows.reserve(count);
    std::function<void(TRSItemProperty*)> walk = [&](TRSItemProperty* row) {
        rows << row;
        if (row->HasItems())
            for (int i = 0; i < row->Items()->Count(); ++i)
                walk(row->Items()->Items(i));
    };
    TRSItemProperties* items = Items();
    for (int i = 0; i < items->Count(); ++i)
        walk(items->Items(i));
}

void TRSCustomObjectInspector::ApplyFilters() {
    if (m_filters->Count() == 0)
        return;
    // Every row at every level, collapsed or not: a sub-row shown later by expanding is filtered too.
    // From the last row in tree order to the first: a row's sub-rows go before it does, so no row is met
    // after its deletion, and each level loses its rows from the end.
    const bool paths = std::any_of(m_filters->Lines().begin(), m_filters->Lines().end(),
                                   [&](const QString& f) { return f.contains(PathDelimiter()); });
    std::function<void(TRSItemProperties*)> walk = [&](TRSItemProperties* level) {
        for (int i = level->Count() - 1; i >= 0; --i) {
            TRSItemProperty* row = level->Items(i);
            if (row->HasItems())
                walk(row->Items());
            // A full path is built only when some filter is one.
            if (m_filters->IndexOf(row->Name()) >= 0 ||
                (paths && m_filters->IndexOf(row->GetFullName()) >= 0))
                level->Delete(i);
        }
    };
    walk(Items());
}

void TRSCustomObjectInspector::ApplyPresets() {
    if (Destroying() || !m_presets || m_presets->Count() == 0)
        return;
    // Every row at every level, each once: a row that a preset hides does not cost the next its presets.
    // The buffer is taken for the pass (a handler may start another pass, which then makes its own).
    QList<TRSItemProperty*> rows = std::exchange(m_allRows, {});
    CollectAllRows(rows);
    m_presets->ApplyToItems(rows);
    m_allRows = std::move(rows);
}

void TRSCustomObjectInspector::PresetsChanged() {
    if (!Loading())
        ApplyPresets();
}

void TRSCustomObjectInspector::DoCustomPreset(TRSPropertyPreset* preset, TRSItemProperty* item) {
    if (OnCustomPreset)
        OnCustomPreset(this, preset, item);
}

void TRSCustomObjectInspector::DoMatchPreset(TRSPropertyPreset* preset, TRSItemProperty* item, bool& result) {
    if (OnMatchPreset)
        OnMatchPreset(this, preset, item, result);
}

// ---- values and instances ----------------------------------------------------------------------------

QString TRSCustomObjectInspector::GetPropertyText(QObject* instance, TRSItemProperty* row) {
    if (row->OnGetProperty) {
        QString value;
        row->OnGetProperty(row, instance, row->PropName(), value);
        return value;
    }
    return PropertyText(instance, row, FindPropInfo(instance, row->PropName()));
}

QString TRSCustomObjectInspector::PropertyText(QObject* instance, TRSItemProperty* row,
                                               const TPropInfo& info) {
    if (row->OnGetProperty)
        return GetPropertyText(instance, row);
    switch (info.Kind()) {
    case tkInteger:
    case tkChar:
    case tkWChar:
        return QString::number(GetOrdProp(instance, info));
    case tkEnumeration:
        return GetEnumProp(instance, info);
    case tkFloat:
        return FloatToStr(GetFloatProp(instance, info));
    case tkString:
    case tkLString:
    case tkWString:
        return GetStrProp(instance, info);
    case tkSet:
        return GetSetProp(instance, info, true);
    case tkClass: {
        QObject* value = GetObjectProp(instance, info);
        if (!value)
            return QString();
        if (auto* component = qobject_cast<TComponent*>(value))
            return component->Name();
        return u'(' + info.TypeName() + u')';
    }
    case tkMethod:
    case tkInterface:
        return info.TypeName();
    case tkVariant:
        return GetVariantProp(instance, info).toString();
    case tkInt64:
        return QString::number(GetInt64Prop(instance, info));
    default:
        throw EPropertyConvertError(QStringLiteral("Invalid property type: %1").arg(info.TypeName()));
    }
}

QObject* TRSCustomObjectInspector::GetInstanceOfItem(QObject* obj, TRSItemProperty* row) {
    if (!obj || !row)
        return nullptr;
    if (row->RowKind() == rkStringsItem) {
        // A line belongs to the list of the nearest row that holds the list.
        TRSItemProperty* listRow = row->ParentRow();
        while (listRow && listRow->RowKind() == rkStringsItem)
            listRow = listRow->ParentRow();
        return listRow ? qobject_cast<TStrings*>(GetObjectOfRow(obj, listRow)) : nullptr;
    }
    QList<TRSItemProperty*> chain;
    for (TRSItemProperty* r = row; r; r = r->ParentRow())
        chain.prepend(r);
    QObject* instance = obj;
    for (qsizetype k = 0; k + 1 < chain.size(); ++k) {
        TRSItemProperty* r = chain.at(k);
        if (r->Category())
            continue;
        if (m_inplaceCollections && r->RowKind() == rkCollectionItem) {
            auto* collection = qobject_cast<TCollection*>(instance);
            const QVariant stored = r->TypeDataAt(0);
            const int index = stored.isValid() ? stored.toInt() : -1;
            if (!collection || index < 0 || index >= collection->Count())
                return nullptr;
            instance = collection->Items(index);
            // The row's item no longer at its place (moved or gone): the path leads nowhere.
            if (!r->Origins().empty() && !r->OriginOf(instance))
                return nullptr;
        } else {
            const std::optional<TPropInfo> info = GetPropInfo(instance, r->PropName());
            if (!info || info->Kind() != tkClass)
                return nullptr;
            instance = GetObjectProp(instance, *info);
        }
        if (!instance)
            return nullptr;
    }
    return instance;
}

QObject* TRSCustomObjectInspector::GetObjectOfRow(QObject* obj, TRSItemProperty* row) {
    QObject* instance = GetInstanceOfItem(obj, row);
    if (!instance)
        return nullptr;
    if (row->RowKind() == rkCollectionItem) {
        auto* collection = qobject_cast<TCollection*>(instance);
        const int index = row->TypeDataAt(0).isValid() ? row->TypeDataAt(0).toInt() : -1;
        if (!collection || index < 0 || index >= collection->Count())
            return nullptr;
        QObject* item = collection->Items(index);
        return !row->Origins().empty() && !row->OriginOf(item) ? nullptr : item;
    }
    const std::optional<TPropInfo> info = GetPropInfo(instance, row->PropName());
    if (!info || info->Kind() != tkClass)
        return nullptr;
    return GetObjectProp(instance, *info);
}

// ---- writing values ----------------------------------------------------------------------------------

void TRSCustomObjectInspector::DoPropertyChanging(TRSItemProperty* item) {
    item->SetIsAllEqual(!(DisplayOptions() & doMultiColValues));
    if (OnPropertyChanging)
        OnPropertyChanging(this, item);
}

void TRSCustomObjectInspector::DoPropertyChanged(int index, bool changed) {
    if (!Destroying())
        QCoreApplication::postEvent(this,
                                    new TRSInspectorMessage(CM_PROPERTYCHANGED, index, changed ? 1 : 0));
}

void TRSCustomObjectInspector::HandlePropertyChanged(int index, bool changed) {
    // The rows show the stored values again in any case; only a value that changed is news to the host
    // (a refused one must not mark anything modified).
    if (!RefreshValues(Items()))
        PostRescan();
    if (changed && index >= 0 && index < VisibleCount() && OnPropertyChanged)
        OnPropertyChanged(this, GetVisibleItem(index));
}

std::optional<QString> TRSCustomObjectInspector::CurrentText(QObject* obj, TRSItemProperty* item) {
    try {
        if (QObject* target = GetInstanceOfItem(obj, item))
            return GetPropertyText(target, item);
    } catch (const Exception&) {
    }
    return std::nullopt;
}

bool TRSCustomObjectInspector::SetPropertyValue(QObject* instance, TRSItemProperty* item,
                                                const QString& value) {
    QObject* target = GetInstanceOfItem(instance, item);
    const QString old = target ? GetPropertyText(target, item) : QString();
    const bool result = old != value;
    if (item->OnSetProperty) {
        item->OnSetProperty(item, target, item->PropName(), value);
        return result;
    }
    if (!target)
        throw Exception(_("Item \"%1\" is not a real property").arg(item->GetFullPath()));
    const TPropInfo info = FindPropInfo(target, item->PropName());
    if (info.Kind() == tkEnumeration && info.TypeName() == QLatin1String("WordBool"))
        SetPropValue(target, info, StrToPropValue(info, value).toLongLong() != 0);
    else
        SetPropValue(target, info, QVariant(value));
    return result;
}

void TRSCustomObjectInspector::ApplyItemValue(TRSItemProperty* item) {
    const bool multi = DisplayOptions() & doMultiColValues;
    ApplyItemValue(item, [&](int i, QObject*) { return multi ? item->Values().Get(i) : item->Value(); });
}

void TRSCustomObjectInspector::ApplyItemValue(TRSItemProperty* item,
                                              const std::function<QString(int, QObject*)>& textFor) {
    QList<QPointer<QObject>> objects;
    for (QObject* obj : ObjectList())
        objects << obj;
    int index = -1;
    // A write took effect when some object's value reads differently afterwards (or cannot be compared);
    // a write routine that refuses the value keeps the old one and reports that itself.
    bool changed = false;
    {
        TWriteScope writing(m_writeDepth);
        DoPropertyChanging(item);
        index = item->VisibleIndex();
        try {
            for (int i = 0; i < objects.size(); ++i) {
                if (!objects.at(i))
                    continue; // freed by an earlier write
                const QString text = textFor(i, objects.at(i));
                const std::optional<QString> before = CurrentText(objects.at(i), item);
                SetPropertyValue(objects.at(i), item, text);
                if (!changed) {
                    const std::optional<QString> after =
                        objects.at(i) ? CurrentText(objects.at(i), item) : std::nullopt;
                    changed = !before || !after || *before != *after;
                }
            }
        } catch (...) {
            DoPropertyChanged(index, changed);
            throw;
        }
    }
    DoPropertyChanged(index, changed);
}

bool TRSCustomObjectInspector::RefreshValues(TRSItemProperties* rows) {
    if (Destroying() || m_objects->UpdateCount() > 0)
        return true;
    bool result = true;
    {
        TUpdateGuard<TRSCustomObjectInspector> update(this);
        std::function<bool(TRSItemProperties*)> walk = [&](TRSItemProperties* level) {
            for (int i = 0; i < level->Count(); ++i) {
                TRSItemProperty* row = level->Items(i);
                if (!row->RefreshValue())
                    return false;
                if (row->HasItems() && !walk(row->Items()))
                    return false;
            }
            return true;
        };
        result = walk(rows);
    }
    InvalidateGrid();
    // An editor that holds no edit of its own shows the value as it is now.
    if (TRSInplaceEditList* editor = Editor(); editor && editor->isVisible() && !editor->Modified())
        InvalidateEditor();
    return result;
}

void TRSCustomObjectInspector::RefreshOrRescan() {
    if (Destroying() || m_objects->UpdateCount() > 0)
        return;
    if (!RefreshValues(Items()))
        PostRescan();
}

void TRSCustomObjectInspector::CopyToClipboard() {
    auto* row = qobject_cast<TRSItemProperty*>(CurrentItem());
    if (!row)
        return;
    QObject* value = nullptr;
    try {
        value = row->GetObjectValue(-1);
    } catch (const Exception&) {
        return; // not an object row
    }
    if (value) {
        QEvent copy(WM_COPY_Event());
        QCoreApplication::sendEvent(value, &copy);
    }
}

void TRSCustomObjectInspector::PasteFromClipboard() {
    auto* row = qobject_cast<TRSItemProperty*>(CurrentItem());
    if (!row)
        return;
    const int count = int(ObjectList().size());
    try {
        if (!row->GetObjectValue(-1))
            return;
        for (int i = 0; i < count; ++i)
            if (QObject* value = row->GetObjectValue(i)) {
                QEvent paste(WM_PASTE_Event());
                QCoreApplication::sendEvent(value, &paste);
            }
    } catch (const Exception&) {
        return;
    }
    PostRescan();
}

// ---- cells -------------------------------------------------------------------------------------------

void TRSCustomObjectInspector::GetCellText(int col, int row, QString& text) {
    text.clear();
    const int item = ItemIndexOf(col, row);
    const int value = ValueIndexOf(col, row);
    if (item < FixedItems()) {
        if (!(DisplayOptions() & doColumnTitles))
            return;
        const QList<QObject*> objs = ObjectList();
        if (m_dynamicTitleCaptions && value >= 1 && value <= objs.size()) {
            QObject* obj = objs.at(value - 1);
            if (auto* component = qobject_cast<TComponent*>(obj))
                text = component->Name();
            else if (auto* collectionItem = qobject_cast<TCollectionItem*>(obj))
                text = collectionItem->DisplayName();
            else
                text = QString::fromLatin1(obj->metaObject()->className());
            return;
        }
        const QStringList captions = TitleCaptions();
        if (!captions.isEmpty())
            text = value < captions.size() ? captions.at(value) : captions.last();
        return;
    }
    auto* r = qobject_cast<TRSItemProperty*>(ItemAtCell(col, row));
    if (!r)
        return;
    if (value == 0) {
        text = r->Name();
        return;
    }
    if (!(DisplayOptions() & doMultiColValues) && !r->IsAllEqual() && !r->Category() &&
        !(col == Col() && row == Row()))
        return; // values that differ between objects show nowhere but in the current cell
    text = r->Values().Get(value - 1);
}

std::shared_ptr<const TRSRowIdentity> TRSCustomObjectInspector::RowIdentity(const TRSItemProp* row) const {
    const auto* property = qobject_cast<const TRSItemProperty*>(row);
    return property ? InspectorRowIdentity(property) : TRSCustomItemListEditor::RowIdentity(row);
}

QString TRSCustomObjectInspector::RowKey(const TRSItemProp* row) const {
    const auto* property = qobject_cast<const TRSItemProperty*>(row);
    return property ? property->GetFullPath() : TRSCustomItemListEditor::RowKey(row);
}

TEditStyle TRSCustomObjectInspector::GetEditStyle(int col, int row) {
    TEditStyle style = TRSCustomItemListEditor::GetEditStyle(col, row);
    if (style == esPickList)
        if (TRSItemProp* r = ItemAtCell(col, row); r && r->GetReadOnly())
            style = esSimple;
    return style;
}

// ---- streaming ---------------------------------------------------------------------------------------

void TRSCustomObjectInspector::WriteDefinedProperties(TWriter& writer) const {
    TGSpecialFiler filer(&writer);
    if (m_presets->Count() > 0) {
        writer.WritePropName(QStringLiteral("HPresets"));
        filer.WriteCollection(m_presets.get());
    }
    writer.WritePropName(QStringLiteral("HItems"));
    filer.WriteCollection(Items());
    TRSCustomItemListEditor::WriteDefinedProperties(writer);
    // The changed-value font stores only where it differs from the value font it follows.
    WriteFontAttributes(writer, QStringLiteral("ValueChangedFont."), *m_valueChangedFont,
                        m_valueChangedFont->DeltaMask());
}

bool TRSCustomObjectInspector::ReadDefinedProperty(TReader& reader, const QString& name) {
    const QString changedFont = QStringLiteral("ValueChangedFont.");
    if (name.startsWith(changedFont)) {
        const unsigned bit = ReadFontAttribute(reader, name.mid(changedFont.size()), *m_valueChangedFont);
        m_valueChangedFont->AddDelta(bit);
        return bit != 0;
    }
    if (TRSCustomItemListEditor::ReadDefinedProperty(reader, name))
        return true;
    TGSpecialFiler filer(&reader);
    if (name == QLatin1String("HPresets")) {
        filer.ReadCollection(m_presets.get());
        // Presets are read away from the inspector: their fonts take what they do not store from it now.
        for (int i = 0; i < m_presets->Count(); ++i) {
            m_presets->Items(i)->InspectorFontChanged();
            m_presets->Items(i)->InspectorValueFontChanged();
        }
        return true;
    }
    if (name == QLatin1String("HItems")) {
        filer.ReadCollectionInPlace(Items());
        return true;
    }
    return false;
}

void TRSCustomObjectInspector::BeginLoading() {
    SetLoading(true);
}

void TRSCustomObjectInspector::Loaded() {
    SetLoading(false);
    ApplyPresets();
}

void TRSCustomObjectInspector::Assign(const TRSCustomObjectInspector& source) {
    if (&source == this)
        return;
    SetCollectionItemFormat(source.m_collectionItemFormat);
    SetShowValueChangedFont(source.m_showValueChangedFont);
    SetInplaceCollections(source.m_inplaceCollections);
    SetInplaceComponents(source.m_inplaceComponents);
    SetInplaceTStrings(source.m_inplaceTStrings);
    SetInplaceTStringsOptions(source.m_inplaceTStringsOptions);
    SetStringsItemFormat(source.m_stringsItemFormat);
    SetDisplayKinds(source.m_displayKinds);
    SetDynamicTitleCaptions(source.m_dynamicTitleCaptions);
    m_filters->SetLines(source.m_filters->Lines());
    {
        TUpdateGuard<TCollection> update(m_presets.get());
        m_presets->Clear();
        for (int i = 0; i < source.m_presets->Count(); ++i)
            m_presets->Add(source.m_presets->Items(i)->metaObject())->Assign(*source.m_presets->Items(i));
    }
    m_objects->Assign(*source.m_objects);
    m_valueChangedFont->Assign(*source.m_valueChangedFont);
}
