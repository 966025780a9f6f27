#pragma once
// The remote I/O device model: the network, its devices, their channel groups and channels, each
// shown as a node of the network tree.
#include "model/ChannelGroups.h"
#include "model/ChannelItems.h"
#include "model/DeviceModelTable.h"
#include "model/IOEnums.h"
#include "model/InspectorLink.h"
#include "model/ModelNodes.h"
#include "model/RemoteIO.h"
