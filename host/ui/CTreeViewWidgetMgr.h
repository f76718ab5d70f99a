// Makes the row widgets of a tree view and fills them; the host asks it for each row when the
// view is redrawn (RebuildRows).
#pragma once

#include "ui/ListTreeViewAdapter.h"

#include <memory>

class CTreeViewWidgetMgr {
public:
    explicit CTreeViewWidgetMgr(WidgetModel* treeView) : fTreeView(treeView) {}
    virtual ~CTreeViewWidgetMgr() = default;
    virtual std::unique_ptr<WidgetModel> CreateWidgetForNode(int32 node) const = 0;
    virtual WidgetID GetWidgetTypeForNode(int32 node) const = 0;
    virtual bool16 ApplyNodeIDToWidget(int32 node, WidgetModel* widget) const = 0;
    WidgetModel* GetTreeView() const { return fTreeView; }

    // Replaces the tree view's row widgets by one per row of the adapter.
    void RebuildRows(const ListTreeViewAdapter& adapter) const;

private:
    WidgetModel* fTreeView;
};
