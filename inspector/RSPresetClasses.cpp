#include "inspector/RSPresetClasses.h"
#include "classlib/Component.h"
#include "classlib/DateUtils.h"
#include "classlib/Dialogs.h"
#include "classlib/Graphics.h"
#include "classlib/ListItems.h"
#include "classlib/Translation.h"
#include "classlib/TreeNodes.h"
#include "inspector/RSCustomItemsDialog.h"
#include "inspector/RSModalDialogs.h"
#include "inspector/RSObjectInspector.h"
#include "inspector/RSTCollectionEditor.h"
#include "inspector/RSTDateEditor.h"
#include "inspector/RSTStringsEditor.h"
#include <QCursor>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QGuiApplication>
#include <QScreen>

namespace {

const QColor kMaroon(0x80, 0x00, 0x00);
const QColor kGreen(0x00, 0x80, 0x00);

// The property of a handler call on its instance (nothing without an instance or such a property).
std::optional<TPropInfo> PropOf(QObject* instance, const QString& propName) {
    return instance ? GetPropInfo(instance, propName) : std::nullopt;
}

// The value column of the current object (0 without multi-column values).
int CurrentColumn(TRSItemProperty* row) {
    TRSCustomObjectInspector* inspector = row->Inspector();
    if (!inspector || !(inspector->DisplayOptions() & doMultiColValues))
        return 0;
    return std::max(0, inspector->CurValue() - 1);
}

// The object value of a row for the current object, or nullptr when the row has none.
QObject* CurrentObject(TRSItemProperty* row) {
    try {
        return row->GetObjectValue(-1);
    } catch (const Exception&) {
        return nullptr;
    }
}

// Changes an object that a row's property holds (a font, a string list) in place, inside the inspector's
// change notification, as a typed write of the row would.
template <class F> void ChangeHeldObject(TRSItemProperty* row, F&& change) {
    TRSCustomObjectInspector* inspector = row->Inspector();
    if (!inspector) {
        change();
        return;
    }
    QPointer<TRSCustomObjectInspector> guard(inspector);
    const int shown = row->VisibleIndex();
    inspector->DoPropertyChanging(row);
    try {
        change();
    } catch (...) {
        if (guard)
            guard->DoPropertyChanged(shown);
        throw;
    }
    if (guard)
        guard->DoPropertyChanged(shown);
}

// Puts a chosen text into the row's current value column and validates and commits it.
void CommitText(TRSItemProperty* row, const QString& text) {
    const int column = CurrentColumn(row);
    row->Values().Get(0); // sizes the lines to the value columns
    if (column < row->Values().Count())
        row->Values().Put(column, text);
    else
        row->SetValue(text);
    row->DoValidate();
}

// The components a reference may name: those owned by the inspector's owner (the window holding it), in
// ownership order, then those owned by the owner of the object that holds the property (model objects
// here live in their own owner, not in the inspector's window).
QList<TComponent*> OwnerComponents(TRSCustomObjectInspector* inspector, QObject* instance) {
    QList<TComponent*> list;
    auto addOwned = [&list](QObject* owner) {
        if (!owner)
            return;
        if (auto* component = qobject_cast<TComponent*>(owner)) {
            for (int i = 0; i < component->ComponentCount(); ++i)
                if (!list.contains(component->Components(i)))
                    list << component->Components(i);
            return;
        }
        for (QObject* child : owner->children())
            if (auto* component = qobject_cast<TComponent*>(child); component && !list.contains(component))
                list << component;
    };
    addOwned(inspector ? inspector->parent() : nullptr);
    if (auto* component = qobject_cast<TComponent*>(instance))
        addOwned(component->Owner());
    return list;
}

// The instance that holds a row's property for the current object.
QObject* CurrentInstance(TRSItemProperty* row) {
    TRSCustomObjectInspector* inspector = row->Inspector();
    if (!inspector || inspector->ObjectList().isEmpty())
        return nullptr;
    const QList<QObject*> objects = inspector->ObjectList();
    const int index =
        (inspector->DisplayOptions() & doMultiColValues) ? std::max(0, inspector->CurValue() - 1) : 0;
    return inspector->GetInstanceOfItem(objects.value(index, objects.first()), row);
}

// The declared class of a row's class property, else the class of its object.
const QMetaObject* DeclaredClass(TRSItemProperty* row) {
    TRSCustomObjectInspector* inspector = row->Inspector();
    if (inspector && !inspector->ObjectList().isEmpty()) {
        QObject* obj = inspector->ObjectList().value(std::max(0, inspector->CurValue() - 1));
        if (const auto info = PropOf(inspector->GetInstanceOfItem(obj, row), row->PropName()))
            if (info->ClassType())
                return info->ClassType();
    }
    try {
        return row->GetObjectClass(-1);
    } catch (const Exception&) {
        return nullptr;
    }
}

QString OpenFileName(QWidget* owner, const QString& title, const QStringList& filters, int filterIndex,
                     const QString& initialDir, const QString& defaultExt, const QString& current,
                     bool mustExist, bool showHidden) {
    QFileDialog dialog(owner, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (filterIndex >= 1 && filterIndex <= filters.size())
            dialog.selectNameFilter(filters.at(filterIndex - 1));
    }
    if (showHidden)
        dialog.setFilter(dialog.filter() | QDir::Hidden);
    if (!initialDir.isEmpty())
        dialog.setDirectory(initialDir);
    if (!defaultExt.isEmpty())
        dialog.setDefaultSuffix(defaultExt);
    if (!current.isEmpty())
        dialog.selectFile(current);
    if (ExecuteModal(&dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

// "caption|patterns|caption|patterns" as name filters: "caption (pattern pattern)".
QStringList FilterToNameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString caption = parts.at(i);
        if (const qsizetype paren = caption.indexOf(QLatin1String(" (")); paren >= 0)
            caption = caption.left(paren);
        QStringList patterns = parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns)
            if (p == QLatin1String("*.*"))
                p = QStringLiteral("*");
        filters << caption + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + u')';
    }
    return filters;
}

// The unit's start-up and shut-down: the built-in presets are registered once, in table order, and
// unregistered at the end.
struct TPresetUnit {
    TPresetUnit() { RegisterPropertyPresetClasses(BuiltInPresetClasses()); }
    ~TPresetUnit() { UnregisterPropertyPresetClasses(BuiltInPresetClasses()); }
};

const TPresetUnit gPresetUnit;

} // namespace

