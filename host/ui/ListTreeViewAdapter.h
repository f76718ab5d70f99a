// How many rows a flat tree view has; a row is known by its index.
#pragma once

#include "ui/WidgetModel.h"

class ListTreeViewAdapter {
public:
    explicit ListTreeViewAdapter(WidgetModel* treeView) : fTreeView(treeView) {}
    virtual ~ListTreeViewAdapter() = default;
    virtual int32 GetNumListItems() const = 0;
    WidgetModel* GetTreeView() const { return fTreeView; }

private:
    WidgetModel* fTreeView;
};
