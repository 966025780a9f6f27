#pragma once
// The model's way to the property inspector. A refused value must show the stored value again, and
// the search refreshes the shown values after each answer; the model only asks for that here. The
// window that owns the inspector installs a link that performs the request later, never inside the
// write call: a rebuild there would free the row that is being written.

class TInspectorLink {
public:
    virtual ~TInspectorLink() = default;
    // The inspector is to rebuild its rows (RebuildItems).
    virtual void RequestRebuildItems() = 0;
    // The inspector is to refresh its values, or rescan when its rows no longer fit (RefreshOrRescan).
    virtual void RequestRefreshOrRescan() = 0;
};

// Installs the link (not owned; nullptr removes it) and returns the previous one.
TInspectorLink* SetInspectorLink(TInspectorLink* link);
TInspectorLink* InspectorLink();

// Forward to the installed link; nothing happens while none is installed.
void RebuildItems();
void RefreshOrRescan();