QList<const QMetaObject*> BuiltInPresetClasses() {
    return {
        &TRSTComponentPropertyPreset::staticMetaObject,
        &TRSTParentComponentPropertyPreset::staticMetaObject,
        &TRSTFontNamePropertyPreset::staticMetaObject,
        &TRSTColorPropertyPreset::staticMetaObject,
        &TRSTCursorPropertyPreset::staticMetaObject,
        &TRSTFontDlgPropertyPreset::staticMetaObject,
        &TRSTStringsPropertyPreset::staticMetaObject,
        &TRSTPicturePropertyPreset::staticMetaObject,
        &TRSTCollectionPropertyPreset::staticMetaObject,
        &TRSTDatePropertyPreset::staticMetaObject,
        &TRSTTimePropertyPreset::staticMetaObject,
        &TRSTDateTimePropertyPreset::staticMetaObject,
        &TRSTFilenamePropertyPreset::staticMetaObject,
        &TRSTModalResultPropertyPreset::staticMetaObject,
        &TRSTINIStringsPropertyPreset::staticMetaObject,
        &TRSTListItemsDlgPropertyPreset::staticMetaObject,
        &TRSTTreeNodesDlgPropertyPreset::staticMetaObject,
        &TRSFilenamePropPropertyPreset::staticMetaObject,
    };
}

std::vector<std::type_index> BuiltInPresetTypes() {
    return {
        typeid(TRSTComponentPropertyPreset),    typeid(TRSTParentComponentPropertyPreset),
        typeid(TRSTFontNamePropertyPreset),     typeid(TRSTColorPropertyPreset),
        typeid(TRSTCursorPropertyPreset),       typeid(TRSTFontDlgPropertyPreset),
        typeid(TRSTStringsPropertyPreset),      typeid(TRSTPicturePropertyPreset),
        typeid(TRSTCollectionPropertyPreset),   typeid(TRSTDatePropertyPreset),
        typeid(TRSTTimePropertyPreset),         typeid(TRSTDateTimePropertyPreset),
        typeid(TRSTFilenamePropertyPreset),     typeid(TRSTModalResultPropertyPreset),
        typeid(TRSTINIStringsPropertyPreset),   typeid(TRSTListItemsDlgPropertyPreset),
        typeid(TRSTTreeNodesDlgPropertyPreset), typeid(TRSFilenamePropPropertyPreset),
    };
}

