// A panel's widget tree, on the panel's object beside its data and observers. Faces (the
// shell's text, the browser) render it and work its widgets as a person would; the panel's
// observer is attached to the widgets and cannot tell a face from a hand.
#pragma once

#include "objectmodel/IPMUnknown.h"
#include "ui/WidgetModel.h"

#include <memory>

// The host's implementation, for plug-ins to put on their panel's class.
enum : ImplementationID { kHostPanelViewImplementation = 0x2006 };

class IPanelView : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IPANELVIEW };
    // The panel's top widget, or null before the panel built it; it lives as long as the
    // panel's object (or until replaced).
    virtual WidgetModel* GetWidget() = 0;
    virtual void SetWidget(std::unique_ptr<WidgetModel> widget) = 0;
};
