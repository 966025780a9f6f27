#include "model/InspectorLink.h"

namespace {
TInspectorLink* g_link = nullptr;
}

TInspectorLink* SetInspectorLink(TInspectorLink* link) {
    TInspectorLink* previous = g_link;
    g_link = link;
    return previous;
}

TInspectorLink* InspectorLink() {
    return g_link;
}

void RebuildItems() {
    if (g_link)
        g_link->RequestRebuildItems();
}

void RefreshOrRescan() {
    if (g_link)
        g_link->RequestRefreshOrRescan();
}
