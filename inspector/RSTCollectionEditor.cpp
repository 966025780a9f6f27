#include "inspector/RSTCollectionEditor.h"
#include "classlib/Application.h"
#include "classlib/Collection.h"
#include "classlib/Component.h"
#include "classlib/Translation.h"
#include "inspector/RSObjectInspector.h"
#include "inspector/RSPropertyPresets.h"
#include <QAction>
#include <QCloseEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMutex>
#include <QMutexLocker>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

namespace {

constexpr int kHelpContext = 26000;

// The open editors: made by the first request that asks for re-use, freed at the unit's finalisation.
struct TOpenEditors {
    QMutex lock;
    QList<TfrmCollectionEditor*> editors;
};

QMutex gOpenEditorsGuard;
std::unique_ptr<TOpenEditors> gOpenEditors;

TOpenEditors* OpenEditors(bool create) {
    QMutexLocker locker(&gOpenEditorsGuard);
    if (!gOpenEditors && create)
        gOpenEditors = std::make_unique<TOpenEditors>();
    return gOpenEditors.get();
}

// A component up the owner chain of a collection: components, and widgets (the inspector among them),
// are what owns things here.
QObject* FirstComponentOf(TCollection* collection) {
    QObject* o = collection ? collection->Owner() : nullptr;
    if (!o && collection)
        o = collection->parent();
    while (o) {
        if (qobject_cast<TComponent*>(o) || o->isWidgetType())
            return o;
        if (auto* item = qobject_cast<TCollectionItem*>(o))
            o = item->Collection() ? static_cast<QObject*>(item->Collection()) : item->parent();
        else if (auto* c = qobject_cast<TCollection*>(o))
            o = c->Owner() ? c->Owner() : c->parent();
        else
            o = o->parent();
    }
    return nullptr;
}

// The list of items: drags are taken only from itself and end in the editor's DropAt.
class TCollectionListView : public QTreeWidget {
public:
    explicit TCollectionListView(TfrmCollectionEditor* editor) : QTreeWidget(editor), m_editor(editor) {}

protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (event->source() == this)
            QTreeWidget::dragEnterEvent(event);
        else
            event->ignore();
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (event->source() == this)
            event->acceptProposedAction();
        else
            event->ignore();
    }
    void dropEvent(QDropEvent* event) override {
        if (event->source() != this) {
            event->ignore();
            return;
        }
        const QModelIndex at = indexAt(event->position().toPoint());
        const int line = at.isValid() ? at.row() : topLevelItemCount() - 1;
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
        try {
            m_editor->DropAt(line);
        } catch (...) {
            HandleException(m_editor);
        }
    }

private:
    TfrmCollectionEditor* m_editor;
};

} // namespace

template <class F> void TfrmCollectionEditor::Guarded(F&& f) {
    try {
        f();
    } catch (...) {
        HandleException(this);
    }
}