void EnsureBuiltInPresetsRegistered() {
    (void)&gPresetUnit;
}

// ---- 1: component references -------------------------------------------------------------------------

TRSTComponentPropertyPreset::TRSTComponentPropertyPreset(TCollection* collection)
    : TRSPropertyPreset(collection) {
    SetName(QStringLiteral("TComponent Drop Down List Property Editor"));
    SetTypeKinds({tkClass});
    TypeNames()->Add(QStringLiteral("TComponent"));
    SetEditStyle(esPickList);
    SetActions(Actions() | pftValidate);
    Font()->SetColor(kMaroon);
    OnGetPickList = Bind(&TRSTComponentPropertyPreset::GetPickList);
    OnSetProperty = Bind(&TRSTComponentPropertyPreset::SetProperty);
}

void TRSTComponentPropertyPreset::GetPickList(QObject* sender, const QString& propName, QStringList& values) {
    TRSItemProperty* row = FindHandlerRow(sender, propName);
    if (!row)
        return;
    const QMetaObject* cls = DeclaredClass(row);
    bool any = false;
    for (TComponent* c : OwnerComponents(row->Inspector(), CurrentInstance(row)))
        if (!cls || c->metaObject()->inherits(cls)) {
            values << c->Name();
            any = true;
        }
    if (!any)
        values << QString();
}

void TRSTComponentPropertyPreset::SetProperty(QObject* sender, QObject* instance, const QString& propName,
                                              const QString& value) {
    auto* row = qobject_cast<TRSItemProperty*>(sender);
    const auto info = PropOf(instance, propName);
    if (!row || !info)
        return;
    TComponent* found = nullptr;
    if (!value.isEmpty()) {
        for (TComponent* c : OwnerComponents(row->Inspector(), instance))
            if (c->Name().compare(value, Qt::CaseInsensitive) == 0) {
                found = c;
                break;
            }
        // An unknown name must not silently clear the reference.
        if (!found)
            throw EPropertyConvertError(_("Invalid property value"));
    }
    SetObjectProp(instance, *info, found);
    if (TRSCustomObjectInspector* inspector = row->Inspector())
        inspector->PostRescan();
}

// ---- 2: sub-rows of component-valued properties ------------------------------------------------------

TRSTParentComponentPropertyPreset::TRSTParentComponentPropertyPreset(TCollection* collection)
    : TRSPropertyPreset(collection) {
    SetName(QStringLiteral("TComponent Subcomponent Properties Font"));
    SetParentTypeKinds({tkClass});
    ParentTypeNames()->Add(QStringLiteral("TComponent"));
    Font()->SetColor(kGreen);
}

// ---- 3: font names -----------------------------------------------------------------------------------

TRSTFontNamePropertyPreset::TRSTFontNamePropertyPreset(TCollection* collection)
    : TRSPropertyPreset(collection) {
    SetName(QStringLiteral("Font Drop Down List Property Editor"));
    SetTypeKinds({tkString, tkLString, tkWString});
    TypeNames()->Add(QStringLiteral("TFontName"));
    SetEditStyle(esPickList);
    OnGetPickList = Bind(&TRSTFontNamePropertyPreset::GetPickList);
}

void TRSTFontNamePropertyPreset::GetPickList(QObject*, const QString&, QStringList& values) {
    values << QFontDatabase::families();
}

// ---- 4: colours --------------------------------------------------------------------------------------

TRSTColorPropertyPreset::TRSTColorPropertyPreset(TCollection* collection) : TRSPropertyPreset(collection) {
    SetName(QStringLiteral("Color Drop Down List Property Editor"));
    SetTypeKinds({tkInteger});
    TypeNames()->Add(QStringLiteral("TColor"));
    SetEditStyle(esPickList);
    SetActions(Actions() | pftValidate);
    OnGetProperty = Bind(&TRSTColorPropertyPreset::GetText);
    OnGetPickList = Bind(&TRSTColorPropertyPreset::GetPickList);
    OnSetProperty = Bind(&TRSTColorPropertyPreset::SetProperty);
}

