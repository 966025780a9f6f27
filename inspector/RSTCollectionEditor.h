#pragma once
// The collection editor: a small non-modal window listing the items of one collection. The user adds,
// deletes, reorders and selects items; the selected items are shown together in the inspector that opened
// the window. It also edits an inspector's own presets (adding presets of any registered class, resetting
// to the registered set). Open editors are kept in a locked list, so asking again for the same inspector
// and collection brings the open window forward.
#include <QMainWindow>
#include <QPointer>
#include <memory>

class QAction;
class QMenu;
class QStatusBar;
class QToolBar;
class QToolButton;
class QTreeWidget;
class TCollection;
class TCollectionItem;
class TRSCustomObjectInspector;
class TRSInspectorObjects;

class TfrmCollectionEditor : public QMainWindow {
    Q_OBJECT

public:
    explicit TfrmCollectionEditor(QWidget* owner = nullptr);
    ~TfrmCollectionEditor() override;

    TRSCustomObjectInspector* Inspector() const { return m_inspector; }
    void SetInspector(TRSCustomObjectInspector* value);
    TCollection* Collection() const { return m_collection; }
    void SetCollection(TCollection* value);
    TRSInspectorObjects* SavedObjects() const { return m_savedObjects.get(); }
    // The first component up the collection's owner chain (an inspector counts as one).
    QObject* CollectionOwner() const { return m_collectionOwner; }

    // The items of the selected list lines, in list order.
    QList<TCollectionItem*> SelectedItems() const;
    void SelectItems(const QList<TCollectionItem*>& items);

    virtual TCollectionItem* AddItem(const QMetaObject* itemClass);
    virtual void MoveSelected(bool up);
    virtual void ListChange() {}
    // The selection of the list changed.
    virtual void ListSelectItem();
    virtual void BuildAddMenu();
    virtual void PruneInspectorObjects();
    virtual void DeleteSelected();
    virtual void SelectAll();
    virtual void SelectNone();
    virtual void ShowSelectedInInspector();
    virtual void ResetPresets();
    virtual void UpdateList();
    // Drops the selected lines at a list line (what a drag inside the list ends with).
    void DropAt(int line);
    void UpdateActions();

    QToolBar* ToolBar1 = nullptr;
    QToolButton* AddButton = nullptr;
    QTreeWidget* ListView1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QAction* DeleteSelected1 = nullptr;
    QAction* MoveSelectedUp1 = nullptr;
    QAction* MoveSelectedDown1 = nullptr;
    QAction* SelectAll1 = nullptr;
    QAction* AddItem1 = nullptr;
    QAction* SelectNone1 = nullptr;
    QAction* Reset1 = nullptr;
    QAction* AddNew1 = nullptr;
    QAction* Toolbar1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QMenu* PopupMenu2 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void WatchSavedObjects();
    void SavedObjectGone(QObject* obj);
    void CollectionGone();
    template <class F> void Guarded(F&& f);

    QPointer<TCollection> m_collection;
    // The item of each list line (null once the item is gone).
    QList<QPointer<TCollectionItem>> m_lineItems;
    QPointer<TRSCustomObjectInspector> m_inspector;
    std::unique_ptr<TRSInspectorObjects> m_savedObjects;
    QPointer<QObject> m_collectionOwner;
    QList<QMetaObject::Connection> m_watches;
    QMetaObject::Connection m_inspectorGone;
    QMetaObject::Connection m_ownerGone;
    QMetaObject::Connection m_collectionGone;
    bool m_destroying = false;
    bool m_updatingList = false;
};

// Shows the editor of a collection for an inspector: with reuse, an open editor of the same inspector and
// collection is brought to the front; otherwise a new window (caption "Editing" and the title) is shown.
TfrmCollectionEditor* ShowCollectionEditor(TRSCustomObjectInspector* inspector, TCollection* collection,
                                           bool reuse, const QString& title);
// The open editors (for inspection; the list is copied under its lock).
QList<TfrmCollectionEditor*> OpenCollectionEditors();