TfrmCollectionEditor::TfrmCollectionEditor(QWidget* owner) : QMainWindow(owner) {
    setObjectName(QStringLiteral("frmCollectionEditor"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(_("Editing"));
    resize(236, 338);
    QFont f = font();
    f.setPixelSize(10);
    setFont(f);
    setProperty("HelpContext", kHelpContext);
    m_savedObjects = std::make_unique<TRSInspectorObjects>(nullptr);

    QStyle* st = style();
    auto makeAction = [this](const QString& caption, const QString& hint, const QIcon& icon) {
        auto* a = new QAction(icon, caption, this);
        a->setToolTip(hint);
        a->setStatusTip(hint);
        a->setProperty("Category", QStringLiteral("List"));
        return a;
    };
    MoveSelectedUp1 =
        makeAction(_("Move Selected Up"), _("Move Selected Up"), st->standardIcon(QStyle::SP_ArrowUp));
    MoveSelectedUp1->setShortcuts({QKeySequence(), QKeySequence(Qt::CTRL | Qt::Key_Up)});
    MoveSelectedDown1 =
        makeAction(_("Move Selected Down"), _("Move Selected Down"), st->standardIcon(QStyle::SP_ArrowDown));
    MoveSelectedDown1->setShortcuts({QKeySequence(), QKeySequence(Qt::CTRL | Qt::Key_Down)});
    DeleteSelected1 =
        makeAction(_("Delete Selected"), _("Delete Selected"), st->standardIcon(QStyle::SP_TrashIcon));
    DeleteSelected1->setShortcut(QKeySequence(Qt::Key_Delete));
    AddItem1 = makeAction(_("Add Item"), _("Add Collection Item"), st->standardIcon(QStyle::SP_FileIcon));
    AddItem1->setShortcut(QKeySequence(Qt::Key_Insert));
    Reset1 =
        makeAction(_("Reset"), _("Reset Presets to Defaults"), st->standardIcon(QStyle::SP_BrowserReload));
    SelectAll1 = makeAction(_("Select All"), _("Select All"), QIcon());
    SelectAll1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    SelectNone1 = makeAction(_("Select None"), _("Deselect all items"), QIcon());
    for (QAction* a :
         {MoveSelectedUp1, MoveSelectedDown1, DeleteSelected1, AddItem1, SelectAll1, SelectNone1})
        a->setShortcutContext(Qt::WindowShortcut);

    connect(DeleteSelected1, &QAction::triggered, this, [this] { Guarded([this] { DeleteSelected(); }); });
    connect(MoveSelectedUp1, &QAction::triggered, this, [this] { Guarded([this] { MoveSelected(true); }); });
    connect(MoveSelectedDown1, &QAction::triggered, this,
            [this] { Guarded([this] { MoveSelected(false); }); });
    connect(SelectAll1, &QAction::triggered, this, [this] { SelectAll(); });
    connect(SelectNone1, &QAction::triggered, this, [this] { SelectNone(); });
    connect(AddItem1, &QAction::triggered, this, [this] {
        Guarded([this] {
            if (m_collection)
                AddItem(m_collection->ItemClass());
        });
    });
    connect(Reset1, &QAction::triggered, this, [this] { Guarded([this] { ResetPresets(); }); });

    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    AddButton = new QToolButton(ToolBar1);
    AddButton->setObjectName(QStringLiteral("AddButton"));
    AddButton->setDefaultAction(AddItem1);
    ToolBar1->addWidget(AddButton);
    ToolBar1->addAction(DeleteSelected1);
    ToolBar1->addSeparator();
    ToolBar1->addAction(MoveSelectedUp1);
    ToolBar1->addAction(MoveSelectedDown1);
    ToolBar1->addSeparator();
    ToolBar1->addAction(Reset1);

    ListView1 = new TCollectionListView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setColumnCount(1);
    ListView1->setHeaderLabels({_("Items")});
    ListView1->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    ListView1->setRootIsDecorated(false);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setDragEnabled(true);
    ListView1->setAcceptDrops(true);
    ListView1->setDragDropMode(QAbstractItemView::InternalMove);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    setCentralWidget(ListView1);
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!m_updatingList)
            Guarded([this] { ListSelectItem(); });
    });

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    auto* panel = new QLabel(StatusBar1);
    panel->setMinimumWidth(50);
    StatusBar1->addWidget(panel);
    setStatusBar(StatusBar1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    AddNew1 = PopupMenu1->addAction(st->standardIcon(QStyle::SP_FileIcon), _("Add New"));
    AddNew1->setToolTip(_("Add New"));
    AddNew1->setShortcut(QKeySequence(Qt::Key_Insert));
    connect(AddNew1, &QAction::triggered, this, [this] {
        Guarded([this] {
            if (m_collection)
                AddItem(m_collection->ItemClass());
        });
    });
    PopupMenu1->addSeparator();
    PopupMenu1->addActions({MoveSelectedUp1, MoveSelectedDown1, DeleteSelected1, SelectAll1, SelectNone1});
    PopupMenu1->addSeparator();
    Toolbar1 = PopupMenu1->addAction(_("Toolbar"));
    Toolbar1->setCheckable(true);
    Toolbar1->setChecked(true);
    connect(Toolbar1, &QAction::toggled, ToolBar1, &QToolBar::setVisible);
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(p)); });
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));

    if (TOpenEditors* list = OpenEditors(false)) {
        QMutexLocker locker(&list->lock);
        list->editors.append(this);
    }
    UpdateActions();
}