void TRSTColorPropertyPreset::GetText(QObject*, QObject* instance, const QString& propName, QString& value) {
    if (const auto info = PropOf(instance, propName))
        value = ColorToString(TColor(GetOrdProp(instance, *info)));
}

void TRSTColorPropertyPreset::GetPickList(QObject*, const QString&, QStringList& values) {
    values << GetColorValues();
}

void TRSTColorPropertyPreset::SetProperty(QObject*, QObject* instance, const QString& propName,
                                          const QString& value) {
    if (const auto info = PropOf(instance, propName))
        SetOrdProp(instance, *info, StringToColor(value));
}

// ---- 5: cursors --------------------------------------------------------------------------------------

TRSTCursorPropertyPreset::TRSTCursorPropertyPreset(TCollection* collection) : TRSPropertyPreset(collection) {
    SetName(QStringLiteral("Cursor Drop Down List Property Editor"));
    SetTypeKinds({tkInteger});
    TypeNames()->Add(QStringLiteral("TCursor"));
    SetEditStyle(esPickList);
    SetActions(Actions() | pftValidate);
    OnGetProperty = Bind(&TRSTCursorPropertyPreset::GetText);
    OnGetPickList = Bind(&TRSTCursorPropertyPreset::GetPickList);
    OnSetProperty = Bind(&TRSTCursorPropertyPreset::SetProperty);
}

void TRSTCursorPropertyPreset::GetText(QObject*, QObject* instance, const QString& propName, QString& value) {
    if (const auto info = PropOf(instance, propName))
        value = CursorToString(TCursor(GetOrdProp(instance, *info)));
}

void TRSTCursorPropertyPreset::GetPickList(QObject*, const QString&, QStringList& values) {
    values << GetCursorValues();
}

void TRSTCursorPropertyPreset::SetProperty(QObject*, QObject* instance, const QString& propName,
                                           const QString& value) {
    if (const auto info = PropOf(instance, propName))
        SetOrdProp(instance, *info, qint16(StringToCursor(value)));
}

// ---- 6: font dialog ----------------------------------------------------------------------------------

TRSTFontDlgPropertyPreset::TRSTFontDlgPropertyPreset(TCollection* collection)
    : TRSPropertyPreset(collection) {
    SetName(QStringLiteral("Font Editor Dialog Property Editor"));
    SetTypeKinds({tkClass});
    // Fonts here are TRSFont objects.
    TypeNames()->SetLines({QStringLiteral("TFont"), QStringLiteral("TRSFont")});
    SetEditStyle(esEllipsis);
    OnEditButtonClick = Bind(&TRSTFontDlgPropertyPreset::EditButtonClick);
}

void TRSTFontDlgPropertyPreset::EditButtonClick(QObject* sender) {
    auto* row = qobject_cast<TRSItemProperty*>(sender);
    auto* font = row ? qobject_cast<TRSFont*>(CurrentObject(row)) : nullptr;
    if (!font)
        return;
    QFontDialog dialog(font->Font(), row->Inspector());
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    if (ExecuteModal(&dialog) != QDialog::Accepted)
        return;
    // The font object the property holds takes the chosen font, so that its holder sees the change.
    const QFont chosen = dialog.selectedFont();
    ChangeHeldObject(row, [&] { font->SetFont(chosen); });
}

// ---- 7 and 15: string lists --------------------------------------------------------------------------

TRSTStringsPropertyPreset::TRSTStringsPropertyPreset(TCollection* collection)
    : TRSPropertyPreset(collection) {
    SetName(QStringLiteral("TStrings Property Editor"));
    SetTypeKinds({tkClass});
    TypeNames()->Add(QStringLiteral("TStrings"));
    SetEditStyle(esEllipsis);
    // The hint comes from the list itself (Apply), so the action goes without a text.
    SetActions(Actions() | pftHint);
    OnEditButtonClick = Bind(&TRSTStringsPropertyPreset::EditButtonClick);
}

void TRSTStringsPropertyPreset::SetStringsViews(TStringsViews value) {
    if (value == m_stringsViews)
        return;
    m_stringsViews = value;
    SignalChanged();
}

void TRSTStringsPropertyPreset::Assign(const TRSPropertyPreset& source) {
    TRSPropertyPreset::Assign(source);
    if (auto* strings = qobject_cast<const TRSTStringsPropertyPreset*>(&source))
        m_stringsViews = strings->m_stringsViews;
}

