// The field list's row count: the size of the tree view's string list.
#pragma once

#include "ui/ListTreeViewAdapter.h"

class BRNFieldListTreeViewAdapter : public ListTreeViewAdapter {
public:
    using ListTreeViewAdapter::ListTreeViewAdapter;
    int32 GetNumListItems() const override;
};