TfrmCollectionEditor::~TfrmCollectionEditor() {
    m_destroying = true;
    if (TOpenEditors* list = OpenEditors(false)) {
        QMutexLocker locker(&list->lock);
        list->editors.removeAll(this);
    }
    SetInspector(nullptr);
    SetCollection(nullptr);
    for (const QMetaObject::Connection& c : m_watches)
        disconnect(c);
    m_savedObjects.reset();
}

void TfrmCollectionEditor::closeEvent(QCloseEvent* event) {
    SetInspector(nullptr);
    SetCollection(nullptr);
    // A closed editor is no longer open: a new request opens a new window.
    if (TOpenEditors* list = OpenEditors(false)) {
        QMutexLocker locker(&list->lock);
        list->editors.removeAll(this);
    }
    QMainWindow::closeEvent(event);
}

// ---- links -------------------------------------------------------------------------------------------

void TfrmCollectionEditor::SetInspector(TRSCustomObjectInspector* value) {
    if (value && value == m_inspector)
        return;
    disconnect(m_inspectorGone);
    m_inspector = value;
    ListView1->clear();
    m_lineItems.clear();
    for (const QMetaObject::Connection& c : m_watches)
        disconnect(c);
    m_watches.clear();
    m_savedObjects->Clear();
    if (value)
        // The inspector is only half there when it reports its end: it is dropped without being looked at.
        m_inspectorGone = connect(value, &QObject::destroyed, this, [this] {
            m_inspector.clear();
            SetInspector(nullptr);
        });
    else
        SetCollection(nullptr);
    UpdateActions();
}

void TfrmCollectionEditor::SetCollection(TCollection* value) {
    disconnect(m_ownerGone);
    disconnect(m_collectionGone);
    m_collection = value;
    m_collectionOwner = FirstComponentOf(value);
    if (m_collectionOwner)
        m_ownerGone =
            connect(m_collectionOwner, &QObject::destroyed, this, [this] { SetCollection(nullptr); });
    if (value)
        m_collectionGone = connect(value, &QObject::destroyed, this, [this] { CollectionGone(); });
    if (m_destroying)
        return;
    if (qobject_cast<TRSPropertyPresets*>(value)) {
        BuildAddMenu();
    } else {
        AddButton->setMenu(nullptr);
        AddButton->setPopupMode(QToolButton::DelayedPopup);
    }
    Reset1->setVisible(qobject_cast<TRSPropertyPresets*>(value) &&
                       qobject_cast<TRSCustomObjectInspector*>(m_collectionOwner.data()));
    if (m_inspector && value) {
        m_savedObjects->Assign(*m_inspector->Objects());
        WatchSavedObjects();
    }
    UpdateList();
}

void TfrmCollectionEditor::CollectionGone() {
    // The collection went before its owner: nothing of it may be touched any more.
    m_collection = nullptr;
    SetCollection(nullptr);
}

void TfrmCollectionEditor::WatchSavedObjects() {
    for (const QMetaObject::Connection& c : m_watches)
        disconnect(c);
    m_watches.clear();
    for (int i = 0; i < m_savedObjects->Count(); ++i)
        if (QObject* obj = m_savedObjects->Items(i)->Object())
            m_watches << connect(obj, &QObject::destroyed, this, [this](QObject* o) { SavedObjectGone(o); });
}

void TfrmCollectionEditor::SavedObjectGone(QObject* obj) {
    m_savedObjects->Remove(obj);
    SetCollection(nullptr);
}

// ---- the list ----------------------------------------------------------------------------------------

QList<TCollectionItem*> TfrmCollectionEditor::SelectedItems() const {
    QList<TCollectionItem*> items;
    for (int i = 0; i < ListView1->topLevelItemCount() && i < m_lineItems.size(); ++i) {
        TCollectionItem* item = m_lineItems.at(i);
        if (ListView1->topLevelItem(i)->isSelected() && item && m_collection &&
            item->Collection() == m_collection)
            items << item;
    }
    return items;
}

void TfrmCollectionEditor::SelectItems(const QList<TCollectionItem*>& items) {
    for (int i = 0; i < ListView1->topLevelItemCount() && i < m_lineItems.size(); ++i)
        ListView1->topLevelItem(i)->setSelected(m_lineItems.at(i) &&
                                                items.contains(m_lineItems.at(i).data()));
}