QString TRSTStringsPropertyPreset::HintOf(const QStringList& lines) {
    QString hint;
    if (lines.size() >= 5) {
        for (int i = 0; i < 4; ++i)
            hint += lines.at(i) + u'\n';
        hint += QStringLiteral("...");
    } else {
        for (const QString& line : lines)
            hint += line + u'\n';
    }
    while (!hint.isEmpty() && hint.back().isSpace())
        hint.chop(1);
    return hint;
}

void TRSTStringsPropertyPreset::Apply(TRSItemProperty* row) {
    TRSPropertyPreset::Apply(row);
    TRSCustomObjectInspector* inspector = Inspector();
    if (!(Actions() & pftHint) || !Hint().isEmpty() || !inspector || inspector->ObjectList().size() != 1)
        return;
    QObject* value = nullptr;
    try {
        value = row->GetObjectValue(0);
    } catch (const Exception&) {
        return;
    }
    if (auto* list = qobject_cast<TStrings*>(value))
        row->SetHint(HintOf(list->Lines()));
}

void TRSTStringsPropertyPreset::EditButtonClick(QObject* sender) {
    auto* row = qobject_cast<TRSItemProperty*>(sender);
    auto* list = row ? qobject_cast<TStrings*>(CurrentObject(row)) : nullptr;
    if (!list)
        return;
    TfrmRSStringsEditor editor(row->Inspector());
    editor.SetLines(list->Lines());
    editor.SetINIVisible(m_stringsViews.testFlag(svINI));
    editor.SetMemoVisible(m_stringsViews.testFlag(svNormal));
    if (ExecuteModal(&editor) != mrOk)
        return;
    const QStringList lines = editor.Lines();
    QPointer<TStrings> guard(list);
    ChangeHeldObject(row, [&] {
        if (guard)
            guard->SetLines(lines);
    });
    if (TRSCustomObjectInspector* inspector = row->Inspector())
        inspector->PostRescan();
}

TRSTINIStringsPropertyPreset::TRSTINIStringsPropertyPreset(TCollection* collection)
    : TRSTStringsPropertyPreset(collection) {
    SetName(QStringLiteral("INI TStrings Property Editor"));
    PropNames()->Add(QStringLiteral("Strings"));
    TypeNames()->Add(QStringLiteral("TStrings"));
    ParentClassNames()->SetLines(
        {QStringLiteral("TValueListEditor"), QStringLiteral("TRSCustomItemListEditor")});
    SetStringsViews(svINI);
}

// ---- 8: pictures -------------------------------------------------------------------------------------

TRSTPicturePropertyPreset::TRSTPicturePropertyPreset(TCollection* collection)
    : TRSPropertyPreset(collection) {
    SetName(QStringLiteral("TPicture Property Editor"));
    SetTypeKinds({tkClass});
    TypeNames()->SetLines({QStringLiteral("TPicture"), QStringLiteral("TBitmap")});
    SetEditStyle(esEllipsis);
    OnEditButtonClick = Bind(&TRSTPicturePropertyPreset::EditButtonClick);
}

void TRSTPicturePropertyPreset::EditButtonClick(QObject* sender) {
    auto* row = qobject_cast<TRSItemProperty*>(sender);
    QObject* picture = row ? CurrentObject(row) : nullptr;
    if (!picture ||
        !ClassOrAncestorIn(picture->metaObject(), {QStringLiteral("TPicture"), QStringLiteral("TBitmap")}))
        return;
    const QString file = OpenFileName(
        row->Inspector(), _("Open"),
        {_("All pictures (*.bmp *.png *.jpg *.jpeg *.gif *.ico *.BMP *.PNG *.JPG *.JPEG *.GIF *.ICO)"),
         _("All files (*)")},
        1, QString(), QString(), QString(), true, false);
    if (file.isEmpty())
        return;
    // A picture and a bitmap both load a file through their LoadFromFile.
    ChangeHeldObject(row, [&] {
        bool loaded = false;
        if (!QMetaObject::invokeMethod(picture, "LoadFromFile", Q_RETURN_ARG(bool, loaded),
                                       Q_ARG(QString, file)))
            throw Exception(_("Cannot load picture \"%1\"").arg(file));
        if (!loaded)
            throw Exception(_("Cannot load picture \"%1\"").arg(file));
    });
}

