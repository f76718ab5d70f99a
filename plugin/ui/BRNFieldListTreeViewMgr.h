// Makes the field list's rows: one text per string of the tree view's string list, shown as
// it stands (never looked up as a localisation key).
#pragma once

#include "ui/CTreeViewWidgetMgr.h"

class BRNFieldListTreeViewMgr : public CTreeViewWidgetMgr {
public:
    using CTreeViewWidgetMgr::CTreeViewWidgetMgr;
    std::unique_ptr<WidgetModel> CreateWidgetForNode(int32 node) const override;
    WidgetID GetWidgetTypeForNode(int32 node) const override;
    bool16 ApplyNodeIDToWidget(int32 node, WidgetModel* widget) const override;
};