void TfrmCollectionEditor::UpdateList() {
    m_updatingList = true;
    const bool wasBlocked = ListView1->blockSignals(true);
    const QList<TCollectionItem*> selected = SelectedItems();
    ListView1->clear();
    m_lineItems.clear();
    if (m_collection) {
        const bool presets = qobject_cast<TRSPropertyPresets*>(m_collection.data());
        for (int i = 0; i < m_collection->Count(); ++i) {
            TCollectionItem* item = m_collection->Items(i);
            QString caption = QString::number(i) + QStringLiteral(" - ") + item->DisplayName();
            if (presets)
                caption += QStringLiteral(" (") + QLatin1String(item->metaObject()->className()) + u')';
            auto* line = new QTreeWidgetItem(ListView1, {caption});
            m_lineItems << QPointer<TCollectionItem>(item);
            line->setFlags(line->flags() & ~Qt::ItemIsEditable);
            line->setSelected(selected.contains(item));
        }
    }
    ListView1->blockSignals(wasBlocked);
    m_updatingList = false;
    ListChange();
    UpdateActions();
}

void TfrmCollectionEditor::UpdateActions() {
    const bool hasSelection = m_collection && !ListView1->selectedItems().isEmpty();
    DeleteSelected1->setEnabled(hasSelection);
    MoveSelectedUp1->setEnabled(hasSelection);
    MoveSelectedDown1->setEnabled(hasSelection);
    AddItem1->setEnabled(m_collection);
    AddNew1->setEnabled(m_collection);
    SelectAll1->setEnabled(ListView1->topLevelItemCount() > 0);
    SelectNone1->setEnabled(!ListView1->selectedItems().isEmpty());
}

void TfrmCollectionEditor::ListSelectItem() {
    ShowSelectedInInspector();
    UpdateActions();
}

void TfrmCollectionEditor::SelectAll() {
    ListView1->selectAll();
}

void TfrmCollectionEditor::SelectNone() {
    ListView1->clearSelection();
}

// ---- operations --------------------------------------------------------------------------------------

void TfrmCollectionEditor::BuildAddMenu() {
    PopupMenu2->clear();
    PopupMenu2->addAction(AddItem1);
    // The registry is read under its lock; each entry adds a preset of its class.
    for (const QMetaObject* presetClass : RegisteredPropertyPresetClasses()) {
        QAction* a = PopupMenu2->addAction(QStringLiteral("Add ") + QLatin1String(presetClass->className()));
        connect(a, &QAction::triggered, this,
                [this, presetClass] { Guarded([&] { AddItem(presetClass); }); });
    }
    AddButton->setMenu(PopupMenu2);
    AddButton->setPopupMode(QToolButton::MenuButtonPopup);
}

TCollectionItem* TfrmCollectionEditor::AddItem(const QMetaObject* itemClass) {
    if (!m_collection)
        return nullptr;
    PruneInspectorObjects();
    TCollectionItem* item = nullptr;
    if (auto* presets = qobject_cast<TRSPropertyPresets*>(m_collection.data())) {
        item = presets->Add(itemClass);
    } else if (!itemClass || itemClass == m_collection->ItemClass()) {
        item = m_collection->Add();
    } else {
        if (!itemClass->inherits(m_collection->ItemClass()))
            throw EInvalidOperation(QStringLiteral("Cannot create an item of class %1")
                                        .arg(QLatin1String(itemClass->className())));
        QObject* obj = itemClass->newInstance(Q_ARG(TCollection*, m_collection.data()));
        item = qobject_cast<TCollectionItem*>(obj);
        if (!item) {
            delete obj;
            throw EInvalidOperation(QStringLiteral("Cannot create an item of class %1")
                                        .arg(QLatin1String(itemClass->className())));
        }
        if (item->Collection() != m_collection)
            item->SetCollection(m_collection);
    }
    ListView1->clearSelection();
    UpdateList();
    SelectItems({item});
    return item;
}

