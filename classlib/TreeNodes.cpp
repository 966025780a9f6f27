#include "classlib/TreeNodes.h"

int TTreeNode::ImageIndex() const {
    const QVariant v = QStandardItem::data(ImageIndexRole);
    return v.isValid() ? v.toInt() : -1;
}

void TTreeNode::SetImageIndex(int index) {
    setData(index, ImageIndexRole);
}

int TTreeNode::SelectedIndex() const {
    const QVariant v = QStandardItem::data(SelectedIndexRole);
    return v.isValid() ? v.toInt() : -1;
}

void TTreeNode::SetSelectedIndex(int index) {
    setData(index, SelectedIndexRole);
}

int TTreeNode::StateIndex() const {
    const QVariant v = QStandardItem::data(StateIndexRole);
    return v.isValid() ? v.toInt() : -1;
}

void TTreeNode::SetStateIndex(int index) {
    setData(index, StateIndexRole);
}

QObject* TTreeNode::Data() const {
    return QStandardItem::data(DataRole).value<QObject*>();
}

void TTreeNode::SetData(QObject* data) {
    setData(QVariant::fromValue(data), DataRole);
}

TTreeNode* TTreeNode::Parent() const {
    return static_cast<TTreeNode*>(parent());
}

TTreeNode* TTreeNode::Item(int index) const {
    return static_cast<TTreeNode*>(child(index));
}

bool TTreeNode::Expanded() const {
    return QStandardItem::data(ExpandedRole).toBool();
}

void TTreeNode::Expand(bool recursive) {
    setData(true, ExpandedRole);
    if (recursive)
        for (int i = 0; i < rowCount(); ++i)
            Item(i)->Expand(true);
    emit m_owner->expandRequested(index(), true, false);
}

void TTreeNode::Collapse(bool recursive) {
    setData(false, ExpandedRole);
    if (recursive)
        for (int i = 0; i < rowCount(); ++i)
            Item(i)->Collapse(true);
    emit m_owner->expandRequested(index(), false, false);
}

void TTreeNode::Delete() {
    QStandardItem* p = parent() ? parent() : m_owner->m_model.invisibleRootItem();
    p->removeRow(row());
}

QVariant TTreeNode::data(int role) const {
    if (role == Qt::DecorationRole) {
        const QIcon icon = m_owner->Image(ImageIndex());
        return icon.isNull() ? QVariant() : QVariant(icon);
    }
    return QStandardItem::data(role);
}

TTreeNodes::TTreeNodes(QObject* parent) : QObject(parent) {}

TTreeNode* TTreeNodes::AddChildObject(TTreeNode* parent, const QString& text, QObject* data) {
    auto* node = new TTreeNode(this); // owned by the model once appended
    node->setEditable(false);
    node->setText(text);
    node->SetData(data);
    (parent ? static_cast<QStandardItem*>(parent) : m_model.invisibleRootItem())->appendRow(node);
    return node;
}

void TTreeNodes::Clear() {
    m_model.clear();
}

static int countBelow(const QStandardItem* item) {
    int n = item->rowCount();
    for (int i = 0; i < item->rowCount(); ++i)
        n += countBelow(item->child(i));
    return n;
}

int TTreeNodes::Count() const {
    return countBelow(m_model.invisibleRootItem());
}

TTreeNode* TTreeNodes::GetFirstNode() const {
    return static_cast<TTreeNode*>(m_model.item(0));
}

TTreeNode* TTreeNodes::NodeFromIndex(const QModelIndex& index) const {
    return static_cast<TTreeNode*>(m_model.itemFromIndex(index));
}

void TTreeNodes::SetImages(QList<QIcon> images) {
    m_images = std::move(images);
    // Repaint every node's picture. Views expect the pair of layout signals; no index moves.
    emit m_model.layoutAboutToBeChanged();
    emit m_model.layoutChanged();
}

QIcon TTreeNodes::Image(int index) const {
    return index >= 0 && index < m_images.size() ? m_images.at(index) : QIcon();
}
