#include "model/ModelNodes.h"
#include "model/ChannelGroups.h"
#include "model/RemoteIO.h"

TComponentNode::TComponentNode(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode)
    : TComponent(owner), m_treeNodes(treeNodes) {
    if (treeNodes)
        m_node = treeNodes->AddChildObject(parentNode, Name(), this);
}

TComponentNode::~TComponentNode() {
    // Children first: their nodes lie below ours and go with ours.
    DestroyComponents();
    if (TTreeNode* node = Node())
        node->Delete();
    m_node = nullptr;
}

void TComponentNode::SetName(const QString& newName) {
    TComponent::SetName(newName);
    if (TTreeNode* node = Node())
        node->SetText(Name());
}

void TComponentNode::SetNodeImage(int index) {
    if (TTreeNode* node = Node()) {
        node->SetImageIndex(index);
        node->SetSelectedIndex(index);
    }
}

TCollectionItemNode::TCollectionItemNode(TCollection* collection, TChannelIO* ownerGroup,
                                         TTreeNodes* treeNodes, TTreeNode* parentNode)
    : TCollectionItem(collection), m_treeNodes(treeNodes), m_ownerGroup(ownerGroup) {
    if (treeNodes)
        m_node = treeNodes->AddChildObject(parentNode, QString(), this);
}

TCollectionItemNode::~TCollectionItemNode() {
    if (TTreeNode* node = Node())
        node->Delete();
    m_node = nullptr;
}

void TCollectionItemNode::SetName(const QString& name) {
    m_itemName = name;
    if (TTreeNode* node = Node())
        node->SetText(m_itemName);
}

TRemoteIO* TCollectionItemNode::Device() const {
    return m_ownerGroup ? qobject_cast<TRemoteIO*>(m_ownerGroup->Owner()) : nullptr;
}

void TCollectionItemNode::SetNodeImage(int index) {
    if (TTreeNode* node = Node()) {
        node->SetImageIndex(index);
        node->SetSelectedIndex(index);
    }
}

void TCollectionItemNode::MarkDevice() const {
    if (TRemoteIO* device = Device())
        device->SetModified(true);
}

int TCollectionItemNode::DeviceModelCode() const {
    const TRemoteIO* device = Device();
    return device ? device->Information()->ModelCode() : 0;
}
