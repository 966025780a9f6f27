// Model objects and their tree nodes: creation, names, images, and removal with the object.
#include "ModelFixture.h"

using TreeBindingTest = ModelTest;

TEST_F(TreeBindingTest, NetworkAndDeviceNodesFollowNameAndState) {
    TTreeNode* root = nodes.GetFirstNode();
    ASSERT_EQ(root, network->Node());
    EXPECT_EQ(root->Text(), "Network");
    EXPECT_EQ(root->Data(), network.get());
    EXPECT_EQ(root->ImageIndex(), 2);
    EXPECT_EQ(root->SelectedIndex(), 2);

    TRemoteIO* device = network->AddRemoteIO();
    ASSERT_EQ(root->Count(), 1);
    TTreeNode* node = root->Item(0);
    EXPECT_EQ(node, device->Node());
    EXPECT_EQ(node->Data(), device);
    EXPECT_EQ(node->Text(), "") << "a device has no name until its address is set";
    EXPECT_EQ(node->ImageIndex(), 3);
    EXPECT_TRUE(root->Expanded());

    device->Comm()->SetAddress(5);
    EXPECT_EQ(device->Name(), "DAXO_5");
    EXPECT_EQ(node->Text(), "DAXO_5");

    device->SetModified(true);
    EXPECT_EQ(node->ImageIndex(), 15);
    EXPECT_EQ(node->SelectedIndex(), 15);
    device->SetModified(false);
    EXPECT_EQ(node->ImageIndex(), 3);
    EXPECT_EQ(node->SelectedIndex(), 3);

    // A rename the naming rules refuse raises and leaves name and node alone.
    EXPECT_THROW(device->SetName("not valid"), EComponentError);
    EXPECT_EQ(node->Text(), "DAXO_5");
}

TEST_F(TreeBindingTest, ChannelNodesCarryItemsAndNames) {
    TRemoteIO* device = AddDevice(1, 0);
    TChannelDigitalInput* input = device->DigitalInput()->GetChannel(3);
    ASSERT_NE(input->Node(), nullptr);
    EXPECT_EQ(input->Node()->Data(), input);
    EXPECT_EQ(input->Node()->Parent(), device->DigitalInput()->Node());
    EXPECT_EQ(input->ItemName(), "E3");

    input->SetName("Pump");
    EXPECT_EQ(input->ItemName(), "Pump");
    EXPECT_EQ(input->Node()->Text(), "Pump");
}

TEST_F(TreeBindingTest, ObjectsWithoutTreeHaveNoNodes) {
    TRemoteIONetwork bare(nullptr, nullptr, nullptr);
    EXPECT_EQ(bare.Node(), nullptr);
    EXPECT_EQ(bare.Name(), "Network");
    TRemoteIO* device = bare.AddRemoteIO();
    EXPECT_EQ(device->Node(), nullptr);
    device->Comm()->SetAddress(4);
    EXPECT_EQ(device->Name(), "DAXO_4");
    device->SetModified(true); // no node to show it on

    device->Information()->SetModelCode(0);
    EXPECT_EQ(device->DigitalInput()->Node(), nullptr);
    EXPECT_EQ(device->DigitalInput()->GetChannel(7)->ItemName(), "E7");
    EXPECT_EQ(device->DigitalOutput()->GetChannel(3)->ItemName(), "S3");

    device->Information()->SetModelCode(62);
    TChannelAnalogicInput* analog = device->AnalogicInput()->GetChannel(0);
    EXPECT_EQ(analog->Node(), nullptr);
    EXPECT_EQ(analog->ItemName(), "");
    analog->SetEnabled(false);
    EXPECT_EQ(nodes.Count(), 1) << "nothing reached the fixture's tree";
}

TEST_F(TreeBindingTest, DestroyingObjectsRemovesTheirNodes) {
    TRemoteIO* first = AddDevice(1, 0);
    TRemoteIO* second = AddDevice(2, 62);
    AddDevice(3, 148);
    const int perDevice0 = 1 + 2 + 8 + 4;
    const int perDevice62 = 1 + 2 + 2 + 2;
    const int perDevice148 = 1 + 1 + 10;
    EXPECT_EQ(nodes.Count(), 1 + perDevice0 + perDevice62 + perDevice148);

    // A device freed directly leaves the network's list as well as the tree.
    delete second;
    EXPECT_EQ(network->GetCount(), 2);
    EXPECT_EQ(network->FindByAddress(2), nullptr);
    EXPECT_EQ(nodes.Count(), 1 + perDevice0 + perDevice148);
    EXPECT_EQ(ChildTexts(network->Node()), QStringList({"DAXO_1", "DAXO_3"}));

    // A group's channels go before the group's node.
    first->Information()->SetModelCode(0);
    EXPECT_EQ(nodes.Count(), 1 + perDevice0 + perDevice148);

    network->Clear();
    EXPECT_EQ(network->GetCount(), 0);
    EXPECT_EQ(nodes.Count(), 1);
    EXPECT_EQ(network->Node()->Count(), 0);
    network->Clear();
    EXPECT_EQ(nodes.Count(), 1);

    AddDevice(4, 63);
    network.reset();
    EXPECT_EQ(nodes.Count(), 0);
}

TEST_F(TreeBindingTest, TreeFreedBeforeTheModelIsLeftAlone) {
    auto tree = std::make_unique<TTreeNodes>();
    auto own = std::make_unique<TRemoteIONetwork>(nullptr, tree.get(), nullptr);
    TRemoteIO* device = own->AddRemoteIO();
    device->Information()->SetModelCode(0);
    tree.reset();
    EXPECT_EQ(device->Node(), nullptr);
    device->Comm()->SetAddress(9);
    device->SetModified(true);
    device->Information()->SetModelCode(62);
    own.reset(); // must not touch the freed tree
}

TEST_F(TreeBindingTest, NetworkListAccess) {
    TRemoteIO* a = AddDevice(1, 99);
    TRemoteIO* b = AddDevice(2, 99);
    EXPECT_EQ(network->GetItem(0), a);
    EXPECT_EQ(network->GetItem(1), b);
    EXPECT_THROW(network->GetItem(2), EListError);
    EXPECT_THROW(network->GetItem(-1), EListError);
}
