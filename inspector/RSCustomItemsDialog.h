#pragma once
// Editors of the items of tree views (TTreeNodes) and list views (TListItems). The common form shows the
// items as a tree with a caption and three image-index fields; the tree-nodes editor edits nodes directly,
// the list-items editor works on editable copies (TNodeListItem) of the items, their sub-items being the
// child nodes. Changes reach the target only through Apply (OK applies what was not applied yet).
#include "classlib/ListItems.h"
#include "classlib/Strings.h"
#include "classlib/TreeNodes.h"
#include <QDialog>
#include <QIcon>
#include <QList>
#include <QPointer>
#include <memory>

class QAction;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QFileDialog;
class QPushButton;
class QTreeView;

using TIntegerArray = QList<int>;

// An editable copy of an item: caption and three image indexes (-1 when none).
class TCustomNodeItem : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(qint32 ImageIndex READ ImageIndex WRITE SetImageIndex)
    Q_PROPERTY(qint32 StateIndex READ StateIndex WRITE SetStateIndex)
    Q_PROPERTY(qint32 CustomIndex READ CustomIndex WRITE SetCustomIndex)

public:
    // Assigns from source when given (a TCustomNodeItem, TListItem or TTreeNode's holder).
    Q_INVOKABLE explicit TCustomNodeItem(QObject* source = nullptr);

    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value) { m_caption = value; }
    qint32 ImageIndex() const { return m_imageIndex; }
    void SetImageIndex(qint32 value) { m_imageIndex = value; }
    qint32 StateIndex() const { return m_stateIndex; }
    void SetStateIndex(qint32 value) { m_stateIndex = value; }
    qint32 CustomIndex() const { return m_customIndex; }
    void SetCustomIndex(qint32 value) { m_customIndex = value; }

    // From a copy: all four values; from a list item: its overlay index as CustomIndex. Anything else
    // raises EConvertError "Cannot assign a %s to a %s".
    virtual void Assign(const QObject* source);
    virtual void AssignTo(TListItem* dest) const;
    // Tree nodes are no QObjects: their own overloads (CustomIndex is the selected index).
    virtual void AssignNode(const TTreeNode* source);
    virtual void AssignToNode(TTreeNode* dest) const;

private:
    QString m_caption;
    qint32 m_imageIndex = -1;
    qint32 m_stateIndex = -1;
    qint32 m_customIndex = -1;
};

// The copy of a list item: its sub-items and their images, always as many images as sub-items.
class TNodeListItem : public TCustomNodeItem {
    Q_OBJECT
    Q_PROPERTY(TStrings* SubItems READ SubItems)

public:
    Q_INVOKABLE explicit TNodeListItem(QObject* source = nullptr);

    TStrings* SubItems() const { return m_subItems.get(); }
    const TIntegerArray& SubItemImages() const { return m_subItemImages; }
    void SetSubItemImage(int index, int value);
    // Removes sub-item index and its image.
    void DeleteSubItem(int index);
    void Assign(const QObject* source) override;
    void AssignTo(TListItem* dest) const override;

private:
    void SubItemsChanged();
    std::unique_ptr<TStringList> m_subItems;
    TIntegerArray m_subItemImages;
};

class TfrmCustomItemsDlg : public QDialog {
    Q_OBJECT

public:
    explicit TfrmCustomItemsDlg(QWidget* owner = nullptr);
    ~TfrmCustomItemsDlg() override;

    // The tree shown and edited in the window.
    TTreeNodes* Nodes() const { return m_nodes; }
    TTreeNode* Selected() const;
    void SetSelected(TTreeNode* node);
    bool Modified() const { return m_modified; }
    void SetModified(bool value);
    QList<QIcon> Images() const { return m_images; }
    void SetImages(const QList<QIcon>& value);
    QList<QIcon> StateImages() const { return m_stateImages; }
    void SetStateImages(const QList<QIcon>& value);
    // The item copy of a node (nullptr without ItemClass).
    TCustomNodeItem* ItemOf(const TTreeNode* node) const;

    virtual void StoreIndex(QComboBox* combo);
    virtual void ShowItem(TTreeNode* node);
    virtual void RefreshImages();
    virtual bool LoadFromFile();
    virtual void NewItem();
    virtual void NewSubitem();
    virtual void DeleteItem();
    virtual void Apply();
    virtual void CommitEdits();
    // The caption field changed (stored at once).
    void CaptionChanged();
    // A node's text was edited in place in the tree.
    void NodeEdited(TTreeNode* node);
    // Loads the tree from text lines (one node per line, leading tabs or blanks giving the level).
    void LoadLines(const QStringList& lines);

    QGroupBox* gbItems = nullptr;
    QTreeView* TreeView1 = nullptr;
    QGroupBox* gbItemProperties = nullptr;
    QLineEdit* leCaption = nullptr;
    QComboBox* cbeImageIndex = nullptr;
    QComboBox* cbeStateIndex = nullptr;
    QComboBox* cbeCustomIndex = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* ApplyBtn = nullptr;
    QAction* actNewItem = nullptr;
    QAction* actNewSubitem = nullptr;
    QAction* actDeleteItem = nullptr;
    QAction* actApply = nullptr;
    QAction* actLoad = nullptr;
    QAction* actShowImages = nullptr;
    QFileDialog* OpenDialog1 = nullptr;

    void done(int result) override;

protected:
    // Class of the item copies (nullptr: nodes are edited directly).
    const QMetaObject* ItemClass = nullptr;
    // Makes a new item copy for a node (nullptr without ItemClass).
    TCustomNodeItem* NewCopy();
    void FreeCopies(TTreeNode* node);
    void UpdateActions();
    void FillCombo(QComboBox* combo, const QList<QIcon>& images);
    void ShowIndex(QComboBox* combo, int value);
    static int ComboValue(const QComboBox* combo);
    // The node being shown in the property fields.
    TTreeNode* m_shown = nullptr;
    bool m_showing = false;

private:
    TTreeNodes* m_nodes = nullptr; // a QObject child
    QList<QIcon> m_images;
    QList<QIcon> m_stateImages;
    bool m_modified = false;
    QList<QObject*> m_copies;
};

class TfrmTTreeNodesDlg : public TfrmCustomItemsDlg {
    Q_OBJECT

public:
    explicit TfrmTTreeNodesDlg(QWidget* owner = nullptr);
    TTreeNodes* Target() const { return m_target; }
    // Copies the target's nodes into the window.
    void SetTarget(TTreeNodes* value);
    void Apply() override;

private:
    QPointer<TTreeNodes> m_target;
};

class TfrmTListItemsDlg : public TfrmCustomItemsDlg {
    Q_OBJECT

public:
    explicit TfrmTListItemsDlg(QWidget* owner = nullptr);
    TListItems* Target() const { return m_target; }
    void SetTarget(TListItems* value);

    void StoreIndex(QComboBox* combo) override;
    void ShowItem(TTreeNode* node) override;
    bool LoadFromFile() override;
    void NewItem() override;
    void NewSubitem() override;
    void DeleteItem() override;
    void Apply() override;
    void CommitEdits() override;

private:
    // The node is a sub-item node (a child of an item node).
    static bool IsSubNode(const TTreeNode* node);
    // Makes item nodes of top-level nodes and sub-item nodes of their children; deeper nodes go.
    void NormaliseTree();
    QPointer<TListItems> m_target;
};

// Copies every node (text, image, selected and state indexes) of source into dest.
void CopyTreeNodes(const TTreeNodes& source, TTreeNodes& dest);