// ---- 9: collections ----------------------------------------------------------------------------------

TRSTCollectionPropertyPreset::TRSTCollectionPropertyPreset(TCollection* collection)
    : TRSPropertyPreset(collection) {
    SetName(QStringLiteral("TCollection Property Editor"));
    SetTypeKinds({tkClass});
    TypeNames()->Add(QStringLiteral("TCollection"));
    SetEditStyle(esEllipsis);
    OnEditButtonClick = Bind(&TRSTCollectionPropertyPreset::EditButtonClick);
}

void TRSTCollectionPropertyPreset::EditButtonClick(QObject* sender) {
    auto* row = qobject_cast<TRSItemProperty*>(sender);
    auto* collection = row ? qobject_cast<TCollection*>(CurrentObject(row)) : nullptr;
    TRSCustomObjectInspector* inspector = row ? row->Inspector() : nullptr;
    if (!collection || !inspector)
        return;
    QString title = row->GetFullPath();
    if (TComponent* component = inspector->Component())
        title = component->Name() + inspector->PathDelimiter() + title;
    ShowCollectionEditor(inspector, collection, true, title);
}

// ---- 10 and 12: dates with the pop-up ----------------------------------------------------------------

TRSDatePopupPreset::TRSDatePopupPreset(TCollection* collection) : TRSPropertyPreset(collection) {}

TRSDatePopupPreset::~TRSDatePopupPreset() {
    delete m_dateEditor.data();
}

TfrmDateEditor* TRSDatePopupPreset::CreateDateEditor() {
    return new TfrmDateEditor(Inspector());
}

QPoint TRSDatePopupPreset::PopupPosition(const QSize&) const {
    return QCursor::pos();
}

void TRSDatePopupPreset::EditButtonClick(QObject* sender) {
    auto* row = qobject_cast<TRSItemProperty*>(sender);
    if (!row)
        return;
    if (!m_dateEditor)
        m_dateEditor = CreateDateEditor();
    const double stored = row->TypeDataAt(CurrentColumn(row)).toDouble();
    m_dateEditor->SetDate(stored);
    m_dateEditor->move(PopupPosition(m_dateEditor->size()));
    if (ExecuteModal(m_dateEditor) != QDialog::Accepted)
        return;
    CommitText(row, ValueText(ChosenValue(m_dateEditor->Date(), stored)));
}

void TRSDatePopupPreset::GetText(QObject*, QObject* instance, const QString& propName, QString& value) {
    if (const auto info = PropOf(instance, propName))
        value = ValueText(GetFloatProp(instance, *info));
}

void TRSDatePopupPreset::SetProperty(QObject*, QObject* instance, const QString& propName,
                                     const QString& value) {
    if (const auto info = PropOf(instance, propName))
        SetFloatProp(instance, *info, TextValue(value));
}

TRSTDatePropertyPreset::TRSTDatePropertyPreset(TCollection* collection) : TRSDatePopupPreset(collection) {
    SetName(QStringLiteral("TDate Property Editor"));
    SetTypeKinds({tkFloat});
    TypeNames()->Add(QStringLiteral("TDate"));
    SetEditStyle(esEllipsis);
    SetEditMask(QStringLiteral("!90/00/0000;1;_"));
    SetActions(Actions() | pftValidate);
    OnEditButtonClick = Bind(&TRSTDatePropertyPreset::EditButtonClick);
    OnGetProperty = Bind(&TRSTDatePropertyPreset::GetText);
    OnSetProperty = Bind(&TRSTDatePropertyPreset::SetProperty);
}

QString TRSTDatePropertyPreset::ValueText(double value) const {
    return DateToStr(value);
}

double TRSTDatePropertyPreset::TextValue(const QString& text) const {
    return StrToDate(text);
}

TRSTDateTimePropertyPreset::TRSTDateTimePropertyPreset(TCollection* collection)
    : TRSDatePopupPreset(collection) {
    SetName(QStringLiteral("TDateTime Property Editor"));
    SetTypeKinds({tkFloat});
    TypeNames()->Add(QStringLiteral("TDateTime"));
    SetEditStyle(esEllipsis);
    SetEditMask(QStringLiteral("!90/00/0000 90:00:00 >LL;1;_"));
    SetActions(Actions() | pftValidate);
    OnEditButtonClick = Bind(&TRSTDateTimePropertyPreset::EditButtonClick);
    OnGetProperty = Bind(&TRSTDateTimePropertyPreset::GetText);
    OnSetProperty = Bind(&TRSTDateTimePropertyPreset::SetProperty);
}

