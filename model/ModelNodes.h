#pragma once
// The two bases of every device-model object. Each object is shown as one node of the network tree
// and keeps that node in step: created with the object (object as data pointer, empty text), text
// following the object's name, image reflecting its state, removed when the object goes.
#include "classlib/Collection.h"
#include "classlib/Component.h"
#include "classlib/TreeNodes.h"
#include <QPointer>

class TChannelIO;
class TRemoteIO;

// Indexes into the main window's image list of the network tree.
namespace NodeImage {
constexpr int None = -1;
constexpr int Analog = 0; // analog and temperature groups, enabled analog channels, temperature channels
constexpr int DigitalGroup = 1;
constexpr int Network = 2;
constexpr int Device = 3;
constexpr int InputNormal = 11;
constexpr int Output = 12;
constexpr int InputCounter = 13;
constexpr int OutputAlarmLinked = 14;
constexpr int DeviceModified = 15;
// A device the search could not read whole, unmodified and modified.
constexpr int DeviceNotFullyRead = 16;
constexpr int DeviceModifiedNotFullyRead = 17;
constexpr int InputMixed = 18;
} // namespace NodeImage

class TComponentNode : public TComponent {
    Q_OBJECT

public:
    // Without tree nodes the object has no node. The node is added as the last child of parentNode
    // (a top-level node when parentNode is nullptr).
    TComponentNode(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode);
    // Frees the owned components first (each removing its own node), then this object's node.
    ~TComponentNode() override;

    // The inherited rename with its checks; the node then shows the new name.
    void SetName(const QString& newName) override;

    // nullptr when the object was made without tree nodes or the tree is gone.
    TTreeNodes* TreeNodes() const { return m_treeNodes; }
    TTreeNode* Node() const { return m_treeNodes ? m_node : nullptr; }

protected:
    // Sets the node's image and then its selected image to the same index.
    void SetNodeImage(int index);

private:
    QPointer<TTreeNodes> m_treeNodes;
    TTreeNode* m_node = nullptr; // freed through TTreeNode::Delete
};

class TCollectionItemNode : public TCollectionItem {
    Q_OBJECT

public:
    // Joins the collection and adds a node with an empty text below parentNode.
    TCollectionItemNode(TCollection* collection, TChannelIO* ownerGroup, TTreeNodes* treeNodes,
                        TTreeNode* parentNode);
    // Removes the node, then leaves the collection.
    ~TCollectionItemNode() override;

    // ItemName := name, and the node shows it.
    virtual void SetName(const QString& name);
    QString ItemName() const { return m_itemName; }

    TTreeNodes* TreeNodes() const { return m_treeNodes; }
    TTreeNode* Node() const { return m_treeNodes ? m_node : nullptr; }
    TChannelIO* OwnerGroup() const { return m_ownerGroup; }
    // The group's owner, or nullptr when the group belongs to no device.
    TRemoteIO* Device() const;

protected:
    void SetNodeImage(int index);
    // Marks the device modified (when there is one).
    void MarkDevice() const;
    // The device's model code, 0 without a device.
    int DeviceModelCode() const;

private:
    QPointer<TTreeNodes> m_treeNodes;
    QString m_itemName;
    TChannelIO* m_ownerGroup = nullptr;
    TTreeNode* m_node = nullptr;
};
