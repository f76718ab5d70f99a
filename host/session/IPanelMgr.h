// The host's panel manager: which panels exist, found by the widget ID of their top widget,
// and whether they are shown. On the session boss.
//
// A panel registers itself when it is created and unregisters when it goes away; callers find it
// again on every use (a panel may be closed at any time) and never keep the pointer.
#pragma once

#include "base/PMTypes.h"
#include "objectmodel/IPMUnknown.h"

class IPanelMgr : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IPANELMGR };
    // The panel's object, not referenced, or null when no such panel exists.
    virtual IPMUnknown* GetPanelFromWidgetID(WidgetID id) const = 0;
    // Holds a reference to the panel until it is unregistered or the session ends; a second
    // registration under the same ID replaces the first.
    virtual void RegisterPanel(WidgetID id, IPMUnknown* panel) = 0;
    virtual void UnregisterPanel(WidgetID id) = 0;
    virtual bool16 IsPanelWithWidgetIDShown(WidgetID id) const = 0;
    // Showing a panel that does not exist does nothing.
    virtual void ShowPanelByWidgetID(WidgetID id) = 0;
    virtual void HidePanelByWidgetID(WidgetID id) = 0;
};

// The session's panel manager, not referenced, or null when no session runs.
IPanelMgr* GetPanelManager();