QPoint TRSTDateTimePropertyPreset::PopupPosition(const QSize& size) const {
    const QPoint cursor = QCursor::pos();
    const QScreen* screen = QGuiApplication::screenAt(cursor);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QSize area = screen ? screen->size() : QSize(cursor.x() + size.width(), cursor.y() + size.height());
    return {std::min(cursor.x(), area.width() - size.width()),
            std::min(cursor.y(), area.height() - size.height())};
}

double TRSTDateTimePropertyPreset::ChosenValue(double chosenDate, double stored) const {
    const double date = DateOf(chosenDate);
    return date >= 0 ? date + TimeOf(stored) : date - TimeOf(stored);
}

QString TRSTDateTimePropertyPreset::ValueText(double value) const {
    return DateTimeToStr(value);
}

double TRSTDateTimePropertyPreset::TextValue(const QString& text) const {
    return StrToDateTime(text);
}

// ---- 11: times ---------------------------------------------------------------------------------------

TRSTTimePropertyPreset::TRSTTimePropertyPreset(TCollection* collection) : TRSPropertyPreset(collection) {
    SetName(QStringLiteral("TTime Property Editor"));
    SetTypeKinds({tkFloat});
    TypeNames()->Add(QStringLiteral("TTime"));
    SetEditMask(QStringLiteral("!90:00:00 >LL;1;_"));
    SetActions(Actions() | pftValidate);
    OnGetProperty = Bind(&TRSTTimePropertyPreset::GetText);
    OnSetProperty = Bind(&TRSTTimePropertyPreset::SetProperty);
}

void TRSTTimePropertyPreset::GetText(QObject*, QObject* instance, const QString& propName, QString& value) {
    if (const auto info = PropOf(instance, propName))
        value = TimeToStr(GetFloatProp(instance, *info));
}

void TRSTTimePropertyPreset::SetProperty(QObject*, QObject* instance, const QString& propName,
                                         const QString& value) {
    if (const auto info = PropOf(instance, propName))
        SetFloatProp(instance, *info, StrToTime(value));
}

// ---- 13 and 18: file names ---------------------------------------------------------------------------

TRSTFilenamePropertyPreset::TRSTFilenamePropertyPreset(TCollection* collection)
    : TRSPropertyPreset(collection) {
    SetName(QStringLiteral("TFilename Dialog Property editor"));
    // Text properties here are of kind tkString; the long-string kind stays for stored presets.
    SetTypeKinds({tkString, tkLString});
    TypeNames()->Add(QStringLiteral("TFilename"));
    SetEditStyle(esEllipsis);
    OnEditButtonClick = Bind(&TRSTFilenamePropertyPreset::EditButtonClick);
}

void TRSTFilenamePropertyPreset::SetInitialDir(const QString& value) {
    QString dir = value;
    if (dir.size() > 1 && (dir.endsWith(u'/') || dir.endsWith(u'\\')) && dir.at(dir.size() - 2) != u':')
        dir.chop(1);
    m_initialDir = dir;
}

void TRSTFilenamePropertyPreset::Assign(const TRSPropertyPreset& source) {
    TRSPropertyPreset::Assign(source);
    if (auto* f = qobject_cast<const TRSTFilenamePropertyPreset*>(&source)) {
        m_defaultExt = f->m_defaultExt;
        m_filter = f->m_filter;
        m_filterIndex = f->m_filterIndex;
        m_initialDir = f->m_initialDir;
        m_options = f->m_options;
        m_optionsEx = f->m_optionsEx;
        m_title = f->m_title;
    }
}

void TRSTFilenamePropertyPreset::EditButtonClick(QObject* sender) {
    auto* row = qobject_cast<TRSItemProperty*>(sender);
    if (!row)
        return;
    const QString current = row->Values().Get(CurrentColumn(row));
    const QString file =
        OpenFileName(row->Inspector(), m_title.isEmpty() ? _("Open") : m_title, FilterToNameFilters(m_filter),
                     m_filterIndex, m_initialDir, m_defaultExt, current, m_options.testFlag(ofFileMustExist),
                     m_options.testFlag(ofForceShowHidden));
    if (!file.isEmpty())
        CommitText(row, file);
}

