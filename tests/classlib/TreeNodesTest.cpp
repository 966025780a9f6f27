#include "classlib/TreeNodes.h"
#include <QPixmap>
#include <QPointer>
#include <gtest/gtest.h>

TEST(TreeNodes, ChildrenCarryTextDataAndImagesAndDeleteTakesTheSubtree) {
    TTreeNodes nodes;
    QObject device, channel;
    TTreeNode* root = nodes.AddChildObject(nullptr, QStringLiteral("Network"), nullptr);
    TTreeNode* dev = nodes.AddChildObject(root, QStringLiteral("7610"), &device);
    TTreeNode* ch = nodes.AddChildObject(dev, QStringLiteral("DI 1"), &channel);
    nodes.AddChild(dev, QStringLiteral("DI 2"));
    EXPECT_EQ(nodes.Count(), 4);
    EXPECT_EQ(nodes.GetFirstNode(), root);
    EXPECT_EQ(ch->Parent(), dev);
    EXPECT_EQ(dev->Item(1)->Text(), QStringLiteral("DI 2"));
    EXPECT_EQ(ch->Data(), &channel);
    EXPECT_EQ(dev->Item(1)->Index(), 1);
    EXPECT_EQ(ch->ImageIndex(), -1);

    QPixmap red(4, 4);
    red.fill(Qt::red);
    nodes.SetImages({QIcon(), QIcon(red)});
    ch->SetImageIndex(1);
    ch->SetSelectedIndex(1);
    EXPECT_FALSE(ch->data(Qt::DecorationRole).value<QIcon>().isNull());
    ch->SetImageIndex(5); // outside the image list: no picture
    EXPECT_FALSE(ch->data(Qt::DecorationRole).isValid());
    EXPECT_EQ(nodes.NodeFromIndex(ch->index()), ch);

    dev->Delete();
    EXPECT_EQ(nodes.Count(), 1);
    EXPECT_EQ(root->Count(), 0);
    nodes.Clear();
    EXPECT_EQ(nodes.Count(), 0);
    EXPECT_EQ(nodes.GetFirstNode(), nullptr);
}

TEST(TreeNodes, ExpandRecordsTheStateAndAsksTheViewForEachNode) {
    TTreeNodes nodes;
    TTreeNode* root = nodes.AddChild(nullptr, QStringLiteral("Network"));
    TTreeNode* dev = nodes.AddChild(root, QStringLiteral("Device"));
    QList<QModelIndex> asked;
    QObject::connect(&nodes, &TTreeNodes::expandRequested, [&](const QModelIndex& index, bool expand, bool) {
        asked.append(expand ? index : QModelIndex());
    });
    root->Expand(true);
    EXPECT_TRUE(root->Expanded());
    EXPECT_TRUE(dev->Expanded());
    EXPECT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked.contains(root->index()));
    root->Collapse(false);
    EXPECT_FALSE(root->Expanded());
    EXPECT_TRUE(dev->Expanded());
}