void TfrmCollectionEditor::PruneInspectorObjects() {
    if (!m_inspector)
        return;
    const QList<TCollectionItem*> selected = SelectedItems();
    TRSInspectorObjects* objects = m_inspector->Objects();
    objects->BeginUpdate();
    try {
        for (int i = objects->Count() - 1; i >= 0; --i) {
            auto* item = qobject_cast<TCollectionItem*>(objects->Items(i)->Object());
            if (!item || !selected.contains(item))
                objects->Delete(i);
        }
    } catch (...) {
        objects->EndUpdate();
        throw;
    }
    objects->EndUpdate();
}

void TfrmCollectionEditor::DeleteSelected() {
    if (!m_collection)
        return;
    const QList<TCollectionItem*> selected = SelectedItems();
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        TCollectionItem* item = *it;
        if (m_inspector)
            m_inspector->Objects()->Remove(item);
        m_savedObjects->Remove(item);
        m_collection->Delete(item->Index());
    }
    UpdateList();
}

void TfrmCollectionEditor::MoveSelected(bool up) {
    if (!m_collection)
        return;
    const QList<TCollectionItem*> selected = SelectedItems();
    const int count = m_collection->Count();
    if (up) {
        for (int i = 1; i < count; ++i)
            if (selected.contains(m_collection->Items(i)))
                m_collection->Items(i)->SetIndex(i - 1);
    } else {
        for (int i = count - 2; i >= 0; --i)
            if (selected.contains(m_collection->Items(i)))
                m_collection->Items(i)->SetIndex(i + 1);
    }
    UpdateList();
}

void TfrmCollectionEditor::DropAt(int line) {
    if (!m_collection || line < 0)
        return;
    const QList<TCollectionItem*> selected = SelectedItems();
    int target = std::min(line, m_collection->Count() - 1);
    m_collection->BeginUpdate();
    try {
        for (TCollectionItem* item : selected) {
            const int previous = item->Index();
            item->SetIndex(target);
            if (previous > target && target + 1 < m_collection->Count())
                ++target;
        }
    } catch (...) {
        m_collection->EndUpdate();
        throw;
    }
    m_collection->EndUpdate();
    UpdateList();
}

void TfrmCollectionEditor::ShowSelectedInInspector() {
    if (!m_inspector)
        return;
    const QList<TCollectionItem*> selected = SelectedItems();
    TRSInspectorObjects* objects = m_inspector->Objects();
    objects->BeginUpdate();
    try {
        objects->Clear();
        for (TCollectionItem* item : selected)
            objects->Add(item, m_collectionOwner);
    } catch (...) {
        objects->EndUpdate();
        throw;
    }
    objects->EndUpdate();
}

void TfrmCollectionEditor::ResetPresets() {
    if (auto* inspector = qobject_cast<TRSCustomObjectInspector*>(m_collectionOwner.data()))
        inspector->AddRegisteredPresets();
    UpdateList();
}

// ---- opening -----------------------------------------------------------------------------------------

TfrmCollectionEditor* ShowCollectionEditor(TRSCustomObjectInspector* inspector, TCollection* collection,
                                           bool reuse, const QString& title) {
    TOpenEditors* list = reuse ? OpenEditors(true) : OpenEditors(false);
    TfrmCollectionEditor* editor = nullptr;
    if (list) {
        QMutexLocker locker(&list->lock);
        if (reuse)
            for (TfrmCollectionEditor* e : list->editors)
                if (e->Inspector() == inspector && e->Collection() == collection) {
                    editor = e;
                    break;
                }
    }
    if (editor) {
        editor->show();
        editor->raise();
        editor->activateWindow();
        return editor;
    }
    // Freed when the user closes it, or at the application's end.
    editor = new TfrmCollectionEditor(nullptr);
    editor->setAttribute(Qt::WA_DeleteOnClose, true);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, editor, &QObject::deleteLater);
    editor->SetInspector(inspector);
    editor->SetCollection(collection);
    editor->setWindowTitle(_("Editing") + u' ' + title);
    editor->show();
    return editor;
}

QList<TfrmCollectionEditor*> OpenCollectionEditors() {
    TOpenEditors* list = OpenEditors(false);
    if (!list)
        return {};
    QMutexLocker locker(&list->lock);
    return list->editors;
}
