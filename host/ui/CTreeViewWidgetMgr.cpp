#include "ui/CTreeViewWidgetMgr.h"

void CTreeViewWidgetMgr::RebuildRows(const ListTreeViewAdapter& adapter) const {
    if (!fTreeView) return;
    fTreeView->RemoveChildren();
    const int32 n = adapter.GetNumListItems();
    for (int32 i = 0; i < n; ++i) {
        std::unique_ptr<WidgetModel> row = CreateWidgetForNode(i);
        if (!row) continue;
        WidgetModel* added = fTreeView->AddChild(std::move(row));
        ApplyNodeIDToWidget(i, added);
    }
}
