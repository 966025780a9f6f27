#pragma once
// Tree nodes on a QStandardItemModel: a TTreeNode is the model's item itself, so the model (and its
// tests) need QtGui only. Image indexes point into an image list that the owning TTreeNodes holds.
#include <QIcon>
#include <QList>
#include <QObject>
#include <QStandardItem>
#include <QStandardItemModel>

class TTreeNodes;

class TTreeNode : public QStandardItem {
public:
    enum Role {
        ImageIndexRole = Qt::UserRole + 1,
        SelectedIndexRole,
        DataRole,
        ExpandedRole,
        StateIndexRole
    };

    QString Text() const { return text(); }
    void SetText(const QString& text) { setText(text); }
    int ImageIndex() const;
    void SetImageIndex(int index);
    int SelectedIndex() const;
    void SetSelectedIndex(int index);
    // The state image (-1 when none).
    int StateIndex() const;
    void SetStateIndex(int index);
    QObject* Data() const;
    void SetData(QObject* data);
    TTreeNode* Parent() const;
    int Count() const { return rowCount(); }
    TTreeNode* Item(int index) const;
    // Position among the parent's children.
    int Index() const { return row(); }
    bool Expanded() const;
    void Expand(bool recursive);
    void Collapse(bool recursive);
    // Removes the node and its children from the tree; the node is freed.
    void Delete();
    TTreeNodes* Owner() const { return m_owner; }

    QVariant data(int role) const override;

private:
    friend class TTreeNodes;
    explicit TTreeNode(TTreeNodes* owner) : m_owner(owner) {}
    TTreeNodes* m_owner;
};

class TTreeNodes : public QObject {
    Q_OBJECT

public:
    explicit TTreeNodes(QObject* parent = nullptr);

    QStandardItemModel* Model() { return &m_model; }
    // Adds a last child of parent (a top-level node when parent is nullptr).
    TTreeNode* AddChildObject(TTreeNode* parent, const QString& text, QObject* data);
    TTreeNode* AddChild(TTreeNode* parent, const QString& text) {
        return AddChildObject(parent, text, nullptr);
    }
    void Clear();
    // Number of nodes at every level.
    int Count() const;
    TTreeNode* GetFirstNode() const;
    TTreeNode* NodeFromIndex(const QModelIndex& index) const;
    // Images shown for the nodes' image indexes.
    void SetImages(QList<QIcon> images);
    QIcon Image(int index) const;

signals:
    void expandRequested(const QModelIndex& index, bool expand, bool recursive);

private:
    friend class TTreeNode;
    QStandardItemModel m_model;
    QList<QIcon> m_images;
};