TRSFilenamePropPropertyPreset::TRSFilenamePropPropertyPreset(TCollection* collection)
    : TRSTFilenamePropertyPreset(collection) {
    SetName(QStringLiteral("Filename property Dialog Property editor"));
    PropNames()->Add(QStringLiteral("filename"));
    TypeNames()->Clear();
    // Any text property of that name: the type test is on the kind only.
    SetMatchTypes(MatchTypes() | mtPropertyType);
}

// ---- 14: modal results -------------------------------------------------------------------------------

TRSTModalResultPropertyPreset::TRSTModalResultPropertyPreset(TCollection* collection)
    : TRSPropertyPreset(collection) {
    SetName(QStringLiteral("TModalResult Property Editor"));
    SetTypeKinds({tkInteger});
    TypeNames()->Add(QStringLiteral("TModalResult"));
    PickList()->SetLines({"mrNone", "mrOk", "mrCancel", "mrAbort", "mrRetry", "mrIgnore", "mrYes", "mrNo",
                          "mrAll", "mrNoToAll", "mrYesToAll"});
    SetEditStyle(esPickList);
    SetActions(Actions() | pftValidate);
    OnGetProperty = Bind(&TRSTModalResultPropertyPreset::GetText);
    OnSetProperty = Bind(&TRSTModalResultPropertyPreset::SetProperty);
}

void TRSTModalResultPropertyPreset::GetText(QObject*, QObject* instance, const QString& propName,
                                            QString& value) {
    const auto info = PropOf(instance, propName);
    if (!info)
        return;
    // A result that has no name (an application's own code) shows as its number; it must not stop a
    // refresh of all the other rows.
    const qint64 ordinal = GetOrdProp(instance, *info);
    value = ordinal >= 0 && ordinal < PickList()->Count() ? PickList()->Strings(int(ordinal))
                                                          : QString::number(ordinal);
}

void TRSTModalResultPropertyPreset::SetProperty(QObject*, QObject* instance, const QString& propName,
                                                const QString& value) {
    const auto info = PropOf(instance, propName);
    const int index = PickList()->IndexOf(value);
    if (info && index >= 0)
        SetOrdProp(instance, *info, index);
}

// ---- 16 and 17: list items and tree nodes ------------------------------------------------------------

TRSTListItemsDlgPropertyPreset::TRSTListItemsDlgPropertyPreset(TCollection* collection)
    : TRSPropertyPreset(collection) {
    SetName(QStringLiteral("TListItems Dialog Property Editor"));
    SetTypeKinds({tkClass});
    TypeNames()->Add(QStringLiteral("TListItems"));
    SetEditStyle(esEllipsis);
    OnEditButtonClick = Bind(&TRSTListItemsDlgPropertyPreset::EditButtonClick);
}

void TRSTListItemsDlgPropertyPreset::EditButtonClick(QObject* sender) {
    auto* row = qobject_cast<TRSItemProperty*>(sender);
    auto* items = row ? qobject_cast<TListItems*>(CurrentObject(row)) : nullptr;
    if (!items)
        return;
    TfrmTListItemsDlg dialog(nullptr);
    dialog.SetTarget(items);
    ChangeHeldObject(row, [&] { ExecuteModal(&dialog); });
}

TRSTTreeNodesDlgPropertyPreset::TRSTTreeNodesDlgPropertyPreset(TCollection* collection)
    : TRSPropertyPreset(collection) {
    SetName(QStringLiteral("TTreeNodes Dialog Property Editor"));
    SetTypeKinds({tkClass});
    TypeNames()->Add(QStringLiteral("TTreeNodes"));
    SetEditStyle(esEllipsis);
    OnEditButtonClick = Bind(&TRSTTreeNodesDlgPropertyPreset::EditButtonClick);
}

void TRSTTreeNodesDlgPropertyPreset::EditButtonClick(QObject* sender) {
    auto* row = qobject_cast<TRSItemProperty*>(sender);
    auto* nodes = row ? qobject_cast<TTreeNodes*>(CurrentObject(row)) : nullptr;
    if (!nodes)
        return;
    TfrmTTreeNodesDlg dialog(nullptr);
    dialog.SetTarget(nodes);
    ChangeHeldObject(row, [&] { ExecuteModal(&dialog); });
}
